#include "tsdb/settings.h"

#include <cctype>
#include <cstdlib>

namespace tsdb {

std::string DefaultSpoolDir(const std::string& portPath) {
    std::string state;
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && xdg[0] == '/') {
        state = xdg;
    } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        state = std::string(home) + "/.local/state";
    } else {
        return "";
    }
    std::string name = "simulated";
    if (!portPath.empty()) {
        name = portPath.substr(portPath.find_last_of('/') + 1);
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-')
                c = '_';
        }
        if (name.empty() || name == "." || name == "..") name = "port";
    }
    return state + "/zel-demo/spool/" + name;
}

std::string AuthorizationFor(const std::string& token) {
    if (token.empty()) return "";
    return token.find(' ') != std::string::npos ? token : "Token " + token;
}

}  // namespace tsdb
