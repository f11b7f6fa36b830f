#include "recorder/output/recording_rewriter.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <glog/logging.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <string_view>
#include <vector>

#include "recorder/ffmpeg_holders.h"
#include "recorder/output/asf_writer.h"
#include "recorder/output/file_sink.h"
#include "recorder/output/output_format.h"
#include "recorder/output/recording_marker.h"
#include "recorder/output/source_copier.h"

namespace tarn {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kOutputBufferBytes = 1 << 20;
// The new file goes to disk while it is written, in steps of this size.
constexpr std::int64_t kWritebackBytes = 32 << 20;

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

// The rewritten file while it is written: unnamed where the file system
// allows it (nothing to clean up after a crash), otherwise under the
// recording's finishing name. Removed unless committed.
class NewFile {
 public:
  ~NewFile() {
    if (fd_ >= 0) ::close(fd_);
    if (named_ && !committed_) ::unlink(finishing_.c_str());
  }

  int Create(const std::string& path) {
    finishing_ = RecordingMarker::FinishingPathFor(path);
    fd_ = ::open(FolderOf(path).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0644);
    if (fd_ >= 0) return 0;
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
    ::unlink(finishing_.c_str());
    fd_ = ::open(finishing_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd_ < 0) return errno;
    named_ = true;
    return 0;
  }

  int fd() const { return fd_; }

  // Syncs the data, gives the file the name `path` in one step and syncs the
  // folder, so that a power cut leaves either the old or the new file.
  int Commit(const std::string& path) {
    if (::fdatasync(fd_) != 0) return errno;
    if (!named_) {
      ::unlink(finishing_.c_str());
      const std::string self = "/proc/self/fd/" + std::to_string(fd_);
      if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, finishing_.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        return errno;
      }
      named_ = true;
    }
    if (::rename(finishing_.c_str(), path.c_str()) != 0) return errno;
    committed_ = true;
    const int folder = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
      ::fsync(folder);
      ::close(folder);
    }
    return 0;
  }

 private:
  int fd_ = -1;
  std::string finishing_;
  bool named_ = false;
  bool committed_ = false;
};

class Rewriter {
 public:
  Rewriter(const std::string& path, const OutputFormat& format,
           const std::function<void(double)>& progress, const RewriteOptions& options)
      : path_(path), format_(format), progress_(progress), options_(options) {}

  RewriteResult Run();

 private:
  bool OpenInput(bool copyInKernel);
  int Attempt(int fd, bool copyInKernel);
  bool AddStreams(AVFormatContext* output);
  int CopyPackets(AVFormatContext* output, FileSink& sink);
  int WriteHeld(AVFormatContext* output, FileSink& sink, int out, std::int64_t nextDts);
  bool FixTimestamps(AVPacket* packet, int inIndex, const AVStream* out);
  void ReportProgress();
  std::int64_t MoovReserveBytes() const;

  const std::string path_;
  const OutputFormat& format_;
  const std::function<void(double)>& progress_;
  const RewriteOptions options_;
  RewriteResult result_;
  // Outlives input_, whose byte stream it may be.
  std::unique_ptr<SourceCopier> copier_;
  av::InputContextPtr input_;
  std::int64_t moovReserveBytes_ = 0;
  bool moovTooSmall_ = false;
  bool copyBroken_ = false;
  std::int64_t inputBytes_ = 0;
  std::vector<int> streamMap_;       // input index -> output index or -1
  std::vector<std::int64_t> lastDts_;  // per output stream, in its time base
  // Per output stream, in its time base:
  std::vector<std::int64_t> shortestDuration_;
  std::vector<av::PacketPtr> held_;
  std::vector<bool> heldValid_;
  std::vector<int> inputIndex_;
  // ASF is written by this writer instead of FFmpeg's muxer.
  std::unique_ptr<AsfWriter> asf_;
  Clock::time_point startTime_;
  Clock::time_point lastProgress_;
};

bool Rewriter::OpenInput(bool copyInKernel) {
  input_.reset();
  copier_.reset();
  struct stat info = {};
  if (::stat(path_.c_str(), &info) != 0) {
    result_.error = "cannot read " + path_ + ": " + ErrnoText(errno);
    return false;
  }
  inputBytes_ = info.st_size;
  AVFormatContext* context = avformat_alloc_context();
  if (context == nullptr) {
    result_.error = "cannot read " + path_ + ": out of memory";
    return false;
  }
  // The packets are copied as they are: no parsing of their contents, no
  // guessing of times the container does not state (FixTimestamps fills
  // those in).
  context->flags |= AVFMT_FLAG_NOPARSE | AVFMT_FLAG_NOFILLIN;
  if (copyInKernel) {
    copier_ = std::make_unique<SourceCopier>();
    if (const int err = copier_->Open(path_); err != 0) {
      avformat_free_context(context);
      result_.error = "cannot read " + path_ + ": " + ErrnoText(err);
      return false;
    }
    context->pb = copier_->io();
    context->flags |= AVFMT_FLAG_CUSTOM_IO;
  }
  const int opened =
      avformat_open_input(&context, path_.c_str(), av_find_input_format(format_.demuxer), nullptr);
  if (opened < 0) {
    result_.error = "cannot read " + path_ + ": " + av::ErrorText(opened);
    return false;
  }
  input_.reset(context);
  bool described = !(context->ctx_flags & AVFMTCTX_NOHEADER);
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    const AVCodecParameters* codec = context->streams[i]->codecpar;
    if ((codec->codec_type == AVMEDIA_TYPE_VIDEO && codec->width <= 0) ||
        (codec->codec_type == AVMEDIA_TYPE_AUDIO && codec->sample_rate <= 0)) {
      described = false;
    }
  }
  // Only a container that describes its streams in the packets (FLV) needs
  // packets read ahead to know them.
  if (!described) {
    if (const int found = avformat_find_stream_info(context, nullptr); found < 0) {
      result_.error = "cannot read the streams of " + path_ + ": " + av::ErrorText(found);
      return false;
    }
  }
  return true;
}

std::int64_t Rewriter::MoovReserveBytes() const {
  // Index bytes per sample of a regular MP4 written in long chunks: size,
  // chunk and timing entries come to ~12; twice that leaves room.
  std::int64_t bytes = 16 * 1024;
  for (unsigned i = 0; i < input_->nb_streams; ++i) {
    const AVStream* stream = input_->streams[i];
    bytes += 24LL * avformat_index_get_entries_count(stream) + stream->codecpar->extradata_size;
  }
  return std::min<std::int64_t>(bytes, std::numeric_limits<int>::max());
}

bool Rewriter::AddStreams(AVFormatContext* output) {
  streamMap_.assign(input_->nb_streams, -1);
  lastDts_.clear();
  shortestDuration_.clear();
  held_.clear();
  heldValid_.clear();
  inputIndex_.clear();
  for (unsigned i = 0; i < input_->nb_streams; ++i) {
    const AVStream* in = input_->streams[i];
    const AVMediaType type = in->codecpar->codec_type;
    if (type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO) continue;
    AVStream* out = avformat_new_stream(output, nullptr);
    if (out == nullptr || avcodec_parameters_copy(out->codecpar, in->codecpar) < 0) return false;
    out->codecpar->codec_tag = 0;
    out->time_base = in->time_base;
    if (type == AVMEDIA_TYPE_VIDEO) {
      // The rate the stream was recorded at, so that Matroska states it as
      // the track's default duration.
      out->avg_frame_rate = in->avg_frame_rate.num > 0 ? in->avg_frame_rate : in->r_frame_rate;
      // A video bit rate in the header would be the encoder's setting, not
      // what the stream carries.
      out->codecpar->bit_rate = 0;
    }
    streamMap_[i] = out->index;
    lastDts_.push_back(AV_NOPTS_VALUE);
    shortestDuration_.push_back(0);
    held_.push_back(av::MakePacket());
    heldValid_.push_back(false);
    inputIndex_.push_back(static_cast<int>(i));
  }
  return output->nb_streams > 0;
}

bool Rewriter::FixTimestamps(AVPacket* packet, int inIndex, const AVStream* out) {
  // Without reordered pictures presentation and decoding times are equal;
  // ASF and AVI tell only one of them for H.264.
  if (packet->pts == AV_NOPTS_VALUE) packet->pts = packet->dts;
  if (packet->dts == AV_NOPTS_VALUE) packet->dts = packet->pts;
  if (packet->dts == AV_NOPTS_VALUE) return false;
  av_packet_rescale_ts(packet, input_->streams[inIndex]->time_base, out->time_base);
  // Times that rounding to the new time base made equal move up a tick.
  std::int64_t& last = lastDts_[out->index];
  if (last != AV_NOPTS_VALUE && packet->dts <= last) {
    packet->dts = last + 1;
    packet->pts = std::max(packet->pts, packet->dts);
  }
  last = packet->dts;
  return true;
}

int Rewriter::WriteHeld(AVFormatContext* output, FileSink& sink, int out, std::int64_t nextDts) {
  AVPacket* held = held_[out].get();
  heldValid_[out] = false;
  const AVStream* stream = output->streams[out];
  // A packet without a duration lasts until the next one; the last one as
  // long as the shortest before it (one picture, even when pictures were
  // dropped), or as the stream's stated rate says.
  std::int64_t& shortest = shortestDuration_[out];
  if (held->duration <= 0) {
    if (nextDts != AV_NOPTS_VALUE) {
      held->duration = nextDts - held->dts;
    } else if (shortest > 0) {
      held->duration = shortest;
    } else {
      const AVStream* in = input_->streams[inputIndex_[out]];
      const AVRational rate = in->r_frame_rate.num > 0 ? in->r_frame_rate : in->avg_frame_rate;
      held->duration = NominalPacketDuration(*stream->codecpar, rate, stream->time_base);
    }
  }
  if (shortest <= 0 || held->duration < shortest) shortest = held->duration;
  const std::uint8_t* data = held->data;
  const int size = held->size;
  // Fragments hold each track's samples together; writing them in file
  // order keeps long chunks and a small index.
  const int written = asf_                  ? asf_->WritePacket(*held, out)
                      : format_.fragmented ? av_write_frame(output, held)
                                           : av_interleaved_write_frame(output, held);
  av_packet_unref(held);
  if (sink.error() != 0) return AVERROR(sink.error());
  if (written < 0) return written;
  if (copier_ && !copier_->Settle(data, size)) {
    // The muxer did not write the packet's data as it was given.
    copyBroken_ = true;
    return AVERROR_BUG;
  }
  return 0;
}

void Rewriter::ReportProgress() {
  if (!progress_) return;
  const auto now = Clock::now();
  if (now - startTime_ < std::chrono::milliseconds(500) ||
      now - lastProgress_ < std::chrono::milliseconds(100)) {
    return;
  }
  lastProgress_ = now;
  const double done = inputBytes_ > 0 ? static_cast<double>(avio_tell(input_->pb)) / inputBytes_ : 0;
  progress_(std::clamp(done, 0.0, 1.0));
}

int Rewriter::CopyPackets(AVFormatContext* output, FileSink& sink) {
  av::PacketPtr packet = av::MakePacket();
  int read = 0;
  int count = 0;
  // Each stream's last packet is held back until the next one shows how
  // long it lasts.
  for (;;) {
    const std::size_t noted = copier_ ? copier_->noted() : 0;
    if (copier_) copier_->SetSkipping(true);
    read = av_read_frame(input_.get(), packet.get());
    if (copier_) copier_->SetSkipping(false);
    if (read < 0) break;
    if (copier_ && !copier_->NotedWithin(noted, packet->data, packet->size)) {
      // Something other than the packet's data was skipped.
      copyBroken_ = true;
      return AVERROR_BUG;
    }
    const int in = packet->stream_index;
    const int out = in < static_cast<int>(streamMap_.size()) ? streamMap_[in] : -1;
    // A packet cut short by the end of the file (a torn end) is dropped.
    const bool whole = !(packet->flags & AV_PKT_FLAG_CORRUPT);
    if (out >= 0 && whole && FixTimestamps(packet.get(), in, output->streams[out])) {
      packet->stream_index = out;
      packet->pos = -1;
      if (heldValid_[out]) {
        if (const int ret = WriteHeld(output, sink, out, packet->dts); ret < 0) return ret;
      }
      av_packet_move_ref(held_[out].get(), packet.get());
      heldValid_[out] = true;
    } else {
      if (copier_) copier_->Forget(packet->data, packet->size);
      av_packet_unref(packet.get());
    }
    if (++count % 64 == 0) ReportProgress();
  }
  if (read != AVERROR_EOF) {
    // A torn end: what came before it is kept.
    LOG(INFO) << path_ << ": reading stopped at byte " << avio_tell(input_->pb) << " ("
              << av::ErrorText(read) << "); the packets before it are kept";
  }
  // The held packets, earliest first.
  for (;;) {
    int first = -1;
    for (int out = 0; out < static_cast<int>(held_.size()); ++out) {
      if (!heldValid_[out]) continue;
      if (first < 0 || av_compare_ts(held_[out]->dts, output->streams[out]->time_base,
                                     held_[first]->dts, output->streams[first]->time_base) < 0) {
        first = out;
      }
    }
    if (first < 0) return 0;
    if (const int ret = WriteHeld(output, sink, first, AV_NOPTS_VALUE); ret < 0) return ret;
  }
}

int Rewriter::Attempt(int fd, bool copyInKernel) {
  if (::ftruncate(fd, 0) != 0) return AVERROR(errno);
  if (!OpenInput(copyInKernel)) return AVERROR_INVALIDDATA;
  AVFormatContext* context = nullptr;
  const int made = avformat_alloc_output_context2(&context, nullptr, format_.muxer, path_.c_str());
  MuxerPtr output(context);
  if (made < 0 || !output) return made < 0 ? made : AVERROR(ENOMEM);
  FileSink sink;
  if (const int ret = sink.Attach(fd, kOutputBufferBytes, false); ret < 0) return ret;
  sink.StartWriteback(kWritebackBytes);
  sink.WriteThrough(copier_.get());
  output->pb = sink.io();
  output->flags |= AVFMT_FLAG_CUSTOM_IO;
  if (!AddStreams(output.get())) {
    result_.error = "cannot read " + path_ + ": it holds no sound or picture stream";
    return AVERROR_INVALIDDATA;
  }
  AVDictionary* options = nullptr;
  if (format_.fragmented) {
    // The index goes in front, into room reserved for it, so that the data
    // is written once.
    if (moovReserveBytes_ == 0) moovReserveBytes_ = MoovReserveBytes();
    av_dict_set_int(&options, "moov_size", moovReserveBytes_, 0);
  }
  int ret = 0;
  asf_.reset();
  if (std::string_view(format_.muxer) == "asf") {
    asf_ = std::make_unique<AsfWriter>(sink.io());
    for (unsigned i = 0; i < output->nb_streams && ret >= 0; ++i) {
      AVStream* stream = output->streams[i];
      stream->time_base = AsfWriter::kTimeBase;
      ret = asf_->AddStream(*stream->codecpar, stream->avg_frame_rate);
    }
    if (ret >= 0) ret = asf_->WriteHeader();
  } else {
    ret = avformat_write_header(output.get(), &options);
  }
  av_dict_free(&options);
  if (ret >= 0) ret = CopyPackets(output.get(), sink);
  if (ret >= 0 && asf_) {
    ret = asf_->WriteTrailer();
  } else if (ret >= 0) {
    ret = av_write_trailer(output.get());
    moovTooSmall_ = format_.fragmented && ret == AVERROR(EINVAL);
  }
  if (sink.error() != 0) return AVERROR(sink.error());
  if (ret >= 0) sink.Flush();
  if (sink.error() != 0) return AVERROR(sink.error());
  return ret;
}

RewriteResult Rewriter::Run() {
  startTime_ = Clock::now();
  NewFile file;
  if (const int err = file.Create(path_); err != 0) {
    result_.writeFailed = true;
    result_.error = "cannot write into folder " + FolderOf(path_) + ": " + ErrnoText(err);
    return result_;
  }
  bool copyInKernel = options_.copyInKernel && format_.fragmented;
  int ret = 0;
  for (int attempt = 0; attempt < 6; ++attempt) {
    moovTooSmall_ = copyBroken_ = false;
    ret = Attempt(file.fd(), copyInKernel);
    if (copyBroken_) {
      LOG(WARNING) << path_ << ": copying in the kernel went wrong; rewriting by reading the data";
      copyInKernel = false;
    } else if (moovTooSmall_) {
      LOG(INFO) << path_ << ": the index needs more room than " << moovReserveBytes_ << " bytes";
      moovReserveBytes_ *= 2;
    } else {
      break;
    }
  }
  if (ret < 0) {
    if (result_.error.empty()) {
      const bool ioError = ret != AVERROR_INVALIDDATA && ret != AVERROR(EINVAL) &&
                           ret != AVERROR_PATCHWELCOME;
      result_.writeFailed = ioError;
      result_.error = (ioError ? "cannot write the finished " : "cannot rewrite ") + path_ + ": " +
                      av::ErrorText(ret);
    }
    return result_;
  }
  const auto written = Clock::now();
  if (const int err = file.Commit(path_); err != 0) {
    result_.writeFailed = true;
    result_.error = "cannot replace " + path_ + ": " + ErrnoText(err);
    return result_;
  }
  const auto done = Clock::now();
  if (progress_ && done - startTime_ >= std::chrono::milliseconds(500)) progress_(1.0);
  using Ms = std::chrono::milliseconds;
  LOG(INFO) << "rewrote " << path_ << " (" << inputBytes_ << " bytes) in "
            << std::chrono::duration_cast<Ms>(done - startTime_).count() << " ms, of which "
            << std::chrono::duration_cast<Ms>(done - written).count() << " ms syncing";
  result_.ok = true;
  result_.copiedInKernel = copyInKernel;
  return result_;
}

}  // namespace

RewriteResult RewriteRecording(const std::string& path,
                               const std::function<void(double)>& progress,
                               const RewriteOptions& options) {
  const OutputFormat* format = OutputFormatForPath(path);
  if (format == nullptr) {
    RewriteResult result;
    result.error = "cannot rewrite " + path + ": not a recording's file type";
    return result;
  }
  return Rewriter(path, *format, progress, options).Run();
}

}  // namespace tarn
