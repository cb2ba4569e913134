#include "capture/sample_callback.h"

#include <new>

SampleGrabberCallback* sample_callback_new(t_grabber* owner) {
    return new (std::nothrow) SampleGrabberCallback{owner};
}

void sample_callback_delete(SampleGrabberCallback* cb) { delete cb; }
