// The grabber record: construction defaults, client messages, typed replies,
// the attribute setters with side effects and the output matrix relation.
#include "module/module_fixture.h"

#include "output/output.h"

namespace {

using Grabber = ModuleTest;

struct GrabberHandle {
    t_grabber* x;
    GrabberHandle(long w, long h, long d)
        : x(static_cast<t_grabber*>(vor_object_new(gensym("vor_grab_dx_imp"), w, h, d))) {}
    ~GrabberHandle() { vor_object_free(x); }
};

TEST_F(Grabber, SizesAndAdaptFromTheArguments) {
    {
        GrabberHandle g(0, 0, 0);
        ASSERT_NE(g.x, nullptr);
        EXPECT_EQ(g.x->adapt, 1);
        EXPECT_EQ(g.x->outdim[0], 320);
        EXPECT_EQ(g.x->outdim[1], 240);
        EXPECT_EQ(g.x->resolution[0], 320);
        EXPECT_EQ(g.x->resolution[1], 240);
        const int32_t rect[4] = {0, 0, 320, 240};
        EXPECT_TRUE(std::equal(rect, rect + 4, g.x->srcrect));
        EXPECT_TRUE(std::equal(rect, rect + 4, g.x->dstrect));
    }
    {
        GrabberHandle g(640, 480, 2);
        EXPECT_EQ(g.x->adapt, 0);
        EXPECT_EQ(g.x->outdim[0], 640);
        EXPECT_EQ(g.x->resolution[1], 480);
        EXPECT_EQ(g.x->dstrect[3], 480);
        EXPECT_EQ(g.x->vdevice, 2);
    }
    {
        GrabberHandle g(-5, 0, 0);
        EXPECT_EQ(g.x->adapt, 0);
        EXPECT_EQ(g.x->outdim[0], 320);
        EXPECT_EQ(g.x->outdim[1], 240);
    }
}

TEST_F(Grabber, TheFrameMatrixRefersToDataAndOwnsNone) {
    GrabberHandle g(0, 0, 0);
    ASSERT_NE(g.x->framematrix, nullptr);
    t_vor_matrix_info info = info_of(g.x->framematrix);
    EXPECT_EQ(info.flags & VOR_MATRIX_DATA_REFERENCE, VOR_MATRIX_DATA_REFERENCE);
    EXPECT_EQ(info.size, 0);
    void* data = reinterpret_cast<void*>(1);
    vor_object_method(g.x->framematrix, _vor_sym_getdata, &data);
    EXPECT_EQ(data, nullptr);
    EXPECT_TRUE(console.empty()) << "no device was opened";
}

// A client that records what the grabber sends it.
struct Recorder {
    t_object ob;
};
std::vector<std::string>* g_notes;

t_hox_err recorder_notify(Recorder*, t_symbol*, t_symbol* msg, void*, void* data) {
    std::string line = msg->s_name;
    if (data) {
        long ac = 0;
        t_atom* av = nullptr;
        object_getvalueof(data, &ac, &av);
        line += " [" + atoms_text(ac, av) + "]";
        sysmem_freeptr(av);
    }
    g_notes->push_back(line);
    return 0;
}

TEST_F(Grabber, NotifyClientSendsPlainOrTypedMessages) {
    static t_class* recorder_class = [] {
        t_class* c = class_new("test_recorder", nullptr, nullptr, sizeof(Recorder), nullptr, A_CANT, 0);
        class_addmethod(c, HOXFN(recorder_notify), "notify", A_CANT, 0);
        class_register(gensym("nobox"), c);
        return c;
    }();
    std::vector<std::string> notes;
    g_notes = &notes;
    GrabberHandle g(0, 0, 0);
    t_symbol* name = vor_symbol_unique();
    ASSERT_EQ(vor_object_register(g.x, name), g.x);
    void* client = object_alloc(recorder_class);
    vor_object_attach(name, client);

    notify_client(g.x, gensym("device_format"), 0, nullptr);
    t_atom args[2];
    atom_setsym(&args[0], gensym("/tmp/a.avi"));
    atom_setlong(&args[1], 1);
    notify_client(g.x, gensym("write"), 2, args);

    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0], "device_format");
    EXPECT_EQ(notes[1], "typedmess [write /tmp/a.avi 1]");
    vor_object_detach(name, client);
    object_free(client);
}

TEST_F(Grabber, CloseWhenClosedAnswersErrorWithoutReply) {
    GrabberHandle g(0, 0, 0);
    t_atom rv{};
    EXPECT_EQ(object_method_typed(g.x, gensym("close"), 0, nullptr, &rv), HOX_EROR);
    EXPECT_EQ(atom_getobj(&rv), nullptr);
    // Lists need an open device; `write` with nothing open replies 1 and
    // records nothing.
    for (const char* name : {"getformatlist", "getinputlist"}) {
        t_atom r{};
        EXPECT_EQ(object_method_typed(g.x, gensym(name), 0, nullptr, &r), HOX_EROR) << name;
        EXPECT_EQ(atom_getobj(&r), nullptr) << name;
    }
    t_atom w{};
    ASSERT_EQ(object_method_typed(g.x, gensym("write"), 0, nullptr, &w), HOX_ERR_NONE);
    auto* reply = static_cast<t_atomarray*>(atom_getobj(&w));
    ASSERT_NE(reply, nullptr);
    t_atom first{};
    ASSERT_EQ(atomarray_getsize(reply), 1);
    atomarray_getindex(reply, 0, &first);
    EXPECT_EQ(atom_getlong(&first), 1);
    EXPECT_EQ(g.x->write_name, _vor_sym__none_);
    object_free(reply);
}

TEST_F(Grabber, UniqueAndDropreportStoreAFlagAndRestartTheCount) {
    GrabberHandle g(0, 0, 0);
    for (const char* name : {"unique", "dropreport"}) {
        SCOPED_TRACE(name);
        dropped_ref(g.x).store(7);
        object_attr_setlong(g.x, gensym(name), 5);
        EXPECT_EQ(object_attr_getlong(g.x, gensym(name)), 1);
        EXPECT_EQ(dropped_ref(g.x).load(), 0);
        dropped_ref(g.x).store(3);
        object_attr_setlong(g.x, gensym(name), 0);
        EXPECT_EQ(object_attr_getlong(g.x, gensym(name)), 0);
        EXPECT_EQ(dropped_ref(g.x).load(), 0);
        // An empty value changes nothing.
        dropped_ref(g.x).store(3);
        object_attr_setvalueof(g.x, gensym(name), 0, nullptr);
        EXPECT_EQ(dropped_ref(g.x).load(), 3);
    }
}

TEST_F(Grabber, OutputTextureChangeAsksForNewGeometry) {
    GrabberHandle g(0, 0, 0);
    object_attr_setlong(g.x, gensym("output_texture"), 0);
    EXPECT_EQ(g.x->outchange, OUTCHANGE_NONE);
    object_attr_setlong(g.x, gensym("output_texture"), 1);
    EXPECT_EQ(g.x->output_texture, 1);
    EXPECT_EQ(g.x->outchange, OUTCHANGE_GEOMETRY);
    // The texture object itself holds the attribute's value.
    EXPECT_EQ(object_attr_getlong(g.x->texture, gensym("output_texture")), 1);
    g.x->outchange = OUTCHANGE_NONE;
    object_attr_setlong(g.x, gensym("output_texture"), 1);
    EXPECT_EQ(g.x->outchange, OUTCHANGE_NONE);
}

TEST_F(Grabber, FollowsTheSizeTheUserGivesTheAttachedMatrix) {
    GrabberHandle g(0, 0, 0);
    t_vor_matrix_info info;
    vor_matrix_info_default(&info);
    void* first = vor_object_new(_vor_sym_vor_matrix, &info);
    void* second = vor_object_new(_vor_sym_vor_matrix, &info);

    grabber_attach(g.x, first);
    t_symbol* first_name = g.x->attached;
    EXPECT_EQ(first_name, vor_object_findregisteredbyptr(first));
    grabber_attach(g.x, first);
    EXPECT_EQ(g.x->attached, first_name);

    info.dim[0] = 160;
    info.dim[1] = 120;
    vor_object_method(first, _vor_sym_setinfo, &info);
    EXPECT_EQ(g.x->outdim[0], 160);
    EXPECT_EQ(g.x->resolution[1], 120);
    EXPECT_EQ(g.x->outchange, OUTCHANGE_GEOMETRY);

    // Its own resizing is ignored.
    g.x->outchange = OUTCHANGE_NONE;
    g.x->selfresize = 1;
    info.dim[0] = 80;
    vor_object_method(first, _vor_sym_setinfo, &info);
    EXPECT_EQ(g.x->outdim[0], 160);
    EXPECT_EQ(g.x->outchange, OUTCHANGE_NONE);
    g.x->selfresize = 0;

    // Moving to another matrix stops notifications from the first.
    grabber_attach(g.x, second);
    EXPECT_EQ(g.x->attached, vor_object_findregisteredbyptr(second));
    info.dim[0] = 40;
    vor_object_method(first, _vor_sym_setinfo, &info);
    EXPECT_EQ(g.x->outdim[0], 160);

    vor_object_free(second);
    EXPECT_EQ(g.x->outchange, OUTCHANGE_GEOMETRY);
    vor_object_free(first);
}

TEST_F(Grabber, ClearTakesEffectOnceAtTheNextOutput) {
    GrabberHandle g(0, 0, 0);
    t_vor_matrix_info info;
    vor_matrix_info_default(&info);
    info.dim[0] = 4;
    info.dim[1] = 2;
    void* out = vor_object_new(_vor_sym_vor_matrix, &info);
    g.x->colormode = gensym("uyvy");
    object_send(g.x, gensym("clear"), 0, nullptr);
    hox_host_run_queue();
    EXPECT_EQ(g.x->clearflag, 1);

    auto cell = [](void* m, int i) {
        t_vor_matrix_info mi{};
        vor_object_method(m, _vor_sym_getinfo, &mi);
        unsigned char* data = nullptr;
        vor_object_method(m, _vor_sym_getdata, &data);
        unsigned char* p = data + i * mi.dimstride[0];
        return std::vector<int>{p[0], p[1], p[2], p[3]};
    };
    output_clear(g.x, out);
    const std::vector<int> black{0x80, 0x10, 0x80, 0x10};
    EXPECT_EQ(cell(out, 5), black);
    EXPECT_EQ(cell(g.x->convmatrix[0], 0), black);
    EXPECT_EQ(cell(g.x->convmatrix[1], 0), black);
    EXPECT_EQ(g.x->clearflag, 0);

    vor_object_method(out, _vor_sym_fillplane, 1L, 99L);
    output_clear(g.x, out);
    EXPECT_EQ(cell(out, 5)[1], 99);
    vor_object_free(out);
}

}  // namespace
