// The argb output at the frame's own size: a bottom-up RGB32 frame (B G R X
// cells) into A R G B cells, upright, alpha 255. Ours is what the module's
// bang runs for it: the host's frommatrix with the module's descriptor, then
// fillplane of plane 0 with 255. Side by side with libyuv's ARGBShuffle with
// a negative height (the same reorder and flip, without the alpha), and
// memcpy of the frame. The two passes of ours are also timed alone.
#include <libyuv/planar_functions.h>

#include <cstring>

#include "bench_matrices.h"
#include "bench_support.h"

namespace {

using namespace vorbench;

void group(benchmark::State& st, const FrameSize& s, Temp t) {
    const size_t bytes = static_cast<size_t>(s.w) * s.h * 4;
    Rotation r(t, {bytes, bytes});
    void* frame = referring_matrix(s.w, s.h, r.part(0, 0));
    void* out = referring_matrix(s.w, s.h, r.part(0, 1));
    const t_vor_matrix_conv_info d = argb_descriptor(s.w, s.h, s.w, s.h, false);
    // Once untimed, with a check of the first cell: the last row's first
    // pixel, planes reversed, alpha 255.
    const uint8_t* last_row = r.part(0, 0) + (bytes - 4 * static_cast<size_t>(s.w));
    const uint8_t* c = r.part(0, 1);
    if (frommatrix(out, frame, &d) != HOX_ERR_NONE || fillplane(out, 0, 255) != HOX_ERR_NONE)
        st.SkipWithError("frommatrix or fillplane failed");
    else if (c[0] != 255 || c[1] != last_row[2] || c[2] != last_row[1] || c[3] != last_row[0])
        st.SkipWithError("the output is not the flipped, reordered frame");

    // Output byte i takes input byte mask[i]: A R G B from B G R X.
    static const uint8_t mask[16] = {3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12};
    std::vector<Contender> g = {
        {"ours", 2.0 * bytes,
         [&](int k) {
             point_at(frame, r.part(k, 0));
             point_at(out, r.part(k, 1));
             frommatrix(out, frame, &d);
             fillplane(out, 0, 255);
         }},
        // Its two passes apart, to show what each costs.
        {"ours_frommatrix_pass", 2.0 * bytes,
         [&](int k) {
             point_at(frame, r.part(k, 0));
             point_at(out, r.part(k, 1));
             frommatrix(out, frame, &d);
         }},
        {"ours_fillplane_pass", 2.0 * bytes,
         [&](int k) {
             point_at(out, r.part(k, 1));
             fillplane(out, 0, 255);
         }},
        {"libyuv_ARGBShuffle_flip", 2.0 * bytes,
         [&](int k) { libyuv::ARGBShuffle(r.part(k, 0), 4 * s.w, r.part(k, 1), 4 * s.w, mask, s.w, -s.h); }},
        {"memcpy", 2.0 * bytes, [&](int k) { std::memcpy(r.part(k, 1), r.part(k, 0), bytes); }},
    };
    run_group(st, r, g);
    vor_object_free(out);
    vor_object_free(frame);
}

}  // namespace

int main(int argc, char** argv) {
    for (const FrameSize& s : frame_sizes())
        for (Temp t : {Temp::hot, Temp::cold}) add("argb_output", s, t, [=](benchmark::State& st) { group(st, s, t); });
    return run("argb_output_bench", argc, argv);
}
