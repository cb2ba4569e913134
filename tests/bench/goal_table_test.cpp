// The goal table: which number of a benchmark's output it reads, how each
// row decides met or not met, and what it says when a benchmark is missing
// or failed.
#include "goal_table.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace {

using nlohmann::json;
using vorbench::Row;

// One entry of a side-by-side group's output: its counters.
json entry(const std::string& name, const std::string& run_type, const std::string& aggregate,
           std::map<std::string, double> counters) {
    json e = {{"name", name}, {"run_name", name}, {"run_type", run_type}, {"iterations", 10}, {"real_time", 1.5}};
    if (!aggregate.empty()) e["aggregate_name"] = aggregate;
    for (const auto& [k, v] : counters) e[k] = v;
    return e;
}

// A group of ours against an anchor: their frames/s and the ratio.
std::map<std::string, double> pair(const std::string& ours, double ours_fps, const std::string& anchor,
                                   double anchor_fps) {
    return {{ours + " frames/s", ours_fps},
            {ours + " bytes/s", ours_fps * 1e6},
            {anchor + " frames/s", anchor_fps},
            {anchor + " bytes/s", anchor_fps * 1e6},
            {ours + "/" + anchor, ours_fps / anchor_fps}};
}

json run(const std::string& name, std::map<std::string, double> counters) {
    return entry(name, "iteration", "", std::move(counters));
}
json aggregate(const std::string& name, const std::string& which, std::map<std::string, double> counters) {
    return entry(name, "aggregate", which, std::move(counters));
}

json doc(std::vector<json> benchmarks) { return {{"context", {{"num_cpus", 2}}}, {"benchmarks", benchmarks}}; }

// A copy: the rows are often a temporary.
Row row_named(const std::vector<Row>& rows, const std::string& prefix, int nth = 0) {
    for (const Row& r : rows)
        if (r.path.rfind(prefix, 0) == 0 && nth-- == 0) return r;
    ADD_FAILURE() << "no row " << prefix;
    return Row{};
}

TEST(Results, MedianWinsOverRunsWhateverTheOrder) {
    const std::string n = "argb_output/1920x1080/cold";
    for (bool median_first : {false, true}) {
        vorbench::Results r;
        std::vector<json> b = {run(n + "/manual_time", {{"ours frames/s", 100}}),
                               aggregate(n + "/manual_time", "mean", {{"ours frames/s", 300}}),
                               run(n + "/manual_time", {{"ours frames/s", 110}})};
        const json median = aggregate(n + "/manual_time", "median", {{"ours frames/s", 200}});
        if (median_first)
            b.insert(b.begin(), median);
        else
            b.push_back(median);
        r.add(doc(b));
        std::string why;
        const vorbench::Result* got = r.find(n, why);
        ASSERT_NE(got, nullptr) << why;
        EXPECT_DOUBLE_EQ(got->get("ours frames/s"), 200) << "median first: " << median_first;
        EXPECT_TRUE(got->median);
    }
}

TEST(Results, AnErrorIsKeptAndReported) {
    vorbench::Results r;
    json failed = run("p/640x480/hot/manual_time", {});
    failed["error_occurred"] = true;
    failed["error_message"] = "the box did not open";
    // A later repetition that ran does not hide the failed one.
    r.add(doc({failed, aggregate("p/640x480/hot/manual_time", "median", {{"ours frames/s", 1}})}));
    std::string why;
    EXPECT_EQ(r.find("p/640x480/hot", why), nullptr);
    EXPECT_NE(why.find("the box did not open"), std::string::npos) << why;
    EXPECT_EQ(r.find("q/640x480/hot", why), nullptr);
    EXPECT_NE(why.find("not run"), std::string::npos) << why;
}

// The planar rows: ours against libyuv at 1920x1080 cold, goal 0.9.
std::vector<Row> planar_rows(double ours, double anchor) {
    vorbench::Results r;
    r.add(doc({aggregate("planar_to_packed/1920x1080/cold/manual_time", "median",
                         pair("ours_i420", ours, "libyuv_I420ToUYVY", anchor)),
               // The hot run must not be taken for the cold one.
               aggregate("planar_to_packed/1920x1080/hot/manual_time", "median",
                         pair("ours_i420", 1, "libyuv_I420ToUYVY", 100))}));
    return vorbench::goal_rows(r, {});
}

TEST(GoalRows, RatioAtTheGoalIsMetAndBelowIsNot) {
    const Row at = row_named(planar_rows(90, 100), "planar to packed, I420");
    EXPECT_TRUE(at.met);
    EXPECT_EQ(at.ratio, "0.90");
    EXPECT_NE(at.ours.find("90.0 frames/s"), std::string::npos) << at.ours;
    EXPECT_NE(at.anchor.find("100.0 frames/s"), std::string::npos) << at.anchor;

    const Row below = row_named(planar_rows(89, 100), "planar to packed, I420");
    EXPECT_FALSE(below.met);
    EXPECT_EQ(below.ratio, "0.89");
}

TEST(GoalRows, TheRatioIsTheMeasuredOneNotTheQuotientOfMedians) {
    // Each repetition measures its own ratio; the medians of the two
    // throughputs may come from different repetitions.
    vorbench::Results r;
    auto counters = pair("ours_i420", 90, "libyuv_I420ToUYVY", 100);
    counters["ours_i420/libyuv_I420ToUYVY"] = 0.95;
    r.add(doc({aggregate("planar_to_packed/1920x1080/cold/manual_time", "median", counters)}));
    const Row row = row_named(vorbench::goal_rows(r, {}), "planar to packed, I420");
    EXPECT_EQ(row.ratio, "0.95");
    EXPECT_TRUE(row.met);
}

TEST(GoalRows, AMissingBenchmarkOrContenderIsNotMet) {
    const auto rows = planar_rows(90, 100);
    const Row yv12 = row_named(rows, "planar to packed, YV12");
    EXPECT_FALSE(yv12.met);
    EXPECT_NE(yv12.ours.find("has no ours_yv12/libyuv_I420ToUYVY"), std::string::npos) << yv12.ours;
    const Row rgb32 = row_named(rows, "frame callback, RGB32");
    EXPECT_FALSE(rgb32.met);
    EXPECT_NE(rgb32.ours.find("not run: sample_callback_rgb32/1920x1080/cold"), std::string::npos) << rgb32.ours;
    EXPECT_FALSE(vorbench::all_met(rows));
}

json bang(const std::string& size, const std::string& variant, double us) {
    return aggregate("uyvy_share/" + size + "/" + variant + "/iterations:500/manual_time", "median",
                     {{"bang_us", us}, {"allocs_per_frame", 4.0}});
}

TEST(GoalRows, SharingBangIsTheSameAtBothSizesAndUnderFiveMicroseconds) {
    auto cold_row = [](double big, double small) {
        vorbench::Results r;
        r.add(doc({bang("1920x1080", "cold", big), bang("640x480", "cold", small)}));
        return row_named(vorbench::goal_rows(r, {}), "uyvy output, same size (sharing): bang, cold");
    };
    EXPECT_TRUE(cold_row(2.0, 1.9).met);
    EXPECT_FALSE(cold_row(5.5, 5.0).met);  // the same, but not under 5 us
    EXPECT_FALSE(cold_row(3.0, 1.0).met);  // under 5 us, but three times the small frame's
    EXPECT_EQ(cold_row(3.0, 1.0).ratio, "3.00");
}

TEST(GoalRows, RecordRowsDoNotDecide) {
    vorbench::Results r;
    r.add(doc({bang("1920x1080", "evicted", 60), bang("640x480", "evicted", 50)}));
    const auto rows = vorbench::goal_rows(r, {});
    const Row evicted = row_named(rows, "uyvy output, same size (sharing): bang, evicted");
    EXPECT_TRUE(evicted.info);
    EXPECT_EQ(evicted.ratio, "1.20");
    // Only rows with a goal count.
    std::vector<Row> just_record = {evicted};
    EXPECT_TRUE(vorbench::all_met(just_record));
    just_record.push_back(row_named(rows, "uyvy output, same size (sharing): bang, cold"));
    EXPECT_FALSE(vorbench::all_met(just_record));
}

// What gtest writes for the steady-capture test, in the parts read.
json test_report(const std::vector<std::tuple<std::string, double, double, bool>>& paths) {
    json cases = json::array();
    for (const auto& [name, callback, in_bang, failed] : paths) {
        json t = {{"name", "NoAllocationPerFrame/" + name},
                  {"value_param", name},
                  {"allocations_per_frame_callback", std::to_string(callback)},
                  {"allocations_per_frame_bang", std::to_string(in_bang)}};
        if (failed) t["failures"] = json::array({{{"failure", "heap allocations"}}});
        cases.push_back(t);
    }
    return {{"testsuites", json::array({{{"name", "Paths/SteadyCapture"}, {"testsuite", cases}}})}};
}

TEST(SteadyCaptureSummary, MetOnlyWhenEveryPathRanWithoutAllocating) {
    const auto s =
        vorbench::summarize_tests(test_report({{"argb_rgb32", 0, 0, false}, {"uyvy_shared_i420", 0, 0, false}}));
    EXPECT_TRUE(row_named(vorbench::goal_rows({}, s), "steady capture").met);
    const Row row = row_named(vorbench::goal_rows({}, vorbench::summarize_tests(json())), "steady capture");
    EXPECT_FALSE(row.met);
    EXPECT_NE(row.ours.find("did not run"), std::string::npos);
}

}  // namespace
