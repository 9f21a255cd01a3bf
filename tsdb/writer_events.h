#pragma once

#include <string>

// What a Writer tells while it runs, for its owner to word (zelctl on standard error, the
// program in its status bar). Every call is made at most once per occasion said below, from
// the thread named; none may block for long or call back into the writer.
namespace tsdb {

// Readings (points) by where they ended.
struct Counts {
    long sent = 0;      // acknowledged by the database in this run (spooled ones too)
    long spooled = 0;   // in the spool now (at the end: this run's and earlier ones')
    long rejected = 0;  // refused as malformed in this run, now in the reject file
    long lost = 0;      // neither sent nor kept: the queue overflowed, or the spool failed
    // The request bodies the database answered (every try): line protocol, and on the wire
    // (gzip-compressed unless Settings::gzip is off).
    long long bodyBytes = 0;
    long long wireBytes = 0;
};

class WriterEvents {
public:
    virtual ~WriterEvents() = default;

    // Something worth a look that does not stop the writer, as a sentence without a prefix:
    // a token file others may read. Start's thread.
    virtual void OnWarning(const std::string& text) {}

    // The database does not answer (no connection, a time-out, a server error: `why`); the
    // readings wait in `spoolDir`. Once an outage, until OnAnswersAgain. Start's thread or the
    // writer's.
    virtual void OnNotAnswering(const std::string& url, const std::string& why,
                                const std::string& spoolDir) {}
    // It answers again; `spooled` readings of the spool go first. The writer's thread.
    virtual void OnAnswersAgain(const std::string& url, long spooled) {}

    // At Start: an earlier run left `points` readings in the spool; they go first.
    virtual void OnEarlierRunSpooled(long points, const std::string& spoolDir) {}

    // A batch of `points` readings went to the spool instead of the database. Every batch; the
    // writer's thread.
    virtual void OnBatchSpooled(long points) {}

    // The database refused readings as malformed; they are in `rejectPath` and are not sent
    // again. The first such batch of a run only; the writer's thread.
    virtual void OnRejected(const std::string& url, long points, const std::string& why,
                            const std::string& rejectPath) {}

    // The spool could not be written or read (`error` says which and why). The first time a
    // run only; the writer's thread.
    virtual void OnSpoolFailed(const std::string& error) {}

    // The queue is full (`maxQueued` readings): the writer cannot keep up and readings beyond
    // are dropped. Once a run; the thread that pushed.
    virtual void OnQueueFull(long maxQueued) {}

    // Finish is done; `spoolDir` holds counts.spooled readings for the next run. Finish's thread.
    virtual void OnFinished(const Counts& counts, const std::string& spoolDir) {}
};

}  // namespace tsdb
