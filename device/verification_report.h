#pragma once

#include <array>
#include <string>
#include <vector>

#include "device/eeprom_contents.h"
#include "device/run_ledger.h"
#include "device/verification_run.h"

// What a verification run files: the transducer's identity, the adapter, the plan, the
// reference, the points, the figures with their tolerances, the verdict and the run's ledger,
// as one JSON object and as one self-contained HTML page. Pure code.
namespace device {

struct TransducerIdentity {
    std::string serialNumber;  // EEPROM row 43, decimal
    std::string eepromSha256;  // of the 256 bytes as read, lowercase hex
    std::array<float, kCoefficientRows> coefficients{};
};

// A byte whose text is not two hex digits (a reply out of range) counts with its low 8 bits.
TransducerIdentity IdentityOf(const EepromImage& image);
// The SHA-256 of `bytes`, lowercase hex (Nettle).
std::string Sha256Hex(const void* bytes, size_t size);

struct VerificationReport {
    VerificationResult result;
    TransducerIdentity transducer;
    std::string port;     // the device path
    std::string adapter;  // the adapter's model and serial number, or empty
    std::string version;  // of the software
    RunLedger ledger;
};

struct FigureDefinition {
    const char* name;
    const char* title;
    const char* definition;
};
// Each figure's exact definition, in the order of kVerificationFigureNames.
const std::vector<FigureDefinition>& VerificationFigureDefinitions();

// identity, plan, reference, points, figures (<name>_psi, <name>_pct_fs; null where absent),
// tolerances, verdict, incomplete_reason, start_utc, end_utc, version, ledger.
std::string VerificationJson(const VerificationReport& report);
// One HTML page with everything inline (the error plot as SVG): no file beside it, no network.
std::string VerificationHtml(const VerificationReport& report);

}  // namespace device
