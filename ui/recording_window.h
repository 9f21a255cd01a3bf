#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "device/live_statistics.h"
#include "device/recorded_readings.h"
#include "ui/pressure_feed.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

namespace ui {

class PressurePlotWindow;

// A recorded file played into a feed and statistics of its own, as a run's readings are: a
// thread reads it a batch at a time and hands each batch to the feed, then waits until the
// user-interface thread has taken it into the trace, so that no more than a batch is ever held
// besides the trace's own bounded memory. Cancel (or the end of the loader) stops it at the
// next batch.
class RecordingLoader : public QObject {
    Q_OBJECT
public:
    explicit RecordingLoader(std::string path, QObject* parent = nullptr);
    ~RecordingLoader() override;

    void Start();
    void Cancel();
    bool Running() const { return m_thread.joinable() && !m_done; }

    PressureFeed& Feed() { return m_feed; }
    device::Figures Statistics(device::StatsWindow window) const;
    device::RecordedFormat Format() const { return m_format; }

signals:
    void Progress(int permille);
    // The file is read, or reading it ended: `error` names the file's line or the system's
    // reason (empty when the whole file was read); `cut` names a last line without a line end.
    void Finished(QString error, QString cut, bool cancelled);

private:
    void Run();

    std::string m_path;
    PressureFeed m_feed;
    mutable std::mutex m_statsMutex;
    device::LiveStatistics m_stats;
    std::atomic<device::RecordedFormat> m_format{device::RecordedFormat::Unknown};
    std::atomic<bool> m_cancel{false};
    std::mutex m_batchMutex;
    std::condition_variable m_batchTaken;
    bool m_inFlight = false;  // a batch waits for the user-interface thread
    bool m_done = false;
    std::thread m_thread;
};

// Opens `path` in a Pressure Plot window of its own, titled with the file's name, beside the
// window that asks (`owner`). The window goes with its readings when it is closed.
PressurePlotWindow* OpenRecording(const QString& path, QWidget* owner);
// Asks for a file (Open Recording…), then opens it.
void RunOpenRecordingDialog(QWidget* owner);

}  // namespace ui
