#include "device/tick.h"

#include "device/command_page_core.h"
#include "device/device_state.h"
#include "device/main_dialog_core.h"

namespace device {

void OnTick() {
    if (!g_tickReady) return;
    if (g_continuousMode) {
        if (g_commandPage) g_commandPage->ContinuousStep();
        return;
    }
    if (!g_mainDlg) return;
    g_mainDlg->CollectResponse();
    g_mainDlg->AppendResponse(ResponseTextCopy());
}

}  // namespace device
