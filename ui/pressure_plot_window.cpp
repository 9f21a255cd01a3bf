#include "ui/pressure_plot_window.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <charconv>
#include <cmath>
#include <limits>

#include "device/c_numbers.h"
#include "device/recording_file.h"
#include "ui/message_box.h"
#include "platform/whole_file.h"
#include "ui/app_icon.h"
#include "ui/marker_figures.h"
#include "ui/pressure_feed.h"
#include "ui/pressure_plot.h"
#include "ui/recording_window.h"
#include "ui/save_file_dialog.h"
#include "ui/psd_panel.h"

namespace ui {
namespace {

struct SpanItem {
    const char* text;
    double seconds;  // 0: the whole run
};
constexpr SpanItem kSpans[] = {
    {"Last 10 s", 10}, {"Last 30 s", 30}, {"Last 60 s", 60}, {"Whole run", 0}};

const QString kNone = QStringLiteral("–");

// What a screen reader says is what the control shows, without the mnemonic's "&".
template <typename Widget>
Widget* Named(Widget* widget, const QString& text) {
    widget->setText(text);
    widget->setAccessibleName(QString(text).remove(QLatin1Char('&')));
    return widget;
}

QLabel* ValueLabel(QWidget* parent) {
    auto* label = Named(new QLabel(parent), kNone);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// A number as typed: "C" rules ("7.5", "-1e-2"), nothing else around it, finite.
bool ParseNumber(const QString& typed, double* value) {
    const std::string text = typed.trimmed().toStdString();
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, *value);
    return !text.empty() && error == std::errc() && stop == end && std::isfinite(*value);
}

QString Psi(const device::TimedReading& r) {
    return QString::fromStdString(r.psiText) + QStringLiteral(" PSI");
}

QString Seconds(const device::TimedReading& r) {
    return QString::fromStdString(
               device::FormatFixed6(std::chrono::duration<double>(r.sinceStart).count())) +
           QStringLiteral(" s");
}

void SaveFailed(const std::string& what, const std::string& path, const std::string& reason) {
    ui::AppMessageBox("The " + what + " could not be saved to " + path + ": " + reason + ".",
                            ui::MessageIcon::Exclamation);
}

}  // namespace

PressurePlotWindow::PressurePlotWindow(PressureFeed& feed, QWidget* parent)
    : QWidget(parent, Qt::Window), m_feed(feed) {
    setWindowTitle(QStringLiteral("Pressure Plot"));
    setWindowIcon(AppIcon());
    m_plot = new PressurePlot(feed.Trace(), this);
    m_span = new QComboBox(this);
    for (const SpanItem& span : kSpans) m_span->addItem(QString::fromLatin1(span.text));
    auto* label = Named(new QLabel(this), QStringLiteral("&Show:"));
    label->setBuddy(m_span);
    m_span->setAccessibleName(QStringLiteral("Show"));
    m_pause = Named(new QPushButton(this), QStringLiteral("&Pause"));
    m_fixed = Named(new QCheckBox(this), QStringLiteral("&Fixed PSI range"));
    m_minimum = new QLineEdit(this);
    m_maximum = new QLineEdit(this);
    auto* minimumLabel = Named(new QLabel(this), QStringLiteral("Mi&nimum (PSI):"));
    auto* maximumLabel = Named(new QLabel(this), QStringLiteral("Ma&ximum (PSI):"));
    minimumLabel->setBuddy(m_minimum);
    maximumLabel->setBuddy(m_maximum);
    m_minimum->setAccessibleName(QStringLiteral("Minimum (PSI)"));
    m_maximum->setAccessibleName(QStringLiteral("Maximum (PSI)"));
    for (QLineEdit* edit : {m_minimum, m_maximum})
        edit->setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("-8888.888888")));
    m_apply = Named(new QPushButton(this), QStringLiteral("&Apply"));
    m_rangeNote = new QLabel(this);

    auto* top = new QHBoxLayout;
    top->addWidget(label);
    top->addWidget(m_span);
    top->addWidget(m_pause);
    top->addSpacing(16);
    top->addWidget(m_fixed);
    top->addWidget(minimumLabel);
    top->addWidget(m_minimum);
    top->addWidget(maximumLabel);
    top->addWidget(m_maximum);
    top->addWidget(m_apply);
    top->addWidget(m_rangeNote);
    top->addStretch();

    auto* cursorBox = new QGroupBox(QStringLiteral("Cursor"), this);
    auto* cursorGrid = new QGridLayout(cursorBox);
    const QString cursorCaptions[] = {QStringLiteral("Time:"), QStringLiteral("Pressure:"),
                                      QStringLiteral("Raw pressure:"),
                                      QStringLiteral("Raw temperature:")};
    for (int row = 0; row < 4; ++row) {
        cursorGrid->addWidget(Named(new QLabel(cursorBox), cursorCaptions[row]), row, 0);
        m_cursorValues.push_back(ValueLabel(cursorBox));
        cursorGrid->addWidget(m_cursorValues.back(), row, 1, Qt::AlignRight);
    }
    auto* markerBox = new QGroupBox(QStringLiteral("Markers"), this);
    auto* markerGrid = new QGridLayout(markerBox);
    for (int row = 0; row < 2; ++row) {
        markerGrid->addWidget(
            Named(new QLabel(markerBox), QStringLiteral("Marker %1:").arg(row + 1)), row, 0);
        m_markerValues.push_back(ValueLabel(markerBox));
        markerGrid->addWidget(m_markerValues.back(), row, 1, Qt::AlignRight);
    }
    for (const FigureRow& row : MarkerFigures({})) {
        const int at = markerGrid->rowCount();
        m_figures.emplace_back(
            Named(new QLabel(markerBox), QString::fromStdString(row.caption) + ':'),
            ValueLabel(markerBox));
        markerGrid->addWidget(m_figures.back().first, at, 0);
        markerGrid->addWidget(m_figures.back().second, at, 1, Qt::AlignRight);
    }
    m_saveReadings = Named(new QPushButton(this), QStringLiteral("Save &Readings…"));
    m_savePicture = Named(new QPushButton(this), QStringLiteral("Save P&icture…"));
    m_openRecording = Named(new QPushButton(this), QStringLiteral("Open Recor&ding…"));
    setAcceptDrops(true);
    auto* side = new QVBoxLayout;
    m_side = side;
    m_markerBox = markerBox;
    side->addWidget(cursorBox);
    side->addWidget(markerBox);
    side->addStretch();
    side->addWidget(m_saveReadings);
    side->addWidget(m_savePicture);
    side->addWidget(m_openRecording);
    auto* middle = new QHBoxLayout;
    middle->addWidget(m_plot, 1);
    middle->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(middle, 1);

    connect(m_span, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int index) {
        if (index >= 0) m_plot->SetSpan(kSpans[index].seconds);
    });
    connect(&feed, &PressureFeed::TraceChanged, m_plot, &PressurePlot::TraceChanged);
    connect(m_pause, &QPushButton::clicked, this, [this] { m_plot->SetPaused(!m_plot->Paused()); });
    connect(m_plot, &PressurePlot::PausedChanged, this, [this](bool paused) {
        Named(m_pause, paused ? QStringLiteral("&Resume") : QStringLiteral("&Pause"));
        Watch();
    });
    connect(m_fixed, &QCheckBox::toggled, this, [this](bool fixed) {
        if (fixed && m_minimum->text().isEmpty() && m_maximum->text().isEmpty()) {
            const auto [low, high] = m_plot->PsiRange();
            m_minimum->setText(QString::fromStdString(device::FormatFixed6(low)));
            m_maximum->setText(QString::fromStdString(device::FormatFixed6(high)));
        }
        ApplyPsiRange();
    });
    connect(m_apply, &QPushButton::clicked, this, [this] { ApplyPsiRange(); });
    for (QLineEdit* edit : {m_minimum, m_maximum})
        connect(edit, &QLineEdit::returnPressed, this, [this] { ApplyPsiRange(); });
    connect(m_plot, &PressurePlot::CursorChanged, this, [this] { ShowCursor(); });
    connect(m_plot, &PressurePlot::MarkersChanged, this, [this] { ShowMarkers(); });
    connect(m_saveReadings, &QPushButton::clicked, this, [this] { SaveReadings(); });
    connect(m_savePicture, &QPushButton::clicked, this, [this] { SavePicture(); });
    connect(m_openRecording, &QPushButton::clicked, this, [this] { RunOpenRecordingDialog(this); });
    setTabOrder(m_plot, m_span);
    m_plot->setFocus();
}

PressurePlotWindow::~PressurePlotWindow() {
    m_feed.SetWatched(false);
}

void PressurePlotWindow::Watch() {
    const bool watched = isVisible() && !m_plot->Paused();
    m_feed.SetWatched(watched);
    if (watched) m_feed.Flush();  // what came while nobody watched
}

void PressurePlotWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Watch();
}

void PressurePlotWindow::hideEvent(QHideEvent* event) {
    m_feed.SetWatched(false);
    QWidget::hideEvent(event);
}

void PressurePlotWindow::dragEnterEvent(QDragEnterEvent* event) {
    const QMimeData* mime = event->mimeData();
    if (mime->hasUrls() && !mime->urls().isEmpty() && mime->urls().front().isLocalFile())
        event->acceptProposedAction();
}

void PressurePlotWindow::dropEvent(QDropEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) OpenRecording(url.toLocalFile(), this);
    }
    event->acceptProposedAction();
}

void PressurePlotWindow::ApplyPsiRange() {
    QString note;
    if (!m_fixed->isChecked()) {
        m_plot->SetAutoPsi();
    } else {
        double low = 0, high = 0;
        if (!ParseNumber(m_minimum->text(), &low)) {
            note = QStringLiteral("Minimum is not a number.");
        } else if (!ParseNumber(m_maximum->text(), &high)) {
            note = QStringLiteral("Maximum is not a number.");
        } else if (!(low < high)) {
            note = QStringLiteral("Minimum must be below maximum.");
        } else {
            m_plot->SetFixedPsi(low, high);
        }
    }
    Named(m_rangeNote, note.isEmpty() ? note : note + QStringLiteral(" The range stays."));
}

void PressurePlotWindow::ShowCursor() {
    const auto reading = m_plot->CursorReading();
    const QString texts[] = {
        reading ? Seconds(*reading) : kNone,
        reading ? Psi(*reading) : kNone,
        reading && reading->rawPressure != device::kNoCounts ? QString::number(reading->rawPressure)
                                                             : kNone,
        reading && reading->rawPressure != device::kNoCounts
            ? QString::number(reading->rawTemperature)
            : kNone,
    };
    for (size_t i = 0; i < m_cursorValues.size(); ++i) Named(m_cursorValues[i], texts[i]);
}

void PressurePlotWindow::ShowMarkers() {
    const auto markers = m_plot->MarkerReadings();
    for (size_t i = 0; i < m_markerValues.size(); ++i) {
        Named(m_markerValues[i], i < markers.size()
                                     ? Seconds(markers[i]) + QStringLiteral(", ") + Psi(markers[i])
                                     : kNone);
    }
    const auto rows = MarkerFigures(m_plot->MarkedReadings());
    for (size_t i = 0; i < rows.size() && i < m_figures.size(); ++i)
        Named(m_figures[i].second, QString::fromStdString(rows[i].value));
}

void PressurePlotWindow::AddStatistics(StatisticsPanel::Source source) {
    if (m_statistics) return;
    m_statistics = new StatisticsPanel(std::move(source), this);
    auto* tabs = new QTabWidget(this);
    const int at = m_side->indexOf(m_markerBox);
    m_side->removeWidget(m_markerBox);
    tabs->addTab(m_markerBox, QStringLiteral("Markers"));
    tabs->addTab(m_statistics, QStringLiteral("Statistics"));
    m_spectrum = new SpectrumPanel(*m_plot, m_feed.Trace(), this);
    tabs->addTab(m_spectrum, QStringLiteral("Spectrum"));
    m_side->insertWidget(at, tabs);
}

void PressurePlotWindow::SaveReadings() {
    std::string path;
    if (!RunSaveFileDialog(this, {"Save Readings", "CSV File (*.csv)", "csv"}, &path)) return;
    m_feed.Flush();
    const PressureTrace& trace = m_feed.Trace();
    std::vector<device::TimedReading> readings = m_plot->MarkedReadings();
    const bool whole = readings.empty();
    if (whole) {
        readings = trace.Readings(-std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::infinity());
    }
    std::string text = device::CsvHeader();
    for (const device::TimedReading& r : readings) text += device::CsvLine(r);
    std::string error;
    if (!platform::WriteWholeFile(path, text, &error)) return SaveFailed("readings", path, error);
    if (whole && !trace.AllKept() && !readings.empty()) {
        ui::AppMessageBox(
            "Full resolution reaches back one hour: " + path + " holds the readings from " +
                device::FormatFixed6(readings.front().Seconds()) +
                " s of the run on. The plot keeps only the outline of those before.",
            ui::MessageIcon::Information);
    }
}

void PressurePlotWindow::SavePicture() {
    std::string path;
    if (!RunSaveFileDialog(this, {"Save Picture", "PNG Image (*.png)", "png"}, &path)) return;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    m_plot->grab().save(&buffer, "PNG");
    std::string error;
    if (!platform::WriteWholeFile(path, std::string_view(png.constData(), png.size()), &error))
        SaveFailed("picture", path, error);
}

}  // namespace ui
