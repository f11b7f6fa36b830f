// The worker threads after the sources: decoding the source packets into YUV
// pictures, encoding and writing video and sound, and ending the recording
// in order after Stop.

#include <glog/logging.h>
#include <pthread.h>

extern "C" {
#include <libavutil/imgutils.h>
}

#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <thread>

#include "recorder/output/output_file.h"
#include "recorder/picture_writer.h"
#include "recorder/recorder.h"

namespace tarn {
namespace {

// Runs a thread's body; whatever it throws is logged and ends only the body,
// so the recording is still finished.
template <typename Body>
void Guarded(const char* name, Body body) {
  try {
    body();
  } catch (const std::exception& e) {
    LOG(ERROR) << name << " failed: " << e.what();
  } catch (...) {
    LOG(ERROR) << name << " failed";
  }
}

}  // namespace

void Recorder::VideoDecodeThread() {
  pthread_setname_np(pthread_self(), "video-decode");
  Guarded("video decode thread", [this] {
    av::FramePtr decoded = av::MakeFrame();
    PictureWriter writer(*pVideoFifo_, videoFilter_.get());

    // Converts and queues every picture the decoder has ready; false on error.
    auto takePictures = [&]() {
      for (;;) {
        const int received = avcodec_receive_frame(videoDecoder_.get(), decoded.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return true;
        if (received < 0) {
          std::printf("err: %s\n", av::ErrorText(received).c_str());
          LOG(ERROR) << "decode error";
          return false;
        }
        if (decoded->best_effort_timestamp != AV_NOPTS_VALUE) decoded->pts = decoded->best_effort_timestamp;
        if (!writer.WriteDecoded(*decoded)) return false;
      }
    };

    // Runs until the source has stopped and every queued packet is decoded.
    bool ok = true;
    while (av::PacketPtr packet = videoPacketQueue_.Pop()) {
      // Screen pictures go straight from the packet to the FIFO, without the decoder.
      if (videoDecoder_->codec_id == AV_CODEC_ID_BMP && writer.WriteBmp(*packet)) continue;
      const int sent = avcodec_send_packet(videoDecoder_.get(), packet.get());
      if (sent < 0) {
        std::printf("err: %s\n", av::ErrorText(sent).c_str());
        LOG(ERROR) << "decode error";
        ok = false;
        break;
      }
      if (!takePictures()) {
        ok = false;
        break;
      }
    }
    if (ok && avcodec_send_packet(videoDecoder_.get(), nullptr) >= 0) takePictures();
    if (!ok) EndByItself("the pictures of the video source cannot be decoded");
  });
  // The encode thread ends once it has read what is queued.
  pVideoFifo_->Close();
  std::printf("video decode thread exit\n");
}

bool Recorder::WriteEncodedPackets(AVCodecContext* encoder, int streamIndex, bool isVideo) {
  av::PacketPtr packet = av::MakePacket();
  for (;;) {
    const int received = avcodec_receive_packet(encoder, packet.get());
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return true;
    if (received < 0) {
      LOG(ERROR) << (isVideo ? "video" : "audio") << " encode err, ret=" << received << " "
                 << av::ErrorText(received);
      return false;
    }
    if (packet->pts == AV_NOPTS_VALUE || packet->dts == AV_NOPTS_VALUE) {
      LOG(ERROR) << "unset pts";
      continue;  // a packet without a place on the time line cannot be written
    }
    if (packet->duration <= 0) packet->duration = isVideo ? 1 : encoder->frame_size;
    const std::int64_t pts = packet->pts;
    if (!outputFile_->Write(packet.get(), streamIndex)) {
      EndByItself(outputFile_->error().empty() ? "the file cannot be written" : outputFile_->error());
      return false;
    }
    if (isVideo) {
      lastVideoPts_ = pts;
      const std::int64_t seconds = pts / frameRate_;
      if (seconds != lastPostedSecond_) {
        lastPostedSecond_ = seconds;
        if (owner_ != nullptr) owner_->OnRecordSeconds(seconds);
      }
    }
  }
}

namespace {

// Hands an encoded picture's memory back to the FIFO it came from.
void RecyclePicture(void* fifo, std::uint8_t* data) {
  static_cast<PictureFifo*>(fifo)->Recycle(PictureFifo::Buffer(data));
}

}  // namespace

void Recorder::EncodePicture(PictureFifo::Buffer picture, std::int64_t slot, AVFrame* frame) {
  // The frame owns the FIFO buffer while the encoder holds it, so the encoder
  // takes the picture without copying it first.
  std::uint8_t* data = picture.get();
  AVBufferRef* reference = av_buffer_create(data, static_cast<int>(pVideoFifo_->pictureSize()),
                                            RecyclePicture, pVideoFifo_.get(), 0);
  if (reference == nullptr) {
    LOG(ERROR) << "video encode err: no memory for a frame";
    pVideoFifo_->Recycle(std::move(picture));
    return;
  }
  picture.release();  // now owned by `reference`
  frame->buf[0] = reference;
  av_image_fill_arrays(frame->data, frame->linesize, data, AV_PIX_FMT_YUV420P, videoWidth_,
                       videoHeight_, 1);
  frame->pts = slot;
  const int sent = avcodec_send_frame(videoEncoder_.get(), frame);
  av_frame_unref(frame);
  frame->format = AV_PIX_FMT_YUV420P;
  frame->width = videoWidth_;
  frame->height = videoHeight_;
  if (sent < 0) {
    LOG(ERROR) << "video encode err, ret=" << sent << " " << av::ErrorText(sent);
    return;  // the picture is lost; the recording goes on
  }
  ++videoFrameIndex_;
  WriteEncodedPackets(videoEncoder_.get(), videoStreamIndex_, true);
}

void Recorder::EncodeLoop() {
  av::FramePtr frame = av::MakeFrame();
  frame->format = AV_PIX_FMT_YUV420P;
  frame->width = videoWidth_;
  frame->height = videoHeight_;
  PictureSlotter slotter(frameRate_);
  PictureFifo::Buffer pending;  // the last picture, not yet encoded
  std::int64_t pendingSlot = 0;
  bool videoEnded = false;
  bool flushedForPause = false;
  std::int64_t nextDropReportSlot = frameRate_;
  std::int64_t reportedDrops = 0;
  while (!outputFile_->failed()) {
    // While paused, what was written so far goes to the disk.
    const bool paused = timeline_.begun() && !timeline_.running() && !timeline_.stopped();
    if (paused && !flushedForPause) outputFile_->Flush();
    flushedForPause = paused;
    // Sound goes out as soon as it is ready; it never holds the pictures up,
    // nor they it: the file's interleaving is the writer's business.
    while (EncodeAudioFrame(MonotonicNowUs())) {
    }
    if (outputFile_->failed()) break;
    if (videoEnded) {
      // The pictures are all written; the sound follows up to where the
      // recording stopped, waiting for late sources no longer than their
      // allowance.
      if (audioBus_->Done()) break;
      LOG_EVERY_N(INFO, 200) << "waiting for the sound up to the stop: at sample " << audioBus_->position();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    PictureFifo::Buffer picture;
    std::int64_t stampUs = 0;
    const PictureFifo::ReadResult read = pVideoFifo_->ReadBuffer(picture, PictureFifo::kReadWaitMs, &stampUs);
    if (read == PictureFifo::ReadResult::kEnded) {
      // The last picture shows only if the recording lasted at least half of
      // its interval: a picture taken just before the stop adds no frame.
      const std::optional<std::int64_t> stopUs = timeline_.stopRecordingUs();
      if (pending && stopUs && (2 * pendingSlot + 1) * 1000000 > 2 * *stopUs * frameRate_ &&
          videoFrameIndex_ > 0) {
        pVideoFifo_->Recycle(std::move(pending));
      }
      if (pending) EncodePicture(std::move(pending), pendingSlot, frame.get());
      videoEnded = true;
      continue;
    }
    if (read != PictureFifo::ReadResult::kPicture) continue;
    // Pictures are placed by when they were taken: a picture of a pause, or
    // one more than its slot holds, is left out.
    const std::optional<std::int64_t> recordingUs = timeline_.ToRecordingUs(stampUs);
    const std::optional<std::int64_t> slot = recordingUs ? slotter.Place(*recordingUs) : std::nullopt;
    if (!slot) {
      pVideoFifo_->Recycle(std::move(picture));
      continue;
    }
    // Each picture is encoded when the next one comes (or the pictures end),
    // so that the last one can be weighed against the stop and a late one
    // can still move back into the slot it missed.
    if (slotter.previousMovedBack()) --pendingSlot;
    if (pending) EncodePicture(std::move(pending), pendingSlot, frame.get());
    pending = std::move(picture);
    pendingSlot = *slot;
    droppedFrames_ = slotter.skippedSlots();
    // Once a second, how many pictures were lost meanwhile: a machine that
    // cannot keep up loses some of every second, and the time line keeps
    // the others in their places.
    if (*slot >= nextDropReportSlot) {
      if (slotter.settledSkippedSlots() > reportedDrops) {
        LOG(WARNING) << "pictures dropped: " << slotter.settledSkippedSlots() - reportedDrops
                     << " in the last second, " << slotter.settledSkippedSlots() << " in all";
        reportedDrops = slotter.settledSkippedSlots();
      }
      nextDropReportSlot = *slot + frameRate_;
    }
  }
  if (pending) pVideoFifo_->Recycle(std::move(pending));
  if (slotter.skippedSlots() > 0) {
    LOG(WARNING) << slotter.skippedSlots() << " picture slots left empty (pictures lost), "
                 << videoFrameIndex_.load() << " pictures written";
  }
}

void Recorder::VideoEncodeThread() {
  pthread_setname_np(pthread_self(), "video-encode");
  Guarded("video encode thread", [this] { EncodeLoop(); });
  // Nothing reads pictures any more: the decode thread must not wait for room.
  pVideoFifo_->MarkReaderGone();
  std::printf("video encode thread exit\n");
}

void Recorder::FlushEncoders() {
  if (outputFile_->failed()) return;
  if (videoEncoder_ && avcodec_send_frame(videoEncoder_.get(), nullptr) >= 0) {
    WriteEncodedPackets(videoEncoder_.get(), videoStreamIndex_, true);
  }
  if (audioEncoder_ && avcodec_send_frame(audioEncoder_.get(), nullptr) >= 0) {
    WriteEncodedPackets(audioEncoder_.get(), audioStreamIndex_, false);
  }
}

RecordingResult Recorder::FinishFile() {
  RecordingResult result;
  result.path = outputPath_;
  {
    std::lock_guard<std::mutex> lock(reasonLock_);
    result.reason = endReason_;
  }
  Guarded("finishing the file", [&] {
    FlushEncoders();
    result.ok = outputFile_->Finish([this](double fraction) {
      if (owner_ != nullptr) owner_->OnFinishingProgress(fraction);
    });
  });
  if (!result.ok && result.reason.empty()) {
    result.reason = outputFile_->error().empty() ? "the file could not be finished" : outputFile_->error();
  }
  if (resumedOnce_ && videoFrameIndex_ == 0) {
    // A recording that ran yet holds no picture is of no use to anybody.
    result.ok = false;
    if (result.reason.empty()) result.reason = "no picture was recorded";
    std::error_code error;
    std::filesystem::remove(outputPath_, error);
    LOG(ERROR) << "no picture was recorded into " << outputPath_ << " (" << result.reason
               << "); the file is removed";
  }
  return result;
}

void Recorder::FinishingThread() {
  pthread_setname_np(pthread_self(), "finishing");
  {
    std::unique_lock<std::mutex> lock(finishLock_);
    finishCond_.wait(lock, [this] { return stopRequested_.load(); });
  }
  std::printf(" WaitForMultipleObjects exit\n");
  // In order: no more pictures, the pictures taken are all encoded, the
  // sound follows up to the stop, then the sound sources end.
  videoCapture_->Stop();
  videoPacketQueue_.Stop();
  if (videoDecodeThread_.joinable()) videoDecodeThread_.join();
  if (videoEncodeThread_.joinable()) videoEncodeThread_.join();
  if (microphone_) microphone_->Stop();
  if (systemSound_) systemSound_->Stop();
  levelReporter_.Stop();
  const RecordingResult result = FinishFile();
  LOG(INFO) << "recording finished: " << result.path << ", " << videoFrameIndex_.load()
            << " pictures" << (result.ok ? "" : ", failed: ") << (result.ok ? "" : result.reason);
  ReleaseMedia();
  lastFinishOk_ = result.ok;
  {
    std::lock_guard<std::mutex> lock(finishedLock_);
    lastResult_ = result;
  }
  // The owner hears of the file before anyone waiting for it is released.
  if (owner_ != nullptr) owner_->OnRecordingFinished(result);
  {
    std::lock_guard<std::mutex> lock(finishedLock_);
    finished_ = true;
  }
  finishedCond_.notify_all();
}

}  // namespace tarn
