#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/serial_device.h"

// One serial port: opened by name, configured, read without waiting, written, closed.
// Thread rule: Open, Configure and Close on the user-interface thread; Read and Write from either
// thread (the device keeps a close from racing them).
class CSerialPort {
public:
    CSerialPort();
    // For tests that need single driver calls to fail.
    explicit CSerialPort(std::unique_ptr<platform::SerialDevice> device);
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;
    virtual ~CSerialPort();

    // A listed name such as "ttyUSB0" stands for "/dev/ttyUSB0"; a name holding a "/" is a path.
    static std::string DevicePath(const std::string& name);

    bool Open(const std::string& name);
    // parity: 0 none, 1 odd, 2 even; stopBits: 0 one, 1 one and a half, 2 two. A failure closes
    // the port; LastConfigureError says which driver call failed.
    bool Configure(uint32_t baudRate, uint8_t parity, uint8_t byteSize, bool parityCheck,
                   uint8_t stopBits);
    // True only when at least one byte was read; never waits.
    bool Read(void* buffer, uint32_t maxBytes, uint32_t* bytesRead);
    bool Write(const void* buffer, uint32_t count, uint32_t* bytesWritten = nullptr);
    bool Close();
    bool IsOpen() const;

    // The device hung up while open (adapter pulled, simulator gone). The port is then closed;
    // this stays true until the next Open or Close.
    bool IsGone() const;
    // Why the last Open failed, and for a port in use who holds it ("PID 4242 (minicom)"; empty
    // when that cannot be seen).
    platform::OpenError LastOpenError() const { return m_lastOpenError; }
    const std::string& LastOpenHolder() const { return m_handle->OpenHolder(); }
    // Which driver call the last Configure failed in: "GetCommState Error" or "SetCommState
    // Error"; empty after a Configure that worked.
    const std::string& LastConfigureError() const { return m_lastConfigureError; }

private:
    std::unique_ptr<platform::SerialDevice> m_handle;
    platform::LineSettings m_dcb;
    platform::OpenError m_lastOpenError = platform::OpenError::None;
    std::string m_lastConfigureError;
};
