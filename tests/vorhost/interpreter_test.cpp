// The shell's interpreter against a host that reads and prints atoms as the
// real one does (it is the real one) but only records what is asked of its
// boxes, outputs and the person at the host. The shell against the module
// is covered by the transcripts in tests/scripts.
#include "interpreter.h"
#include "real_host.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>

namespace vorhost {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct Object {
    std::string class_name;
    Object* wrapper = nullptr;
};

class FakeHost : public RealHost {
public:
    bool constructor_fails = false;
    bool output_ok = true;
    std::function<void(Object*)> on_new, on_free;  // run inside new_box and free_box
    std::vector<std::string> log;  // "new CLASS ARGS", "send MESSAGE ARGS", "free CLASS", "dialog ...", "window ..."
    Object* last_send_box = nullptr;
    long queue_runs = 0;

    Object* object(const std::string& class_name, Object* wrapper = nullptr) {
        objects_.push_back(std::make_unique<Object>(Object{class_name, wrapper}));
        return objects_.back().get();
    }
    std::string text(const std::vector<t_atom>& atoms) {
        std::string s;
        for (const t_atom& a : atoms) s += " " + format(a);
        return s;
    }

    bool has_box_class(const std::string& name) override { return name == "vor.dx.grab" || name == "vor.other"; }
    void* new_box(const std::string& class_name, std::vector<t_atom>& args) override {
        log.push_back("new " + class_name + text(args));
        if (constructor_fails) return nullptr;
        Object* box = object(class_name);
        if (on_new) on_new(box);
        return box;
    }
    void send(void* box, t_symbol* message, std::vector<t_atom>& args) override {
        log.push_back(std::string("send ") + message->s_name + text(args));
        last_send_box = static_cast<Object*>(box);
    }
    void free_box(void* box) override {
        if (on_free) on_free(static_cast<Object*>(box));
        log.push_back("free " + static_cast<Object*>(box)->class_name);
    }
    void* wrapping_box(void* object) override { return static_cast<Object*>(object)->wrapper; }
    std::string class_name(void* object) override { return static_cast<Object*>(object)->class_name; }

    bool matrix(void*, MatrixShape& s, std::string& why) override {
        s = MatrixShape{"char", 4, {320, 240}, 0};
        why = "the box has no matrix output";
        return output_ok;
    }
    bool cell(void*, long x, long y, std::vector<t_atom>& planes, std::string& why) override {
        log.push_back("cell " + std::to_string(x) + " " + std::to_string(y));
        std::string text;
        parse("255 1 2.5 x", planes, text);
        why = "outside";
        return output_ok;
    }
    bool texture(void*, TextureShape& t, std::string& why) override {
        t = TextureShape{gensym("u1000000002"), 640, 480, 2560, 8, 3};
        why = "no texture";
        return output_ok;
    }
    void answer_save_dialog(const char* path) override { log.push_back(std::string("dialog ") + (path ? path : "cancel")); }
    void set_main_window(bool present) override { log.push_back(present ? "window main" : "window none"); }
    std::string default_folder() override { return "/data/out"; }
    void run_queue() override { ++queue_runs; }

private:
    std::vector<std::unique_ptr<Object>> objects_;
};

class InterpreterTest : public ::testing::Test {
protected:
    FakeHost host;
    std::ostringstream out, err;
    Interpreter shell{host, out, err};

    int script(const std::string& text, bool prompt = false) {
        std::istringstream in(text);
        return shell.run(in, prompt);
    }
    Object* box(const std::string& name) { return static_cast<Object*>(shell.box(name)); }
};

TEST(Interpreter, AWrongLineIsReportedWithItsNumberAndStopsTheScript) {
    struct Case {
        const char* script;
        const char* error;
        std::vector<std::string> log;  // what reached the host
    };
    const std::string grab = "new vor.dx.grab";
    const Case cases[] = {
        {"# comment\n\nnew g vor.dx.grab\n   # indented\nbogus 1 2\ng bang\n", "5: no command or box named \"bogus\"", {grab}},
        {"new g vor.dx.grab\ng open \"Virtual Camera\nwindow main\n", "2: unterminated quote", {grab}},
        {"42 bang\n", "1: a line must begin with a command or a box name, not 42", {}},
        {"new g vor.dx.grab\nnew g vor.dx.grab\n", "2: new: there is a box named \"g\" already", {grab}},
        {"new cell vor.dx.grab\n", "1: new: \"cell\" is a command, not a box name", {}},
        {"new g vor.dx.nope\ng bang\n", "1: new: no box class \"vor.dx.nope\"", {}},
        {"new g\n", "1: new: expected new NAME CLASS ARGS...", {}},
        {"new 7 vor.dx.grab\n", "1: new: NAME must be a word, not 7", {}},
        {"new g vor.dx.grab\ng\n", "2: g: expected a message after the box name", {grab}},
        {"new g vor.dx.grab\ng 5\n", "2: g: a message must begin with a word, not 5", {grab}},
        {"new g vor.dx.grab\nfree g\nnew g vor.dx.grab\nfree g\ng bang\n", "5: no command or box named \"g\"",
         {grab, "free vor.dx.grab", grab, "free vor.dx.grab"}},
        {"free g\n", "1: free: no box named \"g\"", {}},
        {"new g vor.dx.grab\ncell g 1\n", "2: cell: expected cell NAME X Y", {grab}},
        {"new g vor.dx.grab\ncell g x 1\n", "2: cell: X must be a whole number, not \"x\"", {grab}},
        {"new g vor.dx.grab\ncell g 1 2.5\n", "2: cell: Y must be a whole number, not 2.5", {grab}},
        {"cell h 1 2\n", "1: cell: no box named \"h\"", {}},
        {"sleep -1\n", "1: sleep: MS must be a number of milliseconds, not -1", {}},
        {"sleep soon\n", "1: sleep: MS must be a number of milliseconds, not \"soon\"", {}},
        {"sleep\n", "1: sleep: expected sleep MS", {}},
        {"frames 3\n", "1: no command or box named \"frames\"", {}},  // added by the in-process platform
    };
    for (const Case& c : cases) {
        FakeHost host;
        std::ostringstream out, err;
        Interpreter shell(host, out, err);
        std::istringstream in(c.script);
        EXPECT_EQ(shell.run(in, false), 2) << c.script;
        EXPECT_EQ(err.str(), std::string("vorhost: ") + c.error + "\n") << c.script;
        EXPECT_EQ(host.log, c.log) << c.script;
    }
}

TEST_F(InterpreterTest, LinesReachTheNamedBoxesAndTheQueueRunsAfterEach) {
    EXPECT_EQ(script("new h vor.dx.grab 640 480 @optimize 0\r\n# nothing\n\nnew b vor.other\nh colormode uyvy\r\n"
                     "b brightness 0.5\nh getoptimize\n"),
              0);
    EXPECT_THAT(host.log, ElementsAre("new vor.dx.grab 640 480 @optimize 0", "new vor.other", "send colormode uyvy",
                                      "send brightness 0.5", "send getoptimize"));  // no carriage returns
    EXPECT_EQ(host.last_send_box, box("h"));
    EXPECT_EQ(host.queue_runs, 5);  // not for comments and blank lines
    host.log.clear();
    shell.finish();  // newest first
    EXPECT_THAT(host.log, ElementsAre("free vor.other", "free vor.dx.grab"));
    EXPECT_EQ(shell.box("h"), nullptr);
    shell.finish();
    EXPECT_EQ(host.log.size(), 2u);
}

TEST_F(InterpreterTest, PromptModeGoesOnAfterAWrongLineAndEndsWithStatus2) {
    EXPECT_EQ(script("nope\nwindow none\n", true), 2);
    EXPECT_THAT(host.log, ElementsAre("window none"));
    EXPECT_EQ(out.str(), "vorhost> vorhost> vorhost> \n");
}

TEST_F(InterpreterTest, ConstructorFailureLeavesNoBoxAndNamesNothingAfterIt) {
    host.constructor_fails = true;
    EXPECT_EQ(script("new g vor.dx.grab\n"), 2);
    EXPECT_EQ(err.str(), "vorhost: 1: new: could not create a box of class \"vor.dx.grab\"\n");
    EXPECT_EQ(shell.box("g"), nullptr);
    shell.console(host.object("vor_matrix"), false, "after");
    EXPECT_EQ(out.str(), "vor_matrix post: after\n");
}

TEST_F(InterpreterTest, ConsoleLinesNameTheBoxItsWrappedObjectOrTheClass) {
    Object* inner = nullptr;
    host.on_new = [&](Object* b) {
        inner = host.object("vor_grab_dx_imp", b);
        shell.console(b, false, "box constructing");  // not yet known as g
        shell.console(inner, true, "inner");          // wrapper not yet known
        shell.console(host.object("vor_matrix"), false, "matrix");
    };
    host.on_free = [&](Object* b) { shell.console(b, false, "closing"); };
    ASSERT_EQ(script("new g vor.dx.grab\n"), 0);
    shell.console(box("g"), false, "from the box");
    shell.console(inner, true, "could not render capture stream");
    shell.console(host.object("vor_matrix"), true, "no data");
    shell.console(nullptr, false, "nobody's");
    ASSERT_EQ(script("free g\n"), 0);
    EXPECT_EQ(out.str(),
              "g post: box constructing\ng error: inner\ng post: matrix\n"
              "g post: from the box\ng error: could not render capture stream\n"
              "vor_matrix error: no data\nhost post: nobody's\ng post: closing\n");
}

TEST_F(InterpreterTest, OutletMessagesAndOutputCommands) {
    ASSERT_EQ(script("new g vor.dx.grab\n"), 0);
    t_atom list[2];
    atom_setsym(list, gensym("Virtual Camera"));
    atom_setsym(list + 1, gensym("dv"));
    shell.outlet(box("g"), 1, true, gensym("getvdevlist"), 2, list);
    shell.outlet(box("g"), 0, false, gensym("close"), 0, nullptr);
    ASSERT_EQ(script("matrix g\ncell g 10 20\ntexture g\n"), 0);
    EXPECT_EQ(out.str(),
              "g dump: getvdevlist \"Virtual Camera\" dv\n"
              "g out: close\n"
              "g matrix: char 4 320 240 flags 0\n"
              "g cell 10 20: 255 1 2.5 x\n"
              "g texture: u1000000002 640 480 2560 8 draws 3\n");
    EXPECT_EQ(host.log.back(), "cell 10 20");
    host.output_ok = false;
    for (const char* line : {"matrix g", "cell g 400 1", "texture g"}) EXPECT_FALSE(shell.run_line(7, line)) << line;
    EXPECT_EQ(err.str(),
              "vorhost: 7: matrix: g: the box has no matrix output\n"
              "vorhost: 7: cell: g: outside\n"
              "vorhost: 7: texture: g: no texture\n");
}

TEST_F(InterpreterTest, DialogAnswersAreRelativeToTheDefaultFolderAndWrongOnesChangeNothing) {
    for (const char* line : {"dialog", "dialog save", "dialog cancel now", "dialog open x.avi", "dialog save 12",
                             "window", "window maybe", "window main extra"})
        EXPECT_FALSE(shell.run_line(1, line)) << line;
    EXPECT_THAT(host.log, IsEmpty());
    ASSERT_EQ(script("dialog save rec.avi\ndialog save /tmp/x/../a.avi\ndialog save \"my dir/b.avi\"\n"
                     "dialog cancel\nwindow none\nwindow main\nsleep 0\nsleep 1.5\n"),
              0);
    EXPECT_THAT(host.log, ElementsAre("dialog /data/out/rec.avi", "dialog /tmp/a.avi", "dialog /data/out/my dir/b.avi",
                                      "dialog cancel", "window none", "window main"));
}

TEST_F(InterpreterTest, PlatformCommandsCanBeAdded) {
    long seen = 0;
    shell.add_command("frames", [&](Args& a) { seen = a.number(0, "N"); });
    EXPECT_TRUE(shell.run_line(2, "frames 3"));
    EXPECT_EQ(seen, 3);
}

}  // namespace
}  // namespace vorhost
