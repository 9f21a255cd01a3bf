#include "device/verification_run.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <map>
#include <random>
#include <string>

#include "../support/wait_until.h"
#include "device/scpi_controller.h"
#include "device/verification_feed.h"
#include "device/verification_report.h"
#include "device/verification_worker.h"
#include "host_on_simulator_fixture.h"

namespace {

using namespace device;

// A bench in memory: a controller that sets its pressure at once, and a transducer that reads
// it with an offset, a bow over the range, hysteresis by the direction the pressure last moved
// and Gaussian noise.
struct Bench : VerificationReference {
    double truth = 0;
    bool rose = true;
    int readsLeft = -1;  // the controller stops answering after this many reads (-1: never)
    double offset = 0, bow = 0, hysteresis = 0, noise = 0;
    double minPsi = 0, maxPsi = 15;
    std::mt19937 random{7};

    std::string Identity() const override { return "BENCH,1"; }
    bool SetPoint(double psi, std::string*) override {
        if (psi > truth + 0.01) rose = true;
        if (psi < truth - 0.01) rose = false;
        truth = psi;
        return true;
    }
    bool Stable(bool* stable, std::string*) override {
        *stable = true;
        return true;
    }
    bool Read(double* psi, std::string* error) override {
        if (readsLeft == 0) {
            *error = "no answer";
            return false;
        }
        if (readsLeft > 0) --readsLeft;
        *psi = truth;
        return true;
    }
    double Reading() {
        const double x = (truth - minPsi) / (maxPsi - minPsi);
        std::normal_distribution<double> gauss(0.0, noise > 0 ? noise : 1.0);
        return truth + offset + bow * 4 * x * (1 - x) + (rose ? 0.5 : -0.5) * hysteresis +
               (noise > 0 ? gauss(random) : 0.0);
    }
};

// 150 readings a second in steps of 15, as the session hands them on.
struct Feeder {
    double seconds = 0;
    std::vector<TimedReading> Step(Bench& bench) {
        std::vector<TimedReading> step;
        for (int i = 0; i < 15; ++i) {
            seconds += 1.0 / 150;
            TimedReading r;
            r.sinceStart = std::chrono::nanoseconds(static_cast<int64_t>(seconds * 1e9));
            r.utc = std::chrono::system_clock::time_point(
                std::chrono::duration_cast<std::chrono::system_clock::duration>(r.sinceStart));
            r.psi = bench.Reading();
            step.push_back(r);
        }
        return step;
    }
};

VerificationPlan QuickPlan(int points, int cycles, Directions directions) {
    VerificationPlan plan;
    plan.minPsi = 0;
    plan.maxPsi = 15;
    for (int i = 0; i < points; ++i) plan.points.push_back(15.0 * i / (points - 1));
    plan.cycles = cycles;
    plan.directions = directions;
    plan.settle = {0.2, 0.005, 0.05, 3.0};
    plan.dwellSeconds = 0.3;
    return plan;
}

VerificationResult RunOnBench(VerificationRun& run, Bench& bench, double maxSeconds = 600) {
    Feeder feeder;
    run.Start();
    while (!run.Finished() && feeder.seconds < maxSeconds) run.Feed(feeder.Step(bench));
    return run.Result();
}

std::map<std::string, double> PsiFigures(const VerificationResult& result) {
    std::map<std::string, double> psi;
    for (const auto& f : result.figures) {
        if (f.psi) psi[f.name] = *f.psi;
    }
    return psi;
}

TEST(VerificationRun, A_clean_transducer_gives_figures_of_the_readings_rounding_only) {
    Bench bench;
    VerificationRun run(QuickPlan(4, 1, Directions::kUp), bench, nullptr);
    const VerificationResult result = RunOnBench(run, bench);
    EXPECT_EQ(result.verdict, Verdict::kPass);
    ASSERT_EQ(result.points.size(), 4u);
    for (const auto& f : result.figures) {
        if (std::string(f.name) == "hysteresis" || std::string(f.name) == "nonrepeatability") {
            EXPECT_FALSE(f.psi) << f.name;  // no point measured both ways, one cycle
            continue;
        }
        ASSERT_TRUE(f.pctFs) << f.name;
        EXPECT_LT(std::fabs(*f.pctFs), 1e-5) << f.name;
    }
}

TEST(VerificationRun, Offset_bow_and_hysteresis_give_the_figures_their_formulas_give) {
    Bench bench;
    bench.offset = 0.01;
    bench.bow = 0.05;
    bench.hysteresis = 0.02;
    VerificationRun run(QuickPlan(6, 2, Directions::kUpDown), bench, nullptr);
    const VerificationResult result = RunOnBench(run, bench);
    ASSERT_EQ(result.verdict, Verdict::kPass) << result.incompleteReason;
    ASSERT_EQ(result.points.size(), 22u);
    const double O = 0.01, N = 0.05, H = 0.02;
    // Cycle 1 starts on a rise, cycle 2's lowest point after the fall of cycle 1's down leg.
    // The averaged error at 0 PSI is O + (H/2 − 3·H/2)/4, at 15 PSI O + H/2, between O + bow.
    const std::vector<double> bowAt = {0, 0.64 * N, 0.96 * N, 0.96 * N, 0.64 * N, 0};
    std::vector<double> averaged = {O - H / 4, 0, 0, 0, 0, O + H / 2};
    for (int i = 1; i < 5; ++i) averaged[i] = O + bowAt[i];
    auto worstAgainst = [&](double a, double b) {
        double worst = 0;
        for (int i = 0; i < 6; ++i)
            worst = std::max(worst, std::fabs(averaged[i] - (a + b * 3 * i)));
        return worst;
    };
    // The least-squares line of the averaged errors over the set points 0, 3, ... 15.
    double mx = 7.5, my = 0, sxy = 0, sxx = 0;
    for (double e : averaged) my += e / 6;
    for (int i = 0; i < 6; ++i) {
        sxy += (3 * i - mx) * (averaged[i] - my);
        sxx += (3 * i - mx) * (3 * i - mx);
    }
    const double b = sxy / sxx;
    const auto psi = PsiFigures(result);
    const double digits = 2e-6;  // the "%f" text of each reading
    EXPECT_NEAR(psi.at("max_error"), O + 0.96 * N + H / 2, digits);
    EXPECT_NEAR(psi.at("zero_offset"), O - H / 4, digits);
    EXPECT_NEAR(psi.at("span_error"), (O + H / 2) - (O - H / 4), digits);
    EXPECT_NEAR(psi.at("nonlinearity_bfsl"), worstAgainst(my - b * mx, b), digits);
    EXPECT_NEAR(psi.at("nonlinearity_terminal"),
                worstAgainst(averaged[0], (averaged[5] - averaged[0]) / 15), digits);
    EXPECT_NEAR(psi.at("hysteresis"), H, digits);
    EXPECT_NEAR(psi.at("nonrepeatability"), H, digits);
    EXPECT_LT(psi.at("noise"), digits);
    EXPECT_NEAR(result.figures[0].pctFs.value(), psi.at("max_error") / 15 * 100, 1e-12);
}

TEST(VerificationRun, Noise_is_the_largest_deviation_and_tolerances_decide_the_verdict) {
    Bench bench;
    bench.noise = 0.002;
    VerificationPlan plan = QuickPlan(3, 1, Directions::kUp);
    plan.dwellSeconds = 2;
    plan.tolerances = {{"noise", 0.02}, {"max_error", 0.01}};
    VerificationRun run(plan, bench, nullptr);
    VerificationResult result = RunOnBench(run, bench);
    const auto psi = PsiFigures(result);
    EXPECT_NEAR(psi.at("noise"), 0.002, 0.0004);
    EXPECT_EQ(result.verdict, Verdict::kPass);
    for (const auto& p : result.points) EXPECT_GE(p.count, 300);

    plan.tolerances = {{"noise", 0.01}};  // 0.0015 PSI: below the noise
    Bench again;
    again.noise = 0.002;
    VerificationRun strict(plan, again, nullptr);
    result = RunOnBench(strict, again);
    EXPECT_EQ(result.verdict, Verdict::kFail);
    EXPECT_EQ(result.figures.back().pass, false);
}

TEST(VerificationRun, A_point_that_never_settles_ends_the_run_incomplete_with_the_points_so_far) {
    Bench bench;
    VerificationPlan plan = QuickPlan(3, 1, Directions::kUp);
    plan.settle.timeoutSeconds = 1.0;
    struct NoisyAtTop : VerificationEvents {
        Bench* bench;
        void OnProgress(const VerificationProgress& p) override {
            bench->noise = p.point.setpointPsi == 15 ? 0.5 : 0;
        }
    } events;
    events.bench = &bench;
    VerificationRun run(plan, bench, &events);
    const VerificationResult result = RunOnBench(run, bench, 100);
    EXPECT_EQ(result.verdict, Verdict::kIncomplete);
    ASSERT_EQ(result.points.size(), 3u);
    EXPECT_TRUE(result.points[1].settled);
    EXPECT_FALSE(result.points[2].settled);
    EXPECT_GE(result.points[2].settleSeconds, 1.0);
    EXPECT_NE(result.incompleteReason.find("did not settle within 1 s"), std::string::npos)
        << result.incompleteReason;
    EXPECT_TRUE(PsiFigures(result).count("max_error"));  // of the points that were measured
}

TEST(VerificationRun, A_reference_that_stops_answering_ends_the_run_incomplete) {
    Bench bench;
    bench.readsLeft = 12;
    VerificationRun run(QuickPlan(6, 1, Directions::kUp), bench, nullptr);
    const VerificationResult result = RunOnBench(run, bench, 100);
    EXPECT_EQ(result.verdict, Verdict::kIncomplete);
    EXPECT_GE(result.points.size(), 1u);
    EXPECT_LT(result.points.size(), 6u);
    EXPECT_NE(result.incompleteReason.find("the reference stopped answering"), std::string::npos);
}

TEST(VerificationRun, A_manual_reference_is_asked_at_each_point_and_its_value_taken) {
    struct Prompts : VerificationEvents {
        std::vector<ManualPrompt> asked;
        void OnManualPrompt(const ManualPrompt& p) override { asked.push_back(p); }
    } prompts;
    ManualReference manual;
    Bench transducer;
    transducer.offset = 0.05;
    VerificationRun run(QuickPlan(2, 1, Directions::kUp), manual, &prompts);
    Feeder feeder;
    run.Start();
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].text,
              "Set the pressure to 0 PSI (up, cycle 1) and type the reference's reading in PSI");
    for (int i = 0; i < 20; ++i) run.Feed(feeder.Step(transducer));  // nothing until answered
    EXPECT_EQ(run.Phase(), VerificationPhase::kAwaitingReference);
    run.AnswerManual(0.01);
    while (prompts.asked.size() < 2 && feeder.seconds < 60) run.Feed(feeder.Step(transducer));
    ASSERT_EQ(prompts.asked.size(), 2u);
    transducer.truth = 15;
    run.AnswerManual(15.02);
    while (!run.Finished() && feeder.seconds < 60) run.Feed(feeder.Step(transducer));
    const VerificationResult result = run.Result();
    ASSERT_EQ(result.points.size(), 2u);
    EXPECT_EQ(result.reference, "manual");
    EXPECT_EQ(result.points[0].referencePsi, 0.01);
    EXPECT_NEAR(result.points[0].errorPsi, 0.04, 1e-6);
    EXPECT_NEAR(result.points[1].errorPsi, 0.03, 1e-6);
    EXPECT_EQ(result.verdict, Verdict::kPass);
}

TEST(VerificationWorker, Runs_on_its_own_thread_from_pushed_readings_and_stops_incomplete) {
    Bench bench;
    VerificationWorker worker(QuickPlan(3, 1, Directions::kUp), bench, nullptr);
    worker.Start();
    Feeder feeder;
    // The bench's truth is the worker thread's; the readings are made from a copy of the plan's
    // course instead: the first point only, then a stop.
    Bench readings;
    for (int i = 0; i < 5; ++i) worker.Push(feeder.Step(readings));
    worker.Stop("stopped");
    ASSERT_TRUE(worker.WaitFinished(std::chrono::seconds(10)));
    const VerificationResult result = worker.Result();
    EXPECT_EQ(result.verdict, Verdict::kIncomplete);
    EXPECT_EQ(result.incompleteReason, "stopped");
    EXPECT_EQ(result.reference, "BENCH,1");
}

// Whichever front end drives the session, a verification on it hears how the run goes: stopped
// as Stop stops it, or given up once the port went away, it ends incomplete and says why.
class VerificationFeedTest : public device_test::SimHostTest {};

TEST_F(VerificationFeedTest, A_run_stopped_or_abandoned_ends_the_verification_incomplete) {
    StartSim();
    ASSERT_TRUE(session->StartTimer());
    for (const bool abandoned : {false, true}) {
        SCOPED_TRACE(abandoned ? "abandoned" : "stopped");
        Bench bench;
        VerificationPlan plan = QuickPlan(3, 1, Directions::kUp);
        plan.settle.timeoutSeconds = 600;  // no point ends the run by itself
        VerificationWorker worker(plan, bench, nullptr);
        VerificationFeed feed(*session, worker);
        ASSERT_TRUE(session->StartRun({}));
        worker.Start();
        ASSERT_TRUE(WaitUntil([&] { return session->Ledger().shown > 0; }));
        if (abandoned) {
            session->SuspendRun();
            session->AbandonRun();
        } else {
            session->StopRun();
        }
        ASSERT_TRUE(worker.WaitFinished(std::chrono::seconds(10)));
        EXPECT_EQ(worker.Result().verdict, Verdict::kIncomplete);
        EXPECT_EQ(worker.Result().incompleteReason,
                  abandoned ? "the port went away" : "the run was stopped");
    }
}

}  // namespace

// The program runs under the user's locale: under a decimal comma the controller's set command,
// the report's numbers (its plot's coordinates among them) and the image's SHA-256 keep their
// form.
TEST(VerificationReport, Keeps_its_numbers_under_a_decimal_comma_and_hashes_the_bytes) {
    Bench bench;
    bench.offset = 0.01;
    VerificationRun run(QuickPlan(3, 1, Directions::kUpDown), bench, nullptr);
    VerificationReport report;
    report.result = RunOnBench(run, bench);
    const std::string before = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 not installed";
    const std::string command = SetCommandText("SOUR:PRES {psi}", 7.5);
    const std::string html = VerificationHtml(report);
    std::setlocale(LC_ALL, before.c_str());
    EXPECT_EQ(command, "SOUR:PRES 7.5");
    EXPECT_NE(html.find(">7.5<"), std::string::npos);
    EXPECT_EQ(html.find("7,5"), std::string::npos);
    EXPECT_EQ(html, VerificationHtml(report));  // the same as under "C"
    EXPECT_EQ(Sha256Hex("abc", 3),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}
