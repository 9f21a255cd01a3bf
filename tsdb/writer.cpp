#include "tsdb/writer.h"

#include <unistd.h>

#include <algorithm>
#include <limits>
#include <utility>

#include "tsdb/token.h"

namespace tsdb {
namespace {

// What InfluxDB and VictoriaMetrics answer for lines they cannot take (a bad line, a body too
// large, a field of another type). Any other refusal (a token no longer valid, a bucket gone,
// too many requests) is not the batch's fault: it waits in the spool.
bool IsMalformedStatus(long status) {
    return status == 400 || status == 413 || status == 415 || status == 422;
}

}  // namespace

Writer::Writer(Settings settings, WriterEvents* events)
    : m_settings(std::move(settings)),
      m_events(events),
      m_urlShown(UrlForMessages(m_settings.url)),
      m_jitter(static_cast<unsigned>(::getpid()) ^
               static_cast<unsigned>(Clock::now().time_since_epoch().count())) {}

Writer::~Writer() {
    if (m_started && !m_finished) Finish(std::chrono::milliseconds(0));
}

bool Writer::Start(std::string* error, CheckResult* check) {
    Token token;
    if (!LoadToken(m_settings, &token, error)) return false;
    if (!token.warning.empty() && m_events) m_events->OnWarning(token.warning);
    m_authorization = token.authorization;
    if (!m_spool.Open(m_settings.spoolDir, error)) return false;
    m_http = std::make_unique<HttpPoster>(m_settings.url, m_authorization, m_settings.userAgent,
                                          m_settings.gzip);

    const CheckResult result =
        CheckDatabase(*m_http, m_settings.url, !m_authorization.empty(), m_settings.requestTimeout);
    if (check) *check = result;
    if (result.outcome == CheckResult::kMustFix) {
        *error = result.error;
        return false;
    }
    if (result.outcome == CheckResult::kNotAnswering) {
        if (m_events) m_events->OnNotAnswering(m_urlShown, result.error, m_spool.Dir());
        m_outage = true;
        m_backoff = m_settings.firstBackoff;
        m_retryAt = Clock::now() + m_backoff;
        Publish(&result.error);
    } else {
        Publish();
    }
    if (!m_spool.Empty() && m_events)
        m_events->OnEarlierRunSpooled(m_spool.Points(), m_spool.Dir());
    m_started = true;
    m_thread = std::thread([this] { Run(); });
    return true;
}

Progress Writer::CurrentProgress() const {
    std::lock_guard lock(m_progressMutex);
    return m_progress;
}

void Writer::Publish(const std::string* error) {
    std::lock_guard lock(m_progressMutex);
    m_progress.counts = m_counts;
    if (m_http) {
        m_progress.counts.bodyBytes = m_http->BodyBytes();
        m_progress.counts.wireBytes = m_http->WireBytes();
    }
    m_progress.counts.spooled = m_spool.Points();
    m_progress.outage = m_outage;
    if (error) m_progress.lastError = *error;
}

void Writer::Push(std::string lines) {
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
    if (tell && m_events) m_events->OnQueueFull(m_settings.maxQueuedLines);
}

Counts Writer::Finish(std::chrono::milliseconds timeout) {
    if (m_finished) return m_counts;
    const Clock::time_point deadline = Clock::now() + timeout;
    {
        std::lock_guard lock(m_mutex);
        m_finishing = true;
        m_deadline = deadline;
    }
    if (m_http) m_http->AbortBy(deadline);
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
    m_finished = true;
    {
        std::lock_guard lock(m_mutex);
        m_counts.lost += m_lostInQueue;
    }
    m_counts.spooled = m_spool.Points();
    if (m_http) {
        m_counts.bodyBytes = m_http->BodyBytes();
        m_counts.wireBytes = m_http->WireBytes();
    }
    Publish();
    if (m_events) m_events->OnFinished(m_counts, m_spool.Dir());
    return m_counts;
}

std::string Writer::CutBatch(long* points) {
    const long n = std::min(m_queuedLines, m_settings.batchLines);
    size_t end = 0;
    for (long i = 0; i < n; ++i) end = m_queue.find('\n', end) + 1;
    std::string batch = m_queue.substr(0, end);
    m_queue.erase(0, end);
    m_queuedLines -= n;
    *points = n;
    return batch;
}

void Writer::Run() {
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
            Publish();
            lock.lock();
            continue;
        }
        const bool spoolDue = !m_spool.Empty() && now >= m_retryAt && !PastDeadline();
        if (spoolDue) {
            lock.unlock();
            SendOldestSpooled();
            Publish();
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

Writer::Outcome Writer::Send(std::string_view lines, std::string* why) {
    const HttpAnswer answer = m_http->Post(lines, m_settings.requestTimeout);
    if (!answer.answered) {
        *why = answer.error;
        return Outcome::Failed;
    }
    if (answer.status / 100 == 2) return Outcome::Sent;
    *why = StatusText(answer);
    return IsMalformedStatus(answer.status) ? Outcome::Rejected : Outcome::Failed;
}

void Writer::Deliver(std::string lines, long points) {
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

void Writer::SendOldestSpooled() {
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

void Writer::KeepInSpool(std::string_view lines, long points) {
    std::string error;
    if (!m_spool.Add(lines, points, &error)) {
        TellSpoolFailure(error, points);
    } else if (m_events) {
        m_events->OnBatchSpooled(points);
    }
}

void Writer::RejectLines(std::string_view lines, long points, const std::string& why) {
    std::string error;
    if (m_spool.Reject(lines, why, &error)) {
        TellRejected(points, why);
    } else {
        TellSpoolFailure(error, points);
    }
}

void Writer::TellRejected(long points, const std::string& why) {
    m_counts.rejected += points;
    if (std::exchange(m_rejectTold, true)) return;
    if (m_events) m_events->OnRejected(m_urlShown, points, why, m_spool.RejectPath());
}

void Writer::TellSpoolFailure(const std::string& error, long points) {
    m_counts.lost += points;
    if (std::exchange(m_spoolFailureTold, true)) return;
    if (m_events) m_events->OnSpoolFailed(error);
}

void Writer::OnFailure(const std::string& why) {
    {
        std::lock_guard lock(m_mutex);
        if (m_finishing) m_deadlineSeen = m_deadline;
    }
    // A request cut short by the end of the flush timeout says nothing about the database.
    if (!PastDeadline() && !std::exchange(m_outage, true) && m_events)
        m_events->OnNotAnswering(m_urlShown, why, m_spool.Dir());
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
    Publish(&why);
}

void Writer::OnSuccess() {
    m_backoff = std::chrono::milliseconds(0);
    m_retryAt = {};
    if (std::exchange(m_outage, false) && m_events)
        m_events->OnAnswersAgain(m_urlShown, m_spool.Points());
}

}  // namespace tsdb
