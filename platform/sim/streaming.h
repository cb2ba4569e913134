// The streaming thread of a running source, and the clock that paces it.
//
// A source filter owns one StreamingThread per streaming output pin. start()
// launches the thread and registers it with the clock; the thread calls
// push(frame_index) once per frame: at the frame interval when the clock is
// real, and when vorsim::deliver_frames() asks for frames in either mode.
// stop() unregisters, wakes and joins the thread: when it returns, no push
// is running and none will start. push must return even when downstream
// refuses the sample (it is a stream, not a transaction); a push blocked in
// SamplePool::get_buffer is released by decommitting the pool before stop().
#pragma once

#include <functional>
#include <memory>

#include "dshow_platform.h"

namespace vorsim {

class StreamingThread {
public:
    using Push = std::function<void(uint64_t frame_index)>;

    StreamingThread();
    ~StreamingThread();  // stops
    StreamingThread(const StreamingThread&) = delete;
    StreamingThread& operator=(const StreamingThread&) = delete;

    // Starts pushing; frame indexes count from 0 again. Throws
    // std::bad_alloc or std::system_error when no thread can be made.
    void start(REFERENCE_TIME frame_interval, Push push);
    void stop();
    bool running() const;
    // Frames pushed since start.
    uint64_t frames_pushed() const;

    struct State;

private:
    std::shared_ptr<State> state_;
};

}  // namespace vorsim
