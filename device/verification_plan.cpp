#include "device/verification_plan.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <set>

#include "device/c_numbers.h"

namespace device {
namespace {

using Json = nlohmann::json;

std::string Quoted(const std::string& key) {
    return "\"" + key + "\"";
}

std::string NumberText(double value) { return FormatC("%.9g", value); }

class Reader {
public:
    explicit Reader(std::string* error) : m_error(error) {}

    bool Fail(const std::string& message) {
        *m_error = message;
        return false;
    }

    bool Number(const Json& value, const std::string& key, double* out) {
        if (!value.is_number()) return Fail(Quoted(key) + " must be a number");
        *out = value.get<double>();
        if (!std::isfinite(*out)) return Fail(Quoted(key) + " must be a number");
        return true;
    }

    bool Positive(const Json& value, const std::string& key, double* out) {
        if (!value.is_number() || !(value.get<double>() > 0) || !std::isfinite(value.get<double>()))
            return Fail(Quoted(key) + " must be a positive number");
        *out = value.get<double>();
        return true;
    }

    bool OnlyKeys(const Json& object, const std::string& prefix,
                  std::initializer_list<const char*> known) {
        for (const auto& [key, value] : object.items()) {
            const bool isKnown =
                std::any_of(known.begin(), known.end(), [&](const char* k) { return key == k; });
            if (!isKnown) return Fail("unknown key " + Quoted(prefix + key));
        }
        return true;
    }

private:
    std::string* m_error;
};

}  // namespace

std::vector<PlannedPoint> PlannedPoints(const VerificationPlan& plan) {
    std::vector<PlannedPoint> order;
    for (int cycle = 1; cycle <= plan.cycles; ++cycle) {
        for (double p : plan.points) order.push_back({cycle, true, p});
        if (plan.directions == Directions::kUpDown) {
            for (size_t i = plan.points.size() - 1; i-- > 0;)
                order.push_back({cycle, false, plan.points[i]});
        }
    }
    return order;
}

bool ValidateVerificationPlan(const VerificationPlan& plan, std::string* error) {
    Reader r(error);
    if (!(plan.maxPsi > plan.minPsi))
        return r.Fail("\"range_psi\" must be [min, max] with min below max");
    if (plan.points.size() < 2) return r.Fail("\"points\" must hold at least two set points");
    for (size_t i = 0; i < plan.points.size(); ++i) {
        const double p = plan.points[i];
        if (!(p >= plan.minPsi && p <= plan.maxPsi))
            return r.Fail("\"points\"[" + std::to_string(i) + "] = " + NumberText(p) +
                          " lies outside \"range_psi\" [" + NumberText(plan.minPsi) + ", " +
                          NumberText(plan.maxPsi) + "]");
        if (i > 0 && !(p > plan.points[i - 1]))
            return r.Fail("\"points\" must be distinct and ascending");
    }
    if (plan.cycles < 1) return r.Fail("\"cycles\" must be a whole number of at least 1");
    const SettleCriteria& s = plan.settle;
    for (auto [value, key] : {std::pair{s.windowSeconds, "settle.window_s"},
                              {s.maxStdPsi, "settle.max_std_psi"},
                              {s.maxSlopePsiPerSecond, "settle.max_slope_psi_per_s"},
                              {s.timeoutSeconds, "settle.timeout_s"},
                              {plan.dwellSeconds, "dwell_s"}}) {
        if (!(value > 0) || !std::isfinite(value))
            return r.Fail(Quoted(key) + " must be a positive number");
    }
    for (const auto& [name, tolerance] : plan.tolerances) {
        const bool known =
            std::any_of(kVerificationFigureNames.begin(), kVerificationFigureNames.end(),
                        [&](const char* n) { return name == n; });
        if (!known) return r.Fail("unknown key " + Quoted("tolerances." + name));
        if (!(tolerance > 0) || !std::isfinite(tolerance))
            return r.Fail(Quoted("tolerances." + name) + " must be a positive number");
        if (name == "nonrepeatability" && plan.cycles < 2)
            return r.Fail("\"tolerances.nonrepeatability\" needs \"cycles\" of at least 2");
    }
    if (plan.controller.set.find("{psi}") == std::string::npos)
        return r.Fail("\"controller.set\" must hold {psi}");
    if (plan.controller.read.empty()) return r.Fail("\"controller.read\" must not be empty");
    return true;
}

bool ParseVerificationPlan(std::string_view text, VerificationPlan* out, std::string* error) {
    Reader r(error);
    const Json json = Json::parse(text, nullptr, false);
    if (json.is_discarded()) return r.Fail("the plan is not valid JSON");
    if (!json.is_object()) return r.Fail("the plan must be a JSON object");
    if (!r.OnlyKeys(json, "",
                    {"range_psi", "points", "cycles", "directions", "settle", "dwell_s",
                     "tolerances", "controller"}))
        return false;

    VerificationPlan plan;
    if (!json.contains("range_psi")) return r.Fail("\"range_psi\" is missing");
    const Json& range = json["range_psi"];
    if (!range.is_array() || range.size() != 2) return r.Fail("\"range_psi\" must be [min, max]");
    if (!r.Number(range[0], "range_psi", &plan.minPsi) ||
        !r.Number(range[1], "range_psi", &plan.maxPsi))
        return false;
    if (!(plan.maxPsi > plan.minPsi))
        return r.Fail("\"range_psi\" must be [min, max] with min below max");

    const Json points = json.value("points", Json(5));
    if (points.is_number_integer()) {
        const long long n = points.get<long long>();
        if (n < 2 || n > 1000) return r.Fail("\"points\" as a count must be from 2 to 1000");
        plan.pointCount = static_cast<int>(n);
        for (long long i = 0; i < n; ++i) {
            const double x = static_cast<double>(i) / static_cast<double>(n - 1);
            plan.points.push_back(i == n - 1 ? plan.maxPsi
                                             : plan.minPsi + x * (plan.maxPsi - plan.minPsi));
        }
    } else if (points.is_array()) {
        for (size_t i = 0; i < points.size(); ++i) {
            double p = 0;
            if (!r.Number(points[i], "points[" + std::to_string(i) + "]", &p)) return false;
            if (!(p >= plan.minPsi && p <= plan.maxPsi))
                return r.Fail("\"points\"[" + std::to_string(i) + "] = " + NumberText(p) +
                              " lies outside \"range_psi\" [" + NumberText(plan.minPsi) + ", " +
                              NumberText(plan.maxPsi) + "]");
            plan.points.push_back(p);
        }
        std::sort(plan.points.begin(), plan.points.end());
        if (std::adjacent_find(plan.points.begin(), plan.points.end()) != plan.points.end())
            return r.Fail("\"points\" must be distinct");
    } else {
        return r.Fail("\"points\" must be a list of PSI or a count");
    }

    if (json.contains("cycles")) {
        const Json& c = json["cycles"];
        if (!c.is_number_integer() || c.get<long long>() < 1 || c.get<long long>() > 1000)
            return r.Fail("\"cycles\" must be a whole number from 1 to 1000");
        plan.cycles = c.get<int>();
    }
    if (json.contains("directions")) {
        const Json& d = json["directions"];
        if (d == "up") {
            plan.directions = Directions::kUp;
        } else if (d == "up-down") {
            plan.directions = Directions::kUpDown;
        } else {
            return r.Fail("\"directions\" must be \"up\" or \"up-down\"");
        }
    }
    if (json.contains("settle")) {
        const Json& s = json["settle"];
        if (!s.is_object()) return r.Fail("\"settle\" must be an object");
        if (!r.OnlyKeys(s, "settle.",
                        {"window_s", "max_std_psi", "max_slope_psi_per_s", "timeout_s"}))
            return false;
        for (auto [key, field] : {std::pair{"window_s", &plan.settle.windowSeconds},
                                  {"max_std_psi", &plan.settle.maxStdPsi},
                                  {"max_slope_psi_per_s", &plan.settle.maxSlopePsiPerSecond},
                                  {"timeout_s", &plan.settle.timeoutSeconds}}) {
            if (s.contains(key) && !r.Positive(s[key], std::string("settle.") + key, field))
                return false;
        }
    }
    if (json.contains("dwell_s") && !r.Positive(json["dwell_s"], "dwell_s", &plan.dwellSeconds))
        return false;
    if (json.contains("tolerances")) {
        const Json& t = json["tolerances"];
        if (!t.is_object()) return r.Fail("\"tolerances\" must be an object");
        for (const auto& [name, value] : t.items()) {
            const bool known =
                std::any_of(kVerificationFigureNames.begin(), kVerificationFigureNames.end(),
                            [&](const char* n) { return name == n; });
            if (!known) return r.Fail("unknown key " + Quoted("tolerances." + name));
            double tolerance = 0;
            if (!r.Positive(value, "tolerances." + name, &tolerance)) return false;
            plan.tolerances[name] = tolerance;
        }
    }
    if (json.contains("controller")) {
        const Json& c = json["controller"];
        if (!c.is_object()) return r.Fail("\"controller\" must be an object");
        if (!r.OnlyKeys(c, "controller.", {"set", "read", "stable"})) return false;
        for (auto [key, field] : {std::pair{"set", &plan.controller.set},
                                  {"read", &plan.controller.read},
                                  {"stable", &plan.controller.stable}}) {
            if (!c.contains(key)) continue;
            if (!c[key].is_string())
                return r.Fail(Quoted(std::string("controller.") + key) + " must be a text");
            *field = c[key].get<std::string>();
        }
    }
    if (!ValidateVerificationPlan(plan, error)) return false;
    *out = std::move(plan);
    return true;
}

std::string VerificationPlanJson(const VerificationPlan& plan) {
    nlohmann::ordered_json json;
    json["range_psi"] = {plan.minPsi, plan.maxPsi};
    if (plan.pointCount) {
        json["points"] = *plan.pointCount;
    } else {
        json["points"] = plan.points;
    }
    json["cycles"] = plan.cycles;
    json["directions"] = plan.directions == Directions::kUp ? "up" : "up-down";
    json["settle"] = {{"window_s", plan.settle.windowSeconds},
                      {"max_std_psi", plan.settle.maxStdPsi},
                      {"max_slope_psi_per_s", plan.settle.maxSlopePsiPerSecond},
                      {"timeout_s", plan.settle.timeoutSeconds}};
    json["dwell_s"] = plan.dwellSeconds;
    json["tolerances"] = nlohmann::ordered_json::object();
    for (const char* name : kVerificationFigureNames) {
        if (auto it = plan.tolerances.find(name); it != plan.tolerances.end())
            json["tolerances"][name] = it->second;
    }
    json["controller"] = {{"set", plan.controller.set},
                          {"read", plan.controller.read},
                          {"stable", plan.controller.stable}};
    return json.dump(2) + "\n";
}

}  // namespace device
