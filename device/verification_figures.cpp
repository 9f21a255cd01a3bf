#include "device/verification_figures.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace device {
namespace {

struct Averaged {
    double reference = 0, mean = 0, error = 0;
    int n = 0;
};

// Least-squares line y = a + b·x through the points, in long double about their means.
bool FitLine(const std::vector<std::pair<double, double>>& xy, double* a, double* b) {
    if (xy.size() < 2) return false;
    long double mx = 0, my = 0;
    for (auto [x, y] : xy) {
        mx += x;
        my += y;
    }
    mx /= xy.size();
    my /= xy.size();
    long double sxx = 0, sxy = 0;
    for (auto [x, y] : xy) {
        sxx += (x - mx) * (x - mx);
        sxy += (x - mx) * (y - my);
    }
    if (sxx == 0) return false;
    *b = static_cast<double>(sxy / sxx);
    *a = static_cast<double>(my - sxy / sxx * mx);
    return true;
}

}  // namespace

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::kPass:
            return "pass";
        case Verdict::kFail:
            return "fail";
        case Verdict::kIncomplete:
            break;
    }
    return "incomplete";
}

std::vector<VerificationFigure> ComputeVerificationFigures(
    const std::vector<VerificationPoint>& points, const VerificationPlan& plan) {
    std::map<std::string, std::optional<double>> psi;
    std::vector<const VerificationPoint*> measured;
    for (const auto& p : points) {
        if (p.Measured()) measured.push_back(&p);
    }

    if (!measured.empty()) {
        double worst = 0;
        for (const auto* p : measured) worst = std::max(worst, std::fabs(p->errorPsi));
        psi["max_error"] = worst;
    }

    std::map<double, Averaged> bySetpoint;
    for (const auto* p : measured) {
        Averaged& a = bySetpoint[p->setpointPsi];
        a.reference += p->referencePsi;
        a.mean += p->meanPsi;
        a.error += p->errorPsi;
        ++a.n;
    }
    for (auto& [setpoint, a] : bySetpoint) {
        a.reference /= a.n;
        a.mean /= a.n;
        a.error /= a.n;
    }
    const double lowest = plan.points.front(), highest = plan.points.back();
    const auto low = bySetpoint.find(lowest), high = bySetpoint.find(highest);
    if (low != bySetpoint.end()) psi["zero_offset"] = low->second.error;
    if (low != bySetpoint.end() && high != bySetpoint.end())
        psi["span_error"] = high->second.error - low->second.error;

    std::vector<std::pair<double, double>> xy;
    for (const auto& [setpoint, a] : bySetpoint) xy.push_back({a.reference, a.mean});
    auto worstResidual = [&](double a, double b) {
        double worst = 0;
        for (auto [x, y] : xy) worst = std::max(worst, std::fabs(y - (a + b * x)));
        return worst;
    };
    if (double a = 0, b = 0; FitLine(xy, &a, &b)) psi["nonlinearity_bfsl"] = worstResidual(a, b);
    if (low != bySetpoint.end() && high != bySetpoint.end() &&
        high->second.reference != low->second.reference) {
        const double b = (high->second.mean - low->second.mean) /
                         (high->second.reference - low->second.reference);
        const double a = low->second.mean - b * low->second.reference;
        psi["nonlinearity_terminal"] = worstResidual(a, b);
    }

    // (cycle, set point) -> the means up and down; (set point, direction) -> the means by cycle.
    std::map<std::pair<int, double>, std::pair<std::optional<double>, std::optional<double>>> ways;
    std::map<std::pair<double, bool>, std::vector<double>> overCycles;
    for (const auto* p : measured) {
        auto& both = ways[{p->cycle, p->setpointPsi}];
        (p->up ? both.first : both.second) = p->meanPsi;
        overCycles[{p->setpointPsi, p->up}].push_back(p->meanPsi);
    }
    for (const auto& [key, both] : ways) {
        if (!both.first || !both.second) continue;
        const double h = std::fabs(*both.first - *both.second);
        psi["hysteresis"] = std::max(psi["hysteresis"].value_or(0.0), h);
    }
    if (plan.cycles > 1) {
        for (const auto& [key, means] : overCycles) {
            if (means.size() < 2) continue;
            const auto [lo, hi] = std::minmax_element(means.begin(), means.end());
            psi["nonrepeatability"] = std::max(psi["nonrepeatability"].value_or(0.0), *hi - *lo);
        }
    }
    for (const auto* p : measured) {
        if (p->stdPsi) psi["noise"] = std::max(psi["noise"].value_or(0.0), *p->stdPsi);
    }

    std::vector<VerificationFigure> figures;
    for (const char* name : kVerificationFigureNames) {
        VerificationFigure f;
        f.name = name;
        f.psi = psi[name];
        if (f.psi) f.pctFs = *f.psi / plan.FullScale() * 100.0;
        if (auto it = plan.tolerances.find(name); it != plan.tolerances.end()) {
            f.tolerancePctFs = it->second;
            if (f.pctFs) f.pass = std::fabs(*f.pctFs) <= it->second;
        }
        figures.push_back(f);
    }
    return figures;
}

Verdict JudgeVerification(const std::vector<VerificationFigure>& figures, bool complete) {
    if (!complete) return Verdict::kIncomplete;
    for (const auto& f : figures) {
        if (f.tolerancePctFs && !f.pass.value_or(false)) return Verdict::kFail;
    }
    return Verdict::kPass;
}

}  // namespace device
