// Bitmaps, the texture class, and PNG export of matrices and textures. The
// PNG files are read back with libpng's own decoder.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "matrix_test_util.h"

namespace {


// A PNG file as read back by libpng: "WxH" (and " alpha" when it has an
// alpha channel), then RGBA bytes; empty when it cannot be read.
struct Png {
    std::string size;
    std::vector<uint8_t> rgba;
    std::vector<uint8_t> pixel(uint32_t i) const { return {rgba.begin() + 4 * i, rgba.begin() + 4 * i + 4}; }
};

Png read_png(const std::string& path) {
    Png out;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return out;
    const bool alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    image.format = PNG_FORMAT_RGBA;
    out.rgba.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr))
        out.size = std::to_string(image.width) + "x" + std::to_string(image.height) + (alpha ? " alpha" : "");
    png_image_free(&image);
    return out;
}

// A scratch folder made the host's default folder for one test.
class ExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/vor_export_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        const char* prev = hox_host_default_folder();
        previous = prev ? prev : "";
        hox_host_set_default_folder(dir.c_str());
    }
    void TearDown() override {
        hox_host_set_default_folder(previous.c_str());
        for (void* o : made) vor_object_free(o);
        for (const std::string& f : files) unlink(f.c_str());
        rmdir(dir.c_str());
    }
    t_hox_err export_to(void* x, const char* name) {
        t_atom a[1];
        atom_setsym(a, gensym(name));
        files.push_back(name[0] == '/' ? name : dir + "/" + name);
        return call(x, "export_image_surface", 1L, a);
    }
    void* keep(void* o) {
        EXPECT_NE(o, nullptr);
        made.push_back(o);
        return o;
    }
    std::string dir, previous;
    std::vector<void*> made;
    std::vector<std::string> files;
};

// What a drawn texture reports is shown by the capture-texture transcript;
// here the bitmap lock and a bottom-up geometry, which it does not show.
TEST(Texture, BitmapsLockOnceAndKeepTheirRowOrder) {
    t_vor_bitmap* b = vor_bitmap_new(320, -240, 1280, 0);
    ASSERT_NE(b, nullptr);
    std::vector<uint8_t> frame(320 * 240 * 4, 9);
    EXPECT_EQ(vor_bitmap_setdata(b, frame.data()), HOX_ERR_NONE);
    EXPECT_EQ(vor_bitmap_lock(b), frame.data());
    EXPECT_EQ(vor_bitmap_release(b), HOX_ERR_NONE);
    EXPECT_EQ(vor_bitmap_release(b), HOX_EROR);  // not locked any more
    void* t = vor_object_new(gensym("vor_gl_video_texture"), static_cast<void*>(nullptr));
    ASSERT_NE(t, nullptr);
    t_symbol* name = vor_attr_getsym(t, gensym("texture_name"));
    ASSERT_NE(name, nullptr);
    ASSERT_EQ(call(t, "submit_bitmap", b), HOX_ERR_NONE);
    t_vor_texture_state st{};
    ASSERT_EQ(vor_texture_state(t, &st), HOX_ERR_NONE);
    EXPECT_EQ(st.height, -240);
    EXPECT_EQ(call(t, "submit_bitmap", static_cast<t_vor_bitmap*>(nullptr)), HOX_EROR);
    vor_bitmap_free(b);
    vor_object_free(t);
    EXPECT_EQ(vor_object_findregistered(name), nullptr);
}

TEST_F(ExportTest, MatrixBecomesAnRgbaPngInTheDefaultFolderOrWhereNamed) {
    const t_vor_matrix_info info = shape(3, 2);
    void* m = keep(vor_object_new(gensym("vor_matrix"), &info));
    uint8_t* cells = data_of(m);
    for (int c = 0; c < 6; ++c) {  // A, R, G, B
        const uint8_t argb[4] = {static_cast<uint8_t>(200 + c), static_cast<uint8_t>(10 * c),
                                 static_cast<uint8_t>(10 * c + 1), static_cast<uint8_t>(10 * c + 2)};
        std::memcpy(cells + 4 * c, argb, 4);
    }
    ASSERT_EQ(export_to(m, "frame.png"), HOX_ERR_NONE);
    Png png = read_png(dir + "/frame.png");
    EXPECT_EQ(png.size, "3x2 alpha");
    EXPECT_EQ(png.pixel(0), (std::vector<uint8_t>{0, 1, 2, 200}));
    EXPECT_EQ(png.pixel(2), (std::vector<uint8_t>{20, 21, 22, 202}));
    EXPECT_EQ(png.pixel(4), (std::vector<uint8_t>{40, 41, 42, 204}));
    ASSERT_EQ(call(m, "clear_custom", 0xFF102030L), HOX_ERR_NONE);
    const std::string path = dir + "/absolute.png";
    ASSERT_EQ(export_to(m, path.c_str()), HOX_ERR_NONE);
    png = read_png(path);
    EXPECT_EQ(png.size, "3x2 alpha");
    EXPECT_EQ(png.pixel(5), (std::vector<uint8_t>{0x10, 0x20, 0x30, 0xFF}));
}

TEST_F(ExportTest, RefusesWhatItCannotWrite) {
    void* m = keep(vor_object_new(gensym("vor_matrix"), nullptr));
    EXPECT_EQ(call(m, "export_image_surface", 0L, static_cast<t_atom*>(nullptr)), HOX_EROR);
    EXPECT_EQ(export_to(m, "no_such_folder/x.png"), HOX_EROR);
    const t_vor_matrix_info three = shape(1, 1, 3);
    EXPECT_EQ(export_to(keep(vor_object_new(gensym("vor_matrix"), &three)), "three.png"), HOX_EROR);
    EXPECT_NE(access((dir + "/three.png").c_str(), F_OK), 0);
    void* t = keep(vor_object_new(gensym("vor_gl_video_texture"), static_cast<void*>(nullptr)));
    EXPECT_EQ(export_to(t, "never_drawn.png"), HOX_EROR);
}

TEST_F(ExportTest, TextureExportsTheDrawnPixelsUprightEvenIfTheBufferChangedSince) {
    struct Case {
        const char* what;
        int32_t width, pitch, format;
        std::vector<uint8_t> frame;   // two rows
        std::vector<uint8_t> pixels;  // RGBA, top row first
    };
    const std::vector<Case> cases = {
        // argb, bottom row first, 4 bytes of row padding: b, g, r, x.
        {"argb", 2, 12, 8,
         {1, 2, 3, 0, 4, 5, 6, 0, 0xEE, 0xEE, 0xEE, 0xEE, 7, 8, 9, 0, 10, 11, 12, 0, 0xEE, 0xEE, 0xEE, 0xEE},
         {9, 8, 7, 255, 12, 11, 10, 255, 3, 2, 1, 255, 6, 5, 4, 255}},
        // uyvy, pitch of the 4-byte texture rows as a grabber gives it: white,
        // black, a saturated red pair; then a video-black row.
        {"uyvy", 4, 16, 3, {128, 235, 128, 16, 90, 81, 240, 81, 128, 16, 128, 16, 128, 16, 128, 16},
         {255, 255, 255, 255, 0, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255,
          0, 0, 0, 255, 0, 0, 0, 255}},
    };
    for (Case c : cases) {
        void* t = keep(vor_object_new(gensym("vor_gl_video_texture"), static_cast<void*>(nullptr)));
        t_vor_bitmap* b = vor_bitmap_new(c.width, 2, c.pitch, 0);
        vor_bitmap_setdata(b, c.frame.data());
        b->format = c.format;
        ASSERT_EQ(call(t, "submit_bitmap", b), HOX_ERR_NONE);
        std::fill(c.frame.begin(), c.frame.end(), uint8_t{0x55});  // a capture thread writes the next frame
        ASSERT_EQ(call(t, "draw_texture"), HOX_ERR_NONE);
        ASSERT_EQ(export_to(t, (std::string(c.what) + ".png").c_str()), HOX_ERR_NONE);
        const Png png = read_png(dir + "/" + c.what + ".png");
        EXPECT_EQ(png.size, std::to_string(c.width) + "x2 alpha") << c.what;
        EXPECT_EQ(png.rgba, c.pixels) << c.what;
        // Cleared: black, still opaque.
        ASSERT_EQ(call(t, "clear_texture"), HOX_ERR_NONE);
        ASSERT_EQ(export_to(t, "cleared.png"), HOX_ERR_NONE);
        EXPECT_EQ(read_png(dir + "/cleared.png").pixel(1), (std::vector<uint8_t>{0, 0, 0, 255})) << c.what;
        vor_bitmap_free(b);
    }
}

}  // namespace
