// The AVI file behind the sim's AVI Mux and File Writer: one writer per
// recording, opened when the graph leaves Stopped and closed when it stops.
// It stores what the mux's input pins receive, stream by stream, in a file
// any AVI reader plays; libavformat does the RIFF/OpenDML work.
//
// Streams are numbered in the order open() gets them (the mux passes its
// input pins in connection order: video 0, audio 1, ...).
//
//   video  a FOURCC (UYVY, YUY2, I420, YV12 stored as raw video under that
//          tag; MJPG, dvsd and any other FOURCC libavformat knows stored as
//          is), or uncompressed RGB (BI_RGB, 16/24/32 bits) in DirectShow's
//          row order: a positive height is bottom-up, a negative height
//          top-down, and the file's header says which.
//   audio  PCM, 8-bit unsigned or 16-bit signed little-endian.
//
// Timing: every write_video() call is the next frame of that stream, one
// frame interval after the previous one; every write_audio() call continues
// the stream's samples. The frame interval (100-ns units) becomes the
// stream's rate as an exact fraction. DirectShow intervals are 1/fps rounded
// to 100 ns, so an interval within one unit of a whole rate or of an NTSC
// rate (n*1000/1001) means that rate exactly: 666666 and 666667 are both
// 15 fps, 333667 is 30000/1001. Any other interval is kept as is
// (interval/10^7 s per frame, reduced).
//
// Chunks land in the file in the order they are written (the mux filter
// writes them as its pins receive them); readers find frames through the
// index, which close() writes.
//
// Master stream: IConfigAviMux's SetMasterStream is recorded here and read
// back, and nothing else. Windows' mux stretches the other streams' rates to
// the master's clock to keep them in sync; this writer stores every stream at
// its nominal rate instead, which is what a master stream with a perfect
// clock gives.
//
// Not thread-safe: the mux filter serialises its calls. No call throws;
// every failure comes back as an AviStatus. After a failed open() the writer
// is closed again (the file may exist, possibly empty or partial). Writes
// allocate nothing of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

struct AVFormatContext;
struct AVPacket;

namespace vorsim {

// FOURCC as DirectShow stores it in biCompression / a subtype's Data1.
constexpr std::uint32_t avi_fourcc(char a, char b, char c, char d) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24;
}
// biCompression of uncompressed RGB.
constexpr std::uint32_t kAviRgb = 0;

struct AviVideoFormat {
  std::uint32_t fourcc = kAviRgb;  // kAviRgb or a FOURCC
  // Bits per pixel: 16, 24 or 32 for RGB; for a FOURCC, 0 means the usual
  // value (16 for UYVY/YUY2, 12 for I420/YV12, 24 otherwise).
  std::uint16_t bit_count = 0;
  std::int32_t width = 0;   // > 0
  std::int32_t height = 0;  // RGB: > 0 bottom-up, < 0 top-down; others > 0
  std::int64_t frame_interval = 0;  // 100-ns units per frame, > 0
};

struct AviAudioFormat {
  std::uint32_t sample_rate = 0;      // Hz, > 0
  std::uint16_t channels = 0;         // 1..8
  std::uint16_t bits_per_sample = 0;  // 8 (unsigned) or 16 (signed LE)
};

using AviStreamFormat = std::variant<AviVideoFormat, AviAudioFormat>;

enum class AviErrc {
  ok,
  invalid_argument,  // a bad format, stream number, size or master stream
  not_open,          // a write while no file is open
  already_open,      // open() on an open writer
  io,                // the file could not be created or written
  muxer,             // libavformat refused (out of memory, internal error)
};

// The result of a call: ok(), or an error code with a short reason.
class AviStatus {
 public:
  AviStatus() noexcept = default;
  AviStatus(AviErrc code, const char* what, int av_error = 0) noexcept;

  bool ok() const noexcept { return code_ == AviErrc::ok; }
  explicit operator bool() const noexcept { return ok(); }
  AviErrc code() const noexcept { return code_; }
  // libavformat's error code (negative) when it caused the failure, else 0.
  int av_error() const noexcept { return av_error_; }
  const char* message() const noexcept { return message_; }

 private:
  AviErrc code_ = AviErrc::ok;
  int av_error_ = 0;
  char message_[120] = {};
};

// A frame duration in seconds, num/den in lowest terms.
struct AviFrameDuration {
  std::int64_t num = 0;
  std::int64_t den = 1;
};
// The frame duration a stream with this interval (100-ns units, > 0) gets;
// see Timing above.
AviFrameDuration avi_frame_duration(std::int64_t frame_interval) noexcept;

// Bytes of one uncompressed frame of this format, or 0 when frames vary in
// size (compressed FOURCCs) or the format is invalid.
std::size_t avi_frame_bytes(const AviVideoFormat& format) noexcept;

class AviWriter {
 public:
  AviWriter() noexcept = default;
  ~AviWriter();  // closes (see close())
  AviWriter(const AviWriter&) = delete;
  AviWriter& operator=(const AviWriter&) = delete;

  // Creates (or truncates) the file at path and writes the header for these
  // streams. Formats are checked before the file is touched.
  AviStatus open(const std::string& path, std::span<const AviStreamFormat> streams) noexcept;
  bool is_open() const noexcept { return ctx_ != nullptr; }
  std::size_t stream_count() const noexcept { return streams_.size(); }

  // One frame. Uncompressed formats need exactly avi_frame_bytes() bytes;
  // compressed frames are stored as given. keyframe marks the frame in the
  // index; frames of intra-only codecs (MJPG, dvsd) are always key frames.
  AviStatus write_video(std::size_t stream, const void* data, std::size_t size,
                        bool keyframe = true) noexcept;
  // Whole samples (a multiple of channels * bits / 8 bytes), at least one.
  AviStatus write_audio(std::size_t stream, const void* data, std::size_t size) noexcept;

  // -1 for none, else a stream number (checked against the streams while
  // open; stored as given while closed, as the mux may be told before its
  // pins connect).
  AviStatus set_master_stream(int stream) noexcept;
  int master_stream() const noexcept { return master_; }

  // Writes the index and the final sizes and closes the file; the file is
  // complete once this returns ok. Reports the first error of the recording
  // if a write failed. Closing a closed writer does nothing and returns ok.
  AviStatus close() noexcept;

 private:
  struct Stream {
    bool video = false;
    std::size_t frame_bytes = 0;   // video: 0 when frames vary
    std::size_t block_align = 0;   // audio: bytes per sample frame
    std::int64_t position = 0;     // frames or samples written
    int tb_num = 1, tb_den = 1;    // the unit of position
  };

  AviStatus write_packet(std::size_t stream, const void* data, std::size_t size, std::int64_t duration,
                         bool keyframe) noexcept;
  void release() noexcept;

  AVFormatContext* ctx_ = nullptr;
  AVPacket* packet_ = nullptr;
  std::vector<Stream> streams_;
  bool header_written_ = false;
  AviStatus first_error_;
  int master_ = -1;
};

}  // namespace vorsim
