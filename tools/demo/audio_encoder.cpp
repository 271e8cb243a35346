#include "tools/demo/audio_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cstdint>

bool HasAudioEncoder(const char* encoder) { return avcodec_find_encoder_by_name(encoder) != nullptr; }

namespace {

struct Encoding {
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  ~Encoding() {
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&codec);
    if (format && format->pb) avio_closep(&format->pb);
    avformat_free_context(format);
  }
};

// Sends one frame (or the end, for nullptr) and writes the packets that come out.
bool Drain(Encoding& e, AVStream* stream, AVFrame* frame) {
  if (avcodec_send_frame(e.codec, frame) < 0) return false;
  while (true) {
    int got = avcodec_receive_packet(e.codec, e.packet);
    if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return true;
    if (got < 0) return false;
    av_packet_rescale_ts(e.packet, e.codec->time_base, stream->time_base);
    e.packet->stream_index = stream->index;
    if (av_interleaved_write_frame(e.format, e.packet) < 0) return false;
  }
}

}  // namespace

std::string EncodeAudioFile(const std::string& hostPath, const char* encoder, const char* muxer, double seconds,
                            const std::function<float(double)>& signal) {
  constexpr int kRate = 44100;
  const AVCodec* codec = avcodec_find_encoder_by_name(encoder);
  if (!codec) return std::string("no encoder ") + encoder;
  Encoding e;
  if (avformat_alloc_output_context2(&e.format, nullptr, muxer, hostPath.c_str()) < 0) return "no muxer";
  AVStream* stream = avformat_new_stream(e.format, nullptr);
  e.codec = avcodec_alloc_context3(codec);
  if (!stream || !e.codec) return "out of memory";
  e.codec->sample_fmt = AV_SAMPLE_FMT_FLTP;
  e.codec->sample_rate = kRate;
  e.codec->bit_rate = 128000;
  e.codec->time_base = AVRational{1, kRate};
  av_channel_layout_default(&e.codec->ch_layout, 2);
  if (e.format->oformat->flags & AVFMT_GLOBALHEADER) e.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (avcodec_open2(e.codec, codec, nullptr) < 0) return "encoder does not open";
  if (avcodec_parameters_from_context(stream->codecpar, e.codec) < 0) return "parameters";
  stream->time_base = e.codec->time_base;
  if (avio_open(&e.format->pb, hostPath.c_str(), AVIO_FLAG_WRITE) < 0) return "cannot write " + hostPath;
  if (avformat_write_header(e.format, nullptr) < 0) return "header";

  e.frame = av_frame_alloc();
  e.packet = av_packet_alloc();
  const int frameSize = e.codec->frame_size > 0 ? e.codec->frame_size : 1024;
  e.frame->nb_samples = frameSize;
  e.frame->format = e.codec->sample_fmt;
  e.frame->sample_rate = kRate;
  av_channel_layout_copy(&e.frame->ch_layout, &e.codec->ch_layout);
  if (av_frame_get_buffer(e.frame, 0) < 0) return "frame";

  const std::int64_t total = static_cast<std::int64_t>(seconds * kRate);
  for (std::int64_t at = 0; at < total; at += frameSize) {
    if (av_frame_make_writable(e.frame) < 0) return "frame";
    int count = static_cast<int>(std::min<std::int64_t>(frameSize, total - at));
    e.frame->nb_samples = count;
    auto* left = reinterpret_cast<float*>(e.frame->data[0]);
    auto* right = reinterpret_cast<float*>(e.frame->data[1]);
    for (int i = 0; i < count; ++i) left[i] = right[i] = signal(static_cast<double>(at + i) / kRate);
    e.frame->pts = at;
    if (!Drain(e, stream, e.frame)) return "encoding";
  }
  if (!Drain(e, stream, nullptr)) return "encoding";
  if (av_write_trailer(e.format) < 0) return "trailer";
  return {};
}
