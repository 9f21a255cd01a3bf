#include "cli/influx_writer.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <utility>

namespace cli {
namespace {

// The database's answer for messages: its first line, without the JSON around InfluxDB's.
std::string FirstLine(const std::string& body) {
    std::string line = body.substr(0, body.find_first_of("\r\n"));
    if (line.size() > 200) line = line.substr(0, 200) + "...";
    return line;
}

std::string StatusText(const HttpAnswer& answer) {
    const std::string body = FirstLine(answer.body);
    return "HTTP " + std::to_string(answer.status) + (body.empty() ? "" : ": " + body);
}

// What InfluxDB and VictoriaMetrics answer for lines they cannot take (a bad line, a body too
// large, a field of another type). Any other refusal (a token no longer valid, a bucket gone,
// too many requests) is not the batch's fault: it waits in the spool.
bool IsMalformedStatus(long status) {
    return status == 400 || status == 413 || status == 415 || status == 422;
}

}  // namespace

InfluxWriter::InfluxWriter(InfluxSettings settings)
    : m_settings(std::move(settings)),
      m_urlShown(UrlForMessages(m_settings.url)),
      m_http(m_settings.url, m_settings.authorization),
      m_jitter(static_cast<unsigned>(::getpid()) ^
               static_cast<unsigned>(Clock::now().time_since_epoch().count())) {}

InfluxWriter::~InfluxWriter() {
    if (m_started && !m_finished) Finish(std::chrono::milliseconds(0));
}

bool InfluxWriter::Start(std::string* error) {
    if (!m_spool.Open(m_settings.spoolDir, error)) return false;

    // An empty write: InfluxDB 1.x and VictoriaMetrics answer 204, InfluxDB 2.x 400 "writing
    // requires points", each only after the database or bucket and the token passed.
    const HttpAnswer answer = m_http.Post("", m_settings.requestTimeout);
    const std::string where = "the database at " + m_urlShown;
    std::string notAnswering;
    if (!answer.answered) {
        if (NeedsFixing(answer)) {
            *error = where + " cannot be reached: " + answer.error;
            if (IsCertificateFailure(answer))
                *error +=
                    " (the system's certificates do not vouch for it; add the authority "
                    "that signed it with update-ca-certificates)";
            return false;
        }
        notAnswering = answer.error;
    } else if (answer.status / 100 == 2 ||
               (answer.status == 400 && answer.body.find("requires points") != std::string::npos)) {
        // ready
    } else if (answer.status == 401 || answer.status == 403) {
        *error = where + " refused the token (" + StatusText(answer) + ")" +
                 (m_settings.authorization.empty()
                      ? "; none was given: --influx-token-file FILE or INFLUX_TOKEN"
                      : "");
        return false;
    } else if (answer.status / 100 != 5) {
        *error = where + " refused the write (" + StatusText(answer) + ")";
        return false;
    } else {
        notAnswering = StatusText(answer);
    }
    if (!notAnswering.empty()) {
        std::fprintf(stderr,
                     "zelctl: warning: %s does not answer (%s); the readings wait in the spool %s "
                     "until it does\n",
                     where.c_str(), notAnswering.c_str(), m_spool.Dir().c_str());
        m_outage = true;
        m_backoff = m_settings.firstBackoff;
        m_retryAt = Clock::now() + m_backoff;
    }
    if (!m_spool.Empty()) {
        std::fprintf(stderr,
                     "zelctl: %ld readings of an earlier run wait in the spool %s; they go first\n",
                     m_spool.Points(), m_spool.Dir().c_str());
    }
    m_started = true;
    m_thread = std::thread([this] { Run(); });
    return true;
}

void InfluxWriter::Push(std::string lines) {
    if (lines.empty()) return;
    if (lines.back() != '\n') lines += '\n';
    const long n = static_cast<long>(std::count(lines.begin(), lines.end(), '\n'));
    bool tell = false;
    {
        std::lock_guard lock(m_mutex);
        if (m_finishing || m_queuedLines + n > m_settings.maxQueuedLines) {
            m_lostInQueue += n;
            tell = !m_finishing && !std::exchange(m_queueOverflowTold, true);
        } else {
            const bool wasEmpty = m_queuedLines == 0;
            m_queue += lines;
            m_queuedLines += n;
            // Woken when there is something to time, and when a batch is full.
            if (wasEmpty || (m_queuedLines >= m_settings.batchLines &&
                             m_queuedLines - n < m_settings.batchLines))
                m_wake.notify_one();
        }
    }
    if (tell) {
        std::fprintf(stderr,
                     "zelctl: warning: %ld readings wait for the database writer, which cannot "
                     "keep up; readings beyond that are dropped\n",
                     m_settings.maxQueuedLines);
    }
}

InfluxCounts InfluxWriter::Finish(std::chrono::milliseconds timeout) {
    if (m_finished) return m_counts;
    const Clock::time_point deadline = Clock::now() + timeout;
    {
        std::lock_guard lock(m_mutex);
        m_finishing = true;
        m_deadline = deadline;
    }
    m_http.AbortBy(deadline);
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
    m_finished = true;
    {
        std::lock_guard lock(m_mutex);
        m_counts.lost += m_lostInQueue;
    }
    m_counts.spooled = m_spool.Points();
    if (m_counts.spooled > 0) {
        std::fprintf(stderr,
                     "zelctl: %ld readings are left in the spool %s: the database did not take "
                     "them in time; the next zelctl with this spool sends them first\n",
                     m_counts.spooled, m_spool.Dir().c_str());
    }
    if (m_counts.lost > 0)
        std::fprintf(stderr, "zelctl: %ld readings could not be kept\n", m_counts.lost);
    return m_counts;
}

std::string InfluxWriter::CutBatch(long* points) {
    const long n = std::min(m_queuedLines, m_settings.batchLines);
    size_t end = 0;
    for (long i = 0; i < n; ++i) end = m_queue.find('\n', end) + 1;
    std::string batch = m_queue.substr(0, end);
    m_queue.erase(0, end);
    m_queuedLines -= n;
    *points = n;
    return batch;
}

void InfluxWriter::Run() {
    auto nextCut = Clock::now() + m_settings.batchInterval;
    std::unique_lock lock(m_mutex);
    for (;;) {
        const auto now = Clock::now();
        const bool finishing = m_finishing;
        if (finishing && m_deadlineSeen != m_deadline) {
            m_deadlineSeen = m_deadline;
            m_retryAt = std::min(m_retryAt, now);  // one more try now, not after a long back-off
        }
        const bool cutDue = m_queuedLines >= m_settings.batchLines || now >= nextCut || finishing;
        if (m_queuedLines > 0 && cutDue) {
            long points = 0;
            std::string batch = CutBatch(&points);
            if (now >= nextCut) nextCut = now + m_settings.batchInterval;
            lock.unlock();
            Deliver(std::move(batch), points);
            lock.lock();
            continue;
        }
        const bool spoolDue = !m_spool.Empty() && now >= m_retryAt && !PastDeadline();
        if (spoolDue) {
            lock.unlock();
            SendOldestSpooled();
            lock.lock();
            continue;
        }
        if (finishing && (m_spool.Empty() || PastDeadline())) break;

        // Asleep until a batch is due, a try of the spool, the end, or readings after a lull.
        auto wakeAt = Clock::time_point::max();
        if (m_queuedLines > 0) wakeAt = nextCut;
        if (!m_spool.Empty()) wakeAt = std::min(wakeAt, m_retryAt);
        if (finishing) wakeAt = std::min(wakeAt, m_deadlineSeen);
        const long queuedBefore = m_queuedLines;
        const auto woken = [&] {
            return (m_finishing && !finishing) || m_queuedLines >= m_settings.batchLines ||
                   (queuedBefore == 0 && m_queuedLines > 0);
        };
        if (wakeAt == Clock::time_point::max()) {
            m_wake.wait(lock, woken);
        } else {
            m_wake.wait_until(lock, wakeAt, woken);
        }
        // A lull ended: this reading's batch goes a full interval from now.
        if (queuedBefore == 0 && m_queuedLines > 0 && Clock::now() >= nextCut)
            nextCut = Clock::now() + m_settings.batchInterval;
    }
}

InfluxWriter::Outcome InfluxWriter::Send(std::string_view lines, std::string* why) {
    const HttpAnswer answer = m_http.Post(lines, m_settings.requestTimeout);
    if (!answer.answered) {
        *why = answer.error;
        return Outcome::Failed;
    }
    if (answer.status / 100 == 2) return Outcome::Sent;
    *why = StatusText(answer);
    return IsMalformedStatus(answer.status) ? Outcome::Rejected : Outcome::Failed;
}

void InfluxWriter::Deliver(std::string lines, long points) {
    // Behind the spool, or in a back-off, or out of time: in order, after what waits.
    if (!m_spool.Empty() || Clock::now() < m_retryAt || PastDeadline()) {
        KeepInSpool(lines, points);
        return;
    }
    std::string why;
    switch (Send(lines, &why)) {
        case Outcome::Sent:
            m_counts.sent += points;
            OnSuccess();
            break;
        case Outcome::Rejected:
            RejectLines(lines, points, why);
            OnSuccess();
            break;
        case Outcome::Failed:
            KeepInSpool(lines, points);
            OnFailure(why);
            break;
    }
}

void InfluxWriter::SendOldestSpooled() {
    Spool::Batch batch;
    std::string error;
    const size_t maxFiles = m_oneFileAtATime ? 1 : std::numeric_limits<size_t>::max();
    if (!m_spool.Oldest(m_settings.batchLines, maxFiles, &batch, &error)) {
        TellSpoolFailure(error, 0);
        OnFailure(error);
        return;
    }
    std::string why;
    switch (Send(batch.lines, &why)) {
        case Outcome::Sent:
            OnSuccess();  // before the batch leaves: it is part of what is told to go first
            m_spool.Remove(batch);
            m_counts.sent += batch.points;
            break;
        case Outcome::Rejected:
            OnSuccess();
            if (batch.files.size() > 1) {
                m_oneFileAtATime = true;  // the next tries find the file at fault
                break;
            }
            if (m_spool.Reject(batch, why, &error)) {
                TellRejected(batch.points, why);
            } else {
                m_spool.Remove(batch);
                TellSpoolFailure(error, batch.points);
            }
            break;
        case Outcome::Failed:
            OnFailure(why);
            break;
    }
    if (m_spool.Empty()) m_oneFileAtATime = false;
}

void InfluxWriter::KeepInSpool(std::string_view lines, long points) {
    std::string error;
    if (!m_spool.Add(lines, points, &error)) TellSpoolFailure(error, points);
}

void InfluxWriter::RejectLines(std::string_view lines, long points, const std::string& why) {
    std::string error;
    if (m_spool.Reject(lines, why, &error)) {
        TellRejected(points, why);
    } else {
        TellSpoolFailure(error, points);
    }
}

void InfluxWriter::TellRejected(long points, const std::string& why) {
    m_counts.rejected += points;
    if (std::exchange(m_rejectTold, true)) return;
    std::fprintf(stderr,
                 "zelctl: the database at %s refused %ld readings as malformed (%s); they are "
                 "kept in %s and not sent again\n",
                 m_urlShown.c_str(), points, why.c_str(), m_spool.RejectPath().c_str());
}

void InfluxWriter::TellSpoolFailure(const std::string& error, long points) {
    m_counts.lost += points;
    if (std::exchange(m_spoolFailureTold, true)) return;
    std::fprintf(stderr, "zelctl: %s\n", error.c_str());
}

void InfluxWriter::OnFailure(const std::string& why) {
    {
        std::lock_guard lock(m_mutex);
        if (m_finishing) m_deadlineSeen = m_deadline;
    }
    // A request cut short by the end of the flush timeout says nothing about the database.
    if (!PastDeadline() && !std::exchange(m_outage, true)) {
        std::fprintf(stderr,
                     "zelctl: warning: the database at %s does not answer (%s); the readings "
                     "wait in the spool %s until it does\n",
                     m_urlShown.c_str(), why.c_str(), m_spool.Dir().c_str());
    }
    using std::chrono::milliseconds;
    m_backoff = m_backoff.count() == 0 ? m_settings.firstBackoff
                                       : std::min(m_backoff * 2, m_settings.maxBackoff);
    // Up to a fifth either way, so that many benches do not all come back at one instant.
    std::uniform_real_distribution<double> spread(0.8, 1.2);
    auto wait =
        milliseconds(static_cast<long>(static_cast<double>(m_backoff.count()) * spread(m_jitter)));
    // At the end every second counts: the flush timeout is short.
    if (m_deadlineSeen != Clock::time_point::max()) wait = std::min(wait, milliseconds(1000));
    m_retryAt = Clock::now() + wait;
}

void InfluxWriter::OnSuccess() {
    m_backoff = std::chrono::milliseconds(0);
    m_retryAt = {};
    if (!std::exchange(m_outage, false)) return;
    std::string text = "zelctl: the database at " + m_urlShown + " answers again";
    if (!m_spool.Empty())
        text += "; the spool goes first (" + std::to_string(m_spool.Points()) + " readings)";
    std::fputs((text + "\n").c_str(), stderr);
}

}  // namespace cli
