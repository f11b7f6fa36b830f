#pragma once
// A sound source over a SoundInput: a thread reads the input and hands each
// block to Process, which turns it into the recording's format for the sink.
// Stop interrupts a waiting read and joins the thread; a failure or an
// exception ends only this source (the sink hears why) and the recording
// goes on with silence in its place.

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "recorder/audio/sound_input.h"
#include "recorder/media_source.h"

namespace tarn {

class InputAudioSource : public AudioSource {
 public:
  InputAudioSource(std::unique_ptr<SoundInput> input, std::string threadName, std::string label);
  ~InputAudioSource() override;

  int Open(std::string& error) override;
  void Start(AudioSink& sink) override;
  void Stop() override;
  void SetLevelMeter(LevelMeter* meter) override { levelMeter_ = meter; }

 protected:
  // Turns one block of the input into sound for the sink. False ends the
  // source (after a log line).
  virtual bool Process(const AVFrame& frame, std::int64_t firstSampleUs, AudioSink& sink) = 0;
  // Set-up on the source's thread before the first read; false ends it.
  virtual bool Prepare() { return true; }
  // The trace printed when the thread ends.
  virtual const char* ExitTrace() const = 0;
  // Hands converted sound in the recording's format to the sink.
  static void Deliver(AudioSink& sink, const std::uint8_t* const* planes, int samples,
                      std::int64_t firstSampleUs);

  const std::string label_;

 private:
  void Run(AudioSink& sink);
  void ReadLoop(AudioSink& sink);

  std::unique_ptr<SoundInput> input_;
  const std::string threadName_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  // Measures each block as read, before Process; set before Start.
  LevelMeter* levelMeter_ = nullptr;
};

}  // namespace tarn
