// A patch around real vor.dx.grab boxes, for the benchmarks that run the
// module as a host does: the module file beside the program loaded through
// the host stand-in, virtual devices plugged in, the manual clock.
//
// Devices, in vdevice order: for every frame size, a solid RGB32 camera and
// then a solid UYVY camera of that size; and a microphone (a box reports
// "no audio devices found" when it opens without one).
#pragma once

#include <string>

#include "bench_support.h"
#include "vorlib.h"

namespace vorbench {

// Loads the module and the devices once; false with a reason when either
// cannot be had.
bool box_world(std::string& why);

int rgb32_device(const FrameSize& s);
int uyvy_device(const FrameSize& s);
// An RGB32 camera with a preview pin: no Smart Tee in its graph.
int rgb32_preview_pin_device(const FrameSize& s);

// One box, created from shell-style arguments ("1920 1080 @colormode uyvy"),
// freed with the object.
class Box {
public:
    explicit Box(const std::string& args);
    ~Box();
    Box(const Box&) = delete;
    Box& operator=(const Box&) = delete;

    void* object() const { return box_; }
    // Sends a message with shell-style arguments and runs the host's queue.
    void send(const std::string& message);
    // `bang` and the host's queue, as a patch's bang does.
    void bang();
    // The box's output matrix (its io object).
    void* output() const;

private:
    void* box_ = nullptr;
};

// What the boxes said since the last reset.
struct BoxTalk {
    long matrices = 0;  // "vor_matrix" out of outlet 1
    long errors = 0;    // console errors
    std::string last_error;
    std::string last_dump;  // selector and first atom of the last dump message
};
BoxTalk& box_talk();

// The first cell of a 4-plane char matrix (or io object), or all zero.
void first_cell(void* matrix, uint8_t cell[4]);

}  // namespace vorbench
