#include "device/measurement_session.h"

#include <algorithm>

#include "device/device_state.h"
#include "device/pressure_log.h"
#include "serial/serial_port.h"

namespace device {

MeasurementSession::MeasurementSession(MainDialogCore& dialog, CommandPageCore& page, Views views,
                                       CSerialPort* port)
    : m_dialog(dialog), m_page(page), m_views(views) {
    g_mainDlg = &dialog;
    g_commandPage = &page;
    g_monitorEdit = views.monitor;
    g_readoutEdit = views.readout;
    g_eepromList = views.eepromTable;
    dialog.m_deviceAddress = "01";
    dialog.m_events = &m_relay;
    page.m_stepObserver = this;
    page.m_events = &m_relay;
    if (!port) {
        m_ownPort = std::make_unique<CSerialPort>();
        port = m_ownPort.get();
    }
    AttachPort(port);
}

MeasurementSession::~MeasurementSession() {
    if (m_dialog.m_timer) m_dialog.m_timer->Stop();
    if (m_page.m_stepObserver == this) m_page.m_stepObserver = nullptr;
    if (m_page.m_events == &m_relay) m_page.m_events = nullptr;
    if (m_dialog.m_events == &m_relay) m_dialog.m_events = nullptr;
    if (g_mainDlg == &m_dialog) g_mainDlg = nullptr;
    if (g_commandPage == &m_page) g_commandPage = nullptr;
    if (g_monitorEdit == m_views.monitor) g_monitorEdit = nullptr;
    if (g_readoutEdit == m_views.readout) g_readoutEdit = nullptr;
    if (g_eepromList == m_views.eepromTable) g_eepromList = nullptr;
    if (m_ownPort) m_ownPort->Close();
}

void MeasurementSession::AttachPort(CSerialPort* port) {
    m_dialog.m_port = port;
    m_dialog.m_readPort = port;
    m_page.m_port = port;
}

serial::PortOpenResult MeasurementSession::OpenOwnPort(const std::string& path) {
    if (!m_ownPort) m_ownPort = std::make_unique<CSerialPort>();
    AttachPort(m_ownPort.get());
    serial::PortOpenResult result = serial::OpenPort(m_ownPort.get(), path);
    if (result) m_dialog.m_portGone = false;
    return result;
}

const MainDialogCore::EepromReadoutResult& MeasurementSession::ReadEeprom() {
    m_eeprom = m_dialog.ReadEeprom();
    return m_eeprom;
}

bool MeasurementSession::StartTimer() {
    return m_dialog.StartTimer();
}

template <typename Event>
void MeasurementSession::Tell(Event event) {
    std::vector<SessionEvents*> listeners;
    {
        std::lock_guard lock(m_mutex);
        listeners = m_listeners;
    }
    for (SessionEvents* listener : listeners) event(*listener);
}

template <typename Event>
void MeasurementSession::TellFromTick(Event event) {
    std::lock_guard calls(m_callMutex);
    Tell(event);
}

void MeasurementSession::Relay::OnReadoutProgress(int byteAddress, const std::string& byteText) {
    m_session.Tell([&](SessionEvents& l) { l.OnReadoutProgress(byteAddress, byteText); });
}

void MeasurementSession::Relay::OnReadoutUnconfirmed(const std::vector<UnconfirmedRow>& rows) {
    m_session.Tell([&](SessionEvents& l) { l.OnReadoutUnconfirmed(rows); });
}

void MeasurementSession::Relay::OnPortGone() {
    m_session.TellFromTick([](SessionEvents& l) { l.OnPortGone(); });
}

void MeasurementSession::Relay::OnFallingBehind() {
    m_session.TellFromTick([](SessionEvents& l) { l.OnFallingBehind(); });
}

void MeasurementSession::Relay::OnLogFailed(const std::string& message) {
    m_session.TellFromTick([&](SessionEvents& l) { l.OnLogFailed(message); });
}

bool MeasurementSession::StartRun(const RunOptions& options) {
    {
        std::lock_guard lock(m_mutex);
        m_ledger = {};
        m_statistics.Clear();
        m_ledger.c1Sent = 1;  // the start sequence's
        m_ledger.eepromRereads = Eeprom().repeatedReads;
        m_ledger.eepromUnconfirmedRows = static_cast<int>(Eeprom().unconfirmedRows.size());
    }
    Tell([](SessionEvents& l) { l.OnRunStarted(); });
    m_runOptions = options;
    m_suspended = false;
    m_clock.Start();
    m_page.StartContinuous();
    return options.logPath.empty() || OpenLog(options.logPath, options.timeStamps);
}

RunEnd MeasurementSession::StopRun() {
    const RunEnd end = EndRun();
    Tell([&end](SessionEvents& l) { l.OnRunEnded(end); });
    return end;
}

RunEnd MeasurementSession::EndRun() {
    m_page.StopContinuous();
    RunEnd end;
    end.logCloseFailed = !CloseLog(&end.logCloseFailure);
    std::lock_guard lock(m_mutex);
    m_ledger.drainedBytes += m_page.m_stopDiscardedBytes;
    // An unfinished record waits for the next run's text, which never completes it.
    m_ledger.discardedBytes += static_cast<long>(m_page.m_carry.size());
    m_ledger.fellBehind = m_page.m_fellBehind;
    end.ledger = m_ledger;
    return end;
}

RunEnd MeasurementSession::SuspendRun() {
    m_gapStart = ReadingClock::Steady::now();
    m_suspended = true;
    RunEnd end = EndRun();
    // No tick may read the port while it is closed and opened again, nor during the read-out.
    if (m_dialog.m_timer) m_dialog.m_timer->Stop();
    Tell([](SessionEvents& l) { l.OnRunSuspended(); });
    return end;
}

namespace {

// Rows whose byte texts differ between two images.
std::vector<int> DifferingRows(const EepromImage& a, const EepromImage& b) {
    std::vector<int> rows;
    for (int r = 0; r < kEepromRows; ++r) {
        if (RowCells(a, r) != RowCells(b, r)) rows.push_back(r);
    }
    return rows;
}

}  // namespace

ResumeCheck MeasurementSession::ResumeRun() {
    ResumeCheck check;
    if (!m_suspended) return check;
    // The table keeps showing the start-up image while the transducer is checked.
    TableView* table = g_eepromList;
    g_eepromList = nullptr;
    const MainDialogCore::EepromReadoutResult again = m_dialog.ReadEeprom();
    g_eepromList = table;
    StartTimer();
    if (again.stopped) {
        check.outcome = ResumeCheck::kGoneAgain;
    } else if (!again.answered) {
        check.outcome = ResumeCheck::kNoAnswer;
    } else if (!again.unconfirmedRows.empty()) {
        check.outcome = ResumeCheck::kUnconfirmed;
        check.rows = again.unconfirmedRows;
    } else if (auto rows = DifferingRows(m_eeprom.image, again.image); !rows.empty()) {
        check.outcome = ResumeCheck::kOtherTransducer;
        check.rows = std::move(rows);
    } else {
        check.outcome = ResumeCheck::kResumed;
    }
    if (check.outcome != ResumeCheck::kResumed) {
        // Still suspended: the caller tries again or abandons the run.
        const auto coefficients = Coefficients(m_eeprom.image);
        std::copy(coefficients.begin(), coefficients.end(), g_coefficients.begin());
        return check;
    }
    m_eeprom.repeatedReads += again.repeatedReads;
    m_suspended = false;
    check.gapSeconds =
        std::chrono::duration<double>(ReadingClock::Steady::now() - m_gapStart).count();
    {
        std::lock_guard lock(m_mutex);
        ++m_ledger.gaps;
        m_ledger.gapSeconds += check.gapSeconds;
        m_ledger.c1Sent += 1;  // the start sequence's, again
        m_ledger.eepromRereads = Eeprom().repeatedReads;
    }
    m_page.StartContinuous();
    check.logNotOpened = !m_runOptions.logPath.empty() &&
                         !OpenLog(m_runOptions.logPath, m_runOptions.timeStamps, LogOpen::kAppend);
    Tell([&check](SessionEvents& l) { l.OnRunResumed(check); });
    return check;
}

void MeasurementSession::AbandonRun() {
    if (!m_suspended) return;
    m_suspended = false;
    StartTimer();
    Tell([](SessionEvents& l) { l.OnRunAbandoned(); });
}

bool MeasurementSession::Running() const {
    return !g_acquisitionStopped;
}

RunLedger MeasurementSession::Ledger() const {
    std::lock_guard lock(m_mutex);
    return m_ledger;
}

Figures MeasurementSession::Statistics(StatsWindow window) const {
    std::lock_guard lock(m_mutex);
    return m_statistics.Current(window);
}

void MeasurementSession::AddListener(SessionEvents* listener) {
    std::lock_guard lock(m_mutex);
    m_listeners.push_back(listener);
}

void MeasurementSession::RemoveListener(SessionEvents* listener) {
    std::lock_guard calls(m_callMutex);
    std::lock_guard lock(m_mutex);
    std::erase(m_listeners, listener);
}

void MeasurementSession::OnContinuousStep(const StepResult& result) {
    std::vector<TimedReading> readings;
    if (!result.values.empty()) readings = m_clock.Stamp(result.values);
    std::lock_guard calls(m_callMutex);
    std::vector<SessionEvents*> listeners;
    {
        std::lock_guard lock(m_mutex);
        Count(result, readings);
        if (!readings.empty()) listeners = m_listeners;
    }
    // Listeners only post, write or queue: they never wait for another thread, nor call back.
    for (SessionEvents* listener : listeners) listener->OnReadings(readings);
}

void MeasurementSession::Count(const StepResult& result,
                               const std::vector<TimedReading>& readings) {
    m_ledger.received += result.readings;
    m_ledger.shown += result.shown;
    m_ledger.zero += result.zero;
    m_ledger.noTemperature += result.noTemperature;
    m_ledger.temperatureRecords += result.temperatureRecords;
    m_ledger.c1Sent += result.temperatureRequests;
    m_ledger.discardedBytes += result.discardedBytes;
    m_ledger.fellBehind = m_page.m_fellBehind;
    m_statistics.Add(readings);
}

}  // namespace device
