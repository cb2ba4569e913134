// The converters: Color Space Converter, AVI Decompressor, MJPEG
// Decompressor, DV Splitter, DV Video Decoder: random frames of odd sizes
// checked pixel by pixel against the formulas restated below, JPEGs and DV
// frames whose answer is written out here, and the types they offer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "com_conformance.h"
#include "filters_test_filters.h"
#include "vorsim.h"

namespace {

using namespace vorsim;
using namespace vorsim_test;
using namespace filters_test;

// ---- Reference formulas ------------------------------------------------------

struct Px {
    int b = 0, g = 0, r = 0, a = 255;
    bool operator==(const Px&) const = default;
};

int clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// BT.601 studio range to RGB, integer.
Px yuv_pixel(int y, int u, int v) {
    const int c = y - 16, d = u - 128, e = v - 128;
    return Px{clamp255((298 * c + 516 * d + 128) >> 8), clamp255((298 * c - 100 * d - 208 * e + 128) >> 8),
              clamp255((298 * c + 409 * e + 128) >> 8), 255};
}

enum class Rgb { rgb24, rgb32, argb32, rgb555, rgb565 };
constexpr Rgb kAllRgb[] = {Rgb::rgb24, Rgb::rgb32, Rgb::argb32, Rgb::rgb555, Rgb::rgb565};

const GUID& subtype_of(Rgb l) {
    switch (l) {
        case Rgb::rgb24: return MEDIASUBTYPE_RGB24;
        case Rgb::rgb32: return MEDIASUBTYPE_RGB32;
        case Rgb::argb32: return MEDIASUBTYPE_ARGB32;
        case Rgb::rgb555: return MEDIASUBTYPE_RGB555;
        case Rgb::rgb565: return MEDIASUBTYPE_RGB565;
    }
    return GUID_NULL;
}
int bits_of(Rgb l) { return l == Rgb::rgb24 ? 24 : (l == Rgb::rgb32 || l == Rgb::argb32) ? 32 : 16; }
const char* name_of(Rgb l) {
    const char* names[] = {"RGB24", "RGB32", "ARGB32", "RGB555", "RGB565"};
    return names[static_cast<int>(l)];
}
size_t stride_of(int w, int bits) { return ((static_cast<size_t>(w) * bits + 31) / 32) * 4; }

Px get_px(Rgb l, const uint8_t* p) {
    const int v = p[0] | (p[1] << 8);
    auto w5 = [](int x) { return (x << 3) | (x >> 2); };
    auto w6 = [](int x) { return (x << 2) | (x >> 4); };
    switch (l) {
        case Rgb::rgb24: return Px{p[0], p[1], p[2], 255};
        case Rgb::rgb32: return Px{p[0], p[1], p[2], 255};
        case Rgb::argb32: return Px{p[0], p[1], p[2], p[3]};
        case Rgb::rgb555: return Px{w5(v & 31), w5((v >> 5) & 31), w5((v >> 10) & 31), 255};
        case Rgb::rgb565: return Px{w5(v & 31), w6((v >> 5) & 63), w5(v >> 11), 255};
    }
    return {};
}

void put_px(Rgb l, uint8_t* p, const Px& c) {
    switch (l) {
        case Rgb::rgb24:
            p[0] = uint8_t(c.b), p[1] = uint8_t(c.g), p[2] = uint8_t(c.r);
            break;
        case Rgb::rgb32:
        case Rgb::argb32:
            p[0] = uint8_t(c.b), p[1] = uint8_t(c.g), p[2] = uint8_t(c.r);
            p[3] = uint8_t(l == Rgb::argb32 ? c.a : 255);
            break;
        case Rgb::rgb555: {
            const int v = ((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3);
            p[0] = uint8_t(v & 0xff), p[1] = uint8_t(v >> 8);
            break;
        }
        case Rgb::rgb565: {
            const int v = ((c.r >> 3) << 11) | ((c.g >> 2) << 5) | (c.b >> 3);
            p[0] = uint8_t(v & 0xff), p[1] = uint8_t(v >> 8);
            break;
        }
    }
}

// A picture (rows top first) stored in an RGB layout, padding zeros.
std::vector<uint8_t> rgb_frame(Rgb l, int w, int h, bool top_down, const std::vector<Px>& picture) {
    const size_t stride = stride_of(w, bits_of(l));
    std::vector<uint8_t> f(stride * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            put_px(l, &f[(top_down ? y : h - 1 - y) * stride + x * bits_of(l) / 8], picture[y * w + x]);
    return f;
}

VIDEOINFOHEADER header(int w, int h, int bits, DWORD compression, DWORD image, REFERENCE_TIME interval) {
    VIDEOINFOHEADER v{};
    v.rcSource = v.rcTarget = RECT{0, 0, w, h < 0 ? -h : h};
    v.AvgTimePerFrame = interval;
    v.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    v.bmiHeader.biWidth = w;
    v.bmiHeader.biHeight = h;
    v.bmiHeader.biPlanes = 1;
    v.bmiHeader.biBitCount = WORD(bits);
    v.bmiHeader.biCompression = compression;
    v.bmiHeader.biSizeImage = image;
    return v;
}

MediaType video_type(const GUID& subtype, const VIDEOINFOHEADER& v) {
    MediaType t;
    t->majortype = MEDIATYPE_Video;
    t->subtype = subtype;
    t->bFixedSizeSamples = TRUE;
    t->lSampleSize = v.bmiHeader.biSizeImage;
    t.set_format(FORMAT_VideoInfo, &v, sizeof v);
    return t;
}

constexpr REFERENCE_TIME kInterval = 400000;

MediaType rgb_type(Rgb l, int w, int h, bool top_down) {
    const DWORD image = DWORD(stride_of(w, bits_of(l)) * h);
    return video_type(subtype_of(l), header(w, top_down ? -h : h, bits_of(l), BI_RGB, image, kInterval));
}

std::mt19937& rng() {
    static std::mt19937 r(20240611);
    return r;
}
std::vector<uint8_t> random_bytes(size_t n) {
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t(rng()() & 0xff);
    return v;
}
std::vector<Px> random_picture(int w, int h) {
    std::vector<Px> p(size_t(w) * h);
    for (auto& c : p) c = Px{int(rng()() & 255), int(rng()() & 255), int(rng()() & 255), int(rng()() & 255)};
    return p;
}

// ---- A converter between a push source and a recording sink ---------------

struct Chain {
    Chain(const CLSID& clsid, std::vector<MediaType> in_types, LONG extra = 0, const char16_t* in_id = u"XForm In",
          const char16_t* out_id = u"XForm Out") {
        filter = create_filter(clsid);
        in = find_pin(filter.get(), in_id);
        out = find_pin(filter.get(), out_id);
        source = make_com<PushSource>(std::move(in_types), extra);
    }
    ~Chain() {
        if (sink) sink->Stop();
        filter->Stop();
        source->Stop();
        disconnect_both(in.get());
        disconnect_both(out.get());
        in.reset();
        out.reset();
        expect_final_release(filter);
        expect_final_release(source);
        if (sink) expect_final_release(sink);
    }
    HRESULT connect_input() { return source->out->Connect(in.get(), nullptr); }
    // The output connects to a sink taking only `subtype`.
    HRESULT connect_output(const GUID& subtype) {
        sink = make_com<RecordingSink>([subtype](const AM_MEDIA_TYPE& mt) { return mt.subtype == subtype; });
        return out->Connect(sink->in, nullptr);
    }
    HRESULT run() {
        HRESULT hr = sink->Run(0);
        if (SUCCEEDED(hr)) hr = filter->Run(0);
        if (SUCCEEDED(hr)) hr = source->Run(0);
        return hr;
    }
    // Pushes one timed frame and returns the bytes that came out (empty
    // when nothing did).
    std::vector<uint8_t> convert(const std::vector<uint8_t>& frame) {
        const size_t before = sink->received().size();
        const REFERENCE_TIME start = REFERENCE_TIME(before) * kInterval;
        EXPECT_EQ(source->push(frame, start, start + kInterval), S_OK);
        const auto got = sink->received();
        if (got.size() == before) return {};
        EXPECT_EQ(got.back().time_result, S_OK);
        EXPECT_EQ(got.back().start, start) << "times carried over";
        EXPECT_EQ(got.back().stop, start + kInterval);
        return got.back().bytes;
    }
    std::vector<MediaType> output_types() {
        std::vector<MediaType> types;
        ComPtr<IEnumMediaTypes> e;
        EXPECT_EQ(out->EnumMediaTypes(e.put()), S_OK);
        AM_MEDIA_TYPE* mt = nullptr;
        while (e && e->Next(1, &mt, nullptr) == S_OK) {
            types.emplace_back(*mt);
            DeleteMediaType(mt);
        }
        return types;
    }

    ComPtr<IBaseFilter> filter;
    ComPtr<IPin> in, out;
    ComPtr<PushSource> source;
    ComPtr<RecordingSink> sink;
};

struct Size {
    int w, h;
};
std::string size_text(int w, int h) { return std::to_string(w) + "x" + std::to_string(h); }

// ---- Color Space Converter ----------------------------------------------------

TEST(ColourConverter, EveryPairOnOddSizesAndBothRowOrdersMatchesTheReference) {
    for (Rgb from : kAllRgb) {
        for (Rgb to : kAllRgb) {
            for (Size s : {Size{1, 1}, Size{5, 3}, Size{7, 2}, Size{2, 4}}) {
                for (bool top_down : {false, true}) {
                    SCOPED_TRACE(testing::Message() << name_of(from) << (top_down ? " top-down" : " bottom-up")
                                                    << " -> " << name_of(to) << " " << size_text(s.w, s.h));
                    const auto picture = random_picture(s.w, s.h);
                    std::vector<Px> expected_picture;
                    const auto in = rgb_frame(from, s.w, s.h, top_down, picture);
                    // What the input really holds, read back, is what the output shows.
                    const size_t in_stride = stride_of(s.w, bits_of(from));
                    for (int y = 0; y < s.h; ++y)
                        for (int x = 0; x < s.w; ++x)
                            expected_picture.push_back(
                                get_px(from, &in[(top_down ? y : s.h - 1 - y) * in_stride + x * bits_of(from) / 8]));
                    Chain c(CLSID_Colour, {rgb_type(from, s.w, s.h, top_down)});
                    ASSERT_EQ(c.connect_input(), S_OK);
                    ASSERT_EQ(c.connect_output(subtype_of(to)), S_OK);
                    ASSERT_EQ(c.run(), S_OK);
                    EXPECT_EQ(c.convert(in), rgb_frame(to, s.w, s.h, false, expected_picture));
                }
            }
        }
    }
}

// The types a converter offers: none before its input is connected, then
// `order` at the input's size and rate, bottom-up.
void expect_offers(Chain& c, std::vector<GUID> order, int w, int h, REFERENCE_TIME interval = kInterval) {
    EXPECT_TRUE(c.output_types().empty()) << "nothing before the input is connected";
    ASSERT_EQ(c.connect_input(), S_OK);
    const auto types = c.output_types();
    ASSERT_EQ(types.size(), order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(types[i]->subtype, order[i]) << i;
        const VIDEOINFOHEADER* v = types[i].video_info();
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->bmiHeader.biWidth, w);
        EXPECT_EQ(v->bmiHeader.biHeight, h);
        EXPECT_EQ(v->AvgTimePerFrame, interval);
    }
}

// ---- AVI Decompressor -----------------------------------------------------------

// 4x2 UYVY: black, white, red, red / white, black, green, green.
const std::vector<uint8_t> kUyvy4x2 = {128, 16, 128, 235, 90, 81, 240, 81,    //
                                       128, 235, 128, 16, 54, 145, 34, 145};  //
// The same picture as bottom-up RGB32 (B G R X), worked out by hand from
// the BT.601 formula: red (81, 90, 240) -> R 255 G 0 B 0; green
// (145, 54, 34) -> R 0 G 255 B 1.
const std::vector<uint8_t> kRgb32For4x2 = {
    255, 255, 255, 255, 0, 0, 0, 255, 1, 255, 0, 255, 1, 255, 0, 255,   // bottom row
    0,   0,   0,   255, 255, 255, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255};  // top row

enum class Yuv { uyvy, yuy2, i420, yv12 };
const GUID& subtype_of(Yuv l) {
    switch (l) {
        case Yuv::uyvy: return MEDIASUBTYPE_UYVY;
        case Yuv::yuy2: return MEDIASUBTYPE_YUY2;
        case Yuv::i420: return MEDIASUBTYPE_I420;
        case Yuv::yv12: return MEDIASUBTYPE_YV12;
    }
    return GUID_NULL;
}
bool packed(Yuv l) { return l == Yuv::uyvy || l == Yuv::yuy2; }
size_t yuv_size(Yuv l, int w, int h) {
    const size_t cw = (w + 1) / 2, ch = (h + 1) / 2;
    return packed(l) ? cw * 4 * h : size_t(w) * h + 2 * cw * ch;
}
MediaType yuv_type(Yuv l, int w, int h) {
    return video_type(subtype_of(l), header(w, h, packed(l) ? 16 : 12, subtype_of(l).Data1,
                                            DWORD(yuv_size(l, w, h)), kInterval));
}
// The picture a YUV frame shows, pixel by pixel.
std::vector<Px> yuv_picture(Yuv l, int w, int h, const std::vector<uint8_t>& f) {
    std::vector<Px> p;
    const size_t cw = (w + 1) / 2, ch = (h + 1) / 2;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            int Y = 0, U = 0, V = 0;
            if (packed(l)) {
                const uint8_t* pair = &f[y * cw * 4 + (x / 2) * 4];
                if (l == Yuv::uyvy) {
                    U = pair[0], V = pair[2], Y = pair[x % 2 ? 3 : 1];
                } else {
                    Y = pair[x % 2 ? 2 : 0], U = pair[1], V = pair[3];
                }
            } else {
                const uint8_t* first = &f[size_t(w) * h];
                const uint8_t* second = first + cw * ch;
                const uint8_t* cb = l == Yuv::i420 ? first : second;
                const uint8_t* cr = l == Yuv::i420 ? second : first;
                Y = f[y * w + x];
                U = cb[(y / 2) * cw + x / 2];
                V = cr[(y / 2) * cw + x / 2];
            }
            p.push_back(yuv_pixel(Y, U, V));
        }
    }
    return p;
}

TEST(AviDecompressor, EveryInputOnOddSizesMatchesTheReference) {
    for (Yuv from : {Yuv::uyvy, Yuv::yuy2, Yuv::i420, Yuv::yv12}) {
        for (Rgb to : {Rgb::rgb32, Rgb::rgb24}) {
            for (Size s : {Size{1, 1}, Size{5, 3}, Size{6, 4}, Size{3, 7}}) {
                SCOPED_TRACE(testing::Message() << static_cast<int>(from) << " -> " << name_of(to) << " "
                                                << size_text(s.w, s.h));
                const auto frame = random_bytes(yuv_size(from, s.w, s.h));
                Chain c(CLSID_AVIDec, {yuv_type(from, s.w, s.h)});
                ASSERT_EQ(c.connect_input(), S_OK);
                ASSERT_EQ(c.connect_output(subtype_of(to)), S_OK);
                ASSERT_EQ(c.run(), S_OK);
                EXPECT_EQ(c.convert(frame), rgb_frame(to, s.w, s.h, false, yuv_picture(from, s.w, s.h, frame)));
            }
        }
    }
}

TEST(AviDecompressor, OffersRgb32ThenRgb24TakesOnlyYuvAndDropsShortFrames) {
    Chain c(CLSID_AVIDec, {yuv_type(Yuv::yuy2, 8, 6)});
    expect_offers(c, {MEDIASUBTYPE_RGB32, MEDIASUBTYPE_RGB24}, 8, 6);
    const MediaType rgb = rgb_type(Rgb::rgb32, 8, 6, false);
    EXPECT_EQ(c.in->QueryAccept(&rgb.get()), S_FALSE);
    ASSERT_EQ(c.connect_output(MEDIASUBTYPE_RGB32), S_OK);
    ASSERT_EQ(c.run(), S_OK);
    EXPECT_TRUE(c.convert(random_bytes(8 * 6 * 2 - 1)).empty()) << "not read past its end";
    EXPECT_EQ(c.convert(random_bytes(8 * 6 * 2)).size(), 8u * 6 * 4);
}

// ---- MJPEG Decompressor --------------------------------------------------------

#include "filters_test_jpegs.inc"

MediaType mjpg_type(int w, int h) {
    // Frames of these small pictures are larger than w * h * 3: room for 4 KB.
    return video_type(MEDIASUBTYPE_MJPG, header(w, h, 24, MEDIASUBTYPE_MJPG.Data1, 4096, kInterval));
}

// Within `tolerance` of the colour in every channel.
void expect_near(const uint8_t* p, int r, int g, int b, int tolerance) {
    EXPECT_NEAR(p[0], b, tolerance);
    EXPECT_NEAR(p[1], g, tolerance);
    EXPECT_NEAR(p[2], r, tolerance);
}

TEST(MjpegDecompressor, DecodesBottomUpRgbPaddedWithZeros) {
    // 16x16: the top 8 rows (200, 120, 40), the bottom 8 (30, 60, 220).
    // 13x7: all (200, 120, 40); RGB24 rows of 39 bytes padded to 40.
    struct Case {
        int w, h;
        const GUID& subtype;
        std::vector<uint8_t> jpeg;
    } const cases[] = {
        {16, 16, MEDIASUBTYPE_RGB32, {std::begin(kTwoColourJpeg), std::end(kTwoColourJpeg)}},
        {13, 7, MEDIASUBTYPE_RGB24, {std::begin(kOddJpeg), std::end(kOddJpeg)}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(size_text(k.w, k.h));
        Chain c(CLSID_MjpegDec, {mjpg_type(k.w, k.h)});
        ASSERT_EQ(c.connect_input(), S_OK);
        ASSERT_EQ(c.connect_output(k.subtype), S_OK);
        ASSERT_EQ(c.run(), S_OK);
        const auto out = c.convert(k.jpeg);
        const int bytes = k.subtype == MEDIASUBTYPE_RGB32 ? 4 : 3;
        const size_t stride = stride_of(k.w, 8 * bytes);
        ASSERT_EQ(out.size(), stride * k.h);
        for (int row = 0; row < k.h; ++row) {  // memory rows: the picture's bottom first
            for (int x = 0; x < k.w; ++x) {
                const uint8_t* p = &out[row * stride + x * bytes];
                SCOPED_TRACE(testing::Message() << "memory row " << row << " x " << x);
                if (k.h == 16 && row < 8) {
                    expect_near(p, 30, 60, 220, 3);
                } else {
                    expect_near(p, 200, 120, 40, 3);
                }
                if (bytes == 4) {
                    EXPECT_EQ(p[3], 255);
                }
            }
            for (size_t pad = size_t(k.w) * bytes; pad < stride; ++pad) EXPECT_EQ(out[row * stride + pad], 0);
        }
    }
}

// ---- DV Splitter and DV Video Decoder ---------------------------------------

constexpr REFERENCE_TIME kNtsc = 333667;
constexpr REFERENCE_TIME kPal = 400000;

// The sim's DV payload: "VORSIMDV", width, height, frame index, then the
// picture as UYVY.
std::vector<uint8_t> dv_payload(uint32_t w, uint32_t h, const std::vector<uint8_t>& uyvy, uint64_t index = 0) {
    std::vector<uint8_t> p(24);
    std::memcpy(p.data(), "VORSIMDV", 8);
    std::memcpy(&p[8], &w, 4);
    std::memcpy(&p[12], &h, 4);
    std::memcpy(&p[16], &index, 8);
    p.insert(p.end(), uyvy.begin(), uyvy.end());
    return p;
}

MediaType dv_video_type(int w, int h, REFERENCE_TIME interval = kNtsc) {
    return video_type(MEDIASUBTYPE_dvsd,
                      header(w, h, 24, MEDIASUBTYPE_dvsd.Data1, DWORD(24 + size_t(w) * h * 2), interval));
}

MediaType dv_info_type(const GUID& major, bool pal) {
    DVINFO info{};
    if (pal) info.dwDVAAuxSrc = info.dwDVVAuxSrc = 0x00200000;
    MediaType t;
    t->majortype = major;
    t->subtype = MEDIASUBTYPE_dvsd;
    t->bFixedSizeSamples = TRUE;
    t->lSampleSize = DWORD(24 + 720 * (pal ? 576 : 480) * 2);
    t.set_format(FORMAT_DvInfo, &info, sizeof info);
    return t;
}

TEST(DvSplitter, TakesInterleavedAndPassesTheVideoOnInTheStandardsType) {
    for (bool pal : {false, true}) {
        SCOPED_TRACE(pal ? "PAL" : "NTSC");
        Chain c(CLSID_DVSplitter, {dv_info_type(MEDIATYPE_Interleaved, pal)}, 0, u"Input", u"DVVidOut0");
        const MediaType video_only = dv_info_type(MEDIATYPE_Video, pal);
        EXPECT_EQ(c.in->QueryAccept(&video_only.get()), S_FALSE) << "interleaved only";
        expect_offers(c, {MEDIASUBTYPE_dvsd}, 720, pal ? 576 : 480, pal ? kPal : kNtsc);
        ASSERT_EQ(c.connect_output(MEDIASUBTYPE_dvsd), S_OK);
        ASSERT_EQ(c.run(), S_OK);
        const auto payload = dv_payload(4, 2, kUyvy4x2);
        EXPECT_EQ(c.convert(payload), payload) << "the payload, untouched";
    }
}

TEST(DvDecoder, DisplaySetting) {
    ComPtr<IBaseFilter> decoder = create_filter(CLSID_DVVideoCodec);
    ComPtr<IIPDVDec> dv;
    ASSERT_EQ(decoder.query(IID_IIPDVDec, dv), S_OK);
    int display = 0;
    EXPECT_EQ(dv->get_IPDisplay(nullptr), E_POINTER);
    ASSERT_EQ(dv->get_IPDisplay(&display), S_OK);
    EXPECT_EQ(display, DVRESOLUTION_HALF) << "the default";
    EXPECT_EQ(dv->put_IPDisplay(999), E_INVALIDARG);
    EXPECT_EQ(dv->put_IPDisplay(DVRESOLUTION_DC + 1), E_INVALIDARG);
    ASSERT_EQ(decoder->Run(0), S_OK);
    EXPECT_EQ(dv->put_IPDisplay(DVRESOLUTION_FULL), E_FAIL) << "not while streaming";
    ASSERT_EQ(decoder->Stop(), S_OK);
    EXPECT_EQ(dv->put_IPDisplay(DVRESOLUTION_FULL), S_OK);
    ASSERT_EQ(dv->get_IPDisplay(&display), S_OK);
    EXPECT_EQ(display, DVRESOLUTION_FULL);
    dv.reset();
    expect_final_release(decoder);
}

TEST(DvDecoder, OffersFourTypesAtEachDisplaySize) {
    struct Case {
        int display;
        bool pal;
        int w, h;
    };
    const Case cases[] = {
        {DVRESOLUTION_FULL, false, 720, 480},   {DVRESOLUTION_HALF, false, 360, 240},
        {DVRESOLUTION_QUARTER, false, 180, 120}, {DVRESOLUTION_DC, false, 88, 60},
        {DVRESOLUTION_FULL, true, 720, 576},    {DVRESOLUTION_DC, true, 88, 72},
    };
    for (const Case& k : cases) {
        for (bool dv_info : {false, true}) {
            SCOPED_TRACE(testing::Message() << k.display << (k.pal ? " PAL" : " NTSC") << (dv_info ? " DvInfo" : " VideoInfo"));
            const MediaType in = dv_info ? dv_info_type(MEDIATYPE_Video, k.pal)
                                         : dv_video_type(720, k.pal ? 576 : 480, k.pal ? kPal : kNtsc);
            Chain c(CLSID_DVVideoCodec, {in});
            ComPtr<IIPDVDec> dv;
            ASSERT_EQ(c.filter.query(IID_IIPDVDec, dv), S_OK);
            ASSERT_EQ(dv->put_IPDisplay(k.display), S_OK);
            expect_offers(c, {MEDIASUBTYPE_RGB32, MEDIASUBTYPE_RGB24, MEDIASUBTYPE_UYVY, MEDIASUBTYPE_YUY2}, k.w, k.h,
                          k.pal ? kPal : kNtsc);
        }
    }
}

TEST(DvDecoder, KnownAnswerAtFullSize) {
    const auto payload = dv_payload(4, 2, kUyvy4x2);
    const std::vector<uint8_t> yuy2 = {16, 128, 235, 128, 81, 90, 81, 240, 235, 128, 16, 128, 145, 54, 145, 34};
    struct Case {
        const GUID& subtype;
        std::vector<uint8_t> expected;
    };
    std::vector<uint8_t> rgb24;
    for (size_t i = 0; i < kRgb32For4x2.size(); i += 4)
        rgb24.insert(rgb24.end(), kRgb32For4x2.begin() + i, kRgb32For4x2.begin() + i + 3);
    const Case cases[] = {{MEDIASUBTYPE_UYVY, kUyvy4x2},
                          {MEDIASUBTYPE_YUY2, yuy2},
                          {MEDIASUBTYPE_RGB32, kRgb32For4x2},
                          {MEDIASUBTYPE_RGB24, rgb24}};
    for (const Case& k : cases) {
        Chain c(CLSID_DVVideoCodec, {dv_video_type(4, 2)});
        ComPtr<IIPDVDec> dv;
        ASSERT_EQ(c.filter.query(IID_IIPDVDec, dv), S_OK);
        ASSERT_EQ(dv->put_IPDisplay(DVRESOLUTION_FULL), S_OK);
        ASSERT_EQ(c.connect_input(), S_OK);
        ASSERT_EQ(c.connect_output(k.subtype), S_OK);
        ASSERT_EQ(c.run(), S_OK);
        EXPECT_EQ(c.convert(payload), k.expected);
        EXPECT_TRUE(c.convert(random_bytes(payload.size())).empty()) << "not a payload: dropped";
    }
}

// Nearest neighbour: output pixel (x, y) shows source pixel
// (x * sw / dw, y * sh / dh); a source pixel's chroma is its pair's.
struct UyvyPicture {
    int w, h;
    const uint8_t* data;
    int Y(int x, int y) const { return data[y * w * 2 + (x / 2) * 4 + (x % 2 ? 3 : 1)]; }
    int U(int x, int y) const { return data[y * w * 2 + (x / 2) * 4]; }
    int V(int x, int y) const { return data[y * w * 2 + (x / 2) * 4 + 2]; }
};

TEST(DvDecoder, ScaledOutputsMatchTheReference) {
    const int sw = 720, sh = 480;
    const auto uyvy = random_bytes(size_t(sw) * sh * 2);
    const auto payload = dv_payload(sw, sh, uyvy, 7);
    const UyvyPicture src{sw, sh, uyvy.data()};
    struct Case {
        int display;
        const GUID& subtype;
        int w, h;
    };
    const Case cases[] = {{DVRESOLUTION_HALF, MEDIASUBTYPE_RGB24, 360, 240},
                          {DVRESOLUTION_QUARTER, MEDIASUBTYPE_RGB32, 180, 120},
                          {DVRESOLUTION_DC, MEDIASUBTYPE_UYVY, 88, 60},
                          {DVRESOLUTION_DC, MEDIASUBTYPE_YUY2, 88, 60}};
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.display << " " << size_text(k.w, k.h));
        std::vector<uint8_t> expected;
        if (k.subtype == MEDIASUBTYPE_UYVY || k.subtype == MEDIASUBTYPE_YUY2) {
            for (int y = 0; y < k.h; ++y) {
                const int sy = y * sh / k.h;
                for (int x = 0; x < k.w; x += 2) {
                    const int s0 = x * sw / k.w, s1 = (x + 1) * sw / k.w;
                    const uint8_t Y0 = uint8_t(src.Y(s0, sy)), Y1 = uint8_t(src.Y(s1, sy));
                    const uint8_t U = uint8_t(src.U(s0, sy)), V = uint8_t(src.V(s0, sy));
                    if (k.subtype == MEDIASUBTYPE_UYVY) {
                        expected.insert(expected.end(), {U, Y0, V, Y1});
                    } else {
                        expected.insert(expected.end(), {Y0, U, Y1, V});
                    }
                }
            }
        } else {
            std::vector<Px> picture;
            for (int y = 0; y < k.h; ++y)
                for (int x = 0; x < k.w; ++x) {
                    const int sx = x * sw / k.w, sy = y * sh / k.h;
                    picture.push_back(yuv_pixel(src.Y(sx, sy), src.U(sx, sy), src.V(sx, sy)));
                }
            expected = rgb_frame(k.subtype == MEDIASUBTYPE_RGB32 ? Rgb::rgb32 : Rgb::rgb24, k.w, k.h, false, picture);
        }
        Chain c(CLSID_DVVideoCodec, {dv_video_type(sw, sh)});
        ComPtr<IIPDVDec> dv;
        ASSERT_EQ(c.filter.query(IID_IIPDVDec, dv), S_OK);
        ASSERT_EQ(dv->put_IPDisplay(k.display), S_OK);
        ASSERT_EQ(c.connect_input(), S_OK);
        ASSERT_EQ(c.connect_output(k.subtype), S_OK);
        ASSERT_EQ(c.run(), S_OK);
        const auto out = c.convert(payload);
        ASSERT_EQ(out.size(), expected.size());
        EXPECT_TRUE(out == expected) << "first difference at byte "
                                     << (std::mismatch(out.begin(), out.end(), expected.begin()).first - out.begin());
    }
}

}  // namespace
