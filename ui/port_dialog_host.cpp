#include "ui/port_dialog_host.h"

namespace {
CPortDialogHost* g_host = nullptr;
}

CPortDialogHost* CPortDialogHost::Main() {
    return g_host;
}
void CPortDialogHost::SetMain(CPortDialogHost* host) {
    g_host = host;
}
