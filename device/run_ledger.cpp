#include "device/run_ledger.h"

#include "device/c_numbers.h"

namespace device {

std::vector<LedgerRow> LedgerTable(const RunLedger& l) {
    auto count = [](long n) { return std::to_string(n); };
    return {
        {"Records received", "received", count(l.received)},
        {"Readings shown", "shown", count(l.shown)},
        {"Zero readings", "zero", count(l.zero)},
        {"Readings without temperature", "no_temperature", count(l.noTemperature)},
        {"Temperature records", "t_records", count(l.temperatureRecords)},
        {"C1 frames sent", "c1_sent", count(l.c1Sent)},
        {"Bytes thrown away", "discarded_bytes", count(l.discardedBytes)},
        {"Bytes drained at stop", "drained_bytes", count(l.drainedBytes)},
        {"Fell behind", "fell_behind", l.fellBehind ? "yes" : "no"},
        {"Gaps", "gaps", count(l.gaps)},
        {"Gap time", "gap_seconds", FormatFixed6(l.gapSeconds)},
        {"EEPROM bytes re-read", "eeprom_rereads", count(l.eepromRereads)},
        {"EEPROM rows unconfirmed", "eeprom_unconfirmed_rows", count(l.eepromUnconfirmedRows)},
    };
}

}  // namespace device
