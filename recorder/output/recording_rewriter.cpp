#include "recorder/output/recording_rewriter.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <glog/logging.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <vector>

#include "recorder/ffmpeg_holders.h"
#include "recorder/output/file_sink.h"
#include "recorder/output/output_format.h"
#include "recorder/output/recording_marker.h"

namespace tarn {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kOutputBufferBytes = 1 << 20;

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
           const std::function<void(double)>& progress)
      : path_(path), format_(format), progress_(progress) {}

  RewriteResult Run();

 private:
  bool OpenInput();
  int Attempt(int fd, bool faststart);
  bool AddStreams(AVFormatContext* output);
  int CopyPackets(AVFormatContext* output, FileSink& sink);
  bool FixTimestamps(AVPacket* packet, int inIndex, const AVStream* out);
  void ReportProgress();
  std::int64_t MoovReserveBytes() const;

  const std::string path_;
  const OutputFormat& format_;
  const std::function<void(double)>& progress_;
  RewriteResult result_;
  av::InputContextPtr input_;
  std::int64_t inputBytes_ = 0;
  std::vector<int> streamMap_;       // input index -> output index or -1
  std::vector<std::int64_t> lastDts_;  // per output stream, in its time base
  Clock::time_point startTime_;
  Clock::time_point lastProgress_;
};

bool Rewriter::OpenInput() {
  input_.reset();
  struct stat info = {};
  if (::stat(path_.c_str(), &info) != 0) {
    result_.error = "cannot read " + path_ + ": " + ErrnoText(errno);
    return false;
  }
  inputBytes_ = info.st_size;
  AVFormatContext* context = nullptr;
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
  }
  return output->nb_streams > 0;
}

bool Rewriter::FixTimestamps(AVPacket* packet, int inIndex, const AVStream* out) {
  // Without reordered pictures presentation and decoding times are equal;
  // ASF and AVI tell only one of them for H.264.
  if (packet->pts == AV_NOPTS_VALUE) packet->pts = packet->dts;
  if (packet->dts == AV_NOPTS_VALUE) packet->dts = packet->pts;
  if (packet->dts == AV_NOPTS_VALUE) return false;
  const AVStream* in = input_->streams[inIndex];
  if (packet->duration <= 0) {
    const AVRational rate = in->avg_frame_rate.num > 0 ? in->avg_frame_rate : in->r_frame_rate;
    packet->duration = NominalPacketDuration(*in->codecpar, rate, in->time_base);
  }
  av_packet_rescale_ts(packet, in->time_base, out->time_base);
  // Times that rounding to the new time base made equal move up a tick.
  std::int64_t& last = lastDts_[out->index];
  if (last != AV_NOPTS_VALUE && packet->dts <= last) {
    packet->dts = last + 1;
    packet->pts = std::max(packet->pts, packet->dts);
  }
  last = packet->dts;
  return true;
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
  while ((read = av_read_frame(input_.get(), packet.get())) >= 0) {
    const int in = packet->stream_index;
    const int out = in < static_cast<int>(streamMap_.size()) ? streamMap_[in] : -1;
    // A packet cut short by the end of the file (a torn end) is dropped.
    const bool whole = !(packet->flags & AV_PKT_FLAG_CORRUPT);
    if (out >= 0 && whole && FixTimestamps(packet.get(), in, output->streams[out])) {
      packet->stream_index = out;
      packet->pos = -1;
      // Fragments hold each track's samples together; writing them in file
      // order keeps long chunks and a small index.
      const int written = format_.fragmented ? av_write_frame(output, packet.get())
                                              : av_interleaved_write_frame(output, packet.get());
      if (sink.error() != 0) return AVERROR(sink.error());
      if (written < 0) return written;
    }
    av_packet_unref(packet.get());
    if (++count % 64 == 0) ReportProgress();
  }
  if (read != AVERROR_EOF) {
    // A torn end: what came before it is kept.
    LOG(INFO) << path_ << ": reading stopped at byte " << avio_tell(input_->pb) << " ("
              << av::ErrorText(read) << "); the packets before it are kept";
  }
  return 0;
}

int Rewriter::Attempt(int fd, bool faststart) {
  if (::ftruncate(fd, 0) != 0) return AVERROR(errno);
  if (!OpenInput()) return AVERROR_INVALIDDATA;
  AVFormatContext* context = nullptr;
  const int made = avformat_alloc_output_context2(&context, nullptr, format_.muxer, path_.c_str());
  MuxerPtr output(context);
  if (made < 0 || !output) return made < 0 ? made : AVERROR(ENOMEM);
  FileSink sink;
  if (const int ret = sink.Attach(fd, kOutputBufferBytes, false); ret < 0) return ret;
  output->pb = sink.io();
  output->flags |= AVFMT_FLAG_CUSTOM_IO;
  if (!AddStreams(output.get())) {
    result_.error = "cannot read " + path_ + ": it holds no sound or picture stream";
    return AVERROR_INVALIDDATA;
  }
  AVDictionary* options = nullptr;
  if (format_.fragmented) {
    if (faststart) {
      av_dict_set(&options, "movflags", "+faststart", 0);
    } else {
      av_dict_set_int(&options, "moov_size", MoovReserveBytes(), 0);
    }
  }
  int ret = avformat_write_header(output.get(), &options);
  av_dict_free(&options);
  if (ret >= 0) ret = CopyPackets(output.get(), sink);
  if (ret >= 0) ret = av_write_trailer(output.get());
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
  int ret = Attempt(file.fd(), false);
  if (ret == AVERROR(EINVAL) && format_.fragmented && result_.error.empty()) {
    // The index did not fit the room reserved for it: let the muxer move the
    // data behind it instead (a second pass over the file).
    LOG(INFO) << path_ << ": the index needs more room than reserved; rewriting with a second pass";
    ret = Attempt(file.fd(), true);
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
  if (const int err = file.Commit(path_); err != 0) {
    result_.writeFailed = true;
    result_.error = "cannot replace " + path_ + ": " + ErrnoText(err);
    return result_;
  }
  if (progress_ && Clock::now() - startTime_ >= std::chrono::milliseconds(500)) progress_(1.0);
  result_.ok = true;
  return result_;
}

}  // namespace

RewriteResult RewriteRecording(const std::string& path,
                               const std::function<void(double)>& progress) {
  const OutputFormat* format = OutputFormatForPath(path);
  if (format == nullptr) {
    RewriteResult result;
    result.error = "cannot rewrite " + path + ": not a recording's file type";
    return result;
  }
  return Rewriter(path, *format, progress).Run();
}

}  // namespace tarn
