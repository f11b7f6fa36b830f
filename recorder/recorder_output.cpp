// The output file and its encoders: the H.264 video encoder, the AAC audio
// encoder, and the container with its header.

#include <glog/logging.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <climits>
#include <cstdio>

#include "recorder/output/output_file.h"
#include "recorder/recorder.h"

namespace tarn {
namespace {

// Containers whose H.264 stream carries its parameter sets in the header.
bool WantsGlobalHeader(const std::string& ext) {
  return ext == "mp4" || ext == "mov" || ext == "mkv" || ext == "f4v";
}

}  // namespace

const char* CrfForQuality(int quality) {
  switch (quality) {
    case 0:
      return "18";
    case 1:
      return "23";
    case 2:
      return "28";
    default:
      return nullptr;
  }
}

VideoBitRates ComputeVideoBitRates(int width, int height, int frameRate) {
  VideoBitRates rates;
  rates.decoder =
      static_cast<std::int64_t>(static_cast<double>(width) * height * 4 * frameRate * 8.0);
  rates.encoder = std::min<std::int64_t>(rates.decoder / 4, INT_MAX);
  rates.minimum = rates.encoder / 10;
  rates.maximum = std::min<std::int64_t>(
      static_cast<std::int64_t>(static_cast<double>(rates.encoder) * 1.5), INT_MAX);
  return rates;
}

int Recorder::SetupVideoEncoder() {
  outputFile_ = std::make_unique<OutputFile>();
  if (const int made = outputFile_->Create(outputPath_); made < 0) {
    LOG(ERROR) << "Could not create output context";
    return FailStart(-1, StartProblem::kFolder, outputFile_->error());
  }
  const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
  if (codec == nullptr) codec = avcodec_find_encoder(AV_CODEC_ID_H264);
  if (codec == nullptr) {
    LOG(ERROR) << "not found encoder";
    return FailStart(-1, StartProblem::kEncoder, "no H.264 encoder is installed");
  }
  videoEncoder_.reset(avcodec_alloc_context3(codec));
  if (!videoEncoder_) return FailStart(-1, StartProblem::kEncoder, "out of memory");
  AVCodecContext* encoder = videoEncoder_.get();
  encoder->codec_id = AV_CODEC_ID_H264;
  encoder->codec_type = AVMEDIA_TYPE_VIDEO;
  encoder->width = videoWidth_;
  encoder->height = videoHeight_;
  encoder->pix_fmt = AV_PIX_FMT_YUV420P;
  encoder->time_base = AVRational{1, frameRate_};
  encoder->framerate = AVRational{frameRate_, 1};
  const VideoBitRates rates = ComputeVideoBitRates(videoWidth_, videoHeight_, frameRate_);
  encoder->bit_rate = rates.encoder;
  encoder->rc_min_rate = rates.minimum;
  encoder->rc_max_rate = rates.maximum;
  // A maximum rate is kept only with a buffer to measure it over: one second.
  encoder->rc_buffer_size = static_cast<int>(rates.maximum);
  encoder->flags |= AV_CODEC_FLAG_QSCALE;
  if (WantsGlobalHeader(containerExt_)) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  encoder->max_b_frames = 0;
  encoder->gop_size = 70;
  encoder->qmin = 10;
  encoder->qmax = 51;
  encoder->qcompress = 0.6f;
  encoder->thread_count = 2;
  encoder->thread_type = FF_THREAD_FRAME;

  AVDictionary* options = nullptr;
  av_dict_set(&options, "preset", "ultrafast", 0);
  av_dict_set(&options, "tune", "zerolatency", 0);
  av_dict_set(&options, "profile", "high", 0);
  if (const char* crf = CrfForQuality(quality_)) av_dict_set(&options, "crf", crf, 0);
  const int opened = avcodec_open2(encoder, codec, &options);
  av_dict_free(&options);
  if (opened < 0) {
    LOG(ERROR) << "cann't open the encodec! " << av::ErrorText(opened);
    return FailStart(-1, StartProblem::kEncoder,
                     "the H.264 encoder does not open for " + std::to_string(videoWidth_) + "x" +
                         std::to_string(videoHeight_) + ": " + av::ErrorText(opened));
  }
  videoStreamIndex_ = outputFile_->AddStream(encoder);
  if (videoStreamIndex_ < 0) {
    return FailStart(-1, StartProblem::kEncoder, "cannot describe the video stream");
  }
  return 0;
}

int Recorder::SetupAudioEncoder() {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
  if (codec == nullptr) {
    LOG(ERROR) << "audio codec not found";
    return FailStart(-1, StartProblem::kEncoder, "no AAC encoder is installed");
  }
  audioEncoder_.reset(avcodec_alloc_context3(codec));
  if (!audioEncoder_) return FailStart(-1, StartProblem::kEncoder, "out of memory");
  AVCodecContext* encoder = audioEncoder_.get();
  encoder->codec_id = AV_CODEC_ID_AAC;
  encoder->codec_type = AVMEDIA_TYPE_AUDIO;
  encoder->bit_rate = 128000;
  encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
  encoder->sample_rate = kRecordingSampleRate;
  av_channel_layout_default(&encoder->ch_layout, 2);
  encoder->time_base = AVRational{1, encoder->sample_rate};
  encoder->codec_tag = 0;
  encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (const int ret = avcodec_open2(encoder, codec, nullptr); ret < 0) {
    LOG(ERROR) << "open audio encode err: " << av::ErrorText(ret);
    return FailStart(-1, StartProblem::kEncoder, "the AAC encoder does not open");
  }
  audioStreamIndex_ = outputFile_->AddStream(encoder);
  if (audioStreamIndex_ < 0) return FailStart(-1, StartProblem::kEncoder, "cannot describe the audio stream");
  // The mixing graph is built before any thread runs, so that its failure
  // leaves nothing running.
  if (audioBus_->trackCount() == 2) {
    if (BuildMixGraph() != 0) {
      LOG(ERROR) << "混音参数初始化失败";
      return FailStart(-1, StartProblem::kEncoder, "the sound of the microphone and the speaker cannot be mixed");
    }
  }
  return 0;
}

int Recorder::OpenOutput() {
  const int opened = outputFile_->Open();
  if (opened < 0) {
    LOG(ERROR) << "音频参数初始化失败";
    return FailStart(opened, StartProblem::kFolder, outputFile_->error());
  }
  return 0;
}

}  // namespace tarn
