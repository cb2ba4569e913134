// DV Splitter (CLSID_DVSplitter): a camcorder's interleaved stream
// (MEDIATYPE_Interleaved / dvsd) in, split into
//   "DVVidOut0"  MEDIATYPE_Video / dvsd, FORMAT_VideoInfo at the picture
//                size and frame interval the input announces (dv_decoder.h,
//                dv_picture); each input sample is passed on as it is, no
//                copy (the payload carries the picture);
//   "AudOut00"   MEDIATYPE_Audio / PCM, 48 kHz, 2 channels, 16 bits: the
//                sim's payload has no sound, so each frame gives silence of
//                that frame's length (NTSC: frame n has
//                floor((n+1)*8008/5) - floor(n*8008/5) samples, 1601 or
//                1602, 8008 every five frames as 29.97 fps needs; PAL
//                1920), with the video sample's times. It may stay
//                unconnected; when every audio sample is still held
//                downstream, that frame's audio is dropped rather than
//                stalling the video.
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "class_registry.h"
#include "dv_decoder.h"
#include "filter_base.h"
#include "pin_base.h"
#include "transform_registry.h"

namespace vorsim {
namespace {

constexpr DWORD kAudioRate = 48000;
constexpr WORD kAudioChannels = 2;
constexpr WORD kAudioBlock = 4;        // two 16-bit samples
constexpr LONG kMaxAudioFrame = 1920;  // samples in the longest (PAL) frame

bool accepts(const AM_MEDIA_TYPE& mt) {
    int w = 0, h = 0;
    REFERENCE_TIME interval = 0;
    return mt.majortype == MEDIATYPE_Interleaved && dv_picture(mt, w, h, interval);
}

MediaType audio_type() {
    WAVEFORMATEX wfx;
    std::memset(&wfx, 0, sizeof wfx);
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = kAudioChannels;
    wfx.nSamplesPerSec = kAudioRate;
    wfx.nBlockAlign = kAudioBlock;
    wfx.nAvgBytesPerSec = kAudioRate * kAudioBlock;
    wfx.wBitsPerSample = 16;
    MediaType type;
    type->majortype = MEDIATYPE_Audio;
    type->subtype = MEDIASUBTYPE_PCM;
    type->bFixedSizeSamples = TRUE;
    type->lSampleSize = kAudioBlock;
    type.set_format(FORMAT_WaveFormatEx, &wfx, sizeof wfx);
    return type;
}

class DvSplitter final : public Filter<> {
public:
    DvSplitter() : Filter<>(CLSID_DVSplitter) {
        input_ = add_pin(std::make_unique<In>(*this, *this));
        video_ = add_pin(std::make_unique<VideoOut>(*this, *this));
        audio_ = add_pin(std::make_unique<AudioOut>(*this, *this));
    }

protected:
    HRESULT on_pause(FILTER_STATE from) override {
        if (from == State_Stopped) {
            frames_ = 0;
            int w = 0, h = 0;
            REFERENCE_TIME interval = 0;
            const MediaType in = input_->connection_type();
            pal_ = dv_picture(in.get(), w, h, interval) && h == 576;
        }
        return S_OK;
    }

private:
    class In final : public InputPin<> {
    public:
        In(FilterCore& f, DvSplitter& s) : InputPin<>(f, u"Input", u"Input"), s_(s) {}
        HRESULT check_media_type(const AM_MEDIA_TYPE& mt) const override { return accepts(mt) ? S_OK : S_FALSE; }
        HRESULT on_receive(IMediaSample* sample) override { return s_.receive(sample); }
        HRESULT on_end_of_stream() override {
            for (PinCore* out : {s_.video_, s_.audio_})
                if (IPin* peer = out->peer()) peer->EndOfStream();
            return S_OK;
        }

    private:
        DvSplitter& s_;
    };

    class VideoOut final : public OutputPin<> {
    public:
        VideoOut(FilterCore& f, DvSplitter& s) : OutputPin<>(f, u"DVVidOut0", u"DVVidOut0"), s_(s) {}
        std::vector<MediaType> media_types() const override {
            if (!s_.input_->connected()) return {};
            const MediaType in = s_.input_->connection_type();
            int w = 0, h = 0;
            REFERENCE_TIME interval = 0;
            if (!dv_picture(in.get(), w, h, interval)) return {};
            VIDEOINFOHEADER vih;
            std::memset(&vih, 0, sizeof vih);
            vih.rcSource = RECT{0, 0, w, h};
            vih.rcTarget = RECT{0, 0, w, h};
            vih.AvgTimePerFrame = interval;
            vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
            vih.bmiHeader.biWidth = w;
            vih.bmiHeader.biHeight = h;
            vih.bmiHeader.biPlanes = 1;
            vih.bmiHeader.biBitCount = 24;
            vih.bmiHeader.biCompression = MEDIASUBTYPE_dvsd.Data1;
            // The size of the samples passed on: the input's.
            vih.bmiHeader.biSizeImage = in->lSampleSize;
            MediaType type;
            type->majortype = MEDIATYPE_Video;
            type->subtype = MEDIASUBTYPE_dvsd;
            type->bFixedSizeSamples = in->bFixedSizeSamples;
            type->lSampleSize = in->lSampleSize;
            type.set_format(FORMAT_VideoInfo, &vih, sizeof vih);
            std::vector<MediaType> types;
            types.push_back(std::move(type));
            return types;
        }
        HRESULT check_media_type(const AM_MEDIA_TYPE& mt) const override {
            try {
                int w = 0, h = 0, ow = 0, oh = 0;
                REFERENCE_TIME interval = 0;
                for (const MediaType& offered : media_types()) {
                    if (mt.majortype == MEDIATYPE_Video && dv_picture(mt, w, h, interval) &&
                        dv_picture(offered.get(), ow, oh, interval) && w == ow && h == oh)
                        return S_OK;
                }
            } catch (const std::bad_alloc&) {
                return E_OUTOFMEMORY;
            }
            return S_FALSE;
        }
        // Samples pass through from the input: no pool of its own to speak of.
        ALLOCATOR_PROPERTIES buffer_properties(const AM_MEDIA_TYPE&) const override { return {1, 1, 1, 0}; }

    private:
        DvSplitter& s_;
    };

    class AudioOut final : public OutputPin<> {
    public:
        AudioOut(FilterCore& f, DvSplitter& s) : OutputPin<>(f, u"AudOut00", u"AudOut00"), s_(s) {}
        std::vector<MediaType> media_types() const override {
            if (!s_.input_->connected()) return {};
            std::vector<MediaType> types;
            types.push_back(audio_type());
            return types;
        }
        HRESULT check_media_type(const AM_MEDIA_TYPE& mt) const override {
            if (!s_.input_->connected()) return S_FALSE;
            try {
                return same_media_type(mt, audio_type().get()) ? S_OK : S_FALSE;
            } catch (const std::bad_alloc&) {
                return E_OUTOFMEMORY;
            }
        }
        ALLOCATOR_PROPERTIES buffer_properties(const AM_MEDIA_TYPE&) const override {
            return {4, kMaxAudioFrame * kAudioBlock, 1, 0};
        }

    private:
        DvSplitter& s_;
    };

    // Streaming thread, under the streaming lock.
    HRESULT receive(IMediaSample* sample) {
        const uint64_t n = frames_++;
        if (audio_->connected()) deliver_audio(sample, n);
        return video_->connected() ? video_->deliver(sample) : S_OK;
    }

    void deliver_audio(IMediaSample* video, uint64_t n) {
        SamplePool* pool = audio_->pool();
        // Only this thread takes from the pool, so a free sample stays free.
        if (pool == nullptr || pool->free_count() == 0) return;
        IMediaSample* raw = nullptr;
        if (FAILED(audio_->get_delivery_buffer(&raw))) return;
        ComPtr<IMediaSample> out = ComPtr<IMediaSample>::adopt(raw);
        const LONG samples = pal_ ? kMaxAudioFrame : static_cast<LONG>((n + 1) * 8008 / 5 - n * 8008 / 5);
        BYTE* data = nullptr;
        if (FAILED(out->GetPointer(&data))) return;
        std::memset(data, 0, static_cast<size_t>(samples) * kAudioBlock);
        out->SetActualDataLength(samples * kAudioBlock);
        REFERENCE_TIME start = 0, stop = 0;
        const HRESULT timed = video->GetTime(&start, &stop);
        if (timed == S_OK) {
            out->SetTime(&start, &stop);
        } else if (timed == VFW_S_NO_STOP_TIME) {
            out->SetTime(&start, nullptr);
        }
        out->SetSyncPoint(TRUE);
        audio_->deliver(out.get());
    }

    PinCore* input_;
    PinCore* video_;
    PinCore* audio_;
    // Set on leaving Stopped; used on the streaming thread.
    uint64_t frames_ = 0;
    bool pal_ = false;
};

const ClassRegistration registration(CLSID_DVSplitter, "DVSplitter", &create_instance<DvSplitter>);
const TransformRegistration transform({CLSID_DVSplitter, u"DV Splitter", &accepts, 0x00600000});

}  // namespace
}  // namespace vorsim
