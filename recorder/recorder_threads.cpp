// The worker threads after the source: decoding the source packets into YUV
// pictures, encoding and interleaving video and audio into the file, and
// finalising the file after Stop.

#include <glog/logging.h>
#include <pthread.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
#include <libavutil/samplefmt.h>
}

#include <libyuv.h>

#include <cstdio>

#include "recorder/bmp_packet.h"
#include "recorder/recorder.h"

namespace tarn {
namespace {

constexpr int kAudioFrameSamples = 1024;

}  // namespace

void Recorder::VideoDecodeThread() {
  pthread_setname_np(pthread_self(), "video-decode");
  av::FramePtr decoded = av::MakeFrame();
  av::FramePtr converted = av::MakeFrame();
  converted->format = AV_PIX_FMT_YUV420P;
  converted->width = videoWidth_;
  converted->height = videoHeight_;
  if (av_frame_get_buffer(converted.get(), 0) < 0) {
    LOG(ERROR) << "av_image_fill_arrays err";
    pVideoFifo_->Close();
    std::printf("video decode thread exit\n");
    return;
  }
  SwsContext* scaler = nullptr;  // kept while the picture format stays the same
  av::SwsPtr scalerOwner;

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
      scaler = sws_getCachedContext(scaler, decoded->width, decoded->height,
                                    static_cast<AVPixelFormat>(decoded->format), videoWidth_,
                                    videoHeight_, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr,
                                    nullptr, nullptr);
      scalerOwner.release();
      scalerOwner.reset(scaler);
      if (scaler == nullptr) {
        LOG(ERROR) << "cannot convert pictures of format " << decoded->format;
        return false;
      }
      if (av_frame_make_writable(converted.get()) < 0) {
        LOG(ERROR) << "av_image_fill_arrays err";
        return false;
      }
      sws_scale(scaler, decoded->data, decoded->linesize, 0, decoded->height, converted->data,
                converted->linesize);
      av_frame_unref(decoded.get());
      const std::uint8_t* const planes[3] = {converted->data[0], converted->data[1],
                                             converted->data[2]};
      const int lineSizes[3] = {converted->linesize[0], converted->linesize[1],
                                converted->linesize[2]};
      if (!pVideoFifo_->Write(planes, lineSizes)) {
        std::printf("video fifo space is not enough\n");
      }
    }
  };

  // Screen pictures (32-bit BMP files of the recorded size) go straight from
  // the packet into a FIFO picture: one conversion, no decoder, no scaler.
  // Anything else, and pictures that go through the watermark, take the
  // decoder's way.
  auto convertDirectly = [&](const AVPacket& packet) {
    Bmp32View bmp;
    if (watermarkType_ != 0 || !ParseBmp32(packet.data, static_cast<std::size_t>(packet.size), bmp) ||
        bmp.width != videoWidth_ || bmp.height != videoHeight_) {
      return false;
    }
    PictureFifo::Buffer buffer = pVideoFifo_->AcquireWrite();
    if (!buffer) {
      std::printf("video fifo space is not enough\n");
      return true;
    }
    const int width = videoWidth_;
    const int height = videoHeight_;
    std::uint8_t* y = buffer.get();
    std::uint8_t* u = y + static_cast<std::size_t>(width) * height;
    std::uint8_t* v = u + static_cast<std::size_t>(width / 2) * (height / 2);
    // Bottom-up rows are read from the last stored row with a negative stride.
    const std::uint8_t* top =
        bmp.bottomUp ? bmp.pixels + static_cast<std::ptrdiff_t>(height - 1) * bmp.stride : bmp.pixels;
    const int stride = bmp.bottomUp ? -bmp.stride : bmp.stride;
    libyuv::ARGBToI420(top, stride, y, width, u, width / 2, v, width / 2, width, height);
    pVideoFifo_->CommitWrite(std::move(buffer));
    return true;
  };

  bool ok = true;
  // Runs until the source has stopped and every queued packet is decoded.
  while (av::PacketPtr packet = videoPacketQueue_.Pop()) {
    if (convertDirectly(*packet)) continue;
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
  // The encode thread ends once it has read what is queued.
  pVideoFifo_->Close();
  std::printf("video decode thread exit\n");
}

bool Recorder::WriteEncodedPackets(AVCodecContext* encoder, AVStream* stream, bool isVideo) {
  av::PacketPtr packet = av::MakePacket();
  for (;;) {
    const int received = avcodec_receive_packet(encoder, packet.get());
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return true;
    if (received < 0) {
      LOG(ERROR) << (isVideo ? "video" : "audio") << " encode err, ret=" << received << " "
                 << av::ErrorText(received);
      return false;
    }
    av_packet_rescale_ts(packet.get(), encoder->time_base, stream->time_base);
    packet->stream_index = stream->index;
    if (packet->pts == AV_NOPTS_VALUE || packet->dts == AV_NOPTS_VALUE) {
      LOG(ERROR) << "unset pts";
      packet->pts = packet->dts = isVideo ? lastVideoPts_ : lastAudioPts_;
    }
    if (isVideo) {
      lastVideoPts_ = packet->pts;
    } else {
      lastAudioPts_ = packet->pts;
    }
    const int written = av_interleaved_write_frame(outputContext_.get(), packet.get());
    if (written < 0) {
      if (isVideo) {
        LOG(ERROR) << "drop frame pkt:" << videoFrameIndex_.load();
      } else {
        LOG(ERROR) << "write audio frame err,ret= " << written;
      }
    }
    if (isVideo) {
      const auto seconds =
          static_cast<std::int64_t>(lastVideoPts_ * av_q2d(stream->time_base));
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

bool Recorder::EncodePicture(PictureFifo::Buffer picture, AVFrame* frame) {
  // The frame owns the FIFO buffer while the encoder holds it, so the encoder
  // takes the picture without copying it first.
  std::uint8_t* data = picture.get();
  AVBufferRef* reference = av_buffer_create(data, static_cast<int>(pVideoFifo_->pictureSize()),
                                            RecyclePicture, pVideoFifo_.get(), 0);
  if (reference == nullptr) {
    LOG(ERROR) << "video encode err: no memory for a frame";
    ++videoFrameIndex_;
    return true;
  }
  picture.release();  // now owned by `reference`
  frame->buf[0] = reference;
  av_image_fill_arrays(frame->data, frame->linesize, data, AV_PIX_FMT_YUV420P, videoWidth_,
                       videoHeight_, 1);
  frame->pts = videoFrameIndex_.load();
  const int sent = avcodec_send_frame(videoEncoder_.get(), frame);
  av_frame_unref(frame);
  frame->format = AV_PIX_FMT_YUV420P;
  frame->width = videoWidth_;
  frame->height = videoHeight_;
  ++videoFrameIndex_;
  if (sent < 0) {
    LOG(ERROR) << "video encode err, ret=" << sent << " " << av::ErrorText(sent);
    return true;  // the picture is lost; the recording goes on
  }
  WriteEncodedPackets(videoEncoder_.get(), videoStream_, true);
  return true;
}

Recorder::AudioFrameResult Recorder::EncodeAudioFrame(bool draining) {
  av::FramePtr microphone;
  av::FramePtr speaker;
  av::FramePtr mixed;
  AVFrame* toEncode = nullptr;
  AudioFrameResult result = AudioFrameResult::kFrame;
  if (audioMuted_) {
    microphone = MakeAudioFrame(true);
    if (!microphone) return AudioFrameResult::kFailed;
    av_samples_set_silence(microphone->data, 0, microphone->nb_samples, 2, AV_SAMPLE_FMT_FLTP);
    toEncode = microphone.get();
  } else if (voiceSource_ == 1) {
    microphone = MakeAudioFrame(true);
    if (!microphone) return AudioFrameResult::kFailed;
    result = TakeMicrophoneFrame(microphone.get(), draining);
    toEncode = microphone.get();
  } else if (voiceSource_ == 2) {
    speaker = MakeAudioFrame(true);
    if (!speaker) return AudioFrameResult::kFailed;
    result = TakeSpeakerFrame(speaker.get(), draining);
    toEncode = speaker.get();
  } else {
    microphone = MakeAudioFrame(true);
    speaker = MakeAudioFrame(true);
    mixed = av::MakeFrame();
    if (!microphone || !speaker) return AudioFrameResult::kFailed;
    result = TakeMicrophoneFrame(microphone.get(), draining);
    if (result == AudioFrameResult::kFrame) result = TakeSpeakerFrame(speaker.get(), draining);
    if (result == AudioFrameResult::kFrame) result = MixFrames(microphone.get(), speaker.get(), mixed.get());
    toEncode = mixed.get();
  }
  if (result != AudioFrameResult::kFrame) return result;

  toEncode->pts = audioSamples_;
  audioSamples_ += toEncode->nb_samples;
  const int sent = avcodec_send_frame(audioEncoder_.get(), toEncode);
  if (sent < 0) {
    LOG(ERROR) << "audio encode err, ret=" << sent << " " << av::ErrorText(sent);
    return AudioFrameResult::kFrame;
  }
  WriteEncodedPackets(audioEncoder_.get(), audioStream_, false);
  return AudioFrameResult::kFrame;
}

void Recorder::VideoEncodeThread() {
  pthread_setname_np(pthread_self(), "video-encode");
  av::FramePtr frame = av::MakeFrame();
  frame->format = AV_PIX_FMT_YUV420P;
  frame->width = videoWidth_;
  frame->height = videoHeight_;
  bool audioStarved = false;  // ending, and no more sound without waiting

  for (;;) {
    if (!stopRequested_) {
      WaitAtGate(encodeLock_, encodeCond_, "encode thread lock\n", "encode thread unlock\n");
    }
    if (videoEnded_) {
      if (!stopRequested_) {
        // The decode thread gave up: nothing more to encode until Stop.
        std::unique_lock<std::mutex> gate(encodeLock_);
        encodeCond_.wait_for(gate, std::chrono::milliseconds(400));
        continue;
      }
      // The sound follows the pictures up to their end, then the file is done.
      const bool audioBehind = audioSamples_ * frameRate_ <
                               videoFrameIndex_.load() * audioEncoder_->sample_rate;
      if (audioBehind && EncodeAudioFrame(true) != AudioFrameResult::kFailed) continue;
      break;
    }
    // Whichever track is behind goes next, so the file stays interleaved.
    // Once the recording is ending and the sound has nothing more to give,
    // the pictures still queued are taken first; the sound is filled up to
    // them afterwards.
    if (audioStarved ||
        av_compare_ts(lastVideoPts_, videoStream_->time_base, lastAudioPts_,
                      audioStream_->time_base) <= 0) {
      PictureFifo::Buffer picture;
      const PictureFifo::ReadResult read = pVideoFifo_->ReadBuffer(picture);
      if (read == PictureFifo::ReadResult::kEnded) {
        videoEnded_ = true;
      } else if (read == PictureFifo::ReadResult::kPicture) {
        EncodePicture(std::move(picture), frame.get());
      }
    } else {
      const AudioFrameResult audio = EncodeAudioFrame(false);
      if (audio == AudioFrameResult::kFailed) break;  // the messages above say why
      audioStarved = audio == AudioFrameResult::kNone && stopRequested_;
    }
  }
  // Nothing reads pictures any more: the decode thread must not wait for room.
  pVideoFifo_->MarkReaderGone();
  std::printf("video encode thread exit\n");
}

void Recorder::FlushEncoders() {
  if (videoEncoder_ && avcodec_send_frame(videoEncoder_.get(), nullptr) >= 0) {
    WriteEncodedPackets(videoEncoder_.get(), videoStream_, true);
  }
  if (audioEncoder_ && avcodec_send_frame(audioEncoder_.get(), nullptr) >= 0) {
    WriteEncodedPackets(audioEncoder_.get(), audioStream_, false);
  }
}

void Recorder::FinishingThread() {
  pthread_setname_np(pthread_self(), "finishing");
  {
    std::unique_lock<std::mutex> lock(finishLock_);
    finishCond_.wait(lock, [this] { return stopRequested_.load(); });
  }
  std::printf(" WaitForMultipleObjects exit\n");
  // Every worker has ended before the objects they use are touched here.
  JoinWorkers();
  FlushEncoders();
  bool ok = true;
  if (const int ret = av_write_trailer(outputContext_.get()); ret < 0) {
    LOG(ERROR) << "av_write_trailer error: " << av::ErrorText(ret);
    ok = false;
  }
  const std::string path = outputPath_;
  LOG(INFO) << "recording finished: " << path << ", " << videoFrameIndex_.load() << " pictures";
  ReleaseMedia();
  lastFinishOk_ = ok;
  // The owner hears of the file before anyone waiting for it is released.
  if (owner_ != nullptr) owner_->OnRecordingFinished(path, ok);
  {
    std::lock_guard<std::mutex> lock(finishedLock_);
    finished_ = true;
  }
  finishedCond_.notify_all();
}

}  // namespace tarn
