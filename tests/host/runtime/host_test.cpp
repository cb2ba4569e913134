// The host around objects: queue, console, paths and the save dialog, and
// module loading. Outlets are shown by the shell's transcripts.
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "runtime_test_util.h"

namespace {

struct Box {
    t_object ob;
    long runs;
};

std::vector<std::string> g_queue_log;

void queued(Box* x, t_symbol* s, long ac, t_atom* av) {
    ++x->runs;
    g_queue_log.push_back(std::string(s->s_name) + (ac ? " " + std::to_string(atom_getlong(av)) : ""));
    // Work queued while the queue runs is run by the same drain.
    if (s == gensym("again") && atom_getlong(av) > 0) {
        t_atom next = long_atom(atom_getlong(av) - 1);
        hox_host_defer(x, HOXFN(queued), s, 1, &next, false);
    }
}

t_class* box_class() {
    static t_class* c = [] {
        t_class* k = class_new("host_test_box", nullptr, nullptr, sizeof(Box), nullptr, A_GIMME, 0);
        class_register(gensym("box"), k);
        return k;
    }();
    return c;
}

class Host : public ::testing::Test {
protected:
    void SetUp() override {
        hox_host_run_queue();
        g_queue_log.clear();
        x = static_cast<Box*>(object_alloc(box_class()));
        y = static_cast<Box*>(object_alloc(box_class()));
    }
    void TearDown() override {
        object_free(x);
        object_free(y);
    }
    void defer(Box* b, const char* s, long n, bool usurp) {
        t_atom a = long_atom(n);
        hox_host_defer(b, HOXFN(queued), gensym(s), n < 0 ? 0 : 1, &a, usurp);
    }
    Box* x = nullptr;
    Box* y = nullptr;
};

}  // namespace

TEST_F(Host, QueueRunsInOrderUsurpsAndForgets) {
    defer(x, "a", 1, false);
    defer(y, "u", 1, true);
    defer(x, "u", 1, true);
    defer(x, "a", 2, false);  // defer keeps both
    defer(x, "u", 2, true);   // usurp replaces x's waiting "u", not y's
    EXPECT_EQ(hox_host_run_queue(), 4);
    EXPECT_EQ(g_queue_log, (std::vector<std::string>{"a 1", "u 1", "u 2", "a 2"}));
    g_queue_log.clear();
    defer(x, "a", -1, false);
    defer(y, "b", -1, false);
    hox_host_forget(x);
    EXPECT_EQ(hox_host_run_queue(), 1);
    EXPECT_EQ(g_queue_log, std::vector<std::string>{"b"});
    Box* z = static_cast<Box*>(object_alloc(box_class()));  // freeing drops what it had queued
    defer(z, "gone", -1, false);
    object_free(z);
    EXPECT_EQ(hox_host_run_queue(), 0);
}

TEST_F(Host, QueueDrainsWorkQueuedWhileRunningAndAcceptsOtherThreads) {
    defer(x, "again", 3, false);
    EXPECT_EQ(hox_host_run_queue(), 4);
    EXPECT_EQ(x->runs, 4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([this] {
            for (int i = 0; i < 100; ++i) defer(y, "t", -1, false);
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(hox_host_run_queue(), 400);
    EXPECT_EQ(y->runs, 400);
}

TEST_F(Host, ConsoleLinesNameTheWrappingBox) {
    ConsoleCapture console;
    object_post(x, "device format set to: %s [%d x %d]", "YUY2", 640, 480);
    object_error(nullptr, "%s", std::string(600, 'w').c_str());  // longer than any fixed buffer
    hox_host_set_wrapping_box(y, x);
    vor_object_error(y, "could not render capture stream");
    for (t_hox_err e : {HOX_EROR, HOX_OMEM, HOX_SPRS, HOX_ERR_NONE}) vor_error_code(y, e);  // none for "no frame yet"
    ASSERT_EQ(console.lines.size(), 5u);
    EXPECT_EQ(console.lines[0].object, x);
    EXPECT_EQ(console.lines[0].kind, HOX_CONSOLE_POST);
    EXPECT_EQ(console.lines[0].text, "device format set to: YUY2 [640 x 480]");
    EXPECT_EQ(console.lines[1].object, nullptr);
    EXPECT_EQ(console.lines[1].text.size(), 600u);
    EXPECT_EQ(console.lines[2].object, x);  // the box that wraps y
    EXPECT_EQ(console.lines[2].kind, HOX_CONSOLE_ERROR);
    EXPECT_EQ(console.lines[3].object, x);
    EXPECT_EQ(console.lines[3].text + "/" + console.lines[4].text, "error code EROR/error code OMEM");
    object_free(x);  // the wrapping goes with the box
    x = nullptr;
    EXPECT_EQ(hox_host_wrapping_box(y), nullptr);
}

TEST(Paths, DefaultFolderJoinAndConform) {
    char full[MAX_PATH_CHARS];
    hox_host_set_default_folder(nullptr);
    ASSERT_EQ(path_topotentialname(path_getdefault(), "clip.avi", full, 0), 0);
    EXPECT_STREQ(full, "./clip.avi");
    hox_host_set_default_folder("/tmp/rec");
    ASSERT_EQ(path_topotentialname(path_getdefault(), "clip.avi", full, 0), 0);
    EXPECT_STREQ(full, "/tmp/rec/clip.avi");
    EXPECT_NE(path_topotentialname(999, "clip.avi", full, 0), 0);
    std::string longname(MAX_PATH_CHARS - std::strlen("/tmp/rec/"), 'n');  // one too many with the NUL
    EXPECT_NE(path_topotentialname(path_getdefault(), longname.c_str(), full, 0), 0);
    longname.pop_back();
    EXPECT_EQ(path_topotentialname(path_getdefault(), longname.c_str(), full, 0), 0);
    EXPECT_EQ(std::strlen(full), static_cast<std::size_t>(MAX_PATH_CHARS - 1));
    char conformed[MAX_PATH_CHARS];
    EXPECT_NE(path_nameconform(std::string(MAX_PATH_CHARS, 'x').c_str(), conformed, 0, 0), 0);
    hox_host_set_default_folder(nullptr);
}

TEST(Paths, SaveDialogAnswersOnceAndNamesFoldersAndTheWindowComesAndGoes) {
    char name[MAX_PATH_CHARS] = "untitled.avi";
    short path = 0;
    uint32_t type = 0;
    const uint32_t types[] = {0x41564920, 0x4d4f4f56};
    EXPECT_EQ(saveasdialog_extended(name, &path, &type, types, 2), 1);  // no answer: cancelled
    EXPECT_STREQ(name, "untitled.avi");
    hox_host_answer_save_dialog("/data/videos/take1.avi");
    ASSERT_EQ(saveasdialog_extended(name, &path, &type, types, 2), 0);
    EXPECT_STREQ(name, "take1.avi");
    EXPECT_EQ(type, types[0]);
    char full[MAX_PATH_CHARS];
    ASSERT_EQ(path_topotentialname(path, name, full, 0), 0);
    EXPECT_STREQ(full, "/data/videos/take1.avi");
    EXPECT_EQ(saveasdialog_extended(name, &path, &type, types, 2), 1);  // the answer was used up
    const short first = path;
    hox_host_answer_save_dialog("/data/videos/take2.avi");
    ASSERT_EQ(saveasdialog_extended(name, &path, &type, nullptr, 0), 0);
    EXPECT_EQ(path, first);  // the same folder keeps its id
    EXPECT_EQ(type, 0u);
    hox_host_answer_save_dialog("/data/other/take3.avi");
    ASSERT_EQ(saveasdialog_extended(name, &path, &type, nullptr, 0), 0);
    EXPECT_NE(path, first);
    hox_host_answer_save_dialog("/data/videos/take4.avi");
    hox_host_answer_save_dialog(nullptr);  // a cancel replaces the answer
    EXPECT_EQ(saveasdialog_extended(name, &path, &type, nullptr, 0), 1);
    hox_host_set_main_window(false);
    EXPECT_EQ(main_get_frame(), nullptr);
    hox_host_set_main_window(true);
    EXPECT_NE(main_get_frame(), nullptr);
}

TEST(Modules, LoadFailuresSayWhy) {
    char err[256] = "";
    EXPECT_NE(hox_host_load_module("libm.so.6", err, sizeof err), 0);  // a real library without ext_main
    EXPECT_NE(std::string(err).find("ext_main"), std::string::npos);
}
