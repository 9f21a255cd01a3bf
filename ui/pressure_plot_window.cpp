#include "ui/pressure_plot_window.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/app_icon.h"
#include "ui/pressure_feed.h"
#include "ui/pressure_plot.h"

namespace ui {
namespace {

struct SpanItem {
    const char* text;
    double seconds;  // 0: the whole run
};
constexpr SpanItem kSpans[] = {
    {"Last 10 s", 10}, {"Last 30 s", 30}, {"Last 60 s", 60}, {"Whole run", 0}};

}  // namespace

PressurePlotWindow::PressurePlotWindow(PressureFeed& feed, QWidget* parent)
    : QWidget(parent, Qt::Window), m_feed(feed) {
    setWindowTitle(QStringLiteral("Pressure Plot"));
    setWindowIcon(AppIcon());
    m_plot = new PressurePlot(feed.Trace(), this);
    m_span = new QComboBox(this);
    for (const SpanItem& span : kSpans) m_span->addItem(QString::fromLatin1(span.text));
    auto* label = new QLabel(QStringLiteral("&Show:"), this);
    label->setBuddy(m_span);

    auto* choice = new QHBoxLayout;
    choice->addWidget(label);
    choice->addWidget(m_span);
    choice->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(choice);
    layout->addWidget(m_plot, 1);

    connect(m_span, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int index) {
        if (index >= 0) m_plot->SetSpan(kSpans[index].seconds);
    });
    connect(&feed, &PressureFeed::TraceChanged, m_plot, &PressurePlot::TraceChanged);
}

PressurePlotWindow::~PressurePlotWindow() {
    m_feed.SetWatched(false);
}

void PressurePlotWindow::showEvent(QShowEvent* event) {
    m_feed.SetWatched(true);
    m_feed.Flush();  // what came while nobody watched
    QWidget::showEvent(event);
}

void PressurePlotWindow::hideEvent(QHideEvent* event) {
    m_feed.SetWatched(false);
    QWidget::hideEvent(event);
}

}  // namespace ui
