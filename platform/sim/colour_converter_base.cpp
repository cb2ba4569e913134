// The converters' shared pins and streaming path.
#include "colour_converter_base.h"

#include <cstring>
#include <memory>
#include <new>


namespace vorsim {

bool read_video_format(const AM_MEDIA_TYPE& mt, VideoFormat& out) {
    if (mt.majortype != MEDIATYPE_Video || mt.formattype != FORMAT_VideoInfo) return false;
    if (mt.cbFormat < sizeof(VIDEOINFOHEADER) || mt.pbFormat == nullptr) return false;
    VIDEOINFOHEADER vih;
    std::memcpy(&vih, mt.pbFormat, sizeof vih);
    const LONG w = vih.bmiHeader.biWidth, h = vih.bmiHeader.biHeight;
    if (w <= 0 || h == 0 || w > 65536 || h > 65536 || h < -65536) return false;
    out.subtype = mt.subtype;
    out.width = static_cast<int>(w);
    out.height = static_cast<int>(h < 0 ? -h : h);
    out.top_down = h < 0;
    out.bit_count = vih.bmiHeader.biBitCount;
    out.compression = vih.bmiHeader.biCompression;
    out.image_size = vih.bmiHeader.biSizeImage;
    out.frame_interval = vih.AvgTimePerFrame;
    return true;
}

WORD converter_bit_count(const GUID& subtype) {
    if (subtype == MEDIASUBTYPE_RGB32 || subtype == MEDIASUBTYPE_ARGB32) return 32;
    if (subtype == MEDIASUBTYPE_RGB24) return 24;
    if (subtype == MEDIASUBTYPE_RGB565 || subtype == MEDIASUBTYPE_RGB555 || subtype == MEDIASUBTYPE_UYVY ||
        subtype == MEDIASUBTYPE_YUY2)
        return 16;
    return 0;
}

std::optional<pixels::RgbLayout> rgb_layout_of(const GUID& subtype) {
    if (subtype == MEDIASUBTYPE_RGB24) return pixels::RgbLayout::rgb24;
    if (subtype == MEDIASUBTYPE_RGB32) return pixels::RgbLayout::rgb32;
    if (subtype == MEDIASUBTYPE_ARGB32) return pixels::RgbLayout::argb32;
    if (subtype == MEDIASUBTYPE_RGB555) return pixels::RgbLayout::rgb555;
    if (subtype == MEDIASUBTYPE_RGB565) return pixels::RgbLayout::rgb565;
    return std::nullopt;
}

MediaType converter_output_type(const GUID& subtype, int width, int height, REFERENCE_TIME frame_interval) {
    const bool packed_yuv = subtype == MEDIASUBTYPE_UYVY || subtype == MEDIASUBTYPE_YUY2;
    const WORD bits = converter_bit_count(subtype);
    const size_t stride =
        packed_yuv ? static_cast<size_t>((width + 1) / 2) * 4 : pixels::rgb_stride(width, bits);
    const bool bitfields = subtype == MEDIASUBTYPE_RGB565;

    // VIDEOINFOHEADER, then for RGB565 the three colour masks.
    BYTE block[sizeof(VIDEOINFOHEADER) + 3 * sizeof(DWORD)] = {};
    VIDEOINFOHEADER vih;
    std::memset(&vih, 0, sizeof vih);
    vih.rcSource = RECT{0, 0, width, height};
    vih.rcTarget = RECT{0, 0, width, height};
    vih.AvgTimePerFrame = frame_interval;
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = width;
    vih.bmiHeader.biHeight = height;
    vih.bmiHeader.biPlanes = 1;
    vih.bmiHeader.biBitCount = bits;
    vih.bmiHeader.biCompression = packed_yuv ? subtype.Data1 : (bitfields ? BI_BITFIELDS : BI_RGB);
    vih.bmiHeader.biSizeImage = static_cast<DWORD>(stride * static_cast<size_t>(height));
    if (frame_interval > 0)
        vih.dwBitRate = static_cast<DWORD>(static_cast<long long>(vih.bmiHeader.biSizeImage) * 8 * 10000000LL /
                                           frame_interval);
    std::memcpy(block, &vih, sizeof vih);
    size_t block_size = sizeof vih;
    if (bitfields) {
        const DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
        std::memcpy(block + sizeof vih, masks, sizeof masks);
        block_size += sizeof masks;
    }

    MediaType type;
    type->majortype = MEDIATYPE_Video;
    type->subtype = subtype;
    type->bFixedSizeSamples = TRUE;
    type->bTemporalCompression = FALSE;
    type->lSampleSize = vih.bmiHeader.biSizeImage;
    type.set_format(FORMAT_VideoInfo, block, block_size);
    return type;
}

namespace {

bool same_picture(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b) {
    VideoFormat fa, fb;
    if (!read_video_format(a, fa) || !read_video_format(b, fb)) return false;
    return a.subtype == b.subtype && fa.width == fb.width && fa.height == fb.height && fa.top_down == fb.top_down &&
           fa.bit_count == fb.bit_count;
}

}  // namespace

class ConverterPins::In final : public InputPin<> {
public:
    In(FilterCore& filter, ConverterPins& pins) : InputPin<>(filter, u"XForm In", u"XForm In"), pins_(pins) {}

protected:
    HRESULT check_media_type(const AM_MEDIA_TYPE& mt) const override {
        return pins_.converter_.check_input(mt) == S_OK ? S_OK : S_FALSE;
    }
    HRESULT on_receive(IMediaSample* sample) override { return pins_.receive(sample); }
    HRESULT on_end_of_stream() override { return pins_.end_of_stream(); }

private:
    ConverterPins& pins_;
};

class ConverterPins::Out final : public OutputPin<> {
public:
    Out(FilterCore& filter, ConverterPins& pins) : OutputPin<>(filter, u"XForm Out", u"XForm Out"), pins_(pins) {}

protected:
    std::vector<MediaType> media_types() const override {
        if (!pins_.input_->connected()) return {};
        const MediaType input = pins_.input_->connection_type();
        return pins_.converter_.output_types(input.get());
    }
    HRESULT check_media_type(const AM_MEDIA_TYPE& mt) const override {
        try {
            for (const MediaType& offered : media_types()) {
                if (mt.majortype == offered->majortype && mt.formattype == offered->formattype &&
                    same_picture(mt, offered.get()))
                    return S_OK;
            }
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_FALSE;
    }

private:
    ConverterPins& pins_;
};

ConverterPins::ConverterPins(FilterCore& filter, Converter& converter)
    : converter_(converter),
      input_(filter.add_pin(std::make_unique<In>(filter, *this))),
      output_(filter.add_pin(std::make_unique<Out>(filter, *this))) {}

HRESULT ConverterPins::on_pause(FILTER_STATE from) {
    if (from != State_Stopped || !input_->connected() || !output_->connected()) return S_OK;
    try {
        const MediaType in = input_->connection_type();
        const MediaType out = output_->connection_type();
        return converter_.prepare(in.get(), out.get());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT ConverterPins::receive(IMediaSample* sample) {
    // Connections cannot change while the filter is active (see pin_base.h),
    // and prepare() ran when it left Stopped.
    if (!output_->connected()) return S_OK;  // nobody to give the frame to
    IMediaSample* raw = nullptr;
    if (HRESULT hr = output_->get_delivery_buffer(&raw); FAILED(hr)) return hr;
    ComPtr<IMediaSample> out = ComPtr<IMediaSample>::adopt(raw);

    REFERENCE_TIME start = 0, stop = 0;
    const HRESULT timed = sample->GetTime(&start, &stop);
    if (timed == S_OK) {
        out->SetTime(&start, &stop);
    } else if (timed == VFW_S_NO_STOP_TIME) {
        out->SetTime(&start, nullptr);
    }
    out->SetSyncPoint(sample->IsSyncPoint() == S_OK);
    out->SetPreroll(sample->IsPreroll() == S_OK);
    out->SetDiscontinuity(sample->IsDiscontinuity() == S_OK);

    if (converter_.convert(sample, out.get()) != S_OK) return S_OK;  // a frame it cannot read is dropped
    return output_->deliver(out.get());
}

HRESULT ConverterPins::end_of_stream() {
    IPin* peer = output_->peer();
    return peer != nullptr ? peer->EndOfStream() : S_OK;
}

}  // namespace vorsim
