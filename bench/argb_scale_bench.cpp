// The argb output scaled with interpolation (`interp 1`): a bottom-up RGB32
// frame into an output of two thirds its width and height (1920x1080 ->
// 1280x720), through the host's frommatrix with the module's descriptor and
// VOR_MATRIX_CONVERT_INTERP, then fillplane of plane 0 with 255; side by
// side with libyuv's ARGBScale with kFilterBilinear between the same sizes.
#include <libyuv/scale_argb.h>

#include "bench_matrices.h"
#include "bench_support.h"

namespace {

using namespace vorbench;

void group(benchmark::State& st, const FrameSize& s, Temp t) {
    const FrameSize o = {s.w * 2 / 3, s.h * 2 / 3};
    const size_t in_bytes = static_cast<size_t>(s.w) * s.h * 4;
    const size_t out_bytes = static_cast<size_t>(o.w) * o.h * 4;
    const double bytes = static_cast<double>(in_bytes + out_bytes);
    Rotation r(t, {in_bytes, out_bytes});
    void* frame = referring_matrix(s.w, s.h, r.part(0, 0));
    void* out = referring_matrix(o.w, o.h, r.part(0, 1));
    const t_vor_matrix_conv_info d = argb_descriptor(s.w, s.h, o.w, o.h, true);
    if (frommatrix(out, frame, &d) != HOX_ERR_NONE || fillplane(out, 0, 255) != HOX_ERR_NONE)
        st.SkipWithError("frommatrix or fillplane failed");
    std::vector<Contender> g = {
        {"ours_bilinear", bytes,
         [&](int k) {
             point_at(frame, r.part(k, 0));
             point_at(out, r.part(k, 1));
             frommatrix(out, frame, &d);
             fillplane(out, 0, 255);
         }},
        {"libyuv_ARGBScale_bilinear", bytes,
         [&](int k) {
             libyuv::ARGBScale(r.part(k, 0), 4 * s.w, s.w, s.h, r.part(k, 1), 4 * o.w, o.w, o.h,
                               libyuv::kFilterBilinear);
         }},
    };
    run_group(st, r, g);
    vor_object_free(out);
    vor_object_free(frame);
}

}  // namespace

int main(int argc, char** argv) {
    for (const FrameSize& s : frame_sizes())
        for (Temp t : {Temp::hot, Temp::cold}) add("argb_scale", s, t, [=](benchmark::State& st) { group(st, s, t); });
    return run("argb_scale_bench", argc, argv);
}
