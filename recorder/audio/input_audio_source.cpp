#include "recorder/audio/input_audio_source.h"

#include <glog/logging.h>
#include <pthread.h>

#include <cstdio>
#include <exception>

#include "recorder/audio/sound_levels.h"

namespace tarn {

InputAudioSource::InputAudioSource(std::unique_ptr<SoundInput> input, std::string threadName,
                                   std::string label)
    : label_(std::move(label)), input_(std::move(input)), threadName_(std::move(threadName)) {}

InputAudioSource::~InputAudioSource() { Stop(); }

int InputAudioSource::Open(std::string& error) {
  if (!input_) {
    error = "no input";
    return -1;
  }
  return input_->Open(error) ? 0 : -1;
}

void InputAudioSource::Start(AudioSink& sink) {
  stop_ = false;
  thread_ = std::thread(&InputAudioSource::Run, this, std::ref(sink));
}

void InputAudioSource::Stop() {
  stop_ = true;
  if (input_) input_->Interrupt();
  if (thread_.joinable()) thread_.join();
}

void InputAudioSource::Deliver(AudioSink& sink, const std::uint8_t* const* planes, int samples,
                               std::int64_t firstSampleUs) {
  if (samples <= 0) return;
  const float* floats[2] = {reinterpret_cast<const float*>(planes[0]),
                            reinterpret_cast<const float*>(planes[1])};
  sink.OnAudioBlock(floats, samples, firstSampleUs);
}

void InputAudioSource::Run(AudioSink& sink) {
  pthread_setname_np(pthread_self(), threadName_.substr(0, 15).c_str());
  try {
    ReadLoop(sink);
  } catch (const std::exception& e) {
    LOG(ERROR) << label_ << " failed: " << e.what();
    sink.OnSourceEnded(label_ + " failed: " + e.what());
  } catch (...) {
    LOG(ERROR) << label_ << " failed";
    sink.OnSourceEnded(label_ + " failed");
  }
  std::printf("%s", ExitTrace());
}

void InputAudioSource::ReadLoop(AudioSink& sink) {
  if (!Prepare()) {
    sink.OnSourceEnded(label_ + " could not be prepared");
    return;
  }
  av::FramePtr frame;
  std::string error;
  while (!stop_) {
    std::int64_t firstSampleUs = 0;
    const SoundInput::ReadResult result = input_->Read(20, frame, firstSampleUs, error);
    if (result == SoundInput::ReadResult::kEnded) {
      if (stop_) break;
      LOG(ERROR) << label_ << " input ended: " << error;
      sink.OnSourceEnded(label_ + ": " + error);
      return;
    }
    if (result != SoundInput::ReadResult::kSound) continue;
    if (levelMeter_ != nullptr) levelMeter_->Add(*frame);
    if (!Process(*frame, firstSampleUs, sink)) {
      sink.OnSourceEnded(label_ + " stopped on an error");
      return;
    }
  }
}

}  // namespace tarn
