#include "recorder/ffmpeg_video_source.h"

#include <glog/logging.h>
#include <pthread.h>

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavutil/time.h>
}

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>

#include "recorder/timeline.h"

namespace tarn {

FfmpegVideoSource::FfmpegVideoSource(std::string format, std::string url, std::string options)
    : format_(std::move(format)), url_(std::move(url)), options_(std::move(options)) {}

FfmpegVideoSource::~FfmpegVideoSource() { Stop(); }

int FfmpegVideoSource::Open(std::string& error) {
  avdevice_register_all();
  const AVInputFormat* format = av_find_input_format(format_.c_str());
  if (format == nullptr) {
    error = "the input format \"" + format_ + "\" is not available";
    return -1;
  }
  AVFormatContext* context = avformat_alloc_context();
  if (context == nullptr) {
    error = "out of memory";
    return -1;
  }
  context->interrupt_callback.callback = [](void* self) {
    return static_cast<FfmpegVideoSource*>(self)->stop_.load() ? 1 : 0;
  };
  context->interrupt_callback.opaque = this;
  AVDictionary* options = nullptr;
  if (!options_.empty()) av_dict_parse_string(&options, options_.c_str(), "=", ":", 0);
  const int opened = avformat_open_input(&context, url_.c_str(), format, &options);
  av_dict_free(&options);
  if (opened < 0) {
    error = "not open the file, error code = " + std::to_string(opened) + " (" + format_ + " \"" +
            url_ + "\": " + av::ErrorText(opened) + ")";
    return -1;
  }
  input_.reset(context);
  // Inputs that count their stamps from zero begin now: reading the stream
  // information below already takes their first pictures.
  clock_.SetRelativeOrigin(MonotonicNowUs());
  if (avformat_find_stream_info(input_.get(), nullptr) < 0) {
    error = "not find stream information";
    return -1;
  }
  stream_ = av_find_best_stream(input_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (stream_ < 0) {
    error = "Didn't find a video stream";
    return -1;
  }
  const AVCodecParameters* par = input_->streams[stream_]->codecpar;
  if (par->width <= 0 || par->height <= 0) {
    error = "the video input has no picture size";
    return -1;
  }
  return 0;
}

int FfmpegVideoSource::nativeFrameRate() const {
  if (!input_ || stream_ < 0) return 0;
  // The average rate when the input states one, else the rate its stream
  // is set up with (raw video pipes state only that one).
  const AVStream* stream = input_->streams[stream_];
  for (const AVRational rate : {stream->avg_frame_rate, stream->r_frame_rate}) {
    if (rate.num > 0 && rate.den >= 1) return rate.num / rate.den;
  }
  return 0;
}

void FfmpegVideoSource::Start(VideoSink& sink) {
  stop_ = false;
  thread_ = std::thread(&FfmpegVideoSource::Run, this, std::ref(sink));
}

void FfmpegVideoSource::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

bool FfmpegVideoSource::WaitUntil(std::int64_t monoUs) {
  for (;;) {
    if (stop_) return false;
    const std::int64_t leftUs = monoUs - MonotonicNowUs();
    if (leftUs <= 0) return true;
    std::this_thread::sleep_for(std::chrono::microseconds(std::min<std::int64_t>(leftUs, 20000)));
  }
}

void FfmpegVideoSource::Run(VideoSink& sink) {
  pthread_setname_np(pthread_self(), "video-camera");
  try {
    const AVRational timeBase = input_->streams[stream_]->time_base;
    while (!stop_) {
      av::PacketPtr packet = av::MakePacket();
      const int read = av_read_frame(input_.get(), packet.get());
      if (read == AVERROR(EAGAIN)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        continue;
      }
      if (read < 0) {
        if (stop_) break;
        LOG(ERROR) << "read frame finish, ret = " << read << " (" << av::ErrorText(read) << ")";
        sink.OnSourceEnded("the camera stopped delivering pictures (" + av::ErrorText(read) + ")");
        break;
      }
      if (packet->stream_index != stream_) continue;
      const std::int64_t nowMono = MonotonicNowUs();
      const std::int64_t pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
      const std::int64_t stampUs =
          pts == AV_NOPTS_VALUE ? nowMono
                                : clock_.ToMonotonicUs(av_rescale_q(pts, timeBase, AVRational{1, 1000000}),
                                                       nowMono, av_gettime());
      // An input without a clock of its own (a test pattern, a file) could
      // deliver faster than real time; it is held to its stamps as a camera
      // would deliver them.
      if (clock_.relative() && !WaitUntil(stampUs)) break;
      packet->pts = packet->dts = stampUs;
      ++taken_;
      sink.OnVideoPacket(std::move(packet));
    }
  } catch (const std::exception& e) {
    LOG(ERROR) << "video input failed: " << e.what();
    sink.OnSourceEnded(std::string("video input failed: ") + e.what());
  }
  std::printf("video camera thread exit\n");
}

}  // namespace tarn
