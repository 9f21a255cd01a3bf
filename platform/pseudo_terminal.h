#pragma once

#include <string>

namespace platform {

// A pseudo-terminal pair for a simulated device: the master end is the device's side, the slave
// path is what a host opens as its serial port. The pair keeps one slave descriptor open for its
// whole life, so the master does not see a hang-up whenever the host has the port closed.
class PseudoTerminal {
public:
    PseudoTerminal() = default;
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;
    ~PseudoTerminal();

    // Creates the pair. `raw` puts the line in raw mode; leave it cooked to check that a host
    // configures the line itself. On failure `error` says why.
    bool Open(bool raw, std::string* error = nullptr);
    // Closes the master: the host's reads then see a hang-up, as with a pulled USB adapter.
    void Close();

    bool IsOpen() const { return m_master >= 0; }
    int MasterFd() const { return m_master; }  // non-blocking, close-on-exec
    const std::string& SlavePath() const { return m_slavePath; }

private:
    int m_master = -1;
    int m_slaveKeep = -1;
    std::string m_slavePath;
};

}  // namespace platform
