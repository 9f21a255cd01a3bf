#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "device/verification_plan.h"

// The points a verification run measured and the figures and verdict they give. Pure code.
namespace device {

struct VerificationPoint {
    int cycle = 1;
    bool up = true;
    double setpointPsi = 0;
    bool settled = false;
    double settleSeconds = 0;  // from the set point to settled (or to the timeout)
    // The dwell's, when the point settled and its dwell ended.
    double referencePsi = 0;       // the controller's mean during the dwell, or the typed value
    double meanPsi = 0;            // the transducer's readings during the dwell
    std::optional<double> stdPsi;  // sample deviation (n − 1); absent for one reading
    long long count = 0;
    double errorPsi = 0;                                         // mean − reference
    double errorPctFs = 0;                                       // of the plan's full scale
    std::chrono::system_clock::time_point startUtc{}, endUtc{};  // the dwell's

    bool Measured() const { return settled && count > 0; }
};

struct VerificationFigure {
    const char* name = "";
    std::optional<double> psi, pctFs;  // absent where the points do not define it
    std::optional<double> tolerancePctFs;
    // Judged when it has a tolerance and a value: |% FS| within the tolerance.
    std::optional<bool> pass;
};

enum class Verdict { kPass, kFail, kIncomplete };
const char* VerdictName(Verdict verdict);  // "pass", "fail", "incomplete"

// The figures of the measured points, in the order of kVerificationFigureNames:
//   max_error: max |error| over all points;
//   zero_offset: the mean error at the lowest set point;
//   span_error: the mean error at the highest set point minus zero_offset;
//   nonlinearity_bfsl: reference and mean averaged per set point, a least-squares line through
//     (reference, mean), the largest |mean − line|;
//   nonlinearity_terminal: the same residuals against the line through the averaged lowest and
//     highest set points;
//   hysteresis: max over cycles and set points measured both ways of |mean up − mean down|;
//   nonrepeatability: max over set points and directions of max − min of the means over cycles
//     (absent with one cycle);
//   noise: the largest sample deviation at any point.
// % FS is the PSI figure over the plan's full scale, times 100.
std::vector<VerificationFigure> ComputeVerificationFigures(
    const std::vector<VerificationPoint>& points, const VerificationPlan& plan);

// pass when every figure with a tolerance is within it, fail otherwise; incomplete when the run
// did not measure every planned point.
Verdict JudgeVerification(const std::vector<VerificationFigure>& figures, bool complete);

}  // namespace device
