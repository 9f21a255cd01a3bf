#include "serial/serial_port.h"

#include <utility>

CSerialPort::CSerialPort() : CSerialPort(std::make_unique<platform::SerialDevice>()) {}

CSerialPort::CSerialPort(std::unique_ptr<platform::SerialDevice> device)
    : m_handle(std::move(device)) {}

CSerialPort::~CSerialPort() {
    Close();
}

std::string CSerialPort::DevicePath(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    return "/dev/" + name;
}

bool CSerialPort::Open(const std::string& name) {
    if (IsOpen()) Close();
    if (name.empty()) {  // nothing chosen: not "/dev/", a directory
        m_lastOpenError = platform::OpenError::NoSuchDevice;
        return false;
    }
    return m_handle->Open(DevicePath(name), &m_lastOpenError);
}

bool CSerialPort::Configure(uint32_t baudRate, uint8_t parity, uint8_t byteSize, bool parityCheck,
                            uint8_t stopBits) {
    m_lastConfigureError.clear();
    if (!m_handle->GetState(&m_dcb)) {
        m_lastConfigureError = "GetCommState Error";
        Close();
        return false;
    }
    m_dcb.baudRate = baudRate;
    m_dcb.byteSize = byteSize;
    m_dcb.parity = parity;
    m_dcb.stopBits = stopBits;
    m_dcb.parityCheck = parityCheck;
    // Raw 8-bit reception (every byte, NUL too), no flow control of any kind, DTR and RTS off.
    m_dcb.outxCtsFlow = false;
    m_dcb.dtrDisable = true;
    m_dcb.rtsDisable = true;
    m_dcb.outX = false;
    m_dcb.inX = false;
    if (!m_handle->SetState(m_dcb)) {
        m_lastConfigureError = "SetCommState Error";
        Close();
        return false;
    }
    // No time-outs to set: the device's reads never wait.
    return true;
}

bool CSerialPort::Read(void* buffer, uint32_t maxBytes, uint32_t* bytesRead) {
    size_t got = 0;
    bool ok = m_handle->Read(buffer, maxBytes, &got) == platform::ReadStatus::Data;
    *bytesRead = static_cast<uint32_t>(got);
    return ok;
}

bool CSerialPort::Write(const void* buffer, uint32_t count, uint32_t* bytesWritten) {
    uint32_t local = 0;
    uint32_t* counter = bytesWritten ? bytesWritten : &local;
    *counter = 0;
    size_t done = 0;
    bool ok = m_handle->Write(buffer, count, &done);
    *counter = static_cast<uint32_t>(done);
    return ok;
}

bool CSerialPort::Close() {
    return m_handle->Close();
}

bool CSerialPort::IsOpen() const {
    return m_handle->IsOpen();
}

bool CSerialPort::IsGone() const {
    return m_handle->IsGone();
}
