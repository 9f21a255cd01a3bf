#include "device/command_frames.h"

namespace device {
namespace {

// The Command Inquiry codes of items 0..4; item 5 is the fixed reset frame.
constexpr const char* kListCodes[] = {"C1", "C2", "C3", "C4", "IN"};

bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

}  // namespace

std::string FrameCommand(const std::string& address, const std::string& code) {
    return "*" + address + code + "\r";
}

bool ListCommandFrame(int index, const std::string& address, std::string* frame) {
    if (index < 0 || index >= kListCommandCount) return false;
    *frame = index == 5 ? std::string(kResetFrame) : FrameCommand(address, kListCodes[index]);
    return true;
}

std::string TrimCommandText(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return std::string(text.substr(begin, end - begin));
}

std::string CrToCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        out += c;
        if (c == '\r') out += '\n';
    }
    return out;
}

}  // namespace device
