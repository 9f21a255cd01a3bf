#pragma once

#include <string>
#include <vector>

#include "device/reading_stream.h"
#include "tsdb/settings.h"

// Readings as InfluxDB line protocol, one LF-terminated line each:
//   zel_pressure,port=/dev/ttyUSB0,serial=1234567 psi=14.696000,raw_p=8388608i,raw_t=1234i NS
// with the reading's UTC time in nanoseconds; psi is left out when it is not finite.
namespace tsdb {

std::string LineProtocol(const std::vector<device::TimedReading>& readings, const Tags& tags);

}  // namespace tsdb
