#pragma once

#include <string>

#include "serial/port_settings.h"

namespace ui {

// Points the platform's message-box hook at real QMessageBox boxes: application boxes are owned
// by the active modal dialog, system boxes ("Error", "Com Port Error") have no owner. A box asked
// for from another thread is shown on the user-interface thread without waiting for it.
void InstallMessageBoxes();

// Tells why opening the port `name` failed: "Error Opening COM Port" with the reason below it
// (none when nothing was chosen), or the driver call's own box followed by "Error Setting
// BaudRate".
void ShowPortOpenFailure(const serial::PortOpenResult& result, const std::string& name);

}  // namespace ui
