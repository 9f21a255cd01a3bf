#pragma once

namespace device {

// The acquisition tick, on the timer's thread: nothing while a continuous step runs
// (g_tickReady false); a continuous step of g_commandPage in continuous mode; otherwise collect
// what the port holds and append it to the monitor through g_mainDlg.
void OnTick();

}  // namespace device
