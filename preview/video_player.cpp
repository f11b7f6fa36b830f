#include "preview/video_player.h"

#include <SDL.h>
#include <glog/logging.h>
#include <pthread.h>

#include <algorithm>
#include <cmath>

#include "preview/video_player_audio.h"

namespace tarn::preview {

namespace {
constexpr int kFullQueueWaitMs = 20;
constexpr int kDrainWaitMs = 40;
// Sound kept before a seek's target so that the decoder starts cleanly.
constexpr double kAudioPrimeSeconds = 0.1;
}  // namespace

VideoPlayer::VideoPlayer(DrawingArea* area) : area_(area) {}

VideoPlayer::~VideoPlayer() {
  Stop();
  std::lock_guard<std::mutex> stopping(stopLock_);
  JoinThreads();
  CloseAll();
}

void VideoPlayer::JoinThreads() {
  for (std::thread* thread : {&pacingThread_, &renderThread_, &readThread_}) {
    if (!thread->joinable()) continue;
    if (thread->get_id() == std::this_thread::get_id()) {
      // Stop called from the finish callback: this thread ends when the
      // callback returns; the destructor joins it.
      LOG(ERROR) << "The player was stopped from its own thread; post the stop instead";
      continue;
    }
    thread->join();
  }
}

void VideoPlayer::SetFinishCallback(FinishCallback callback, void* user) {
  finish_ = std::move(callback);
  finishUser_ = user;
}

void VideoPlayer::SetFrameObserver(FrameObserver observer) { observer_ = std::move(observer); }

bool VideoPlayer::Start(const std::string& path, std::string& why) {
  if (state_ != kNew) {
    why = "the player was started before";
    return false;
  }
  path_ = path;
  if (!Open(path, why)) {
    LOG(ERROR) << "init error: " << path << ": " << why;
    CloseAll();
    return false;
  }
  state_ = kPlaying;
  readThread_ = std::thread([this] { ReadThread(); });
  if (hasVideo()) {
    pacingThread_ = std::thread([this] { PacingThread(); });
    renderThread_ = std::thread([this] { RenderThread(); });
  }
  if (audioOut_) SDL_PauseAudioDevice(audioOut_->device, 0);
  LOG(INFO) << "Playing " << path << " (" << durationSeconds_.load() << " s"
            << (hasVideo() ? ", video" : "") << (hasAudio() ? ", sound" : "") << ")";
  return true;
}

bool VideoPlayer::Open(const std::string& path, std::string& why) {
  AVFormatContext* raw = nullptr;
  int result = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
  if (result < 0) {
    why = "avformat_open_input error: " + av::ErrorText(result);
    return false;
  }
  input_.reset(raw);
  result = avformat_find_stream_info(input_.get(), nullptr);
  if (result < 0) {
    why = "Couldn't find stream information: " + av::ErrorText(result);
    return false;
  }
  for (unsigned i = 0; i < input_->nb_streams; ++i) {
    AVStream* stream = input_->streams[i];
    const AVMediaType type = stream->codecpar->codec_type;
    if (type == AVMEDIA_TYPE_VIDEO && video_.stream == nullptr &&
        (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0) {
      video_.stream = stream;
      video_.index = static_cast<int>(i);
    } else if (type == AVMEDIA_TYPE_AUDIO && audio_.stream == nullptr) {
      audio_.stream = stream;
      audio_.index = static_cast<int>(i);
    }
  }
  if (video_.stream == nullptr && audio_.stream == nullptr) {
    why = "the file has neither pictures nor sound";
    return false;
  }
  // Positions count from the first picture (the first sound without
  // pictures): a muxer may shift the streams to make room for the sound's
  // priming samples, and the user's 0:00.000 is the first picture.
  const AVStream* origin = video_.stream != nullptr ? video_.stream : audio_.stream;
  if (origin->start_time != AV_NOPTS_VALUE) {
    startSeconds_ = static_cast<double>(origin->start_time) * av_q2d(origin->time_base);
  } else if (input_->start_time != AV_NOPTS_VALUE) {
    startSeconds_ = static_cast<double>(input_->start_time) / 1e6;
  }
  durationSeconds_ = PlayingDurationUs(input_.get(), video_.stream, audio_.stream) / 1e6;
  if (video_.stream != nullptr) {
    if (!OpenDecoder(video_, why)) return false;
    const AVRational rate = av_guess_frame_rate(input_.get(), video_.stream, nullptr);
    if (rate.num > 0 && rate.den > 0) frameSeconds_ = av_q2d(av_inv_q(rate));
    AVCodecContext* context = video_.context.get();
    scaler_.reset(sws_getContext(context->width, context->height, context->pix_fmt,
                                 context->width, context->height, AV_PIX_FMT_YUYV422,
                                 SWS_BICUBIC, nullptr, nullptr, nullptr));
    converted_ = av::MakeFrame();
    converted_->format = AV_PIX_FMT_YUYV422;
    converted_->width = context->width;
    converted_->height = context->height;
    if (scaler_ == nullptr || av_frame_get_buffer(converted_.get(), 0) < 0) {
      why = "cannot convert the pictures to YUYV";
      return false;
    }
  }
  if (audio_.stream != nullptr) {
    std::string audioWhy;
    if (!OpenDecoder(audio_, audioWhy) || !OpenAudioDevice(audioWhy)) {
      // Without sound the pictures still play, on the external clock.
      LOG(WARNING) << "Playing without sound: " << audioWhy;
      audioOut_.reset();
      audio_.context.reset();
      audio_.stream = nullptr;
      audio_.index = -1;
      if (video_.stream == nullptr) {
        why = audioWhy;
        return false;
      }
    }
  }
  return true;
}

bool VideoPlayer::OpenDecoder(Decoder& decoder, std::string& why) {
  const AVCodec* codec = avcodec_find_decoder(decoder.stream->codecpar->codec_id);
  if (codec == nullptr) {
    why = decoder.stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO ? "Video Codec not found."
                                                                     : "Audio Codec not found.";
    return false;
  }
  decoder.context.reset(avcodec_alloc_context3(codec));
  if (!decoder.context ||
      avcodec_parameters_to_context(decoder.context.get(), decoder.stream->codecpar) < 0) {
    why = "cannot make a decoder context";
    return false;
  }
  decoder.context->pkt_timebase = decoder.stream->time_base;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "threads", "auto", 0);
  const int result = avcodec_open2(decoder.context.get(), codec, &options);
  av_dict_free(&options);
  if (result < 0) {
    why = "Could not open codec: " + av::ErrorText(result);
    return false;
  }
  return true;
}

void VideoPlayer::TogglePause() {
  // The audio device's lock is taken before clockLock_ everywhere (the
  // callback holds it while it sets the clocks): pause and resume the device
  // outside clockLock_.
  const int state = state_;
  if (state == kPlaying) {
    {
      std::lock_guard<std::mutex> clocks(clockLock_);
      paused_ = true;
      pausedAtUs_ = NowUs();
    }
    if (audioOut_) SDL_PauseAudioDevice(audioOut_->device, 1);
    state_ = kPaused;
  } else if (state == kPaused) {
    {
      // The clocks stood still while paused.
      std::lock_guard<std::mutex> clocks(clockLock_);
      const std::int64_t nowUs = NowUs();
      const double pausedSeconds = static_cast<double>(nowUs - pausedAtUs_) / 1e6;
      for (PlayerClock* clock : {&callbackClock_, &externalClock_}) {
        if (clock->valid()) clock->Set(clock->At(nowUs) - pausedSeconds, nowUs);
      }
      paused_ = false;
    }
    if (audioOut_) SDL_PauseAudioDevice(audioOut_->device, 0);
    state_ = kPlaying;
  }
  WakeThreads();
}

void VideoPlayer::Stop() {
  // One stop at a time: the owner's and one made from the finish callback.
  std::lock_guard<std::mutex> stopping(stopLock_);
  const int state = state_;
  if (state != kPlaying && state != kPaused) return;
  state_ = kStopped;
  quit_ = true;
  // Closing the device waits for a running callback to return; the callback
  // still finds its buffer until then.
  if (audioOut_) audioOut_->Close();
  video_.queue.Stop();
  audio_.queue.Stop();
  WakeThreads();
  JoinThreads();
  if (readThread_.joinable()) return;  // stopped from the read thread: freed later
  CloseAll();
  LOG(INFO) << "Player stopped: " << path_;
}

void VideoPlayer::CloseAll() {
  if (audioOut_) audioOut_->Close();
  audioOut_.reset();
  video_.queue.Drain();
  audio_.queue.Drain();
  for (Decoder* decoder : {&video_, &audio_}) {
    decoder->held.reset();
    decoder->context.reset();
  }
  scaler_.reset();
  converted_.reset();
  input_.reset();
}

void VideoPlayer::SetVolume(int volume) { volume_ = std::clamp(volume, 0, SDL_MIX_MAXVOLUME); }

double VideoPlayer::position() const {
  std::lock_guard<std::mutex> clocks(clockLock_);
  double seconds = 0;
  if (video_.stream != nullptr) {
    seconds = videoClock_.value();
  } else if (callbackClock_.valid()) {
    seconds = paused_ ? callbackClock_.At(pausedAtUs_) : callbackClock_.At(NowUs());
  }
  if (std::isnan(seconds)) return 0;
  return std::clamp(seconds, 0.0, durationSeconds_.load());
}

void VideoPlayer::WakeThreads() {
  { std::lock_guard<std::mutex> wake(wakeLock_); }
  wake_.notify_all();
}

double VideoPlayer::StreamSeconds(const AVStream* stream, std::int64_t timestamp) const {
  if (timestamp == AV_NOPTS_VALUE) return std::nan("");
  return static_cast<double>(timestamp) * av_q2d(stream->time_base) - startSeconds_;
}

// --- Reading --------------------------------------------------------------

void VideoPlayer::ReadThread() {
  pthread_setname_np(pthread_self(), "tarn-play-read");
  try {
    while (!quit_) {
      if (QueuesFull()) {
        std::unique_lock<std::mutex> wake(wakeLock_);
        wake_.wait_for(wake, std::chrono::milliseconds(kFullQueueWaitMs));
        continue;
      }
      if (ReadOnePacket()) continue;
      // The end of the file: let the decoders give their last frames.
      for (Decoder* decoder : {&video_, &audio_}) {
        if (decoder->stream != nullptr) decoder->queue.Push(av::MakePacket());
      }
      int generation = 0;
      if (WaitForDrain(generation) && !quit_) {
        LOG(INFO) << "Playback finished: " << path_;
        if (finishEnabled_ && finish_ && !finished_.exchange(true)) finish_(finishUser_);
        // Stay until a seek asks for more or the player stops.
        std::unique_lock<std::mutex> wake(wakeLock_);
        wake_.wait(wake, [&] { return quit_ || seekGeneration_ != generation; });
      }
    }
  } catch (const std::exception& error) {
    LOG(ERROR) << "The player's read thread failed: " << error.what();
  }
  VLOG(1) << "video_read_thread exit....";
}

bool VideoPlayer::QueuesFull() const {
  const std::size_t videoPackets = video_.queue.Size();
  const std::size_t audioPackets = audio_.queue.Size();
  if (videoPackets >= kMaxQueuedPackets) return true;
  if (audioPackets < kMaxQueuedPackets) return false;
  // While paused the sound is not consumed; pictures still wanted (a still
  // after a seek, single steps) may read past a full sound queue, up to a
  // hard limit.
  const bool picturesStarve = video_.stream != nullptr && videoPackets == 0;
  return !picturesStarve || audioPackets >= kMaxQueuedPackets * 8;
}

bool VideoPlayer::ReadOnePacket() {
  av::PacketPtr packet = av::MakePacket();
  std::lock_guard<std::mutex> lock(lock_);
  const int result = av_read_frame(input_.get(), packet.get());
  if (result < 0) {
    if (input_->pb != nullptr && input_->pb->error != 0) {
      LOG(WARNING) << "Reading " << path_ << " failed: " << av::ErrorText(input_->pb->error)
                   << "; playing what was read";
    } else if (result != AVERROR_EOF) {
      LOG(WARNING) << "Reading " << path_ << " stopped: " << av::ErrorText(result);
    }
    readEnded_ = true;
    return false;
  }
  if (packet->stream_index == video_.index) {
    video_.queue.Push(std::move(packet));
  } else if (packet->stream_index == audio_.index) {
    // Sound well before a seek's target would be decoded only to be dropped.
    const double dropUntil = audioDropUntil_;
    const double end = StreamSeconds(audio_.stream, packet->pts + packet->duration);
    if (std::isnan(dropUntil) || std::isnan(end) || end >= dropUntil - kAudioPrimeSeconds) {
      audio_.queue.Push(std::move(packet));
    }
  }
  return true;  // packets of other streams are freed here
}

bool VideoPlayer::WaitForDrain(int& generation) {
  std::unique_lock<std::mutex> wake(wakeLock_);
  generation = seekGeneration_;
  while (!quit_ && seekGeneration_ == generation) {
    const bool videoDone = video_.stream == nullptr || video_.drained;
    const bool audioDone = audio_.stream == nullptr || audio_.drained;
    if (videoDone && audioDone) return true;
    wake_.wait_for(wake, std::chrono::milliseconds(kDrainWaitMs));
  }
  return false;
}

// --- Seeking --------------------------------------------------------------

void VideoPlayer::SeekFraction(double fraction) {
  SeekTo(std::clamp(fraction, 0.0, 1.0) * durationSeconds_);
}
void VideoPlayer::SeekSeconds(double seconds) { SeekTo(seconds); }
void VideoPlayer::SeekForward(double seconds) { SeekTo(position() + seconds); }
void VideoPlayer::SeekBackward(double seconds) { SeekTo(position() - seconds); }

void VideoPlayer::StepForward() {
  if (state_ != kPaused || !hasVideo()) return;
  {
    std::lock_guard<std::mutex> wake(wakeLock_);
    ++stepRequests_;
  }
  wake_.notify_all();
}

void VideoPlayer::StepBackward() {
  if (state_ != kPaused || !hasVideo()) return;
  SeekTo(position() - frameSeconds_);
}

void VideoPlayer::SeekTo(double seconds) {
  if (state_ != kPlaying && state_ != kPaused) return;
  if (std::isnan(seconds)) return;
  const double duration = durationSeconds_;
  // The end itself has no picture: the last one starts a frame before it.
  const double last = hasVideo() ? std::max(0.0, duration - frameSeconds_ / 2) : duration;
  const double target = std::clamp(seconds, 0.0, last);
  seeking_ = true;
  {
    AudioDeviceLock audioLock(audioOut_.get());
    std::lock_guard<std::mutex> lock(lock_);
    const Decoder& seekBy = video_.stream != nullptr ? video_ : audio_;
    const std::int64_t timestamp = static_cast<std::int64_t>(
        std::floor((target + startSeconds_) / av_q2d(seekBy.stream->time_base)));
    const int result = av_seek_frame(input_.get(), seekBy.index, timestamp, AVSEEK_FLAG_BACKWARD);
    if (result < 0) LOG(WARNING) << "Seeking to " << target << " s failed: " << av::ErrorText(result);
    for (Decoder* decoder : {&video_, &audio_}) {
      decoder->queue.Drain();
      decoder->held.reset();
      decoder->hasOutput = false;
      decoder->drained = false;
      if (decoder->context) avcodec_flush_buffers(decoder->context.get());
    }
    if (audioOut_) audioOut_->Reset();
    av_frame_unref(lastDropped_.get());
    ++seekEpoch_;
    videoDropUntil_ = target;
    audioDropUntil_ = target;
    readEnded_ = false;
    std::lock_guard<std::mutex> clocks(clockLock_);
    const std::int64_t nowUs = paused_ ? pausedAtUs_ : NowUs();
    videoClock_.Set(target, nowUs);
    callbackClock_.Set(target, nowUs);
    externalClock_.Set(target, nowUs);
    audioClockSeconds_ = target;
    lastFramePts_ = std::nan("");
  }
  seeking_ = false;
  {
    std::lock_guard<std::mutex> wake(wakeLock_);
    ++seekGeneration_;
    if (paused_) stillRequest_ = true;
  }
  wake_.notify_all();
}

}  // namespace tarn::preview
