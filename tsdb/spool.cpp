#include "tsdb/spool.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace tsdb {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kTemporaryPrefix = ".tmp-";

bool Fail(std::string* error, const std::string& what) {
    *error = what + ": " + std::strerror(errno);
    return false;
}

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        text.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// "00000000000000000042-150.lp" into 42 and 150; false for any other name.
bool ParseBatchName(const std::string& name, uint64_t* sequence, long* points) {
    constexpr size_t kDigits = 20;
    if (name.size() < kDigits + 5 || name[kDigits] != '-' || !name.ends_with(".lp")) return false;
    const char* begin = name.data();
    const char* end = begin + name.size() - 3;
    auto [afterSequence, e1] = std::from_chars(begin, begin + kDigits, *sequence);
    auto [afterPoints, e2] = std::from_chars(begin + kDigits + 1, end, *points);
    return e1 == std::errc() && afterSequence == begin + kDigits && e2 == std::errc() &&
           afterPoints == end && *points > 0;
}

std::string BatchName(uint64_t sequence, long points) {
    char name[64];
    std::snprintf(name, sizeof name, "%020llu-%ld.lp", static_cast<unsigned long long>(sequence),
                  points);
    return name;
}

std::string UtcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

// Whatever the PID in the lock file says, for the message.
std::string LockHolder(int fd) {
    char text[32] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    long pid = 0;
    if (n <= 0 || std::from_chars(text, text + n, pid).ec != std::errc() || pid <= 0) return "";
    return " by PID " + std::to_string(pid);
}

}  // namespace

Spool::~Spool() {
    if (m_lockFd >= 0) ::close(m_lockFd);  // releases the flock
}

bool Spool::Open(const std::string& dir, std::string* error) {
    std::error_code ec;
    // Each folder made on the way only for this user: the readings and the lab's tags are
    // nobody else's business.
    fs::path made;
    for (const fs::path& part : fs::path(dir)) {
        made /= part;
        if (::mkdir(made.c_str(), 0700) != 0 && errno != EEXIST) {
            ec = std::error_code(errno, std::generic_category());
            break;
        }
    }
    if (!ec && !fs::is_directory(dir, ec) && !ec)
        ec = std::make_error_code(std::errc::not_a_directory);
    if (ec) {
        *error = "the spool " + dir + " cannot be created: " + ec.message();
        return false;
    }
    m_dir = dir;
    const std::string lockPath = dir + "/lock";
    m_lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_lockFd < 0) return Fail(error, "the spool " + dir + " cannot be written");
    if (::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        const int why = errno;
        const std::string holder = LockHolder(m_lockFd);
        ::close(m_lockFd);
        m_lockFd = -1;
        errno = why;
        if (why == EWOULDBLOCK) {
            *error = "the spool " + dir + " is in use" + holder +
                     " (one zelctl a spool: give each its own --spool DIR)";
            return false;
        }
        return Fail(error, "the spool " + dir + " cannot be locked");
    }
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(m_lockFd, 0) != 0 || ::pwrite(m_lockFd, pid.data(), pid.size(), 0) < 0)
        return Fail(error, "the spool " + dir + " cannot be written");

    m_files.clear();
    m_points = 0;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        File file{0, 0, name};
        if (name.starts_with(kTemporaryPrefix)) {
            fs::remove(entry.path(), ec);  // a batch whose write never finished
        } else if (ParseBatchName(name, &file.sequence, &file.points)) {
            m_files.push_back(file);
            m_points += file.points;
        }
    }
    if (ec) {
        *error = "the spool " + dir + " cannot be read: " + ec.message();
        return false;
    }
    std::sort(m_files.begin(), m_files.end(),
              [](const File& a, const File& b) { return a.sequence < b.sequence; });
    m_nextSequence = m_files.empty() ? 1 : m_files.back().sequence + 1;
    return true;
}

bool Spool::Add(std::string_view lines, long points, std::string* error) {
    const uint64_t sequence = m_nextSequence;
    const std::string name = BatchName(sequence, points);
    const std::string temporary = m_dir + "/" + std::string(kTemporaryPrefix) + name;
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return Fail(error, "the spool " + m_dir + " cannot be written");
    const bool written = WriteAll(fd, lines) && ::fsync(fd) == 0;
    const int why = errno;
    ::close(fd);
    if (!written || ::rename(temporary.c_str(), (m_dir + "/" + name).c_str()) != 0) {
        const int failure = written ? errno : why;
        ::unlink(temporary.c_str());
        errno = failure;
        return Fail(error, "the spool " + m_dir + " cannot be written");
    }
    // The rename itself must last too.
    if (const int dirFd = ::open(m_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    ++m_nextSequence;
    m_files.push_back({sequence, points, name});
    m_points += points;
    return true;
}

bool Spool::Oldest(long maxPoints, size_t maxFiles, Batch* batch, std::string* error) const {
    *batch = {};
    for (const File& file : m_files) {
        if (!batch->files.empty() &&
            (batch->points + file.points > maxPoints || batch->files.size() >= maxFiles))
            break;
        const std::string path = m_dir + "/" + file.name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return Fail(error, "the spool file " + path + " cannot be read");
        char buffer[65536];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
            if (n > 0) batch->lines.append(buffer, static_cast<size_t>(n));
        }
        const int why = errno;
        ::close(fd);
        if (n < 0) {
            errno = why;
            return Fail(error, "the spool file " + path + " cannot be read");
        }
        batch->files.push_back(file.name);
        batch->points += file.points;
    }
    return true;
}

void Spool::Remove(const Batch& batch) {
    for (const std::string& name : batch.files) {
        ::unlink((m_dir + "/" + name).c_str());
        const auto it = std::find_if(m_files.begin(), m_files.end(),
                                     [&](const File& f) { return f.name == name; });
        if (it == m_files.end()) continue;
        m_points -= it->points;
        m_files.erase(it);
    }
}

bool Spool::Reject(std::string_view lines, const std::string& reason, std::string* error) {
    std::string comment = "# " + UtcNow() + " " + reason;
    for (char& c : comment) {
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    }
    const std::string path = RejectPath();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return Fail(error, "the reject file " + path + " cannot be written");
    const bool written = WriteAll(fd, comment + "\n") && WriteAll(fd, lines) && ::fsync(fd) == 0;
    const int why = errno;
    ::close(fd);
    errno = why;
    return written || Fail(error, "the reject file " + path + " cannot be written");
}

bool Spool::Reject(const Batch& batch, const std::string& reason, std::string* error) {
    if (!Reject(batch.lines, reason, error)) return false;
    Remove(batch);
    return true;
}

}  // namespace tsdb
