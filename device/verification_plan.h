#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What a verification run is asked to do: the range, the set points, the cycles and directions,
// when a point counts as settled, how long to average and the tolerances. Read from and written
// as a JSON object; pure code.
namespace device {

// The figures a run gives, by their JSON names, in the order the report lists them.
inline constexpr std::array<const char*, 8> kVerificationFigureNames = {
    "max_error",  "zero_offset",      "span_error", "nonlinearity_bfsl", "nonlinearity_terminal",
    "hysteresis", "nonrepeatability", "noise"};

enum class Directions { kUp, kUpDown };

struct SettleCriteria {
    double windowSeconds = 2.0;
    double maxStdPsi = 0.002;
    double maxSlopePsiPerSecond = 0.002;
    double timeoutSeconds = 60.0;
};

// The controller's command texts; "{psi}" in `set` is replaced by the set point. An empty
// `stable` leaves settling to the transducer's readings alone.
struct ControllerCommands {
    std::string set = "SOUR:PRES {psi}";
    std::string read = "MEAS:PRES?";
    std::string stable = "STAT:STAB?";
};

struct VerificationPlan {
    double minPsi = 0, maxPsi = 0;  // the range; its span is the full scale of every % figure
    std::vector<double> points;     // ascending, distinct, within the range
    std::optional<int> pointCount;  // when given as a count, spread evenly over the range
    int cycles = 1;
    Directions directions = Directions::kUp;
    SettleCriteria settle;
    double dwellSeconds = 5.0;
    std::map<std::string, double> tolerances;  // figure name -> % of full scale, > 0
    ControllerCommands controller;

    double FullScale() const { return maxPsi - minPsi; }
};

// One measurement the run makes, in order.
struct PlannedPoint {
    int cycle = 1;   // from 1
    bool up = true;  // the direction the set points go through at this point
    double setpointPsi = 0;
};

// Up through the points, then (up-down) down through them again without measuring the top one
// twice; the whole repeated for each cycle.
std::vector<PlannedPoint> PlannedPoints(const VerificationPlan& plan);

// The plan of a JSON text. False with `error` naming the key (`"range_psi" is missing`,
// `unknown key "dwell"`, `"points"[2] = 16 lies outside "range_psi"`, `"tolerances.noise"
// must be a positive number`).
bool ParseVerificationPlan(std::string_view json, VerificationPlan* plan, std::string* error);
// The plan as a JSON text that ParseVerificationPlan reads back to the same plan.
std::string VerificationPlanJson(const VerificationPlan& plan);
// Checks a plan built in code (the window's) as a parsed one is checked.
bool ValidateVerificationPlan(const VerificationPlan& plan, std::string* error);

}  // namespace device
