// The goal table of scripts/bench: what the benchmark programs measured
// (their JSON output) and the steady-capture test's verdicts, turned into one
// row per frame path at 1920x1080 cold: our throughput, the anchor's (each
// the median over repetitions), their ratio (the median of the ratios each
// repetition measured side by side), the goal and whether it is met.
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace vorbench {

// One benchmark's counters: their medians over repetitions when there were
// repetitions, else its only run's.
struct Result {
    std::map<std::string, double> counters;
    bool median = false;
    std::string error;  // set when the benchmark reported an error
    // A counter, or `fallback` when the benchmark has none of that name.
    double get(const std::string& name, double fallback = 0) const {
        auto it = counters.find(name);
        return it == counters.end() ? fallback : it->second;
    }
};

// The benchmark's own name, without what Google Benchmark appends to it
// ("/iterations:20", "/manual_time", "/real_time", ...).
std::string base_name(std::string name);

class Results {
public:
    // Takes every benchmark of one program's JSON output.
    void add(const nlohmann::json& doc);
    // The result of a benchmark that ran without error, else null with the
    // reason in `why`.
    const Result* find(const std::string& name, std::string& why) const;
    // The first program's context, in a few words (machine, cold set).
    const std::string& context() const { return context_; }

private:
    std::map<std::string, Result> results_;
    std::string context_;
};

// The steady-capture test's JSON output (gtest): how many paths ran, how
// many failed, and the most allocations per frame any of them counted.
struct TestSummary {
    bool read = false;
    int tests = 0;
    int failed = 0;
    double worst = 0;
    std::string worst_path;
};
TestSummary summarize_tests(const nlohmann::json& doc);

struct Row {
    std::string path, ours, anchor, ratio, goal;
    bool met = false;
    bool info = false;  // shown for the record: no goal
};

// The table's rows, in the order of the goals.
std::vector<Row> goal_rows(const Results& results, const TestSummary& tests);
// The rows as a text table, one line each, columns aligned.
std::string format_rows(const std::vector<Row>& rows);
// True when every row with a goal meets it.
bool all_met(const std::vector<Row>& rows);

}  // namespace vorbench
