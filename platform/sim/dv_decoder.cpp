// The DV Video Decoder and IIPDVDec.
#include "dv_decoder.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "class_registry.h"
#include "colour_converter_base.h"
#include "devices/pattern.h"
#include "transform_registry.h"

namespace vorsim {

namespace {

constexpr REFERENCE_TIME kNtscInterval = 333667;
constexpr REFERENCE_TIME kPalInterval = 400000;
constexpr DWORD kFiftyFieldFlag = 0x00200000;  // dwDVVAuxSrc: 625/50 system

// Sample sizes that mean PAL: a real DV frame, and the sim's payload.
constexpr ULONG kPalDvFrame = 144000;
constexpr ULONG kPalPayload = static_cast<ULONG>(kDvHeaderSize + 720 * 576 * 2);

}  // namespace

bool dv_picture(const AM_MEDIA_TYPE& mt, int& width, int& height, REFERENCE_TIME& frame_interval) {
    if (mt.subtype != MEDIASUBTYPE_dvsd) return false;
    if (mt.formattype == FORMAT_VideoInfo && mt.cbFormat >= sizeof(VIDEOINFOHEADER) && mt.pbFormat != nullptr) {
        VIDEOINFOHEADER vih;
        std::memcpy(&vih, mt.pbFormat, sizeof vih);
        const LONG w = vih.bmiHeader.biWidth, h = vih.bmiHeader.biHeight < 0 ? -vih.bmiHeader.biHeight
                                                                              : vih.bmiHeader.biHeight;
        if (w <= 0 || h <= 0 || w > 4096 || h > 4096) return false;
        width = static_cast<int>(w);
        height = static_cast<int>(h);
        frame_interval = vih.AvgTimePerFrame > 0 ? vih.AvgTimePerFrame : (h == 576 ? kPalInterval : kNtscInterval);
        return true;
    }
    if (mt.formattype == FORMAT_DvInfo && mt.cbFormat >= sizeof(DVINFO) && mt.pbFormat != nullptr) {
        DVINFO info;
        std::memcpy(&info, mt.pbFormat, sizeof info);
        const bool pal =
            (info.dwDVVAuxSrc & kFiftyFieldFlag) != 0 || mt.lSampleSize == kPalDvFrame || mt.lSampleSize == kPalPayload;
        width = 720;
        height = pal ? 576 : 480;
        frame_interval = pal ? kPalInterval : kNtscInterval;
        return true;
    }
    return false;
}

namespace {

bool accepts(const AM_MEDIA_TYPE& mt) {
    int w = 0, h = 0;
    REFERENCE_TIME interval = 0;
    return mt.majortype == MEDIATYPE_Video && dv_picture(mt, w, h, interval);
}

void display_size(int display, int width, int height, int& out_w, int& out_h) {
    switch (display) {
        case DVRESOLUTION_HALF: out_w = width / 2, out_h = height / 2; break;
        case DVRESOLUTION_QUARTER: out_w = width / 4, out_h = height / 4; break;
        case DVRESOLUTION_DC: out_w = width * 11 / 90, out_h = height / 8; break;
        default: out_w = width, out_h = height; break;
    }
    out_w = std::max(out_w & ~1, 2);  // whole UYVY pairs
    out_h = std::max(out_h, 1);
}

constexpr GUID kOffered[] = {MEDIASUBTYPE_RGB32, MEDIASUBTYPE_RGB24, MEDIASUBTYPE_UYVY, MEDIASUBTYPE_YUY2};

class DvDecoder final : public ConverterFilter<IIPDVDec> {
public:
    DvDecoder() : ConverterFilter<IIPDVDec>(CLSID_DVVideoCodec) {}

    // IIPDVDec.
    HRESULT STDMETHODCALLTYPE get_IPDisplay(int* displayPix) override {
        if (displayPix == nullptr) return E_POINTER;
        *displayPix = display_.load();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_IPDisplay(int displayPix) override {
        if (displayPix < DVRESOLUTION_FULL || displayPix > DVRESOLUTION_DC) return E_INVALIDARG;
        std::lock_guard<std::recursive_mutex> lock(filter_lock());
        if (state() != State_Stopped) return E_FAIL;
        display_.store(displayPix);
        return S_OK;
    }

    // Converter.
    HRESULT check_input(const AM_MEDIA_TYPE& mt) const override { return accepts(mt) ? S_OK : S_FALSE; }

    std::vector<MediaType> output_types(const AM_MEDIA_TYPE& input) const override {
        int w = 0, h = 0, out_w = 0, out_h = 0;
        REFERENCE_TIME interval = 0;
        if (!dv_picture(input, w, h, interval)) return {};
        display_size(display_.load(), w, h, out_w, out_h);
        std::vector<MediaType> types;
        for (const GUID& subtype : kOffered) types.push_back(converter_output_type(subtype, out_w, out_h, interval));
        return types;
    }

    HRESULT prepare(const AM_MEDIA_TYPE& input, const AM_MEDIA_TYPE& output) override {
        VideoFormat out;
        if (!accepts(input) || !read_video_format(output, out) || out.top_down) return VFW_E_TYPE_NOT_ACCEPTED;
        if (const auto layout = rgb_layout_of(output.subtype)) {
            if (*layout != pixels::RgbLayout::rgb32 && *layout != pixels::RgbLayout::rgb24)
                return VFW_E_TYPE_NOT_ACCEPTED;
            rgb_ = layout;
            stride_ = pixels::rgb_stride(out.width, pixels::rgb_bits(*layout));
        } else if (output.subtype == MEDIASUBTYPE_UYVY || output.subtype == MEDIASUBTYPE_YUY2) {
            if (out.width % 2 != 0) return VFW_E_TYPE_NOT_ACCEPTED;
            rgb_.reset();
            yuy2_ = output.subtype == MEDIASUBTYPE_YUY2;
            stride_ = static_cast<size_t>(out.width) * 2;
        } else {
            return VFW_E_TYPE_NOT_ACCEPTED;
        }
        out_ = out;
        row_.assign(static_cast<size_t>(out.width), pixels::Bgra{});
        return S_OK;
    }

    HRESULT convert(IMediaSample* in, IMediaSample* out) override {
        BYTE* src = nullptr;
        BYTE* dst = nullptr;
        if (FAILED(in->GetPointer(&src)) || FAILED(out->GetPointer(&dst))) return E_POINTER;
        const LONG length = in->GetActualDataLength();
        DvFrameHeader header;
        const uint8_t* picture = nullptr;
        if (length <= 0 || !read_dv_frame(src, static_cast<size_t>(length), header, picture)) return S_FALSE;
        if (header.width < 2 || header.height < 1 || header.width > 4096 || header.height > 4096) return S_FALSE;
        const int src_w = static_cast<int>(header.width), src_h = static_cast<int>(header.height);
        const size_t src_stride = static_cast<size_t>((src_w + 1) / 2) * 4;
        const int w = out_.width, h = out_.height;
        const size_t out_size = stride_ * static_cast<size_t>(h);
        if (static_cast<size_t>(out->GetSize()) < out_size) return S_FALSE;
        const size_t used = rgb_ ? static_cast<size_t>(w) * static_cast<size_t>(pixels::rgb_bits(*rgb_)) / 8 : stride_;
        for (int y = 0; y < h; ++y) {  // y: picture row, top first
            const uint8_t* s = picture + static_cast<size_t>(pixels::resample_source(y, src_h, h)) * src_stride;
            if (rgb_) {
                BYTE* d = dst + static_cast<size_t>(h - 1 - y) * stride_;
                pixels::uyvy_row_resample_to_bgra(s, src_w, row_.data(), w);
                pixels::bgra_row_to_rgb(*rgb_, row_.data(), d, w);
                std::fill(d + used, d + stride_, BYTE{0});
            } else if (yuy2_) {
                pixels::uyvy_row_resample_to_yuy2(s, src_w, dst + static_cast<size_t>(y) * stride_, w);
            } else {
                pixels::uyvy_row_resample_to_uyvy(s, src_w, dst + static_cast<size_t>(y) * stride_, w);
            }
        }
        out->SetActualDataLength(static_cast<LONG>(out_size));
        return S_OK;
    }

private:
    std::atomic<int> display_{DVRESOLUTION_HALF};
    // Set by prepare() before streaming; read on the streaming thread.
    VideoFormat out_;
    std::optional<pixels::RgbLayout> rgb_;
    bool yuy2_ = false;
    size_t stride_ = 0;
    std::vector<pixels::Bgra> row_;
};

const ClassRegistration registration(CLSID_DVVideoCodec, "DVVideoCodec", &create_instance<DvDecoder>);
const TransformRegistration transform({CLSID_DVVideoCodec, u"DV Video Decoder", &accepts, 0x00800000});

}  // namespace
}  // namespace vorsim
