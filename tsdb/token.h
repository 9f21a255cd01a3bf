#pragma once

#include <string>

#include "tsdb/settings.h"

// The token of Settings: the token file's one line, or Settings::token.
namespace tsdb {

struct Token {
    std::string authorization;  // the Authorization header's value; empty for none
    std::string warning;        // e.g. the token file may be read by others; empty for none
};

// False with `error` set: the file cannot be read, is empty, or holds more than one line.
bool LoadToken(const Settings& settings, Token* token, std::string* error);

}  // namespace tsdb
