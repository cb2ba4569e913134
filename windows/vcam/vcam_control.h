// The virtual camera's clock, as the shell drives it on Windows.
//
// A camera streams in real time (one sample per frame interval) unless the
// process's environment has VORVCAM_CLOCK=manual when its stream starts.
// Then it delivers nothing until told: vorvcam_deliver(n), exported by the
// camera's DLL, makes every running stream deliver n samples on its own
// streaming thread and returns when they have been received downstream (so
// a Sample Grabber's callback has run for each). It returns how many streams
// delivered, 0 when none is running.
#pragma once

#define VORVCAM_DLL_NAME L"vorvcam.dll"
#define VORVCAM_CLOCK_VARIABLE L"VORVCAM_CLOCK"
#define VORVCAM_DELIVER_EXPORT "vorvcam_deliver"

extern "C" {
using vorvcam_deliver_fn = long (*)(long frames);
}
