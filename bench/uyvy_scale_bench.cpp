// The uyvy output at another size than the frame's: the module goes through
// 4:4:4, as its bang runs it without rectangles (nearest cells): the host's
// vor_uyvy2ayuv converter into the first 4:4:4 matrix, frommatrix into the
// second at the output's pixel size, and vor_ayuv2uyvy into the output.
// The frame is scaled to two thirds of its size (the width kept even).
//
// Side by side with libyuv's nearest equivalent: UYVYToARGB, ARGBScale with
// kFilterNone, ARGBToUYVY. Both keep their two intermediate frames from one
// frame to the next (the module keeps its two 4:4:4 matrices); only the
// frame and the output rotate when cold.
#include <libyuv/convert_argb.h>
#include <libyuv/convert_from_argb.h>
#include <libyuv/scale_argb.h>

#include <cstdlib>
#include <cstring>

#include "bench_matrices.h"
#include "bench_support.h"

namespace {

using namespace vorbench;

t_hox_err matrix_calc(void* converter, void* in, void* out) {
    return call(vor_object_method(converter, _vor_sym_matrix_calc, in, out));
}

void group(benchmark::State& st, const FrameSize& s, Temp t) {
    const FrameSize o = {(s.w * 2 / 3) & ~1, s.h * 2 / 3};
    const size_t in_bytes = static_cast<size_t>(s.w) * s.h * 2;
    const size_t out_bytes = static_cast<size_t>(o.w) * o.h * 2;
    const double bytes = static_cast<double>(in_bytes + out_bytes);
    Rotation r(t, {in_bytes, out_bytes});

    void* frame = referring_matrix(s.w / 2, s.h, r.part(0, 0));
    void* out = referring_matrix(o.w / 2, o.h, r.part(0, 1));
    void* full = owning_matrix(1, 1);       // the module's first 4:4:4 matrix; the converter shapes it
    void* sized = owning_matrix(o.w, o.h);  // the second, at the output's pixel size
    void* to_ayuv = vor_object_new(gensym("vor_uyvy2ayuv"), nullptr);
    void* to_uyvy = vor_object_new(gensym("vor_ayuv2uyvy"), nullptr);
    if (!frame || !out || !full || !sized || !to_ayuv || !to_uyvy) {
        st.SkipWithError("the host made no matrix or converter");
    } else if (matrix_calc(to_ayuv, frame, full) != HOX_ERR_NONE || frommatrix(sized, full, nullptr) != HOX_ERR_NONE ||
               matrix_calc(to_uyvy, sized, out) != HOX_ERR_NONE) {
        st.SkipWithError("a step of the 4:4:4 round trip failed");
    }

    auto* argb_full = static_cast<uint8_t*>(std::aligned_alloc(64, static_cast<size_t>(s.w) * s.h * 4));
    auto* argb_sized = static_cast<uint8_t*>(std::aligned_alloc(64, static_cast<size_t>(o.w) * o.h * 4));
    std::memset(argb_full, 0, static_cast<size_t>(s.w) * s.h * 4);
    std::memset(argb_sized, 0, static_cast<size_t>(o.w) * o.h * 4);

    std::vector<Contender> g = {
        {"ours", bytes,
         [&](int k) {
             point_at(frame, r.part(k, 0));
             point_at(out, r.part(k, 1));
             matrix_calc(to_ayuv, frame, full);
             frommatrix(sized, full, nullptr);
             matrix_calc(to_uyvy, sized, out);
         }},
        {"libyuv_UYVYToARGB_ARGBScale_ARGBToUYVY", bytes,
         [&](int k) {
             libyuv::UYVYToARGB(r.part(k, 0), 2 * s.w, argb_full, 4 * s.w, s.w, s.h);
             libyuv::ARGBScale(argb_full, 4 * s.w, s.w, s.h, argb_sized, 4 * o.w, o.w, o.h, libyuv::kFilterNone);
             libyuv::ARGBToUYVY(argb_sized, 4 * o.w, r.part(k, 1), 2 * o.w, o.w, o.h);
         }},
    };
    run_group(st, r, g);

    std::free(argb_sized);
    std::free(argb_full);
    for (void* m : {to_uyvy, to_ayuv, sized, full, out, frame})
        if (m) vor_object_free(m);
}

}  // namespace

int main(int argc, char** argv) {
    for (const FrameSize& s : frame_sizes())
        for (Temp t : {Temp::hot, Temp::cold}) add("uyvy_scale", s, t, [=](benchmark::State& st) { group(st, s, t); });
    return run("uyvy_scale_bench", argc, argv);
}
