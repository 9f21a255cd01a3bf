#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// Text lines over a byte stream: a TCP connection or a serial line. Lines go out with LF;
// lines come in up to LF, a CR before it dropped.
class LineStream {
public:
    virtual ~LineStream() = default;
    // False with `error` set when the far end is gone or the write failed.
    virtual bool WriteLine(const std::string& line, std::string* error) = 0;
    // Waits up to `timeoutMs` for a whole line. False with `error` set on a timeout ("no
    // answer within 2000 ms"), a closed connection or a failure.
    virtual bool ReadLine(std::string* line, int timeoutMs, std::string* error) = 0;
};

// A TCP connection to HOST:PORT (a name or a numeric address), tried for up to `timeoutMs`.
std::unique_ptr<LineStream> ConnectTcp(const std::string& host, const std::string& port,
                                       int timeoutMs, std::string* error);
// A serial device at `baud`, 8N1, no flow control, opened as the measurement's port is
// (exclusive, raw).
std::unique_ptr<LineStream> OpenSerialLine(const std::string& path, uint32_t baud,
                                           std::string* error);

}  // namespace platform
