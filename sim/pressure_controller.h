#pragma once

#include <cstdint>
#include <memory>
#include <string>

// A simulated pressure controller: the reference a verification run steps through the range.
// It listens on a TCP port of a loopback address and speaks SCPI text lines, one command a line,
// LF-terminated (a CR before the LF is ignored), header nodes in short or long form, any case:
//   *IDN?              its identity
//   SOUR:PRES <psi>    the set point (0 to 15 PSI); no answer. The true pressure moves to it
//                      as a first-order step: p(t) = sp + (p0 - sp) exp(-(t - t0) / tau)
//   SOUR:PRES?         the set point
//   MEAS:PRES?         the reference reading: the true pressure + Gaussian noise of noisePsi
//   STAT:STAB?         1 once the true pressure has been within 0.001 PSI of the set point
//                      for 1 s, else 0
//   SYST:ERR?          the oldest error of the queue and removes it; 0,"No error" when empty
//   *CLS               empties the error queue
// Errors: -113,"Undefined header" (an unknown command), -109,"Missing parameter",
// -104,"Data type error" (no number), -222,"Data out of range". Answers end in LF; numbers
// have 7 decimals. Clients may come one after the other, or several at once.
namespace sim {

struct ControllerOptions {
    double initialPsi = 0;  // the true pressure and the set point at Start
    double tauS = 0.5;      // the step's time constant; 0: at once
    double noisePsi = 0;    // sigma of MEAS:PRES?'s noise
    unsigned seed = 1;      // of that noise
    std::string identity = "zel-sim,simulated pressure controller,0,1";  // *IDN?'s answer
};

constexpr double kStableBandPsi = 0.001;
constexpr double kStableForS = 1.0;
constexpr double kControllerMinPsi = 0.0;
constexpr double kControllerMaxPsi = 15.0;

class PressureController {
public:
    explicit PressureController(ControllerOptions options = {});
    PressureController(const PressureController&) = delete;
    PressureController& operator=(const PressureController&) = delete;
    ~PressureController();  // stops

    // Listens on `host` (an IPv4 address in 127.0.0.0/8, or "localhost") and `port` (0: one
    // the system chooses, see Port()) and serves from a thread of its own. False with `error`
    // on a host that is no loopback address or a port that cannot be had.
    bool Start(const std::string& host, uint16_t port, std::string* error = nullptr);
    // Closes the listening socket and every client.
    void Stop();
    bool Running() const;
    uint16_t Port() const;        // the port listened on, also when 0 was asked for
    std::string Address() const;  // "HOST:PORT" with the chosen port

    // Thread-safe; times are monotonic seconds (steady_clock), as the simulator's.
    double TruePressureAt(double time) const;
    double TruePressureNow() const;
    double SetPoint() const;
    bool StableAt(double time) const;
    // One command line without its LF: the answer without its LF, empty when there is none.
    std::string Handle(const std::string& line);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// "HOST:PORT" into its parts; false with `error` naming what is wrong.
bool ParseHostPort(const std::string& text, std::string* host, uint16_t* port, std::string* error);

}  // namespace sim
