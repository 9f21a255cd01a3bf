#include "platform/pseudo_terminal.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace platform {

PseudoTerminal::~PseudoTerminal() {
    Close();
}

bool PseudoTerminal::Open(bool raw, std::string* error) {
    Close();
    auto fail = [&](const char* what) {
        if (error) *error = std::string(what) + ": " + std::strerror(errno);
        Close();
        return false;
    };
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) return fail("posix_openpt");
    if (::grantpt(m_master) != 0) return fail("grantpt");
    if (::unlockpt(m_master) != 0) return fail("unlockpt");
    char name[128];
    if (::ptsname_r(m_master, name, sizeof name) != 0) return fail("ptsname_r");
    m_slavePath = name;
    m_slaveKeep = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_slaveKeep < 0) return fail("open slave");
    if (raw) {
        termios tio{};
        if (::tcgetattr(m_slaveKeep, &tio) != 0) return fail("tcgetattr");
        ::cfmakeraw(&tio);
        if (::tcsetattr(m_slaveKeep, TCSANOW, &tio) != 0) return fail("tcsetattr");
    }
    int flags = ::fcntl(m_master, F_GETFL);
    if (flags < 0 || ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0) return fail("fcntl");
    return true;
}

void PseudoTerminal::Close() {
    if (m_master >= 0) ::close(m_master);
    if (m_slaveKeep >= 0) ::close(m_slaveKeep);
    m_master = -1;
    m_slaveKeep = -1;
}

}  // namespace platform
