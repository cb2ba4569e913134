// The AVI writer: every file is read back through libavformat's demuxer (what
// a player sees) and as raw RIFF headers (what the file says about rates, row
// order and length).
#include "avi/avi_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "avi_read.h"

extern "C" {
#include <libavutil/mathematics.h>
}

namespace {

using vorsim::AviErrc;
using vorsim::AviStreamFormat;
using vorsim::AviWriter;
using vorsim::avi_fourcc;
using vorsim::kAviRgb;
using Bytes = std::vector<std::uint8_t>;

const std::uint32_t kUyvy = avi_fourcc('U', 'Y', 'V', 'Y');

// Bytes that differ from frame to frame and from stream to stream.
Bytes pattern(std::size_t size, unsigned seed) {
  Bytes b(size);
  std::uint32_t x = 2463534242u ^ (seed * 2654435761u);
  for (auto& v : b) x ^= x << 13, x ^= x >> 17, x ^= x << 5, v = static_cast<std::uint8_t>(x);
  return b;
}

using avi_read::demux;
using ReadStream = avi_read::Stream;

std::uint32_t u32(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16) |
         static_cast<std::uint32_t>(b.at(at + 3)) << 24;
}
std::int32_t i32(const Bytes& b, std::size_t at) { return static_cast<std::int32_t>(u32(b, at)); }
std::uint16_t u16(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8); }
bool is(const Bytes& b, std::size_t at, const char* id) { return std::memcmp(b.data() + at, id, 4) == 0; }

// The raw file: RIFF size, each stream's strh and strf, the idx1 flags of
// every "00dc" entry.
// strh: fccType @0, fccHandler @4, dwScale @20, dwRate @24, dwLength @32.
// strf (video): biWidth @4, biHeight @8, biBitCount @14, biCompression @16.
struct RiffView {
  std::uint64_t file_size = 0;
  std::uint32_t riff_size = 0;
  std::vector<Bytes> strh, strf;
  bool has_idx1 = false;
  std::vector<std::uint32_t> idx1_flags;
};

void walk(const Bytes& b, std::size_t at, std::size_t end, RiffView& v) {
  while (at + 8 <= end) {
    const std::size_t size = u32(b, at + 4);
    if (is(b, at, "LIST") && !is(b, at + 8, "movi")) walk(b, at + 12, std::min(end, at + 8 + size), v);
    if (is(b, at, "strh")) v.strh.emplace_back(b.begin() + long(at + 8), b.begin() + long(at + 8 + size));
    if (is(b, at, "strf")) v.strf.emplace_back(b.begin() + long(at + 8), b.begin() + long(at + 8 + size));
    if (is(b, at, "idx1")) {
      v.has_idx1 = true;
      for (std::size_t e = at + 8; e + 16 <= at + 8 + size; e += 16)
        if (is(b, e, "00dc")) v.idx1_flags.push_back(u32(b, e + 4));
    }
    at += 8 + size + (size & 1);
  }
}

RiffView riff(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const Bytes b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  RiffView v;
  v.file_size = b.size();
  if (b.size() < 12 || !is(b, 0, "RIFF") || !is(b, 8, "AVI ")) return v;
  v.riff_size = u32(b, 4);
  walk(b, 12, std::min<std::size_t>(b.size(), 8 + std::size_t{v.riff_size}), v);
  return v;
}

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

vorsim::AviVideoFormat video(std::uint32_t fourcc, std::uint16_t bits, int w, int h, std::int64_t interval = 666666) {
  return vorsim::AviVideoFormat{fourcc, bits, w, h, interval};
}
vorsim::AviAudioFormat audio(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits) {
  return vorsim::AviAudioFormat{rate, channels, bits};
}

// Writes `frames` frames of one video stream; closes unless told not to.
std::vector<Bytes> record_video(const std::string& path, const vorsim::AviVideoFormat& f, int frames,
                                bool close = true) {
  std::vector<Bytes> written;
  AviWriter w;
  const auto st = w.open(path, std::vector<AviStreamFormat>{f});
  EXPECT_TRUE(st.ok()) << st.message();
  for (int i = 0; i < frames; ++i) {
    written.push_back(pattern(vorsim::avi_frame_bytes(f), static_cast<unsigned>(i)));
    EXPECT_TRUE(w.write_video(0, written.back().data(), written.back().size()).ok());
  }
  if (close) {
    EXPECT_TRUE(w.close().ok());
  }
  return written;  // without close(), the destructor finishes the file
}

struct FormatCase {
  const char* name;
  std::uint32_t fourcc;
  std::uint16_t bits;  // asked for; 0 = the usual
  int width, height;
  std::int64_t interval;
  std::size_t frame_bytes;
  int file_bits;
  std::uint32_t scale, rate;  // strh
};

class AviFormatTest : public AviWriterTest, public ::testing::WithParamInterface<FormatCase> {};

// Frames come back byte for byte, one per write, at the frame interval's rate;
// the headers carry size, row order, bit depth and FOURCC.
TEST_P(AviFormatTest, FramesAndHeadersReadBack) {
  const FormatCase c = GetParam();
  const std::string path = file("f.avi");
  const auto f = video(c.fourcc, c.bits, c.width, c.height, c.interval);
  ASSERT_EQ(vorsim::avi_frame_bytes(f), c.frame_bytes);
  {  // A frame of any other size is refused.
    AviWriter w;
    ASSERT_TRUE(w.open(file("size.avi"), std::vector<AviStreamFormat>{f}).ok());
    const Bytes short_frame(c.frame_bytes - 1);
    EXPECT_EQ(w.write_video(0, short_frame.data(), short_frame.size()).code(), AviErrc::invalid_argument);
  }
  const auto written = record_video(path, f, 5);

  const auto streams = demux(path);
  ASSERT_TRUE(streams);
  ASSERT_EQ(streams->size(), 1u);  // no audio stream unless one was added
  const ReadStream& v = (*streams)[0];
  EXPECT_EQ(v.type, AVMEDIA_TYPE_VIDEO);
  EXPECT_EQ(v.codec, AV_CODEC_ID_RAWVIDEO);
  EXPECT_EQ(v.tag, c.fourcc);
  EXPECT_EQ(v.width, c.width);
  EXPECT_EQ(v.height, std::abs(c.height));
  EXPECT_EQ(v.nb_frames, 5);
  EXPECT_EQ(av_cmp_q(v.avg_rate, AVRational{int(c.rate), int(c.scale)}), 0) << v.avg_rate.num << "/" << v.avg_rate.den;
  ASSERT_EQ(v.packets.size(), written.size());
  for (std::size_t k = 0; k < written.size(); ++k) EXPECT_EQ(v.packets[k], written[k]) << "frame " << k;
  // One frame lasts scale/rate s in whole 100-ns units: 666666 at 15 fps.
  EXPECT_EQ(av_rescale_q_rnd(v.pts[4] - v.pts[3], v.time_base, AVRational{1, 10000000}, AV_ROUND_DOWN),
            std::int64_t{c.scale} * 10000000 / c.rate);

  const RiffView r = riff(path);
  EXPECT_EQ(r.riff_size + 8u, r.file_size);
  EXPECT_EQ(r.idx1_flags.size(), 5u);
  ASSERT_EQ(r.strh.size(), 1u);
  ASSERT_EQ(r.strf.size(), 1u);
  EXPECT_TRUE(is(r.strh[0], 0, "vids"));
  EXPECT_EQ(u32(r.strh[0], 20), c.scale);
  EXPECT_EQ(u32(r.strh[0], 24), c.rate);
  EXPECT_EQ(u32(r.strh[0], 32), 5u);  // dwLength
  EXPECT_EQ(i32(r.strf[0], 4), c.width);
  EXPECT_EQ(i32(r.strf[0], 8), c.height);  // the sign is the row order
  EXPECT_EQ(u16(r.strf[0], 14), c.file_bits);
  EXPECT_EQ(u32(r.strf[0], 16), c.fourcc);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, AviFormatTest,
    ::testing::Values(FormatCase{"Rgb32BottomUp15fps", kAviRgb, 32, 64, 48, 666666, 64 * 48 * 4, 32, 1, 15},
                      FormatCase{"Rgb24TopDownPadded", kAviRgb, 24, 30, -20, 666666, 92 * 20, 24, 1, 15},
                      FormatCase{"UyvyNtsc", kUyvy, 0, 320, 240, 333667, 320 * 240 * 2, 16, 1001, 30000},
                      FormatCase{"Yuy2", avi_fourcc('Y', 'U', 'Y', '2'), 0, 320, 240, 400000, 320 * 240 * 2, 16, 1, 25},
                      FormatCase{"I420", avi_fourcc('I', '4', '2', '0'), 0, 320, 240, 666666, 320 * 240 * 3 / 2, 12, 1, 15},
                      FormatCase{"Yv12OddRate", avi_fourcc('Y', 'V', '1', '2'), 0, 320, 240, 400100, 320 * 240 * 3 / 2, 12,
                                 4001, 100000}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AviFrameDuration, RoundedIntervalsMeanTheirRate) {
  const std::int64_t cases[][3] = {{666666, 1, 15},       {666667, 1, 15},      {333333, 1, 30},
                                   {333667, 1001, 30000}, {417083, 1001, 24000}, {400100, 4001, 100000},
                                   {30000000, 3, 1},      {0, 0, 1}};
  for (const auto& c : cases) {
    const auto d = vorsim::avi_frame_duration(c[0]);
    EXPECT_EQ(d.num, c[1]) << c[0];
    EXPECT_EQ(d.den, c[2]) << c[0];
  }
}

// An audio stream is there exactly when one is added: after the video, or alone.
TEST_F(AviWriterTest, AudioStreamsWithAndWithoutVideo) {
  const struct { bool video; std::uint32_t rate; std::uint16_t channels, bits; AVCodecID codec; } cases[] = {
      {true, 44100, 2, 16, AV_CODEC_ID_PCM_S16LE}, {false, 8000, 1, 8, AV_CODEC_ID_PCM_U8}};
  for (const auto& c : cases) {
    const std::string path = file(c.video ? "av.avi" : "a.avi");
    std::vector<AviStreamFormat> formats{audio(c.rate, c.channels, c.bits)};
    if (c.video) formats.insert(formats.begin(), video(kUyvy, 0, 160, 120));
    const unsigned a = c.video ? 1 : 0, block = c.channels * c.bits / 8u, samples = c.rate / 15;
    AviWriter w;
    ASSERT_TRUE(w.open(path, formats).ok());
    std::vector<Bytes> frames;
    Bytes sound;
    for (unsigned i = 0; i < 6; ++i) {
      if (c.video) {
        frames.push_back(pattern(160 * 120 * 2, i));
        ASSERT_TRUE(w.write_video(0, frames.back().data(), frames.back().size()).ok());
      }
      const Bytes chunk = pattern(samples * block, 100 + i);  // 1/15 s
      ASSERT_TRUE(w.write_audio(a, chunk.data(), chunk.size()).ok());
      sound.insert(sound.end(), chunk.begin(), chunk.end());
    }
    // Partial samples, a video stream and a missing stream are refused.
    if (block > 1) {
      EXPECT_EQ(w.write_audio(a, sound.data(), block + 1).code(), AviErrc::invalid_argument);
    }
    EXPECT_EQ(w.write_audio(a + 1, sound.data(), block).code(), AviErrc::invalid_argument);
    EXPECT_EQ(w.write_video(a, sound.data(), block).code(), AviErrc::invalid_argument);
    if (c.video) {
      EXPECT_EQ(w.write_audio(0, sound.data(), block).code(), AviErrc::invalid_argument);
    }
    ASSERT_TRUE(w.close().ok());

    const auto back = demux(path);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), a + 1u);
    if (c.video) {
      EXPECT_EQ((*back)[0].packets, frames);
    }
    const ReadStream& s = (*back)[a];
    EXPECT_EQ(s.type, AVMEDIA_TYPE_AUDIO);
    EXPECT_EQ(s.codec, c.codec);
    EXPECT_EQ(s.sample_rate, int(c.rate));
    EXPECT_EQ(s.channels, c.channels);
    EXPECT_EQ(s.all(), sound);
    const RiffView r = riff(path);
    ASSERT_EQ(r.strh.size(), a + 1u);
    ASSERT_EQ(r.strf.size(), a + 1u);
    EXPECT_TRUE(is(r.strh[a], 0, "auds"));
    EXPECT_EQ(u16(r.strf[a], 0), 1);  // WAVE_FORMAT_PCM
    EXPECT_EQ(u16(r.strf[a], 12), block);
    // The audio stream's length, in its own units, covers every sample.
    const std::uint64_t scale = u32(r.strh[a], 20), rate = u32(r.strh[a], 24), length = u32(r.strh[a], 32);
    ASSERT_NE(rate, 0u);
    EXPECT_EQ(length * scale * c.rate / rate, 6u * samples);
  }
}

// Compressed frames keep their own sizes, and the index marks key frames.
TEST_F(AviWriterTest, CompressedFramesAndKeyFlags) {
  const std::string path = file("h264.avi");
  const auto f = video(avi_fourcc('H', '2', '6', '4'), 0, 64, 48);
  EXPECT_EQ(vorsim::avi_frame_bytes(f), 0u);
  AviWriter w;
  ASSERT_TRUE(w.open(path, std::vector<AviStreamFormat>{f}).ok());
  std::vector<Bytes> frames;
  for (std::size_t size : {300u, 20000u, 41u, 1001u}) {
    frames.push_back(pattern(size, unsigned(size)));
    const std::uint8_t start_code[] = {0, 0, 0, 1, 0x65};  // the muxer checks for Annex B
    std::memcpy(frames.back().data(), start_code, sizeof start_code);
    const bool key = frames.size() == 1 || frames.size() == 4;
    ASSERT_TRUE(w.write_video(0, frames.back().data(), frames.back().size(), key).ok());
  }
  ASSERT_TRUE(w.close().ok());
  const auto back = demux(path, false);  // the payload is not real video
  ASSERT_TRUE(back);
  EXPECT_EQ((*back)[0].tag, avi_fourcc('H', '2', '6', '4'));
  EXPECT_EQ((*back)[0].packets, frames);
  const RiffView r = riff(path);
  ASSERT_EQ(r.idx1_flags.size(), 4u);
  for (std::size_t k = 0; k < 4; ++k) EXPECT_EQ(r.idx1_flags[k] & 0x10, k == 0 || k == 3 ? 0x10u : 0u) << k;
}

TEST_F(AviWriterTest, DestroyingWithoutCloseStillFinishesTheFile) {
  const std::string path = file("dtor.avi");
  const auto frames = record_video(path, video(kAviRgb, 32, 32, 32), 7, false);
  const RiffView r = riff(path);
  EXPECT_EQ(r.riff_size + 8u, r.file_size);
  EXPECT_TRUE(r.has_idx1);
  ASSERT_EQ(r.strh.size(), 1u);
  EXPECT_EQ(u32(r.strh[0], 32), 7u);
  const auto back = demux(path);
  ASSERT_TRUE(back);
  EXPECT_EQ((*back)[0].nb_frames, 7);
  EXPECT_EQ((*back)[0].packets, frames);
}

TEST_F(AviWriterTest, OpenCloseLifecycle) {
  AviWriter w;
  const std::vector<AviStreamFormat> streams{video(kUyvy, 0, 16, 16)};
  const Bytes frame = pattern(16 * 16 * 2, 0);
  // A failed open leaves the writer closed and reusable.
  const auto st = w.open(file("missing/dir/x.avi"), streams);
  EXPECT_EQ(st.code(), AviErrc::io);
  EXPECT_LT(st.av_error(), 0);
  EXPECT_FALSE(w.is_open());
  EXPECT_EQ(w.write_video(0, frame.data(), frame.size()).code(), AviErrc::not_open);
  // A ':' in the name is part of the name, not a protocol.
  const std::string path = file("take:1.avi");
  ASSERT_TRUE(w.open(path, streams).ok());
  EXPECT_EQ(w.open(path, streams).code(), AviErrc::already_open);
  ASSERT_TRUE(w.write_video(0, frame.data(), frame.size()).ok());
  ASSERT_TRUE(w.close().ok());
  EXPECT_FALSE(w.is_open());
  // A second close leaves the file alone.
  const auto size = std::filesystem::file_size(path);
  EXPECT_TRUE(w.close().ok());
  EXPECT_EQ(std::filesystem::file_size(path), size);
  EXPECT_EQ(w.write_video(0, frame.data(), frame.size()).code(), AviErrc::not_open);
  const auto back = demux(path);
  ASSERT_TRUE(back);
  EXPECT_EQ((*back)[0].packets, std::vector<Bytes>{frame});
}

TEST_F(AviWriterTest, BadFormatsFailBeforeTheFileIsCreated) {
  const std::string path = file("bad.avi");
  const std::vector<std::vector<AviStreamFormat>> refused = {
      {video(kAviRgb, 8, 64, 48)},                                     // palette RGB
      {video(kAviRgb, 32, 0, 48)},                                     // no width
      {video(kAviRgb, 32, 64, 0)},                                     // no height
      {video(kAviRgb, 32, 64, 48, 0)},                                 // no frame interval
      {video(kUyvy, 0, 64, -48)},                                      // YUV is never top-down
      {video(avi_fourcc('I', '4', '2', '0'), 0, 63, 48)},              // odd 4:2:0 width
      {video(avi_fourcc('Q', 'Q', 'Q', 'Q'), 0, 64, 48)},              // unknown FOURCC
      {audio(44100, 2, 24)},         {audio(0, 2, 16)},  {audio(44100, 0, 16)},
      {},                                                              // no streams
      {video(kAviRgb, 32, 8, 8), video(kAviRgb, 32, 8, -8)}};          // mixed row orders
  for (std::size_t i = 0; i < refused.size(); ++i) {
    AviWriter w;
    EXPECT_EQ(w.open(path, refused[i]).code(), AviErrc::invalid_argument) << "case " << i;
    EXPECT_FALSE(w.is_open());
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(AviWriterTest, WriteErrorsReachTheCaller) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  AviWriter w;
  const auto opened = w.open("/dev/full", std::vector<AviStreamFormat>{video(kUyvy, 0, 640, 480)});
  if (!opened.ok()) {  // the header did not fit in libavformat's buffer
    EXPECT_EQ(opened.code(), AviErrc::io);
    return;
  }
  const Bytes frame(640 * 480 * 2);  // larger than any I/O buffer: goes straight to the device
  EXPECT_EQ(w.write_video(0, frame.data(), frame.size()).code(), AviErrc::io);
  EXPECT_EQ(w.write_video(0, frame.data(), frame.size()).code(), AviErrc::io);
  EXPECT_EQ(w.close().code(), AviErrc::io);
  EXPECT_FALSE(w.is_open());
}

}  // namespace
