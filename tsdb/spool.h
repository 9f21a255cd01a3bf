#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

// Batches of line protocol that the database has not taken yet, one file a batch in a folder,
// kept across runs. Files are named by a sequence number and their count of readings
// ("00000000000000000042-150.lp"), so the order and the count are known without reading them;
// each is written under a temporary name, synced and renamed, so a file is whole or absent.
// One process at a time: Open takes an flock on DIR/lock, since two writers draining one spool
// would send its batches twice. Not thread-safe: the writer's thread owns it once it runs.
namespace tsdb {

class Spool {
public:
    Spool() = default;
    Spool(const Spool&) = delete;
    Spool& operator=(const Spool&) = delete;
    ~Spool();

    // Creates DIR (and its parents) when missing, takes it for this process and lists what an
    // earlier run left. False with `error` set: cannot be created or written, or in use.
    bool Open(const std::string& dir, std::string* error);

    const std::string& Dir() const { return m_dir; }
    std::string RejectPath() const { return m_dir + "/rejected.lp"; }
    bool Empty() const { return m_files.empty(); }
    long Points() const { return m_points; }
    size_t Files() const { return m_files.size(); }

    // Keeps `lines` (whole LF-terminated lines, `points` of them) as the newest batch.
    bool Add(std::string_view lines, long points, std::string* error);

    // The oldest files, joined, up to `maxPoints` readings (the oldest file whatever its size).
    struct Batch {
        std::vector<std::string> files;
        std::string lines;
        long points = 0;
    };
    bool Oldest(long maxPoints, size_t maxFiles, Batch* batch, std::string* error) const;

    // The database took `batch`: its files go.
    void Remove(const Batch& batch);

    // The database refused lines as malformed: they are appended to RejectPath() after a comment
    // line with the time and `reason`, and never sent again.
    bool Reject(std::string_view lines, const std::string& reason, std::string* error);
    // The same for a batch of the spool, whose files then go.
    bool Reject(const Batch& batch, const std::string& reason, std::string* error);

private:
    struct File {
        uint64_t sequence;
        long points;
        std::string name;
    };

    std::string m_dir;
    int m_lockFd = -1;
    std::deque<File> m_files;  // oldest first
    long m_points = 0;
    uint64_t m_nextSequence = 1;
};

}  // namespace tsdb
