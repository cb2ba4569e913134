// The frame path from a delivered sample to the output: the planar to
// packed conversion and the YUY2 swap on their own (output/), then the frame
// callback (capture/sample_callback.*) of a real box fed samples of
// arbitrary size under an arbitrary connected media type (odd widths,
// heights below 6, negative and extreme sizes, samples shorter or longer
// than the type claims), each followed by an output of the box.
//
// The conversion gets planes and a destination of exactly the size its
// header describes, so that AddressSanitizer catches any byte read outside
// the planes or written outside the rows it writes. Its output is compared
// with the interpolation rule of planar_convert.h, cell by cell, for every
// kernel level this CPU runs, and the destination's bytes between cells and
// past the rows must stay as they were.
//
// The callback's frame buffer must afterwards hold: the sample as delivered
// (RGB32, UYVY and anything else), the sample in UYVY order (YUY2), the
// sample converted (I420, YV12, when its planes are all there), or, for a
// planar sample that is skipped, what it held before. The box then outputs
// the frame as a matrix or a texture, whatever it was told; the sanitizers
// watch every read of the frame buffer. The box's Sample Grabber is a
// stand-in that answers the connected type of the input and its graph a real
// empty one from the platform, so that nothing streams.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "capture/sample_callback.h"
#include "capture/stand_ins.h"
#include "fuzz_support.h"
#include "grabber/grabber.h"
#include "hoxhost.h"
#include "module/module.h"
#include "output/planar_convert.h"
#include "output/uyvy_kernels.h"
#include "output/yuy2.h"

namespace {

constexpr const char* kTarget = "frame";

// Exactly `n` bytes on the heap (malloc(0) for none: any access is caught).
struct Bytes {
    uint8_t* p;
    size_t n;
    explicit Bytes(size_t size) : p(static_cast<uint8_t*>(std::malloc(size))), n(size) {
        if (!p) vorfuzz::fail(kTarget, "out of memory");
    }
    ~Bytes() { std::free(p); }
    Bytes(const Bytes&) = delete;
    Bytes& operator=(const Bytes&) = delete;
    VORFUZZ_UNTRACED void fill(uint8_t seed, uint8_t step) {
        for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(seed + step * i + (i >> 9));
    }
};

std::vector<const UyvyKernels*> kernel_tables() {
    std::vector<const UyvyKernels*> out;
    for (CpuLevel level : {CpuLevel::reference, CpuLevel::sse2, CpuLevel::avx2})
        if (const UyvyKernels* k = uyvy_kernels(level)) out.push_back(k);
    return out;
}

// ---------------------------------------------------------------- conversion

const int32_t kWidths[] = {2,  4,  6,  8,  16, 32, 64, 1,  3,  5,   7,   9,
                           15, 17, 31, 33, 63, 65, 0,  -1, -2, 640, 720, INT32_MIN};
const int32_t kHeights[] = {2, 4, 6, 8, 1, 3, 5, 7, 9, 10, 11, 12, 13, 16, 17, 0, -1, -2, 480, 31, INT32_MIN};

int32_t bounded(int32_t v, int32_t limit) { return v > limit || v < -limit ? v % (limit + 1) : v; }

// The chroma value of cell `i` in row `j` of a plane, rows clamped to the
// plane's (outside a lambda, so that it stays untraced too).
VORFUZZ_UNTRACED uint8_t chroma_at(const uint8_t* plane, int32_t stride, int32_t last, int32_t j, int32_t i) {
    return plane[static_cast<size_t>(std::clamp(j, 0, last)) * stride + i];
}

// One chroma value of an odd row: the four taps around it, shifted, low 8 bits.
VORFUZZ_UNTRACED uint8_t interpolated(int32_t above, int32_t k0, int32_t k1, int32_t below) {
    return static_cast<uint8_t>((9 * (k0 + k1) - above - below - 8) >> 4);
}

VORFUZZ_UNTRACED void fuzz_conversion(vorfuzz::Reader& r) {
    const int32_t w = bounded(r.pick_or_raw(kWidths), 1024);
    const int32_t h = bounded(r.pick_or_raw(kHeights), 512);
    const int32_t luma_stride = std::max(w, 0) + r.u8() % 20;
    const int32_t chroma_stride = std::max(w / 2, 0) + r.u8() % 12;
    const int32_t pair_step = r.pick<int32_t>({4, 4, 4, 5, 8, 12});
    const int32_t cells = w / 2;
    const int32_t pad = r.u8() % 16;
    const int32_t dst_stride = (cells > 0 ? (cells - 1) * pair_step + 4 : 4) + pad;

    const bool converts = w >= 2 && h >= 2;
    const int32_t rows = converts ? planar_rows_written(h) : 0;
    // The planes the header describes, and the rows the conversion writes.
    Bytes y(converts ? static_cast<size_t>(h - 1) * luma_stride + w : 0);
    Bytes u(converts ? static_cast<size_t>(h / 2 - 1) * chroma_stride + cells : 0);
    Bytes v(converts ? static_cast<size_t>(h / 2 - 1) * chroma_stride + cells : 0);
    y.fill(r.u8(), r.u8());
    u.fill(r.u8(), r.u8());
    v.fill(r.u8(), r.u8());
    const size_t dst_size = converts ? static_cast<size_t>(rows - 1) * dst_stride + (cells - 1) * pair_step + 4 : 0;
    constexpr uint8_t kUntouched = 0xC5;

    for (const UyvyKernels* k : kernel_tables()) {
        Bytes dst(dst_size);
        std::memset(dst.p, kUntouched, dst.n);
        planar_to_packed_with(*k, dst.p, y.p, u.p, v.p, luma_stride, chroma_stride, w, h, pair_step, dst_stride);
        if (!converts) continue;
        const std::string level =
            std::string(" (") + k->name + ", " + std::to_string(w) + " x " + std::to_string(h) + ")";
        std::vector<uint8_t> cell_byte(dst.n, 0);
        const int32_t last_chroma = h / 2 - 1;
        auto chroma = [&](const Bytes& plane, int32_t j, int32_t i) {
            return chroma_at(plane.p, chroma_stride, last_chroma, j, i);
        };
        for (int32_t row = 0; row < rows; ++row) {
            const uint8_t* luma = y.p + static_cast<size_t>(std::min(row, h - 1)) * luma_stride;
            for (int32_t i = 0; i < cells; ++i) {
                uint8_t cu, cv;
                if (row % 2 == 0) {
                    cu = chroma(u, row / 2, i);
                    cv = chroma(v, row / 2, i);
                } else {
                    const int32_t j = (row - 1) / 2;
                    cu = interpolated(chroma(u, j - 1, i), chroma(u, j, i), chroma(u, j + 1, i), chroma(u, j + 2, i));
                    cv = interpolated(chroma(v, j - 1, i), chroma(v, j, i), chroma(v, j + 1, i), chroma(v, j + 2, i));
                }
                const size_t at = static_cast<size_t>(row) * dst_stride + static_cast<size_t>(i) * pair_step;
                const uint8_t want[4] = {cu, luma[2 * i], cv, luma[2 * i + 1]};
                for (int b = 0; b < 4; ++b) {
                    VORFUZZ_CHECK(kTarget, dst.p[at + b] == want[b],
                                  "row " + std::to_string(row) + " cell " + std::to_string(i) + " byte " +
                                      std::to_string(b) + level);
                    cell_byte[at + b] = 1;
                }
            }
        }
        for (size_t i = 0; i < dst.n; ++i)
            if (!cell_byte[i])
                VORFUZZ_CHECK(kTarget, dst.p[i] == kUntouched, "a byte between cells was written" + level);
    }
}

// The YUY2 swap at every level: the bytes of each whole 16-bit unit trade
// places, a stray last byte is copied.
VORFUZZ_UNTRACED void fuzz_swap(vorfuzz::Reader& r) {
    Bytes src(r.u16() % 4099);
    src.fill(r.u8(), r.u8());
    for (const UyvyKernels* k : kernel_tables()) {
        Bytes dst(src.n);
        k->swap16(dst.p, src.p, src.n);
        for (size_t i = 0; i < src.n; ++i) {
            const size_t from = i + 1 < src.n || src.n % 2 == 0 ? i ^ 1 : i;
            VORFUZZ_CHECK(kTarget, dst.p[i] == src.p[from],
                          std::string("swap level ") + k->name + ", " + std::to_string(src.n) + " bytes");
        }
    }
}

// ---------------------------------------------------------------- callback

const int32_t kFrameWidths[] = {8, 6, 4, 2, 1, 3, 5, 7, 9, 17, 33, 64, 65, 320, 0, -1, -8, INT32_MAX, INT32_MIN};
const int32_t kFrameHeights[] = {6,  4,   2, 1,  3,  5,  7,  8,    9,         12,       13,
                                 16, 240, 0, -1, -2, -5, -6, -240, INT32_MAX, INT32_MIN};
const GUID kSubtypes[] = {MEDIASUBTYPE_RGB32, MEDIASUBTYPE_UYVY, MEDIASUBTYPE_YUY2,
                          MEDIASUBTYPE_I420,  MEDIASUBTYPE_YV12, MEDIASUBTYPE_RGB24};

// How many bytes a frame of the type would take, for picking sample sizes
// around it (0 when the type makes no sense).
int64_t frame_bytes(const StandInGrabber& t) {
    const int64_t w = t.width, h = t.height < 0 ? -int64_t(t.height) : t.height;
    if (w < 1 || h < 1) return 0;
    if (w > (1 << 20) || h > (1 << 20)) return int64_t(1) << 42;  // far beyond any sample
    if (t.subtype == MEDIASUBTYPE_I420 || t.subtype == MEDIASUBTYPE_YV12) return w * h + 2 * (w * h / 4);
    if (t.subtype == MEDIASUBTYPE_UYVY || t.subtype == MEDIASUBTYPE_YUY2) return 2 * w * h;
    if (t.subtype == MEDIASUBTYPE_RGB24) return 3 * w * h;
    return 4 * w * h;
}

void send(void* box, const char* message, std::initializer_list<long> values) {
    std::vector<t_atom> atoms(values.size());
    size_t i = 0;
    for (long v : values) atom_setlong(&atoms[i++], v);
    object_send(box, gensym(message), static_cast<long>(atoms.size()), atoms.empty() ? nullptr : atoms.data());
    hox_host_run_queue();
}

VORFUZZ_UNTRACED std::vector<uint8_t> frame_buffer(t_grabber* g) {
    const auto* p = reinterpret_cast<const uint8_t*>(g->framebuf);
    return p ? std::vector<uint8_t>(p, p + sysmem_ptrsize(g->framebuf)) : std::vector<uint8_t>{};
}

// What the frame buffer must hold after one sample.
VORFUZZ_UNTRACED void check_frame_buffer(t_grabber* g, const std::vector<uint8_t>& before, const Bytes& in,
                                          const StandInGrabber& t, bool pointer_fails) {
    const std::vector<uint8_t> now = frame_buffer(g);
    if (in.n == 0 || pointer_fails) {
        VORFUZZ_CHECK(kTarget, now == before, "a sample without data changed the frame buffer");
        return;
    }
    const bool planar = g->subtype == MEDIASUBTYPE_I420 || g->subtype == MEDIASUBTYPE_YV12;
    if (!planar) {
        VORFUZZ_CHECK(kTarget, now.size() == in.n, "the frame buffer is not the sample's size");
        // YUY2 swaps the bytes of each whole 16-bit unit; a stray last byte stays.
        const bool swapped = g->subtype == MEDIASUBTYPE_YUY2;
        const size_t pairs_end = in.n - in.n % 2;
        for (size_t i = 0; i < in.n; ++i) {
            const size_t from = swapped && i < pairs_end ? i ^ 1 : i;
            VORFUZZ_CHECK(kTarget, now[i] == in.p[from],
                          "frame buffer byte " + std::to_string(i) + " is not the sample's");
        }
        return;
    }
    const bool video_info = t.formattype == FORMAT_VideoInfo && t.format_size >= sizeof(VIDEOINFOHEADER);
    const int64_t w = t.width, h = t.height;
    const bool whole = video_info && w >= 2 && h >= 2 && w * h <= (int64_t(1) << 28) &&
                       static_cast<int64_t>(in.n) >= w * h + 2 * (w * h / 4);
    if (!whole) {
        VORFUZZ_CHECK(kTarget, now == before, "a planar sample that is skipped changed the frame buffer");
        return;
    }
    const int32_t cells = static_cast<int32_t>(w / 2), stride = 4 * cells;
    VORFUZZ_CHECK(kTarget, now.size() == static_cast<size_t>(stride) * static_cast<size_t>(h) * 4,
                  "the frame buffer of a planar frame is not four frames of packed rows");
    const int32_t a = static_cast<int32_t>(w * h), q = a / 4;
    const uint8_t* u = in.p + a;
    const uint8_t* v = in.p + a + q;
    if (g->subtype == MEDIASUBTYPE_YV12) std::swap(u, v);
    std::vector<uint8_t> want(now.size(), 0);
    planar_to_packed_with(*uyvy_kernels(CpuLevel::reference), want.data(), in.p, u, v, static_cast<int32_t>(w), cells,
                          static_cast<int32_t>(w), static_cast<int32_t>(h), 4, stride);
    const size_t written = static_cast<size_t>(planar_rows_written(static_cast<int32_t>(h))) * stride;
    VORFUZZ_CHECK(kTarget, std::equal(want.begin(), want.begin() + static_cast<long>(written), now.begin()),
                  "the converted frame differs from the reference conversion");
}

void fuzz_callback(vorfuzz::Reader& r) {
    // A box of a small output size (0 0: the output follows the frame).
    const long out_w = static_cast<long>(r.u8() % 40), out_h = static_cast<long>(r.u8() % 30);
    t_atom args[2];
    atom_setlong(&args[0], out_w);
    atom_setlong(&args[1], out_h);
    void* box = object_new_typed(gensym("box"), gensym("vor.dx.grab"), 2, args);
    hox_host_run_queue();
    VORFUZZ_CHECK(kTarget, box != nullptr, "no box");
    auto* g = static_cast<t_grabber*>(hox_vor_obex_vorob_get(box));

    const bool uyvy = r.flag();
    if (uyvy) {
        t_atom mode;
        atom_setsym(&mode, gensym("uyvy"));
        object_send(box, gensym("colormode"), 1, &mode);
        hox_host_run_queue();
    }
    // The output's settings.
    send(box, "adapt", {r.u8() % 2});
    send(box, "interp", {r.u8() % 2});
    send(box, "usesrcrect", {r.u8() % 2});
    send(box, "usedstrect", {r.u8() % 2});
    send(box, "srcrect",
         {r.pick<long>({0, 1, -1, 3, 7}), r.pick<long>({0, 1, -1, 2, 5}), r.pick<long>({8, 1, -1, 320, 3}),
          r.pick<long>({6, 1, -1, 240, 2})});
    send(box, "dstrect",
         {r.pick<long>({0, 1, -1, 3}), r.pick<long>({0, 1, -1, 2}), r.pick<long>({8, 1, -1, 40, 3}),
          r.pick<long>({6, 1, -1, 30, 2})});
    send(box, "unique", {r.u8() % 2});
    send(box, "dropreport", {r.u8() % 2});
    send(box, "optimize", {r.u8() % 2});
    send(box, "output_texture", {r.u8() % 3 == 0 ? 1 : 0});

    StandInGrabber grabber;
    StandInGrabber& t = grabber;
    if (uyvy) {
        t.subtype = r.pick<GUID>({MEDIASUBTYPE_UYVY, MEDIASUBTYPE_YUY2, MEDIASUBTYPE_I420, MEDIASUBTYPE_YV12});
    } else {
        t.subtype = r.u8() % 8 == 0 ? r.pick(kSubtypes) : MEDIASUBTYPE_RGB32;
    }
    // The callback and the output follow the subtype the graph connected.
    g->subtype = t.subtype == MEDIASUBTYPE_RGB24 ? MEDIASUBTYPE_RGB32 : t.subtype;
    switch (r.u8() % 8) {
    case 0: t.formattype = FORMAT_VideoInfo2; break;
    case 1: t.format_size = static_cast<uint32_t>(r.u8() % sizeof(VIDEOINFOHEADER)); break;
    case 2: t.format_size = static_cast<uint32_t>(sizeof(VIDEOINFOHEADER) + r.u8()); break;
    default: break;
    }
    t.width = r.pick_or_raw(kFrameWidths);
    t.height = r.pick_or_raw(kFrameHeights);

    // The box is open on a graph of its own, with our Sample Grabber.
    IGraphBuilder* graph = nullptr;
    VORFUZZ_CHECK(kTarget,
                  SUCCEEDED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder,
                                             reinterpret_cast<void**>(&graph))),
                  "no filter graph");
    g->graph = graph;
    g->samplegrabber = &grabber;
    g->state = GRAB_OPEN;
    g->suspended = 0;

    const int samples = 1 + r.u8() % 3;
    for (int i = 0; i < samples && !r.empty(); ++i) {
        const int64_t full = frame_bytes(t);
        int64_t size;
        switch (r.u8() % 6) {
        case 0: size = full; break;
        case 1: size = full - 1 - r.u8() % 16; break;
        case 2: size = full + r.u8() % 16; break;
        case 3: size = full / 2; break;
        case 4: size = r.u8(); break;
        default: size = r.u16(); break;
        }
        size = std::clamp<int64_t>(size, 0, int64_t(1) << 20);
        const bool pointer_fails = r.u8() % 16 == 0;
        Bytes bytes(static_cast<size_t>(size));
        bytes.fill(r.u8(), r.u8());
        ViewSample sample(bytes.p, static_cast<LONG>(bytes.n));
        sample.pointer_fails = pointer_fails;
        const std::vector<uint8_t> before = frame_buffer(g);
        VORFUZZ_CHECK(kTarget, g->callback->SampleCB(0.0, &sample) == S_OK, "the callback failed");
        check_frame_buffer(g, before, bytes, t, pointer_fails);
        grabber.buffer = static_cast<LONG>(size);
        if (r.u8() % 4 != 0) send(box, "bang", {});
        if (r.u8() % 4 == 0) send(box, "clear", {});
    }

    // The graph and the Sample Grabber are ours again before the box goes.
    g->samplegrabber = nullptr;
    g->graph = nullptr;
    g->state = GRAB_CLOSED;
    graph->Release();
    object_free(box);
    hox_host_run_queue();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The console would print every report of every input.
    hox_host_set_console([](void*, void*, t_hox_console_kind, const char*) {}, nullptr);
    hox_host_set_outlet_sink([](void*, void*, long, bool, t_symbol*, long, t_atom*) {}, nullptr);
    ext_main();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vorfuzz::Reader r(data, size);
    fuzz_conversion(r);
    if (!r.empty()) fuzz_callback(r);
    fuzz_swap(r);
    vorfuzz::check_leaks_every(512);
    return 0;
}
