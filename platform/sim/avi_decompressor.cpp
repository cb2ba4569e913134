// AVI Decompressor (CLSID_AVIDec), standing in for the system's YUV codecs:
// UYVY, YUY2, I420 (IYUV) and YV12 in, RGB32 then RGB24 out (bottom-up, at
// the input's size and frame interval), through the BT.601 studio-range
// formula of pixel_kernels.h.
//
// Input layouts (always top-down): UYVY/YUY2 rows of (w + 1) / 2 pairs;
// I420 a Y plane of w x h, then Cb, then Cr planes of ((w + 1) / 2) x
// ((h + 1) / 2); YV12 the same with Cr before Cb. Devices only make even
// sizes; odd ones are taken with those rounded-up chroma sizes.
#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "class_registry.h"
#include "colour_converter_base.h"
#include "transform_registry.h"

namespace vorsim {
namespace {

enum class YuvLayout { uyvy, yuy2, i420, yv12 };

bool yuv_input(const AM_MEDIA_TYPE& mt, VideoFormat& format, YuvLayout& layout) {
    if (!read_video_format(mt, format) || format.top_down) return false;
    if (mt.subtype == MEDIASUBTYPE_UYVY) {
        layout = YuvLayout::uyvy;
    } else if (mt.subtype == MEDIASUBTYPE_YUY2) {
        layout = YuvLayout::yuy2;
    } else if (mt.subtype == MEDIASUBTYPE_I420 || mt.subtype == MEDIASUBTYPE_IYUV) {
        layout = YuvLayout::i420;
    } else if (mt.subtype == MEDIASUBTYPE_YV12) {
        layout = YuvLayout::yv12;
    } else {
        return false;
    }
    return format.compression == mt.subtype.Data1;
}

bool accepts(const AM_MEDIA_TYPE& mt) {
    VideoFormat format;
    YuvLayout layout;
    return yuv_input(mt, format, layout);
}

class AviDecompressor final : public ConverterFilter<> {
public:
    AviDecompressor() : ConverterFilter<>(CLSID_AVIDec) {}

    HRESULT check_input(const AM_MEDIA_TYPE& mt) const override { return accepts(mt) ? S_OK : S_FALSE; }

    std::vector<MediaType> output_types(const AM_MEDIA_TYPE& input) const override {
        VideoFormat in;
        YuvLayout layout;
        if (!yuv_input(input, in, layout)) return {};
        std::vector<MediaType> types;
        types.push_back(converter_output_type(MEDIASUBTYPE_RGB32, in.width, in.height, in.frame_interval));
        types.push_back(converter_output_type(MEDIASUBTYPE_RGB24, in.width, in.height, in.frame_interval));
        return types;
    }

    HRESULT prepare(const AM_MEDIA_TYPE& input, const AM_MEDIA_TYPE& output) override {
        VideoFormat out;
        if (!yuv_input(input, in_, in_layout_) || !read_video_format(output, out)) return VFW_E_TYPE_NOT_ACCEPTED;
        if (output.subtype != MEDIASUBTYPE_RGB32 && output.subtype != MEDIASUBTYPE_RGB24)
            return VFW_E_TYPE_NOT_ACCEPTED;
        if (out.width != in_.width || out.height != in_.height || out.top_down) return VFW_E_TYPE_NOT_ACCEPTED;
        out_layout_ = output.subtype == MEDIASUBTYPE_RGB32 ? pixels::RgbLayout::rgb32 : pixels::RgbLayout::rgb24;
        const size_t w = static_cast<size_t>(in_.width), h = static_cast<size_t>(in_.height);
        chroma_width_ = (w + 1) / 2;
        const size_t chroma_height = (h + 1) / 2;
        const bool packed = in_layout_ == YuvLayout::uyvy || in_layout_ == YuvLayout::yuy2;
        in_stride_ = packed ? chroma_width_ * 4 : w;
        in_size_ = packed ? in_stride_ * h : w * h + 2 * chroma_width_ * chroma_height;
        out_stride_ = pixels::rgb_stride(in_.width, pixels::rgb_bits(out_layout_));
        row_.assign(w, pixels::Bgra{});
        return S_OK;
    }

    HRESULT convert(IMediaSample* in, IMediaSample* out) override {
        const size_t w = static_cast<size_t>(in_.width), h = static_cast<size_t>(in_.height);
        const size_t out_size = out_stride_ * h;
        BYTE* src = nullptr;
        BYTE* dst = nullptr;
        if (FAILED(in->GetPointer(&src)) || FAILED(out->GetPointer(&dst))) return E_POINTER;
        if (static_cast<size_t>(in->GetActualDataLength()) < in_size_ ||
            static_cast<size_t>(out->GetSize()) < out_size)
            return S_FALSE;
        const size_t chroma_plane = chroma_width_ * ((h + 1) / 2);
        const BYTE* first_chroma = src + w * h;
        const BYTE* cb_plane = in_layout_ == YuvLayout::yv12 ? first_chroma + chroma_plane : first_chroma;
        const BYTE* cr_plane = in_layout_ == YuvLayout::yv12 ? first_chroma : first_chroma + chroma_plane;
        const size_t used = w * static_cast<size_t>(pixels::rgb_bits(out_layout_)) / 8;
        for (size_t y = 0; y < h; ++y) {  // y: picture row, top first
            switch (in_layout_) {
                case YuvLayout::uyvy: pixels::uyvy_row_to_bgra(src + y * in_stride_, row_.data(), in_.width); break;
                case YuvLayout::yuy2: pixels::yuy2_row_to_bgra(src + y * in_stride_, row_.data(), in_.width); break;
                case YuvLayout::i420:
                case YuvLayout::yv12:
                    pixels::planar_row_to_bgra(src + y * w, cb_plane + (y / 2) * chroma_width_,
                                               cr_plane + (y / 2) * chroma_width_, row_.data(), in_.width);
                    break;
            }
            BYTE* d = dst + (h - 1 - y) * out_stride_;
            pixels::bgra_row_to_rgb(out_layout_, row_.data(), d, in_.width);
            std::fill(d + used, d + out_stride_, BYTE{0});
        }
        out->SetActualDataLength(static_cast<LONG>(out_size));
        return S_OK;
    }

private:
    // Set by prepare() before streaming; read on the streaming thread.
    VideoFormat in_;
    YuvLayout in_layout_ = YuvLayout::uyvy;
    pixels::RgbLayout out_layout_ = pixels::RgbLayout::rgb32;
    size_t chroma_width_ = 0;
    size_t in_stride_ = 0;
    size_t in_size_ = 0;
    size_t out_stride_ = 0;
    std::vector<pixels::Bgra> row_;
};

const ClassRegistration registration(CLSID_AVIDec, "AVIDec", &create_instance<AviDecompressor>);
const TransformRegistration transform({CLSID_AVIDec, u"AVI Decompressor", &accepts, 0x005fffff});

}  // namespace
}  // namespace vorsim
