#include "avi/avi_writer.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
}

namespace vorsim {

namespace {

constexpr std::int64_t kUnitsPerSecond = 10'000'000;  // 100-ns units
constexpr std::size_t kMaxStreams = 99;               // chunk ids "00dc".."98wb"

constexpr std::uint32_t kUyvy = avi_fourcc('U', 'Y', 'V', 'Y');
constexpr std::uint32_t kYuy2 = avi_fourcc('Y', 'U', 'Y', '2');
constexpr std::uint32_t kI420 = avi_fourcc('I', '4', '2', '0');
constexpr std::uint32_t kYv12 = avi_fourcc('Y', 'V', '1', '2');

std::int64_t gcd64(std::int64_t a, std::int64_t b) {
  while (b != 0) {
    const std::int64_t t = a % b;
    a = b;
    b = t;
  }
  return a;
}

AviFrameDuration reduced(std::int64_t num, std::int64_t den) {
  const std::int64_t g = gcd64(num, den);
  return {num / g, den / g};
}

// True when interval is within one unit of `units` / n for the nearest n.
bool near_rate(std::int64_t interval, std::int64_t units, std::int64_t* n) {
  const std::int64_t k = (units + interval / 2) / interval;
  if (k < 1) return false;
  const std::int64_t diff = interval * k - units;
  if (diff > k || -diff > k) return false;
  *n = k;
  return true;
}

const char* video_check(const AviVideoFormat& f) {
  if (f.width <= 0) return "video width must be positive";
  if (f.height == 0 || f.height == INT32_MIN) return "video height must not be 0";
  if (f.frame_interval <= 0) return "frame interval must be positive";
  const AviFrameDuration d = avi_frame_duration(f.frame_interval);
  if (d.num > INT_MAX || d.den > INT_MAX) return "frame interval too long";
  if (f.fourcc == kAviRgb) {
    if (f.bit_count != 16 && f.bit_count != 24 && f.bit_count != 32) return "RGB needs 16, 24 or 32 bits";
  } else {
    if (f.height < 0) return "only RGB may be top-down (negative height)";
    if ((f.fourcc == kUyvy || f.fourcc == kYuy2) && f.width % 2 != 0) return "4:2:2 video needs an even width";
    if ((f.fourcc == kI420 || f.fourcc == kYv12) && (f.width % 2 != 0 || f.height % 2 != 0))
      return "4:2:0 video needs an even width and height";
  }
  if (avi_frame_bytes(f) == 0 && (f.fourcc == kAviRgb || f.fourcc == kUyvy || f.fourcc == kYuy2 ||
                                  f.fourcc == kI420 || f.fourcc == kYv12))
    return "video frame too large";
  return nullptr;
}

const char* audio_check(const AviAudioFormat& f) {
  if (f.sample_rate == 0 || f.sample_rate > INT_MAX / 64) return "bad audio sample rate";
  if (f.channels < 1 || f.channels > 8) return "audio needs 1 to 8 channels";
  if (f.bits_per_sample != 8 && f.bits_per_sample != 16) return "audio PCM must be 8 or 16 bits";
  return nullptr;
}

enum AVCodecID video_codec(std::uint32_t fourcc) {
  if (fourcc == kAviRgb) return AV_CODEC_ID_RAWVIDEO;
  const AVCodecTag* const tags[] = {avformat_get_riff_video_tags(), nullptr};
  return av_codec_get_id(tags, fourcc);
}

int default_bit_count(std::uint32_t fourcc) {
  if (fourcc == kUyvy || fourcc == kYuy2) return 16;
  if (fourcc == kI420 || fourcc == kYv12) return 12;
  return 24;
}

}  // namespace

AviStatus::AviStatus(AviErrc code, const char* what, int av_error) noexcept : code_(code), av_error_(av_error) {
  if (av_error != 0) {
    char reason[64] = {};
    av_strerror(av_error, reason, sizeof reason);
    std::snprintf(message_, sizeof message_, "%s: %s", what, reason);
  } else {
    std::snprintf(message_, sizeof message_, "%s", what);
  }
}

AviFrameDuration avi_frame_duration(std::int64_t frame_interval) noexcept {
  if (frame_interval <= 0) return {0, 1};
  std::int64_t n = 0;
  if (near_rate(frame_interval, kUnitsPerSecond, &n)) return {1, n};
  if (near_rate(frame_interval, kUnitsPerSecond * 1001 / 1000, &n)) return reduced(1001, n * 1000);
  return reduced(frame_interval, kUnitsPerSecond);
}

std::size_t avi_frame_bytes(const AviVideoFormat& f) noexcept {
  if (f.width <= 0 || f.height == 0 || f.height == INT32_MIN) return 0;
  const std::uint64_t w = static_cast<std::uint32_t>(f.width);
  const std::uint64_t h = static_cast<std::uint64_t>(std::llabs(f.height));
  std::uint64_t bytes = 0;
  if (f.fourcc == kAviRgb) {
    if (f.bit_count != 16 && f.bit_count != 24 && f.bit_count != 32) return 0;
    bytes = (w * f.bit_count + 31) / 32 * 4 * h;
  } else if (f.fourcc == kUyvy || f.fourcc == kYuy2) {
    bytes = w * h * 2;
  } else if (f.fourcc == kI420 || f.fourcc == kYv12) {
    bytes = w * h + 2 * ((w / 2) * (h / 2));
  } else {
    return 0;
  }
  return bytes <= static_cast<std::uint64_t>(INT_MAX) ? static_cast<std::size_t>(bytes) : 0;
}

AviWriter::~AviWriter() { close(); }

void AviWriter::release() noexcept {
  if (ctx_ != nullptr) {
    if (ctx_->pb != nullptr) avio_closep(&ctx_->pb);
    avformat_free_context(ctx_);
    ctx_ = nullptr;
  }
  av_packet_free(&packet_);
  streams_.clear();
  header_written_ = false;
}

AviStatus AviWriter::open(const std::string& path, std::span<const AviStreamFormat> streams) noexcept {
  if (ctx_ != nullptr) return {AviErrc::already_open, "a file is already open"};
  if (streams.empty()) return {AviErrc::invalid_argument, "no streams"};
  if (streams.size() > kMaxStreams) return {AviErrc::invalid_argument, "too many streams"};

  // Check everything before the file is touched.
  int rgb_bottom_up = -1;  // -1 no RGB stream yet, else 0/1
  for (const AviStreamFormat& s : streams) {
    if (const auto* v = std::get_if<AviVideoFormat>(&s)) {
      if (const char* why = video_check(*v)) return {AviErrc::invalid_argument, why};
      if (video_codec(v->fourcc) == AV_CODEC_ID_NONE) return {AviErrc::invalid_argument, "unknown video FOURCC"};
      if (v->fourcc == kAviRgb) {
        const int bottom_up = v->height > 0 ? 1 : 0;
        if (rgb_bottom_up >= 0 && rgb_bottom_up != bottom_up)
          return {AviErrc::invalid_argument, "RGB streams must share one row order"};
        rgb_bottom_up = bottom_up;
      }
    } else if (const char* why = audio_check(std::get<AviAudioFormat>(s))) {
      return {AviErrc::invalid_argument, why};
    }
  }

  std::string url;
  try {
    streams_.reserve(streams.size());
    // "file:" keeps a ':' in the path from naming a protocol.
    url = "file:" + path;
  } catch (const std::bad_alloc&) {
    streams_.clear();
    return {AviErrc::muxer, "out of memory"};
  }

  int r = avformat_alloc_output_context2(&ctx_, nullptr, "avi", nullptr);
  if (r < 0 || ctx_ == nullptr) {
    ctx_ = nullptr;
    release();
    return {AviErrc::muxer, "cannot create the AVI muxer", r};
  }
  packet_ = av_packet_alloc();
  if (packet_ == nullptr) {
    release();
    return {AviErrc::muxer, "out of memory", AVERROR(ENOMEM)};
  }

  for (const AviStreamFormat& s : streams) {
    AVStream* st = avformat_new_stream(ctx_, nullptr);
    if (st == nullptr) {
      release();
      return {AviErrc::muxer, "cannot add a stream", AVERROR(ENOMEM)};
    }
    AVCodecParameters* par = st->codecpar;
    Stream entry;
    if (const auto* v = std::get_if<AviVideoFormat>(&s)) {
      const AviFrameDuration d = avi_frame_duration(v->frame_interval);
      par->codec_type = AVMEDIA_TYPE_VIDEO;
      par->codec_id = video_codec(v->fourcc);
      par->codec_tag = v->fourcc;
      par->width = v->width;
      par->height = v->height < 0 ? -v->height : v->height;
      par->bits_per_coded_sample = v->bit_count != 0 ? v->bit_count : default_bit_count(v->fourcc);
      st->time_base = AVRational{static_cast<int>(d.num), static_cast<int>(d.den)};
      st->avg_frame_rate = AVRational{static_cast<int>(d.den), static_cast<int>(d.num)};
      st->r_frame_rate = st->avg_frame_rate;
      entry.video = true;
      entry.frame_bytes = avi_frame_bytes(*v);
      entry.tb_num = static_cast<int>(d.num);
      entry.tb_den = static_cast<int>(d.den);
    } else {
      const AviAudioFormat& a = std::get<AviAudioFormat>(s);
      const int block_align = a.channels * a.bits_per_sample / 8;
      par->codec_type = AVMEDIA_TYPE_AUDIO;
      par->codec_id = a.bits_per_sample == 8 ? AV_CODEC_ID_PCM_U8 : AV_CODEC_ID_PCM_S16LE;
      par->sample_rate = static_cast<int>(a.sample_rate);
      av_channel_layout_default(&par->ch_layout, a.channels);
      par->bits_per_coded_sample = a.bits_per_sample;
      par->block_align = block_align;
      par->bit_rate = static_cast<std::int64_t>(a.sample_rate) * block_align * 8;
      st->time_base = AVRational{1, static_cast<int>(a.sample_rate)};
      entry.block_align = static_cast<std::size_t>(block_align);
      entry.tb_num = 1;
      entry.tb_den = static_cast<int>(a.sample_rate);
    }
    streams_.push_back(entry);  // capacity reserved above
  }

  // The muxer writes RGB top-down unless told the frames are bottom-up.
  r = av_opt_set_int(ctx_->priv_data, "flipped_raw_rgb", rgb_bottom_up == 1 ? 1 : 0, 0);
  if (r < 0) {
    release();
    return {AviErrc::muxer, "cannot set the RGB row order", r};
  }

  r = avio_open(&ctx_->pb, url.c_str(), AVIO_FLAG_WRITE);
  if (r < 0) {
    release();
    return {AviErrc::io, "cannot create the file", r};
  }
  r = avformat_write_header(ctx_, nullptr);
  if (r < 0) {
    const AviErrc code = ctx_->pb->error < 0 ? AviErrc::io : AviErrc::muxer;
    release();
    return {code, "cannot write the AVI header", r};
  }
  header_written_ = true;
  first_error_ = AviStatus();
  return {};
}

AviStatus AviWriter::write_packet(std::size_t stream, const void* data, std::size_t size, std::int64_t duration,
                                  bool keyframe) noexcept {
  Stream& s = streams_[stream];
  const AVRational own{s.tb_num, s.tb_den};
  const AVRational file_tb = ctx_->streams[stream]->time_base;
  packet_->data = static_cast<std::uint8_t*>(const_cast<void*>(data));
  packet_->size = static_cast<int>(size);
  packet_->stream_index = static_cast<int>(stream);
  packet_->pts = av_rescale_q(s.position, own, file_tb);
  packet_->dts = packet_->pts;
  packet_->duration = av_rescale_q(s.position + duration, own, file_tb) - packet_->pts;
  packet_->flags = keyframe ? AV_PKT_FLAG_KEY : 0;
  const int r = av_write_frame(ctx_, packet_);
  packet_->data = nullptr;
  packet_->size = 0;
  if (r < 0) {
    const AviErrc code = ctx_->pb != nullptr && ctx_->pb->error < 0 ? AviErrc::io : AviErrc::muxer;
    first_error_ = AviStatus(code, "cannot write to the file", r);
    return first_error_;
  }
  s.position += duration;
  return {};
}

AviStatus AviWriter::write_video(std::size_t stream, const void* data, std::size_t size, bool keyframe) noexcept {
  if (ctx_ == nullptr) return {AviErrc::not_open, "no file is open"};
  if (!first_error_.ok()) return first_error_;
  if (stream >= streams_.size() || !streams_[stream].video)
    return {AviErrc::invalid_argument, "not a video stream"};
  if (data == nullptr || size == 0 || size > static_cast<std::size_t>(INT_MAX))
    return {AviErrc::invalid_argument, "bad frame buffer"};
  const Stream& s = streams_[stream];
  if (s.frame_bytes != 0 && size != s.frame_bytes) return {AviErrc::invalid_argument, "frame size does not match the format"};
  return write_packet(stream, data, size, 1, keyframe || s.frame_bytes != 0);
}

AviStatus AviWriter::write_audio(std::size_t stream, const void* data, std::size_t size) noexcept {
  if (ctx_ == nullptr) return {AviErrc::not_open, "no file is open"};
  if (!first_error_.ok()) return first_error_;
  if (stream >= streams_.size() || streams_[stream].video)
    return {AviErrc::invalid_argument, "not an audio stream"};
  const Stream& s = streams_[stream];
  if (data == nullptr || size == 0 || size > static_cast<std::size_t>(INT_MAX) || size % s.block_align != 0)
    return {AviErrc::invalid_argument, "audio must be whole samples"};
  return write_packet(stream, data, size, static_cast<std::int64_t>(size / s.block_align), true);
}

AviStatus AviWriter::set_master_stream(int stream) noexcept {
  if (stream < -1) return {AviErrc::invalid_argument, "master stream out of range"};
  if (ctx_ != nullptr && stream >= static_cast<int>(streams_.size()))
    return {AviErrc::invalid_argument, "master stream out of range"};
  master_ = stream;
  return {};
}

AviStatus AviWriter::close() noexcept {
  if (ctx_ == nullptr) return {};
  AviStatus status = first_error_;
  if (header_written_) {
    const int r = av_write_trailer(ctx_);
    if (r < 0 && status.ok()) {
      const AviErrc code = ctx_->pb != nullptr && ctx_->pb->error < 0 ? AviErrc::io : AviErrc::muxer;
      status = AviStatus(code, "cannot finish the file", r);
    }
  }
  if (ctx_->pb != nullptr) {
    const int r = avio_closep(&ctx_->pb);
    if (r < 0 && status.ok()) status = AviStatus(AviErrc::io, "cannot close the file", r);
  }
  release();
  first_error_ = AviStatus();
  return status;
}

}  // namespace vorsim
