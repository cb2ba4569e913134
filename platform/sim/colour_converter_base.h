// What the sim's video converters share (Color Space Converter, AVI
// Decompressor, MJPEG Decompressor, DV Video Decoder): an input pin
// "XForm In", an output pin "XForm Out", and a Receive that converts each
// input sample into a sample of the output pin's pool and delivers it.
//
// A converter fills in hooks:
//   check_input(mt)          S_OK when the input pin takes mt
//   output_types(input)      what the output pin offers for that input,
//                            preferred first (the input's size and frame
//                            interval carried over)
//   prepare(input, output)   when the filter leaves Stopped with both pins
//                            connected: check the pair and make any scratch
//                            memory, so that streaming allocates nothing
//   convert(in, out)         on the streaming thread, under the streaming
//                            lock: fill out and set its data length; S_OK to
//                            deliver it, anything else drops the frame
// The output pin offers nothing and accepts nothing until the input is
// connected; it accepts a type whose major type, subtype, format type,
// width, height and bit count equal one it offers. Times, sync point,
// preroll and discontinuity go from the input sample to the output sample.
//
// Also here: reading a VIDEOINFOHEADER type and making the types the
// converters offer.
#pragma once

#include <vector>

#include <optional>

#include "filter_base.h"
#include "pin_base.h"
#include "pixel_kernels.h"

namespace vorsim {

// A FORMAT_VideoInfo video type, as the converters read it.
struct VideoFormat {
    GUID subtype{};
    int width = 0;
    int height = 0;         // always positive
    bool top_down = false;  // negative biHeight
    WORD bit_count = 0;
    DWORD compression = 0;
    DWORD image_size = 0;
    REFERENCE_TIME frame_interval = 0;
};
// False unless mt is MEDIATYPE_Video / FORMAT_VideoInfo with a whole
// VIDEOINFOHEADER and a non-zero size.
bool read_video_format(const AM_MEDIA_TYPE& mt, VideoFormat& out);

// The types converters offer: bottom-up RGB (RGB565 with its bit masks
// after the header), or packed YUV (UYVY, YUY2), with rcSource/rcTarget
// covering the frame. Throws std::bad_alloc.
MediaType converter_output_type(const GUID& subtype, int width, int height, REFERENCE_TIME frame_interval);
// Bit count of those subtypes (0 for others).
WORD converter_bit_count(const GUID& subtype);
// The row layout of an RGB subtype (RGB24, RGB32, ARGB32, RGB555, RGB565).
std::optional<pixels::RgbLayout> rgb_layout_of(const GUID& subtype);

class Converter {
public:
    virtual ~Converter() = default;
    virtual HRESULT check_input(const AM_MEDIA_TYPE& mt) const = 0;
    virtual std::vector<MediaType> output_types(const AM_MEDIA_TYPE& input) const = 0;
    virtual HRESULT prepare(const AM_MEDIA_TYPE& input, const AM_MEDIA_TYPE& output) = 0;
    virtual HRESULT convert(IMediaSample* in, IMediaSample* out) = 0;
};

// The two pins and the streaming path, for a filter that is a Converter.
class ConverterPins {
public:
    ConverterPins(FilterCore& filter, Converter& converter);

    PinCore* input() const { return input_; }
    PinCore* output() const { return output_; }
    // From the filter's on_pause: prepare when leaving Stopped with both
    // pins connected.
    HRESULT on_pause(FILTER_STATE from);

private:
    class In;
    class Out;
    HRESULT receive(IMediaSample* sample);
    HRESULT end_of_stream();

    Converter& converter_;  // non-owning: the filter is the converter
    PinCore* input_;        // owned by the filter
    PinCore* output_;       // owned by the filter
};

// A converter filter: IBaseFilter (plus Extra interfaces) with the two pins.
template <class... Extra>
class ConverterFilter : public Filter<Extra...>, public Converter {
public:
    explicit ConverterFilter(const CLSID& clsid) : Filter<Extra...>(clsid), pins_(*this, *this) {}

    PinCore* input_pin() const { return pins_.input(); }
    PinCore* output_pin() const { return pins_.output(); }

protected:
    HRESULT on_pause(FILTER_STATE from) override { return pins_.on_pause(from); }

private:
    ConverterPins pins_;
};

}  // namespace vorsim
