#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "tsdb/database_check.h"
#include "tsdb/http_post.h"
#include "tsdb/settings.h"
#include "tsdb/spool.h"
#include "tsdb/writer_events.h"

// Readings as line protocol to a time-series database (InfluxDB 1.x and 2.x, VictoriaMetrics
// single node and cluster), never holding up the acquisition. Push only appends to a bounded
// queue; the writer's own thread cuts it into batches (every batchInterval, or at batchLines
// lines) and POSTs them one at a time, in order. A batch the database does not answer, or
// answers with a server error, goes to the spool, which is sent oldest first when the database
// answers again, with a back-off between tries; while the spool holds anything, new batches join
// its end, so the database gets the readings in their order. A batch refused as malformed goes
// to the spool's reject file. A batch the database acknowledged is never sent again; one whose
// answer never came may be (InfluxDB keeps one point per series and time stamp).
//
// Use: Writer w(settings, &events); w.Start(&error); w.Push(lines)...; w.Finish().
// ReadingFeed (reading_feed.h) pushes a measurement session's readings.
namespace tsdb {

// The writer's state for a status display, at any time from any thread.
struct Progress {
    Counts counts;          // so far; counts.spooled: what the spool holds now
    bool outage = false;    // the database does not answer at present
    std::string lastError;  // why the last failed request failed; empty before any
};

class Writer {
public:
    // `events` (may be null) outlives the writer.
    explicit Writer(Settings settings, WriterEvents* events = nullptr);
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;
    ~Writer();  // Finish(0) unless finished

    // Reads the token, takes the spool and checks the database (CheckDatabase), then starts
    // the thread. False with `error` set when something is for the user to fix: the token file,
    // the spool cannot be used, the host name is not known, the certificate is not trusted, the
    // database refuses the URL or the token (then `check`, when given, says which). A database
    // that does not answer is only told (OnNotAnswering): the readings wait in the spool.
    bool Start(std::string* error, CheckResult* check = nullptr);

    // Any thread, never blocking on the database: one or more LF-terminated lines.
    void Push(std::string lines);

    // Sends what is queued and spooled, for at most `timeout` (settings.flushTimeout), then
    // keeps the rest in the spool and stops the thread; tells OnFinished. Once; later calls
    // give the same counts.
    Counts Finish(std::chrono::milliseconds timeout);
    Counts Finish() { return Finish(m_settings.flushTimeout); }

    Progress CurrentProgress() const;

    const std::string& SpoolDir() const { return m_spool.Dir(); }

private:
    using Clock = std::chrono::steady_clock;
    enum class Outcome { Sent, Rejected, Failed };

    void Run();
    Outcome Send(std::string_view lines, std::string* why);
    void Deliver(std::string lines, long points);
    void SendOldestSpooled();
    void KeepInSpool(std::string_view lines, long points);
    void RejectLines(std::string_view lines, long points, const std::string& why);
    void TellRejected(long points, const std::string& why);
    void TellSpoolFailure(const std::string& error, long points);
    void OnFailure(const std::string& why);
    void OnSuccess();
    void Publish(const std::string* error = nullptr);  // into m_progress
    bool PastDeadline() const { return Clock::now() >= m_deadlineSeen; }
    // Cuts up to batchLines whole lines off the queue; m_mutex held.
    std::string CutBatch(long* points);

    const Settings m_settings;
    WriterEvents* const m_events;
    const std::string m_urlShown;
    std::string m_authorization;
    Spool m_spool;
    std::unique_ptr<HttpPoster> m_http;  // made once the token is known
    std::thread m_thread;

    std::mutex m_mutex;  // guards the queue and the finish request
    std::condition_variable m_wake;
    std::string m_queue;
    long m_queuedLines = 0;
    bool m_finishing = false;
    Clock::time_point m_deadline = Clock::time_point::max();
    long m_lostInQueue = 0;  // pushed while the queue was full, or after Finish
    bool m_queueOverflowTold = false;

    // The writer's thread only (Start before it runs, Finish after it ends).
    Counts m_counts;
    bool m_started = false;
    bool m_finished = false;
    Clock::time_point m_deadlineSeen = Clock::time_point::max();  // m_deadline, once finishing
    bool m_outage = false;  // told that the database does not answer; not yet that it does
    bool m_rejectTold = false;
    bool m_spoolFailureTold = false;
    bool m_oneFileAtATime = false;  // a joined batch was refused: find the file at fault
    Clock::time_point m_retryAt{};
    std::chrono::milliseconds m_backoff{0};
    std::minstd_rand m_jitter;

    mutable std::mutex m_progressMutex;
    Progress m_progress;
};

}  // namespace tsdb
