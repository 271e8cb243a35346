#include "platform/media/music_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

// The decoders report damaged frames through their log; the player reports by results.
void QuietenFfmpeg() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

// How many packets a file may give without a sound before it counts as unplayable.
constexpr int kMaxSilentPackets = 64;
// How far before a seek target decoding starts again.
constexpr std::int64_t kPrerollMs = 100;

class FfmpegDecoder final : public MusicDecoder {
 public:
  FfmpegDecoder(int rate, int channels) : m_rate(rate), m_channels(channels) {}

  ~FfmpegDecoder() override {
    swr_free(&m_resampler);
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
    avcodec_free_context(&m_codec);
    avformat_close_input(&m_format);
  }

  bool Open(const std::string& path) {
    if (avformat_open_input(&m_format, path.c_str(), nullptr, nullptr) < 0) return false;
    if (avformat_find_stream_info(m_format, nullptr) < 0) return false;
    const AVCodec* codec = nullptr;
    m_stream = av_find_best_stream(m_format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (m_stream < 0 || !codec) return false;
    AVStream* stream = m_format->streams[m_stream];
    m_codec = avcodec_alloc_context3(codec);
    if (!m_codec || avcodec_parameters_to_context(m_codec, stream->codecpar) < 0) return false;
    m_codec->thread_count = 1;
    m_codec->pkt_timebase = stream->time_base;
    if (avcodec_open2(m_codec, codec, nullptr) < 0) return false;
    m_packet = av_packet_alloc();
    m_frame = av_frame_alloc();
    if (!m_packet || !m_frame) return false;
    // Only the streams we decode are read.
    for (unsigned i = 0; i < m_format->nb_streams; ++i)
      if (static_cast<int>(i) != m_stream) m_format->streams[i]->discard = AVDISCARD_ALL;

    // A file that gives no sound at its start is not taken; what was decoded is kept.
    if (!Fill(1) || m_pending.empty()) return false;
    return true;
  }

  size_t Read(std::int16_t* samples, size_t frames) override {
    const size_t channels = static_cast<size_t>(m_channels);
    Fill(frames);
    size_t count = std::min(frames, (m_pending.size() - m_offset) / channels);
    std::copy_n(m_pending.begin() + static_cast<std::ptrdiff_t>(m_offset), count * channels, samples);
    m_offset += count * channels;
    if (m_offset == m_pending.size()) {
      m_pending.clear();
      m_offset = 0;
    }
    return count;
  }

  bool Seek(std::int64_t frame) override {
    frame = std::max<std::int64_t>(frame, 0);
    std::int64_t length = LengthFrames();
    if (length >= 0 && frame >= length) {
      // Nothing is left to play.
      m_pending.clear();
      m_offset = 0;
      m_ended = true;
      m_skipTo = -1;
      return true;
    }
    AVStream* stream = m_format->streams[m_stream];
    // Decoding starts a little earlier: an MP3 frame borrows bits from the frames before
    // it, so the first frames after a jump decode to noise. Up to the target is dropped.
    std::int64_t from = std::max<std::int64_t>(frame - m_rate * kPrerollMs / 1000, 0);
    std::int64_t target = av_rescale_q(from, AVRational{1, m_rate}, stream->time_base);
    if (stream->start_time != AV_NOPTS_VALUE) target += stream->start_time;
    if (av_seek_frame(m_format, m_stream, target, AVSEEK_FLAG_BACKWARD) < 0 &&
        av_seek_frame(m_format, m_stream, target, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) < 0)
      return false;
    avcodec_flush_buffers(m_codec);
    swr_free(&m_resampler);
    m_pending.clear();
    m_offset = 0;
    m_flushed = false;
    m_ended = false;
    m_skipTo = frame;
    return true;
  }

  std::int64_t LengthFrames() const override {
    AVStream* stream = m_format->streams[m_stream];
    if (stream->duration != AV_NOPTS_VALUE)
      return av_rescale_q(stream->duration, stream->time_base, AVRational{1, m_rate});
    if (m_format->duration != AV_NOPTS_VALUE)
      return av_rescale_q(m_format->duration, AVRational{1, AV_TIME_BASE}, AVRational{1, m_rate});
    return -1;
  }

 private:
  // Decodes until `frames` frames are pending or the track is over; false on a file that
  // gives no sound for too long.
  bool Fill(size_t frames) {
    const size_t want = frames * static_cast<size_t>(m_channels);
    int silentPackets = 0;
    while (m_pending.size() - m_offset < want && !m_ended) {
      int got = avcodec_receive_frame(m_codec, m_frame);
      if (got == 0) {
        Convert();
        av_frame_unref(m_frame);
        silentPackets = 0;
        continue;
      }
      if (got == AVERROR_EOF) {
        DrainResampler();
        m_ended = true;
        break;
      }
      if (got != AVERROR(EAGAIN)) {  // a broken decoder state: start it afresh
        avcodec_flush_buffers(m_codec);
      }
      if (m_flushed) {
        DrainResampler();
        m_ended = true;
        break;
      }
      if (++silentPackets > kMaxSilentPackets && m_pending.empty()) return false;
      int read = av_read_frame(m_format, m_packet);
      if (read < 0) {
        avcodec_send_packet(m_codec, nullptr);  // end of file: let the decoder give its last frames
        m_flushed = true;
        continue;
      }
      if (m_packet->stream_index == m_stream) avcodec_send_packet(m_codec, m_packet);  // damaged packets are dropped
      av_packet_unref(m_packet);
    }
    return true;
  }

  bool MakeResampler() {
    AVChannelLayout out{};
    av_channel_layout_default(&out, m_channels);
    AVChannelLayout in{};
    if (m_frame->ch_layout.nb_channels > 0) {
      av_channel_layout_copy(&in, &m_frame->ch_layout);
    } else {
      av_channel_layout_default(&in, m_codec->ch_layout.nb_channels > 0 ? m_codec->ch_layout.nb_channels : 1);
    }
    if (in.order == AV_CHANNEL_ORDER_UNSPEC) {
      int n = in.nb_channels;
      av_channel_layout_uninit(&in);
      av_channel_layout_default(&in, n);
    }
    int result = swr_alloc_set_opts2(&m_resampler, &out, AV_SAMPLE_FMT_S16, m_rate, &in,
                                     static_cast<AVSampleFormat>(m_frame->format), m_frame->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    if (result < 0 || swr_init(m_resampler) < 0) {
      swr_free(&m_resampler);
      return false;
    }
    m_inRate = m_frame->sample_rate;
    m_inFormat = m_frame->format;
    m_inChannels = m_frame->ch_layout.nb_channels;
    return true;
  }

  // The first output frame of the decoded frame, from its time stamp; -1 when unknown.
  std::int64_t FrameStart() const {
    std::int64_t pts = m_frame->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE) return -1;
    AVStream* stream = m_format->streams[m_stream];
    if (stream->start_time != AV_NOPTS_VALUE) pts -= stream->start_time;
    return av_rescale_q(pts, stream->time_base, AVRational{1, m_rate});
  }

  void Convert() {
    if (m_frame->sample_rate <= 0 || m_frame->nb_samples <= 0) return;
    if (m_resampler && (m_frame->sample_rate != m_inRate || m_frame->format != m_inFormat ||
                        m_frame->ch_layout.nb_channels != m_inChannels)) {
      DrainResampler();
      swr_free(&m_resampler);
    }
    if (!m_resampler && !MakeResampler()) return;

    // After a seek, the frames before the target are dropped (the seek lands on a packet at
    // or before it).
    std::int64_t start = m_skipTo >= 0 ? FrameStart() : -1;
    int capacity = swr_get_out_samples(m_resampler, m_frame->nb_samples);
    if (capacity <= 0) return;
    size_t base = m_pending.size();
    m_pending.resize(base + static_cast<size_t>(capacity) * static_cast<size_t>(m_channels));
    auto* out = reinterpret_cast<std::uint8_t*>(m_pending.data() + base);
    int produced = swr_convert(m_resampler, &out, capacity, const_cast<const std::uint8_t**>(m_frame->extended_data),
                               m_frame->nb_samples);
    m_pending.resize(base + static_cast<size_t>(std::max(produced, 0)) * static_cast<size_t>(m_channels));

    if (m_skipTo >= 0) {
      if (start < 0) {
        m_skipTo = -1;  // no time stamps: play from where the seek landed
      } else {
        std::int64_t end = start + std::max(produced, 0);
        std::int64_t drop = std::clamp<std::int64_t>(m_skipTo - start, 0, std::max(produced, 0));
        auto first = m_pending.begin() + static_cast<std::ptrdiff_t>(base);
        m_pending.erase(first, first + static_cast<std::ptrdiff_t>(drop * m_channels));
        if (end > m_skipTo) m_skipTo = -1;
      }
    }
  }

  // Takes the samples the resampler still holds.
  void DrainResampler() {
    if (!m_resampler) return;
    int capacity = swr_get_out_samples(m_resampler, 0);
    if (capacity <= 0) return;
    size_t base = m_pending.size();
    m_pending.resize(base + static_cast<size_t>(capacity) * static_cast<size_t>(m_channels));
    auto* out = reinterpret_cast<std::uint8_t*>(m_pending.data() + base);
    int produced = swr_convert(m_resampler, &out, capacity, nullptr, 0);
    m_pending.resize(base + static_cast<size_t>(std::max(produced, 0)) * static_cast<size_t>(m_channels));
    if (m_skipTo >= 0) m_pending.resize(base);  // still before the seek target
  }

  int m_rate;
  int m_channels;
  AVFormatContext* m_format = nullptr;
  AVCodecContext* m_codec = nullptr;
  AVPacket* m_packet = nullptr;
  AVFrame* m_frame = nullptr;
  SwrContext* m_resampler = nullptr;
  int m_stream = -1;
  int m_inRate = 0;
  int m_inFormat = -1;
  int m_inChannels = 0;
  std::vector<std::int16_t> m_pending;  // decoded samples not yet read, from m_offset on
  size_t m_offset = 0;
  bool m_flushed = false;  // the end of the file was handed to the decoder
  bool m_ended = false;    // everything has been decoded
  std::int64_t m_skipTo = -1;  // after a seek: the first frame to keep
};

}  // namespace

std::unique_ptr<MusicDecoder> MusicDecoder::Open(const std::string& hostPath, int rate, int channels) {
  QuietenFfmpeg();
  auto decoder = std::make_unique<FfmpegDecoder>(rate, channels);
  if (!decoder->Open(hostPath)) return nullptr;
  return decoder;
}
