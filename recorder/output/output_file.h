#pragma once
// The file of one recording: H.264 video and AAC sound in MP4, MOV, FLV, WMV
// (ASF), AVI or Matroska, chosen by the file's extension.
//
// Crash safety. At any moment, a kill or a power cut leaves at `path` a file
// that plays and holds all but about the last two seconds:
//  - MP4 / MOV are written fragmented (a fragment at every key picture and at
//    least every second) and become a regular file with the index in front
//    at Finish;
//  - the others are written as they are, Matroska in clusters of at most a
//    second;
//  - whatever the container, written data reaches the kernel at least every
//    half second and a background thread syncs it to disk about every second.
// While the file is written a hidden marker ".<name>.recording" beside it,
// locked by the writing process, says that it is unfinished;
// RecoverUnfinishedRecordings finishes the files whose writer died.
//
// What Write relies on in each packet (times in the encoder's time base, as
// given to AddStream):
//  - pts and dts: at least one of them set; pictures are never reordered
//    (no B-frames), so a missing one is taken to equal the other. Decoding
//    times rise strictly within a stream; a packet that breaks that is
//    dropped with a warning.
//  - duration: the packet's length. 0 is taken as one picture at the nominal
//    frame rate (video) or one frame of samples (sound). Containers keep a
//    picture on screen until the next one, so dropped pictures (gaps in the
//    slot numbers) need no longer durations; only the last picture's own
//    duration ends the file.
//  - flags: AV_PKT_FLAG_KEY on key pictures (fragments and cues start there).
//  - data, side data: written as they are; the packet is left blank.
//
// Threads: one thread calls Create, AddStream, Open and Write; Finish is
// called once, from that thread or another one after the writer has ended.
// failed() may be read from any thread.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "recorder/output/asf_writer.h"
#include "recorder/output/file_sink.h"
#include "recorder/output/output_format.h"
#include "recorder/output/recording_marker.h"

namespace tarn {

class OutputFile {
 public:
  OutputFile();
  // An unfinished file is flushed and closed as it is and stays marked, so
  // that recovery can finish it; the destructor writes no trailer.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Prepares the container for `path`, the muxer chosen by the extension
  // (mp4, mov, flv, wmv/asf, avi, mkv). Returns 0, or a negative FFmpeg code;
  // error() then says why in plain English.
  int Create(const std::string& path);
  // Adds a stream described by an opened encoder: its codec parameters, time
  // base and, for video, `framerate` as the nominal rate. Returns the stream
  // index or a negative code.
  int AddStream(const AVCodecContext* encoder);
  // Marks the recording unfinished, creates the file and writes the header.
  // Returns 0 or a negative code (folder missing or not writable, disk full).
  int Open();
  // Writes one encoded packet of stream `index` (see above for the fields),
  // interleaved with the other streams. False once the file cannot be written
  // any more: the first failure is logged once with its cause and every later
  // call returns false at once without writing.
  bool Write(AVPacket* packet, int index);
  bool failed() const { return failed_.load(); }
  // Pushes everything written so far into the file, ending the current MP4
  // fragment or Matroska cluster: for a pause, after which no packet may
  // come for a long time. False once the file cannot be written.
  bool Flush();
  // Ends the file: the buffered packets and the trailer are written, an MP4
  // or MOV becomes a regular fast-start file, and the marker goes. `progress`
  // (0..1) is called from this thread when finishing takes longer than half a
  // second. False when the file could not be finished (error() says why);
  // what was written then stays readable, and marked for a later recovery
  // when only the finishing step failed. A second call does nothing and
  // returns the first call's result.
  bool Finish(const std::function<void(double)>& progress = {});

  const std::string& error() const { return error_; }
  const std::string& path() const { return path_; }
  // Media time written so far, in microseconds: the end of the last packet
  // handed to the muxer (0 before the first).
  std::int64_t writtenUs() const { return writtenUs_; }

 private:
  struct StreamState {
    AVRational encoderTimeBase{};
    std::int64_t defaultDuration = 1;  // in encoderTimeBase
    std::int64_t lastDts = AV_NOPTS_VALUE;
    // Added to the stream's times (see Write); in encoderTimeBase.
    std::int64_t offset = 0;
    bool started = false;
    // Sound the encoder puts before the first sample (its priming), in ms.
    std::int64_t primingMs = 0;
  };

  bool PrepareFolder();
  bool OpenFile();
  int WriteHeader();
  int StartAsf();
  void Fail(int err, const char* doing);
  bool FixTimestamps(AVPacket* packet, StreamState& stream);
  bool FinishWriting();
  void CloseWithoutTrailer();

  std::string path_;
  std::string folder_;
  std::string error_;
  const OutputFormat* format_ = nullptr;
  MuxerPtr muxer_;
  FileSink sink_;
  // ASF (.wmv) is written by this writer; muxer_ then only holds the streams.
  std::unique_ptr<AsfWriter> asf_;
  std::int64_t asfShiftMs_ = 0;
  RecordingMarker marker_;
  std::vector<StreamState> streams_;
  // Written by the writing thread, read by any thread.
  std::atomic<bool> failed_{false};
  bool opened_ = false;
  bool finished_ = false;
  bool finishResult_ = false;
  std::int64_t writtenUs_ = 0;
  int droppedPackets_ = 0;
  std::chrono::steady_clock::time_point lastFlush_;
};

// Finishes, as Finish would have, the recordings in `dir` whose writer died
// (a crash or a power cut), skipping those a live process still writes.
// A file that cannot be read is left as it is, with the reason logged; its
// marker goes. Returns the paths of the files it finished.
std::vector<std::string> RecoverUnfinishedRecordings(const std::string& dir);

}  // namespace tarn
