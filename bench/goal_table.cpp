#include "goal_table.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace vorbench {

namespace {

using nlohmann::json;

std::string format(const char* fmt, double a) {
    char buf[128];
    std::snprintf(buf, sizeof buf, fmt, a);
    return buf;
}

std::string rate(const Result& r, const std::string& who) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%.1f frames/s, %.2f GB/s", r.get(who + " frames/s"), r.get(who + " bytes/s") / 1e9);
    return buf;
}

const std::string kAt = "/1920x1080/cold";

// In benchmark `bench` (a side-by-side group), `ours` against `anchor`: the
// median of their per-repetition ratio, at least `goal`.
Row ratio_row(const Results& res, const std::string& path, const std::string& bench, const std::string& ours,
              const std::string& anchor, double goal, const std::string& anchor_label) {
    Row row;
    row.path = path;
    row.goal = format(">= %.2f x ", goal) + anchor_label;
    std::string why;
    const Result* r = res.find(bench, why);
    if (!r) {
        row.ours = why;
        return row;
    }
    const double ratio = r->get(ours + "/" + anchor, -1);
    if (ratio < 0) {
        row.ours = bench + " has no " + ours + "/" + anchor;
        return row;
    }
    row.ours = rate(*r, ours);
    row.anchor = rate(*r, anchor);
    row.ratio = format("%.2f", ratio);
    row.met = ratio >= goal;
    return row;
}

// The sharing bang at 1920x1080 against 640x480, in one variant.
Row bang_row(const Results& res, const std::string& variant, double max_ratio, double max_us, bool info) {
    Row row;
    row.path = "uyvy output, same size (sharing): bang, " + variant;
    row.info = info;
    row.goal = info ? "(for the record)"
                    : format("1920x1080 <= %.2f x 640x480", max_ratio) + format(", both < %.0f us", max_us);
    std::string why;
    const Result* big = res.find("uyvy_share/1920x1080/" + variant, why);
    const Result* small = big ? res.find("uyvy_share/640x480/" + variant, why) : nullptr;
    if (!big || !small) {
        row.ours = why;
        return row;
    }
    const double b = big->get("bang_us"), sm = small->get("bang_us");
    row.ours = format("%.2f us/bang (1920x1080)", b);
    row.anchor = format("%.2f us/bang (640x480)", sm);
    if (sm <= 0) return row;
    row.ratio = format("%.2f", b / sm);
    row.met = b / sm <= max_ratio && b < max_us && sm < max_us;
    return row;
}

Row alloc_row(const Results& res, const TestSummary& t) {
    Row row;
    row.path = "steady capture: heap allocations per frame";
    // The test counts apart the one task-memory block GetConnectedMediaType
    // hands back per call (the platform's, by contract).
    row.goal = "0 on every path (beside the connected type's format block)";
    if (!t.read || t.tests == 0) {
        row.ours = "steady_capture_tests did not run";
    } else {
        row.ours = format("worst %.1f/frame", t.worst) + (t.worst_path.empty() ? "" : " in " + t.worst_path) + "; " +
                   std::to_string(t.failed) + " of " + std::to_string(t.tests) + " paths fail";
        row.met = t.failed == 0 && t.worst == 0;
    }
    // The benchmarks' own counts, for the record (they count the platform's
    // streaming thread as well).
    for (const char* name : {"end_to_end_argb/1920x1080/cold", "uyvy_share/1920x1080/after_delivery"}) {
        std::string why;
        const Result* r = res.find(name, why);
        if (!r || r->get("allocs_per_frame", -1) < 0) continue;
        const std::string n(name);
        row.anchor += (row.anchor.empty() ? "bench: " : "; ") + n.substr(0, n.find('/')) +
                      format(" %.1f/frame", r->get("allocs_per_frame"));
    }
    return row;
}

}  // namespace

std::string base_name(std::string name) {
    for (;;) {
        const size_t slash = name.rfind('/');
        if (slash == std::string::npos) return name;
        const std::string last = name.substr(slash + 1);
        const bool appended = last == "manual_time" || last == "real_time" || last.starts_with("iterations:") ||
                              last.starts_with("repeats:") || last.starts_with("min_time:") ||
                              last.starts_with("threads:");
        if (!appended) return name;
        name.resize(slash);
    }
}

void Results::add(const json& doc) {
    if (context_.empty() && doc.contains("context")) {
        const json& c = doc["context"];
        const auto text = [&](const char* k) {
            if (!c.contains(k)) return std::string("?");
            return c[k].is_string() ? c[k].get<std::string>() : c[k].dump();
        };
        context_ = "cold set " + text("vor_cold_bytes") + " bytes (LLC " + text("vor_llc_bytes") + " bytes), " +
                   text("num_cpus") + " CPUs at " + text("mhz_per_cpu") + " MHz";
    }
    for (const json& b : doc.value("benchmarks", json::array())) {
        const std::string name = base_name(b.value("run_name", b.value("name", "")));
        Result& r = results_[name];
        if (b.value("error_occurred", false)) {
            r.error = b.value("error_message", "error");
            continue;
        }
        const bool is_median = b.value("run_type", "") == "aggregate" && b.value("aggregate_name", "") == "median";
        const bool is_run = b.value("run_type", "iteration") == "iteration";
        // A median wins over any single run; of single runs, the last one.
        if (!is_median && !(is_run && !r.median)) continue;
        r.median = r.median || is_median;
        // The counters are the entry's numbers, next to Google Benchmark's own.
        static const std::set<std::string> own = {"family_index", "per_family_instance_index",
                                                  "repetitions",  "repetition_index",
                                                  "threads",      "iterations",
                                                  "real_time",    "cpu_time"};
        r.counters.clear();
        for (auto it = b.begin(); it != b.end(); ++it)
            if (it->is_number() && !own.count(it.key())) r.counters[it.key()] = it->get<double>();
    }
}

const Result* Results::find(const std::string& name, std::string& why) const {
    auto it = results_.find(name);
    if (it == results_.end()) {
        why = "not run: " + name;
        return nullptr;
    }
    if (!it->second.error.empty()) {
        why = name + ": " + it->second.error;
        return nullptr;
    }
    return &it->second;
}

TestSummary summarize_tests(const json& doc) {
    TestSummary s;
    s.read = doc.is_object() && doc.contains("testsuites");
    if (!s.read) return s;
    for (const json& suite : doc.value("testsuites", json::array())) {
        for (const json& t : suite.value("testsuite", json::array())) {
            ++s.tests;
            if (t.contains("failures") && !t["failures"].empty()) ++s.failed;
            for (const char* key : {"allocations_per_frame_callback", "allocations_per_frame_bang"}) {
                if (!t.contains(key) || !t[key].is_string()) continue;
                const double v = std::stod(t[key].get<std::string>());
                if (v > s.worst) {
                    s.worst = v;
                    const bool callback = std::string(key).ends_with("callback");
                    s.worst_path = t.value("value_param", t.value("name", "")) + (callback ? " (callback)" : " (bang)");
                }
            }
        }
    }
    return s;
}

std::vector<Row> goal_rows(const Results& r, const TestSummary& tests) {
    std::vector<Row> rows;
    rows.push_back(ratio_row(r, "planar to packed, I420 -> UYVY", "planar_to_packed" + kAt, "ours_i420",
                             "libyuv_I420ToUYVY", 0.9, "libyuv I420ToUYVY"));
    rows.push_back(ratio_row(r, "planar to packed, YV12 -> UYVY", "planar_to_packed" + kAt, "ours_yv12",
                             "libyuv_I420ToUYVY", 0.9, "libyuv I420ToUYVY"));
    rows.push_back(
        ratio_row(r, "frame callback, RGB32 copy", "sample_callback_rgb32" + kAt, "ours", "memcpy", 0.9, "memcpy"));
    rows.push_back(
        ratio_row(r, "frame callback, UYVY copy", "sample_callback_uyvy" + kAt, "ours", "memcpy", 0.9, "memcpy"));
    rows.push_back(ratio_row(r, "frame callback, YUY2 byte-swap copy", "sample_callback_yuy2" + kAt, "ours", "memcpy",
                             0.9, "memcpy"));
    rows.push_back(ratio_row(r, "argb output, same size", "argb_output" + kAt, "ours", "libyuv_ARGBShuffle_flip", 1.0,
                             "libyuv ARGBShuffle (flip)"));
    rows.push_back(ratio_row(r, "argb output, same size", "argb_output" + kAt, "ours", "memcpy", 0.7, "memcpy"));
    rows.push_back(ratio_row(r, "argb output, bilinear -> 1280x720", "argb_scale" + kAt, "ours_bilinear",
                             "libyuv_ARGBScale_bilinear", 1.0, "libyuv ARGBScale bilinear"));
    rows.push_back(bang_row(r, "cold", 1.25, 5.0, false));
    rows.push_back(bang_row(r, "after_delivery", 1.25, 5.0, true));
    rows.push_back(bang_row(r, "evicted", 1.25, 5.0, true));
    rows.push_back(ratio_row(r, "uyvy output, scaled -> 1280x720 (4:4:4)", "uyvy_scale" + kAt, "ours",
                             "libyuv_UYVYToARGB_ARGBScale_ARGBToUYVY", 1.0, "libyuv chain"));
    rows.push_back(ratio_row(r, "end to end, argb (deliver + SampleCB + bang)", "end_to_end_argb" + kAt, "ours",
                             "memcpy", 0.35, "memcpy"));
    rows.push_back(alloc_row(r, tests));
    return rows;
}

std::string format_rows(const std::vector<Row>& rows) {
    const std::vector<std::string> head = {"path", "ours", "anchor", "ratio", "goal", "met"};
    auto cells = [](const Row& r) {
        return std::vector<std::string>{r.path,  r.ours, r.anchor,
                                        r.ratio, r.goal, r.info ? "-" : r.met ? "met" : "NOT MET"};
    };
    std::vector<size_t> width(head.size());
    for (size_t i = 0; i < head.size(); ++i) width[i] = head[i].size();
    for (const Row& r : rows) {
        const auto c = cells(r);
        for (size_t i = 0; i < c.size(); ++i) width[i] = std::max(width[i], c[i].size());
    }
    std::string out;
    auto line = [&](const std::vector<std::string>& c) {
        out += "|";
        for (size_t i = 0; i < c.size(); ++i) out += " " + c[i] + std::string(width[i] - c[i].size(), ' ') + " |";
        out += "\n";
    };
    line(head);
    out += "|";
    for (size_t w : width) out += std::string(w + 2, '-') + "|";
    out += "\n";
    for (const Row& r : rows) line(cells(r));
    return out;
}

bool all_met(const std::vector<Row>& rows) {
    return std::all_of(rows.begin(), rows.end(), [](const Row& r) { return r.met || r.info; });
}

}  // namespace vorbench
