// SampleGrabberCallback: the object the Sample Grabber calls for every
// sample, on the streaming thread. Its lifetime is its grabber's.
#pragma once

struct t_grabber;

struct SampleGrabberCallback {
    t_grabber* owner;  // the grabber that created it; not owned
};

SampleGrabberCallback* sample_callback_new(t_grabber* owner);  // null on failure
void sample_callback_delete(SampleGrabberCallback* cb);
