// The frame callback's copy into the frame buffer, driven directly with a
// sample of our own: RGB32 and UYVY kept as delivered, YUY2 stored in UYVY
// order, I420 and YV12 converted, samples too short for their planes left
// out. Sizes are odd where they can be, so vector tails are exercised.
#include "module/module_fixture.h"

#include <random>
#include <vector>

#include "capture/sample_callback.h"
#include "capture/stand_ins.h"
#include "output/planar_convert.h"
#include "output/uyvy_kernels.h"

namespace {

std::vector<uint8_t> random_bytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> b(n);
    for (auto& x : b) x = static_cast<uint8_t>(rng());
    return b;
}

class SampleCallback : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        box = new_box("32 24");
        ASSERT_NE(box, nullptr);
        g = grabber_of(box);
    }
    void TearDown() override {
        if (g) g->samplegrabber = nullptr;  // ours, not the grabber's to release
        ModuleTest::TearDown();
    }

    // The frame buffer after one sample of `subtype`.
    std::vector<uint8_t> deliver(const GUID& subtype, BytesSample& sample) {
        g->subtype = subtype;
        SampleGrabberCallback cb(g);
        EXPECT_EQ(cb.SampleCB(0.0, &sample), S_OK);
        const auto* p = reinterpret_cast<const uint8_t*>(g->framebuf);
        return p ? std::vector<uint8_t>(p, p + sysmem_ptrsize(g->framebuf)) : std::vector<uint8_t>{};
    }

    void* box = nullptr;
    t_grabber* g = nullptr;
};

TEST_F(SampleCallback, Rgb32AndUyvyAreKeptAsDelivered) {
    for (size_t size : {size_t{32 * 24 * 4}, size_t{1001}, size_t{1}}) {
        BytesSample sample(random_bytes(size, static_cast<uint32_t>(size)));
        EXPECT_EQ(deliver(MEDIASUBTYPE_RGB32, sample), sample.bytes()) << size;
        EXPECT_EQ(deliver(MEDIASUBTYPE_UYVY, sample), sample.bytes()) << size;
    }
}

TEST_F(SampleCallback, Yuy2IsStoredInUyvyOrder) {
    // Odd sizes keep their stray last byte; the large one runs whole vectors.
    for (size_t size : {size_t{32 * 24 * 2}, size_t{1001}, size_t{1}, size_t{3}, size_t{720 * 577 * 2 + 7}}) {
        BytesSample sample(random_bytes(size, static_cast<uint32_t>(size)));
        const auto got = deliver(MEDIASUBTYPE_YUY2, sample);
        ASSERT_EQ(got.size(), size);
        const auto& in = sample.bytes();
        for (size_t i = 0; i + 1 < size; i += 2) {
            ASSERT_EQ(got[i], in[i + 1]) << size << " bytes, byte " << i;
            ASSERT_EQ(got[i + 1], in[i]) << size << " bytes, byte " << i;
        }
        if (size % 2) {
            EXPECT_EQ(got[size - 1], in[size - 1]) << size;
        }
    }
}

TEST_F(SampleCallback, PlanarFramesAreConvertedIntoTheFrameBuffer) {
    const UyvyKernels& ref = *uyvy_kernels(CpuLevel::reference);
    for (auto [w, h] : {std::pair{38, 13}, {70, 20}, {3, 2}}) {
        StandInGrabber sg;
        sg.width = w;
        sg.height = h;
        g->samplegrabber = &sg;
        const int32_t a = w * h, q = a / 4, stride = (w / 2) * 4;
        BytesSample sample(random_bytes(static_cast<size_t>(a + 2 * q), static_cast<uint32_t>(a)));
        const uint8_t* y = sample.bytes().data();
        for (bool yv12 : {false, true}) {
            const auto got = deliver(yv12 ? MEDIASUBTYPE_YV12 : MEDIASUBTYPE_I420, sample);
            ASSERT_EQ(got.size(), static_cast<size_t>(stride) * h * 4) << w << "x" << h;
            // YV12 carries V before U.
            const uint8_t* first = y + a;
            const uint8_t* second = y + a + q;
            std::vector<uint8_t> want(got.size());
            planar_to_packed_with(ref, want.data(), y, yv12 ? second : first, yv12 ? first : second, w, w / 2, w, h,
                                  4, stride);
            const size_t written = static_cast<size_t>(stride) * planar_rows_written(h);
            EXPECT_TRUE(std::equal(want.begin(), want.begin() + written, got.begin()))
                << w << "x" << h << (yv12 ? " YV12" : " I420");
        }
        g->samplegrabber = nullptr;
    }
}

TEST_F(SampleCallback, APlanarSampleShorterThanItsPlanesIsLeftOut) {
    StandInGrabber sg;
    sg.width = 32;
    sg.height = 24;
    g->samplegrabber = &sg;
    BytesSample whole(random_bytes(32 * 24 * 3 / 2, 5));
    const auto before = deliver(MEDIASUBTYPE_I420, whole);
    BytesSample short_by_one(random_bytes(32 * 24 * 3 / 2 - 1, 6));
    EXPECT_EQ(deliver(MEDIASUBTYPE_I420, short_by_one), before);
    // Without a Sample Grabber (closing) nothing is converted either.
    g->samplegrabber = nullptr;
    BytesSample other(random_bytes(32 * 24 * 3 / 2, 7));
    EXPECT_EQ(deliver(MEDIASUBTYPE_I420, other), before);
}

TEST_F(SampleCallback, EverySampleIsCounted) {
    const int32_t before = dropped_ref(g).load();
    BytesSample sample(random_bytes(64, 1));
    deliver(MEDIASUBTYPE_YUY2, sample);
    deliver(MEDIASUBTYPE_RGB32, sample);
    SampleGrabberCallback cb(g);
    EXPECT_EQ(cb.SampleCB(0.0, nullptr), S_OK);
    EXPECT_EQ(dropped_ref(g).load(), before + 3);
}

}  // namespace
