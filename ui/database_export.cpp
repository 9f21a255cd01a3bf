#include "ui/database_export.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <cstdlib>

#include "device/eeprom_contents.h"
#include "device/measurement_session.h"
#include "serial/port_settings.h"
#include "tsdb/database_check.h"

namespace ui {

// The writer's events as sentences for the dialog, posted to the user-interface thread.
class DatabaseExport::Events : public tsdb::WriterEvents {
public:
    explicit Events(DatabaseExport& owner) : m_owner(owner) {}

    void OnWarning(const std::string& text) override { m_owner.Note("Warning: " + text); }
    void OnNotAnswering(const std::string& url, const std::string& why,
                        const std::string& spoolDir) override {
        m_owner.Note("The database at " + url + " does not answer (" + why +
                     "); the readings wait in the spool " + spoolDir + " until it does.");
    }
    void OnAnswersAgain(const std::string& url, long spooled) override {
        std::string text = "The database at " + url + " answers again";
        if (spooled > 0)
            text += "; the spool goes first (" + std::to_string(spooled) + " readings)";
        m_owner.Note(text + ".");
    }
    void OnEarlierRunSpooled(long points, const std::string& spoolDir) override {
        m_owner.Note(std::to_string(points) + " readings of an earlier run wait in the spool " +
                     spoolDir + "; they go first.");
    }
    void OnRejected(const std::string& url, long points, const std::string& why,
                    const std::string& rejectPath) override {
        m_owner.Note("The database at " + url + " refused " + std::to_string(points) +
                     " readings as malformed (" + why + "); they are kept in " + rejectPath +
                     " and not sent again.");
    }
    void OnSpoolFailed(const std::string& error) override { m_owner.Note(error + "."); }
    void OnQueueFull(long maxQueued) override {
        m_owner.Note(std::to_string(maxQueued) +
                     " readings wait for the database writer, which cannot keep up; readings "
                     "beyond that are dropped.");
    }

private:
    DatabaseExport& m_owner;
};

// The feed with the tags of the run's port and transducer, taken when a run starts.
class DatabaseExport::Feed : public tsdb::ReadingFeed {
public:
    Feed(DatabaseExport& owner, tsdb::Writer& writer)
        : tsdb::ReadingFeed(writer, owner.CurrentTags()), m_owner(owner) {}
    void OnRunStarted() override { SetTags(m_owner.CurrentTags()); }  // user-interface thread

private:
    DatabaseExport& m_owner;
};

DatabaseExport::DatabaseExport(device::MeasurementSession& session, QObject* parent)
    : QObject(parent), m_session(session), m_events(std::make_unique<Events>(*this)) {}

DatabaseExport::~DatabaseExport() {
    Finish();
}

tsdb::Settings DatabaseExport::SettingsFor(const Choice& choice, const std::string& portPath) {
    tsdb::Settings settings;
    settings.url = choice.url;
    settings.tokenFile = choice.tokenFile;
    if (const char* fromEnvironment = std::getenv("INFLUX_TOKEN");
        choice.tokenFile.empty() && fromEnvironment) {
        settings.token = fromEnvironment;
    }
    settings.spoolDir = choice.spoolDir.empty() ? tsdb::DefaultSpoolDir(portPath) : choice.spoolDir;
    return settings;
}

tsdb::Tags DatabaseExport::CurrentTags() const {
    return {g_portName, device::SerialNumberText(m_session.Eeprom().image)};
}

void DatabaseExport::RefreshTags() {
    if (m_feed) m_feed->SetTags(CurrentTags());
}

void DatabaseExport::Apply(const Choice& choice, std::function<void(const Started&)> done) {
    if (Starting()) return;
    m_choice = choice;
    if (m_feed) m_session.RemoveListener(m_feed.get());
    m_feed.reset();
    tsdb::Settings settings = SettingsFor(choice, g_portName);
    // The old writer's flush and the new one's check both wait for the database: off this thread.
    m_starter = std::thread([this, old = std::move(m_writer), settings = std::move(settings),
                             enabled = choice.enabled, done = std::move(done)]() mutable {
        if (old) old->Finish();
        old.reset();
        Started started;
        std::unique_ptr<tsdb::Writer> writer;
        if (!enabled) {
            started.ok = true;
        } else if (settings.spoolDir.empty()) {
            started.error = "No spool folder: neither XDG_STATE_HOME nor HOME is set";
        } else {
            writer = std::make_unique<tsdb::Writer>(settings, m_events.get());
            tsdb::CheckResult check;
            started.ok = writer->Start(&started.error, &check);
            if (!started.ok) {
                if (check.tokenMissing)
                    started.error += "; none was given: a token file, or INFLUX_TOKEN";
                writer.reset();
            } else if (check.outcome == tsdb::CheckResult::kNotAnswering) {
                started.notAnswering = "The database at " + tsdb::UrlForMessages(settings.url) +
                                       " does not answer (" + check.error +
                                       "); the readings wait in the spool " + writer->SpoolDir() +
                                       " until it does.";
            }
        }
        auto* made = writer.release();  // adopted by OnStarted, or by Finish if that comes first
        QMetaObject::invokeMethod(
            this,
            [this, made, started, done] {
                OnStarted(std::unique_ptr<tsdb::Writer>(made), started, done);
            },
            Qt::QueuedConnection);
    });
}

void DatabaseExport::OnStarted(std::unique_ptr<tsdb::Writer> writer, const Started& started,
                               std::function<void(const Started&)> done) {
    if (m_starter.joinable()) m_starter.join();
    m_writer = std::move(writer);
    if (!started.ok) m_choice.enabled = false;  // nothing writes: Cancel shows it off
    if (m_writer) {
        m_feed = std::make_unique<Feed>(*this, *m_writer);
        m_session.AddListener(m_feed.get());
    }
    if (done && !m_finishing) done(started);
}

void DatabaseExport::Finish() {
    if (m_starter.joinable()) {
        // The start's result is posted: take it now, so that its writer is finished too.
        m_starter.join();
        m_finishing = true;
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
        m_finishing = false;
    }
    if (m_feed) m_session.RemoveListener(m_feed.get());
    m_feed.reset();
    if (m_writer) m_writer->Finish();
    m_writer.reset();
}

std::string DatabaseExport::StatusText() const {
    if (!m_writer) return {};
    const tsdb::Progress progress = m_writer->CurrentProgress();
    std::string text = "Sent " + std::to_string(progress.counts.sent) + ", spooled " +
                       std::to_string(progress.counts.spooled);
    if (progress.counts.rejected > 0)
        text += ", rejected " + std::to_string(progress.counts.rejected);
    if (progress.counts.lost > 0) text += ", lost " + std::to_string(progress.counts.lost);
    if (progress.outage) text += "; not answering";
    text += "; last error: " + (progress.lastError.empty() ? "none" : progress.lastError);
    return text;
}

void DatabaseExport::Note(std::string text) {
    QMetaObject::invokeMethod(
        this,
        [this, text = std::move(text)] {
            m_lastNote = text;
            emit Noted();
        },
        Qt::QueuedConnection);
}

}  // namespace ui
