// The AVI Mux and File Writer: pins, media types, and recordings read back
// with libavformat (what a player sees): streams in connection order, every
// delivered frame and audio block in its stream, rates from the input's
// frame interval, and the report of each finished recording. Files finished
// by leaving the graph are the module's recording tests'.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "avi_mux.h"
#include "avi_read.h"
#include "file_writer.h"
#include "filter_base.h"
#include "pin_base.h"
#include "filters_test_filters.h"
#include "vorsim.h"
#include "wide.h"

namespace {

using namespace vorsim;
using filters_test::PushSource;
using filters_test::find_pin;
using Bytes = std::vector<uint8_t>;

constexpr REFERENCE_TIME k15fps = 666666;

// The bytes of sample `index` of a source with this seed: every sample
// differs from the others and from the other sources'.
Bytes sample_bytes(size_t size, uint64_t index, unsigned seed) {
    Bytes b(size);
    uint32_t x = 2463534242u ^ static_cast<uint32_t>(index * 2654435761u) ^ (seed * 40503u);
    for (auto& v : b) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        v = static_cast<uint8_t>(x);
    }
    return b;
}

MediaType pcm_type(DWORD rate, WORD channels, WORD bits) {
    WAVEFORMATEX wfx;
    std::memset(&wfx, 0, sizeof wfx);
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = channels;
    wfx.nSamplesPerSec = rate;
    wfx.wBitsPerSample = bits;
    wfx.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    wfx.nAvgBytesPerSec = rate * wfx.nBlockAlign;
    MediaType type;
    type->majortype = MEDIATYPE_Audio;
    type->subtype = MEDIASUBTYPE_PCM;
    type->bFixedSizeSamples = TRUE;
    type->lSampleSize = wfx.nBlockAlign;
    type.set_format(FORMAT_WaveFormatEx, &wfx, sizeof wfx);
    return type;
}

// 44.1 kHz stereo 16-bit: one 15th of a second per sample.
constexpr LONG kAudioBlock = 44100 / 15 * 4;

using avi_read::demux;
using ReadStream = avi_read::Stream;

// Whether the file's RIFF header has its final size: the writer fills it in
// when the recording is finished (one RIFF chunk: these files are small).
bool finished(const std::string& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || size < 12) return false;
    std::ifstream in(path, std::ios::binary);
    unsigned char head[12] = {};
    in.read(reinterpret_cast<char*>(head), sizeof head);
    const uint32_t riff = head[4] | head[5] << 8 | head[6] << 16 | static_cast<uint32_t>(head[7]) << 24;
    return in && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "AVI ", 4) == 0 && riff + 8ull == size;
}

// 100-ns units per frame of a stream's average rate.
int64_t interval_of(const ReadStream& s) {
    return s.avg_rate.num > 0 ? 10000000LL * s.avg_rate.den / s.avg_rate.num : 0;
}

std::vector<std::u16string> pin_names(IBaseFilter* filter) {
    std::vector<std::u16string> names;
    ComPtr<IEnumPins> pins;
    if (filter->EnumPins(pins.put()) != S_OK) return names;
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_INFO info{};
        pin->QueryPinInfo(&info);
        names.emplace_back(wide_view(info.achName));
        if (info.pFilter != nullptr) info.pFilter->Release();
        pin->Release();
    }
    return names;
}

class AviRecording : public testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::path(testing::TempDir()) /
               ("vor-avi-mux-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        path_ = (dir_ / "rec.avi").string();
        ASSERT_EQ(CoCreateInstance(CLSID_AviDest, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, mux_.put_void()),
                  S_OK);
        ASSERT_EQ(CoCreateInstance(CLSID_FileWriter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                   writer_.put_void()),
                  S_OK);
        ASSERT_EQ(writer_->QueryInterface(IID_IFileSinkFilter, sink_.put_void()), S_OK);
        ASSERT_EQ(find_pin(mux_.get(), u"AVI Out")->Connect(find_pin(writer_.get(), u"in").get(), nullptr), S_OK);
        const std::u16string name = from_utf8(path_);
        ASSERT_EQ(sink_->SetFileName(reinterpret_cast<LPCOLESTR>(name.c_str()), nullptr), S_OK);
    }

    void TearDown() override {
        stop();
        for (auto& s : sources_) s->filter->out->Disconnect();
        disconnect_all(mux_.get());
        disconnect_all(writer_.get());
        sources_.clear();
        sink_.reset();
        mux_.reset();
        writer_.reset();
        std::filesystem::remove_all(dir_);
    }

    static void disconnect_all(IBaseFilter* filter) {
        if (filter == nullptr) return;
        ComPtr<IEnumPins> pins;
        if (filter->EnumPins(pins.put()) != S_OK) return;
        IPin* pin = nullptr;
        while (pins->Next(1, &pin, nullptr) == S_OK) {
            pin->Disconnect();
            pin->Release();
        }
    }

    // A source connected to the mux's first free input; its samples are
    // sample_size bytes of sample_bytes(), seeded by its place.
    struct Source {
        ComPtr<PushSource> filter;
        LONG size;
        unsigned seed;
        int delivered = 0;
        Bytes expected(uint64_t index) const { return sample_bytes(static_cast<size_t>(size), index, seed); }
    };
    Source* add_source(MediaType type, LONG sample_size) {
        const LONG extra = std::max<LONG>(0, sample_size - static_cast<LONG>(type->lSampleSize));
        auto filter = make_com<PushSource>(std::vector<MediaType>{std::move(type)}, extra);
        const std::u16string free_input = pin_names(mux_.get()).back();  // the mux keeps one free input last
        EXPECT_EQ(filter->out->Connect(find_pin(mux_.get(), free_input.c_str()).get(), nullptr), S_OK);
        sources_.push_back(std::make_unique<Source>(Source{filter, sample_size, unsigned(sources_.size() + 1)}));
        return sources_.back().get();
    }
    // The next n frames of every source, timed from the last run.
    void push_frames(int n) {
        for (int i = 0; i < n; ++i, ++frame_) {
            const REFERENCE_TIME start = frame_ * k15fps;
            for (auto& s : sources_)
                if (s->filter->push(s->expected(uint64_t(frame_)), start, start + k15fps) == S_OK) ++s->delivered;
        }
    }

    // As the graph does: downstream first.
    void run() {
        ASSERT_EQ(writer_->Run(0), S_OK);
        ASSERT_EQ(mux_->Run(0), S_OK);
        for (auto& s : sources_) ASSERT_EQ(s->filter->Run(0), S_OK);
        frame_ = 0;
    }
    void stop() {
        if (writer_) writer_->Stop();
        if (mux_) mux_->Stop();
        for (auto& s : sources_) s->filter->Stop();
    }

    std::filesystem::path dir_;
    std::string path_;
    ComPtr<IBaseFilter> mux_;
    ComPtr<IBaseFilter> writer_;
    ComPtr<IFileSinkFilter> sink_;
    std::vector<std::unique_ptr<Source>> sources_;
    int64_t frame_ = 0;
};

// ---- the filters on their own -----------------------------------------------

TEST(AviMux, PinsAndTypes) {
    ComPtr<IBaseFilter> mux;
    ASSERT_EQ(CoCreateInstance(CLSID_AviDest, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, mux.put_void()), S_OK);
    EXPECT_EQ(pin_names(mux.get()), (std::vector<std::u16string>{u"AVI Out", u"Input 01"}));
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(find_pin(mux.get(), u"AVI Out")->EnumMediaTypes(types.put()), S_OK);
    AM_MEDIA_TYPE* mt = nullptr;
    ASSERT_EQ(types->Next(1, &mt, nullptr), S_OK);
    EXPECT_EQ(mt->majortype, MEDIATYPE_Stream);
    EXPECT_EQ(mt->subtype, MEDIASUBTYPE_Avi);
    DeleteMediaType(mt);

    MediaType dv;
    dv->majortype = MEDIATYPE_Interleaved;
    dv->subtype = MEDIASUBTYPE_dvsd;
    DVINFO info{};
    dv.set_format(FORMAT_DvInfo, &info, sizeof info);
    MediaType v2 = make_video_type(MEDIASUBTYPE_UYVY, 320, 240, 16, k15fps);
    v2->formattype = FORMAT_VideoInfo2;
    MediaType float_audio = pcm_type(44100, 2, 16);
    reinterpret_cast<WAVEFORMATEX*>(float_audio->pbFormat)->wFormatTag = 3;
    MediaType stream;
    stream->majortype = MEDIATYPE_Stream;
    stream->subtype = MEDIASUBTYPE_Avi;
    struct Case {
        const char* what;
        MediaType type;
        HRESULT expected;
    } const cases[] = {
        {"UYVY", make_video_type(MEDIASUBTYPE_UYVY, 320, 240, 16, k15fps), S_OK},
        {"RGB32", make_video_type(MEDIASUBTYPE_RGB32, 320, 240, 32, k15fps), S_OK},
        {"MJPG", make_video_type(MEDIASUBTYPE_MJPG, 1280, 720, 24, k15fps), S_OK},
        {"PCM", pcm_type(44100, 2, 16), S_OK},
        {"a DV camcorder's interleaved stream", dv, S_OK},
        {"VIDEOINFOHEADER2", v2, S_FALSE},
        {"a palette has no place in the file", make_video_type(MEDIASUBTYPE_RGB8, 320, 240, 8, k15fps), S_FALSE},
        {"float audio", float_audio, S_FALSE},
        {"an AVI stream", stream, S_FALSE},
    };
    ComPtr<IPin> in = find_pin(mux.get(), u"Input 01");
    ASSERT_TRUE(in);
    for (const Case& c : cases) EXPECT_EQ(in->QueryAccept(&c.type.get()), c.expected) << c.what;
}

TEST_F(AviRecording, EachConnectionAddsAFreeInput) {
    add_source(make_video_type(MEDIASUBTYPE_UYVY, 320, 240, 16, k15fps), 320 * 240 * 2);
    add_source(pcm_type(44100, 2, 16), kAudioBlock);
    EXPECT_EQ(pin_names(mux_.get()),
              (std::vector<std::u16string>{u"AVI Out", u"Input 01", u"Input 02", u"Input 03"}));

    // A disconnected input is free again: reconnecting it adds nothing.
    ASSERT_EQ(sources_[0]->filter->out->Disconnect(), S_OK);
    ASSERT_EQ(find_pin(mux_.get(), u"Input 01")->Disconnect(), S_OK);
    ASSERT_EQ(sources_[0]->filter->out->Connect(find_pin(mux_.get(), u"Input 01").get(), nullptr), S_OK);
    EXPECT_EQ(pin_names(mux_.get()).size(), 4u);
}

TEST_F(AviRecording, FileAppearsWhenTheMuxLeavesStopped) {
    add_source(make_video_type(MEDIASUBTYPE_UYVY, 64, 48, 16, k15fps), 64 * 48 * 2);
    EXPECT_FALSE(std::filesystem::exists(path_)) << "connecting and naming create nothing";
    ASSERT_EQ(writer_->Pause(), S_OK);
    EXPECT_FALSE(std::filesystem::exists(path_)) << "the mux writes the file";
    ASSERT_EQ(mux_->Pause(), S_OK);
    EXPECT_TRUE(std::filesystem::exists(path_));
    EXPECT_EQ(mux_->Stop(), S_OK);
    auto streams = demux(path_);
    ASSERT_TRUE(streams);
    ASSERT_EQ(streams->size(), 1u);
    EXPECT_TRUE((*streams)[0].packets.empty()) << "nothing was delivered";
}

TEST_F(AviRecording, UyvyVideoAndPcmAudioInConnectionOrder) {
    Source* video = add_source(make_video_type(MEDIASUBTYPE_UYVY, 320, 240, 16, k15fps), 320 * 240 * 2);
    Source* audio = add_source(pcm_type(44100, 2, 16), kAudioBlock);
    run();
    push_frames(9);
    EXPECT_FALSE(finished(path_)) << "complete only after Stop";
    stop();
    EXPECT_TRUE(finished(path_));
    EXPECT_EQ(video->delivered, 9);
    EXPECT_EQ(audio->delivered, 9);

    auto streams = demux(path_);
    ASSERT_TRUE(streams) << "a complete AVI file";
    ASSERT_EQ(streams->size(), 2u);
    const ReadStream& v = (*streams)[0];
    EXPECT_EQ(v.type, AVMEDIA_TYPE_VIDEO);
    EXPECT_EQ(v.tag, avi_fourcc('U', 'Y', 'V', 'Y'));
    EXPECT_EQ(v.width, 320);
    EXPECT_EQ(v.height, 240);
    EXPECT_EQ(interval_of(v), 666666);
    ASSERT_EQ(v.packets.size(), 9u) << "one frame per delivered sample";
    for (size_t i = 0; i < v.packets.size(); ++i) EXPECT_EQ(v.packets[i], video->expected(i)) << "frame " << i;

    const ReadStream& a = (*streams)[1];
    EXPECT_EQ(a.type, AVMEDIA_TYPE_AUDIO);
    EXPECT_EQ(a.codec, AV_CODEC_ID_PCM_S16LE);
    EXPECT_EQ(a.sample_rate, 44100);
    EXPECT_EQ(a.channels, 2);
    Bytes sent;
    for (uint64_t i = 0; i < 9; ++i) {
        const Bytes b = audio->expected(i);
        sent.insert(sent.end(), b.begin(), b.end());
    }
    EXPECT_EQ(a.all(), sent) << "every audio block, in order";
}

TEST_F(AviRecording, LargerBuffersStoreOnlyThePicture) {
    // A driver may hand over more bytes than the picture holds.
    Source* video = add_source(make_video_type(MEDIASUBTYPE_UYVY, 64, 48, 16, k15fps), 64 * 48 * 2 + 100);
    run();
    push_frames(2);
    stop();
    auto streams = demux(path_);
    ASSERT_TRUE(streams);
    ASSERT_EQ((*streams)[0].packets.size(), 2u);
    Bytes picture = video->expected(1);
    picture.resize(64 * 48 * 2);
    EXPECT_EQ((*streams)[0].packets[1], picture);
}

TEST_F(AviRecording, ARecordingStartsAfreshAtEachRun) {
    add_source(make_video_type(MEDIASUBTYPE_UYVY, 64, 48, 16, k15fps), 64 * 48 * 2);
    run();
    push_frames(6);
    stop();
    run();
    push_frames(2);
    stop();
    auto streams = demux(path_);
    ASSERT_TRUE(streams);
    EXPECT_EQ((*streams)[0].packets.size(), 2u) << "the second recording replaced the first";
}

// Each finished recording is reported once, for tests to hold the file
// against: its path, and per stream what reached the writer while the file
// was open (video frames; bytes of whole audio samples, a partial sample
// cut off). Samples after the end are not counted.
TEST_F(AviRecording, EachFinishedRecordingIsReportedWithWhatReachedTheFile) {
    take_recording_reports();  // what earlier tests left
    constexpr LONG kOddBlock = 8000 / 15 * 2 + 1;  // 533 mono 16-bit samples and one byte
    Source* video = add_source(make_video_type(MEDIASUBTYPE_UYVY, 64, 48, 16, k15fps), 64 * 48 * 2);
    Source* audio = add_source(pcm_type(8000, 1, 16), kOddBlock);
    run();
    push_frames(4);
    EXPECT_TRUE(take_recording_reports().empty()) << "nothing is reported before the file is finished";
    ASSERT_EQ(video->filter->out->peer()->EndOfStream(), S_OK);
    ASSERT_EQ(audio->filter->out->peer()->EndOfStream(), S_OK);
    push_frames(2);  // the file is finished: these are dropped
    stop();
    run();
    push_frames(3);
    stop();

    const std::vector<RecordingReport> reports = take_recording_reports();
    ASSERT_EQ(reports.size(), 2u);
    for (const RecordingReport& r : reports) {
        EXPECT_EQ(r.path, path_);
        EXPECT_TRUE(r.ok);
        ASSERT_EQ(r.streams.size(), 2u);
        EXPECT_TRUE(r.streams[0].video);
        EXPECT_FALSE(r.streams[1].video);
    }
    EXPECT_EQ(reports[0].streams[0].received, 4);
    EXPECT_EQ(reports[0].streams[1].received, 4 * (kOddBlock - 1));
    EXPECT_EQ(reports[1].streams[0].received, 3);
    EXPECT_EQ(reports[1].streams[1].received, 3 * (kOddBlock - 1));
    auto streams = demux(path_);
    ASSERT_TRUE(streams);
    EXPECT_EQ((*streams)[0].packets.size(), 3u) << "the file holds what the second report counts";
    EXPECT_EQ((*streams)[1].all().size(), 3u * (kOddBlock - 1));
    EXPECT_TRUE(take_recording_reports().empty()) << "reports are handed out once";
}

TEST_F(AviRecording, PauseFailsWhenTheFileCannotBeCreated) {
    add_source(make_video_type(MEDIASUBTYPE_UYVY, 64, 48, 16, k15fps), 64 * 48 * 2);
    const std::u16string name = from_utf8((dir_ / "no such folder" / "rec.avi").string());
    ASSERT_EQ(sink_->SetFileName(reinterpret_cast<LPCOLESTR>(name.c_str()), nullptr), S_OK);
    EXPECT_TRUE(FAILED(mux_->Pause()));
    FILTER_STATE state = State_Running;
    EXPECT_EQ(mux_->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
}

}  // namespace
