#pragma once

namespace ui {

// Points the platform's message-box hook at real QMessageBox boxes: application boxes are owned
// by the active modal dialog, system boxes ("Error", "Com Port Error") have no owner. A box asked
// for from another thread is shown on the user-interface thread without waiting for it.
void InstallMessageBoxes();

}  // namespace ui
