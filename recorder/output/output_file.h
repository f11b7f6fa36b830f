#pragma once
// The file of one recording: the container chosen by the file's extension,
// its streams, the packets and the trailer. One thread writes (Create ..
// Write), then Finish is called once.

#include <functional>
#include <string>
#include <vector>

#include "recorder/ffmpeg_holders.h"

namespace tarn {

class OutputFile {
 public:
  OutputFile();
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Prepares the container for `path`. 0, or a negative FFmpeg code with error().
  int Create(const std::string& path);
  // Adds a stream described by an opened encoder; returns its index or a negative code.
  int AddStream(const AVCodecContext* encoder);
  // Creates the file and writes the header. 0 or a negative code.
  int Open();
  // Writes one packet of stream `index`, time stamps in the encoder's time
  // base. False once the file cannot be written any more.
  bool Write(AVPacket* packet, int index);
  bool failed() const { return failed_; }
  // Ends the file. False when it could not be finished.
  bool Finish(const std::function<void(double)>& progress = {});
  const std::string& error() const { return error_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string error_;
  av::OutputContextPtr context_;
  std::vector<AVRational> encoderTimeBases_;
  bool opened_ = false;
  bool failed_ = false;
  bool finished_ = false;
};

// Finishes the recordings in `dir` that a crash left unfinished.
std::vector<std::string> RecoverUnfinishedRecordings(const std::string& dir);

}  // namespace tarn
