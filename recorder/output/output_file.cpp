#include "recorder/output/output_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <glog/logging.h>

#include <algorithm>

#include "recorder/ffmpeg_holders.h"
#include "recorder/output/recording_rewriter.h"

namespace tarn {
namespace {

using Clock = std::chrono::steady_clock;

// Small enough that little waits in it between the periodic flushes.
constexpr int kWriteBufferBytes = 64 * 1024;
constexpr auto kFlushPeriod = std::chrono::milliseconds(500);
constexpr int kSyncPeriodMs = 1000;
// Fragments (MP4, MOV) and clusters (Matroska) of at most a second, and no
// stream held back more than a second for the others: what a crash can lose.
constexpr const char* kFragmentDurationUs = "1000000";
constexpr const char* kClusterTimeLimitMs = "1000";
constexpr std::int64_t kMaxInterleaveDeltaUs = 1000000;
// How many dropped packets are logged one by one.
constexpr int kLoggedDrops = 5;

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string FolderProblem(int err) {
  switch (err) {
    case ENOENT:
      return "the folder does not exist";
    case ENOTDIR:
      return "it is not a folder";
    case EACCES:
    case EPERM:
      return "permission denied";
    case EROFS:
      return "the disk is read-only";
    case ENOSPC:
    case EDQUOT:
      return "the disk is full";
    default:
      return ErrnoText(err);
  }
}

}  // namespace

OutputFile::OutputFile() = default;

OutputFile::~OutputFile() {
  if (opened_ && !finished_) {
    // No trailer: the muxer's buffers are dropped, what reached the file
    // stays playable and marked, and recovery finishes it.
    LOG(WARNING) << path_ << " was not finished; it is left for recovery";
    asf_.reset();
    muxer_.reset();
    sink_.Close(true);
  }
  muxer_.reset();
}

int OutputFile::Create(const std::string& path) {
  path_ = path;
  folder_ = FolderOf(path);
  format_ = OutputFormatForPath(path);
  if (format_ == nullptr) {
    error_ = "cannot record into " + path +
             ": recordings are written as mp4, mov, flv, wmv, avi or mkv files";
    return AVERROR(EINVAL);
  }
  AVFormatContext* context = nullptr;
  const int made = avformat_alloc_output_context2(&context, nullptr, format_->muxer, path.c_str());
  muxer_.reset(context);
  if (made < 0 || !muxer_) {
    error_ = "cannot prepare the " + std::string(format_->muxer) + " container: " +
             av::ErrorText(made);
    return made < 0 ? made : AVERROR(ENOMEM);
  }
  return 0;
}

int OutputFile::AddStream(const AVCodecContext* encoder) {
  if (!muxer_ || opened_ || encoder == nullptr) return AVERROR(EINVAL);
  AVStream* stream = avformat_new_stream(muxer_.get(), nullptr);
  if (stream == nullptr) return AVERROR(ENOMEM);
  if (const int ret = avcodec_parameters_from_context(stream->codecpar, encoder); ret < 0) {
    error_ = "cannot describe a stream of " + path_ + ": " + av::ErrorText(ret);
    return ret;
  }
  stream->time_base = encoder->time_base;
  if (encoder->codec_type == AVMEDIA_TYPE_VIDEO) {
    if (encoder->framerate.num > 0 && encoder->framerate.den > 0) {
      // Matroska states it as the track's default duration; the others use
      // it for their headers.
      stream->avg_frame_rate = encoder->framerate;
      stream->r_frame_rate = encoder->framerate;
    }
    // The encoder's bit rate is a setting of its rate control, not what a
    // constant-quality stream carries: headers say "unknown" instead.
    stream->codecpar->bit_rate = 0;
  }
  StreamState state;
  state.encoderTimeBase = encoder->time_base;
  if (encoder->codec_type == AVMEDIA_TYPE_AUDIO && encoder->sample_rate > 0) {
    // Rounded as the packets' times will be, so that the sound starts at 0.
    state.primingMs = av_rescale_q(encoder->initial_padding, AVRational{1, encoder->sample_rate},
                                   AsfWriter::kTimeBase);
  }
  state.defaultDuration =
      NominalPacketDuration(*stream->codecpar, encoder->framerate, encoder->time_base);
  streams_.push_back(state);
  return stream->index;
}

bool OutputFile::PrepareFolder() {
  struct stat info = {};
  int err = 0;
  if (::stat(folder_.c_str(), &info) != 0) {
    err = errno;
  } else if (!S_ISDIR(info.st_mode)) {
    err = ENOTDIR;
  } else if (::access(folder_.c_str(), W_OK | X_OK) != 0) {
    err = errno;
  } else if (const int marked = marker_.Create(path_); marked != 0) {
    err = marked;
  }
  if (err == 0) return true;
  error_ = err == EBUSY ? "cannot record into " + path_ + ": another recording writes it"
                        : "cannot write into folder " + folder_ + ": " + FolderProblem(err);
  errno = err;
  return false;
}

bool OutputFile::OpenFile() {
  const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    const int err = errno;
    error_ = "cannot write into folder " + folder_ + ": " + FolderProblem(err);
    errno = err;
    return false;
  }
  if (sink_.Attach(fd, kWriteBufferBytes, true) < 0) {
    error_ = "cannot write " + path_ + ": out of memory";
    errno = ENOMEM;
    return false;
  }
  muxer_->pb = sink_.io();
  muxer_->flags |= AVFMT_FLAG_CUSTOM_IO;
  return true;
}

int OutputFile::WriteHeader() {
  AVDictionary* options = nullptr;
  if (format_->fragmented) {
    av_dict_set(&options, "movflags", "+empty_moov+delay_moov+default_base_moof+frag_keyframe", 0);
    av_dict_set(&options, "frag_duration", kFragmentDurationUs, 0);
  } else if (std::string(format_->muxer) == "matroska") {
    av_dict_set(&options, "cluster_time_limit", kClusterTimeLimitMs, 0);
  }
  muxer_->max_interleave_delta = kMaxInterleaveDeltaUs;
  int ret = 0;
  if (std::string(format_->muxer) == "asf") {
    ret = StartAsf();
  } else {
    ret = avformat_write_header(muxer_.get(), &options);
  }
  av_dict_free(&options);
  if (ret >= 0) sink_.Flush();
  if (sink_.error() != 0) {
    error_ = "cannot write " + path_ + ": " + FolderProblem(sink_.error());
    return AVERROR(sink_.error());
  }
  if (ret < 0) error_ = "cannot write the header of " + path_ + ": " + av::ErrorText(ret);
  return ret;
}

int OutputFile::StartAsf() {
  asf_ = std::make_unique<AsfWriter>(sink_.io());
  // ASF times cannot be negative: every stream moves later by the sound
  // encoder's priming, which keeps them in step.
  asfShiftMs_ = 0;
  for (unsigned i = 0; i < muxer_->nb_streams; ++i) {
    AVStream* stream = muxer_->streams[i];
    stream->time_base = AsfWriter::kTimeBase;
    asfShiftMs_ = std::max(asfShiftMs_, streams_[i].primingMs);
    if (const int ret = asf_->AddStream(*stream->codecpar, stream->avg_frame_rate); ret < 0) {
      return ret;
    }
  }
  return asf_->WriteHeader();
}

int OutputFile::Open() {
  if (!muxer_ || opened_ || finished_) return AVERROR(EINVAL);
  if (streams_.empty()) {
    error_ = "cannot record into " + path_ + ": no stream was added";
    return AVERROR(EINVAL);
  }
  if (!PrepareFolder()) return AVERROR(errno);
  if (!OpenFile()) {
    const int err = errno;
    marker_.Remove();
    return AVERROR(err);
  }
  if (const int ret = WriteHeader(); ret < 0) {
    // Nothing worth keeping was written.
    sink_.Close(false);
    ::unlink(path_.c_str());
    marker_.Remove();
    return ret;
  }
  sink_.StartSyncing(kSyncPeriodMs);
  opened_ = true;
  lastFlush_ = Clock::now();
  return 0;
}

void OutputFile::Fail(int err, const char* doing) {
  if (failed_.exchange(true)) return;
  error_ = std::string("cannot ") + doing + " " + path_ + ": " + ErrnoText(err);
  LOG(ERROR) << "the recording stops: " << error_;
}

bool OutputFile::FixTimestamps(AVPacket* packet, StreamState& stream) {
  if (packet->pts == AV_NOPTS_VALUE) packet->pts = packet->dts;
  if (packet->dts == AV_NOPTS_VALUE) packet->dts = packet->pts;
  if (packet->dts == AV_NOPTS_VALUE) return false;
  if (!stream.started) {
    stream.started = true;
    // AVI counts pictures, and cannot start a stream before 0: the muxer
    // would shift every stream by the sound encoder's priming (1024 samples),
    // which rounds to a whole picture and leaves a hole after the first one.
    // Its pictures keep their slots; its sound starts with the priming.
    if (packet->dts < 0 && std::string(format_->muxer) == "avi") stream.offset = -packet->dts;
  }
  packet->pts += stream.offset;
  packet->dts += stream.offset;
  if (stream.lastDts != AV_NOPTS_VALUE && packet->dts <= stream.lastDts) return false;
  stream.lastDts = packet->dts;
  if (packet->duration <= 0) packet->duration = stream.defaultDuration;
  return true;
}

bool OutputFile::Write(AVPacket* packet, int index) {
  if (failed_.load() || !opened_ || finished_) {
    av_packet_unref(packet);
    return false;
  }
  if (index < 0 || index >= static_cast<int>(streams_.size())) {
    LOG(ERROR) << path_ << ": a packet of stream " << index << ", which the file does not have";
    av_packet_unref(packet);
    return true;
  }
  StreamState& stream = streams_[index];
  if (!FixTimestamps(packet, stream)) {
    if (++droppedPackets_ <= kLoggedDrops) {
      LOG(WARNING) << path_ << ": dropped a packet of stream " << index
                   << " whose time does not follow the previous one (dts " << packet->dts << ")";
    }
    av_packet_unref(packet);
    return true;
  }
  const std::int64_t endUs = av_rescale_q(packet->pts + packet->duration, stream.encoderTimeBase,
                                          AVRational{1, 1000000});
  av_packet_rescale_ts(packet, stream.encoderTimeBase, muxer_->streams[index]->time_base);
  packet->stream_index = index;
  int written = 0;
  if (asf_) {
    packet->pts += asfShiftMs_;
    packet->dts += asfShiftMs_;
    written = asf_->WritePacket(*packet, index);
  } else {
    written = av_interleaved_write_frame(muxer_.get(), packet);
  }
  av_packet_unref(packet);
  if (sink_.error() != 0) {
    Fail(sink_.error(), "write");
    return false;
  }
  if (written < 0) {
    // The muxer refused the packet; the file itself is fine.
    if (++droppedPackets_ <= kLoggedDrops) {
      LOG(WARNING) << path_ << ": the muxer refused a packet of stream " << index << ": "
                   << av::ErrorText(written);
    }
    return true;
  }
  writtenUs_ = std::max(writtenUs_, endUs);
  if (const auto now = Clock::now(); now - lastFlush_ >= kFlushPeriod) {
    lastFlush_ = now;
    sink_.Flush();
    if (sink_.error() != 0) {
      Fail(sink_.error(), "write");
      return false;
    }
  }
  return true;
}

bool OutputFile::Flush() {
  if (failed_.load() || !opened_ || finished_) return false;
  if (asf_) {
    asf_->Flush();
  } else {
    av_interleaved_write_frame(muxer_.get(), nullptr);
    av_write_frame(muxer_.get(), nullptr);
  }
  lastFlush_ = Clock::now();
  sink_.Flush();
  if (sink_.error() != 0) {
    Fail(sink_.error(), "write");
    return false;
  }
  return true;
}

bool OutputFile::FinishWriting() {
  bool complete = false;
  if (!failed_.load()) {
    const int ret = asf_ ? asf_->WriteTrailer() : av_write_trailer(muxer_.get());
    if (sink_.error() != 0) {
      Fail(sink_.error(), "write");
    } else if (ret < 0) {
      failed_ = true;
      error_ = "cannot finish " + path_ + ": " + av::ErrorText(ret);
      LOG(ERROR) << error_;
    } else {
      complete = true;
    }
  }
  // After a failure the muxer's idea of the file is wrong; no trailer then.
  asf_.reset();
  muxer_.reset();
  if (const int err = sink_.Close(true); err != 0 && complete) {
    Fail(err, "write");
    complete = false;
  }
  return complete;
}

bool OutputFile::Finish(const std::function<void(double)>& progress) {
  if (finished_) return finishResult_;
  finished_ = true;
  if (!opened_) {
    if (error_.empty()) error_ = "cannot finish " + path_ + ": it was never opened";
    muxer_.reset();
    return finishResult_ = false;
  }
  const auto start = Clock::now();
  const bool complete = FinishWriting();
  LOG(INFO) << path_ << ": trailer written and file closed in "
            << std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count()
            << " ms";
  bool ok = complete;
  bool keepMarker = false;
  // A fragmented file becomes a regular one; a file whose writing failed is
  // rewritten from what reached the disk (its end torn, its index missing).
  if (format_->rewrittenWhenFinished || !complete) {
    const RewriteResult rewritten = RewriteRecording(path_, progress);
    ok = rewritten.ok;
    if (!ok) {
      LOG(ERROR) << rewritten.error << "; the file stays as it was written";
      if (!failed_.load()) error_ = rewritten.error;
      keepMarker = rewritten.writeFailed;
    }
  }
  if (keepMarker) {
    marker_.Release();
  } else {
    marker_.Remove();
  }
  return finishResult_ = ok;
}

std::vector<std::string> RecoverUnfinishedRecordings(const std::string& dir) {
  std::vector<std::string> recovered;
  for (RecordingMarker& marker : ClaimDeadMarkers(dir)) {
    const std::string markerName = marker.path().substr(marker.path().rfind('/') + 1);
    const std::string path = dir + "/" + RecordingMarker::RecordingNameFor(markerName);
    // A finishing step the crash cut short left this; the recording is intact.
    ::unlink(RecordingMarker::FinishingPathFor(path).c_str());
    struct stat info = {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
      marker.Remove();
      continue;
    }
    const RewriteResult result = RewriteRecording(path);
    if (result.ok) {
      LOG(INFO) << "finished the unfinished recording " << path;
      marker.Remove();
      recovered.push_back(path);
    } else if (result.writeFailed) {
      LOG(WARNING) << "cannot finish the unfinished recording " << path << " now (" << result.error
                   << "); it stays marked for another try";
      marker.Release();
    } else {
      LOG(WARNING) << "cannot repair " << path << "; it is left as it is: " << result.error;
      marker.Remove();
    }
  }
  return recovered;
}

}  // namespace tarn
