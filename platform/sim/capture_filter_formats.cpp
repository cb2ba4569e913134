// Media types of the virtual capture devices.
#include "capture_filter_formats.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <numeric>

namespace vorsim {
namespace {

// Not among the module's GUIDs: the MPEG-1 video format type.
constexpr GUID kFormatMpegVideo = {0x05589f82, 0xc356, 0x11ce, {0xbf, 0x01, 0x00, 0xaa, 0x00, 0x55, 0x59, 0x5a}};
constexpr DWORD kDv50Flag = 0x00200000;
constexpr int64_t kIntervalFactors[] = {1, 2, 3, 4, 6};

LONG abs_height(const VideoCaps& c) { return c.height < 0 ? -c.height : c.height; }

bool is_compressed(const VideoCaps& c) { return c.subtype == subtype::MJPG; }

void fill_header(const VideoCaps& c, REFERENCE_TIME interval, RECT& source, RECT& target, DWORD& bit_rate,
                 REFERENCE_TIME& avg, BITMAPINFOHEADER& bmi) {
    const size_t size = frame_size(frame_format(c));
    source = RECT{0, 0, c.width, abs_height(c)};
    target = source;
    avg = interval;
    const long long rate = interval > 0 ? static_cast<long long>(size) * 8 * 10000000LL / interval : 0;
    bit_rate = static_cast<DWORD>(std::min<long long>(rate, std::numeric_limits<DWORD>::max()));
    bmi.biSize = sizeof(BITMAPINFOHEADER);
    bmi.biWidth = c.width;
    bmi.biHeight = c.height;
    bmi.biPlanes = 1;
    bmi.biBitCount = bits_per_pixel(c.subtype);
    bmi.biCompression = c.compression;
    bmi.biSizeImage = static_cast<DWORD>(size);
}

const BITMAPINFOHEADER* header_of(const AM_MEDIA_TYPE& mt, REFERENCE_TIME& interval) {
    if (mt.pbFormat == nullptr) return nullptr;
    if ((mt.formattype == FORMAT_VideoInfo || mt.formattype == kFormatMpegVideo) &&
        mt.cbFormat >= sizeof(VIDEOINFOHEADER)) {
        const auto* v = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
        interval = v->AvgTimePerFrame;
        return &v->bmiHeader;
    }
    if (mt.formattype == FORMAT_VideoInfo2 && mt.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
        const auto* v = reinterpret_cast<const VIDEOINFOHEADER2*>(mt.pbFormat);
        interval = v->AvgTimePerFrame;
        return &v->bmiHeader;
    }
    return nullptr;
}

}  // namespace

GUID to_guid(const SubtypeId& id) {
    GUID g{id.d1, id.d2, id.d3, {}};
    std::memcpy(g.Data4, id.d4, sizeof g.Data4);
    return g;
}

const GUID& format_guid(FormatType f) {
    switch (f) {
    case FormatType::VideoInfo2: return FORMAT_VideoInfo2;
    case FormatType::Mpeg: return kFormatMpegVideo;
    case FormatType::DvInfo: return FORMAT_DvInfo;
    case FormatType::VideoInfo: break;
    }
    return FORMAT_VideoInfo;
}

MediaType caps_media_type(const VideoCaps& c, bool interleaved, REFERENCE_TIME interval) {
    MediaType type;
    type->majortype = interleaved ? MEDIATYPE_Interleaved : MEDIATYPE_Video;
    type->subtype = to_guid(c.subtype);
    const bool compressed = is_compressed(c);
    const size_t size = frame_size(frame_format(c));
    type->bFixedSizeSamples = compressed ? FALSE : TRUE;
    type->bTemporalCompression = FALSE;
    type->lSampleSize = compressed ? 0 : static_cast<ULONG>(size);
    switch (c.format) {
    case FormatType::VideoInfo:
    case FormatType::Mpeg: {
        // Room for the colour masks (BI_BITFIELDS) or the MPEG sequence
        // header fields after the VIDEOINFOHEADER.
        unsigned char block[sizeof(VIDEOINFOHEADER) + 3 * sizeof(DWORD)] = {};
        VIDEOINFOHEADER vih;
        std::memset(&vih, 0, sizeof vih);
        fill_header(c, interval, vih.rcSource, vih.rcTarget, vih.dwBitRate, vih.AvgTimePerFrame, vih.bmiHeader);
        std::memcpy(block, &vih, sizeof vih);
        size_t length = sizeof vih;
        if (c.format == FormatType::Mpeg) {
            length = sizeof block;
        } else if (c.compression == kBiBitfields) {
            const bool is565 = c.subtype == subtype::RGB565;
            const DWORD masks[3] = {is565 ? 0xF800u : 0x7C00u, is565 ? 0x07E0u : 0x03E0u, 0x001Fu};
            std::memcpy(block + sizeof vih, masks, sizeof masks);
            length = sizeof block;
        }
        type.set_format(format_guid(c.format), block, length);
        break;
    }
    case FormatType::VideoInfo2: {
        VIDEOINFOHEADER2 vih;
        std::memset(&vih, 0, sizeof vih);
        fill_header(c, interval, vih.rcSource, vih.rcTarget, vih.dwBitRate, vih.AvgTimePerFrame, vih.bmiHeader);
        const LONG h = abs_height(c);
        const LONG g = std::gcd(c.width, h);
        vih.dwPictAspectRatioX = static_cast<DWORD>(g > 0 ? c.width / g : 0);
        vih.dwPictAspectRatioY = static_cast<DWORD>(g > 0 ? h / g : 0);
        type.set_format(FORMAT_VideoInfo2, &vih, sizeof vih);
        break;
    }
    case FormatType::DvInfo: {
        DVINFO dv;
        std::memset(&dv, 0, sizeof dv);
        if (abs_height(c) == 576) {
            dv.dwDVAAuxSrc = kDv50Flag;
            dv.dwDVVAuxSrc = kDv50Flag;
        }
        type.set_format(FORMAT_DvInfo, &dv, sizeof dv);
        break;
    }
    }
    return type;
}

void fill_stream_caps(const VideoCaps& c, VIDEO_STREAM_CONFIG_CAPS& out) {
    std::memset(&out, 0, sizeof out);
    out.guid = format_guid(c.format);
    out.VideoStandard = c.standard;
    const SIZE size{c.width, abs_height(c)};
    out.InputSize = size;
    out.MinCroppingSize = size;
    out.MaxCroppingSize = size;
    out.CropGranularityX = 1;
    out.CropGranularityY = 1;
    out.CropAlignX = 1;
    out.CropAlignY = 1;
    out.MinOutputSize = size;
    out.MaxOutputSize = size;
    out.OutputGranularityX = 1;
    out.OutputGranularityY = 1;
    out.MinFrameInterval = c.rate_listed ? c.min_interval : 0;
    out.MaxFrameInterval = c.min_interval * kMaxIntervalFactor;
    const long long bits = static_cast<long long>(frame_size(frame_format(c))) * 8;
    const auto per_second = [&](long long interval) {
        return static_cast<LONG>(std::min<long long>(bits * 10000000LL / std::max<long long>(interval, 1),
                                                     std::numeric_limits<LONG>::max()));
    };
    out.MinBitsPerSecond = per_second(out.MaxFrameInterval);
    out.MaxBitsPerSecond = per_second(out.MinFrameInterval);
}

REFERENCE_TIME snap_interval(const VideoCaps& c, REFERENCE_TIME wanted) {
    if (wanted <= 0) return c.min_interval;
    REFERENCE_TIME best = c.min_interval;
    for (int64_t f : kIntervalFactors) {
        const REFERENCE_TIME candidate = c.min_interval * f;
        const auto distance = [&](REFERENCE_TIME v) { return v > wanted ? v - wanted : wanted - v; };
        if (distance(candidate) < distance(best)) best = candidate;
    }
    return best;
}

bool is_supported_interval(const VideoCaps& c, REFERENCE_TIME interval) {
    return std::any_of(std::begin(kIntervalFactors), std::end(kIntervalFactors),
                       [&](int64_t f) { return c.min_interval * f == interval; });
}

std::optional<CapsMatch> match_caps(const std::vector<VideoCaps>& caps, bool interleaved, const AM_MEDIA_TYPE& mt) {
    if (mt.majortype != (interleaved ? MEDIATYPE_Interleaved : MEDIATYPE_Video)) return std::nullopt;
    REFERENCE_TIME interval = 0;
    const BITMAPINFOHEADER* bmi = header_of(mt, interval);
    for (size_t i = 0; i < caps.size(); ++i) {
        const VideoCaps& c = caps[i];
        if (mt.subtype != to_guid(c.subtype) || mt.formattype != format_guid(c.format)) continue;
        if (c.format == FormatType::DvInfo) {
            if (mt.cbFormat < sizeof(DVINFO) || mt.pbFormat == nullptr) continue;
            const bool fifty = (reinterpret_cast<const DVINFO*>(mt.pbFormat)->dwDVVAuxSrc & kDv50Flag) != 0;
            if (fifty != (abs_height(c) == 576)) continue;
            return CapsMatch{i, 0};
        }
        if (bmi == nullptr || bmi->biWidth != c.width || bmi->biHeight != c.height) continue;
        return CapsMatch{i, interval};
    }
    return std::nullopt;
}

}  // namespace vorsim
