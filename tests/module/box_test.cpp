// The box as a patch sees it: creation arguments, output, the dump outlet,
// client messages, image export and assistance.
#include "module/module_fixture.h"

namespace {

using Box = ModuleTest;

TEST_F(Box, CreationArgumentsSizeTheOutput) {
    struct Case {
        const char* args;
        int width, height;
    } cases[] = {{"", 320, 240}, {"640 480", 640, 480}, {"foo 480", 320, 480}, {"@adapt 0", 320, 240}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        void* box = new_box(c.args);
        ASSERT_NE(box, nullptr);
        t_vor_matrix_info info = info_of(output_of(box));
        EXPECT_EQ(info.type, _vor_sym_char);
        EXPECT_EQ(info.planecount, 4);
        EXPECT_EQ(info.dimcount, 2);
        EXPECT_EQ(info.dim[0], c.width);
        EXPECT_EQ(info.dim[1], c.height);
        EXPECT_EQ(info.flags, 0);
    }
    EXPECT_TRUE(console.empty());
}

TEST_F(Box, AttributeArgumentsReachTheGrabberButOptimizeEndsOn) {
    void* box = new_box("640 480 @optimize 0 @interp 1 @srcrect 1 2 3 4");
    t_grabber* g = grabber_of(box);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->optimize, 1);
    EXPECT_EQ(g->interp, 1);
    const int32_t rect[4] = {1, 2, 3, 4};
    EXPECT_TRUE(std::equal(rect, rect + 4, g->srcrect));
    EXPECT_EQ(g->adapt, 0);
    // The grabber is registered, attached to the output and followed by the box.
    EXPECT_NE(vor_object_findregisteredbyptr(g), nullptr);
    EXPECT_EQ(g->attached, vor_object_findregisteredbyptr(vor_object_method(output_of(box), _vor_sym_getmatrix)));

    new_box("@nosuchattr 3");
    ASSERT_EQ(console.size(), 1u);
    EXPECT_EQ(console[0], "error: no attribute 'nosuchattr'");
}

TEST_F(Box, OutputmodeZeroSilencesBang) {
    void* box = new_box("@outputmode 0");
    send(box, "bang");
    EXPECT_TRUE(out.empty());
    send(box, "getoutputmode");
    ASSERT_EQ(dump.size(), 1u);
    EXPECT_EQ(dump[0], "outputmode 0");
    send(box, "outputmode 1");
    send(box, "bang");
    EXPECT_EQ(out.size(), 1u);
    EXPECT_TRUE(console.empty());
}

TEST_F(Box, TextureModeSendsTheTextureName) {
    void* box = new_box();
    send(box, "output_texture 1");
    send(box, "bang");
    ASSERT_EQ(out.size(), 1u);
    t_symbol* name = object_attr_getsym(grabber_of(box), gensym("texture_name"));
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(out[0], std::string("vor_gl_texture ") + name->s_name);
}

TEST_F(Box, TypedRepliesAndUnansweredMethods) {
    void* box = new_box();
    send(box, "close");  // not open: no reply, no message
    EXPECT_TRUE(dump.empty());
    EXPECT_TRUE(console.empty());
    send(box, "getsnddevlist");
    ASSERT_EQ(console.size(), 1u);
    EXPECT_EQ(console[0], "error: no method for 'getsnddevlist'");
    send(box, "frobnicate 1 2");
    ASSERT_EQ(console.size(), 2u);
    EXPECT_EQ(console[1], "error: no method for 'frobnicate'");
}

TEST_F(Box, ClientMessagesWithArgumentsReachTheDumpOutlet) {
    void* box = new_box();
    t_grabber* g = grabber_of(box);
    t_atom a;
    atom_setlong(&a, 2);
    notify_client(g, gensym("dropped"), 1, &a);
    notify_client(g, gensym("device_format"), 0, nullptr);
    ASSERT_EQ(dump.size(), 1u);
    EXPECT_EQ(dump[0], "dropped 2");
}

TEST_F(Box, FreeingTheBoxLeavesNoClientBehind) {
    void* box = new_box();
    t_symbol* grabber_name = vor_object_findregisteredbyptr(grabber_of(box));
    ASSERT_NE(grabber_name, nullptr);
    object_free(box);
    forget_box(box);
    EXPECT_EQ(vor_object_findregistered(grabber_name), nullptr);
    EXPECT_TRUE(console.empty());
}

}  // namespace
