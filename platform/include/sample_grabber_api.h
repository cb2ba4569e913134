// The Sample Grabber's interfaces as the module sees them on other systems:
// ISampleGrabber on the filter and ISampleGrabberCB, the callback the
// module implements. Only included when not building for Windows.
#pragma once

#include "com_api.h"
#include "dshow_interfaces.h"
#include "dshow_structs.h"

#include "sample_grabber_interfaces.h"
