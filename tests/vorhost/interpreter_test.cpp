#include "interpreter.h"

#include "vorhost/fake_host.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

namespace vorhost {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::FakeHost;
using testing::FakeObject;

class InterpreterTest : public ::testing::Test {
protected:
    FakeHost host;
    std::ostringstream out, err;
    Interpreter shell{host, out, err};

    int script(const std::string& text, bool prompt = false) {
        std::istringstream in(text);
        return shell.run(in, prompt);
    }
    FakeObject* box(const std::string& name) { return static_cast<FakeObject*>(shell.box(name)); }
};

// ---------------------------------------------------------------- reading lines

TEST_F(InterpreterTest, WrongLineIsReportedWithItsNumberAndStopsTheScript) {
    int status = script("# comment\n\nnew g vor.dx.grab\n   # indented comment\nbogus 1 2\ng bang\n");
    EXPECT_EQ(status, 2);
    EXPECT_EQ(err.str(), "vorhost: 5: no command or box named \"bogus\"\n");
    EXPECT_THAT(host.log, ElementsAre("new vor.dx.grab"));  // g bang never ran
}

TEST_F(InterpreterTest, UnparsableLineReportsTheReadersReason) {
    int status = script("new g vor.dx.grab\ng open \"Virtual Camera\nwindow main\n");
    EXPECT_EQ(status, 2);
    EXPECT_EQ(err.str(), "vorhost: 2: unterminated quote\n");
    EXPECT_THAT(host.log, ElementsAre("new vor.dx.grab"));
    EXPECT_THAT(host.windows, IsEmpty());
}

TEST_F(InterpreterTest, CarriageReturnsAtLineEndsAreNotPartOfTheLastWord) {
    EXPECT_EQ(script("new g vor.dx.grab\r\ng colormode uyvy\r\n"), 0);
    EXPECT_THAT(host.log, ElementsAre("new vor.dx.grab", "send colormode uyvy"));
}

TEST_F(InterpreterTest, LineMustStartWithAWord) {
    EXPECT_EQ(script("42 bang\n"), 2);
    EXPECT_EQ(err.str(), "vorhost: 1: a line must begin with a command or a box name, not 42\n");
}

TEST_F(InterpreterTest, HostQueueRunsAfterEveryCommandButNotForComments) {
    EXPECT_EQ(script("new g vor.dx.grab\n# nothing\n\ng bang\ng open\n"), 0);
    EXPECT_EQ(host.queue_runs, 3);
}

TEST_F(InterpreterTest, PromptModeGoesOnAfterAWrongLineAndEndsWithStatus2) {
    int status = script("nope\nwindow none\n", true);
    EXPECT_EQ(status, 2);
    EXPECT_THAT(host.windows, ElementsAre(false));
    EXPECT_EQ(out.str(), "vorhost> vorhost> vorhost> \n");
}


// ---------------------------------------------------------------- boxes

TEST_F(InterpreterTest, NewPassesClassAndArgumentsAndNamesTheBox) {
    EXPECT_EQ(script("new h vor.dx.grab 640 480 @optimize 0\nh getoptimize\n"), 0);
    EXPECT_THAT(host.log, ElementsAre("new vor.dx.grab 640 480 @optimize 0", "send getoptimize"));
    EXPECT_EQ(host.last_send_box, box("h"));
}

TEST_F(InterpreterTest, MessagesGoToTheNamedBox) {
    EXPECT_EQ(script("new a vor.dx.grab\nnew b vor.dx.grab\nb brightness 0.5\n"), 0);
    EXPECT_EQ(host.last_send_box, box("b"));
    EXPECT_NE(box("a"), box("b"));
    EXPECT_EQ(host.log.back(), "send brightness 0.5");
}

TEST_F(InterpreterTest, BoxNamesAreUnique) {
    EXPECT_EQ(script("new g vor.dx.grab\nnew g vor.dx.grab\n"), 2);
    EXPECT_EQ(err.str(), "vorhost: 2: new: there is a box named \"g\" already\n");
    EXPECT_EQ(host.log.size(), 1u);
}

TEST_F(InterpreterTest, CommandNamesCannotNameBoxes) {
    EXPECT_EQ(script("new matrix vor.dx.grab\n"), 2);
    EXPECT_THAT(host.log, IsEmpty());
}

TEST_F(InterpreterTest, UnknownClassIsAnErrorAndCreatesNothing) {
    EXPECT_EQ(script("new g vor.dx.nope\ng bang\n"), 2);
    EXPECT_EQ(err.str(), "vorhost: 1: new: no box class \"vor.dx.nope\"\n");
    EXPECT_THAT(host.log, IsEmpty());
    EXPECT_EQ(shell.box("g"), nullptr);
}

TEST_F(InterpreterTest, ConstructorFailureLeavesNoBoxBehind) {
    host.failing_classes.insert("vor.dx.grab");
    EXPECT_EQ(script("new g vor.dx.grab\n"), 2);
    EXPECT_EQ(err.str(), "vorhost: 1: new: could not create a box of class \"vor.dx.grab\"\n");
    EXPECT_EQ(shell.box("g"), nullptr);
}

TEST_F(InterpreterTest, NewNeedsANameAndAClassThatAreWords) {
    EXPECT_EQ(script("new g\n"), 2);
    EXPECT_EQ(err.str(), "vorhost: 1: new: expected new NAME CLASS ARGS...\n");
    err.str("");
    EXPECT_EQ(script("new 7 vor.dx.grab\n"), 2);
    EXPECT_EQ(err.str(), "vorhost: 1: new: NAME must be a word, not 7\n");
    EXPECT_THAT(host.log, IsEmpty());
}

TEST_F(InterpreterTest, MessageToABoxMustBeAWord) {
    EXPECT_EQ(script("new g vor.dx.grab\ng\n"), 2);
    EXPECT_EQ(err.str(), "vorhost: 2: g: expected a message after the box name\n");
    err.str("");
    EXPECT_EQ(script("g 5\n"), 2);
    EXPECT_EQ(err.str(), "vorhost: 1: g: a message must begin with a word, not 5\n");
    EXPECT_EQ(host.log.size(), 1u);
}

TEST_F(InterpreterTest, FreedBoxIsGoneAndItsNameFree) {
    EXPECT_EQ(script("new g vor.dx.grab\nfree g\nnew g vor.dx.grab\nfree g\ng bang\n"), 2);
    EXPECT_EQ(host.freed.size(), 2u);
    EXPECT_EQ(err.str(), "vorhost: 5: no command or box named \"g\"\n");
}

TEST_F(InterpreterTest, FreeOfAnUnknownBoxIsAnError) {
    EXPECT_EQ(script("free g\n"), 2);
    EXPECT_EQ(err.str(), "vorhost: 1: free: no box named \"g\"\n");
    EXPECT_THAT(host.freed, IsEmpty());
}

TEST_F(InterpreterTest, FinishFreesNewestFirst) {
    EXPECT_EQ(script("new a vor.dx.grab\nnew b vor.dx.grab\nnew c vor.dx.grab\nfree b\n"), 0);
    FakeObject* a = box("a");
    FakeObject* c = box("c");
    host.freed.clear();
    shell.finish();
    EXPECT_THAT(host.freed, ElementsAre(c, a));
    EXPECT_EQ(shell.box("a"), nullptr);
    shell.finish();  // nothing left
    EXPECT_EQ(host.freed.size(), 2u);
}

// ---------------------------------------------------------------- naming what the host reports

TEST_F(InterpreterTest, ConsoleLinesNameTheBoxItsWrappedObjectOrTheClass) {
    FakeObject* inner = nullptr;
    host.on_new = [&](FakeObject* b) { inner = host.object("vor_grab_dx_imp", b); };
    ASSERT_EQ(script("new g vor.dx.grab\n"), 0);
    FakeObject* loose = host.object("vor_matrix");
    shell.console(box("g"), false, "from the box");
    shell.console(inner, true, "could not render capture stream");
    shell.console(loose, true, "no data");
    shell.console(nullptr, false, "nobody's");
    EXPECT_EQ(out.str(),
              "g post: from the box\n"
              "g error: could not render capture stream\n"
              "vor_matrix error: no data\n"
              "host post: nobody's\n");
}

TEST_F(InterpreterTest, ObjectsReportingDuringNewTakeTheNewBoxsName) {
    host.on_new = [&](FakeObject* b) {
        shell.console(b, false, "box constructing");                   // not yet known as g
        shell.console(host.object("vor_grab_dx_imp", b), true, "inner");  // wrapper not yet known
        shell.console(host.object("vor_matrix"), false, "matrix");
    };
    ASSERT_EQ(script("new g vor.dx.grab\n"), 0);
    shell.console(host.object("vor_matrix"), false, "later");
    EXPECT_EQ(out.str(), "g post: box constructing\ng error: inner\ng post: matrix\nvor_matrix post: later\n");
}

TEST_F(InterpreterTest, FailedNewStopsNamingObjectsAfterIt) {
    host.on_new = [&](FakeObject*) {};
    host.failing_classes.insert("vor.dx.grab");
    EXPECT_EQ(script("new g vor.dx.grab\n"), 2);
    shell.console(host.object("vor_matrix"), false, "after");
    EXPECT_EQ(out.str(), "vor_matrix post: after\n");
}

TEST_F(InterpreterTest, BoxKeepsItsNameWhileItIsFreed) {
    host.on_free = [&](FakeObject* b) { shell.console(b, false, "closing"); };
    ASSERT_EQ(script("new g vor.dx.grab\nfree g\n"), 0);
    EXPECT_EQ(out.str(), "g post: closing\n");
}

TEST_F(InterpreterTest, OutletMessagesShowOutletSelectorAndAtoms) {
    ASSERT_EQ(script("new g vor.dx.grab\n"), 0);
    void* g = shell.box("g");
    t_atom list[] = {host.symbol("Virtual Camera"), host.symbol("dv")};
    shell.outlet(g, 1, true, host.sym("getvdevlist"), 2, list);
    t_atom name[] = {host.symbol("u1000000003")};
    shell.outlet(g, 0, false, host.sym("vor_matrix"), 1, name);
    shell.outlet(g, 1, true, host.sym("close"), 0, nullptr);
    EXPECT_EQ(out.str(),
              "g dump: getvdevlist \"Virtual Camera\" dv\n"
              "g out: vor_matrix u1000000003\n"
              "g dump: close\n");
}


// ---------------------------------------------------------------- output commands

TEST_F(InterpreterTest, MatrixLineShowsTypePlanesDimsAndFlags) {
    host.shape = MatrixShape{"char", 4, {320, 240}, 0};
    ASSERT_EQ(script("new g vor.dx.grab\nmatrix g\n"), 0);
    EXPECT_EQ(out.str(), "g matrix: char 4 320 240 flags 0\n");
}

TEST_F(InterpreterTest, CellLineShowsThePlaneValues) {
    host.planes = {FakeHost::number(255), FakeHost::number(1), FakeHost::number(2), FakeHost::number(3)};
    ASSERT_EQ(script("new g vor.dx.grab\ncell g 10 20\n"), 0);
    EXPECT_EQ(out.str(), "g cell 10 20: 255 1 2 3\n");
    EXPECT_THAT(host.cells_asked, ElementsAre(std::make_pair(10L, 20L)));
}

TEST_F(InterpreterTest, CellArgumentsAreCheckedBeforeTheHostIsAsked) {
    ASSERT_EQ(script("new g vor.dx.grab\n"), 0);
    EXPECT_FALSE(shell.run_line(2, "cell g 1"));
    EXPECT_FALSE(shell.run_line(3, "cell g x 1"));
    EXPECT_FALSE(shell.run_line(4, "cell g 1 2.5"));
    EXPECT_FALSE(shell.run_line(5, "cell h 1 2"));
    EXPECT_EQ(err.str(),
              "vorhost: 2: cell: expected cell NAME X Y\n"
              "vorhost: 3: cell: X must be a whole number, not \"x\"\n"
              "vorhost: 4: cell: Y must be a whole number, not 2.5\n"
              "vorhost: 5: cell: no box named \"h\"\n");
    EXPECT_THAT(host.cells_asked, IsEmpty());
}

TEST_F(InterpreterTest, OutputThatCannotBeReadIsAnError) {
    host.output_ok = false;
    EXPECT_EQ(script("new g vor.dx.grab\ncell g 400 1\n"), 2);
    EXPECT_EQ(err.str(), "vorhost: 2: cell: g: outside\n");
    err.str("");
    EXPECT_FALSE(shell.run_line(3, "matrix g"));
    EXPECT_FALSE(shell.run_line(4, "texture g"));
    EXPECT_EQ(err.str(),
              "vorhost: 3: matrix: g: the box has no matrix output\n"
              "vorhost: 4: texture: g: no texture\n");
    EXPECT_EQ(out.str(), "");
}

TEST_F(InterpreterTest, TextureLineShowsNameGeometryFormatAndDraws) {
    host.texture_shape = TextureShape{host.sym("u1000000002"), 640, 480, 2560, 8, 3};
    ASSERT_EQ(script("new g vor.dx.grab\ntexture g\n"), 0);
    EXPECT_EQ(out.str(), "g texture: u1000000002 640 480 2560 8 draws 3\n");
}

// ---------------------------------------------------------------- the person at the host

TEST_F(InterpreterTest, DialogAnswersAreRelativeToTheDefaultFolder) {
    ASSERT_EQ(script("dialog save rec.avi\ndialog save /tmp/x/../a.avi\ndialog save \"my dir/b.avi\"\n"
                     "dialog cancel\n"),
              0);
    EXPECT_THAT(host.dialog_answers, ElementsAre("/data/out/rec.avi", "/tmp/a.avi", "/data/out/my dir/b.avi", "cancel"));
}

TEST_F(InterpreterTest, WrongDialogAndWindowCommandsChangeNothing) {
    for (const char* line : {"dialog", "dialog save", "dialog cancel now", "dialog open x.avi", "dialog save 12",
                             "window", "window maybe", "window main extra"})
        EXPECT_FALSE(shell.run_line(1, line)) << line;
    EXPECT_THAT(host.dialog_answers, IsEmpty());
    EXPECT_THAT(host.windows, IsEmpty());
    ASSERT_EQ(script("window none\nwindow main\n"), 0);
    EXPECT_THAT(host.windows, ElementsAre(false, true));
}

TEST_F(InterpreterTest, SleepTakesMillisecondsOnly) {
    EXPECT_TRUE(shell.run_line(1, "sleep 0"));
    EXPECT_TRUE(shell.run_line(2, "sleep 1.5"));
    EXPECT_FALSE(shell.run_line(3, "sleep -1"));
    EXPECT_FALSE(shell.run_line(4, "sleep soon"));
    EXPECT_FALSE(shell.run_line(5, "sleep"));
    EXPECT_EQ(err.str(),
              "vorhost: 3: sleep: MS must be a number of milliseconds, not -1\n"
              "vorhost: 4: sleep: MS must be a number of milliseconds, not \"soon\"\n"
              "vorhost: 5: sleep: expected sleep MS\n");
}

TEST_F(InterpreterTest, PlatformCommandsAreUnknownUntilAdded) {
    EXPECT_FALSE(shell.run_line(1, "frames 3"));
    EXPECT_EQ(err.str(), "vorhost: 1: no command or box named \"frames\"\n");
    long seen = 0;
    shell.add_command("frames", [&](Args& a) { seen = a.number(0, "N"); });
    EXPECT_TRUE(shell.run_line(2, "frames 3"));
    EXPECT_EQ(seen, 3);
}

}  // namespace
}  // namespace vorhost
