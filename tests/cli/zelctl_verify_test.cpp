// zelctl verify through the real executable against the simulated transducer and the simulated
// pressure controller: the figures against what the simulator's error formulas give, the
// figures of the JSON against a plain computation over its own points, and the runs that end
// early.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "child_process.h"
#include "sim/pressure_controller.h"
#include "tests/support/scratch_files.h"

namespace {

using Json = nlohmann::json;
using test_files::ReadWholeFile;
using test_files::ScratchPath;

std::string WritePlan(const std::string& name, const std::string& json) {
    const std::string path = ScratchPath(name);
    std::ofstream(path) << json;
    return path;
}

struct Verified {
    ChildResult child;
    Json json;
    std::string html;
};

Verified Verify(const std::string& name, std::vector<std::string> args,
                const std::function<void(int, const std::string&)>& whileRunning = {},
                const std::string& stdinPath = "/dev/null") {
    Verified v;
    const std::string jsonPath = ScratchPath(name + ".json");
    const std::string htmlPath = ScratchPath(name + ".html");
    std::remove(jsonPath.c_str());
    std::remove(htmlPath.c_str());
    args.insert(args.begin(), {ZELCTL_PATH, "verify", "--json", jsonPath, "--report", htmlPath});
    v.child = RunChild(args, whileRunning, std::chrono::seconds(240), stdinPath);
    const std::string text = ReadWholeFile(jsonPath);
    if (!text.empty()) v.json = Json::parse(text, nullptr, false);
    v.html = ReadWholeFile(htmlPath);
    return v;
}

// The figures of a verification JSON worked out the obvious way from its own points.
std::map<std::string, double> PlainFigures(const Json& json) {
    const double fs =
        json["plan"]["range_psi"][1].get<double>() - json["plan"]["range_psi"][0].get<double>();
    std::map<double, std::vector<const Json*>> bySetpoint;
    std::map<std::string, double> psi;
    double maxError = 0, noise = 0;
    for (const Json& p : json["points"]) {
        if (!p["settled"].get<bool>()) continue;
        bySetpoint[p["setpoint_psi"].get<double>()].push_back(&p);
        maxError = std::max(maxError, std::fabs(p["error_psi"].get<double>()));
        noise = std::max(noise, p["std_psi"].get<double>());
    }
    psi["max_error"] = maxError;
    psi["noise"] = noise;
    std::vector<double> x, y, e;
    for (const auto& [setpoint, points] : bySetpoint) {
        double r = 0, m = 0, err = 0;
        for (const Json* p : points) {
            r += (*p)["reference_psi"].get<double>();
            m += (*p)["mean_psi"].get<double>();
            err += (*p)["error_psi"].get<double>();
        }
        x.push_back(r / points.size());
        y.push_back(m / points.size());
        e.push_back(err / points.size());
    }
    const size_t n = x.size();
    psi["zero_offset"] = e.front();
    psi["span_error"] = e.back() - e.front();
    double mx = 0, my = 0;
    for (size_t i = 0; i < n; ++i) {
        mx += x[i] / n;
        my += y[i] / n;
    }
    double sxy = 0, sxx = 0;
    for (size_t i = 0; i < n; ++i) {
        sxy += (x[i] - mx) * (y[i] - my);
        sxx += (x[i] - mx) * (x[i] - mx);
    }
    const double b = sxy / sxx, a = my - b * mx;
    const double bt = (y[n - 1] - y[0]) / (x[n - 1] - x[0]), at = y[0] - bt * x[0];
    psi["nonlinearity_bfsl"] = psi["nonlinearity_terminal"] = 0;
    for (size_t i = 0; i < n; ++i) {
        psi["nonlinearity_bfsl"] =
            std::max(psi["nonlinearity_bfsl"], std::fabs(y[i] - a - b * x[i]));
        psi["nonlinearity_terminal"] =
            std::max(psi["nonlinearity_terminal"], std::fabs(y[i] - at - bt * x[i]));
    }
    std::map<std::pair<int, double>, std::map<std::string, double>> ways;
    std::map<std::pair<double, std::string>, std::vector<double>> overCycles;
    for (const Json& p : json["points"]) {
        if (!p["settled"].get<bool>()) continue;
        const std::string direction = p["direction"];
        ways[{p["cycle"].get<int>(), p["setpoint_psi"].get<double>()}][direction] =
            p["mean_psi"].get<double>();
        overCycles[{p["setpoint_psi"].get<double>(), direction}].push_back(p["mean_psi"]);
    }
    for (const auto& [key, both] : ways) {
        if (both.size() == 2)
            psi["hysteresis"] =
                std::max(psi["hysteresis"], std::fabs(both.at("up") - both.at("down")));
    }
    for (const auto& [key, means] : overCycles) {
        psi["nonrepeatability"] =
            std::max(psi["nonrepeatability"], *std::max_element(means.begin(), means.end()) -
                                                  *std::min_element(means.begin(), means.end()));
    }
    std::map<std::string, double> both = psi;
    for (const auto& [name, value] : psi) both[name + "_pct_fs"] = value / fs * 100;
    return both;
}

void ExpectFiguresOfItsOwnPoints(const Json& json) {
    const auto plain = PlainFigures(json);
    for (const auto& [name, value] : plain) {
        const std::string key = name.ends_with("_pct_fs") ? name : name + "_psi";
        ASSERT_TRUE(json["figures"][key].is_number()) << key;
        const double given = json["figures"][key].get<double>();
        // 1e-9 relative; a figure of the rounding alone (1e-7 PSI) is held to 1e-15 PSI.
        EXPECT_NEAR(given, value, std::max(1e-9 * std::fabs(value), 1e-15)) << key;
    }
}

TEST(ZelctlVerify, A_clean_simulated_transducer_gives_every_figure_below_a_thousandth_of_FS) {
    const std::string plan = WritePlan("clean-plan.json", R"({
        "range_psi": [0, 15], "points": 3, "cycles": 2, "directions": "up-down",
        "settle": {"window_s": 0.3, "max_std_psi": 0.001, "max_slope_psi_per_s": 0.01,
                   "timeout_s": 20},
        "dwell_s": 0.5, "tolerances": {"max_error": 0.001}})");
    const Verified v = Verify("clean", {"--simulate", "--plan", plan, "--controller", "sim",
                                        "--controller-tau-s", "0.05"});
    ASSERT_EQ(v.child.exitCode, 0) << v.child.err;
    ASSERT_TRUE(v.json.is_object());
    EXPECT_EQ(v.json["verdict"], "pass");
    EXPECT_EQ(v.json["points"].size(), 10u);
    EXPECT_EQ(v.json["reference"].get<std::string>().rfind("zel-sim,simulated pressure", 0), 0u);
    for (const auto& [key, value] : v.json["figures"].items()) {
        if (!key.ends_with("_pct_fs")) continue;
        ASSERT_TRUE(value.is_number()) << key;
        EXPECT_LT(std::fabs(value.get<double>()), 0.001) << key;
    }
    EXPECT_NE(v.child.out.find("verdict pass"), std::string::npos);
    EXPECT_NE(v.html.find("<svg"), std::string::npos);
    EXPECT_EQ(v.html.find("http://"),
              v.html.find("http://www.w3.org/2000/svg"));  // nothing fetched
}

// What --help's formulas give at the six points of 0..15 PSI: the bow N 4x(1 − x), the offset,
// and ±H/2 by the direction the pressure last moved: none yet at the very first point (the
// controller starts at 0), up on the way up, down on the way down and at cycle 2's first point.
std::map<std::string, double> ExpectedFigures(double O, double N, double H) {
    std::map<std::string, double> e;
    const double bow[6] = {0, 0.64 * N, 0.96 * N, 0.96 * N, 0.64 * N, 0};
    const double atZero = (O + 3 * (O - H / 2)) / 4;  // four measurements at 0 PSI
    const double atTop = O + H / 2;
    std::vector<double> averaged = {atZero};
    for (int i = 1; i < 5; ++i) averaged.push_back(O + bow[i]);
    averaged.push_back(atTop);
    e["max_error"] = O + 0.96 * N + H / 2;
    e["zero_offset"] = atZero;
    e["span_error"] = atTop - atZero;
    double mx = 7.5, my = 0, sxy = 0, sxx = 0;
    for (double v : averaged) my += v / 6;
    for (int i = 0; i < 6; ++i) {
        sxy += (3 * i - mx) * (averaged[i] - my);
        sxx += (3 * i - mx) * (3 * i - mx);
    }
    const double b = sxy / sxx, a = my - b * mx;
    const double bt = (atTop - atZero) / 15;
    e["nonlinearity_bfsl"] = e["nonlinearity_terminal"] = 0;
    for (int i = 0; i < 6; ++i) {
        e["nonlinearity_bfsl"] =
            std::max(e["nonlinearity_bfsl"], std::fabs(averaged[i] - a - b * 3 * i));
        e["nonlinearity_terminal"] =
            std::max(e["nonlinearity_terminal"], std::fabs(averaged[i] - atZero - bt * 3 * i));
    }
    e["hysteresis"] = H;
    e["nonrepeatability"] = H / 2;  // only the lowest point up: no direction, then down
    return e;
}

TEST(ZelctlVerify,
     Sensor_errors_give_the_figures_their_formulas_give_and_a_tighter_tolerance_fails) {
    const std::string plan = WritePlan("errors-plan.json", R"({
        "range_psi": [0, 15], "points": 6, "cycles": 2, "directions": "up-down",
        "settle": {"window_s": 0.3, "max_std_psi": 0.004, "max_slope_psi_per_s": 0.05,
                   "timeout_s": 20},
        "dwell_s": 3.5, "tolerances": {"max_error": 0.3}})");
    const Verified v =
        Verify("errors", {"--simulate", "--nonlinearity-psi", "0.05", "--hysteresis-psi", "0.02",
                          "--offset-psi", "0.01", "--noise-psi", "0.002", "--plan", plan,
                          "--controller", "sim", "--controller-tau-s", "0.05"});
    // max_error 0.068 PSI is 0.45 % FS, above the 0.3 of the plan.
    EXPECT_EQ(v.child.exitCode, 11) << v.child.err;
    ASSERT_TRUE(v.json.is_object()) << v.child.err;
    EXPECT_EQ(v.json["verdict"], "fail");
    ASSERT_EQ(v.json["points"].size(), 22u);
    const auto expected = ExpectedFigures(0.01, 0.05, 0.02);
    for (const auto& [name, value] : expected) {
        EXPECT_NEAR(v.json["figures"][name + "_psi"].get<double>(), value, 0.1 * value) << name;
    }
    EXPECT_NEAR(v.json["figures"]["noise_psi"].get<double>(), 0.002, 0.0002);
    ExpectFiguresOfItsOwnPoints(v.json);
    EXPECT_NE(v.html.find("class=\"l fail\">fail"), std::string::npos);
}

TEST(ZelctlVerify, A_manual_run_takes_one_reference_a_line_from_standard_input) {
    const std::string plan = WritePlan("manual-plan.json", R"({
        "range_psi": [0, 15], "points": [0, 15],
        "settle": {"window_s": 0.3, "max_std_psi": 0.001, "max_slope_psi_per_s": 0.01,
                   "timeout_s": 10},
        "dwell_s": 0.5})");
    const std::string answers = ScratchPath("answers.txt");
    std::ofstream(answers) << "4.9\nnot a number\n5.2\n";
    const Verified v =
        Verify("manual", {"--simulate", "--pressure", "5", "--plan", plan, "--reference", "manual"},
               {}, answers);
    ASSERT_EQ(v.child.exitCode, 0) << v.child.err;
    EXPECT_EQ(v.json["reference"], "manual");
    ASSERT_EQ(v.json["points"].size(), 2u);
    EXPECT_EQ(v.json["points"][0]["reference_psi"], 4.9);
    EXPECT_EQ(v.json["points"][1]["reference_psi"], 5.2);
    EXPECT_NEAR(v.json["points"][0]["error_psi"].get<double>(), 0.1, 1e-5);
    EXPECT_NE(v.child.err.find("Set the pressure to 15 PSI (up, cycle 1)"), std::string::npos);
    EXPECT_NE(v.child.err.find("\"not a number\" is not a number"), std::string::npos);
}

// A controller in this process (the transducer holds 5 PSI whatever it is told): the run is
// ended once it has gone on to the second set point.
struct RunEndedEarly {
    sim::PressureController controller{sim::ControllerOptions{0, 0, 0, 1, "Test,PC,1,1"}};
    std::string plan;
    RunEndedEarly() {
        std::string error;
        EXPECT_TRUE(controller.Start("127.0.0.1", 0, &error)) << error;
        plan = WritePlan("early-plan.json", R"({
            "range_psi": [0, 15], "points": 3,
            "settle": {"window_s": 0.3, "max_std_psi": 0.001, "max_slope_psi_per_s": 0.01,
                       "timeout_s": 10},
            "dwell_s": 0.5})");
    }
    Verified Run(const std::string& name, const std::function<void(int)>& end) {
        bool ended = false;
        return Verify(name,
                      {"--simulate", "--pressure", "5", "--plan", plan, "--controller",
                       "tcp://" + controller.Address()},
                      [&](int pid, const std::string&) {
                          if (!ended && controller.SetPoint() == 7.5) {
                              ended = true;
                              end(pid);
                          }
                      });
    }
};

TEST(ZelctlVerify, A_controller_gone_mid_run_leaves_an_incomplete_report_of_the_points_so_far) {
    RunEndedEarly bench;
    const Verified v = bench.Run("killed", [&](int) { bench.controller.Stop(); });
    EXPECT_EQ(v.child.exitCode, 12) << v.child.err;
    EXPECT_EQ(v.json["verdict"], "incomplete");
    EXPECT_EQ(v.json["reference"], "Test,PC,1,1");
    EXPECT_GE(v.json["points"].size(), 1u);
    EXPECT_NE(v.json["incomplete_reason"].get<std::string>().find("stopped answering"),
              std::string::npos);
    EXPECT_NE(v.html.find("Incomplete: the reference stopped answering"), std::string::npos);
}

TEST(ZelctlVerify, Ctrl_C_writes_the_report_as_incomplete_and_exits_130) {
    RunEndedEarly bench;
    const Verified v = bench.Run("interrupted", [](int pid) { ::kill(pid, SIGINT); });
    EXPECT_EQ(v.child.exitCode, 130) << v.child.err;
    EXPECT_EQ(v.json["verdict"], "incomplete");
    EXPECT_GE(v.json["points"].size(), 1u);
}

TEST(ZelctlVerify, A_point_that_never_settles_ends_the_run_incomplete) {
    const std::string plan = WritePlan("unsettled-plan.json", R"({
        "range_psi": [0, 15], "points": 2,
        "settle": {"window_s": 0.3, "max_std_psi": 0.001, "max_slope_psi_per_s": 0.01,
                   "timeout_s": 1},
        "dwell_s": 0.5})");
    const Verified v = Verify("unsettled", {"--simulate", "--noise-psi", "0.2", "--plan", plan,
                                            "--controller", "sim", "--controller-tau-s", "0"});
    EXPECT_EQ(v.child.exitCode, 12) << v.child.err;
    EXPECT_EQ(v.json["verdict"], "incomplete");
    ASSERT_EQ(v.json["points"].size(), 1u);
    EXPECT_FALSE(v.json["points"][0]["settled"].get<bool>());
    EXPECT_TRUE(v.json["points"][0]["mean_psi"].is_null());
    EXPECT_NE(v.json["incomplete_reason"].get<std::string>().find("did not settle within 1 s"),
              std::string::npos);
}

TEST(ZelctlVerify, A_bad_plan_or_a_silent_controller_exits_2_before_anything_is_sent) {
    struct Case {
        const char* plan;
        const char* controller;
        const char* message;
    };
    const Case cases[] = {
        {R"({"range_psi": [0, 15], "dwell": 1})", "sim", "unknown key \"dwell\""},
        {R"({"points": 3})", "sim", "\"range_psi\" is missing"},
        {R"({"range_psi": [0, 15], "points": [0, 20]})", "sim", "\"points\"[1] = 20"},
        {R"({"range_psi": [0, 15], "tolerances": {"noise": 0}})", "sim", "\"tolerances.noise\""},
        {R"({"range_psi": [0, 15]})", "tcp://127.0.0.1:1", "the controller at tcp://127.0.0.1:1"},
    };
    for (const Case& c : cases) {
        const std::string plan = WritePlan("bad-plan.json", c.plan);
        const Verified v =
            Verify("bad", {"--simulate", "--plan", plan, "--controller", c.controller});
        EXPECT_EQ(v.child.exitCode, 2) << c.plan;
        EXPECT_NE(v.child.err.find(c.message), std::string::npos) << c.plan << ": " << v.child.err;
        EXPECT_EQ(v.child.err.find("Reading EEPROM"), std::string::npos);
        EXPECT_TRUE(v.json.is_null());  // no report of a run that never began
    }
}

}  // namespace
