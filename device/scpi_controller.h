#pragma once

#include <memory>
#include <string>

#include "device/verification_plan.h"
#include "device/verification_reference.h"
#include "platform/line_stream.h"

namespace device {

// A pressure controller driven with SCPI text lines: the plan's set, read and stable commands,
// each answered (but the set) by one line. Used from one thread.
class ScpiController : public VerificationReference {
public:
    ScpiController(std::unique_ptr<platform::LineStream> line, ControllerCommands commands,
                   int answerTimeoutMs = 2000);

    // Asks *IDN?; false with `error` when no answer comes.
    bool Identify(std::string* error);

    std::string Identity() const override { return m_identity; }
    bool SetPoint(double psi, std::string* error) override;
    bool Stable(bool* stable, std::string* error) override;
    bool Read(double* psi, std::string* error) override;

private:
    bool Query(const std::string& command, std::string* answer, std::string* error);

    std::unique_ptr<platform::LineStream> m_line;
    ControllerCommands m_commands;
    int m_timeoutMs;
    std::string m_identity;
};

// The set command with "{psi}" replaced by the set point ("SOUR:PRES 7.5").
std::string SetCommandText(const std::string& pattern, double psi);

// A controller address: tcp://HOST:PORT, or serial:PATH with ?baud=N (9600 when not given).
struct ControllerAddress {
    enum Kind { kTcp, kSerial } kind = kTcp;
    std::string host, port;  // tcp
    std::string path;        // serial
    uint32_t baud = 9600;
};
bool ParseControllerAddress(const std::string& url, ControllerAddress* address, std::string* error);

// Connects to the controller at `url` and asks it *IDN?. Null with `error` saying why.
std::unique_ptr<ScpiController> ConnectController(const std::string& url,
                                                  const ControllerCommands& commands,
                                                  std::string* error);

}  // namespace device
