#pragma once
// What the recording engine needs of the sound server and the camera devices:
// the capture sources, the default microphone and speaker, the loopback of
// what the speaker plays, and the video capture devices. The Linux
// implementations are PulseAudio (platform/pulse/, also served by PipeWire's
// pulse server) and V4L2 (platform/linux/); the engine sees only this header.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarn::platform {

// One source (microphone-like input) of the sound server.
struct AudioSourceInfo {
  std::string name;         // the server's name, used to open it ("alsa_input....")
  std::string description;  // the name people see ("Built-in Audio Analog Stereo")
};

// The server's defaults.
struct AudioServerInfo {
  std::string defaultSourceName;         // empty when there is none
  std::string defaultSourceDescription;  // empty when the source has no description
  bool defaultSourceIsMonitor = false;   // the default source is a sink's monitor
  std::string defaultSinkName;           // empty when there is none
  std::string defaultSinkMonitor;        // the monitor source of the default sink
  int sinkRate = 0;                      // the default sink's sample rate and channels
  int sinkChannels = 0;
};

// Asks the sound server for its defaults. False (with one log line) when no
// server answers within `timeoutMs`; never waits longer.
bool QueryAudioServer(AudioServerInfo& info, int timeoutMs = 2000);

// The server's sources in its own order, monitors of sinks left out. False
// (with one log line) when no server answers within `timeoutMs`.
bool ListAudioSources(std::vector<AudioSourceInfo>& sources, int timeoutMs = 2000);

// One video capture device (a camera).
struct VideoDeviceInfo {
  std::string card;  // the driver's card name ("Integrated Camera")
  std::string path;  // "/dev/video0"
};

// /dev/video* devices that can capture video, by device number.
std::vector<VideoDeviceInfo> ListVideoCaptureDevices();

// Records one source of the sound server as 32-bit signed little-endian
// interleaved samples at the source's own rate and channel count.
// Not thread-safe: one thread owns an instance from Open to destruction.
class SoundCapture {
 public:
  virtual ~SoundCapture() = default;

  // Connects and starts the record stream. False (with a log line saying
  // why) when there is no server, no such source, or no answer within
  // `timeoutMs`; never waits longer.
  virtual bool Open(int timeoutMs = 2000) = 0;

  virtual int sampleRate() const = 0;
  virtual int channels() const = 0;

  // Appends what the server has delivered since the last call to `out`,
  // without waiting. Returns the number of bytes appended (0: nothing is
  // waiting), or -1 when the stream or the server is gone (the source was
  // removed, the server quit); from then on always -1.
  // When bytes were appended, `firstSampleUs` receives the monotonic time
  // (steady_clock, microseconds) at which the first appended sample was
  // captured - for a sink's monitor, when it is played - as the server's
  // timing tells it, not the time of the read. The stamps of consecutive
  // reads follow the sample count: the next read's stamp is this one plus
  // the appended frames' duration, corrected only by small steps (the two
  // clocks drift apart) or, after a gap in the sound, by a jump.
  virtual int Read(std::vector<std::uint8_t>& out, std::int64_t& firstSampleUs) = 0;
};

// What the default sink plays: a record stream on its monitor source. When
// that sink goes away the stream ends instead of moving elsewhere.
std::unique_ptr<SoundCapture> CreateLoopbackCapture();

// A source of the server by its name (a microphone); an empty name means the
// default source at the time of Open. When that source goes away the stream
// ends (Read returns -1) instead of moving elsewhere.
std::unique_ptr<SoundCapture> CreateSourceCapture(const std::string& sourceName);

}  // namespace tarn::platform
