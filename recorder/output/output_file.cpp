#include "recorder/output/output_file.h"

#include <glog/logging.h>

namespace tarn {

OutputFile::OutputFile() = default;
OutputFile::~OutputFile() = default;

int OutputFile::Create(const std::string& path) {
  path_ = path;
  AVFormatContext* context = nullptr;
  const int made = avformat_alloc_output_context2(&context, nullptr, nullptr, path.c_str());
  context_.reset(context);
  if (made < 0 || !context_) {
    error_ = "Could not create output context for " + path + ": " + av::ErrorText(made);
    return made < 0 ? made : -1;
  }
  return 0;
}

int OutputFile::AddStream(const AVCodecContext* encoder) {
  AVStream* stream = avformat_new_stream(context_.get(), nullptr);
  if (stream == nullptr) return AVERROR(ENOMEM);
  const int ret = avcodec_parameters_from_context(stream->codecpar, encoder);
  if (ret < 0) return ret;
  stream->time_base = encoder->time_base;
  if (encoder->codec_type == AVMEDIA_TYPE_VIDEO) {
    stream->avg_frame_rate = encoder->framerate;
    stream->codecpar->bit_rate = 0;
  }
  encoderTimeBases_.push_back(encoder->time_base);
  return stream->index;
}

int OutputFile::Open() {
  if (!(context_->oformat->flags & AVFMT_NOFILE)) {
    const int opened = avio_open(&context_->pb, path_.c_str(), AVIO_FLAG_WRITE);
    if (opened < 0) {
      error_ = "cannot open the output file " + path_ + ": " + av::ErrorText(opened);
      return opened;
    }
  }
  const int header = avformat_write_header(context_.get(), nullptr);
  if (header < 0) {
    error_ = "cannot write the header of " + path_ + ": " + av::ErrorText(header);
    return header;
  }
  opened_ = true;
  return 0;
}

bool OutputFile::Write(AVPacket* packet, int index) {
  if (failed_ || !opened_) return false;
  av_packet_rescale_ts(packet, encoderTimeBases_[static_cast<std::size_t>(index)],
                       context_->streams[index]->time_base);
  packet->stream_index = index;
  const int written = av_interleaved_write_frame(context_.get(), packet);
  if (written < 0) {
    failed_ = true;
    error_ = "cannot write " + path_ + ": " + av::ErrorText(written);
    LOG(ERROR) << error_;
    return false;
  }
  return true;
}

bool OutputFile::Finish(const std::function<void(double)>& progress) {
  (void)progress;
  if (finished_) return true;
  finished_ = true;
  if (!opened_) return false;
  const int ret = av_write_trailer(context_.get());
  context_.reset();
  if (ret < 0) {
    error_ = "av_write_trailer error: " + av::ErrorText(ret);
    return false;
  }
  return !failed_;
}

std::vector<std::string> RecoverUnfinishedRecordings(const std::string& dir) {
  (void)dir;
  return {};
}

}  // namespace tarn
