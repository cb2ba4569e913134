#include "devices/pattern.h"

#include "platform_devices/alloc_count.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace vorsim {
namespace {

constexpr uint8_t kSentinel = 0xEE;

Pattern ramp() { return Pattern{Pattern::Kind::Ramp, {}}; }
Pattern bars() { return Pattern{Pattern::Kind::Bars, {}}; }
Pattern solid(uint8_t a, uint8_t b, uint8_t c, uint8_t d) { return Pattern{Pattern::Kind::Solid, {a, b, c, d}}; }

// Fills an exactly sized buffer followed by sentinel bytes and checks that
// the fill wrote exactly frame_size() bytes and nothing past them.
std::vector<uint8_t> frame(const Pattern& p, SubtypeId s, int32_t w, int32_t h, uint64_t n) {
    const FrameFormat f{s, w, h};
    const size_t size = frame_size(f);
    EXPECT_GT(size, 0u);
    std::vector<uint8_t> buf(size + 16, kSentinel);
    EXPECT_EQ(fill_frame(p, f, n, buf.data(), size), size);
    for (size_t i = size; i < buf.size(); ++i) EXPECT_EQ(buf[i], kSentinel) << "byte " << i << " past the frame";
    buf.resize(size);
    return buf;
}

std::vector<uint8_t> bytes_at(const std::vector<uint8_t>& b, size_t off, size_t n) {
    return std::vector<uint8_t>(b.begin() + long(off), b.begin() + long(off + n));
}

TEST(FrameSize, ExactSizes) {
    EXPECT_EQ(frame_size({subtype::RGB32, 640, 480}), 640u * 480 * 4);
    EXPECT_EQ(frame_size({subtype::RGB32, 640, -480}), 640u * 480 * 4);
    EXPECT_EQ(frame_size({subtype::ARGB32, 2, 2}), 16u);
    EXPECT_EQ(frame_size({subtype::RGB24, 3, 2}), 24u);       // rows of 9 bytes padded to 12
    EXPECT_EQ(frame_size({subtype::RGB24, 641, 1}), 1924u);   // 1923 -> 1924
    EXPECT_EQ(frame_size({subtype::RGB24, 320, 240}), 320u * 240 * 3);
    EXPECT_EQ(frame_size({subtype::RGB565, 3, 1}), 8u);
    EXPECT_EQ(frame_size({subtype::RGB8, 5, 2}), 16u);
    EXPECT_EQ(frame_size({subtype::RGB1, 33, 1}), 8u);
    EXPECT_EQ(frame_size({subtype::UYVY, 640, 480}), 614400u);
    EXPECT_EQ(frame_size({subtype::YUY2, 2, 1}), 4u);
    EXPECT_EQ(frame_size({subtype::I420, 640, 480}), 460800u);
    EXPECT_EQ(frame_size({subtype::YV12, 2, 2}), 6u);
    EXPECT_EQ(frame_size({subtype::dvsd, 720, 480}), 24u + 720 * 480 * 2);
    EXPECT_GE(frame_size({subtype::MJPG, 64, 48}), 64u * 48 * 3);
}

TEST(FrameSize, ImpossibleFormatsHaveNoSize) {
    EXPECT_EQ(frame_size({subtype::YUY2, 3, 2}), 0u);
    EXPECT_EQ(frame_size({subtype::I420, 4, 3}), 0u);
    EXPECT_EQ(frame_size({subtype::YV12, 3, 4}), 0u);
    EXPECT_EQ(frame_size({subtype::RGB32, 0, 4}), 0u);
    EXPECT_EQ(frame_size({subtype::RGB32, 4, 0}), 0u);
    EXPECT_EQ(frame_size({subtype::RGB32, -4, 4}), 0u);
    EXPECT_EQ(frame_size({fourcc_subtype(make_fourcc('N', 'V', '1', '2')), 4, 4}), 0u);
}

TEST(FillFrame, RefusesShortBuffersAndUnknownFormats) {
    std::vector<uint8_t> buf(64, kSentinel);
    EXPECT_EQ(fill_frame(ramp(), {subtype::RGB32, 4, 4}, 0, buf.data(), 63), 0u);
    EXPECT_EQ(fill_frame(ramp(), {subtype::RGB32, 4, 4}, 0, nullptr, 64), 0u);
    EXPECT_EQ(fill_frame(ramp(), {subtype::YUY2, 3, 4}, 0, buf.data(), 64), 0u);
    EXPECT_EQ(fill_frame(ramp(), {fourcc_subtype(make_fourcc('N', 'V', '1', '2')), 4, 4}, 0, buf.data(), 64), 0u);
    for (uint8_t b : buf) EXPECT_EQ(b, kSentinel);
    // A larger buffer is fine; only the frame is written.
    EXPECT_EQ(fill_frame(ramp(), {subtype::RGB32, 2, 2}, 0, buf.data(), 64), 16u);
    EXPECT_EQ(buf[16], kSentinel);
}

TEST(Ramp, Rgb32BottomUpKnownBytes) {
    const auto f = frame(ramp(), subtype::RGB32, 4, 3, 5);
    // Image row 0 is the last row in memory.
    EXPECT_EQ(bytes_at(f, 2 * 16 + 1 * 4, 4), (std::vector<uint8_t>{1, 0, 5, 0}));
    EXPECT_EQ(bytes_at(f, 0 * 16 + 3 * 4, 4), (std::vector<uint8_t>{3, 2, 5, 0}));
    EXPECT_EQ(bytes_at(f, 1 * 16 + 2 * 4, 4), (std::vector<uint8_t>{2, 1, 5, 0}));
}

TEST(Ramp, Rgb32TopDownKnownBytes) {
    const auto f = frame(ramp(), subtype::RGB32, 4, -3, 5);
    EXPECT_EQ(bytes_at(f, 0 * 16 + 1 * 4, 4), (std::vector<uint8_t>{1, 0, 5, 0}));
    EXPECT_EQ(bytes_at(f, 2 * 16 + 3 * 4, 4), (std::vector<uint8_t>{3, 2, 5, 0}));
}

TEST(Ramp, ValuesWrapModulo256) {
    const auto f = frame(ramp(), subtype::RGB32, 300, -2, 300);
    EXPECT_EQ(bytes_at(f, 1 * 1200 + 257 * 4, 4), (std::vector<uint8_t>{1, 1, 44, 0}));
    const auto p = frame(ramp(), subtype::I420, 300, 200, 250);
    EXPECT_EQ(p[199 * 300 + 299], 242);  // Y = 299 + 199 = 498
    const size_t cb = 300 * 200, cr = cb + 150 * 100;
    EXPECT_EQ(p[cb + 99 * 150 + 100], 42);  // Cb = 100 + 2 * 99 = 298
    EXPECT_EQ(p[cr + 10 * 150 + 7], 4);     // Cr = 250 + 10 = 260
}

TEST(Ramp, Argb32IsOpaque) {
    const auto f = frame(ramp(), subtype::ARGB32, 2, -1, 3);
    EXPECT_EQ(f, (std::vector<uint8_t>{0, 0, 3, 255, 1, 0, 3, 255}));
}

TEST(Ramp, Rgb24OddWidthPadsRowsWithZeros) {
    const auto f = frame(ramp(), subtype::RGB24, 3, 2, 9);
    ASSERT_EQ(f.size(), 24u);
    // Memory row 0 is image row 1, memory row 1 image row 0; 3 padding bytes each.
    EXPECT_EQ(f, (std::vector<uint8_t>{0, 1, 9, 1, 1, 9, 2, 1, 9, 0, 0, 0,  //
                                       0, 0, 9, 1, 0, 9, 2, 0, 9, 0, 0, 0}));
    const auto t = frame(ramp(), subtype::RGB24, 3, -2, 9);
    EXPECT_EQ(bytes_at(t, 0, 3), (std::vector<uint8_t>{0, 0, 9}));
    EXPECT_EQ(bytes_at(t, 12, 3), (std::vector<uint8_t>{0, 1, 9}));
}

TEST(Ramp, Rgb24MatchesTheDefinitionEverywhere) {
    for (int32_t h : {5, -5}) {
        const int32_t w = 7;
        const auto f = frame(ramp(), subtype::RGB24, w, h, 77);
        const size_t stride = 24;  // 21 bytes padded
        for (int32_t r = 0; r < 5; ++r) {
            const int32_t y = h > 0 ? 4 - r : r;
            for (int32_t x = 0; x < w; ++x) {
                EXPECT_EQ(f[r * stride + x * 3 + 0], x);
                EXPECT_EQ(f[r * stride + x * 3 + 1], y);
                EXPECT_EQ(f[r * stride + x * 3 + 2], 77);
            }
            for (size_t pad = 21; pad < stride; ++pad) EXPECT_EQ(f[r * stride + pad], 0);
        }
    }
}

TEST(Ramp, UyvyAndYuy2KnownBytes) {
    const auto u = frame(ramp(), subtype::UYVY, 6, 4, 7);
    EXPECT_EQ(bytes_at(u, 3 * 12 + 2 * 4, 4), (std::vector<uint8_t>{2, 3, 7, 131}));
    EXPECT_EQ(bytes_at(u, 0, 4), (std::vector<uint8_t>{0, 0, 7, 128}));
    const auto y = frame(ramp(), subtype::YUY2, 6, 4, 7);
    EXPECT_EQ(bytes_at(y, 3 * 12 + 2 * 4, 4), (std::vector<uint8_t>{3, 2, 131, 7}));
    // YUV is top-down whatever the sign of the height.
    EXPECT_EQ(frame(ramp(), subtype::UYVY, 6, -4, 7), u);
    EXPECT_EQ(frame(ramp(), subtype::YUY2, 6, -4, 7), y);
}

TEST(Ramp, PackedYuvMatchesTheDefinitionEverywhere) {
    const int32_t w = 10, h = 6;
    const uint64_t n = 300;
    const auto u = frame(ramp(), subtype::UYVY, w, h, n);
    const auto y = frame(ramp(), subtype::YUY2, w, h, n);
    for (int32_t row = 0; row < h; ++row)
        for (int32_t q = 0; q < w / 2; ++q) {
            const size_t o = size_t(row) * w * 2 + q * 4;
            EXPECT_EQ(bytes_at(u, o, 4), (std::vector<uint8_t>{uint8_t(q), uint8_t(row), uint8_t(n), uint8_t(row + 128)}));
            EXPECT_EQ(bytes_at(y, o, 4), (std::vector<uint8_t>{uint8_t(row), uint8_t(q), uint8_t(row + 128), uint8_t(n)}));
        }
}

TEST(Ramp, I420KnownBytes) {
    const auto f = frame(ramp(), subtype::I420, 8, 4, 9);
    ASSERT_EQ(f.size(), 48u);
    EXPECT_EQ(f[2 * 8 + 5], 7);       // Y(5, 2)
    EXPECT_EQ(f[32 + 1 * 4 + 3], 5);  // Cb(3, 1) = 3 + 2
    EXPECT_EQ(f[40 + 1 * 4 + 3], 10); // Cr(3, 1) = 9 + 1
    EXPECT_EQ(f[32], 0);              // Cb(0, 0)
    EXPECT_EQ(f[40], 9);              // Cr(0, 0)
}

TEST(Ramp, Yv12StoresCrBeforeCb) {
    const auto f = frame(ramp(), subtype::YV12, 8, 4, 9);
    EXPECT_EQ(f[2 * 8 + 5], 7);
    EXPECT_EQ(f[32 + 1 * 4 + 3], 10);  // Cr(3, 1)
    EXPECT_EQ(f[40 + 1 * 4 + 3], 5);   // Cb(3, 1)
}

TEST(Ramp, PlanarMatchesTheDefinitionEverywhere) {
    const int32_t w = 12, h = 6;
    const uint64_t n = 201;
    const auto i = frame(ramp(), subtype::I420, w, h, n);
    const auto v = frame(ramp(), subtype::YV12, w, -h, n);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            EXPECT_EQ(i[y * w + x], uint8_t(x + y));
            EXPECT_EQ(v[y * w + x], uint8_t(x + y));
        }
    const size_t first = size_t(w) * h, plane = size_t(w / 2) * (h / 2);
    for (int32_t j = 0; j < h / 2; ++j)
        for (int32_t c = 0; c < w / 2; ++c) {
            const size_t o = size_t(j) * (w / 2) + c;
            EXPECT_EQ(i[first + o], uint8_t(c + 2 * j));
            EXPECT_EQ(i[first + plane + o], uint8_t(n + j));
            EXPECT_EQ(v[first + o], uint8_t(n + j));
            EXPECT_EQ(v[first + plane + o], uint8_t(c + 2 * j));
        }
}

TEST(Solid, EveryPixelInTheLayoutsOwnOrder) {
    const Pattern s = solid(10, 20, 30, 40);
    for (SubtypeId sub : {subtype::RGB32, subtype::UYVY, subtype::YUY2}) {
        const auto f = frame(s, sub, 4, 2, 3);
        for (size_t o = 0; o < f.size(); o += 4)
            EXPECT_EQ(bytes_at(f, o, 4), (std::vector<uint8_t>{10, 20, 30, 40})) << subtype_name(sub) << " at " << o;
    }
    const auto rgb24 = frame(s, subtype::RGB24, 3, 2, 3);
    EXPECT_EQ(rgb24, (std::vector<uint8_t>{10, 20, 30, 10, 20, 30, 10, 20, 30, 0, 0, 0,  //
                                           10, 20, 30, 10, 20, 30, 10, 20, 30, 0, 0, 0}));
    const auto i420 = frame(s, subtype::I420, 4, 2, 3);
    EXPECT_EQ(i420, (std::vector<uint8_t>{10, 10, 10, 10, 10, 10, 10, 10, 20, 20, 30, 30}));
    const auto yv12 = frame(s, subtype::YV12, 4, 2, 3);
    EXPECT_EQ(yv12, (std::vector<uint8_t>{10, 10, 10, 10, 10, 10, 10, 10, 30, 30, 20, 20}));
    const auto rgb565 = frame(s, subtype::RGB565, 2, 1, 0);
    EXPECT_EQ(rgb565, (std::vector<uint8_t>{10, 20, 10, 20}));
}

TEST(Rgb16, RampPacksTheTopBits) {
    // Pixel (x = 255 -> B, y = 0 -> G, n = 255 -> R) of a 256-wide row.
    const auto f = frame(ramp(), subtype::RGB565, 256, -1, 255);
    const size_t o = 255 * 2;
    EXPECT_EQ(f[o] | f[o + 1] << 8, 0xF800 | 0x001F);
    const auto g = frame(ramp(), subtype::RGB555, 256, -1, 255);
    EXPECT_EQ(g[o] | g[o + 1] << 8, 0x7C00 | 0x001F);
}

TEST(Bars, DeterministicBarsAndAMovingMarker) {
    const int32_t w = 128, h = 96;  // bars 16 wide; strip from row 80
    const auto f0 = frame(bars(), subtype::RGB32, w, -h, 0);
    EXPECT_EQ(frame(bars(), subtype::RGB32, w, -h, 0), f0);
    auto px = [&](const std::vector<uint8_t>& f, int x, int y) { return bytes_at(f, (size_t(y) * w + x) * 4, 4); };
    EXPECT_EQ(px(f0, 8, 10), (std::vector<uint8_t>{191, 191, 191, 0}));     // white
    EXPECT_EQ(px(f0, 16 + 8, 10), (std::vector<uint8_t>{0, 191, 191, 0}));  // yellow: B 0, G, R
    EXPECT_EQ(px(f0, 5 * 16 + 8, 50), (std::vector<uint8_t>{0, 0, 191, 0}));  // red
    EXPECT_EQ(px(f0, 6 * 16 + 8, 50), (std::vector<uint8_t>{191, 0, 0, 0}));  // blue
    // The marker: a white block of w/16 at x = n * w/64 in the strip.
    EXPECT_EQ(px(f0, 0, 90), (std::vector<uint8_t>{255, 255, 255, 0}));
    EXPECT_EQ(px(f0, 8, 90), (std::vector<uint8_t>{32, 32, 32, 0}));
    const auto f1 = frame(bars(), subtype::RGB32, w, -h, 1);
    EXPECT_EQ(px(f1, 0, 90), (std::vector<uint8_t>{32, 32, 32, 0}));
    EXPECT_EQ(px(f1, 2, 90), (std::vector<uint8_t>{255, 255, 255, 0}));
    EXPECT_EQ(px(f1, 9, 90), (std::vector<uint8_t>{255, 255, 255, 0}));
    // Only the strip changes between frames.
    EXPECT_TRUE(std::equal(f0.begin(), f0.begin() + 80 * w * 4, f1.begin()));
    EXPECT_NE(f0, f1);
    // Wraps around: frame 63 puts the block at x = 126, covering 126..127 and 0..5.
    const auto f63 = frame(bars(), subtype::RGB32, w, -h, 63);
    EXPECT_EQ(px(f63, 127, 90)[0], 255);
    EXPECT_EQ(px(f63, 5, 90)[0], 255);
    EXPECT_EQ(px(f63, 6, 90)[0], 32);
}

TEST(Bars, YuvCarriesTheBarColours) {
    const int32_t w = 128, h = 96;
    const auto u = frame(bars(), subtype::UYVY, w, h, 0);
    const auto p = frame(bars(), subtype::I420, w, h, 0);
    // White bar: Y 180, neutral chroma.
    EXPECT_EQ(bytes_at(u, 10 * w * 2 + 4 * 4, 4), (std::vector<uint8_t>{128, 180, 128, 180}));
    // Red bar (x 80..95): strong Cr, weak Cb; the same values in I420.
    const size_t red = 10 * w * 2 + 44 * 4;  // pixel pair 44 = x 88
    EXPECT_LT(u[red], 128);
    EXPECT_GT(u[red + 2], 200);
    EXPECT_EQ(p[10 * w + 88], u[red + 1]);
    const size_t cb = size_t(w) * h, cr = cb + size_t(w / 2) * (h / 2);
    EXPECT_EQ(p[cb + 5 * (w / 2) + 44], u[red]);
    EXPECT_EQ(p[cr + 5 * (w / 2) + 44], u[red + 2]);
    // Black bar is studio black.
    EXPECT_EQ(u[10 * w * 2 + 60 * 4 + 1], 16);
}

TEST(FillFrame, UncompressedFormatsAllocateNothing) {
    std::vector<uint8_t> buf(frame_size({subtype::RGB32, 64, 48}));
    for (const Pattern& p : {ramp(), bars(), solid(1, 2, 3, 4)})
        for (SubtypeId s : {subtype::RGB32, subtype::ARGB32, subtype::RGB24, subtype::RGB565, subtype::RGB555,
                            subtype::RGB8, subtype::UYVY, subtype::YUY2, subtype::I420, subtype::YV12, subtype::dvsd}) {
            const FrameFormat f{s, 64, 48};
            const long before = allocation_count();
            const size_t written = fill_frame(p, f, 12, buf.data(), buf.size());
            const long after = allocation_count();
            EXPECT_EQ(written, frame_size(f)) << subtype_name(s);
            EXPECT_EQ(after, before) << subtype_name(s);
        }
}

TEST(Dv, PayloadHeaderAndPicture) {
    const auto f = frame(ramp(), subtype::dvsd, 8, 2, 0x0102030405060708ull);
    ASSERT_EQ(f.size(), 24u + 32);
    EXPECT_EQ(bytes_at(f, 0, 8), (std::vector<uint8_t>{'V', 'O', 'R', 'S', 'I', 'M', 'D', 'V'}));
    EXPECT_EQ(bytes_at(f, 8, 8), (std::vector<uint8_t>{8, 0, 0, 0, 2, 0, 0, 0}));
    EXPECT_EQ(bytes_at(f, 16, 8), (std::vector<uint8_t>{8, 7, 6, 5, 4, 3, 2, 1}));
    const auto uyvy = frame(ramp(), subtype::UYVY, 8, 2, 0x0102030405060708ull);
    EXPECT_EQ(bytes_at(f, 24, 32), uyvy);

    DvFrameHeader header;
    const uint8_t* picture = nullptr;
    ASSERT_TRUE(read_dv_frame(f.data(), f.size(), header, picture));
    EXPECT_EQ(header.width, 8u);
    EXPECT_EQ(header.height, 2u);
    EXPECT_EQ(header.frame_index, 0x0102030405060708ull);
    EXPECT_EQ(picture, f.data() + 24);
}

TEST(Dv, ReaderRefusesDamagedPayloads) {
    auto f = frame(bars(), subtype::dvsd, 8, 2, 1);
    DvFrameHeader header;
    const uint8_t* picture = nullptr;
    EXPECT_FALSE(read_dv_frame(f.data(), f.size() - 1, header, picture));
    EXPECT_FALSE(read_dv_frame(f.data(), 20, header, picture));
    auto bad = f;
    bad[0] = 'X';
    EXPECT_FALSE(read_dv_frame(bad.data(), bad.size(), header, picture));
    bad = f;
    bad[12] = 0xFF, bad[13] = 0xFF, bad[14] = 0xFF, bad[15] = 0xFF;  // huge height
    EXPECT_FALSE(read_dv_frame(bad.data(), bad.size(), header, picture));
    EXPECT_EQ(picture, nullptr);
}

// ---- MJPG: decode with libjpeg and look at the picture ------------------

struct Decoded {
    int width = 0, height = 0, components = 0;
    std::vector<uint8_t> rgb;
    uint8_t at(int x, int y, int c) const { return rgb[(size_t(y) * width + x) * 3 + c]; }
};

struct DecodeErrors {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void decode_failed(j_common_ptr c) { std::longjmp(reinterpret_cast<DecodeErrors*>(c->err)->jump, 1); }

struct DecodeJob {
    jpeg_decompress_struct cinfo;
    DecodeErrors errors;
    const uint8_t* data;
    size_t size;
    Decoded* out;
};

bool decode_job(DecodeJob& job) {
    job.cinfo.err = jpeg_std_error(&job.errors.mgr);
    job.errors.mgr.error_exit = decode_failed;
    if (setjmp(job.errors.jump)) {
        jpeg_destroy_decompress(&job.cinfo);
        return false;
    }
    jpeg_create_decompress(&job.cinfo);
    jpeg_mem_src(&job.cinfo, job.data, static_cast<unsigned long>(job.size));
    jpeg_read_header(&job.cinfo, TRUE);
    job.cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&job.cinfo);
    job.out->width = int(job.cinfo.output_width);
    job.out->height = int(job.cinfo.output_height);
    job.out->components = job.cinfo.output_components;
    job.out->rgb.resize(size_t(job.out->width) * job.out->height * 3);
    while (job.cinfo.output_scanline < job.cinfo.output_height) {
        JSAMPROW row = job.out->rgb.data() + size_t(job.cinfo.output_scanline) * job.out->width * 3;
        jpeg_read_scanlines(&job.cinfo, &row, 1);
    }
    jpeg_finish_decompress(&job.cinfo);
    jpeg_destroy_decompress(&job.cinfo);
    return true;
}

bool decode(const uint8_t* data, size_t size, Decoded& out) {
    DecodeJob job{};
    job.data = data;
    job.size = size;
    job.out = &out;
    return decode_job(job);
}

std::vector<uint8_t> jpeg(const Pattern& p, int32_t w, int32_t h, uint64_t n) {
    const FrameFormat f{subtype::MJPG, w, h};
    std::vector<uint8_t> buf(frame_size(f), kSentinel);
    const size_t len = fill_frame(p, f, n, buf.data(), buf.size());
    EXPECT_GT(len, 0u);
    EXPECT_LT(len, buf.size());
    buf.resize(len);
    return buf;
}

TEST(Mjpg, RampDecodesToTheRightSizeAndColours) {
    const auto j = jpeg(ramp(), 64, 48, 100);
    ASSERT_GE(j.size(), 4u);
    EXPECT_EQ(j[0], 0xFF);
    EXPECT_EQ(j[1], 0xD8);
    EXPECT_EQ(j[j.size() - 2], 0xFF);
    EXPECT_EQ(j[j.size() - 1], 0xD9);
    Decoded d;
    ASSERT_TRUE(decode(j.data(), j.size(), d));
    EXPECT_EQ(d.width, 64);
    EXPECT_EQ(d.height, 48);
    EXPECT_EQ(d.components, 3);
    for (auto [x, y] : {std::pair{40, 20}, std::pair{8, 40}, std::pair{60, 4}}) {
        EXPECT_NEAR(d.at(x, y, 0), 100, 12) << x << "," << y;  // R = n
        EXPECT_NEAR(d.at(x, y, 1), y, 12) << x << "," << y;    // G = y, top row first
        EXPECT_NEAR(d.at(x, y, 2), x, 12) << x << "," << y;    // B = x
    }
}

TEST(Mjpg, BarsAndSolidDecodeToTheirColours) {
    const auto j = jpeg(bars(), 128, 96, 0);
    Decoded d;
    ASSERT_TRUE(decode(j.data(), j.size(), d));
    EXPECT_NEAR(d.at(88, 30, 0), 191, 16);  // red bar
    EXPECT_NEAR(d.at(88, 30, 1), 0, 16);
    EXPECT_NEAR(d.at(88, 30, 2), 0, 16);
    EXPECT_NEAR(d.at(40, 30, 0), 0, 16);  // cyan bar
    EXPECT_NEAR(d.at(40, 30, 1), 191, 16);
    EXPECT_NEAR(d.at(40, 30, 2), 191, 16);

    const auto s = jpeg(solid(200, 100, 50, 0), 32, 16, 0);  // B 200, G 100, R 50
    Decoded ds;
    ASSERT_TRUE(decode(s.data(), s.size(), ds));
    EXPECT_NEAR(ds.at(16, 8, 0), 50, 6);
    EXPECT_NEAR(ds.at(16, 8, 1), 100, 6);
    EXPECT_NEAR(ds.at(16, 8, 2), 200, 6);
}

TEST(Mjpg, FramesDifferAndBufferTooSmallIsRefused) {
    EXPECT_NE(jpeg(bars(), 64, 48, 0), jpeg(bars(), 64, 48, 5));
    EXPECT_EQ(jpeg(bars(), 64, 48, 3), jpeg(bars(), 64, 48, 3));
    std::vector<uint8_t> small(100);
    EXPECT_EQ(fill_frame(ramp(), {subtype::MJPG, 64, 48}, 0, small.data(), small.size()), 0u);
}

}  // namespace
}  // namespace vorsim
