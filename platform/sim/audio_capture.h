// The virtual microphone: an "Audio Capture" filter (CLSID_AudioRecord) made
// from an audio device of the device file, one per BindToObject.
//
// One output pin, "Capture" (category CAPTURE), offering a single type:
// MEDIATYPE_Audio, PCM, WAVEFORMATEX with the device's rate and channels at
// 16 bits. IAMStreamConfig on the pin gives that one format (one
// capability, 52 bytes of AUDIO_STREAM_CONFIG_CAPS); SetFormat takes only
// it (E_FAIL otherwise; VFW_E_NOT_STOPPED unless stopped). The filter has
// IAMFilterMiscFlags (IS_SOURCE), ISimDevice, and no reference clock; with
// `property_pages` also ISpecifyPropertyPages, whose GetPages offers the
// input mixer page when the count is not 0 (fault
// "ISpecifyPropertyPages::GetPages").
//
// Streaming: while running, the connected pin delivers one chunk per video
// frame time (1/30 s: rate / 30 sample frames) on a StreamingThread. Chunk
// n holds sample frames n*k ... n*k + k - 1 (k = rate / 30), every channel
// the same value audio_tone_sample(frame); times are the sample positions
// in 100-ns units from the Run. Unplugged, it stops delivering, posts
// EC_DEVICE_LOST to its graph, and Run fails from then on.
#pragma once

#include <memory>

#include "com_object.h"
#include "device_registry.h"

namespace vorsim {

inline constexpr REFERENCE_TIME kAudioChunkInterval = 333333;  // 1/30 s

// The test tone: a 441 Hz sawtooth at a quarter of full scale.
int16_t audio_tone_sample(uint64_t frame, uint32_t rate);
// Sample frames in one chunk.
inline uint32_t audio_chunk_frames(uint32_t rate) { return rate / 30 > 0 ? rate / 30 : 1; }

HRESULT create_audio_capture(std::shared_ptr<const PluggedAudioDevice> device, REFIID iid, void** ppv);

}  // namespace vorsim
