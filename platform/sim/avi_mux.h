// The AVI Mux (CLSID_AviDest): the recording end of a capture graph.
//
// Pins: "AVI Out" (MEDIATYPE_Stream / MEDIASUBTYPE_Avi) first, then inputs
// "Input 01", "Input 02", ...: each time an input connects and no free one
// is left, a new free input appears (the pin set changes, so pin
// enumerators go out of sync). Inputs take video with a VIDEOINFOHEADER
// (any subtype the AVI file can hold), DV (dvsd with FORMAT_DvInfo, video or
// interleaved) and PCM audio (FORMAT_WaveFormatEx).
//
// The mux writes the file itself, with an AviWriter, at the file name of
// the File Writer its output is connected to (the File Writer only holds the
// name). Streams are the connected inputs in pin order, which is the order
// they first connected in (an input that disconnects and connects again
// keeps its place, as a capture pin given a new format does). The file is
// created when the mux leaves Stopped and finished (index and sizes
// written, playable) by whichever comes first: Stop, either filter leaving
// its graph, the output connection going away, the mux's last reference, or
// EndOfStream on every connected input. Samples arriving after that are
// dropped until the next recording starts. Each finished recording is
// reported to vorsim::take_recording_reports() with what its inputs were
// handed while the file was open.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "avi/avi_writer.h"
#include "filter_base.h"
#include "pin_base.h"

namespace vorsim {

class FileWriter;

// What the AVI file stores for a connection type; empty when the mux does
// not take the type.
std::optional<AviStreamFormat> avi_stream_format(const AM_MEDIA_TYPE& type);

class AviMux final : public Filter<IConfigAviMux> {
public:
    class Output;
    class Input;

    AviMux();
    ~AviMux() override;

    // Finishes the file being recorded, if any. Safe on any thread but a
    // streaming thread of this mux; waits for a Receive in progress.
    void finish_recording();
    bool recording() const;
    // How the last recording ended: ok, or its first error.
    AviStatus last_status() const;

    // IBaseFilter: leaving the graph finishes the recording.
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;

    // IConfigAviMux.
    HRESULT STDMETHODCALLTYPE SetMasterStream(LONG stream) override;
    HRESULT STDMETHODCALLTYPE GetMasterStream(LONG* stream) override;
    HRESULT STDMETHODCALLTYPE SetOutputCompatibilityIndex(BOOL old_index) override;
    HRESULT STDMETHODCALLTYPE GetOutputCompatibilityIndex(BOOL* old_index) override;

protected:
    HRESULT on_pause(FILTER_STATE from) override;
    void on_stop() override;

private:
    friend class Input;
    friend class Output;

    // Called by the pins (filter lock held).
    HRESULT input_connected(Input& pin);
    // Under the streaming lock.
    HRESULT write_sample(Input& pin, IMediaSample* sample);
    HRESULT input_ended(Input& pin);

    // The File Writer at the end of the output connection, or null.
    FileWriter* file_writer() const;
    HRESULT start_recording();
    void finish_locked();  // writer_mutex_ held

    Output* output_ = nullptr;
    int next_input_number_ = 1;

    mutable std::mutex writer_mutex_;  // the fields below
    AviWriter writer_;
    AviStatus last_status_;
    // The open recording's streams, in stream order.
    struct Stream {
        Input* pin = nullptr;
        bool video = false;
        size_t frame_bytes = 0;  // video: one uncompressed frame (0: frames vary)
        size_t block_align = 1;  // audio: bytes per sample frame
        bool ended = false;      // EndOfStream came
        long long received = 0;  // video: frames, audio: whole-sample bytes handed to the writer
    };
    std::string path_;  // the open recording's file
    std::vector<Stream> streams_;
    LONG master_stream_ = -1;
    BOOL old_index_ = TRUE;
};

}  // namespace vorsim
