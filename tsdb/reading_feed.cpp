#include "tsdb/reading_feed.h"

#include <utility>

#include "tsdb/line_protocol.h"
#include "tsdb/writer.h"

namespace tsdb {

ReadingFeed::ReadingFeed(Writer& writer, Tags tags) : m_writer(writer), m_tags(std::move(tags)) {}

void ReadingFeed::SetTags(Tags tags) {
    std::lock_guard lock(m_mutex);
    m_tags = std::move(tags);
}

void ReadingFeed::OnReadings(const std::vector<device::TimedReading>& readings) {
    Tags tags;
    {
        std::lock_guard lock(m_mutex);
        tags = m_tags;
    }
    m_writer.Push(LineProtocol(readings, tags));
}

}  // namespace tsdb
