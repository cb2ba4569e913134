// The module's console texts, in one place.
#pragma once

namespace msg {
// Devices and identifiers.
inline constexpr const char* kNoDevices = "no devices found";
inline constexpr const char* kNoVideoDevices = "no video devices found";
inline constexpr const char* kNoSystemDevices = "no system devices found";
inline constexpr const char* kNoAudioDevices = "no audio devices found";
inline constexpr const char* kSwitchWhileWriting = "cannot switch vdevice while writing to disk";
inline constexpr const char* kBindFailed = "could not bind moniker to filter";
inline constexpr const char* kNoCaptureDevice = "could not find video capture device";
inline constexpr const char* kNoAudioCaptureDevice = "could not find audio capture device";
inline constexpr const char* kUnknownUniqueId = "can't find device with unique id %s";
// The graph.
inline constexpr const char* kAlreadyOpen = "a grabber is already open.";
inline constexpr const char* kNoInterfaces = "could not get DirectX interfaces";
inline constexpr const char* kNoAttach = "could not attach the filter graph to the capture graph";
inline constexpr const char* kNoAddCapture = "couldn't add capture filter to the graph";
inline constexpr const char* kNoPreviewGraph = "could not build preview graph";
inline constexpr const char* kNoSampleGrabber = "could not create sample grabber filter";
inline constexpr const char* kNoAddSampleGrabber = "could not add sample grabber to the filter graph";
inline constexpr const char* kNoSampleGrabberInterface = "could not get sample grabber interface";
inline constexpr const char* kNoMediaType = "could not set media type";
inline constexpr const char* kNoNullRenderer = "could not create null renderer filter";
inline constexpr const char* kNoAddNullRenderer = "could not add null renderer filter to filter graph";
inline constexpr const char* kNoRender = "could not render capture stream";
inline constexpr const char* kNoBufferSamples = "could not set sample grabber filter's buffer samples";
inline constexpr const char* kNoOneShot = "could not set sample grabber filter's one shot";
inline constexpr const char* kNoCallback = "could not set grabber callback function";
inline constexpr const char* kNoAddDv = "could not add DV decompressor filter to filter graph";
// Formats, resolution and frame rate.
inline constexpr const char* kNoStreamConfig = "could not get StreamConfig interface";
inline constexpr const char* kFormatSet = "device format set to: %s";
inline constexpr const char* kNoCaptureFilter = "could not get capture device";
inline constexpr const char* kNoConnectedPin = "could not get connected pin";
inline constexpr const char* kNoConfig = "could not get pConfig interface";
inline constexpr const char* kNoTransport = "could not get transport interface";
inline constexpr const char* kNoTransportParameters = "could not get basic transport parameters";
inline constexpr const char* kUnknownStandard = "camera uses unrecognized input standard";
inline constexpr const char* kResolutionWhileWriting = "cannot switch camera resolution while writing to disk";
inline constexpr const char* kNoFrameRate = "could not set frame rate";
// Image adjustment and property pages.
inline constexpr const char* kNoImageAdjustment = "this device doesn't support image adjustment";
inline constexpr const char* kNoHwnd = "no hwnd";
inline constexpr const char* kNoPropertyPages = "no device property pages";
// Recording.
inline constexpr const char* kNoConformName = "could not conform name";
inline constexpr const char* kNoFindCapture = "could not find capture filter";
inline constexpr const char* kNoOutputFile = "could not set output file name";
inline constexpr const char* kNoRenderStream = "could not render stream";
inline constexpr const char* kNoAudioFilter = "could not get audio capture filter";
inline constexpr const char* kNoRenderAudio = "could not render audio stream";
inline constexpr const char* kNoSyncSource = "could not set default sync source";
inline constexpr const char* kNoRunGraph = "could not run graph";
}  // namespace msg
