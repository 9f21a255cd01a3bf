#include "ui/recording_window.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

#include "device/recording_file.h"
#include "ui/message_box.h"
#include "ui/marker_figures.h"
#include "ui/pressure_plot.h"
#include "ui/pressure_plot_window.h"

namespace ui {
namespace {

constexpr size_t kBatchReadings = 16384;  // about 2 minutes of a run, 400 kB as TracePoints

std::string LocalPath(const QString& path) {
    return path.toLocal8Bit().toStdString();
}

}  // namespace

RecordingLoader::RecordingLoader(std::string path, QObject* parent)
    : QObject(parent), m_path(std::move(path)) {}

RecordingLoader::~RecordingLoader() {
    Cancel();
    if (m_thread.joinable()) m_thread.join();
}

void RecordingLoader::Start() {
    m_thread = std::thread([this] { Run(); });
}

void RecordingLoader::Cancel() {
    std::lock_guard lock(m_batchMutex);
    m_cancel = true;  // a batch in flight is not waited for
    m_batchTaken.notify_all();
}

device::Figures RecordingLoader::Statistics(device::StatsWindow window) const {
    std::lock_guard lock(m_statsMutex);
    return m_stats.Current(window);
}

// Loader thread.
void RecordingLoader::Run() {
    device::RecordingFile file;
    std::string error;
    auto finish = [this](const std::string& why, const std::string& cutLine) {
        const bool cancelled = m_cancel;
        QMetaObject::invokeMethod(
            this,
            [this, error = QString::fromStdString(why), cut = QString::fromStdString(cutLine),
             cancelled] {
                m_done = true;
                m_feed.Flush();
                emit Finished(error, cut, cancelled);
            },
            Qt::QueuedConnection);
    };
    if (!file.Open(m_path, &error)) return finish(error, {});
    device::RecordedBatch batch;
    for (;;) {
        const device::RecordingFile::Step step = file.Next(kBatchReadings, &batch);
        m_format = file.Format();
        {
            std::lock_guard lock(m_statsMutex);
            for (const device::StatsReading& r : batch.written) m_stats.Add(r);
        }
        m_feed.OnReadings(batch.timed);
        {
            std::lock_guard lock(m_batchMutex);
            m_inFlight = true;
        }
        const int permille =
            file.Size() ? static_cast<int>(file.Position() * 1000 / file.Size()) : 1000;
        QMetaObject::invokeMethod(
            this,
            [this, permille] {
                m_feed.Flush();
                emit Progress(permille);
                std::lock_guard lock(m_batchMutex);
                m_inFlight = false;
                m_batchTaken.notify_all();
            },
            Qt::QueuedConnection);
        {
            std::unique_lock lock(m_batchMutex);
            m_batchTaken.wait(lock, [this] { return !m_inFlight || m_cancel; });
        }
        if (m_cancel) return finish({}, {});
        if (step == device::RecordingFile::Step::Bad) return finish(file.Error(), {});
        if (step == device::RecordingFile::Step::End) {
            if (file.Readings() == 0) return finish("it holds no readings", file.CutLine());
            return finish({}, file.CutLine());
        }
    }
}

PressurePlotWindow* OpenRecording(const QString& path, QWidget* owner) {
    auto* plotOwner = qobject_cast<PressurePlotWindow*>(owner);
    QWidget* parent = plotOwner ? owner->parentWidget() : owner;
    auto* loader = new RecordingLoader(LocalPath(path));
    auto* window = new PressurePlotWindow(loader->Feed(), parent);
    // The window's children go after its own destructor, which still reads the feed.
    loader->setParent(window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    const QString name = QFileInfo(path).fileName();
    window->setWindowTitle(name + QStringLiteral(" – Pressure Plot"));
    window->SpanChoice()->setCurrentIndex(window->SpanChoice()->count() - 1);  // the whole run

    PressurePlot* plot = window->Plot();
    StatisticsPanel::Source source;
    source.figures = [loader, plot](device::StatsWindow span) {
        const auto marked = plot->MarkedReadings();
        if (span == device::StatsWindow::kWholeRun && !marked.empty())
            return device::FiguresOf(WrittenReadings(marked));
        return loader->Statistics(span);
    };
    window->AddStatistics(std::move(source));
    window->Statistics()->SetWholeText(QStringLiteral("Markers, else whole file"));
    QObject::connect(plot, &PressurePlot::MarkersChanged, window, [window] {
        if (window->Statistics()) window->Statistics()->Refresh();
    });

    auto* note = new QLabel(window);
    note->setWordWrap(true);
    note->setAccessibleName(QStringLiteral("Recording"));
    note->setText(QStringLiteral("Reading %1 …").arg(name));
    auto* progress = new QProgressBar(window);
    progress->setRange(0, 1000);
    progress->setAccessibleName(QStringLiteral("Reading the file"));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), window);
    cancel->setAccessibleName(QStringLiteral("Cancel"));
    auto* footer = new QHBoxLayout;
    footer->addWidget(note, 1);
    footer->addWidget(progress);
    footer->addWidget(cancel);
    if (auto* layout = qobject_cast<QVBoxLayout*>(window->layout())) layout->addLayout(footer);

    QObject::connect(cancel, &QPushButton::clicked, loader, &RecordingLoader::Cancel);
    QObject::connect(loader, &RecordingLoader::Progress, progress, &QProgressBar::setValue);
    QObject::connect(
        loader, &RecordingLoader::Finished, window,
        [window, loader, note, progress, cancel, name, path](const QString& error,
                                                             const QString& cut, bool cancelled) {
            progress->hide();
            cancel->hide();
            const long count = static_cast<long>(loader->Feed().Trace().Count());
            QStringList lines;
            lines << QStringLiteral("%1: %2 readings").arg(name).arg(count);
            if (loader->Format() == device::RecordedFormat::PressureLog) {
                lines << QStringLiteral(
                             "A pressure log has no time per reading: its readings are placed "
                             "%1 a second, moved on to its time lines where they are later.")
                             .arg(device::kNominalReadingsPerSecond);
            }
            if (cancelled)
                lines << QStringLiteral("Reading was cancelled: the file is shown in part.");
            if (!cut.isEmpty())
                lines << QStringLiteral("The last line, %1, has no line end and is left out.")
                             .arg(cut);
            if (!error.isEmpty()) {
                ui::AppMessageBox(LocalPath(path) + " cannot be opened as a recording: " +
                                            error.toStdString() + ".",
                                        ui::MessageIcon::Exclamation);
                if (count == 0) {
                    window->close();
                    return;
                }
                lines << QStringLiteral("Reading stopped at %1; the readings before it are shown.")
                             .arg(error);
            }
            note->setText(lines.join(QLatin1Char('\n')));
            if (window->Statistics()) window->Statistics()->Refresh();
            window->Plot()->TraceChanged();
        });

    window->resize(window->sizeHint());
    if (owner) window->move(owner->frameGeometry().topLeft() + QPoint(40, 40));
    window->show();
    loader->Start();
    return window;
}

void RunOpenRecordingDialog(QWidget* owner) {
    const QString path = QFileDialog::getOpenFileName(
        owner, QStringLiteral("Open Recording"), QString(),
        QStringLiteral("Recordings (*.csv *.ndjson *.json *.txt *.log);;All Files (*)"));
    if (!path.isEmpty()) OpenRecording(path, owner);
}

}  // namespace ui
