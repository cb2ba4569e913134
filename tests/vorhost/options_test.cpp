#include "options.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vorhost {
namespace {

namespace fs = std::filesystem;

class OptionsTest : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() /
                   ("vorhost-options-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }
    std::string file(const std::string& name, const std::string& text) {
        std::ofstream(dir / name) << text;
        return (dir / name).string();
    }
};

TEST_F(OptionsTest, DefaultsAndEveryOptionInEitherForm) {
    ParseResult r = parse_options({});
    ASSERT_TRUE(r.options);
    EXPECT_EQ(r.options->device_set, DeviceSet::builtin);
    EXPECT_EQ(r.options->clock, Clock::real);
    EXPECT_EQ(r.options->folder + r.options->module + r.options->script, "");
    const std::string dev = file("d.json", R"({"video": [{"description": "Cam"}]})");
    r = parse_options({"--clock", "manual", "--folder=" + dir.string(), "--module", "/x/m.kpx64", "--devices=" + dev,
                       "run.vorhost"});
    ASSERT_TRUE(r.options) << r.error;
    EXPECT_EQ(r.options->clock, Clock::manual);
    EXPECT_EQ(r.options->folder, dir.string());
    EXPECT_EQ(r.options->module, "/x/m.kpx64");
    EXPECT_EQ(r.options->device_set, DeviceSet::file);
    EXPECT_EQ(r.options->devices["video"][0]["description"], "Cam");
    EXPECT_EQ(r.options->script, "run.vorhost");
    r = parse_options({"--devices", "none", "--", "--clock"});  // none needs no file; -- ends the options
    ASSERT_TRUE(r.options);
    EXPECT_EQ(r.options->device_set, DeviceSet::none);
    EXPECT_EQ(r.options->script, "--clock");
    EXPECT_EQ(r.options->clock, Clock::real);
}

TEST_F(OptionsTest, WrongCommandLinesSayWhy) {
    const std::string missing = (dir / "missing.json").string(), broken = file("broken.json", R"({"video": [ })");
    const std::string list = file("list.json", "[1, 2]"), plain = file("plain", "x");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--devices", missing}, "--devices: cannot read " + missing},
        {{"--devices", dir.string()}, "--devices: " + dir.string() + " is a folder, not a device file"},
        {{"--devices", broken}, "--devices: " + broken + " is not valid JSON"},  // and the parser's reason
        {{"--devices", file("empty.json", "")}, "--devices: "},
        {{"--devices", list}, "--devices: " + list + " must hold one JSON object"},
        {{"--clock", "fast"}, "--clock must be real or manual, not fast"},
        {{"--clock=Manual"}, "--clock must be real or manual, not Manual"},
        {{"--folder", (dir / "nope").string()}, "--folder: " + (dir / "nope").string() + " is not a folder"},
        {{"--folder", plain}, "--folder: " + plain + " is not a folder"},
        {{"--module"}, "--module needs a value"},
        {{"script", "--clock"}, "--clock needs a value"},
        {{"--module="}, "--module needs a value"},
        {{"--verbose"}, "unknown option --verbose"},
        {{"-x"}, "unknown option -x"},
        {{"--clocks=real"}, "unknown option --clocks"},
        {{"a.vorhost", "b.vorhost"}, "more than one script given: a.vorhost and b.vorhost"},
    };
    for (const auto& [args, why] : cases) {
        const ParseResult r = parse_options(args);
        EXPECT_FALSE(r.options) << why;
        EXPECT_EQ(r.error.rfind(why, 0), 0u) << r.error;
    }
}

}  // namespace
}  // namespace vorhost
