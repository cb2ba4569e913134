// The frame callback on packed frames: SampleGrabberCallback::SampleCB
// copying an RGB32 or UYVY sample into the grabber's frame buffer, or a YUY2
// sample with its bytes swapped into UYVY order, side by side with memcpy of
// the same bytes into one buffer.
//
// The callback runs on a grabber record of its own (the fields SampleCB
// reads: the mutex, the subtype, the frame buffer, the sample counter) and is
// fed samples over arena memory. As in the module, the frame buffer
// is one buffer, made on the first sample and kept: cold rotates the
// samples, and memcpy writes one destination buffer the same way.
#include <cstring>
#include <utility>

#include "bench_support.h"
#include "capture/sample_callback.h"
#include "capture/stand_ins.h"
#include "grabber/grabber.h"

namespace {

using namespace vorbench;

// A grabber record with what the callback touches, and nothing open.
struct GrabberRecord {
    explicit GrabberRecord(const GUID& subtype) {
        g = reinterpret_cast<t_grabber*>(sysmem_newptrclear(sizeof(t_grabber)));
        systhread_mutex_new(&g->mutex, 0);
        g->subtype = subtype;
    }
    ~GrabberRecord() {
        sysmem_freeptr(g->framebuf);
        systhread_mutex_free(g->mutex);
        sysmem_freeptr(g);
    }
    GrabberRecord(const GrabberRecord&) = delete;
    GrabberRecord& operator=(const GrabberRecord&) = delete;
    t_grabber* g;
};

size_t frame_bytes(const FrameSize& s, const GUID& subtype) {
    return static_cast<size_t>(s.w) * s.h * (subtype == MEDIASUBTYPE_RGB32 ? 4 : 2);
}

void group(benchmark::State& st, const FrameSize& s, Temp t, GUID subtype) {
    const size_t bytes = frame_bytes(s, subtype);
    Rotation r(t, {bytes});
    GrabberRecord rec(subtype);
    SampleGrabberCallback cb(rec.g);
    ViewSample sample;  // over the arena
    // The first sample makes the frame buffer.
    sample.set(r.part(0, 0), static_cast<LONG>(bytes));
    cb.SampleCB(0.0, &sample);
    if (!rec.g->framebuf) st.SkipWithError("the callback made no frame buffer");
    char* dst = sysmem_newptr(static_cast<long>(bytes));  // allocated as the frame buffer is
    std::memset(dst, 0, bytes);

    std::vector<Contender> g = {
        {"ours", 2.0 * static_cast<double>(bytes),
         [&](int k) {
             sample.set(r.part(k, 0), static_cast<LONG>(bytes));
             cb.SampleCB(0.0, &sample);
         }},
        {"memcpy", 2.0 * static_cast<double>(bytes), [&](int k) { std::memcpy(dst, r.part(k, 0), bytes); }},
    };
    run_group(st, r, g);
    sysmem_freeptr(dst);
}

}  // namespace

int main(int argc, char** argv) {
    const std::pair<const char*, GUID> formats[] = {
        {"sample_callback_rgb32", MEDIASUBTYPE_RGB32},
        {"sample_callback_uyvy", MEDIASUBTYPE_UYVY},
        {"sample_callback_yuy2", MEDIASUBTYPE_YUY2},
    };
    for (const FrameSize& s : frame_sizes())
        for (Temp t : {Temp::hot, Temp::cold})
            for (const auto& [path, subtype] : formats)
                add(path, s, t, [=, subtype = subtype](benchmark::State& st) { group(st, s, t, subtype); });
    return run("sample_callback_bench", argc, argv);
}
