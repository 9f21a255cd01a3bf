#include "device/scpi_controller.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "device/c_numbers.h"

namespace device {

ScpiController::ScpiController(std::unique_ptr<platform::LineStream> line,
                               ControllerCommands commands, int answerTimeoutMs)
    : m_line(std::move(line)), m_commands(std::move(commands)), m_timeoutMs(answerTimeoutMs) {}

bool ScpiController::Query(const std::string& command, std::string* answer, std::string* error) {
    std::string why;
    if (!m_line->WriteLine(command, &why) || !m_line->ReadLine(answer, m_timeoutMs, &why)) {
        *error = "the controller did not answer " + command + ": " + why;
        return false;
    }
    return true;
}

bool ScpiController::Identify(std::string* error) {
    std::string answer;
    if (!Query("*IDN?", &answer, error)) return false;
    m_identity = answer;
    return true;
}

std::string SetCommandText(const std::string& pattern, double psi) {
    const std::string number = FormatC("%.9g", psi);
    std::string text = pattern;
    for (size_t at; (at = text.find("{psi}")) != std::string::npos;) text.replace(at, 5, number);
    return text;
}

bool ScpiController::SetPoint(double psi, std::string* error) {
    std::string why;
    const std::string command = SetCommandText(m_commands.set, psi);
    if (!m_line->WriteLine(command, &why)) {
        *error = "the controller did not take " + command + ": " + why;
        return false;
    }
    return true;
}

bool ScpiController::Stable(bool* stable, std::string* error) {
    if (m_commands.stable.empty()) {
        *stable = true;
        return true;
    }
    std::string answer;
    if (!Query(m_commands.stable, &answer, error)) return false;
    *stable = answer.find_first_not_of(" \t") != std::string::npos &&
              answer[answer.find_first_not_of(" \t")] == '1';
    return true;
}

bool ScpiController::Read(double* psi, std::string* error) {
    std::string answer;
    if (!Query(m_commands.read, &answer, error)) return false;
    const size_t first = answer.find_first_not_of(" \t+");
    const char* begin = answer.data() + (first == std::string::npos ? answer.size() : first);
    const char* end = answer.data() + answer.size();
    auto [ptr, ec] = std::from_chars(begin, end, *psi);
    if (ec != std::errc() || !std::isfinite(*psi)) {
        *error =
            "the controller answered " + m_commands.read + " with \"" + answer + "\", not a number";
        return false;
    }
    return true;
}

bool ParseControllerAddress(const std::string& url, ControllerAddress* address,
                            std::string* error) {
    *address = {};
    if (url.starts_with("tcp://")) {
        const std::string rest = url.substr(6);
        const size_t colon = rest.rfind(':');
        if (colon == std::string::npos || colon == 0 || colon + 1 == rest.size()) {
            *error = "a controller address is tcp://HOST:PORT";
            return false;
        }
        address->kind = ControllerAddress::kTcp;
        address->host = rest.substr(0, colon);
        if (address->host.size() > 2 && address->host.front() == '[' && address->host.back() == ']')
            address->host = address->host.substr(1, address->host.size() - 2);
        address->port = rest.substr(colon + 1);
        return true;
    }
    if (url.starts_with("serial:")) {
        std::string rest = url.substr(7);
        address->kind = ControllerAddress::kSerial;
        if (const size_t q = rest.find('?'); q != std::string::npos) {
            const std::string query = rest.substr(q + 1);
            rest.resize(q);
            unsigned long baud = 0;
            auto [ptr, ec] = std::from_chars(query.data() + std::min<size_t>(5, query.size()),
                                             query.data() + query.size(), baud);
            if (!query.starts_with("baud=") || ec != std::errc() ||
                ptr != query.data() + query.size() || baud == 0) {
                *error = "a serial controller is serial:PATH or serial:PATH?baud=N";
                return false;
            }
            address->baud = static_cast<uint32_t>(baud);
        }
        if (rest.empty()) {
            *error = "a serial controller is serial:PATH or serial:PATH?baud=N";
            return false;
        }
        address->path = rest;
        return true;
    }
    *error = "a controller is tcp://HOST:PORT or serial:PATH[?baud=N]";
    return false;
}

std::unique_ptr<ScpiController> ConnectController(const std::string& url,
                                                  const ControllerCommands& commands,
                                                  std::string* error) {
    ControllerAddress address;
    if (!ParseControllerAddress(url, &address, error)) return nullptr;
    std::unique_ptr<platform::LineStream> line =
        address.kind == ControllerAddress::kTcp
            ? platform::ConnectTcp(address.host, address.port, 2000, error)
            : platform::OpenSerialLine(address.path, address.baud, error);
    if (!line) return nullptr;
    auto controller = std::make_unique<ScpiController>(std::move(line), commands);
    if (!controller->Identify(error)) return nullptr;
    return controller;
}

}  // namespace device
