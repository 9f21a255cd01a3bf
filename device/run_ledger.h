#pragma once

#include <string>
#include <string_view>
#include <vector>

// What one run counted, from its start to the end of its stop sequence, and what the EEPROM
// read-out before it had to do again. Every reading that came is in one of these counts.
namespace device {

struct RunLedger {
    long received = 0;        // pressure ("P") records
    long shown = 0;           // readings that gave a line: the read-out, the log, the readings
    long zero = 0;            // pressure records of value 0, shown nowhere
    long noTemperature = 0;   // pressure records without a usable temperature, shown nowhere
    long temperatureRecords = 0;  // whole "T" records seen
    long c1Sent = 0;          // temperature requests, the start sequence's included
    long discardedBytes = 0;  // after a NUL, text without any "P", a record cut by the stop
    long drainedBytes = 0;    // unread output the stop sequence threw away
    bool fellBehind = false;  // a step read all it could, tick after tick
    int gaps = 0;             // times the port went away and the same transducer came back
    double gapSeconds = 0;    // how long those gaps lasted in all
    int eepromRereads = 0;    // EEPROM reads beyond the 256
    int eepromUnconfirmedRows = 0;
};

// The ledger as every front end shows it: the label (and accessible name), the JSON key, the
// value's text ("C" rules; "yes"/"no" for the flag).
struct LedgerRow {
    std::string_view caption;
    std::string_view key;
    std::string text;
};
std::vector<LedgerRow> LedgerTable(const RunLedger& ledger);

}  // namespace device
