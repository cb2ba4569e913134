// Color Space Converter (CLSID_Colour): RGB to RGB only.
//
// In: RGB24, RGB32, ARGB32, RGB555, RGB565 (FORMAT_VideoInfo), bottom-up or
// top-down, rows padded to 4 bytes. Out: the same five, at the input's size
// and frame interval, always bottom-up, offered RGB32, RGB24, ARGB32,
// RGB565, RGB555. Pixel values follow pixel_kernels.h (RGB32's unused byte
// is written as 255; alpha survives only ARGB32 to ARGB32); row padding is
// written as zeros.
#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "class_registry.h"
#include "colour_converter_base.h"
#include "transform_registry.h"

namespace vorsim {
namespace {

constexpr GUID kOffered[] = {MEDIASUBTYPE_RGB32, MEDIASUBTYPE_RGB24, MEDIASUBTYPE_ARGB32, MEDIASUBTYPE_RGB565,
                             MEDIASUBTYPE_RGB555};

bool rgb_input(const AM_MEDIA_TYPE& mt, VideoFormat& format, pixels::RgbLayout& layout) {
    if (!read_video_format(mt, format)) return false;
    const auto found = rgb_layout_of(mt.subtype);
    if (!found || format.bit_count != pixels::rgb_bits(*found)) return false;
    if (format.compression != BI_RGB && format.compression != BI_BITFIELDS) return false;
    layout = *found;
    return true;
}

bool accepts(const AM_MEDIA_TYPE& mt) {
    VideoFormat format;
    pixels::RgbLayout layout;
    return rgb_input(mt, format, layout);
}

class ColourConverter final : public ConverterFilter<> {
public:
    ColourConverter() : ConverterFilter<>(CLSID_Colour) {}

    HRESULT check_input(const AM_MEDIA_TYPE& mt) const override { return accepts(mt) ? S_OK : S_FALSE; }

    std::vector<MediaType> output_types(const AM_MEDIA_TYPE& input) const override {
        VideoFormat in;
        pixels::RgbLayout layout;
        if (!rgb_input(input, in, layout)) return {};
        std::vector<MediaType> types;
        for (const GUID& subtype : kOffered)
            types.push_back(converter_output_type(subtype, in.width, in.height, in.frame_interval));
        return types;
    }

    HRESULT prepare(const AM_MEDIA_TYPE& input, const AM_MEDIA_TYPE& output) override {
        VideoFormat out;
        if (!rgb_input(input, in_, in_layout_) || !read_video_format(output, out)) return VFW_E_TYPE_NOT_ACCEPTED;
        const auto layout = rgb_layout_of(output.subtype);
        if (!layout || out.width != in_.width || out.height != in_.height || out.top_down)
            return VFW_E_TYPE_NOT_ACCEPTED;
        out_layout_ = *layout;
        in_stride_ = pixels::rgb_stride(in_.width, pixels::rgb_bits(in_layout_));
        out_stride_ = pixels::rgb_stride(in_.width, pixels::rgb_bits(out_layout_));
        row_.assign(static_cast<size_t>(in_.width), pixels::Bgra{});
        return S_OK;
    }

    HRESULT convert(IMediaSample* in, IMediaSample* out) override {
        const size_t h = static_cast<size_t>(in_.height);
        const size_t in_size = in_stride_ * h, out_size = out_stride_ * h;
        BYTE* src = nullptr;
        BYTE* dst = nullptr;
        if (FAILED(in->GetPointer(&src)) || FAILED(out->GetPointer(&dst))) return E_POINTER;
        if (static_cast<size_t>(in->GetActualDataLength()) < in_size ||
            static_cast<size_t>(out->GetSize()) < out_size)
            return S_FALSE;
        const size_t used = static_cast<size_t>(in_.width) * pixels::rgb_bits(out_layout_) / 8;
        for (size_t y = 0; y < h; ++y) {  // y: picture row, top first
            const BYTE* s = src + (in_.top_down ? y : h - 1 - y) * in_stride_;
            BYTE* d = dst + (h - 1 - y) * out_stride_;
            pixels::rgb_row_to_bgra(in_layout_, s, row_.data(), in_.width);
            pixels::bgra_row_to_rgb(out_layout_, row_.data(), d, in_.width);
            std::fill(d + used, d + out_stride_, BYTE{0});
        }
        out->SetActualDataLength(static_cast<LONG>(out_size));
        return S_OK;
    }

private:
    // Set by prepare() before streaming; read on the streaming thread.
    VideoFormat in_;
    pixels::RgbLayout in_layout_ = pixels::RgbLayout::rgb32;
    pixels::RgbLayout out_layout_ = pixels::RgbLayout::rgb32;
    size_t in_stride_ = 0;
    size_t out_stride_ = 0;
    std::vector<pixels::Bgra> row_;
};

const ClassRegistration registration(CLSID_Colour, "Colour", &create_instance<ColourConverter>);
const TransformRegistration transform({CLSID_Colour, u"Color Space Converter", &accepts, 0x00400001});

}  // namespace
}  // namespace vorsim
