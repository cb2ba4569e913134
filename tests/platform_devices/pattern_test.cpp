#include "devices/pattern.h"

#include "platform_devices/alloc_count.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <vector>

#include <jpeglib.h>

namespace vorsim {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint8_t kSentinel = 0xEE;

Pattern ramp() { return Pattern{Pattern::Kind::Ramp, {}}; }
Pattern bars() { return Pattern{Pattern::Kind::Bars, {}}; }
Pattern solid(uint8_t a, uint8_t b, uint8_t c, uint8_t d) { return Pattern{Pattern::Kind::Solid, {a, b, c, d}}; }

// Fills an exactly sized buffer followed by sentinel bytes and checks that
// the fill wrote exactly frame_size() bytes and nothing past them.
Bytes frame(const Pattern& p, SubtypeId s, int32_t w, int32_t h, uint64_t n) {
    const FrameFormat f{s, w, h};
    const size_t size = frame_size(f);
    EXPECT_GT(size, 0u);
    Bytes buf(size + 16, kSentinel);
    EXPECT_EQ(fill_frame(p, f, n, buf.data(), size), size);
    for (size_t i = size; i < buf.size(); ++i) EXPECT_EQ(buf[i], kSentinel) << "byte " << i << " past the frame";
    buf.resize(size);
    return buf;
}

Bytes bytes_at(const Bytes& b, size_t off, size_t n) { return Bytes(b.begin() + long(off), b.begin() + long(off + n)); }

TEST(FrameSize, ExactSizesAndImpossibleFormats) {
    const SubtypeId nv12 = fourcc_subtype(make_fourcc('N', 'V', '1', '2'));
    const struct { SubtypeId s; int32_t w, h; size_t size; } cases[] = {
        {subtype::RGB32, 640, 480, 640 * 480 * 4}, {subtype::RGB32, 640, -480, 640 * 480 * 4},
        {subtype::RGB24, 3, 2, 24} /* rows of 9 padded to 12 */, {subtype::RGB24, 641, 1, 1924},
        {subtype::RGB565, 3, 1, 8}, {subtype::RGB8, 5, 2, 16}, {subtype::RGB1, 33, 1, 8},
        {subtype::UYVY, 640, 480, 614400}, {subtype::YUY2, 2, 1, 4}, {subtype::I420, 640, 480, 460800},
        {subtype::YV12, 2, 2, 6}, {subtype::dvsd, 720, 480, 24 + 720 * 480 * 2},
        {subtype::YUY2, 3, 2, 0}, {subtype::I420, 4, 3, 0}, {subtype::YV12, 3, 4, 0}, {subtype::RGB32, 0, 4, 0},
        {subtype::RGB32, 4, 0, 0}, {subtype::RGB32, -4, 4, 0}, {nv12, 4, 4, 0}};
    for (const auto& c : cases) EXPECT_EQ(frame_size({c.s, c.w, c.h}), c.size) << subtype_name(c.s) << " " << c.w << "x" << c.h;
    EXPECT_GE(frame_size({subtype::MJPG, 64, 48}), 64u * 48 * 3);

    Bytes buf(64, kSentinel);
    EXPECT_EQ(fill_frame(ramp(), {subtype::RGB32, 4, 4}, 0, buf.data(), 63), 0u);
    EXPECT_EQ(fill_frame(ramp(), {subtype::RGB32, 4, 4}, 0, nullptr, 64), 0u);
    EXPECT_EQ(fill_frame(ramp(), {subtype::YUY2, 3, 4}, 0, buf.data(), 64), 0u);
    EXPECT_EQ(fill_frame(ramp(), {nv12, 4, 4}, 0, buf.data(), 64), 0u);
    EXPECT_EQ(buf, Bytes(64, kSentinel));
}

// Known ramp bytes in every layout: both RGB row orders (YUV is top-down
// whatever the sign), padding, both chroma plane orders, wrapping at 256.
TEST(Ramp, KnownBytesAcrossFormats) {
    const struct { const char* what; SubtypeId s; int32_t w, h; uint64_t n; size_t at; Bytes want; } cases[] = {
        {"RGB32 bottom-up (1,0)", subtype::RGB32, 4, 3, 5, 2 * 16 + 1 * 4, {1, 0, 5, 0}},
        {"RGB32 bottom-up (3,2)", subtype::RGB32, 4, 3, 5, 0 * 16 + 3 * 4, {3, 2, 5, 0}},
        {"RGB32 top-down (1,0)", subtype::RGB32, 4, -3, 5, 0 * 16 + 1 * 4, {1, 0, 5, 0}},
        {"RGB32 top-down (3,2)", subtype::RGB32, 4, -3, 5, 2 * 16 + 3 * 4, {3, 2, 5, 0}},
        {"RGB32 wraps", subtype::RGB32, 300, -2, 300, 1 * 1200 + 257 * 4, {1, 1, 44, 0}},
        {"ARGB32 opaque", subtype::ARGB32, 2, -1, 3, 0, {0, 0, 3, 255, 1, 0, 3, 255}},
        {"RGB24 bottom-up padded", subtype::RGB24, 3, 2, 9, 0,
         {0, 1, 9, 1, 1, 9, 2, 1, 9, 0, 0, 0, 0, 0, 9, 1, 0, 9, 2, 0, 9, 0, 0, 0}},
        {"RGB24 top-down", subtype::RGB24, 3, -2, 9, 9, {0, 0, 0, 0, 1, 9}},
        {"RGB565 top bits", subtype::RGB565, 256, -1, 255, 255 * 2, {0x1F, 0xF8}},
        {"RGB555 top bits", subtype::RGB555, 256, -1, 255, 255 * 2, {0x1F, 0x7C}},
        {"UYVY", subtype::UYVY, 6, 4, 7, 3 * 12 + 2 * 4, {2, 3, 7, 131}},
        {"UYVY first", subtype::UYVY, 6, 4, 7, 0, {0, 0, 7, 128}},
        {"UYVY negative height", subtype::UYVY, 6, -4, 7, 3 * 12 + 2 * 4, {2, 3, 7, 131}},
        {"YUY2", subtype::YUY2, 6, 4, 7, 3 * 12 + 2 * 4, {3, 2, 131, 7}},
        {"YUY2 negative height", subtype::YUY2, 6, -4, 7, 3 * 12 + 2 * 4, {3, 2, 131, 7}},
        {"I420 Y(5,2)", subtype::I420, 8, 4, 9, 2 * 8 + 5, {7}},
        {"I420 Cb row 1", subtype::I420, 8, 4, 9, 32 + 4, {2, 3, 4, 5}},
        {"I420 Cr row 1", subtype::I420, 8, 4, 9, 40 + 4, {10, 10, 10, 10}},
        {"I420 wraps", subtype::I420, 300, 200, 250, 199 * 300 + 299, {242}},
        {"YV12 Cr first", subtype::YV12, 8, -4, 9, 32 + 4, {10, 10, 10, 10}},
        {"YV12 Cb second", subtype::YV12, 8, -4, 9, 40 + 4, {2, 3, 4, 5}},
    };
    for (const auto& c : cases) EXPECT_EQ(bytes_at(frame(ramp(), c.s, c.w, c.h, c.n), c.at, c.want.size()), c.want) << c.what;
}

TEST(Solid, EveryPixelInTheLayoutsOwnOrder) {
    const Pattern s = solid(10, 20, 30, 40);
    const Bytes quad{10, 20, 30, 40}, row24{10, 20, 30, 10, 20, 30, 10, 20, 30, 0, 0, 0};
    const struct { SubtypeId s; int32_t w, h; Bytes want; } cases[] = {
        {subtype::RGB32, 2, 2, {10, 20, 30, 40, 10, 20, 30, 40, 10, 20, 30, 40, 10, 20, 30, 40}},
        {subtype::UYVY, 2, 2, {10, 20, 30, 40, 10, 20, 30, 40}},
        {subtype::YUY2, 4, 1, {10, 20, 30, 40, 10, 20, 30, 40}},
        {subtype::RGB24, 3, -2, {10, 20, 30, 10, 20, 30, 10, 20, 30, 0, 0, 0, 10, 20, 30, 10, 20, 30, 10, 20, 30, 0, 0, 0}},
        {subtype::I420, 4, 2, {10, 10, 10, 10, 10, 10, 10, 10, 20, 20, 30, 30}},
        {subtype::YV12, 4, 2, {10, 10, 10, 10, 10, 10, 10, 10, 30, 30, 20, 20}},
        {subtype::RGB565, 2, 1, {10, 20, 10, 20}},
    };
    for (const auto& c : cases) EXPECT_EQ(frame(s, c.s, c.w, c.h, 3), c.want) << subtype_name(c.s);
}

TEST(FillFrame, UncompressedFormatsAllocateNothing) {
    Bytes buf(frame_size({subtype::RGB32, 64, 48}));
    for (const Pattern& p : {ramp(), bars(), solid(1, 2, 3, 4)})
        for (SubtypeId s : {subtype::RGB32, subtype::RGB24, subtype::RGB565, subtype::RGB8, subtype::UYVY, subtype::YUY2,
                            subtype::I420, subtype::YV12, subtype::dvsd}) {
            const long before = allocation_count();
            EXPECT_EQ(fill_frame(p, {s, 64, 48}, 12, buf.data(), buf.size()), frame_size({s, 64, 48}));
            EXPECT_EQ(allocation_count(), before) << subtype_name(s);
        }
}

TEST(Dv, PayloadHeaderPictureAndDamagedPayloads) {
    const auto f = frame(ramp(), subtype::dvsd, 8, 2, 0x0102030405060708ull);
    ASSERT_EQ(f.size(), 24u + 32);
    EXPECT_EQ(bytes_at(f, 0, 24), (Bytes{'V', 'O', 'R', 'S', 'I', 'M', 'D', 'V', 8, 0, 0, 0, 2, 0, 0, 0, 8, 7, 6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(bytes_at(f, 24, 32), frame(ramp(), subtype::UYVY, 8, 2, 0x0102030405060708ull));
    DvFrameHeader header;
    const uint8_t* picture = nullptr;
    ASSERT_TRUE(read_dv_frame(f.data(), f.size(), header, picture));
    EXPECT_EQ(header.width, 8u);
    EXPECT_EQ(header.height, 2u);
    EXPECT_EQ(header.frame_index, 0x0102030405060708ull);
    EXPECT_EQ(picture, f.data() + 24);
    picture = nullptr;
    EXPECT_FALSE(read_dv_frame(f.data(), f.size() - 1, header, picture));
    EXPECT_FALSE(read_dv_frame(f.data(), 20, header, picture));
    auto bad = f;
    bad[0] = 'X';
    EXPECT_FALSE(read_dv_frame(bad.data(), bad.size(), header, picture));
    bad = f;
    bad[12] = bad[13] = bad[14] = bad[15] = 0xFF;  // huge height
    EXPECT_FALSE(read_dv_frame(bad.data(), bad.size(), header, picture));
    EXPECT_EQ(picture, nullptr);
}

// ---- MJPG: decode with libjpeg and look at the picture ------------------

struct DecodeJob {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    int width = 0, height = 0;
    Bytes rgb;
    uint8_t at(int x, int y, int c) const { return rgb[(size_t(y) * width + x) * 3 + c]; }
};

void decode_failed(j_common_ptr c) { std::longjmp(static_cast<DecodeJob*>(c->client_data)->jump, 1); }

bool decode(const Bytes& data, DecodeJob& job) {
    job.cinfo.err = jpeg_std_error(&job.mgr);
    job.mgr.error_exit = decode_failed;
    if (setjmp(job.jump)) {
        jpeg_destroy_decompress(&job.cinfo);
        return false;
    }
    jpeg_create_decompress(&job.cinfo);
    job.cinfo.client_data = &job;
    jpeg_mem_src(&job.cinfo, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&job.cinfo, TRUE);
    job.cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&job.cinfo);
    job.width = int(job.cinfo.output_width);
    job.height = int(job.cinfo.output_height);
    job.rgb.resize(size_t(job.width) * job.height * 3);
    while (job.cinfo.output_scanline < job.cinfo.output_height) {
        JSAMPROW row = job.rgb.data() + size_t(job.cinfo.output_scanline) * job.width * 3;
        jpeg_read_scanlines(&job.cinfo, &row, 1);
    }
    jpeg_finish_decompress(&job.cinfo);
    jpeg_destroy_decompress(&job.cinfo);
    return true;
}

Bytes jpeg(const Pattern& p, int32_t w, int32_t h, uint64_t n) {
    const FrameFormat f{subtype::MJPG, w, h};
    Bytes buf(frame_size(f), kSentinel);
    const size_t len = fill_frame(p, f, n, buf.data(), buf.size());
    EXPECT_GT(len, 0u);
    buf.resize(len);
    return buf;
}

TEST(Mjpg, DecodesToTheSizeAndColoursOfThePattern) {
    DecodeJob r;
    ASSERT_TRUE(decode(jpeg(ramp(), 64, 48, 100), r));
    EXPECT_EQ(r.width, 64);
    EXPECT_EQ(r.height, 48);
    for (auto [x, y] : {std::pair{40, 20}, std::pair{8, 40}, std::pair{60, 4}}) {
        EXPECT_NEAR(r.at(x, y, 0), 100, 12) << x << "," << y;  // R = n
        EXPECT_NEAR(r.at(x, y, 1), y, 12) << x << "," << y;    // G = y, top row first
        EXPECT_NEAR(r.at(x, y, 2), x, 12) << x << "," << y;    // B = x
    }
    DecodeJob s;
    ASSERT_TRUE(decode(jpeg(solid(200, 100, 50, 0), 32, 16, 0), s));  // B 200, G 100, R 50
    EXPECT_NEAR(s.at(16, 8, 0), 50, 6);
    EXPECT_NEAR(s.at(16, 8, 1), 100, 6);
    EXPECT_NEAR(s.at(16, 8, 2), 200, 6);
    EXPECT_NE(jpeg(bars(), 64, 48, 0), jpeg(bars(), 64, 48, 5));
    Bytes small(100);
    EXPECT_EQ(fill_frame(ramp(), {subtype::MJPG, 64, 48}, 0, small.data(), small.size()), 0u);
}

}  // namespace
}  // namespace vorsim
