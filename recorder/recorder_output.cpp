// The output file: the container chosen by the file's extension, the H.264
// video stream and encoder, the AAC audio stream and encoder, and the header.

#include <glog/logging.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <climits>
#include <cstdio>

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
  rates.maximum = static_cast<std::int64_t>(static_cast<double>(rates.encoder) * 1.5);
  return rates;
}

int Recorder::SetupOutput() {
  outputPath_ = outputDir_ + "/" + fileName_;
  AVFormatContext* context = nullptr;
  const int made = avformat_alloc_output_context2(&context, nullptr, nullptr, outputPath_.c_str());
  outputContext_.reset(context);
  if (made < 0 || !outputContext_) {
    LOG(ERROR) << "Could not create output context for " << outputPath_ << ": "
               << av::ErrorText(made);
    return -1;
  }

  videoStream_ = avformat_new_stream(outputContext_.get(), nullptr);
  if (videoStream_ == nullptr) {
    LOG(ERROR) << "Could not create output context: no video stream";
    return -1;
  }
  videoStream_->time_base = AVRational{1, frameRate_};

  const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
  if (codec == nullptr) codec = avcodec_find_encoder(AV_CODEC_ID_H264);
  if (codec == nullptr) {
    LOG(ERROR) << "not found encoder";
    return -1;
  }
  videoEncoder_.reset(avcodec_alloc_context3(codec));
  if (!videoEncoder_) {
    LOG(ERROR) << "not found encoder";
    return -1;
  }
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
  encoder->flags |= AV_CODEC_FLAG_QSCALE;
  if (WantsGlobalHeader(containerExt_) || (outputContext_->oformat->flags & AVFMT_GLOBALHEADER)) {
    encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }
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
    return -1;
  }
  if (const int ret = avcodec_parameters_from_context(videoStream_->codecpar, encoder); ret < 0) {
    LOG(ERROR) << "cannot describe the video stream: " << av::ErrorText(ret);
    return -1;
  }
  return 0;
}

int Recorder::SetupAudio() {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
  if (codec == nullptr) {
    LOG(ERROR) << "audio codec not found";
    return -1;
  }
  AVFormatContext* output = outputContext_.get();
  if (!(output->oformat->flags & AVFMT_NOFILE)) {
    const int opened = avio_open(&output->pb, outputPath_.c_str(), AVIO_FLAG_WRITE);
    if (opened < 0) {
      // A folder that does not exist or cannot be written: nothing is recorded.
      LOG(ERROR) << "cannot open the output file " << outputPath_ << ": " << av::ErrorText(opened);
      return opened;
    }
    outputFileOpened_ = true;
  }
  audioStream_ = avformat_new_stream(output, nullptr);
  if (audioStream_ == nullptr) {
    LOG(ERROR) << "open audio encode err: no audio stream";
    return -1;
  }
  audioEncoder_.reset(avcodec_alloc_context3(codec));
  if (!audioEncoder_) {
    LOG(ERROR) << "open audio encode err";
    return -1;
  }
  AVCodecContext* encoder = audioEncoder_.get();
  encoder->codec_id = AV_CODEC_ID_AAC;
  encoder->codec_type = AVMEDIA_TYPE_AUDIO;
  encoder->bit_rate = 128000;
  encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
  encoder->sample_rate = 44100;
  av_channel_layout_default(&encoder->ch_layout, 2);
  encoder->time_base = AVRational{1, encoder->sample_rate};
  encoder->codec_tag = 0;
  encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (const int ret = avcodec_open2(encoder, codec, nullptr); ret < 0) {
    LOG(ERROR) << "open audio encode err: " << av::ErrorText(ret);
    return -1;
  }
  audioStream_->time_base = encoder->time_base;
  if (const int ret = avcodec_parameters_from_context(audioStream_->codecpar, encoder); ret < 0) {
    LOG(ERROR) << "cannot describe the audio stream: " << av::ErrorText(ret);
    return -1;
  }

  av_dump_format(output, 0, outputPath_.c_str(), 1);
  const int header = avformat_write_header(output, nullptr);
  if (header < 0) {
    LOG(ERROR) << "cannot write the header of " << outputPath_ << ": " << av::ErrorText(header);
    return header;
  }
  // Both "written now" and "written with the first packet" are success.
  return 0;
}

}  // namespace tarn
