// The AVI writer: every file is read back twice, once through libavformat's
// demuxer (what a player sees) and once as raw RIFF headers (what the file
// says about rates, row order and length).
#include "avi/avi_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
}

namespace {

using vorsim::AviAudioFormat;
using vorsim::AviErrc;
using vorsim::AviStreamFormat;
using vorsim::AviVideoFormat;
using vorsim::AviWriter;
using vorsim::avi_fourcc;
using vorsim::kAviRgb;
using Bytes = std::vector<std::uint8_t>;

constexpr std::int64_t k15fps = 666666;

// Bytes that differ from frame to frame and from stream to stream.
Bytes pattern(std::size_t size, unsigned seed) {
  Bytes b(size);
  std::uint32_t x = 2463534242u ^ (seed * 2654435761u);
  for (auto& v : b) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    v = static_cast<std::uint8_t>(x);
  }
  return b;
}

struct ReadStream {
  AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
  AVCodecID codec = AV_CODEC_ID_NONE;
  std::uint32_t tag = 0;
  int width = 0, height = 0;
  int sample_rate = 0, channels = 0;
  AVRational time_base{0, 1}, avg_rate{0, 1}, r_rate{0, 1};
  std::int64_t nb_frames = 0;
  std::vector<Bytes> packets;
  std::vector<std::int64_t> pts;
  std::vector<bool> key;
  Bytes all_bytes() const {
    Bytes out;
    for (const Bytes& p : packets) out.insert(out.end(), p.begin(), p.end());
    return out;
  }
};

// The file through libavformat's demuxer; nullopt when it does not open.
std::optional<std::vector<ReadStream>> demux(const std::string& path, bool probe = true) {
  AVFormatContext* ctx = nullptr;
  if (avformat_open_input(&ctx, path.c_str(), nullptr, nullptr) < 0) return std::nullopt;
  if (probe && avformat_find_stream_info(ctx, nullptr) < 0) {
    avformat_close_input(&ctx);
    return std::nullopt;
  }
  std::vector<ReadStream> out(ctx->nb_streams);
  for (unsigned i = 0; i < ctx->nb_streams; ++i) {
    const AVStream* st = ctx->streams[i];
    ReadStream& r = out[i];
    r.type = st->codecpar->codec_type;
    r.codec = st->codecpar->codec_id;
    r.tag = st->codecpar->codec_tag;
    r.width = st->codecpar->width;
    r.height = st->codecpar->height;
    r.sample_rate = st->codecpar->sample_rate;
    r.channels = st->codecpar->ch_layout.nb_channels;
    r.time_base = st->time_base;
    r.avg_rate = st->avg_frame_rate;
    r.r_rate = st->r_frame_rate;
    r.nb_frames = st->nb_frames;
  }
  AVPacket* pkt = av_packet_alloc();
  while (av_read_frame(ctx, pkt) >= 0) {
    ReadStream& r = out.at(static_cast<std::size_t>(pkt->stream_index));
    r.packets.emplace_back(pkt->data, pkt->data + pkt->size);
    r.pts.push_back(pkt->pts);
    r.key.push_back((pkt->flags & AV_PKT_FLAG_KEY) != 0);
    av_packet_unref(pkt);
  }
  av_packet_free(&pkt);
  avformat_close_input(&ctx);
  return out;
}

std::uint32_t u32(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(b.at(at)) | static_cast<std::uint32_t>(b.at(at + 1)) << 8 |
         static_cast<std::uint32_t>(b.at(at + 2)) << 16 | static_cast<std::uint32_t>(b.at(at + 3)) << 24;
}
std::int32_t i32(const Bytes& b, std::size_t at) { return static_cast<std::int32_t>(u32(b, at)); }
std::uint16_t u16(const Bytes& b, std::size_t at) {
  return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8);
}
bool is(const Bytes& b, std::size_t at, const char* id) { return std::memcmp(b.data() + at, id, 4) == 0; }

// The raw headers: RIFF size, each stream's strh and strf, whether idx1 is there.
struct RiffView {
  std::uint64_t file_size = 0;
  std::uint32_t riff_size = 0;
  std::vector<Bytes> strh, strf;
  bool has_idx1 = false;
  std::vector<std::uint32_t> idx1_flags;  // of every "00dc" entry, in order
};

RiffView riff(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  Bytes b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  RiffView v;
  v.file_size = b.size();
  if (b.size() < 12 || !is(b, 0, "RIFF") || !is(b, 8, "AVI ")) return v;
  v.riff_size = u32(b, 4);
  const std::size_t riff_end = std::min<std::size_t>(b.size(), 8 + static_cast<std::size_t>(v.riff_size));
  for (std::size_t at = 12; at + 8 <= riff_end;) {
    const std::size_t size = u32(b, at + 4);
    if (is(b, at, "LIST") && is(b, at + 8, "hdrl")) {
      for (std::size_t h = at + 12; h + 8 <= at + 8 + size;) {
        const std::size_t hsize = u32(b, h + 4);
        if (is(b, h, "LIST") && is(b, h + 8, "strl")) {
          for (std::size_t s = h + 12; s + 8 <= h + 8 + hsize;) {
            const std::size_t ssize = u32(b, s + 4);
            Bytes body(b.begin() + static_cast<std::ptrdiff_t>(s + 8),
                       b.begin() + static_cast<std::ptrdiff_t>(s + 8 + ssize));
            if (is(b, s, "strh")) v.strh.push_back(body);
            if (is(b, s, "strf")) v.strf.push_back(body);
            s += 8 + ssize + (ssize & 1);
          }
        }
        h += 8 + hsize + (hsize & 1);
      }
    }
    if (is(b, at, "idx1")) {
      v.has_idx1 = true;
      for (std::size_t e = at + 8; e + 16 <= at + 8 + size; e += 16)
        if (is(b, e, "00dc")) v.idx1_flags.push_back(u32(b, e + 4));
    }
    at += 8 + size + (size & 1);
  }
  return v;
}
// strh: fccType @0, dwScale @20, dwRate @24, dwLength @32.
// strf (video): biWidth @4, biHeight @8, biBitCount @14, biCompression @16.

class AviWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vorsim_avi_XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string file(const char* name) const { return (dir_ / name).string(); }

  std::filesystem::path dir_;
};

AviVideoFormat video(std::uint32_t fourcc, std::uint16_t bits, int w, int h, std::int64_t interval = k15fps) {
  AviVideoFormat f;
  f.fourcc = fourcc;
  f.bit_count = bits;
  f.width = w;
  f.height = h;
  f.frame_interval = interval;
  return f;
}

AviAudioFormat audio(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits) {
  AviAudioFormat a;
  a.sample_rate = rate;
  a.channels = channels;
  a.bits_per_sample = bits;
  return a;
}

// Writes `frames` frames of a single video stream and closes; returns them.
std::vector<Bytes> record_video(const std::string& path, const AviVideoFormat& f, int frames) {
  std::vector<Bytes> written;
  AviWriter w;
  const std::vector<AviStreamFormat> streams{f};
  const auto st = w.open(path, streams);
  EXPECT_TRUE(st.ok()) << st.message();
  for (int i = 0; i < frames; ++i) {
    written.push_back(pattern(vorsim::avi_frame_bytes(f), static_cast<unsigned>(i)));
    const auto ws = w.write_video(0, written.back().data(), written.back().size());
    EXPECT_TRUE(ws.ok()) << ws.message();
  }
  const auto cs = w.close();
  EXPECT_TRUE(cs.ok()) << cs.message();
  return written;
}

TEST_F(AviWriterTest, Rgb32BottomUpReadsBackFrameByFrameAt15Fps) {
  const std::string path = file("rgb32.avi");
  const auto f = video(kAviRgb, 32, 64, 48);
  const auto written = record_video(path, f, 5);

  const auto streams = demux(path);
  ASSERT_TRUE(streams);
  ASSERT_EQ(streams->size(), 1u);  // no audio stream unless one was added
  const ReadStream& v = (*streams)[0];
  EXPECT_EQ(v.type, AVMEDIA_TYPE_VIDEO);
  EXPECT_EQ(v.codec, AV_CODEC_ID_RAWVIDEO);
  EXPECT_EQ(v.tag, 0u);
  EXPECT_EQ(v.width, 64);
  EXPECT_EQ(v.height, 48);
  EXPECT_EQ(v.nb_frames, 5);
  EXPECT_EQ(av_cmp_q(v.avg_rate, AVRational{15, 1}), 0) << v.avg_rate.num << "/" << v.avg_rate.den;
  EXPECT_EQ(av_cmp_q(v.r_rate, AVRational{15, 1}), 0) << v.r_rate.num << "/" << v.r_rate.den;
  ASSERT_EQ(v.packets.size(), written.size());
  for (std::size_t k = 0; k < written.size(); ++k) {
    EXPECT_EQ(v.packets[k], written[k]) << "frame " << k;
    // Frame k starts at k/15 s.
    const AVRational start = av_mul_q(AVRational{static_cast<int>(v.pts[k]), 1}, v.time_base);
    EXPECT_EQ(av_cmp_q(start, AVRational{static_cast<int>(k), 15}), 0) << "frame " << k;
    EXPECT_TRUE(v.key[k]);
  }
  // One frame lasts 666666 whole 100-ns units.
  EXPECT_EQ(av_rescale_q_rnd(v.pts[1] - v.pts[0], v.time_base, AVRational{1, 10000000}, AV_ROUND_DOWN), 666666);

  const RiffView r = riff(path);
  EXPECT_EQ(r.riff_size + 8u, r.file_size);
  EXPECT_TRUE(r.has_idx1);
  EXPECT_EQ(r.idx1_flags.size(), 5u);
  ASSERT_EQ(r.strh.size(), 1u);
  ASSERT_EQ(r.strf.size(), 1u);
  EXPECT_TRUE(is(r.strh[0], 0, "vids"));
  EXPECT_EQ(u32(r.strh[0], 20), 1u);   // dwScale
  EXPECT_EQ(u32(r.strh[0], 24), 15u);  // dwRate
  EXPECT_EQ(u32(r.strh[0], 32), 5u);   // dwLength
  EXPECT_EQ(i32(r.strf[0], 4), 64);
  EXPECT_EQ(i32(r.strf[0], 8), 48);  // positive: bottom-up, as written
  EXPECT_EQ(u16(r.strf[0], 14), 32);
  EXPECT_EQ(u32(r.strf[0], 16), 0u);  // BI_RGB
}

TEST_F(AviWriterTest, Rgb24TopDownKeepsPaddedRowsAndSaysTopDown) {
  const std::string path = file("rgb24.avi");
  const auto f = video(kAviRgb, 24, 30, -20);
  EXPECT_EQ(vorsim::avi_frame_bytes(f), 92u * 20u);  // rows padded to 4 bytes
  const auto written = record_video(path, f, 3);

  const auto streams = demux(path);
  ASSERT_TRUE(streams);
  ASSERT_EQ(streams->size(), 1u);
  EXPECT_EQ((*streams)[0].width, 30);
  EXPECT_EQ((*streams)[0].height, 20);
  ASSERT_EQ((*streams)[0].packets.size(), 3u);
  for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ((*streams)[0].packets[k], written[k]);

  const RiffView r = riff(path);
  ASSERT_EQ(r.strf.size(), 1u);
  EXPECT_EQ(i32(r.strf[0], 8), -20);
  EXPECT_EQ(u16(r.strf[0], 14), 24);
}

TEST_F(AviWriterTest, FrameOfTheWrongSizeIsRefused) {
  AviWriter w;
  const auto f = video(kAviRgb, 24, 30, 20);
  const std::vector<AviStreamFormat> streams{f};
  ASSERT_TRUE(w.open(file("size.avi"), streams).ok());
  const Bytes unpadded(90 * 20);
  EXPECT_EQ(w.write_video(0, unpadded.data(), unpadded.size()).code(), AviErrc::invalid_argument);
  const Bytes right(92 * 20);
  EXPECT_TRUE(w.write_video(0, right.data(), right.size()).ok());
  EXPECT_TRUE(w.close().ok());
  const auto back = demux(file("size.avi"));
  ASSERT_TRUE(back);
  EXPECT_EQ((*back)[0].packets.size(), 1u);
}

struct YuvCase {
  const char* name;
  std::uint32_t fourcc;
  int bits;
  std::size_t bytes_320x240;
};

class AviYuvTest : public AviWriterTest, public ::testing::WithParamInterface<YuvCase> {};

TEST_P(AviYuvTest, StoredAsRawVideoUnderItsFourcc) {
  const YuvCase c = GetParam();
  const std::string path = file("yuv.avi");
  const auto f = video(c.fourcc, 0, 320, 240);
  ASSERT_EQ(vorsim::avi_frame_bytes(f), c.bytes_320x240);
  const auto written = record_video(path, f, 4);

  const auto streams = demux(path);
  ASSERT_TRUE(streams);
  ASSERT_EQ(streams->size(), 1u);
  const ReadStream& v = (*streams)[0];
  EXPECT_EQ(v.codec, AV_CODEC_ID_RAWVIDEO);
  EXPECT_EQ(v.tag, c.fourcc);
  EXPECT_EQ(v.width, 320);
  EXPECT_EQ(v.height, 240);
  ASSERT_EQ(v.packets.size(), 4u);
  for (std::size_t k = 0; k < 4; ++k) EXPECT_EQ(v.packets[k], written[k]);

  const RiffView r = riff(path);
  ASSERT_EQ(r.strf.size(), 1u);
  EXPECT_EQ(u32(r.strf[0], 16), c.fourcc);
  EXPECT_EQ(u16(r.strf[0], 14), c.bits);
  EXPECT_EQ(i32(r.strf[0], 8), 240);
  ASSERT_EQ(r.strh.size(), 1u);
  EXPECT_EQ(u32(r.strh[0], 4), c.fourcc);  // fccHandler
}

INSTANTIATE_TEST_SUITE_P(Formats, AviYuvTest,
                         ::testing::Values(YuvCase{"UYVY", avi_fourcc('U', 'Y', 'V', 'Y'), 16, 320 * 240 * 2},
                                           YuvCase{"YUY2", avi_fourcc('Y', 'U', 'Y', '2'), 16, 320 * 240 * 2},
                                           YuvCase{"I420", avi_fourcc('I', '4', '2', '0'), 12, 320 * 240 * 3 / 2},
                                           YuvCase{"YV12", avi_fourcc('Y', 'V', '1', '2'), 12, 320 * 240 * 3 / 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AviFrameDuration, RoundedIntervalsMeanTheirRate) {
  const auto check = [](std::int64_t interval, std::int64_t num, std::int64_t den) {
    const auto d = vorsim::avi_frame_duration(interval);
    EXPECT_EQ(d.num, num) << interval;
    EXPECT_EQ(d.den, den) << interval;
  };
  check(666666, 1, 15);
  check(666667, 1, 15);
  check(333333, 1, 30);
  check(400000, 1, 25);
  check(333667, 1001, 30000);
  check(417083, 1001, 24000);
  check(400100, 4001, 100000);  // 24.99 fps: kept exactly
  check(30000000, 3, 1);        // one frame every 3 s
  check(0, 0, 1);
}

TEST_F(AviWriterTest, NtscAndOddIntervalsReachTheFileExactly) {
  record_video(file("ntsc.avi"), video(avi_fourcc('U', 'Y', 'V', 'Y'), 0, 64, 48, 333667), 2);
  record_video(file("odd.avi"), video(avi_fourcc('U', 'Y', 'V', 'Y'), 0, 64, 48, 400100), 2);

  const RiffView ntsc = riff(file("ntsc.avi"));
  ASSERT_EQ(ntsc.strh.size(), 1u);
  EXPECT_EQ(u32(ntsc.strh[0], 20), 1001u);
  EXPECT_EQ(u32(ntsc.strh[0], 24), 30000u);
  const auto back = demux(file("ntsc.avi"));
  ASSERT_TRUE(back);
  EXPECT_EQ(av_cmp_q((*back)[0].avg_rate, AVRational{30000, 1001}), 0);

  const RiffView odd = riff(file("odd.avi"));
  ASSERT_EQ(odd.strh.size(), 1u);
  EXPECT_EQ(u32(odd.strh[0], 20), 4001u);
  EXPECT_EQ(u32(odd.strh[0], 24), 100000u);
}

TEST_F(AviWriterTest, VideoAndAudioStreamsInOrder) {
  const std::string path = file("av.avi");
  AviWriter w;
  const std::vector<AviStreamFormat> streams{video(avi_fourcc('Y', 'U', 'Y', '2'), 0, 160, 120),
                                             audio(44100, 2, 16)};
  ASSERT_TRUE(w.open(path, streams).ok());
  ASSERT_EQ(w.stream_count(), 2u);
  std::vector<Bytes> frames;
  Bytes sound;
  for (unsigned i = 0; i < 6; ++i) {
    frames.push_back(pattern(160 * 120 * 2, i));
    ASSERT_TRUE(w.write_video(0, frames.back().data(), frames.back().size()).ok());
    const Bytes chunk = pattern(2940 * 4, 100 + i);  // 1/15 s of stereo 16-bit
    ASSERT_TRUE(w.write_audio(1, chunk.data(), chunk.size()).ok());
    sound.insert(sound.end(), chunk.begin(), chunk.end());
  }
  ASSERT_TRUE(w.close().ok());

  const auto back = demux(path);
  ASSERT_TRUE(back);
  ASSERT_EQ(back->size(), 2u);
  const ReadStream& v = (*back)[0];
  const ReadStream& a = (*back)[1];
  EXPECT_EQ(v.type, AVMEDIA_TYPE_VIDEO);
  EXPECT_EQ(v.tag, avi_fourcc('Y', 'U', 'Y', '2'));
  ASSERT_EQ(v.packets.size(), 6u);
  for (std::size_t k = 0; k < 6; ++k) EXPECT_EQ(v.packets[k], frames[k]);
  EXPECT_EQ(av_cmp_q(v.avg_rate, AVRational{15, 1}), 0);
  EXPECT_EQ(a.type, AVMEDIA_TYPE_AUDIO);
  EXPECT_EQ(a.codec, AV_CODEC_ID_PCM_S16LE);
  EXPECT_EQ(a.sample_rate, 44100);
  EXPECT_EQ(a.channels, 2);
  EXPECT_EQ(a.all_bytes(), sound);

  const RiffView r = riff(path);
  ASSERT_EQ(r.strh.size(), 2u);
  EXPECT_TRUE(is(r.strh[0], 0, "vids"));
  EXPECT_TRUE(is(r.strh[1], 0, "auds"));
  ASSERT_EQ(r.strf.size(), 2u);
  EXPECT_EQ(u16(r.strf[1], 0), 1);       // WAVE_FORMAT_PCM
  EXPECT_EQ(u16(r.strf[1], 2), 2);       // channels
  EXPECT_EQ(u32(r.strf[1], 4), 44100u);  // samples per second
  EXPECT_EQ(u16(r.strf[1], 12), 4);      // block align
  EXPECT_EQ(u16(r.strf[1], 14), 16);     // bits
  // The audio stream's length, in its own units, covers every sample.
  const std::uint64_t scale = u32(r.strh[1], 20), rate = u32(r.strh[1], 24), length = u32(r.strh[1], 32);
  ASSERT_NE(rate, 0u);
  EXPECT_EQ(length * scale * 44100 / rate, 6u * 2940u);
}

TEST_F(AviWriterTest, EightBitMonoAudioAlone) {
  const std::string path = file("u8.avi");
  AviWriter w;
  const std::vector<AviStreamFormat> streams{audio(8000, 1, 8)};
  ASSERT_TRUE(w.open(path, streams).ok());
  const Bytes chunk = pattern(800, 7);
  ASSERT_TRUE(w.write_audio(0, chunk.data(), chunk.size()).ok());
  EXPECT_EQ(w.write_video(0, chunk.data(), chunk.size()).code(), AviErrc::invalid_argument);
  ASSERT_TRUE(w.close().ok());
  const auto back = demux(path);
  ASSERT_TRUE(back);
  ASSERT_EQ(back->size(), 1u);
  EXPECT_EQ((*back)[0].codec, AV_CODEC_ID_PCM_U8);
  EXPECT_EQ((*back)[0].sample_rate, 8000);
  EXPECT_EQ((*back)[0].channels, 1);
  EXPECT_EQ((*back)[0].all_bytes(), chunk);
}

TEST_F(AviWriterTest, PartialAudioSamplesAreRefused) {
  AviWriter w;
  const std::vector<AviStreamFormat> streams{video(avi_fourcc('U', 'Y', 'V', 'Y'), 0, 16, 16), audio(48000, 2, 16)};
  ASSERT_TRUE(w.open(file("partial.avi"), streams).ok());
  const Bytes odd(6);  // one and a half stereo 16-bit samples
  EXPECT_EQ(w.write_audio(1, odd.data(), odd.size()).code(), AviErrc::invalid_argument);
  EXPECT_EQ(w.write_audio(0, odd.data(), 4).code(), AviErrc::invalid_argument);  // the video stream
  EXPECT_EQ(w.write_audio(2, odd.data(), 4).code(), AviErrc::invalid_argument);  // no such stream
  EXPECT_TRUE(w.write_audio(1, odd.data(), 4).ok());
}

TEST_F(AviWriterTest, CompressedFramesAreStoredAsGiven) {
  const std::string path = file("mjpg.avi");
  AviWriter w;
  const auto f = video(avi_fourcc('M', 'J', 'P', 'G'), 0, 640, 480);
  EXPECT_EQ(vorsim::avi_frame_bytes(f), 0u);
  const std::vector<AviStreamFormat> streams{f};
  ASSERT_TRUE(w.open(path, streams).ok());
  std::vector<Bytes> frames{pattern(1001, 1), pattern(20000, 2), pattern(7, 3)};
  ASSERT_TRUE(w.write_video(0, frames[0].data(), frames[0].size()).ok());
  ASSERT_TRUE(w.write_video(0, frames[1].data(), frames[1].size()).ok());
  ASSERT_TRUE(w.write_video(0, frames[2].data(), frames[2].size()).ok());
  ASSERT_TRUE(w.close().ok());

  const auto back = demux(path, false);  // the payload is not real JPEG
  ASSERT_TRUE(back);
  ASSERT_EQ(back->size(), 1u);
  const ReadStream& v = (*back)[0];
  EXPECT_EQ(v.codec, AV_CODEC_ID_MJPEG);
  EXPECT_EQ(v.tag, avi_fourcc('M', 'J', 'P', 'G'));
  ASSERT_EQ(v.packets.size(), 3u);
  for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ(v.packets[k], frames[k]);
  for (std::size_t k = 0; k < 3; ++k) EXPECT_TRUE(v.key[k]);  // MJPEG frames are all key frames
}

TEST_F(AviWriterTest, KeyFramesAreMarkedInTheIndex) {
  const std::string path = file("h264.avi");
  AviWriter w;
  const std::vector<AviStreamFormat> streams{video(avi_fourcc('H', '2', '6', '4'), 0, 64, 48)};
  ASSERT_TRUE(w.open(path, streams).ok());
  Bytes frame = pattern(300, 9);
  const std::uint8_t start_code[] = {0, 0, 0, 1, 0x65};  // the muxer checks for Annex B
  std::copy(std::begin(start_code), std::end(start_code), frame.begin());
  ASSERT_TRUE(w.write_video(0, frame.data(), frame.size(), true).ok());
  ASSERT_TRUE(w.write_video(0, frame.data(), frame.size(), false).ok());
  ASSERT_TRUE(w.write_video(0, frame.data(), frame.size(), false).ok());
  ASSERT_TRUE(w.write_video(0, frame.data(), frame.size(), true).ok());
  ASSERT_TRUE(w.close().ok());
  constexpr std::uint32_t kKey = 0x10;  // AVIIF_KEYFRAME
  const RiffView r = riff(path);
  ASSERT_EQ(r.idx1_flags.size(), 4u);
  EXPECT_EQ(r.idx1_flags[0] & kKey, kKey);
  EXPECT_EQ(r.idx1_flags[1] & kKey, 0u);
  EXPECT_EQ(r.idx1_flags[2] & kKey, 0u);
  EXPECT_EQ(r.idx1_flags[3] & kKey, kKey);
  ASSERT_EQ(r.strf.size(), 1u);
  EXPECT_EQ(u32(r.strf[0], 16), avi_fourcc('H', '2', '6', '4'));
}

TEST_F(AviWriterTest, DestroyingWithoutCloseStillFinishesTheFile) {
  const std::string path = file("dtor.avi");
  std::vector<Bytes> frames;
  {
    AviWriter w;
    const std::vector<AviStreamFormat> streams{video(kAviRgb, 32, 32, 32)};
    ASSERT_TRUE(w.open(path, streams).ok());
    for (unsigned i = 0; i < 7; ++i) {
      frames.push_back(pattern(32 * 32 * 4, i));
      ASSERT_TRUE(w.write_video(0, frames.back().data(), frames.back().size()).ok());
    }
  }
  const RiffView r = riff(path);
  EXPECT_EQ(r.riff_size + 8u, r.file_size);
  EXPECT_TRUE(r.has_idx1);
  ASSERT_EQ(r.strh.size(), 1u);
  EXPECT_EQ(u32(r.strh[0], 32), 7u);
  const auto back = demux(path);
  ASSERT_TRUE(back);
  ASSERT_EQ((*back)[0].packets.size(), 7u);
  EXPECT_EQ((*back)[0].nb_frames, 7);
  EXPECT_EQ((*back)[0].packets[6], frames[6]);
}

TEST_F(AviWriterTest, CloseTwiceLeavesTheFileAlone) {
  const std::string path = file("twice.avi");
  AviWriter w;
  const std::vector<AviStreamFormat> streams{video(avi_fourcc('U', 'Y', 'V', 'Y'), 0, 16, 16)};
  ASSERT_TRUE(w.open(path, streams).ok());
  const Bytes frame = pattern(16 * 16 * 2, 0);
  ASSERT_TRUE(w.write_video(0, frame.data(), frame.size()).ok());
  ASSERT_TRUE(w.close().ok());
  EXPECT_FALSE(w.is_open());
  const auto size = std::filesystem::file_size(path);
  EXPECT_TRUE(w.close().ok());
  EXPECT_EQ(std::filesystem::file_size(path), size);
  EXPECT_EQ(w.write_video(0, frame.data(), frame.size()).code(), AviErrc::not_open);
}

TEST_F(AviWriterTest, BadFormatsFailBeforeTheFileIsCreated) {
  const std::string path = file("bad.avi");
  const auto refused = [&](const AviStreamFormat& s) {
    AviWriter w;
    const std::vector<AviStreamFormat> streams{s};
    const auto st = w.open(path, streams);
    EXPECT_EQ(st.code(), AviErrc::invalid_argument) << st.message();
    EXPECT_FALSE(w.is_open());
  };
  refused(video(kAviRgb, 8, 64, 48));                            // palette RGB
  refused(video(kAviRgb, 32, 0, 48));                            // no width
  refused(video(kAviRgb, 32, 64, 0));                            // no height
  refused(video(kAviRgb, 32, 64, 48, 0));                        // no frame interval
  refused(video(avi_fourcc('U', 'Y', 'V', 'Y'), 0, 64, -48));    // YUV is never top-down
  refused(video(avi_fourcc('I', '4', '2', '0'), 0, 63, 48));     // odd 4:2:0 width
  refused(video(avi_fourcc('Q', 'Q', 'Q', 'Q'), 0, 64, 48));     // unknown FOURCC
  refused(audio(44100, 2, 24));
  refused(audio(0, 2, 16));
  refused(audio(44100, 0, 16));
  {
    AviWriter w;
    EXPECT_EQ(w.open(path, std::vector<AviStreamFormat>{}).code(), AviErrc::invalid_argument);
    const std::vector<AviStreamFormat> mixed{video(kAviRgb, 32, 8, 8), video(kAviRgb, 32, 8, -8)};
    EXPECT_EQ(w.open(path, mixed).code(), AviErrc::invalid_argument);
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(AviWriterTest, FailedOpenLeavesTheWriterReusable) {
  AviWriter w;
  const std::vector<AviStreamFormat> streams{video(avi_fourcc('U', 'Y', 'V', 'Y'), 0, 16, 16)};
  const auto st = w.open(file("missing/dir/x.avi"), streams);
  EXPECT_EQ(st.code(), AviErrc::io);
  EXPECT_LT(st.av_error(), 0);
  EXPECT_FALSE(w.is_open());
  EXPECT_EQ(w.stream_count(), 0u);
  const Bytes frame = pattern(16 * 16 * 2, 0);
  EXPECT_EQ(w.write_video(0, frame.data(), frame.size()).code(), AviErrc::not_open);
  EXPECT_TRUE(w.close().ok());

  // A ':' in the name is part of the name, not a protocol.
  const std::string path = file("take:1.avi");
  ASSERT_TRUE(w.open(path, streams).ok());
  EXPECT_EQ(w.open(path, streams).code(), AviErrc::already_open);
  ASSERT_TRUE(w.write_video(0, frame.data(), frame.size()).ok());
  ASSERT_TRUE(w.close().ok());
  const auto back = demux(path);
  ASSERT_TRUE(back);
  ASSERT_EQ((*back)[0].packets.size(), 1u);
  EXPECT_EQ((*back)[0].packets[0], frame);
}

TEST_F(AviWriterTest, WriteErrorsReachTheCaller) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  AviWriter w;
  const std::vector<AviStreamFormat> streams{video(avi_fourcc('U', 'Y', 'V', 'Y'), 0, 640, 480)};
  const auto opened = w.open("/dev/full", streams);
  if (!opened.ok()) {
    // The header did not fit in libavformat's buffer: the failure shows at open.
    EXPECT_EQ(opened.code(), AviErrc::io);
    EXPECT_FALSE(w.is_open());
    return;
  }
  const Bytes frame(640 * 480 * 2);  // larger than any I/O buffer: goes straight to the device
  const auto written = w.write_video(0, frame.data(), frame.size());
  EXPECT_EQ(written.code(), AviErrc::io) << written.message();
  // The recording is broken from then on, and close says so.
  EXPECT_EQ(w.write_video(0, frame.data(), frame.size()).code(), AviErrc::io);
  EXPECT_EQ(w.close().code(), AviErrc::io);
  EXPECT_FALSE(w.is_open());
}

TEST_F(AviWriterTest, MasterStreamIsRecorded) {
  AviWriter w;
  EXPECT_EQ(w.master_stream(), -1);
  EXPECT_TRUE(w.set_master_stream(1).ok());  // before the pins connect: stored as given
  EXPECT_EQ(w.master_stream(), 1);
  EXPECT_EQ(w.set_master_stream(-2).code(), AviErrc::invalid_argument);
  EXPECT_EQ(w.master_stream(), 1);
  const std::vector<AviStreamFormat> streams{video(avi_fourcc('U', 'Y', 'V', 'Y'), 0, 16, 16), audio(22050, 1, 16)};
  ASSERT_TRUE(w.open(file("master.avi"), streams).ok());
  EXPECT_EQ(w.set_master_stream(2).code(), AviErrc::invalid_argument);
  EXPECT_EQ(w.master_stream(), 1);
  EXPECT_TRUE(w.set_master_stream(-1).ok());
  EXPECT_EQ(w.master_stream(), -1);
  EXPECT_TRUE(w.close().ok());
}

}  // namespace
