#include "serial/port_settings.h"

#include "serial/serial_port.h"

std::string g_portName;
std::string g_portSettings = "9600,N,8,1";
std::string g_parityText;
bool g_mainDlgActive = false;

namespace serial {

std::string BuildSettingsString(int baudIndex, int parityIndex) {
    std::string settings;
    if (baudIndex >= 0 && baudIndex < static_cast<int>(std::size(kBaudTexts))) {
        settings += kBaudTexts[baudIndex];
    }
    settings += ",";
    switch (parityIndex) {
        case 0:
            g_parityText = "NONE";
            settings += "N";
            break;
        case 1:
            g_parityText = "ODD";
            settings += "O";
            break;
        case 2:
            g_parityText = "EVEN";
            settings += "E";
            break;
        default:
            break;
    }
    if (g_parityText == "EVEN" || g_parityText == "ODD") {
        settings += ",7,1";
        g_parityText += " - 7 - 1";
    } else {
        settings += ",8,1";
        g_parityText += " - 8 - 1";
    }
    return settings;
}

PortOpenResult OpenPort(CSerialPort* port, const std::string& name) {
    PortOpenResult result;
    if (port->IsOpen()) port->Close();
    if (!port->Open(name)) {
        result.failure = PortOpenResult::kOpen;
        result.openError = port->LastOpenError();
        result.holder = port->LastOpenHolder();
        return result;
    }
    if (!port->Configure(115200, 0, 8, false, 0)) {
        result.failure = PortOpenResult::kConfigure;
        result.configureError = port->LastConfigureError();
    }
    return result;
}

PortOpenResult OpenPort(CSerialPort* port) {
    return OpenPort(port, g_portName);
}

}  // namespace serial
