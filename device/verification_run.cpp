#include "device/verification_run.h"

#include <cmath>
#include <cstdio>

#include "device/c_numbers.h"

namespace device {
namespace {

std::string PsiText(double psi) { return FormatC("%g", psi); }

}  // namespace

const char* VerificationPhaseName(VerificationPhase phase) {
    switch (phase) {
        case VerificationPhase::kIdle:
            return "idle";
        case VerificationPhase::kAwaitingReference:
            return "waiting for the reference";
        case VerificationPhase::kSettling:
            return "settling";
        case VerificationPhase::kDwelling:
            return "dwelling";
        case VerificationPhase::kFinished:
            break;
    }
    return "finished";
}

VerificationRun::VerificationRun(VerificationPlan plan, VerificationReference& reference,
                                 VerificationEvents* events)
    : m_plan(std::move(plan)),
      m_reference(reference),
      m_events(events),
      m_order(PlannedPoints(m_plan)) {}

void VerificationRun::Start() {
    if (m_phase != VerificationPhase::kIdle) return;
    m_startUtc = std::chrono::system_clock::now();
    m_index = 0;
    BeginPoint();
}

std::string VerificationRun::PointText() const {
    const PlannedPoint& p = m_order[m_index];
    return PsiText(p.setpointPsi) + " PSI (" + (p.up ? "up" : "down") + ", cycle " +
           std::to_string(p.cycle) + ")";
}

void VerificationRun::BeginPoint() {
    const PlannedPoint& p = m_order[m_index];
    m_current = {};
    m_current.cycle = p.cycle;
    m_current.up = p.up;
    m_current.setpointPsi = p.setpointPsi;
    m_manualReference.reset();
    if (m_reference.IsManual()) {
        m_phase = VerificationPhase::kAwaitingReference;
        m_phaseStart.reset();
        if (m_events) {
            m_events->OnManualPrompt({static_cast<int>(m_index), p,
                                      "Set the pressure to " + PointText() +
                                          " and type the reference's reading in PSI"});
        }
        return;
    }
    std::string error;
    if (!m_reference.SetPoint(p.setpointPsi, &error)) {
        Finish("the reference stopped answering: " + error);
        return;
    }
    BeginSettling();
}

void VerificationRun::BeginSettling() {
    m_phase = VerificationPhase::kSettling;
    m_phaseStart.reset();
    m_window.clear();
    m_windowStd.reset();
    m_windowSlope.reset();
    m_dwellReadings.clear();
    m_referenceReadings.clear();
}

void VerificationRun::AnswerManual(double referencePsi) {
    if (m_phase != VerificationPhase::kAwaitingReference || !std::isfinite(referencePsi)) return;
    m_manualReference = referencePsi;
    BeginSettling();
}

void VerificationRun::ReadingsGap() {
    if (m_phase == VerificationPhase::kSettling || m_phase == VerificationPhase::kDwelling)
        BeginSettling();
}

void VerificationRun::Stop(const std::string& reason) {
    if (m_phase == VerificationPhase::kFinished) return;
    Finish(reason.empty() ? "stopped" : reason);
}

void VerificationRun::Feed(const std::vector<TimedReading>& readings) {
    m_readThisBatch = false;
    for (const TimedReading& r : readings) {
        if (m_phase == VerificationPhase::kFinished) return;
        Take(r);
    }
    if (!readings.empty() && m_phase != VerificationPhase::kFinished) Progress(m_lastSeconds);
}

void VerificationRun::Take(const TimedReading& reading) {
    const double t = std::chrono::duration<double>(reading.sinceStart).count();
    m_lastSeconds = t;
    if (m_phase == VerificationPhase::kSettling) {
        Settle(reading, t);
    } else if (m_phase == VerificationPhase::kDwelling) {
        Dwell(reading, t);
    }
}

void VerificationRun::Settle(const TimedReading& reading, double t) {
    if (!m_phaseStart) m_phaseStart = t;
    m_window.push_back({t, reading.psi});
    while (t - m_window.front().seconds >= m_plan.settle.windowSeconds) m_window.pop_front();
    const double elapsed = t - *m_phaseStart;

    // Sample deviation and least-squares slope of the window, about its means.
    if (m_window.size() >= 2) {
        long double mt = 0, mp = 0;
        for (const Sample& s : m_window) {
            mt += s.seconds;
            mp += s.psi;
        }
        mt /= m_window.size();
        mp /= m_window.size();
        long double stt = 0, stp = 0, spp = 0;
        for (const Sample& s : m_window) {
            stt += (s.seconds - mt) * (s.seconds - mt);
            stp += (s.seconds - mt) * (s.psi - mp);
            spp += (s.psi - mp) * (s.psi - mp);
        }
        m_windowStd = static_cast<double>(std::sqrt(spp / (m_window.size() - 1)));
        m_windowSlope =
            stt > 0 ? std::optional<double>(static_cast<double>(stp / stt)) : std::nullopt;
    }

    const bool full = elapsed >= m_plan.settle.windowSeconds;
    if (full && m_windowStd && m_windowSlope && *m_windowStd <= m_plan.settle.maxStdPsi &&
        std::fabs(*m_windowSlope) <= m_plan.settle.maxSlopePsiPerSecond && !m_readThisBatch) {
        // The controller is asked at most once a step of readings.
        m_readThisBatch = true;
        bool stable = false;
        std::string error;
        if (!m_reference.Stable(&stable, &error)) {
            Finish("the reference stopped answering: " + error);
            return;
        }
        if (stable) {
            m_current.settled = true;
            m_current.settleSeconds = elapsed;
            m_phase = VerificationPhase::kDwelling;
            m_phaseStart.reset();
            m_readThisBatch = false;
            return;
        }
    }
    if (elapsed > m_plan.settle.timeoutSeconds) {
        m_current.settled = false;
        m_current.settleSeconds = elapsed;
        m_points.push_back(m_current);
        if (m_events) m_events->OnPoint(m_current);
        Finish("the point at " + PointText() + " did not settle within " +
               PsiText(m_plan.settle.timeoutSeconds) + " s");
    }
}

void VerificationRun::Dwell(const TimedReading& reading, double t) {
    if (!m_phaseStart) {
        m_phaseStart = t;
        m_current.startUtc = reading.utc;
    }
    // As the Statistics panel takes them: the "%f" texts of the PSI and the seconds.
    m_dwellReadings.push_back(
        AsWritten({reading.psi, reading.rawPressure, reading.rawTemperature}, reading.sinceStart));
    m_current.endUtc = reading.utc;
    if (!m_readThisBatch && !m_manualReference) {
        m_readThisBatch = true;
        ReadReference();
        if (m_phase == VerificationPhase::kFinished) return;
    }
    if (t - *m_phaseStart >= m_plan.dwellSeconds) EndDwell();
}

void VerificationRun::ReadReference() {
    double psi = 0;
    std::string error;
    if (!m_reference.Read(&psi, &error)) {
        Finish("the reference stopped answering: " + error);
        return;
    }
    m_referenceReadings.push_back(psi);
}

void VerificationRun::EndDwell() {
    const Figures f = FiguresOf(m_dwellReadings);
    m_current.count = f.count;
    m_current.meanPsi = f.meanPsi.value_or(0.0);
    m_current.stdPsi = f.stdPsi;
    if (m_manualReference) {
        m_current.referencePsi = *m_manualReference;
    } else {
        long double sum = 0;
        for (double r : m_referenceReadings) sum += r;
        m_current.referencePsi = static_cast<double>(sum / m_referenceReadings.size());
    }
    m_current.errorPsi = m_current.meanPsi - m_current.referencePsi;
    m_current.errorPctFs = m_current.errorPsi / m_plan.FullScale() * 100.0;
    m_points.push_back(m_current);
    if (m_events) m_events->OnPoint(m_current);
    if (++m_index == m_order.size()) {
        Finish("");
        return;
    }
    m_readThisBatch = true;  // the next point's set point is this step's request
    BeginPoint();
}

void VerificationRun::Progress(double t) {
    if (!m_events) return;
    VerificationProgress p;
    p.phase = m_phase;
    p.pointIndex = static_cast<int>(m_index);
    p.pointTotal = static_cast<int>(m_order.size());
    p.point = m_order[m_index];
    p.phaseSeconds = m_phaseStart ? t - *m_phaseStart : 0.0;
    if (m_phase == VerificationPhase::kSettling) {
        p.secondsLeft = std::max(0.0, m_plan.settle.timeoutSeconds - p.phaseSeconds);
        p.windowStdPsi = m_windowStd;
        p.windowSlopePsiPerSecond = m_windowSlope;
    } else if (m_phase == VerificationPhase::kDwelling) {
        p.secondsLeft = std::max(0.0, m_plan.dwellSeconds - p.phaseSeconds);
    }
    m_events->OnProgress(p);
}

void VerificationRun::Finish(const std::string& incompleteReason) {
    m_phase = VerificationPhase::kFinished;
    m_incompleteReason = incompleteReason;
    m_endUtc = std::chrono::system_clock::now();
    if (m_events) m_events->OnFinished(Result());
}

VerificationResult VerificationRun::Result() const {
    VerificationResult r;
    r.plan = m_plan;
    r.reference = m_reference.Identity();
    r.points = m_points;
    r.figures = ComputeVerificationFigures(m_points, m_plan);
    const bool complete = m_phase == VerificationPhase::kFinished && m_incompleteReason.empty() &&
                          m_points.size() == m_order.size();
    r.verdict = JudgeVerification(r.figures, complete);
    r.incompleteReason = m_incompleteReason;
    if (!complete && r.incompleteReason.empty()) r.incompleteReason = "the run is not finished";
    r.startUtc = m_startUtc;
    r.endUtc =
        m_phase == VerificationPhase::kFinished ? m_endUtc : std::chrono::system_clock::now();
    return r;
}

}  // namespace device
