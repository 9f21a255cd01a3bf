#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "tsdb/reading_feed.h"
#include "tsdb/settings.h"
#include "tsdb/writer.h"

namespace device {
class MeasurementSession;
}

// The program's readings into a time-series database: a tsdb::Writer fed by the main window's
// session, with the port and the transducer's serial number as tags. Lives on the user-interface
// thread; the writer's start (which asks the database and may take its request time-out) runs on
// a thread of its own, and the writer's events are posted back here.
namespace ui {

class DatabaseExport : public QObject {
    Q_OBJECT
public:
    // What the user chose; an empty spool folder is the port's default one.
    struct Choice {
        bool enabled = false;
        std::string url;
        std::string tokenFile;
        std::string spoolDir;
    };

    // How a start ended, for the dialog to word.
    struct Started {
        bool ok = false;
        std::string error;         // !ok: the sentence the writer gave, for the user to fix
        std::string notAnswering;  // ok: the database does not answer; the readings wait
    };

    explicit DatabaseExport(device::MeasurementSession& session, QObject* parent = nullptr);
    ~DatabaseExport() override;  // Finish

    const Choice& Current() const { return m_choice; }
    bool Writing() const { return m_writer != nullptr; }
    bool Starting() const { return m_starter.joinable(); }

    // The settings of a choice: INFLUX_TOKEN when no token file is given, as zelctl does.
    static tsdb::Settings SettingsFor(const Choice& choice, const std::string& portPath);

    // Ends the present writer, then with choice.enabled starts one; `done` on this thread once
    // it is known. Ignored while a start is on its way.
    void Apply(const Choice& choice, std::function<void(const Started&)> done);

    // Sends what is left within the flush time-out, keeps the rest in the spool, detaches.
    void Finish();

    // "Sent 1200, spooled 0, last error: ..." while a writer exists; empty otherwise.
    std::string StatusText() const;

    // The last thing the writer told (answers again, refused readings, ...); empty before any.
    const std::string& LastNote() const { return m_lastNote; }

    // Brings the tags up to date (the port may have changed); user-interface thread.
    void RefreshTags();

signals:
    void Noted();  // LastNote changed

private:
    class Events;
    class Feed;

    void OnStarted(std::unique_ptr<tsdb::Writer> writer, const Started& started,
                   std::function<void(const Started&)> done);
    void Note(std::string text);  // any thread
    tsdb::Tags CurrentTags() const;

    device::MeasurementSession& m_session;
    Choice m_choice;
    std::unique_ptr<Events> m_events;  // outlives every writer
    std::unique_ptr<tsdb::Writer> m_writer;
    std::unique_ptr<Feed> m_feed;  // attached to the session while it exists
    std::thread m_starter;
    std::string m_lastNote;
    bool m_finishing = false;  // a start's result taken by Finish: nobody waits for it
};

}  // namespace ui
