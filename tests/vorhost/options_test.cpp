#include "options.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vorhost {
namespace {

namespace fs = std::filesystem;

class OptionsTest : public ::testing::Test {
protected:
    fs::path dir;

    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("vorhost-options-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string file(const std::string& name, const std::string& text) {
        fs::path p = dir / name;
        std::ofstream(p) << text;
        return p.string();
    }
    static ParseResult parse(std::vector<std::string> args) { return parse_options(args); }
    static std::string error_of(std::vector<std::string> args) {
        ParseResult r = parse_options(args);
        EXPECT_FALSE(r.options) << "accepted";
        return r.error;
    }
};

TEST_F(OptionsTest, NoArgumentsMeansDefaultsAndStandardInput) {
    ParseResult r = parse({});
    ASSERT_TRUE(r.options);
    EXPECT_EQ(r.options->device_set, DeviceSet::builtin);
    EXPECT_EQ(r.options->clock, Clock::real);
    EXPECT_EQ(r.options->folder, "");
    EXPECT_EQ(r.options->module, "");
    EXPECT_EQ(r.options->script, "");
    EXPECT_FALSE(r.options->help);
}

TEST_F(OptionsTest, EveryOptionTakesItsValueInEitherForm) {
    std::string dev = file("d.json", R"({"video": [{"description": "Cam"}]})");
    ParseResult r = parse({"--clock", "manual", "--folder=" + dir.string(), "--module", "/x/m.kpx64",
                           "--devices=" + dev, "run.vorhost"});
    ASSERT_TRUE(r.options) << r.error;
    EXPECT_EQ(r.options->clock, Clock::manual);
    EXPECT_EQ(r.options->folder, dir.string());
    EXPECT_EQ(r.options->module, "/x/m.kpx64");
    EXPECT_EQ(r.options->device_set, DeviceSet::file);
    EXPECT_EQ(r.options->devices_path, dev);
    EXPECT_EQ(r.options->devices["video"][0]["description"], "Cam");
    EXPECT_EQ(r.options->script, "run.vorhost");
}


TEST_F(OptionsTest, DevicesNoneNeedsNoFile) {
    ParseResult r = parse({"--devices", "none"});
    ASSERT_TRUE(r.options);
    EXPECT_EQ(r.options->device_set, DeviceSet::none);
    EXPECT_TRUE(r.options->devices.is_null());
}


TEST_F(OptionsTest, UnreadableOrInvalidDeviceFilesAreRejected) {
    EXPECT_EQ(error_of({"--devices", (dir / "missing.json").string()}),
              "--devices: cannot read " + (dir / "missing.json").string());
    EXPECT_EQ(error_of({"--devices", dir.string()}), "--devices: " + dir.string() + " is a folder, not a device file");
    std::string broken = file("broken.json", R"({"video": [ })");
    EXPECT_EQ(error_of({"--devices", broken}).rfind("--devices: " + broken + " is not valid JSON", 0), 0u);
    std::string empty = file("empty.json", "");
    EXPECT_FALSE(parse({"--devices", empty}).options);
    std::string list = file("list.json", "[1, 2]");
    EXPECT_EQ(error_of({"--devices", list}), "--devices: " + list + " must hold one JSON object");
}

TEST_F(OptionsTest, ClockIsRealOrManual) {
    EXPECT_EQ(error_of({"--clock", "fast"}), "--clock must be real or manual, not fast");
    EXPECT_EQ(error_of({"--clock=Manual"}), "--clock must be real or manual, not Manual");
}

TEST_F(OptionsTest, FolderMustExist) {
    EXPECT_EQ(error_of({"--folder", (dir / "nope").string()}), "--folder: " + (dir / "nope").string() + " is not a folder");
    std::string f = file("plain", "x");
    EXPECT_FALSE(parse({"--folder", f}).options);
}

TEST_F(OptionsTest, MissingOrEmptyValuesAreErrors) {
    EXPECT_EQ(error_of({"--module"}), "--module needs a value");
    EXPECT_EQ(error_of({"script", "--clock"}), "--clock needs a value");
    EXPECT_EQ(error_of({"--module="}), "--module needs a value");
}

TEST_F(OptionsTest, UnknownOptionsAndSecondScriptsAreErrors) {
    EXPECT_EQ(error_of({"--verbose"}), "unknown option --verbose");
    EXPECT_EQ(error_of({"-x"}), "unknown option -x");
    EXPECT_EQ(error_of({"--clocks=real"}), "unknown option --clocks");
    EXPECT_EQ(error_of({"a.vorhost", "b.vorhost"}), "more than one script given: a.vorhost and b.vorhost");
}

TEST_F(OptionsTest, DoubleDashEndsOptions) {
    ParseResult r = parse({"--", "--clock"});
    ASSERT_TRUE(r.options);
    EXPECT_EQ(r.options->script, "--clock");
    EXPECT_EQ(r.options->clock, Clock::real);
}


}  // namespace
}  // namespace vorhost
