// Streaming threads, the clock registry and deliver_frames.
#include "streaming.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "vorsim.h"

namespace vorsim {

using steady = std::chrono::steady_clock;

struct StreamingThread::State {
    std::mutex mutex;
    std::condition_variable wake;   // for the streaming thread
    std::condition_variable done;   // for deliver_frames waiters
    bool stopping = false;
    uint64_t requested = 0;         // frames asked for by deliver_frames
    uint64_t handled = 0;           // of those, pushed
    uint64_t pushed = 0;            // all frames pushed
    REFERENCE_TIME interval = 0;
    Push push;
    std::thread thread;
};

namespace {

std::atomic<ClockMode> g_mode{ClockMode::real};
std::mutex g_registry_mutex;
std::vector<std::shared_ptr<StreamingThread::State>> g_running;

void notify_all_streams() {
    std::vector<std::shared_ptr<StreamingThread::State>> streams;
    {
        std::lock_guard<std::mutex> lock(g_registry_mutex);
        streams = g_running;
    }
    for (auto& s : streams) {
        std::lock_guard<std::mutex> lock(s->mutex);
        s->wake.notify_all();
    }
}

void stream_loop(StreamingThread::State& s) {
    const auto period = std::chrono::nanoseconds(std::max<REFERENCE_TIME>(s.interval, 1) * 100);
    auto next = steady::now() + period;
    uint64_t index = 0;
    std::unique_lock<std::mutex> lock(s.mutex);
    for (;;) {
        bool requested = false;
        while (!s.stopping) {
            if (s.handled < s.requested) {
                requested = true;
                break;
            }
            if (g_mode.load() == ClockMode::real) {
                const auto now = steady::now();
                if (now >= next) break;
                s.wake.wait_until(lock, next);
            } else {
                s.wake.wait(lock);
                // Coming back to real time later starts a fresh interval.
                next = steady::now() + period;
            }
        }
        if (s.stopping) return;
        lock.unlock();
        s.push(index++);
        lock.lock();
        ++s.pushed;
        if (requested) {
            ++s.handled;
            s.done.notify_all();
        } else {
            next += period;
            const auto now = steady::now();
            if (next + period < now) next = now + period;  // fell behind: do not burst
        }
    }
}

}  // namespace

StreamingThread::StreamingThread() = default;

StreamingThread::~StreamingThread() { stop(); }

void StreamingThread::start(REFERENCE_TIME frame_interval, Push push) {
    stop();
    auto state = std::make_shared<State>();
    state->interval = frame_interval;
    state->push = std::move(push);
    {
        std::lock_guard<std::mutex> lock(g_registry_mutex);
        g_running.push_back(state);
    }
    try {
        // The thread shares the state, so a source may stop from inside its
        // own push.
        state->thread = std::thread([state] { stream_loop(*state); });
    } catch (...) {
        std::lock_guard<std::mutex> lock(g_registry_mutex);
        g_running.erase(std::remove(g_running.begin(), g_running.end(), state), g_running.end());
        throw;
    }
    state_ = std::move(state);
}

void StreamingThread::stop() {
    std::shared_ptr<State> state = std::move(state_);
    if (!state) return;
    {
        std::lock_guard<std::mutex> lock(g_registry_mutex);
        g_running.erase(std::remove(g_running.begin(), g_running.end(), state), g_running.end());
    }
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->stopping = true;
        state->wake.notify_all();
        state->done.notify_all();
    }
    if (state->thread.joinable()) {
        if (state->thread.get_id() == std::this_thread::get_id()) {
            state->thread.detach();  // stopped from its own push: it ends when push returns
        } else {
            state->thread.join();
        }
    }
}

bool StreamingThread::running() const { return state_ != nullptr; }

uint64_t StreamingThread::frames_pushed() const {
    if (!state_) return 0;
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->pushed;
}

void clock_set(ClockMode mode) {
    g_mode.store(mode);
    notify_all_streams();
}

ClockMode clock_mode() { return g_mode.load(); }

int deliver_frames(int n) {
    std::vector<std::shared_ptr<StreamingThread::State>> streams;
    {
        std::lock_guard<std::mutex> lock(g_registry_mutex);
        streams = g_running;
    }
    if (n <= 0) return static_cast<int>(streams.size());
    std::vector<uint64_t> targets;
    targets.reserve(streams.size());
    for (auto& s : streams) {
        std::lock_guard<std::mutex> lock(s->mutex);
        s->requested += static_cast<uint64_t>(n);
        targets.push_back(s->requested);
        s->wake.notify_all();
    }
    for (size_t i = 0; i < streams.size(); ++i) {
        auto& s = streams[i];
        std::unique_lock<std::mutex> lock(s->mutex);
        s->done.wait(lock, [&] { return s->stopping || s->handled >= targets[i]; });
    }
    return static_cast<int>(streams.size());
}

}  // namespace vorsim
