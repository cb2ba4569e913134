// The AVI Mux: pins that grow, the recording's life, IConfigAviMux.
#include "avi_mux.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <iterator>
#include <new>

#include "class_registry.h"
#include "file_writer.h"
#include "vorsim.h"
#include "wide.h"

namespace vorsim {
namespace {

// DVINFO's 50/60 bit (set for 625/50 systems).
constexpr DWORD kDvFiftyHz = 0x00200000;
// The frame interval a video type without one is recorded at (30 fps).
constexpr int64_t kDefaultInterval = 333333;

bool has_fourcc_tail(const GUID& g) {
    static constexpr unsigned char tail[8] = {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    return g.Data2 == 0x0000 && g.Data3 == 0x0010 && std::memcmp(g.Data4, tail, sizeof tail) == 0;
}

std::optional<AviStreamFormat> video_info_format(const AM_MEDIA_TYPE& type) {
    if (type.majortype != MEDIATYPE_Video) return std::nullopt;
    if (type.cbFormat < sizeof(VIDEOINFOHEADER) || type.pbFormat == nullptr) return std::nullopt;
    VIDEOINFOHEADER vih;
    std::memcpy(&vih, type.pbFormat, sizeof vih);
    const BITMAPINFOHEADER& bih = vih.bmiHeader;
    AviVideoFormat f;
    f.width = bih.biWidth;
    f.height = bih.biHeight;
    f.bit_count = bih.biBitCount;
    f.frame_interval = vih.AvgTimePerFrame > 0 ? vih.AvgTimePerFrame : kDefaultInterval;
    const bool rgb = type.subtype == MEDIASUBTYPE_RGB555 || type.subtype == MEDIASUBTYPE_RGB24 ||
                     type.subtype == MEDIASUBTYPE_RGB32 || type.subtype == MEDIASUBTYPE_ARGB32;
    if (rgb) {
        if (bih.biCompression != BI_RGB) return std::nullopt;  // bit fields have no place in the file
        f.fourcc = kAviRgb;
    } else if (bih.biCompression != BI_RGB) {
        f.fourcc = bih.biCompression;
    } else if (has_fourcc_tail(type.subtype)) {
        f.fourcc = type.subtype.Data1;
    } else {
        return std::nullopt;  // palette RGB, RGB565, unknown subtypes
    }
    if (f.width <= 0 || f.height == 0 || f.height == INT32_MIN) return std::nullopt;
    if (f.fourcc != kAviRgb && f.height < 0) return std::nullopt;  // only RGB is stored top-down
    const bool raw = f.fourcc == kAviRgb || f.fourcc == avi_fourcc('U', 'Y', 'V', 'Y') ||
                     f.fourcc == avi_fourcc('Y', 'U', 'Y', '2') || f.fourcc == avi_fourcc('I', '4', '2', '0') ||
                     f.fourcc == avi_fourcc('Y', 'V', '1', '2');
    if (raw && avi_frame_bytes(f) == 0) return std::nullopt;
    return AviStreamFormat{f};
}

std::optional<AviStreamFormat> dv_info_format(const AM_MEDIA_TYPE& type) {
    if (type.majortype != MEDIATYPE_Video && type.majortype != MEDIATYPE_Interleaved) return std::nullopt;
    if (type.subtype != MEDIASUBTYPE_dvsd) return std::nullopt;
    if (type.cbFormat < sizeof(DVINFO) || type.pbFormat == nullptr) return std::nullopt;
    DVINFO dv;
    std::memcpy(&dv, type.pbFormat, sizeof dv);
    const bool fifty = (dv.dwDVVAuxSrc & kDvFiftyHz) != 0;
    AviVideoFormat f;
    f.fourcc = avi_fourcc('d', 'v', 's', 'd');
    f.width = 720;
    f.height = fifty ? 576 : 480;
    f.frame_interval = fifty ? 400000 : 333667;
    return AviStreamFormat{f};
}

std::optional<AviStreamFormat> wave_format(const AM_MEDIA_TYPE& type) {
    if (type.majortype != MEDIATYPE_Audio || type.subtype != MEDIASUBTYPE_PCM) return std::nullopt;
    // A plain WAVEFORMAT (16 bytes, no cbSize) is a valid PCM format block too.
    constexpr ULONG kWaveFormatBytes = 16;
    if (type.formattype != FORMAT_WaveFormatEx || type.cbFormat < kWaveFormatBytes || type.pbFormat == nullptr)
        return std::nullopt;
    WAVEFORMATEX wfx;
    std::memset(&wfx, 0, sizeof wfx);
    std::memcpy(&wfx, type.pbFormat, std::min<size_t>(type.cbFormat, sizeof wfx));
    if (wfx.wFormatTag != WAVE_FORMAT_PCM) return std::nullopt;
    if (wfx.nChannels < 1 || wfx.nChannels > 8 || wfx.nSamplesPerSec == 0) return std::nullopt;
    if (wfx.wBitsPerSample != 8 && wfx.wBitsPerSample != 16) return std::nullopt;
    return AviStreamFormat{AviAudioFormat{wfx.nSamplesPerSec, wfx.nChannels, wfx.wBitsPerSample}};
}

}  // namespace

std::optional<AviStreamFormat> avi_stream_format(const AM_MEDIA_TYPE& type) {
    if (type.formattype == FORMAT_VideoInfo) return video_info_format(type);
    if (type.formattype == FORMAT_DvInfo) return dv_info_format(type);
    return wave_format(type);
}

// ---- reports of finished recordings ---------------------------------------

namespace {

// The last kKeptReports finished recordings, oldest first; a session that
// never takes them keeps no more than that.
constexpr size_t kKeptReports = 256;
std::mutex g_reports_mutex;
std::deque<RecordingReport> g_reports;

void add_recording_report(RecordingReport report) {
    std::lock_guard<std::mutex> lock(g_reports_mutex);
    if (g_reports.size() == kKeptReports) g_reports.pop_front();
    g_reports.push_back(std::move(report));
}

}  // namespace

std::vector<RecordingReport> take_recording_reports() {
    std::lock_guard<std::mutex> lock(g_reports_mutex);
    std::vector<RecordingReport> taken(std::make_move_iterator(g_reports.begin()),
                                       std::make_move_iterator(g_reports.end()));
    g_reports.clear();
    g_reports.shrink_to_fit();
    return taken;
}

// ---- pins ------------------------------------------------------------------

class AviMux::Output final : public OutputPin<> {
public:
    explicit Output(AviMux& mux) : OutputPin<>(mux, u"AVI Out", u"AVI Out"), mux_(mux) {}

protected:
    std::vector<MediaType> media_types() const override {
        MediaType type;
        type->majortype = MEDIATYPE_Stream;
        type->subtype = MEDIASUBTYPE_Avi;
        type->formattype = FORMAT_None;
        type->bFixedSizeSamples = FALSE;
        type->lSampleSize = 1;
        return {type};
    }
    HRESULT check_media_type(const AM_MEDIA_TYPE& mt) const override {
        return mt.majortype == MEDIATYPE_Stream && mt.subtype == MEDIASUBTYPE_Avi ? S_OK : S_FALSE;
    }
    void on_disconnected() override { mux_.finish_recording(); }

private:
    AviMux& mux_;
};

class AviMux::Input final : public InputPin<> {
public:
    Input(AviMux& mux, const std::u16string& name) : InputPin<>(mux, name, name), mux_(mux) {}

protected:
    HRESULT check_media_type(const AM_MEDIA_TYPE& mt) const override {
        return avi_stream_format(mt) ? S_OK : S_FALSE;
    }
    HRESULT on_connected(const AM_MEDIA_TYPE&) override { return mux_.input_connected(*this); }
    HRESULT on_receive(IMediaSample* sample) override { return mux_.write_sample(*this, sample); }
    HRESULT on_end_of_stream() override { return mux_.input_ended(*this); }

private:
    AviMux& mux_;
};

// ---- the filter ------------------------------------------------------------

namespace {

std::u16string input_name(int number) {
    char text[16];
    std::snprintf(text, sizeof text, "Input %02d", number);
    return from_utf8(text);
}

}  // namespace

AviMux::AviMux() : Filter<IConfigAviMux>(CLSID_AviDest) {
    output_ = static_cast<Output*>(add_pin(std::make_unique<Output>(*this)));
    add_pin(std::make_unique<Input>(*this, input_name(next_input_number_++)));
}

AviMux::~AviMux() { finish_recording(); }

HRESULT AviMux::input_connected(Input& pin) {
    for (size_t i = 0; PinCore* p = pin_at(i); ++i) {
        if (p->direction() == PINDIR_INPUT && !p->connected() && p != &pin) return S_OK;
    }
    try {
        add_pin(std::make_unique<Input>(*this, input_name(next_input_number_)));
        ++next_input_number_;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

FileWriter* AviMux::file_writer() const {
    IPin* peer = output_->peer();
    PinCore* pin = dynamic_cast<PinCore*>(peer);
    return pin != nullptr ? dynamic_cast<FileWriter*>(&pin->filter()) : nullptr;
}

HRESULT AviMux::start_recording() {
    // What to record, gathered before the writer's lock is taken (the
    // filter lock is never taken inside it).
    std::string path;
    std::vector<std::pair<Input*, AviStreamFormat>> inputs;
    try {
        ComPtr<IPin> writer_pin;
        if (output_->connected_to(writer_pin.put()) != S_OK) return S_OK;  // nowhere to write
        FileWriter* writer = file_writer();
        if (writer == nullptr) return S_OK;
        const std::u16string name = writer->file_name();
        if (name.empty()) return E_FAIL;
        path = to_utf8(name);

        // Pin order: inputs are added as the ones before them connect, so
        // this is the order they first connected in, and an input that
        // reconnects (a capture pin given a new format) keeps its stream.
        for (size_t i = 0; PinCore* p = pin_at(i); ++i) {
            auto* input = dynamic_cast<Input*>(p);
            std::lock_guard<std::recursive_mutex> lock(filter_lock());
            if (input == nullptr || !input->connected()) continue;
            std::optional<AviStreamFormat> format = avi_stream_format(input->connection_type().get());
            if (!format) return VFW_E_TYPE_NOT_ACCEPTED;
            inputs.emplace_back(input, *format);
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (inputs.empty()) return S_OK;  // no streams: no file

    std::lock_guard<std::mutex> lock(writer_mutex_);
    finish_locked();
    try {
        std::vector<AviStreamFormat> formats;
        streams_.clear();
        for (const auto& [input, format] : inputs) {
            formats.push_back(format);
            Stream s;
            s.pin = input;
            if (const auto* video = std::get_if<AviVideoFormat>(&format)) {
                s.video = true;
                s.frame_bytes = avi_frame_bytes(*video);
            } else {
                const auto& audio = std::get<AviAudioFormat>(format);
                s.block_align = static_cast<size_t>(audio.channels) * audio.bits_per_sample / 8;
            }
            streams_.push_back(s);
        }
        last_status_ = writer_.open(path, formats);
        path_ = path;
    } catch (const std::bad_alloc&) {
        streams_.clear();
        return E_OUTOFMEMORY;
    }
    if (!last_status_) {
        streams_.clear();
        return E_FAIL;
    }
    if (master_stream_ >= 0 && static_cast<size_t>(master_stream_) < streams_.size())
        writer_.set_master_stream(master_stream_);
    return S_OK;
}

void AviMux::finish_locked() {
    if (writer_.is_open()) {
        last_status_ = writer_.close();
        RecordingReport report;
        try {
            report.path = path_;
            for (const Stream& s : streams_) report.streams.push_back({s.video, s.received});
            report.ok = last_status_.ok();
            add_recording_report(std::move(report));
        } catch (const std::bad_alloc&) {
            // The report is for tests; the recording itself is finished.
        }
    }
    streams_.clear();
}

void AviMux::finish_recording() {
    std::lock_guard<std::mutex> lock(writer_mutex_);
    finish_locked();
}

bool AviMux::recording() const {
    std::lock_guard<std::mutex> lock(writer_mutex_);
    return writer_.is_open();
}

AviStatus AviMux::last_status() const {
    std::lock_guard<std::mutex> lock(writer_mutex_);
    return last_status_;
}

HRESULT AviMux::write_sample(Input& pin, IMediaSample* sample) {
    std::lock_guard<std::mutex> lock(writer_mutex_);
    if (!writer_.is_open()) return S_OK;  // the recording is over: dropped
    auto it = std::find_if(streams_.begin(), streams_.end(), [&](const Stream& s) { return s.pin == &pin; });
    if (it == streams_.end()) return S_OK;
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || data == nullptr) return E_POINTER;
    const LONG actual = sample->GetActualDataLength();
    size_t size = actual > 0 ? static_cast<size_t>(actual) : 0;
    const size_t stream = static_cast<size_t>(it - streams_.begin());
    AviStatus status;
    if (it->video) {
        // Uncompressed frames are exactly one picture; a driver's buffer may
        // be larger than the picture.
        if (it->frame_bytes != 0 && size > it->frame_bytes) size = it->frame_bytes;
        const bool key = it->frame_bytes != 0 || sample->IsSyncPoint() == S_OK;
        ++it->received;
        status = writer_.write_video(stream, data, size, key);
    } else {
        size -= size % it->block_align;
        if (size == 0) return S_OK;
        it->received += static_cast<long long>(size);
        status = writer_.write_audio(stream, data, size);
    }
    return status ? S_OK : E_FAIL;
}

HRESULT AviMux::input_ended(Input& pin) {
    std::lock_guard<std::mutex> lock(writer_mutex_);
    bool all = !streams_.empty();
    for (Stream& s : streams_) {
        if (s.pin == &pin) s.ended = true;
        all = all && s.ended;
    }
    if (all) finish_locked();
    return S_OK;
}

HRESULT AviMux::on_pause(FILTER_STATE from) {
    if (from != State_Stopped) return S_OK;
    return start_recording();
}

void AviMux::on_stop() { finish_recording(); }

HRESULT STDMETHODCALLTYPE AviMux::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
    const HRESULT hr = join_filter_graph(graph, name);
    if (SUCCEEDED(hr) && graph == nullptr) finish_recording();
    return hr;
}

HRESULT STDMETHODCALLTYPE AviMux::SetMasterStream(LONG stream) {
    if (HRESULT hr = fault_result("IConfigAviMux::SetMasterStream"); FAILED(hr)) return hr;
    if (stream < -1) return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(writer_mutex_);
    if (writer_.is_open()) {
        if (!writer_.set_master_stream(stream)) return E_INVALIDARG;
    }
    master_stream_ = stream;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE AviMux::GetMasterStream(LONG* stream) {
    if (stream == nullptr) return E_POINTER;
    if (HRESULT hr = fault_result("IConfigAviMux::GetMasterStream"); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> lock(writer_mutex_);
    *stream = master_stream_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE AviMux::SetOutputCompatibilityIndex(BOOL old_index) {
    if (HRESULT hr = fault_result("IConfigAviMux::SetOutputCompatibilityIndex"); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> lock(writer_mutex_);
    old_index_ = old_index;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE AviMux::GetOutputCompatibilityIndex(BOOL* old_index) {
    if (old_index == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> lock(writer_mutex_);
    *old_index = old_index_;
    return S_OK;
}

namespace {
const ClassRegistration registration(CLSID_AviDest, "AviDest", &create_instance<AviMux>);
}  // namespace

}  // namespace vorsim
