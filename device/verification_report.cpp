#include "device/verification_report.h"

#include <nettle/sha2.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "device/c_numbers.h"
#include "device/reading_stream.h"

namespace device {
namespace {

using Json = nlohmann::ordered_json;

Json Optional(const std::optional<double>& value) {
    if (!value || !std::isfinite(*value)) return nullptr;
    return *value;
}

Json Finite(double value) {
    if (!std::isfinite(value)) return nullptr;
    return value;
}

std::string Format(const char* format, double value) { return FormatC(format, value); }


std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string Utc(std::chrono::system_clock::time_point t) {
    return t.time_since_epoch().count() == 0 ? std::string() : IsoUtcMillis(t);
}

std::string CoefficientText(float value) {
    return Format("%.9g", static_cast<double>(value));
}

// The coefficient as the number its shortest text reads as, whatever the process locale.
double CoefficientNumber(float value) {
    const std::string text = CoefficientText(value);
    double number = 0;
    std::from_chars(text.data(), text.data() + text.size(), number);
    return number;
}

// The error plot: error in % FS against the reference, up and down marked apart, the best
// straight line of the errors and the band of the max_error tolerance.
std::string ErrorPlotSvg(const VerificationResult& result) {
    const VerificationPlan& plan = result.plan;
    const double fs = plan.FullScale();
    std::vector<const VerificationPoint*> points;
    for (const auto& p : result.points) {
        if (p.Measured()) points.push_back(&p);
    }
    double limit = 0.001;
    for (const auto* p : points) limit = std::max(limit, std::fabs(p->errorPctFs));
    std::optional<double> band;
    if (auto it = plan.tolerances.find("max_error"); it != plan.tolerances.end()) {
        band = it->second;
        limit = std::max(limit, it->second);
    }
    limit *= 1.15;
    const double w = 640, h = 320, left = 70, right = 20, top = 20, bottom = 40;
    auto X = [&](double psi) { return left + (psi - plan.minPsi) / fs * (w - left - right); };
    auto Y = [&](double pct) { return top + (limit - pct) / (2 * limit) * (h - top - bottom); };
    std::string svg =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"640\" height=\"320\" "
        "viewBox=\"0 0 640 320\" font-family=\"sans-serif\" font-size=\"11\">\n";
    svg += "<rect x=\"" + Format("%g", left) + "\" y=\"" + Format("%g", top) + "\" width=\"" +
           Format("%g", w - left - right) + "\" height=\"" + Format("%g", h - top - bottom) +
           "\" fill=\"none\" stroke=\"#888\"/>\n";
    if (band) {
        svg += "<rect x=\"" + Format("%g", left) + "\" y=\"" + Format("%.2f", Y(*band)) +
               "\" width=\"" + Format("%g", w - left - right) + "\" height=\"" +
               Format("%.2f", Y(-*band) - Y(*band)) +
               "\" fill=\"#2a2\" fill-opacity=\"0.12\"><title>max_error tolerance</title></rect>\n";
    }
    svg += "<line x1=\"" + Format("%g", left) + "\" x2=\"" + Format("%g", w - right) + "\" y1=\"" +
           Format("%.2f", Y(0)) + "\" y2=\"" + Format("%.2f", Y(0)) +
           "\" stroke=\"#bbb\" stroke-dasharray=\"4 3\"/>\n";
    for (int i = -2; i <= 2; ++i) {
        const double pct = limit / 1.15 * i / 2;
        svg += "<text x=\"" + Format("%g", left - 4) + "\" y=\"" + Format("%.2f", Y(pct) + 4) +
               "\" text-anchor=\"end\">" + Format("%.4g", pct) + "</text>\n";
    }
    for (double p : plan.points) {
        svg += "<text x=\"" + Format("%.2f", X(p)) + "\" y=\"" + Format("%g", h - bottom + 14) +
               "\" text-anchor=\"middle\">" + Format("%g", p) + "</text>\n";
    }
    svg += "<text x=\"" + Format("%g", (left + w - right) / 2) + "\" y=\"" + Format("%g", h - 6) +
           "\" text-anchor=\"middle\">reference (PSI)</text>\n";
    svg += "<text x=\"14\" y=\"" + Format("%g", (top + h - bottom) / 2) +
           "\" text-anchor=\"middle\" transform=\"rotate(-90 14 " +
           Format("%g", (top + h - bottom) / 2) + ")\">error (% FS)</text>\n";

    // The best straight line of the errors against the reference.
    if (points.size() >= 2) {
        long double mx = 0, my = 0;
        for (const auto* p : points) {
            mx += p->referencePsi;
            my += p->errorPctFs;
        }
        mx /= points.size();
        my /= points.size();
        long double sxx = 0, sxy = 0;
        for (const auto* p : points) {
            sxx += (p->referencePsi - mx) * (p->referencePsi - mx);
            sxy += (p->referencePsi - mx) * (p->errorPctFs - my);
        }
        if (sxx > 0) {
            const double b = static_cast<double>(sxy / sxx), a = static_cast<double>(my - b * mx);
            svg += "<line x1=\"" + Format("%.2f", X(plan.minPsi)) + "\" y1=\"" +
                   Format("%.2f", Y(a + b * plan.minPsi)) + "\" x2=\"" +
                   Format("%.2f", X(plan.maxPsi)) + "\" y2=\"" +
                   Format("%.2f", Y(a + b * plan.maxPsi)) +
                   "\" stroke=\"#36c\"><title>best straight line</title></line>\n";
        }
    }
    for (const auto* p : points) {
        const std::string cx = Format("%.2f", X(p->referencePsi)),
                          cy = Format("%.2f", Y(p->errorPctFs));
        if (p->up) {
            svg += "<circle cx=\"" + cx + "\" cy=\"" + cy + "\" r=\"4\" fill=\"#c33\">";
        } else {
            svg += "<circle cx=\"" + cx + "\" cy=\"" + cy +
                   "\" r=\"4\" fill=\"none\" stroke=\"#333\" stroke-width=\"1.5\">";
        }
        svg += "<title>" + std::string(p->up ? "up" : "down") + ", cycle " +
               std::to_string(p->cycle) + ": " + Format("%g", p->errorPctFs) + " % FS</title>" +
               "</circle>\n";
    }
    svg += "<circle cx=\"" + Format("%g", w - 150) +
           "\" cy=\"32\" r=\"4\" fill=\"#c33\"/>"
           "<text x=\"" +
           Format("%g", w - 142) +
           "\" y=\"36\">up</text>"
           "<circle cx=\"" +
           Format("%g", w - 110) +
           "\" cy=\"32\" r=\"4\" fill=\"none\" stroke=\"#333\" stroke-width=\"1.5\"/>"
           "<text x=\"" +
           Format("%g", w - 102) + "\" y=\"36\">down</text>\n";
    svg += "</svg>\n";
    return svg;
}

}  // namespace

std::string Sha256Hex(const void* bytes, size_t size) {
    sha256_ctx context;
    sha256_init(&context);
    sha256_update(&context, size, static_cast<const uint8_t*>(bytes));
    uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context, sizeof digest, digest);
    std::string hex;
    static const char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < sizeof digest; ++i) {
        hex += kDigits[digest[i] >> 4];
        hex += kDigits[digest[i] & 0xF];
    }
    return hex;
}

TransducerIdentity IdentityOf(const EepromImage& image) {
    TransducerIdentity identity;
    identity.serialNumber = SerialNumberText(image);
    std::array<unsigned char, kEepromBytes> bytes{};
    for (int a = 0; a < kEepromBytes; ++a)
        bytes[a] =
            static_cast<unsigned char>(std::strtoul(ByteText(image, a).c_str(), nullptr, 16));
    identity.eepromSha256 = Sha256Hex(bytes.data(), bytes.size());
    identity.coefficients = Coefficients(image);
    return identity;
}

const std::vector<FigureDefinition>& VerificationFigureDefinitions() {
    static const std::vector<FigureDefinition> definitions = {
        {"max_error", "Maximum error",
         "the largest |error| over all points, error = mean of the transducer's readings during "
         "the dwell minus the reference (the total error band of the run)"},
        {"zero_offset", "Zero offset", "the mean error at the lowest set point"},
        {"span_error", "Span error",
         "the mean error at the highest set point minus the zero offset"},
        {"nonlinearity_bfsl", "Non-linearity (best straight line)",
         "the reference and the mean averaged per set point over cycles and directions; the "
         "largest |residual| of those means against their least-squares straight line over the "
         "reference"},
        {"nonlinearity_terminal", "Non-linearity (terminal line)",
         "the largest |residual| of the same averaged means against the straight line through "
         "the averaged points at the lowest and the highest set point"},
        {"hysteresis", "Hysteresis",
         "the largest |mean up − mean down| over the cycles and the set points measured both "
         "ways"},
        {"nonrepeatability", "Non-repeatability",
         "the largest spread (maximum − minimum) of the means over the cycles, over the set "
         "points and directions (absent with one cycle)"},
        {"noise", "Noise",
         "the largest sample deviation (n − 1) of the transducer's readings during a dwell"},
    };
    return definitions;
}

std::string VerificationJson(const VerificationReport& report) {
    const VerificationResult& r = report.result;
    Json json;
    Json coefficients = Json::object();
    for (int k = 0; k < kCoefficientRows; ++k) {
        const float c = report.transducer.coefficients[k];
        coefficients[EepromRows()[k].description] =
            std::isfinite(c) ? Json(CoefficientNumber(c)) : Json(nullptr);
    }
    json["identity"] = {{"serial_number", report.transducer.serialNumber},
                        {"eeprom_sha256", report.transducer.eepromSha256},
                        {"coefficients", coefficients},
                        {"port", report.port},
                        {"adapter", report.adapter}};
    json["plan"] = Json::parse(VerificationPlanJson(r.plan));
    json["reference"] = r.reference;
    json["points"] = Json::array();
    for (const VerificationPoint& p : r.points) {
        const bool m = p.Measured();
        json["points"].push_back({
            {"cycle", p.cycle},
            {"direction", p.up ? "up" : "down"},
            {"setpoint_psi", p.setpointPsi},
            {"reference_psi", m ? Finite(p.referencePsi) : Json(nullptr)},
            {"mean_psi", m ? Finite(p.meanPsi) : Json(nullptr)},
            {"std_psi", m ? Optional(p.stdPsi) : Json(nullptr)},
            {"count", p.count},
            {"error_psi", m ? Finite(p.errorPsi) : Json(nullptr)},
            {"error_pct_fs", m ? Finite(p.errorPctFs) : Json(nullptr)},
            {"settle_s", p.settleSeconds},
            {"settled", p.settled},
            {"start_utc", m ? Json(Utc(p.startUtc)) : Json(nullptr)},
            {"end_utc", m ? Json(Utc(p.endUtc)) : Json(nullptr)},
        });
    }
    json["figures"] = Json::object();
    json["tolerances"] = Json::object();
    for (const VerificationFigure& f : r.figures) {
        json["figures"][std::string(f.name) + "_psi"] = Optional(f.psi);
        json["figures"][std::string(f.name) + "_pct_fs"] = Optional(f.pctFs);
        if (f.tolerancePctFs) json["tolerances"][f.name] = *f.tolerancePctFs;
    }
    json["verdict"] = VerdictName(r.verdict);
    json["incomplete_reason"] = r.incompleteReason;
    json["start_utc"] = Utc(r.startUtc);
    json["end_utc"] = Utc(r.endUtc);
    json["version"] = report.version;
    Json ledger = Json::object();
    for (const LedgerRow& row : LedgerTable(report.ledger)) {
        const std::string key(row.key);
        if (key == "fell_behind") {
            ledger[key] = report.ledger.fellBehind;
        } else if (key == "gap_seconds") {
            ledger[key] = report.ledger.gapSeconds;
        } else {
            ledger[key] = std::strtoll(row.text.c_str(), nullptr, 10);
        }
    }
    json["ledger"] = ledger;
    return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string VerificationHtml(const VerificationReport& report) {
    const VerificationResult& r = report.result;
    const char* verdict = VerdictName(r.verdict);
    std::string h;
    h += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    h += "<title>Verification of transducer " + Escape(report.transducer.serialNumber) + ": " +
         verdict + "</title>\n";
    h += "<style>body{font-family:sans-serif;margin:2em;max-width:60em}"
         "table{border-collapse:collapse;margin:.5em 0}"
         "td,th{border:1px solid #bbb;padding:2px 6px;text-align:right}"
         "th{background:#eee}td.l,th.l{text-align:left}"
         ".pass{color:#080;font-weight:bold}.fail{color:#c00;font-weight:bold}"
         ".incomplete{color:#b60;font-weight:bold}code,pre{font-size:90%}</style>\n";
    h += "</head>\n<body>\n";
    h += "<h1>Verification run: <span class=\"" + std::string(verdict) + "\">" + verdict +
         "</span></h1>\n";
    if (r.verdict == Verdict::kIncomplete)
        h += "<p class=\"incomplete\">Incomplete: " + Escape(r.incompleteReason) +
             ". The points measured so far are below.</p>\n";

    h += "<h2>Transducer</h2>\n<table>\n";
    auto row = [&](const std::string& caption, const std::string& value) {
        h += "<tr><th class=\"l\">" + Escape(caption) + "</th><td class=\"l\">" + Escape(value) +
             "</td></tr>\n";
    };
    row("Serial number (row 43)", report.transducer.serialNumber);
    row("EEPROM SHA-256 (256 bytes)", report.transducer.eepromSha256);
    row("Port", report.port);
    row("Adapter", report.adapter.empty() ? "—" : report.adapter);
    row("Reference", r.reference);
    row("Start (UTC)", Utc(r.startUtc));
    row("End (UTC)", Utc(r.endUtc));
    row("Software version", report.version);
    h += "</table>\n<details><summary>The 37 coefficients</summary>\n<table>\n";
    for (int k = 0; k < kCoefficientRows; ++k)
        row(EepromRows()[k].description, CoefficientText(report.transducer.coefficients[k]));
    h += "</table>\n</details>\n";

    h += "<h2>Figures</h2>\n<table>\n<tr><th class=\"l\">figure</th><th>PSI</th><th>% FS</th>"
         "<th>tolerance (% FS)</th><th class=\"l\">result</th></tr>\n";
    for (const VerificationFigure& f : r.figures) {
        const std::string judged = !f.tolerancePctFs ? "—"
                                   : !f.pass         ? "n/a"
                                   : *f.pass         ? "pass"
                                                     : "fail";
        h += "<tr><td class=\"l\">" + std::string(f.name) + "</td><td>" +
             (f.psi ? Format("%.6f", *f.psi) : "n/a") + "</td><td>" +
             (f.pctFs ? Format("%.5f", *f.pctFs) : "n/a") + "</td><td>" +
             (f.tolerancePctFs ? Format("%g", *f.tolerancePctFs) : "—") + "</td><td class=\"l " +
             judged + "\">" + judged + "</td></tr>\n";
    }
    h += "</table>\n";

    h += "<h2>Error plot</h2>\n" + ErrorPlotSvg(r);

    h += "<h2>Points</h2>\n<table>\n<tr><th>cycle</th><th class=\"l\">direction</th>"
         "<th>set point (PSI)</th><th>reference (PSI)</th><th>mean (PSI)</th>"
         "<th>std (PSI)</th><th>count</th><th>error (PSI)</th><th>error (% FS)</th>"
         "<th>settle (s)</th><th class=\"l\">settled</th><th class=\"l\">dwell (UTC)</th></tr>\n";
    for (const VerificationPoint& p : r.points) {
        const bool m = p.Measured();
        auto cell = [&](bool show, const std::string& text) {
            h += "<td>" + (show ? text : std::string("—")) + "</td>";
        };
        h += "<tr>";
        cell(true, std::to_string(p.cycle));
        h += std::string("<td class=\"l\">") + (p.up ? "up" : "down") + "</td>";
        cell(true, Format("%g", p.setpointPsi));
        cell(m, Format("%.6f", p.referencePsi));
        cell(m, Format("%.6f", p.meanPsi));
        cell(m && p.stdPsi, p.stdPsi ? Format("%.6f", *p.stdPsi) : "");
        cell(true, std::to_string(p.count));
        cell(m, Format("%.6f", p.errorPsi));
        cell(m, Format("%.5f", p.errorPctFs));
        cell(true, Format("%.2f", p.settleSeconds));
        h += std::string("<td class=\"l\">") + (p.settled ? "yes" : "no") + "</td>";
        h += "<td class=\"l\">" + (m ? Utc(p.startUtc) + " – " + Utc(p.endUtc) : "—") + "</td>";
        h += "</tr>\n";
    }
    h += "</table>\n";

    h += "<h2>Plan</h2>\n<pre>" + Escape(VerificationPlanJson(r.plan)) + "</pre>\n";

    h += "<h2>Definitions</h2>\n<p>Every figure in PSI and in % of the full scale "
         "(the span of the plan's range, " +
         Format("%g", r.plan.FullScale()) +
         " PSI). A figure passes when its |% FS| is at most "
         "its tolerance; the run passes when every figure with a tolerance does.</p>\n<dl>\n";
    for (const FigureDefinition& d : VerificationFigureDefinitions())
        h += "<dt><code>" + std::string(d.name) + "</code> — " + Escape(d.title) + "</dt><dd>" +
             Escape(d.definition) + "</dd>\n";
    h += "</dl>\n";

    h += "<h2>Ledger</h2>\n<table>\n";
    for (const LedgerRow& l : LedgerTable(report.ledger)) row(std::string(l.caption), l.text);
    h += "</table>\n</body>\n</html>\n";
    return h;
}

}  // namespace device
