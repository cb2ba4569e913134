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

#include "hoxhost.h"

namespace {

t_hox_err call(void* x, const char* m) {
    return static_cast<t_hox_err>(reinterpret_cast<intptr_t>(vor_object_method(x, gensym(m))));
}
template <class A, class... B>
t_hox_err call(void* x, const char* m, A a, B... b) {
    return static_cast<t_hox_err>(reinterpret_cast<intptr_t>(vor_object_method(x, gensym(m), a, b...)));
}

// ---------------------------------------------------------------- PNG reading

struct Png {
    bool ok = false;
    uint32_t width = 0, height = 0;
    bool has_alpha = false;
    std::vector<uint8_t> rgba;
    std::vector<uint8_t> pixel(uint32_t x, uint32_t y) const {
        const uint8_t* p = rgba.data() + 4 * (y * width + x);
        return {p[0], p[1], p[2], p[3]};
    }
};

Png read_png(const std::string& path) {
    Png out;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return out;
    out.has_alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    image.format = PNG_FORMAT_RGBA;
    out.width = image.width;
    out.height = image.height;
    out.rgba.resize(PNG_IMAGE_SIZE(image));
    out.ok = png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr) != 0;
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

// ---------------------------------------------------------------- bitmaps

TEST(Bitmap, KeepsItsGeometryAndCountsLocks) {
    t_vor_bitmap* b = vor_bitmap_new(640, -480, 2560, 0);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->width, 640);
    EXPECT_EQ(b->height, -480);
    EXPECT_EQ(vor_bitmap_pitch(b), 2560);
    EXPECT_EQ(b->data, nullptr);
    uint8_t pixels[16] = {};
    EXPECT_EQ(vor_bitmap_setdata(b, pixels), HOX_ERR_NONE);
    EXPECT_EQ(vor_bitmap_lock(b), pixels);
    EXPECT_EQ(b->locks, 1);
    EXPECT_EQ(vor_bitmap_release(b), HOX_ERR_NONE);
    EXPECT_EQ(vor_bitmap_release(b), HOX_EROR);  // not locked any more
    EXPECT_EQ(b->locks, 0);
    EXPECT_EQ(vor_bitmap_free(b), HOX_ERR_NONE);
    EXPECT_EQ(vor_bitmap_lock(nullptr), nullptr);
    EXPECT_EQ(vor_bitmap_setdata(nullptr, pixels), HOX_EROR);
}

// ---------------------------------------------------------------- texture

TEST(Texture, IsRegisteredUnderItsNameWithDefaultAttributes) {
    int owner = 0;
    void* t = vor_object_new(gensym("vor_gl_video_texture"), static_cast<void*>(&owner));
    ASSERT_NE(t, nullptr);
    t_symbol* name = vor_attr_getsym(t, gensym("texture_name"));
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->s_name[0], 'u');
    EXPECT_EQ(vor_object_findregistered(name), t);
    EXPECT_EQ(vor_attr_getsym(t, gensym("drawto")), gensym(""));
    EXPECT_EQ(vor_attr_getlong(t, gensym("automatic")), 0);
    EXPECT_EQ(vor_attr_getlong(t, gensym("output_texture")), 0);
    EXPECT_EQ(vor_attr_setlong(t, gensym("output_texture"), 1), HOX_ERR_NONE);
    EXPECT_EQ(vor_attr_getlong(t, gensym("output_texture")), 1);

    t_vor_texture_state st{};
    ASSERT_EQ(vor_texture_state(t, &st), HOX_ERR_NONE);
    EXPECT_EQ(st.name, name);
    EXPECT_EQ(st.draws, 0);
    vor_object_free(t);
    EXPECT_EQ(vor_object_findregistered(name), nullptr);
}

TEST(Texture, ReportsTheLastSubmissionAndCountsDraws) {
    void* t = vor_object_new(gensym("vor_gl_video_texture"), static_cast<void*>(nullptr));
    ASSERT_NE(t, nullptr);
    std::vector<uint8_t> frame(640 * 480 * 4, 9);
    t_vor_bitmap* b = vor_bitmap_new(640, 480, 2560, 0);
    vor_bitmap_setdata(b, frame.data());
    b->format = 8;
    ASSERT_EQ(call(t, "submit_bitmap", b), HOX_ERR_NONE);
    ASSERT_EQ(call(t, "draw_texture"), HOX_ERR_NONE);
    ASSERT_EQ(call(t, "draw_texture"), HOX_ERR_NONE);
    ASSERT_EQ(call(t, "clear_texture"), HOX_ERR_NONE);
    t_vor_texture_state st{};
    ASSERT_EQ(vor_texture_state(t, &st), HOX_ERR_NONE);
    EXPECT_EQ(st.width, 640);
    EXPECT_EQ(st.height, 480);
    EXPECT_EQ(st.pitch, 2560);
    EXPECT_EQ(st.format, 8);
    EXPECT_EQ(st.draws, 2);

    t_vor_bitmap* u = vor_bitmap_new(320, -240, 1280, 0);
    vor_bitmap_setdata(u, frame.data());
    u->format = 3;
    ASSERT_EQ(call(t, "submit_bitmap", u), HOX_ERR_NONE);
    ASSERT_EQ(vor_texture_state(t, &st), HOX_ERR_NONE);
    EXPECT_EQ(st.width, 320);
    EXPECT_EQ(st.height, -240);
    EXPECT_EQ(st.pitch, 1280);
    EXPECT_EQ(st.format, 3);
    EXPECT_EQ(st.draws, 2);

    EXPECT_EQ(call(t, "submit_bitmap", static_cast<t_vor_bitmap*>(nullptr)), HOX_EROR);
    void* m = vor_object_new(gensym("vor_matrix"), nullptr);
    EXPECT_EQ(vor_texture_state(m, &st), HOX_EROR);
    vor_object_free(m);
    vor_bitmap_free(b);
    vor_bitmap_free(u);
    vor_object_free(t);
}

TEST(Texture, ClassOffersItsAttributesForInterfaces) {
    t_class* c = vor_class_findbyname(gensym("vor_gl_video_texture"));
    ASSERT_NE(c, nullptr);
    for (const char* a : {"output_texture", "texture_name", "drawto", "automatic"})
        EXPECT_NE(vor_class_attr_get(c, gensym(a)), nullptr) << a;
}

// ---------------------------------------------------------------- export

TEST_F(ExportTest, MatrixBecomesAnRgbaPngInTheDefaultFolder) {
    t_vor_matrix_info info{};
    vor_matrix_info_default(&info);
    info.dim[0] = 3;
    info.dim[1] = 2;
    void* m = keep(vor_object_new(gensym("vor_matrix"), &info));
    void* p = nullptr;
    ASSERT_EQ(call(m, "getdata", &p), HOX_ERR_NONE);
    auto* cells = static_cast<uint8_t*>(p);
    for (int c = 0; c < 6; ++c) {  // A, R, G, B
        cells[4 * c + 0] = static_cast<uint8_t>(200 + c);
        cells[4 * c + 1] = static_cast<uint8_t>(10 * c);
        cells[4 * c + 2] = static_cast<uint8_t>(10 * c + 1);
        cells[4 * c + 3] = static_cast<uint8_t>(10 * c + 2);
    }
    ASSERT_EQ(export_to(m, "frame.png"), HOX_ERR_NONE);
    const Png png = read_png(dir + "/frame.png");
    ASSERT_TRUE(png.ok);
    EXPECT_TRUE(png.has_alpha);
    EXPECT_EQ(png.width, 3u);
    EXPECT_EQ(png.height, 2u);
    EXPECT_EQ(png.pixel(0, 0), (std::vector<uint8_t>{0, 1, 2, 200}));
    EXPECT_EQ(png.pixel(2, 0), (std::vector<uint8_t>{20, 21, 22, 202}));
    EXPECT_EQ(png.pixel(1, 1), (std::vector<uint8_t>{40, 41, 42, 204}));
}

TEST_F(ExportTest, AbsoluteNamesAreUsedAsGiven) {
    void* m = keep(vor_object_new(gensym("vor_matrix"), nullptr));
    ASSERT_EQ(call(m, "clear_custom", 0xFF102030L), HOX_ERR_NONE);
    const std::string path = dir + "/absolute.png";
    ASSERT_EQ(export_to(m, path.c_str()), HOX_ERR_NONE);
    const Png png = read_png(path);
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.pixel(0, 0), (std::vector<uint8_t>{0x10, 0x20, 0x30, 0xFF}));
}

TEST_F(ExportTest, RefusesWhatItCannotWrite) {
    void* m = keep(vor_object_new(gensym("vor_matrix"), nullptr));
    EXPECT_EQ(call(m, "export_image_surface", 0L, static_cast<t_atom*>(nullptr)), HOX_EROR);
    t_atom number[1];
    atom_setlong(number, 5);
    EXPECT_EQ(call(m, "export_image_surface", 1L, number), HOX_EROR);
    EXPECT_EQ(export_to(m, ""), HOX_EROR);
    EXPECT_EQ(export_to(m, "no_such_folder/x.png"), HOX_EROR);

    t_vor_matrix_info three{};
    vor_matrix_info_default(&three);
    three.planecount = 3;
    void* m3 = keep(vor_object_new(gensym("vor_matrix"), &three));
    EXPECT_EQ(export_to(m3, "three.png"), HOX_EROR);
    EXPECT_NE(access((dir + "/three.png").c_str(), F_OK), 0);

    void* t = keep(vor_object_new(gensym("vor_gl_video_texture"), static_cast<void*>(nullptr)));
    EXPECT_EQ(export_to(t, "never_drawn.png"), HOX_EROR);
}

TEST_F(ExportTest, TextureExportsTheDrawnPixelsUprightEvenIfTheBufferChangedSince) {
    void* t = keep(vor_object_new(gensym("vor_gl_video_texture"), static_cast<void*>(nullptr)));
    // 2 x 2 argb frame, bottom row first, pitch 12 (4 bytes of padding).
    std::vector<uint8_t> frame = {
        1, 2, 3, 0, 4, 5, 6, 0, 0xEE, 0xEE, 0xEE, 0xEE,      // bottom row: b, g, r, x
        7, 8, 9, 0, 10, 11, 12, 0, 0xEE, 0xEE, 0xEE, 0xEE};  // top row
    t_vor_bitmap* b = vor_bitmap_new(2, 2, 12, 0);
    vor_bitmap_setdata(b, frame.data());
    b->format = 8;
    ASSERT_EQ(call(t, "submit_bitmap", b), HOX_ERR_NONE);
    std::fill(frame.begin(), frame.end(), uint8_t{0x55});  // a capture thread writes the next frame
    ASSERT_EQ(call(t, "draw_texture"), HOX_ERR_NONE);
    ASSERT_EQ(export_to(t, "texture.png"), HOX_ERR_NONE);
    const Png png = read_png(dir + "/texture.png");
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.width, 2u);
    EXPECT_EQ(png.height, 2u);
    EXPECT_EQ(png.pixel(0, 0), (std::vector<uint8_t>{9, 8, 7, 255}));
    EXPECT_EQ(png.pixel(1, 0), (std::vector<uint8_t>{12, 11, 10, 255}));
    EXPECT_EQ(png.pixel(0, 1), (std::vector<uint8_t>{3, 2, 1, 255}));

    // Cleared: black, still opaque.
    ASSERT_EQ(call(t, "clear_texture"), HOX_ERR_NONE);
    ASSERT_EQ(export_to(t, "cleared.png"), HOX_ERR_NONE);
    const Png black = read_png(dir + "/cleared.png");
    ASSERT_TRUE(black.ok);
    EXPECT_EQ(black.pixel(1, 1), (std::vector<uint8_t>{0, 0, 0, 255}));
    vor_bitmap_free(b);
}

TEST_F(ExportTest, UyvyTextureIsConvertedToRgb) {
    void* t = keep(vor_object_new(gensym("vor_gl_video_texture"), static_cast<void*>(nullptr)));
    // One row of four pixels: white, black, then a saturated red pair; then a second, video-black row.
    std::vector<uint8_t> frame = {128, 235, 128, 16, 90, 81, 240, 81,  //
                                  128, 16,  128, 16, 128, 16, 128, 16};
    t_vor_bitmap* b = vor_bitmap_new(4, 2, 16, 0);  // pitch of the 4-byte texture rows, as a grabber gives it
    vor_bitmap_setdata(b, frame.data());
    b->format = 3;
    ASSERT_EQ(call(t, "submit_bitmap", b), HOX_ERR_NONE);
    ASSERT_EQ(call(t, "draw_texture"), HOX_ERR_NONE);
    ASSERT_EQ(export_to(t, "uyvy.png"), HOX_ERR_NONE);
    const Png png = read_png(dir + "/uyvy.png");
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.width, 4u);
    EXPECT_EQ(png.height, 2u);
    EXPECT_EQ(png.pixel(0, 0), (std::vector<uint8_t>{255, 255, 255, 255}));
    EXPECT_EQ(png.pixel(1, 0), (std::vector<uint8_t>{0, 0, 0, 255}));
    EXPECT_EQ(png.pixel(2, 0), (std::vector<uint8_t>{255, 0, 0, 255}));
    EXPECT_EQ(png.pixel(3, 1), (std::vector<uint8_t>{0, 0, 0, 255}));
    vor_bitmap_free(b);
}

}  // namespace
