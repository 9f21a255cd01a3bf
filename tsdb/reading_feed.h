#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "device/measurement_session.h"
#include "tsdb/settings.h"

// A measurement session's readings into a Writer: attach it with
// session.AddListener(&feed) and each step's readings go as line protocol with the feed's tags.
namespace tsdb {

class Writer;

class ReadingFeed : public device::SessionEvents {
public:
    // `writer` outlives the feed, or the feed is removed from the session first.
    ReadingFeed(Writer& writer, Tags tags = {});

    // Any thread; the next step's lines carry these (after the EEPROM read-out: the serial).
    void SetTags(Tags tags);

    void OnReadings(const std::vector<device::TimedReading>& readings) override;  // tick thread

private:
    Writer& m_writer;
    std::mutex m_mutex;  // guards m_tags; held only to copy them
    Tags m_tags;
};

}  // namespace tsdb
