#pragma once

#include <string>

// The pressure log file (g_logFile, g_logPath, g_logActive, g_timeStampChecked). One lock is
// taken around each write and the close, so a step still writing finishes before the file closes.
namespace device {

// UI thread, at Run with logging. Opens `path` truncated (unless already open) and turns
// logging on, also when the open fails; returns false when the file is not open, so the page can
// say so. The run goes on either way. With `timeStamps` each step's lines get a time line.
enum class LogOpen { kTruncate, kAppend };
bool OpenLog(const std::string& path, bool timeStamps, LogOpen mode = LogOpen::kTruncate);
// The same with the command page's choices, g_logPath and g_timeStampChecked.
bool OpenLog();

// Tick thread, once per step with readings: `text` is the step's lines (TAB, value, CR LF each).
// With time stamps, one "hh:mm:ss" CR LF line of the local time goes first. Flushed at once.
// Returns false on the write that failed (disk full, I/O error, file too large): the file is
// then closed, cut back to the whole lines that reached it, and `failure` says why (the file's
// name and the system's reason). Later writes of the run do nothing.
bool WriteLogText(const std::string& text, std::string* failure = nullptr);

// UI thread, at Stop and at close: closes the file if open, turns logging off. False when the
// close failed (the file then keeps its whole lines; `failure` says why).
bool CloseLog(std::string* failure = nullptr);

// The time-stamp line for a time of day: "09:05:03\r\n".
std::string TimeStampLine(unsigned hour, unsigned minute, unsigned second);

}  // namespace device
