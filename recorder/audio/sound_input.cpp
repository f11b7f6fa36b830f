#include "recorder/audio/sound_input.h"

#include <glog/logging.h>

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavutil/channel_layout.h>
#include <libavutil/time.h>
}

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/audio_devices.h"
#include "recorder/timeline.h"

namespace tarn {
namespace {

// Stamps within this of a clock's reading are taken to be on that clock.
constexpr std::int64_t kSameClockUs = 60LL * 1000000;

// The sound server: a record stream read every few milliseconds.
class ServerSoundInput final : public SoundInput {
 public:
  explicit ServerSoundInput(std::unique_ptr<platform::SoundCapture> capture)
      : capture_(std::move(capture)) {}

  bool Open(std::string& error) override {
    if (!capture_ || !capture_->Open()) {
      error = "the sound server's device cannot be recorded";
      return false;
    }
    rate_ = capture_->sampleRate();
    channels_ = capture_->channels();
    if (rate_ <= 0 || channels_ <= 0) {
      error = "the sound server's device has no usable format";
      return false;
    }
    return true;
  }

  ReadResult Read(int timeoutMs, av::FramePtr& frame, std::int64_t& firstSampleUs,
                  std::string& error) override {
    const std::int64_t deadline = MonotonicNowUs() + std::int64_t{timeoutMs} * 1000;
    for (;;) {
      bytes_.clear();
      std::int64_t stampUs = 0;
      const int read = capture_->Read(bytes_, stampUs);
      if (read < 0) {
        error = "the sound server's device is gone";
        return ReadResult::kEnded;
      }
      const std::size_t frameBytes = static_cast<std::size_t>(channels_) * 4;
      const int samples = static_cast<int>(bytes_.size() / frameBytes);
      if (samples > 0) {
        frame = av::MakeFrame();
        frame->format = AV_SAMPLE_FMT_S32;
        frame->sample_rate = rate_;
        frame->nb_samples = samples;
        av_channel_layout_default(&frame->ch_layout, channels_);
        if (av_frame_get_buffer(frame.get(), 0) < 0) {
          error = "out of memory";
          return ReadResult::kEnded;
        }
        std::memcpy(frame->data[0], bytes_.data(), static_cast<std::size_t>(samples) * frameBytes);
        firstSampleUs = stampUs;
        return ReadResult::kSound;
      }
      if (interrupted_.exchange(false) || MonotonicNowUs() >= deadline) return ReadResult::kNothing;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  void Interrupt() override { interrupted_ = true; }

 private:
  std::unique_ptr<platform::SoundCapture> capture_;
  std::vector<std::uint8_t> bytes_;
  int rate_ = 0;
  int channels_ = 0;
  std::atomic<bool> interrupted_{false};
};

// Any FFmpeg input: packets read with av_read_frame, decoded, stamped.
class FfmpegSoundInput final : public SoundInput {
 public:
  FfmpegSoundInput(std::string format, std::string url) : format_(std::move(format)), url_(std::move(url)) {}

  bool Open(std::string& error) override {
    avdevice_register_all();
    const AVInputFormat* format = av_find_input_format(format_.c_str());
    if (format == nullptr) {
      error = "the input format \"" + format_ + "\" is not available";
      return false;
    }
    AVFormatContext* context = avformat_alloc_context();
    if (context == nullptr) {
      error = "out of memory";
      return false;
    }
    // Stop breaks off a read that waits for the device.
    context->interrupt_callback.callback = [](void* self) {
      return static_cast<FfmpegSoundInput*>(self)->interrupted_.load() ? 1 : 0;
    };
    context->interrupt_callback.opaque = this;
    const int opened = avformat_open_input(&context, url_.c_str(), format, nullptr);
    input_.reset(context);
    if (opened < 0) {
      input_.release();  // avformat_open_input freed it
      error = "cannot open " + format_ + " input \"" + url_ + "\": " + av::ErrorText(opened);
      return false;
    }
    // A capture device describes its stream when it opens; probing it would
    // only read (and throw away) sound first.
    bool described = input_->nb_streams > 0;
    for (unsigned i = 0; i < input_->nb_streams; ++i) {
      const AVCodecParameters* par = input_->streams[i]->codecpar;
      if (par->codec_type == AVMEDIA_TYPE_AUDIO &&
          (par->sample_rate <= 0 || par->ch_layout.nb_channels <= 0)) {
        described = false;
      }
    }
    if (!described && avformat_find_stream_info(input_.get(), nullptr) < 0) {
      error = "not found audio stream";
      return false;
    }
    stream_ = av_find_best_stream(input_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (stream_ < 0) {
      error = "Didn't find a audio stream";
      return false;
    }
    const AVCodecParameters* parameters = input_->streams[stream_]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    decoder_.reset(codec != nullptr ? avcodec_alloc_context3(codec) : nullptr);
    if (!decoder_ || avcodec_parameters_to_context(decoder_.get(), parameters) < 0 ||
        avcodec_open2(decoder_.get(), codec, nullptr) < 0) {
      error = "can not find or open audio decoder!";
      return false;
    }
    timeBase_ = input_->streams[stream_]->time_base;
    return true;
  }

  ReadResult Read(int timeoutMs, av::FramePtr& frame, std::int64_t& firstSampleUs,
                  std::string& error) override {
    (void)timeoutMs;  // the input itself waits for its device
    if (!packet_) packet_ = av::MakePacket();
    for (;;) {
      frame = av::MakeFrame();
      const int received = avcodec_receive_frame(decoder_.get(), frame.get());
      if (received == 0) {
        std::int64_t stamp = frame->best_effort_timestamp;
        if (stamp == AV_NOPTS_VALUE) stamp = nextStampUs_;
        else stamp = av_rescale_q(stamp, timeBase_, AVRational{1, 1000000});
        nextStampUs_ = stamp + frame->nb_samples * 1000000LL / std::max(frame->sample_rate, 1);
        firstSampleUs = clock_.ToMonotonicUs(stamp, MonotonicNowUs(), av_gettime());
        return ReadResult::kSound;
      }
      if (received != AVERROR(EAGAIN)) {
        error = "the input ended: " + av::ErrorText(received);
        return ReadResult::kEnded;
      }
      const int read = av_read_frame(input_.get(), packet_.get());
      if (read == AVERROR(EAGAIN)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return ReadResult::kNothing;
      }
      if (read < 0) {
        if (interrupted_) return ReadResult::kNothing;
        error = "the input ended: " + av::ErrorText(read);
        return ReadResult::kEnded;
      }
      if (packet_->stream_index == stream_) {
        if (const int sent = avcodec_send_packet(decoder_.get(), packet_.get()); sent < 0) {
          LOG_EVERY_N(ERROR, 50) << "can not decoder a frame: " << av::ErrorText(sent);
        }
      }
      av_packet_unref(packet_.get());
    }
  }

  void Interrupt() override { interrupted_ = true; }

 private:
  const std::string format_;
  const std::string url_;
  av::InputContextPtr input_;
  av::CodecContextPtr decoder_;
  av::PacketPtr packet_;
  int stream_ = -1;
  AVRational timeBase_{1, 1000000};
  std::int64_t nextStampUs_ = 0;
  InputClock clock_;
  std::atomic<bool> interrupted_{false};
};

}  // namespace

std::int64_t InputClock::ToMonotonicUs(std::int64_t stampUs, std::int64_t nowMonoUs,
                                       std::int64_t nowWallUs) {
  if (kind_ == Kind::kUnknown) {
    if (std::llabs(stampUs - nowWallUs) < kSameClockUs) {
      kind_ = Kind::kWall;
    } else if (std::llabs(stampUs - nowMonoUs) < kSameClockUs) {
      kind_ = Kind::kMonotonic;
    } else {
      kind_ = Kind::kRelative;
      offsetUs_ = (originUs_ >= 0 ? originUs_ : nowMonoUs) - stampUs;
    }
  }
  switch (kind_) {
    case Kind::kWall:
      // The two clocks are read together, so their difference is current.
      return stampUs - (nowWallUs - nowMonoUs);
    case Kind::kMonotonic:
      return stampUs;
    default:
      return stampUs + offsetUs_;
  }
}

std::unique_ptr<SoundInput> CreateServerSourceInput(const std::string& sourceName) {
  return std::make_unique<ServerSoundInput>(platform::CreateSourceCapture(sourceName));
}

std::unique_ptr<SoundInput> CreateServerLoopbackInput() {
  return std::make_unique<ServerSoundInput>(platform::CreateLoopbackCapture());
}

std::unique_ptr<SoundInput> CreateFfmpegSoundInput(const std::string& format, const std::string& url) {
  return std::make_unique<FfmpegSoundInput>(format, url);
}

}  // namespace tarn
