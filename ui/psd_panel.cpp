#include "ui/psd_panel.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <charconv>
#include <tuple>

#include "device/reading_statistics.h"
#include "ui/message_box.h"
#include "platform/whole_file.h"
#include "ui/pressure_plot.h"
#include "ui/save_file_dialog.h"
#include "ui/psd_plot.h"

namespace ui {
namespace {

const QString kNone = QStringLiteral("–");
const char* const kCaptions[] = {"Readings",      "Sampling rate", "Spacing", "Segments",
                                 "Noise density", "Peak 1",        "Peak 2",  "Peak 3",
                                 "Band RMS",      "Cursor"};
enum Row {
    kRowReadings,
    kRowRate,
    kRowSpacing,
    kRowSegments,
    kRowNoise,
    kRowPeak1,
    kRowBand = kRowPeak1 + 3,
    kRowCursor
};
constexpr int kSegments[] = {0, 256, 512, 1024, 2048, 4096};

QString Number(double value, int digits = 4) {
    return QString::fromStdString(SpectrumNumber(value, digits));
}

// The span's readings as written, into the spectrum: the same numbers a saved file gives.
std::optional<device::Spectrum> SpectrumOf(const std::vector<TracePoint>& points, int segment,
                                           const std::atomic<bool>* cancel, std::string* error) {
    device::WelchSpectrum welch(
        segment ? segment : device::DefaultSegment(static_cast<long>(points.size())), cancel);
    for (const TracePoint& p : points) {
        const device::StatsReading written = device::AsWritten(
            {p.psi, p.rawPressure, p.rawTemperature}, std::chrono::nanoseconds(p.nanos));
        welch.Add(std::chrono::duration<double>(std::chrono::microseconds(*written.micros)).count(),
                  written.psi);
    }
    return welch.Finish(error);
}

}  // namespace

std::string SpectrumNumber(double value, int digits) {
    char buffer[32];
    const auto end =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits)
            .ptr;
    return std::string(buffer, end);
}

SpectrumPanel::SpectrumPanel(PressurePlot& plot, const PressureTrace& trace, QWidget* parent)
    : QWidget(parent), m_pressurePlot(plot), m_trace(trace) {
    m_plot = new SpectrumPlot(this);
    m_segment = new QComboBox(this);
    m_segment->addItem(QStringLiteral("Auto"));
    for (int i = 1; i < static_cast<int>(std::size(kSegments)); ++i)
        m_segment->addItem(QString::number(kSegments[i]));
    m_segment->setAccessibleName(QStringLiteral("Segment"));
    auto* segmentLabel = new QLabel(QStringLiteral("Se&gment:"), this);
    segmentLabel->setBuddy(m_segment);
    m_save = new QPushButton(QStringLiteral("Save Sp&ectrum…"), this);
    m_save->setAccessibleName(QStringLiteral("Save Spectrum…"));
    m_status = new QLabel(this);
    m_status->setWordWrap(true);
    m_status->setAccessibleName(QStringLiteral("Spectrum status"));

    auto* top = new QHBoxLayout;
    top->addWidget(segmentLabel);
    top->addWidget(m_segment);
    top->addStretch();
    top->addWidget(m_save);
    auto* grid = new QGridLayout;
    grid->setColumnStretch(1, 1);
    for (int row = 0; row < static_cast<int>(std::size(kCaptions)); ++row) {
        const QString caption = QString::fromUtf8(kCaptions[row]);
        auto* label = new QLabel(caption + QLatin1Char(':'), this);
        auto* value = new QLabel(kNone, this);
        value->setAccessibleName(caption);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(label, row, 0);
        grid->addWidget(value, row, 1);
        m_rows.emplace_back(label, value);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_plot, 1);
    layout->addWidget(m_status);
    layout->addLayout(grid);

    m_timer = new QTimer(this);
    m_timer->setInterval(kRefreshMs);
    connect(m_timer, &QTimer::timeout, this, &SpectrumPanel::Refresh);
    connect(m_segment, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &SpectrumPanel::Refresh);
    connect(&m_pressurePlot, &PressurePlot::MarkersChanged, this, [this] {
        if (isVisible()) Refresh();
    });
    connect(m_plot, &SpectrumPlot::CursorChanged, this, &SpectrumPanel::ShowCursor);
    connect(m_plot, &SpectrumPlot::BandChanged, this, &SpectrumPanel::ShowBand);
    connect(m_save, &QPushButton::clicked, this, &SpectrumPanel::SaveSpectrum);
    m_save->setEnabled(false);
}

SpectrumPanel::~SpectrumPanel() {
    StopWorker();
}

void SpectrumPanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_timer->start();
    Refresh();
}

void SpectrumPanel::hideEvent(QHideEvent* event) {
    m_timer->stop();
    QWidget::hideEvent(event);
}

QLabel* SpectrumPanel::Value(const QString& caption) const {
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (QString::fromUtf8(kCaptions[i]) == caption) return m_rows[i].second;
    }
    return nullptr;
}

const std::optional<device::Spectrum>& SpectrumPanel::Current() const {
    return m_plot->Spectrum();
}

SpectrumPanel::Span SpectrumPanel::CurrentSpan() const {
    Span span;
    span.segment = kSegments[std::max(0, m_segment->currentIndex())];
    const auto& recent = m_trace.Recent();
    if (recent.empty()) return span;
    const auto markers = m_pressurePlot.MarkerReadings();
    double from = 0, to = 0;
    if (markers.size() == 2) {
        span.marked = true;
        from = std::chrono::duration<double>(markers[0].sinceStart).count();
        to = std::chrono::duration<double>(markers[1].sinceStart).count();
    } else {
        std::tie(from, to) = m_pressurePlot.TimeRange();
    }
    span.from = m_trace.IndexAt(from);
    span.to = m_trace.IndexAt(to);
    if (span.to < recent.size() && recent[span.to].Seconds() <= to) ++span.to;
    if (span.from < span.to) {
        span.firstNanos = recent[span.from].nanos;
        span.lastNanos = recent[span.to - 1].nanos;
    }
    return span;
}

void SpectrumPanel::Refresh() {
    const Span span = CurrentSpan();
    if (m_shown && *m_shown == span) return;
    m_shown = span;
    Compute(span);
}

void SpectrumPanel::StopWorker() {
    if (m_cancel) m_cancel->store(true);
    if (m_worker.joinable()) m_worker.join();
}

void SpectrumPanel::Compute(const Span& span) {
    StopWorker();
    const unsigned generation = ++m_generation;
    const auto& recent = m_trace.Recent();
    std::vector<TracePoint> points(recent.begin() + static_cast<long>(span.from),
                                   recent.begin() + static_cast<long>(span.to));
    const QString where =
        span.marked ? QStringLiteral("between the markers") : QStringLiteral("in view");
    m_rows[kRowReadings].second->setText(QStringLiteral("%1 %2").arg(points.size()).arg(where));
    if (points.size() <= kInlineReadings) {
        std::string error;
        auto spectrum = SpectrumOf(points, span.segment, nullptr, &error);
        return Show(std::move(spectrum), error);
    }
    m_status->setText(QStringLiteral("Computing the spectrum of %1 readings …").arg(points.size()));
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    m_workerDone = false;
    m_worker = std::thread(
        [this, points = std::move(points), segment = span.segment, cancel = m_cancel, generation] {
            std::string error;
            auto spectrum = SpectrumOf(points, segment, cancel.get(), &error);
            if (cancel->load()) return;
            QMetaObject::invokeMethod(
                this,
                [this, generation, spectrum = std::move(spectrum), error]() mutable {
                    if (generation != m_generation) return;
                    m_workerDone = true;
                    Show(std::move(spectrum), error);
                },
                Qt::QueuedConnection);
        });
}

void SpectrumPanel::Show(std::optional<device::Spectrum> spectrum, const std::string& error) {
    for (size_t row = kRowRate; row < m_rows.size(); ++row) m_rows[row].second->setText(kNone);
    m_save->setEnabled(spectrum.has_value());
    if (!spectrum) {
        m_status->setText(QStringLiteral("No spectrum: %1.").arg(QString::fromStdString(error)));
        m_plot->SetSpectrum(std::nullopt);
        emit SpectrumChanged();
        return;
    }
    const device::Spectrum& s = *spectrum;
    m_status->setText(
        QStringLiteral("Welch: Hann window, segments overlapping by half, each "
                       "one's mean removed; the rate from the readings' times, "
                       "which Welch takes as evenly spaced."));
    m_rows[kRowRate].second->setText(Number(s.rateHz, 7) + QStringLiteral(" Hz"));
    m_rows[kRowSpacing].second->setText(
        QStringLiteral("%1 ms ± %2 ms (%3 to %4 ms)")
            .arg(Number(s.spacing.meanSeconds * 1e3), Number(s.spacing.stdSeconds * 1e3),
                 Number(s.spacing.minSeconds * 1e3), Number(s.spacing.maxSeconds * 1e3)));
    m_rows[kRowSegments].second->setText(QStringLiteral("%1 × %2 readings, %3 Hz a bin")
                                             .arg(s.segments)
                                             .arg(s.segment)
                                             .arg(Number(s.rateHz / s.segment)));
    if (s.noiseDensity)
        m_rows[kRowNoise].second->setText(Number(*s.noiseDensity) + QStringLiteral(" PSI/√Hz"));
    for (size_t i = 0; i < s.peaks.size() && i < 3; ++i) {
        m_rows[kRowPeak1 + i].second->setText(
            QStringLiteral("%1 Hz, %2 PSI")
                .arg(Number(s.peaks[i].hz), Number(s.peaks[i].amplitudePsi)));
    }
    m_plot->SetSpectrum(std::move(spectrum));
    ShowBand();
    ShowCursor();
    emit SpectrumChanged();
}

void SpectrumPanel::ShowCursor() {
    const auto& s = m_plot->Spectrum();
    const auto bin = m_plot->CursorBin();
    m_rows[kRowCursor].second->setText(
        s && bin ? QStringLiteral("%1 Hz, %2 PSI/√Hz")
                       .arg(Number(s->hz[*bin]), Number(std::sqrt(s->psd[*bin])))
                 : kNone);
}

void SpectrumPanel::ShowBand() {
    const auto& s = m_plot->Spectrum();
    const auto band = m_plot->Band();
    m_rows[kRowBand].second->setText(
        s && band ? QStringLiteral("%1 to %2 Hz: %3 PSI")
                        .arg(Number(band->first), Number(band->second),
                             Number(device::BandRms(*s, band->first, band->second)))
                  : QStringLiteral("drag across the spectrum"));
}

void SpectrumPanel::SaveSpectrum() {
    const auto& s = m_plot->Spectrum();
    if (!s) return;
    std::string path;
    if (!RunSaveFileDialog(this, {"Save Spectrum", "CSV File (*.csv)", "csv"}, &path)) return;
    std::string error;
    if (!platform::WriteWholeFile(path, device::SpectrumCsv(*s), &error)) {
        ui::AppMessageBox("The spectrum could not be saved to " + path + ": " + error + ".",
                                ui::MessageIcon::Exclamation);
    }
}

}  // namespace ui
