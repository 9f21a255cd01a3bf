#pragma once

#include <termios.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "platform/device_holders.h"

namespace platform {

// Line settings as the serial port class exchanges them with the driver.
struct LineSettings {
    uint32_t baudRate = 0;
    uint8_t byteSize = 8;
    uint8_t parity = 0;    // 0 none, 1 odd, 2 even
    uint8_t stopBits = 0;  // 0 one, 1 one and a half, 2 two
    bool parityCheck = false;
    bool outxCtsFlow = false;  // RTS/CTS hardware flow control
    bool dtrDisable = true;    // hold DTR off
    bool rtsDisable = true;    // hold RTS off
    bool outX = false;         // XON/XOFF on output
    bool inX = false;          // XON/XOFF on input
};

enum class OpenError {
    None,
    NoSuchDevice,
    NoPermission,
    InUse,
    NotSerial,  // a directory, a regular file, /dev/null: nothing termios can drive
    Other,
};

enum class ReadStatus {
    Data,   // at least one byte
    Empty,  // nothing has arrived
    Gone,   // the device hung up (USB adapter pulled, far end of a pseudo-terminal closed)
    Error,  // not open, or another failure
};

// One serial device over termios. Opened exclusively (a second open, in this process or another,
// fails, also as root), never the controlling terminal, not inherited by child processes. A
// device that another program holds with TIOCEXCL or under a live UUCP lock file counts as in use,
// and another program's TIOCEXCL is never cleared.
// Reads never block. Writes block until every byte is out, the device hangs up, or another thread
// closes it. Read, Write and Close may be called from different threads: a close waits until no
// read or write uses the descriptor, so a late read can never reach a descriptor number that the
// system has handed out again. Virtual so that tests can make single operations fail.
class SerialDevice {
public:
    // `search`: where to look for UUCP lock files and for the holder of a device in use.
    explicit SerialDevice(HolderSearch search = {});
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;
    virtual ~SerialDevice();

    virtual bool Open(const std::string& path, OpenError* why = nullptr);
    virtual bool GetState(LineSettings* settings);
    virtual bool SetState(const LineSettings& settings);
    virtual ReadStatus Read(void* buffer, size_t maxBytes, size_t* bytesRead);
    virtual bool Write(const void* buffer, size_t count, size_t* bytesWritten);
    virtual bool Close();

    bool IsOpen() const { return m_fd.load() >= 0; }
    // True once the device has hung up; it is then closed, and stays "gone" until the next Open.
    bool IsGone() const { return m_gone.load(); }
    // After an Open that failed as in use: who holds the device, "PID 4242 (minicom)", or empty
    // when that cannot be seen. User-interface thread.
    const std::string& OpenHolder() const { return m_openHolder; }

private:
    bool CloseDescriptor();
    void MarkGone();

    std::atomic<int> m_fd{-1};
    std::atomic<int> m_wakeFd{-1};  // eventfd that wakes a writer waiting for room when closing
    std::atomic<bool> m_gone{false};
    std::atomic<bool> m_exclusiveSet{false};  // TIOCEXCL set by this object, to clear at close
    std::shared_mutex m_useGuard;  // shared by each read and write, exclusive for the close
    std::mutex m_writeMutex;       // one writer at a time, so frames never interleave
    std::mutex m_stateMutex;
    termios m_termios{};  // as last read from the driver: fields Configure leaves alone keep them
    bool m_haveTermios = false;
    HolderSearch m_search;
    std::string m_openHolder;
};

}  // namespace platform
