// Planar 4:2:0 to packed UYVY, as the frame callback converts I420 and YV12
// frames into the frame buffer: planar_to_packed with the callback's
// arguments (tight planes, four-byte cells), side by side with libyuv's
// I420ToUYVY on the same planes. YV12 is the same call with the chroma
// planes swapped.
//
// The two do not compute the same odd-row chroma (ours interpolates with the
// four-tap rule, libyuv repeats the row above); the comparison is the cost
// of producing one packed frame.
#include <libyuv/convert_from.h>

#include "bench_support.h"
#include "output/planar_convert.h"

namespace {

using namespace vorbench;

void group(benchmark::State& st, const FrameSize& s, Temp t) {
    const size_t luma = static_cast<size_t>(s.w) * s.h;
    const size_t chroma = luma / 4;
    const int32_t stride = (s.w / 2) * 4;
    Rotation r(t, {luma, chroma, chroma, static_cast<size_t>(stride) * s.h});
    const double bytes = static_cast<double>(luma) * 1.5 + static_cast<double>(stride) * s.h;
    // Planes of slot k: Y, U, V, then the packed frame.
    const auto ours = [&r, s, stride](bool yv12) {
        return [&r, s, stride, yv12](int k) {
            // YV12 stores V before U: the callback swaps the plane pointers.
            const uint8_t* u = r.part(k, yv12 ? 2 : 1);
            const uint8_t* v = r.part(k, yv12 ? 1 : 2);
            planar_to_packed(r.part(k, 3), r.part(k, 0), u, v, s.w, s.w / 2, s.w, s.h, 4, stride);
        };
    };
    std::vector<Contender> g = {
        {"ours_i420", bytes, ours(false)},
        {"ours_yv12", bytes, ours(true)},
        {"libyuv_I420ToUYVY", bytes,
         [&r, s, stride](int k) {
             libyuv::I420ToUYVY(r.part(k, 0), s.w, r.part(k, 1), s.w / 2, r.part(k, 2), s.w / 2, r.part(k, 3), stride,
                                s.w, s.h);
         }},
    };
    run_group(st, r, g);
}

}  // namespace

int main(int argc, char** argv) {
    for (const FrameSize& s : frame_sizes())
        for (Temp t : {Temp::hot, Temp::cold})
            add("planar_to_packed", s, t, [=](benchmark::State& st) { group(st, s, t); });
    return run("planar_convert_bench", argc, argv);
}
