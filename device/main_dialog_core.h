#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/acq_timer.h"
#include "device/eeprom_contents.h"
#include "serial/port_settings.h"

class CSerialPort;

namespace device {

class SessionEvents;

// The measurement side of the main dialog: the program's CMainDlg holds one as a member, zelctl
// one of its own. One object per process, reached by the tick through g_mainDlg.
class MainDialogCore {
public:
    MainDialogCore() = default;
    MainDialogCore(const MainDialogCore&) = delete;
    MainDialogCore& operator=(const MainDialogCore&) = delete;
    virtual ~MainDialogCore();

    // UI thread. Opens g_portName on m_port at 115200 8N1 (serial::OpenPort); on success the
    // port counts as present again. What went wrong is the caller's to tell.
    serial::PortOpenResult OpenPort();

    // UI thread. Appends ">>" + text to the monitor and shows it; `text` has CR already made
    // CR LF. Echoes never trim the monitor.
    void EchoCommand(const std::string& text);
    // Reads up to 512 bytes from m_readPort into g_responseText (cut at a NUL); empty when
    // nothing came. Returns the number of bytes read, NULs and what follows them included.
    // Tick thread, and the UI during the EEPROM read-out.
    uint32_t CollectResponse();
    // Tick thread. Appends received text to the monitor (CR made CR LF, trimmed past 2000
    // characters) and shows it.
    void AppendResponse(std::string text);

    // UI thread, before the timer starts. Sends "*02IN\r", then reads the 256 bytes one command
    // each (20 ms, plus 20 ms when nothing came), fills g_eepromList with the 64 rows and decodes
    // rows 0..36 into g_coefficients. 5.1 to 10.3 s; the hooks below run around it.
    // A byte counts only when exactly one whole reply came in its windows; otherwise the line is
    // left to go quiet (late replies are read and thrown away) and the byte is asked for again,
    // a bounded number of times. Returns the outcome.
    struct EepromReadoutResult;
    EepromReadoutResult ReadEeprom();

    struct EepromReadoutResult {
        bool answered = false;  // anything at all came back
        bool stopped = false;   // ended early: the port went away or the read-out was cancelled
        std::vector<int> unconfirmedRows;  // rows with a byte whose reply could not be confirmed
        int repeatedReads = 0;             // reads beyond the 256
        EepromImage image;                 // every byte as read, and whether it was confirmed
    };

    // UI thread. Creates and starts m_timer (the tick starts running). False when the timer
    // device does not answer: the caller says "Error 01".
    bool StartTimer(CAcqTimer::CapsQuery caps = {});
    // UI thread, the device part of closing: sends *01IN + CR, waits 10 ms, closes the log,
    // stops m_timer (a tick in progress finishes first). The port stays as it is.
    void CloseSequence();

    CSerialPort* m_port = nullptr;  // owned by the dialog
    CSerialPort* m_readPort =
        nullptr;                  // the port CollectResponse reads: m_port, from ReadEeprom on
    std::string m_deviceAddress;  // "01" once the dialog has initialised
    std::unique_ptr<CAcqTimer> m_timer;

    // True once the tick found the port gone (tick); false again when a port opens (UI).
    bool PortGone() const { return m_portGone; }
    std::atomic<bool> m_portGone{false};

    // Set by the session: told of the read-out's progress, of rows it could not confirm and,
    // once, of the port gone (SessionEvents).
    SessionEvents* m_events = nullptr;

protected:
    // ReadEeprom's hooks, on the UI thread, in this order: the wait notice appears (after the
    // list is prepared); the screen is redrawn with the wait cursor (after "*02IN\r" went out);
    // (each byte read goes to m_events as the read-out's progress); the wait notice goes and the
    // main window becomes active again (then m_events hears of the rows not confirmed).
    virtual void CreateEepromWaitNotice() {}
    virtual void ShowEepromWaitCursor() {}
    virtual void EndEepromWait() {}
    // Polled during the read-out; true ends it at once (the rest of the table shows "00").
    virtual bool EepromReadoutCancelled() { return false; }

private:
    struct Readout;
    std::string Address() const;  // m_deviceAddress, "01" while it is unset
    void SendFrame(const std::string& frame);
};

// The device address of g_mainDlg, "01" without one.
std::string CurrentDeviceAddress();

// Tick thread: true when `port` is usable; the first time it is found gone, marks g_mainDlg's
// port gone and tells it once.
bool CheckPortPresent(CSerialPort* port);

}  // namespace device
