#include "cli/influx_setup.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace cli {
namespace {

// The token of a file: one line, blanks around it dropped. False with `error` set.
bool ReadToken(const std::string& path, std::string* token, std::string* error) {
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
    *token = t;
    return true;
}

std::string PortFileName(const Options& options) {
    if (options.simulate || options.ports.empty()) return "simulated";
    const std::string& path = options.ports.front();
    std::string name = path.substr(path.find_last_of('/') + 1);
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-')
            c = '_';
    }
    return name.empty() || name == "." || name == ".." ? "port" : name;
}

}  // namespace

std::chrono::milliseconds FlushTimeout(const Options& options) {
    return std::chrono::milliseconds(
        static_cast<long>(options.flushTimeoutSeconds.value_or(10.0) * 1000));
}

std::string DefaultSpoolDir(const Options& options) {
    std::string state;
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && xdg[0] == '/') {
        state = xdg;
    } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        state = std::string(home) + "/.local/state";
    } else {
        return "";
    }
    return state + "/zel-demo/spool/" + PortFileName(options);
}

std::string AuthorizationFor(const std::string& token) {
    if (token.empty()) return "";
    return token.find(' ') != std::string::npos ? token : "Token " + token;
}

std::unique_ptr<InfluxWriter> StartInfluxWriter(const Options& options) {
    auto fail = [](const std::string& error) {
        std::fprintf(stderr, "zelctl: %s\n", error.c_str());
        return nullptr;
    };
    std::string token, error;
    if (!options.influxTokenFile.empty()) {
        if (!ReadToken(options.influxTokenFile, &token, &error)) return fail(error);
    } else if (const char* fromEnvironment = std::getenv("INFLUX_TOKEN")) {
        token = fromEnvironment;
        if (token.find_first_of("\r\n") != std::string::npos)
            return fail("INFLUX_TOKEN must be one line, the token");
    }
    InfluxSettings settings;
    settings.url = options.influxUrl;
    settings.authorization = AuthorizationFor(token);
    settings.spoolDir = options.spoolDir.empty() ? DefaultSpoolDir(options) : options.spoolDir;
    if (settings.spoolDir.empty())
        return fail("--influx needs --spool DIR here: neither XDG_STATE_HOME nor HOME is set");
    auto writer = std::make_unique<InfluxWriter>(std::move(settings));
    if (!writer->Start(&error)) return fail(error);
    return writer;
}

}  // namespace cli
