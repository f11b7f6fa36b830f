#include "preview/camera_display.h"

#include <glog/logging.h>
#include <pthread.h>

extern "C" {
#include <libavdevice/avdevice.h>
}

#include <chrono>
#include <exception>
#include <vector>

#include "preview/video_surface.h"
#include "recorder/timeline.h"

namespace tarn::preview {

CameraDisplay::CameraDisplay(const DrawingArea* area) : area_(area) {}

CameraDisplay::~CameraDisplay() { Stop(); }

void CameraDisplay::SetEndedHandler(std::function<void(const std::string&)> handler) {
  endedHandler_ = std::move(handler);
}

int CameraDisplay::Fail(const std::string& why) {
  LOG(ERROR) << why;
  lastError_ = why;
  openDeadlineUs_ = 0;
  decoder_.reset();
  input_.reset();
  videoStream_ = -1;
  return -1;
}

int CameraDisplay::Init() {
  videoStream_ = -1;
  quit_ = false;
  ended_ = false;
  refreshAllowed_ = true;
  refreshDue_ = false;
  lastError_.clear();
  std::vector<CaptureDeviceEntry> devices;
  enumerateCaptureDevices(devices, CaptureCategory::kVideo);
  if (devices.empty()) {
    LOG(ERROR) << "not get video device";
    lastError_ = "not get video device";
    return kNoCameraDevice;
  }
  camera_ = devices.front();
  LOG(INFO) << "device name: " << camera_.friendlyName << " (" << camera_.inputFormat << " "
            << camera_.url << ")";
  if (const int opened = OpenCamera(); opened != 0) return opened;
  return OpenDecoder();
}

int CameraDisplay::OpenCamera() {
  avdevice_register_all();
  const AVInputFormat* format = av_find_input_format(camera_.inputFormat.c_str());
  if (format == nullptr) return Fail("the input format \"" + camera_.inputFormat + "\" is not available");
  AVFormatContext* context = avformat_alloc_context();
  if (context == nullptr) return Fail("avformat_alloc_context error");
  // Stop breaks off a read that waits for the device; a camera that has no
  // picture ready answers "try again" rather than blocking. Opening runs on
  // the UI thread: a camera that opens and never delivers gives up after
  // kOpenTimeoutMs instead of hanging the window.
  openDeadlineUs_ = MonotonicNowUs() + kOpenTimeoutMs * 1000;
  context->interrupt_callback.callback = [](void* self) {
    const auto* display = static_cast<CameraDisplay*>(self);
    const std::int64_t deadlineUs = display->openDeadlineUs_.load();
    return display->quit_.load() || (deadlineUs != 0 && MonotonicNowUs() > deadlineUs) ? 1 : 0;
  };
  context->interrupt_callback.opaque = this;
  context->flags |= AVFMT_FLAG_NONBLOCK;
  AVDictionary* options = nullptr;
  if (!camera_.inputOptions.empty()) av_dict_parse_string(&options, camera_.inputOptions.c_str(), "=", ":", 0);
  const int opened = avformat_open_input(&context, camera_.url.c_str(), format, &options);
  av_dict_free(&options);
  if (opened < 0) {
    return Fail("not open the file, error code = " + std::to_string(opened) + " (" + camera_.url + ": " +
                av::ErrorText(opened) + ")");
  }
  input_.reset(context);
  if (avformat_find_stream_info(input_.get(), nullptr) < 0) return Fail("not find stream information");
  openDeadlineUs_ = 0;
  videoStream_ = av_find_best_stream(input_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (videoStream_ < 0) return Fail("Didn't find a video stream");
  return 0;
}

int CameraDisplay::OpenDecoder() {
  const AVCodecParameters* parameters = input_->streams[videoStream_]->codecpar;
  const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
  if (codec == nullptr) return Fail("Video Codec not found.");
  decoder_.reset(avcodec_alloc_context3(codec));
  if (!decoder_ || avcodec_parameters_to_context(decoder_.get(), parameters) < 0) {
    return Fail("Could not open codec.");
  }
  if (const int opened = avcodec_open2(decoder_.get(), codec, nullptr); opened < 0) {
    return Fail("Could not open codec. (" + av::ErrorText(opened) + ")");
  }
  sourceWidth_ = decoder_->width;
  sourceHeight_ = decoder_->height;
  if (sourceWidth_ <= 0 || sourceHeight_ <= 0) return Fail("the camera has no picture size");
  decoded_ = av::MakeFrame();
  received_ = av::MakeFrame();
  converted_ = av::MakeFrame();
  converted_->format = AV_PIX_FMT_YUYV422;
  converted_->width = sourceWidth_;
  converted_->height = sourceHeight_;
  if (const int got = av_frame_get_buffer(converted_.get(), 0); got < 0) {
    return Fail("the picture buffer cannot be allocated (" + av::ErrorText(got) + ")");
  }
  return 0;
}

int CameraDisplay::Start() {
  const int init = Init();
  if (init != 0) return init;
  readThread_ = std::thread(&CameraDisplay::ReadThread, this);
  pacingThread_ = std::thread(&CameraDisplay::PacingThread, this);
  renderThread_ = std::thread(&CameraDisplay::RenderThread, this);
  started_ = true;
  return 0;
}

void CameraDisplay::Stop() {
  {
    std::lock_guard<std::mutex> lock(paceMutex_);
    quit_ = true;
  }
  paceCond_.notify_all();
  queue_.Stop();
  // All three threads are waited for before what they use goes: the read
  // thread uses the camera, the render thread the decoder and the surface.
  for (std::thread* thread : {&renderThread_, &pacingThread_, &readThread_}) {
    if (thread->joinable()) thread->join();
  }
  const std::size_t dropped = queue_.Size();
  queue_.Drain();
  if (started_) LOG(INFO) << "camera preview stopped; " << dropped << " queued packets freed";
  scaler_.reset();
  decoder_.reset();
  input_.reset();
  decoded_.reset();
  received_.reset();
  converted_.reset();
  started_ = false;
}

bool CameraDisplay::SleepUnlessQuit(int ms) {
  std::unique_lock<std::mutex> lock(paceMutex_);
  return !paceCond_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return quit_.load(); });
}

void CameraDisplay::ReadThread() {
  pthread_setname_np(pthread_self(), "camera-read");
  std::string endedWhy;
  try {
    while (!quit_) {
      if (queue_.Size() >= kMaxQueuedPackets) {
        SleepUnlessQuit(20);
        continue;
      }
      av::PacketPtr packet = av::MakePacket();
      const int read = av_read_frame(input_.get(), packet.get());
      if (read == AVERROR(EAGAIN)) {
        SleepUnlessQuit(5);
        continue;
      }
      if (read < 0) {
        if (quit_) break;
        // A broken byte stream ends at once; any other failure is retried
        // while pictures wait to be shown.
        if (input_->pb != nullptr && input_->pb->error < 0) {
          endedWhy = "the camera failed (" + av::ErrorText(input_->pb->error) + ")";
          break;
        }
        if (queue_.Size() == 0) {
          endedWhy = "the camera stopped delivering pictures (" + av::ErrorText(read) + ")";
          break;
        }
        SleepUnlessQuit(40);
        continue;
      }
      // Packets of other streams are freed here.
      if (packet->stream_index == videoStream_) queue_.Push(std::move(packet));
    }
  } catch (const std::exception& e) {
    endedWhy = std::string("the camera read failed: ") + e.what();
  }
  if (!endedWhy.empty()) {
    LOG(WARNING) << "camera preview: " << endedWhy;
    ended_ = true;
    if (endedHandler_) endedHandler_(endedWhy);
  }
  LOG(INFO) << "camera read thread exit";
}

void CameraDisplay::PacingThread() {
  pthread_setname_np(pthread_self(), "camera-pacing");
  std::unique_lock<std::mutex> lock(paceMutex_);
  while (!quit_) {
    // Waits while the last refresh has not been taken, then schedules the
    // next one no sooner than a period later.
    paceCond_.wait(lock, [this] { return quit_.load() || refreshAllowed_; });
    if (quit_) break;
    refreshAllowed_ = false;
    refreshDue_ = true;
    paceCond_.notify_all();
    paceCond_.wait_for(lock, std::chrono::milliseconds(kRefreshPeriodMs), [this] { return quit_.load(); });
  }
  LOG(INFO) << "camera pacing thread exit";
}

void CameraDisplay::RenderThread() {
  pthread_setname_np(pthread_self(), "camera-render");
  try {
    VideoSurface surface;
    bool drawing = false;
    if (area_ != nullptr) {
      std::string why;
      drawing = surface.Attach(area_->NativeWindow(), sourceWidth_, sourceHeight_, why);
      if (!drawing) LOG(ERROR) << "the camera preview cannot draw: " << why;
    }
    std::unique_lock<std::mutex> lock(paceMutex_);
    while (!quit_) {
      paceCond_.wait_for(lock, std::chrono::milliseconds(50), [this] { return quit_.load() || refreshDue_; });
      if (quit_) break;
      if (repaint_.exchange(false) && drawing) {
        lock.unlock();
        surface.Repaint(area_->AreaWidth(), area_->AreaHeight());
        lock.lock();
      }
      if (!refreshDue_) continue;
      refreshDue_ = false;
      refreshAllowed_ = true;
      paceCond_.notify_all();
      lock.unlock();
      DrawOneFrame(drawing ? &surface : nullptr);
      lock.lock();
    }
    lock.unlock();
    surface.Detach();
  } catch (const std::exception& e) {
    LOG(ERROR) << "camera render thread failed: " << e.what();
  }
  LOG(INFO) << "camera render thread exit";
}

void CameraDisplay::DrawOneFrame(VideoSurface* surface) {
  // Every queued packet is decoded (a compressed stream needs them all) and
  // only the newest picture is shown, so that the preview stays live when
  // the camera delivers faster than 25 pictures a second.
  bool havePicture = false;
  while (av::PacketPtr packet = queue_.PopFor(0)) {
    const int sent = avcodec_send_packet(decoder_.get(), packet.get());
    if (sent < 0) {
      LOG_EVERY_N(WARNING, 100) << "send decode packet error: " << av::ErrorText(sent);
      continue;
    }
    while (avcodec_receive_frame(decoder_.get(), received_.get()) == 0) {
      av_frame_unref(decoded_.get());
      av_frame_move_ref(decoded_.get(), received_.get());
      havePicture = true;
    }
  }
  if (!havePicture) return;
  if (ConvertPicture(*decoded_)) {
    if (surface != nullptr) {
      surface->Present(converted_->data[0], converted_->linesize[0], area_->AreaWidth(), area_->AreaHeight());
    }
    ++shown_;
  }
  av_frame_unref(decoded_.get());
}

bool CameraDisplay::ConvertPicture(const AVFrame& picture) {
  // Pictures of another size than the stream announced are scaled to it:
  // the texture keeps the size it was made with.
  scaler_.reset(sws_getCachedContext(scaler_.release(), picture.width, picture.height,
                                     static_cast<AVPixelFormat>(picture.format), sourceWidth_, sourceHeight_,
                                     AV_PIX_FMT_YUYV422, SWS_BICUBIC, nullptr, nullptr, nullptr));
  if (!scaler_) {
    LOG_EVERY_N(ERROR, 100) << "no scaler from " << picture.width << "x" << picture.height << " format "
                            << picture.format << " to YUYV";
    return false;
  }
  return sws_scale(scaler_.get(), picture.data, picture.linesize, 0, picture.height, converted_->data,
                   converted_->linesize) > 0;
}

}  // namespace tarn::preview
