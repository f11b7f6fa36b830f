#pragma once
// The seam between the recording engine and what it records. A source opens
// its device, runs a thread of its own that pushes time-stamped pictures or
// sound into a sink, and stops on request, breaking off a blocking read.
// Sources are made by a SourceFactory, so that tests can record synthetic
// sources (FFmpeg's lavfi testsrc2 and sine) without an X or sound server.
//
// Every stamp is the monotonic time of capture (MonotonicNowUs's clock): of
// the picture, or of the first sample of a block of sound.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "recorder/audio/capture_devices.h"
#include "recorder/ffmpeg_holders.h"
#include "recorder/screen_overlays.h"

namespace tarn {

class LevelMeter;

// The recording's sound format: 44100 Hz, stereo, planar float.
inline constexpr int kRecordingSampleRate = 44100;

// Where a video source delivers. Thread-safe; called on the source's thread.
class VideoSink {
 public:
  virtual ~VideoSink() = default;
  // One picture, coded as the source's codecParameters() say, with the
  // capture time in packet->pts (microseconds, monotonic). Takes ownership;
  // the sink may drop the picture (nothing records it, or too many wait).
  virtual void OnVideoPacket(av::PacketPtr packet) = 0;
  // Waits while the recording is prepared or paused, so an idle source takes
  // nothing. False once the recording is ending.
  // `resumed` (when given) tells whether it had to wait, so a source that
  // keeps its own schedule starts it over.
  virtual bool WaitUntilRunning(bool* resumed = nullptr) = 0;
  // The source ended by itself (the display or device is gone); `why` says so
  // in plain words. Called at most once, on the source's thread.
  virtual void OnSourceEnded(const std::string& why) = 0;
};

// Where a sound source delivers. Thread-safe; called on the source's thread.
class AudioSink {
 public:
  virtual ~AudioSink() = default;
  // `samples` samples of sound in the recording's format (two planes), the
  // first captured at `firstSampleUs`.
  virtual void OnAudioBlock(const float* const planes[2], int samples, std::int64_t firstSampleUs) = 0;
  virtual void OnSourceEnded(const std::string& why) = 0;
};

class VideoSource {
 public:
  virtual ~VideoSource() = default;
  // Prepares the device. 0, or -1 with `error` saying why in plain words.
  virtual int Open(std::string& error) = 0;
  // What the packets hold (after a successful Open): codec, size, pixel format.
  virtual const AVCodecParameters& codecParameters() const = 0;
  // Starts the thread that delivers into `sink` until Stop. Once.
  virtual void Start(VideoSink& sink) = 0;
  // Ends and joins the thread, breaking off a blocking read. Safe to call
  // more than once, and without Start.
  virtual void Stop() = 0;
  // Pictures taken so far.
  virtual std::int64_t picturesTaken() const = 0;
  // The pictures per second the device itself delivers, after Open; 0 when
  // it follows the rate asked of it (the screen) or does not say.
  virtual int nativeFrameRate() const { return 0; }
};

class AudioSource {
 public:
  virtual ~AudioSource() = default;
  // Prepares the device. 0, or -1 with `error` saying why in plain words.
  virtual int Open(std::string& error) = 0;
  virtual void Start(AudioSink& sink) = 0;
  virtual void Stop() = 0;
  // Where the source measures the samples it captures, as they arrive;
  // null measures nothing. Set before Start; the meter outlives the source's
  // thread. Sources that cannot measure ignore it.
  virtual void SetLevelMeter(LevelMeter* meter) { (void)meter; }
};

// What the screen source records.
struct ScreenSourceOptions {
  int frameRate = 24;
  bool regionMode = false;  // a rectangle instead of the whole screen
  int regionX = 0;
  int regionY = 0;
  int width = 0;            // the rectangle's size in region or follow-mouse mode
  int height = 0;
  bool followMouse = false;
  bool drawCursor = true;
  bool clickRings = false;
  bool hotRegion = false;
  Rgb leftClickColor;
  Rgb rightClickColor;
  Rgb hotRegionColor;
  int hotRegionWidth = 0;
  int hotRegionHeight = 0;
};

struct MicrophoneOptions {
  CaptureDeviceEntry device;  // the first entry of the device list
  bool gainEnabled = true;    // automatic gain control after noise suppression
  int gainDb = 20;
};

// Makes the sources of a recording, and answers which sound devices exist.
class SourceFactory {
 public:
  virtual ~SourceFactory() = default;
  virtual std::unique_ptr<VideoSource> CreateScreenSource(const ScreenSourceOptions& options) = 0;
  virtual std::unique_ptr<AudioSource> CreateMicrophoneSource(const MicrophoneOptions& options) = 0;
  virtual std::unique_ptr<AudioSource> CreateSystemSoundSource() = 0;
  // A camera of the list ListCameras gives.
  virtual std::unique_ptr<VideoSource> CreateCameraSource(const CaptureDeviceEntry& camera) = 0;
  // The cameras, in the system's order; -1 when they cannot be listed.
  virtual int ListCameras(std::vector<CaptureDeviceEntry>& list) = 0;
  // The microphones, the default one first; -1 when they cannot be listed.
  virtual int ListMicrophones(std::vector<CaptureDeviceEntry>& list) = 0;
  // Whether a default microphone and a default speaker exist.
  virtual bool HasDefaultMicrophone(std::string& name) = 0;
  virtual bool HasDefaultSpeaker() = 0;
};

// The real devices: the X screen, the cameras and the sound server.
SourceFactory& DeviceSourceFactory();

}  // namespace tarn
