// Prints the goal table of scripts/bench (goal_table.h) from the benchmark
// programs' JSON output and the steady-capture test's.
//
//   bench_table [--tests STEADY_CAPTURE.json] BENCH.json...
//
// Exit status 0 whether or not the goals are met; 2 when a benchmark file
// cannot be read.
#include <cstdio>
#include <fstream>
#include <string>

#include "goal_table.h"

namespace {

bool read_json(const std::string& path, nlohmann::json& doc) {
    std::ifstream in(path);
    if (!in) return false;
    try {
        in >> doc;
        return true;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_table: %s: %s\n", path.c_str(), e.what());
        return false;
    }
}

}  // namespace

int main(int argc, char** argv) {
    vorbench::Results results;
    vorbench::TestSummary tests;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        nlohmann::json doc;
        if (a == "--tests" && i + 1 < argc) {
            // A test program that did not get as far as its report leaves
            // no file: the table says so.
            if (read_json(argv[++i], doc)) tests = vorbench::summarize_tests(doc);
        } else if (read_json(a, doc)) {
            results.add(doc);
        } else {
            std::fprintf(stderr, "bench_table: cannot read %s\n", a.c_str());
            return 2;
        }
    }
    const auto rows = vorbench::goal_rows(results, tests);
    if (!results.context().empty()) std::printf("1920x1080 cold; %s\n\n", results.context().c_str());
    std::fputs(vorbench::format_rows(rows).c_str(), stdout);
    std::printf("\n%s\n", vorbench::all_met(rows) ? "every goal met" : "some goals not met");
    return 0;
}
