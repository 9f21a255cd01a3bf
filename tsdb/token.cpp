#include "tsdb/token.h"

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace tsdb {

bool LoadToken(const Settings& settings, Token* token, std::string* error) {
    *token = {};
    if (settings.tokenFile.empty()) {
        token->authorization = AuthorizationFor(settings.token);
        return true;
    }
    const std::string& path = settings.tokenFile;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "the token file " + path + " cannot be read";
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    std::string t = text.str();
    const char* blanks = " \t\r\n";
    t.erase(0, t.find_first_not_of(blanks));
    t.erase(t.find_last_not_of(blanks) + 1);
    for (char c : t) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            *error = "the token file " + path + " must hold one line, the token";
            return false;
        }
    }
    if (t.empty()) {
        *error = "the token file " + path + " is empty";
        return false;
    }
    token->authorization = AuthorizationFor(t);
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IROTH)) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        token->warning = "the token file " + path + " may be read by every user (mode " + mode +
                         "); keep it to its owner: chmod 600 " + path;
    }
    return true;
}

}  // namespace tsdb
