#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "cli/http_post.h"
#include "cli/spool.h"

// `zelctl acquire --influx`: line protocol to a time-series database (InfluxDB 1.x and 2.x,
// VictoriaMetrics single node and cluster), never holding up the acquisition. Push only appends
// to a bounded queue; the writer's own thread cuts it into batches (every second, or at 5000
// lines) and POSTs them one at a time, in order. A batch the database does not answer, or
// answers with a server error, goes to the spool, which is sent oldest first when the database
// answers again, with a back-off between tries; while the spool holds anything, new batches join
// its end, so the database gets the readings in their order. A batch refused as malformed goes
// to the spool's reject file. A batch the database acknowledged is never sent again; one whose
// answer never came may be (InfluxDB keeps one point per series and time stamp).
namespace cli {

struct InfluxSettings {
    std::string url;
    std::string authorization;  // the Authorization header's value, or empty
    std::string spoolDir;
    std::chrono::milliseconds batchInterval{1000};
    long batchLines = 5000;
    long maxQueuedLines = 200'000;  // the queue's bound: ~20 minutes of readings
    std::chrono::milliseconds requestTimeout{10'000};
    std::chrono::milliseconds firstBackoff{1000};
    std::chrono::milliseconds maxBackoff{30'000};
};

// Readings (points) by where they ended.
struct InfluxCounts {
    long sent = 0;      // acknowledged by the database in this run (spooled ones too)
    long spooled = 0;   // in the spool at the end, this run's and earlier ones'
    long rejected = 0;  // refused as malformed in this run, now in the reject file
    long lost = 0;      // neither sent nor kept: the queue overflowed, or the spool failed
};

class InfluxWriter {
public:
    explicit InfluxWriter(InfluxSettings settings);
    InfluxWriter(const InfluxWriter&) = delete;
    InfluxWriter& operator=(const InfluxWriter&) = delete;
    ~InfluxWriter();  // Finish(0) unless finished

    // Takes the spool and sends the database an empty write, which checks the URL, the
    // database or bucket and the token without storing anything, then starts the thread.
    // False with `error` set when something is for the user to fix: the spool cannot be used,
    // the host name is not known, the certificate is not trusted, the database refuses the URL
    // or the token. A database that does not answer, or answers with a server error, is only
    // warned about on standard error: the readings wait in the spool. Also says there when an
    // earlier run's readings wait in the spool (they go first).
    bool Start(std::string* error);

    // Any thread, never blocking on the database: one or more LF-terminated lines.
    void Push(std::string lines);

    // Sends what is queued and spooled, for at most `timeout`, then keeps the rest in the spool
    // and stops the thread. Says on standard error what is left in the spool, and where.
    InfluxCounts Finish(std::chrono::milliseconds timeout);

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
    bool PastDeadline() const { return Clock::now() >= m_deadlineSeen; }
    // Cuts up to batchLines whole lines off the queue; m_mutex held.
    std::string CutBatch(long* points);

    const InfluxSettings m_settings;
    const std::string m_urlShown;
    Spool m_spool;
    HttpPoster m_http;
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
    InfluxCounts m_counts;
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
};

}  // namespace cli
