#pragma once

#include <string>

#include "platform/serial_device.h"

class CSerialPort;

// The process-wide port settings. All of them live on the user-interface thread.
extern std::string g_portName;      // the chosen port as listed, written by Open Port
extern std::string g_portSettings;  // "9600,N,8,1" at start; built by Open Port, only recorded
extern std::string g_parityText;    // display form of the parity choice, e.g. "NONE - 8 - 1"
extern bool g_mainDlgActive;        // true once the main dialog has initialised

namespace serial {

// The baud-rate choices of the port dialog, index 0 to 9.
inline constexpr const char* kBaudTexts[] = {"1200",  "2400",  "4800",  "9600",  "14400",
                                             "19200", "28800", "38400", "57600", "115200"};

// The settings string of the port dialog's choice ("115200,N,8,1"); sets g_parityText. An index
// outside the choices adds nothing for the baud rate, and leaves the parity as it was.
std::string BuildSettingsString(int baudIndex, int parityIndex);

// What opening a port came to: which step failed and why, for the caller to word.
struct PortOpenResult {
    enum Failure { kNone, kOpen, kConfigure };
    Failure failure = kNone;
    platform::OpenError openError = platform::OpenError::None;  // kOpen
    std::string holder;          // kOpen of a port in use: who holds it, when that can be seen
    std::string configureError;  // kConfigure: "GetCommState Error" or "SetCommState Error"
    explicit operator bool() const { return failure == kNone; }
};

// Opens `name` on `port` at the fixed 115200 baud, no parity, 8 data bits, 1 stop bit, closing
// whatever the port held first: the one way every port of the transducer is opened.
PortOpenResult OpenPort(CSerialPort* port, const std::string& name);
// The same for g_portName, the port chosen in the port dialog.
PortOpenResult OpenPort(CSerialPort* port);

}  // namespace serial
