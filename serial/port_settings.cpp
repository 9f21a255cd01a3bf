#include "serial/port_settings.h"

#include "platform/message_box.h"
#include "serial/port_probe.h"
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

bool OpenPort(CSerialPort* port) {
    if (port->IsOpen()) port->Close();
    if (!port->Open(g_portName)) {
        // The reason below the fixed text, except with nothing chosen (an empty list).
        std::string text = "Error Opening COM Port";
        if (!g_portName.empty()) {
            text += "\n\n" +
                    DescribeOpenError(port->LastOpenError(), g_portName, port->LastOpenHolder());
        }
        platform::AppMessageBox(text, platform::MessageIcon::Error);
        return false;
    }
    if (!port->Configure(115200, 0, 8, false, 0)) {
        platform::AppMessageBox("Error Setting BaudRate", platform::MessageIcon::Error);
        return false;
    }
    return true;
}

}  // namespace serial
