// The host around objects: queue, console, outlets, paths and the save
// dialog, file usage, mutexes, module loading and the matrix runtime's
// small helpers.
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

struct OutletEvent {
    void* owner;
    long index;
    bool dump;
    std::string text;
};

void outlet_sink(void* ctx, void* owner, long index, bool dump, t_symbol* s, long ac, t_atom* av) {
    std::string text = s->s_name;
    for (long i = 0; i < ac; ++i) {
        char buf[64];
        hox_atom_format(av + i, buf, sizeof buf);
        text += std::string(" ") + buf;
    }
    static_cast<std::vector<OutletEvent>*>(ctx)->push_back({owner, index, dump, text});
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
    Box* x = nullptr;
    Box* y = nullptr;
};

}  // namespace

TEST_F(Host, QueueRunsInOrderUsurpsAndForgets) {
    t_atom one = long_atom(1), two = long_atom(2);
    hox_host_defer(x, HOXFN(queued), gensym("a"), 1, &one, false);
    hox_host_defer(y, HOXFN(queued), gensym("u"), 1, &one, true);
    hox_host_defer(x, HOXFN(queued), gensym("u"), 1, &one, true);
    hox_host_defer(x, HOXFN(queued), gensym("a"), 1, &two, false);  // defer keeps both
    hox_host_defer(x, HOXFN(queued), gensym("u"), 1, &two, true);   // usurp replaces x's waiting "u"
    atom_setlong(&two, 99);  // the queue copied the atoms
    EXPECT_EQ(hox_host_run_queue(), 4);
    EXPECT_EQ(g_queue_log, (std::vector<std::string>{"a 1", "u 1", "u 2", "a 2"}));

    g_queue_log.clear();
    hox_host_defer(x, HOXFN(queued), gensym("a"), 0, nullptr, false);
    hox_host_defer(y, HOXFN(queued), gensym("b"), 0, nullptr, false);
    hox_host_forget(x);
    EXPECT_EQ(hox_host_run_queue(), 1);
    EXPECT_EQ(g_queue_log, std::vector<std::string>{"b"});

    // Freeing an object drops what it still had queued.
    Box* z = static_cast<Box*>(object_alloc(box_class()));
    hox_host_defer(z, HOXFN(queued), gensym("gone"), 0, nullptr, false);
    object_free(z);
    EXPECT_EQ(hox_host_run_queue(), 0);
}

TEST_F(Host, QueueDrainsWorkQueuedWhileRunningAndAcceptsOtherThreads) {
    t_atom three = long_atom(3);
    hox_host_defer(x, HOXFN(queued), gensym("again"), 1, &three, false);
    EXPECT_EQ(hox_host_run_queue(), 4);
    EXPECT_EQ(x->runs, 4);

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([this] {
            for (int i = 0; i < 100; ++i) hox_host_defer(y, HOXFN(queued), gensym("t"), 0, nullptr, false);
        });
    long ran = 0;
    for (auto& th : threads) th.join();
    ran += hox_host_run_queue();
    EXPECT_EQ(ran, 400);
    EXPECT_EQ(y->runs, 400);
}

TEST_F(Host, ConsoleLinesAndWrappedObjects) {
    ConsoleCapture console;
    object_post(x, "device format set to: %s [%d x %d]", "YUY2", 640, 480);
    object_error(nullptr, "%s", std::string(600, 'w').c_str());  // longer than any fixed buffer
    hox_host_set_wrapping_box(y, x);
    EXPECT_EQ(hox_host_wrapping_box(y), x);
    vor_object_error(y, "could not render capture stream");
    vor_object_post(x, "no hwnd");
    vor_error_code(y, HOX_EROR);
    vor_error_code(y, HOX_OMEM);
    vor_error_code(y, HOX_SPRS);  // nothing for "no frame yet"
    vor_error_code(y, HOX_ERR_NONE);
    ASSERT_EQ(console.lines.size(), 6u);
    EXPECT_EQ(console.lines[0].object, x);
    EXPECT_EQ(console.lines[0].kind, HOX_CONSOLE_POST);
    EXPECT_EQ(console.lines[0].text, "device format set to: YUY2 [640 x 480]");
    EXPECT_EQ(console.lines[1].object, nullptr);
    EXPECT_EQ(console.lines[1].text.size(), 600u);
    EXPECT_EQ(console.lines[2].object, x);  // the box that wraps y
    EXPECT_EQ(console.lines[2].kind, HOX_CONSOLE_ERROR);
    EXPECT_EQ(console.lines[2].text, "could not render capture stream");
    EXPECT_EQ(console.lines[3].kind, HOX_CONSOLE_POST);
    EXPECT_EQ(console.lines[4].text, "error code EROR");
    EXPECT_EQ(console.lines[4].object, x);
    EXPECT_EQ(console.lines[5].text, "error code OMEM");

    object_free(x);  // the wrapping goes with the box
    x = nullptr;
    EXPECT_EQ(hox_host_wrapping_box(y), nullptr);
}

TEST_F(Host, OutletsReportOwnerIndexAndDump) {
    std::vector<OutletEvent> events;
    hox_host_set_outlet_sink(&outlet_sink, &events);
    t_outlet* out = outlet_new(x, nullptr);
    t_outlet* dump = outlet_new(x, nullptr);
    t_outlet* other = outlet_new(y, "vor_matrix");
    hox_host_outlet_set_dump(dump);
    t_atom args[2] = {sym_atom("Virtual Camera"), long_atom(1)};
    outlet_anything(out, gensym("vor_matrix"), 1, args);
    outlet_anything(dump, gensym("open"), 2, args);
    outlet_anything(other, gensym("bang"), 0, nullptr);
    hox_host_set_outlet_sink(nullptr, nullptr);
    outlet_anything(out, gensym("lost"), 0, nullptr);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].owner, x);
    EXPECT_EQ(events[0].index, 0);
    EXPECT_FALSE(events[0].dump);
    EXPECT_EQ(events[0].text, "vor_matrix \"Virtual Camera\"");
    EXPECT_EQ(events[1].index, 1);
    EXPECT_TRUE(events[1].dump);
    EXPECT_EQ(events[1].text, "open \"Virtual Camera\" 1");
    EXPECT_EQ(events[2].owner, y);
    EXPECT_EQ(events[2].index, 0);
}

TEST(Paths, DefaultFolderJoinAndConform) {
    char full[MAX_PATH_CHARS];
    hox_host_set_default_folder(nullptr);
    EXPECT_STREQ(hox_host_default_folder(), ".");
    ASSERT_EQ(path_topotentialname(path_getdefault(), "clip.avi", full, 0), 0);
    EXPECT_STREQ(full, "./clip.avi");
    hox_host_set_default_folder("/tmp/rec");
    EXPECT_EQ(path_getdefault(), 1);
    EXPECT_STREQ(hox_host_folder_path(1), "/tmp/rec");
    ASSERT_EQ(path_topotentialname(1, "clip.avi", full, 0), 0);
    EXPECT_STREQ(full, "/tmp/rec/clip.avi");
    EXPECT_NE(path_topotentialname(999, "clip.avi", full, 0), 0);
    EXPECT_EQ(hox_host_folder_path(999), nullptr);

    std::string longname(MAX_PATH_CHARS - std::strlen("/tmp/rec/"), 'n');  // one too many with the NUL
    EXPECT_NE(path_topotentialname(1, longname.c_str(), full, 0), 0);
    longname.pop_back();
    EXPECT_EQ(path_topotentialname(1, longname.c_str(), full, 0), 0);
    EXPECT_EQ(std::strlen(full), static_cast<std::size_t>(MAX_PATH_CHARS - 1));

    char conformed[MAX_PATH_CHARS];
    ASSERT_EQ(path_nameconform("/tmp/rec/clip.avi", conformed, 0, 0), 0);
    EXPECT_STREQ(conformed, "/tmp/rec/clip.avi");
    std::string too_long(MAX_PATH_CHARS, 'x');
    EXPECT_NE(path_nameconform(too_long.c_str(), conformed, 0, 0), 0);
    hox_host_set_default_folder(nullptr);
}

TEST(Paths, SaveDialogAnswersOnceAndNamesFolders) {
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
    EXPECT_STREQ(hox_host_folder_path(path), "/data/videos");
    char full[MAX_PATH_CHARS];
    ASSERT_EQ(path_topotentialname(path, name, full, 0), 0);
    EXPECT_STREQ(full, "/data/videos/take1.avi");
    EXPECT_EQ(saveasdialog_extended(name, &path, &type, types, 2), 1);  // the answer was used up

    short first = path;
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
}

TEST(HostWindow, MainFrameFollowsTheWindow) {
    EXPECT_NE(main_get_frame(), nullptr);
    hox_host_set_main_window(false);
    EXPECT_EQ(main_get_frame(), nullptr);
    hox_host_set_main_window(true);
    EXPECT_NE(main_get_frame(), nullptr);
}

TEST(FileUsage, PackagesAndFiles) {
    void* w = hox_fileusage_new();
    ASSERT_NE(w, nullptr);
    t_atom subs[3] = {sym_atom("extensions"), sym_atom("externals"), sym_atom("support")};
    fileusage_addpackage(w, "ZUNDRA", atomarray_new(3, subs));  // the collector takes the array
    fileusage_addfilename(w, 0, "vor.dx.grab");
    ASSERT_EQ(hox_fileusage_count(w), 2);
    EXPECT_STREQ(hox_fileusage_entry(w, 0), "package ZUNDRA extensions externals support");
    EXPECT_STREQ(hox_fileusage_entry(w, 1), "file vor.dx.grab");
    EXPECT_EQ(hox_fileusage_entry(w, 2), nullptr);
    hox_fileusage_free(w);
}

TEST(Mutex, ExcludesAcrossThreads) {
    t_systhread_mutex m = nullptr;
    ASSERT_EQ(systhread_mutex_new(&m, 0), 0);
    ASSERT_NE(m, nullptr);
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                systhread_mutex_lock(m);
                long v = counter;
                counter = v + 1;
                systhread_mutex_unlock(m);
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(counter, 40000);
    EXPECT_EQ(systhread_mutex_free(m), 0);
}

TEST(Modules, LoadFailuresSayWhy) {
    char err[256] = "";
    EXPECT_NE(hox_host_load_module("/nonexistent/vor.dx.grab.kpx64", err, sizeof err), 0);
    EXPECT_NE(std::string(err), "");
    // A real library without ext_main.
    err[0] = '\0';
    EXPECT_NE(hox_host_load_module("libm.so.6", err, sizeof err), 0);
    EXPECT_NE(std::string(err).find("ext_main"), std::string::npos);
}

TEST(VorRuntime, SymbolsAndNamespaces) {
    EXPECT_EQ(_vor_sym_nothing, gensym(""));
    EXPECT_EQ(_vor_sym__none_, gensym("_none_"));
    EXPECT_EQ(_vor_sym_float32, gensym("float32"));
    EXPECT_EQ(_vor_sym_vor_attr_offset_array, gensym("vor_attr_offset_array"));
    EXPECT_EQ(_vor_sym_export_image_surface, gensym("export_image_surface"));

    t_class* c = vor_class_new(unique_class_name("nobox_only").c_str(), nullptr, nullptr, sizeof(t_object), A_CANT, 0);
    ASSERT_EQ(vor_class_register(c), HOX_ERR_NONE);
    EXPECT_EQ(vor_class_findbyname(class_nameget(c)), c);
    EXPECT_EQ(class_findbyname(gensym("nobox"), class_nameget(c)), c);
    EXPECT_EQ(class_findbyname(gensym("box"), class_nameget(c)), nullptr);
    void* x = vor_object_new(class_nameget(c));
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(object_class(x), c);
    vor_object_free(x);

    int adornment_stand_in;
    EXPECT_EQ(hox_class_adornment(c), nullptr);
    vor_class_addadornment(c, reinterpret_cast<t_object*>(&adornment_stand_in));
    EXPECT_EQ(hox_class_adornment(c), reinterpret_cast<t_object*>(&adornment_stand_in));
}

TEST(VorRuntime, ArgumentReadersLeaveTheResultOnFailure) {
    t_atom av[3] = {long_atom(640), float_atom(2.5), sym_atom("cam")};
    t_atom_long l = -1;
    float f = -1;
    t_symbol* s = nullptr;
    EXPECT_EQ(vor_atom_arg_getlong(&l, 0, 3, av), HOX_ERR_NONE);
    EXPECT_EQ(l, 640);
    EXPECT_EQ(vor_atom_arg_getlong(&l, 1, 3, av), HOX_ERR_NONE);
    EXPECT_EQ(l, 2);
    EXPECT_EQ(vor_atom_arg_getfloat(&f, 0, 3, av), HOX_ERR_NONE);
    EXPECT_FLOAT_EQ(f, 640.0f);
    EXPECT_EQ(vor_atom_arg_getsym(&s, 2, 3, av), HOX_ERR_NONE);
    EXPECT_EQ(s, gensym("cam"));

    l = 7;
    f = 7;
    s = gensym("kept");
    EXPECT_EQ(vor_atom_arg_getlong(&l, 2, 3, av), HOX_EROR);
    EXPECT_EQ(vor_atom_arg_getlong(&l, 3, 3, av), HOX_EROR);
    EXPECT_EQ(vor_atom_arg_getlong(&l, -1, 3, av), HOX_EROR);
    EXPECT_EQ(vor_atom_arg_getlong(&l, 0, 0, nullptr), HOX_EROR);
    EXPECT_EQ(vor_atom_arg_getfloat(&f, 2, 3, av), HOX_EROR);
    EXPECT_EQ(vor_atom_arg_getsym(&s, 0, 3, av), HOX_EROR);
    EXPECT_EQ(l, 7);
    EXPECT_FLOAT_EQ(f, 7.0f);
    EXPECT_EQ(s, gensym("kept"));

    t_atom a;
    vor_atom_setfloat(&a, 1.75);
    EXPECT_EQ(vor_atom_getlong(&a), 1);
    vor_atom_setsym(&a, gensym("q"));
    EXPECT_EQ(vor_atom_getsym(&a), gensym("q"));
    EXPECT_DOUBLE_EQ(vor_atom_getfloat(&a), 0.0);
}
