// Recordings read back the way a player reads them, through libavformat's
// AVI demuxer: shared by the tests of the AVI writer, the AVI Mux and the
// module's recordings.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace avi_read {

using Bytes = std::vector<uint8_t>;

struct Stream {
    AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
    AVCodecID codec = AV_CODEC_ID_NONE;
    uint32_t tag = 0;
    int bits = 0, width = 0, height = 0, sample_rate = 0, channels = 0;
    AVRational time_base{0, 1}, avg_rate{0, 1};
    int64_t nb_frames = 0;  // the stream header's length
    std::vector<Bytes> packets;
    std::vector<int64_t> pts;

    Bytes all() const {
        Bytes out;
        for (const Bytes& p : packets) out.insert(out.end(), p.begin(), p.end());
        return out;
    }
    // Byte `at` of every packet long enough to have one.
    std::vector<int> byte_of_each(size_t at) const {
        std::vector<int> out;
        for (const Bytes& p : packets)
            if (p.size() > at) out.push_back(p[at]);
        return out;
    }
};

// The file's streams; nullopt when it does not open as an AVI file. `probe`
// also decodes a little to learn the average frame rate (not for payloads
// that are no real video).
inline std::optional<std::vector<Stream>> demux(const std::string& path, bool probe = true) {
    av_log_set_level(AV_LOG_ERROR);  // the demuxer's remarks stay off the test's output
    AVFormatContext* ctx = nullptr;
    if (avformat_open_input(&ctx, path.c_str(), nullptr, nullptr) < 0) return std::nullopt;
    if (std::strcmp(ctx->iformat->name, "avi") != 0 || (probe && avformat_find_stream_info(ctx, nullptr) < 0)) {
        avformat_close_input(&ctx);
        return std::nullopt;
    }
    std::vector<Stream> out(ctx->nb_streams);
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVStream* st = ctx->streams[i];
        const AVCodecParameters* p = st->codecpar;
        out[i] = Stream{p->codec_type, p->codec_id,  p->codec_tag,       p->bits_per_coded_sample,
                        p->width,      p->height,    p->sample_rate,     p->ch_layout.nb_channels,
                        st->time_base, st->avg_frame_rate, st->nb_frames, {},
                        {}};
    }
    AVPacket* pkt = av_packet_alloc();
    while (pkt && av_read_frame(ctx, pkt) >= 0) {
        Stream& s = out.at(static_cast<size_t>(pkt->stream_index));
        s.packets.emplace_back(pkt->data, pkt->data + pkt->size);
        s.pts.push_back(pkt->pts);
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    avformat_close_input(&ctx);
    return out;
}

}  // namespace avi_read
