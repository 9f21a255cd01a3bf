#include "ui/statistics_panel.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "device/figure_table.h"
#include "ui/app_icon.h"

namespace ui {
namespace {

struct WindowItem {
    const char* text;
    device::StatsWindow window;
};
constexpr WindowItem kWindows[] = {{"Last 1 s", device::StatsWindow::kLastSecond},
                                   {"Last 10 s", device::StatsWindow::kLast10Seconds},
                                   {"Last 60 s", device::StatsWindow::kLastMinute},
                                   {"Whole run", device::StatsWindow::kWholeRun}};

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

StatisticsPanel::StatisticsPanel(Source source, QWidget* parent)
    : QWidget(parent), m_source(std::move(source)) {
    m_window = new QComboBox(this);
    for (const WindowItem& item : kWindows) m_window->addItem(QString::fromLatin1(item.text));
    m_window->setCurrentIndex(1);
    m_window->setAccessibleName(QStringLiteral("Statistics over"));
    auto* label = new QLabel(QStringLiteral("&Over:"), this);
    label->setBuddy(m_window);
    m_copy = new QPushButton(QStringLiteral("&Copy"), this);
    m_copy->setAccessibleName(QStringLiteral("Copy"));

    auto* top = new QHBoxLayout;
    top->addWidget(label);
    top->addWidget(m_window);
    top->addStretch();
    top->addWidget(m_copy);
    m_grid = new QGridLayout;
    m_grid->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(m_grid);
    layout->addStretch();

    m_timer = new QTimer(this);
    m_timer->setInterval(kRefreshMs);
    connect(m_timer, &QTimer::timeout, this, &StatisticsPanel::Refresh);
    connect(m_window, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &StatisticsPanel::Refresh);
    connect(m_copy, &QPushButton::clicked, this, [this] {
        Refresh();
        if (QClipboard* clipboard = QApplication::clipboard()) clipboard->setText(CopyText());
    });
    Refresh();
}

void StatisticsPanel::SetWholeText(const QString& text) {
    m_window->setItemText(m_window->count() - 1, text);
    m_window->setCurrentIndex(m_window->count() - 1);
}

void StatisticsPanel::Refresh() {
    const int index = std::max(0, m_window->currentIndex());
    const auto figures = device::FigureTable(m_source.figures(kWindows[index].window));
    const auto ledger =
        m_source.ledger ? device::LedgerTable(m_source.ledger()) : std::vector<device::LedgerRow>{};
    std::vector<std::pair<QString, QString>> rows;
    std::vector<device::FigureRow> copyRows = figures;
    for (const auto& row : figures) {
        rows.emplace_back(Text(row.caption), QString::fromStdString(device::ValueWithUnit(row)));
    }
    for (const auto& row : ledger) {
        rows.emplace_back(Text(row.caption), QString::fromStdString(row.text));
        copyRows.push_back({row.caption, row.key, {}, {}, false, std::nullopt, row.text});
    }
    m_copyText = QString::fromStdString(device::FiguresCopyText(copyRows));
    SetRows(rows);
}

void StatisticsPanel::SetRows(const std::vector<std::pair<QString, QString>>& rows) {
    // The whole run has rows a window has not (the Allan deviations): laid out anew when the
    // captions change, so that every value keeps its caption as its accessible name.
    bool same = rows.size() == m_captions.size();
    for (size_t i = 0; same && i < rows.size(); ++i) same = m_captions[i]->text() == rows[i].first;
    if (!same) {
        const int valueWidth =
            fontMetrics().horizontalAdvance(QStringLiteral("-8888888.888888 readings/s"));
        qDeleteAll(m_captions);
        qDeleteAll(m_values);
        m_captions.clear();
        m_values.clear();
        for (size_t i = 0; i < rows.size(); ++i) {
            auto* caption = new QLabel(rows[i].first, this);
            auto* value = new QLabel(this);
            value->setAccessibleName(rows[i].first);
            value->setTextFormat(Qt::PlainText);
            value->setTextInteractionFlags(Qt::TextSelectableByMouse);
            // Wide enough for any value, so that a new value repaints the label alone instead of
            // laying out the window again.
            value->setMinimumWidth(valueWidth);
            value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_grid->addWidget(caption, static_cast<int>(i), 0);
            m_grid->addWidget(value, static_cast<int>(i), 1);
            m_captions.push_back(caption);
            m_values.push_back(value);
        }
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        // Only a changed text costs a repaint.
        if (m_values[i]->text() != rows[i].second) m_values[i]->setText(rows[i].second);
    }
}

QString StatisticsPanel::CopyText() const {
    return m_copyText;
}

QLabel* StatisticsPanel::Value(const QString& caption) const {
    for (QLabel* value : m_values) {
        if (value->accessibleName() == caption) return value;
    }
    return nullptr;
}

void StatisticsPanel::showEvent(QShowEvent* event) {
    Refresh();
    m_timer->start();
    QWidget::showEvent(event);
}

void StatisticsPanel::hideEvent(QHideEvent* event) {
    m_timer->stop();
    QWidget::hideEvent(event);
}

StatisticsWindow::StatisticsWindow(StatisticsPanel::Source source, QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Statistics"));
    setWindowIcon(AppIcon());
    m_panel = new StatisticsPanel(std::move(source), this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_panel);
}

}  // namespace ui
