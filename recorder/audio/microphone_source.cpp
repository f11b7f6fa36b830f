// The microphone: its set-up at the start of a recording and its capture
// thread, which reads the device through FFmpeg, converts the sound to 32 kHz
// mono, cleans it in 10 ms frames and hands it to the encoder in the
// encoder's format.

#include <glog/logging.h>
#include <pthread.h>

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
}

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "recorder/audio/voice_processor.h"
#include "recorder/recorder.h"

namespace tarn {
namespace {

constexpr int kVoiceRate = VoiceProcessor::kSampleRate;
constexpr std::size_t kVoiceBufferSamples = 64000;  // 2 s at 32 kHz
constexpr int kAudioOutRate = 44100;
// Consecutive read failures after which the device counts as gone.
constexpr int kMaxReadFailures = 50;

using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

}  // namespace

int Recorder::SetupMicrophone() {
  if (enumerateCaptureDevices(captureDevices_, CaptureCategory::kAudio) != 0 ||
      captureDevices_.empty()) {
    LOG(ERROR) << "音频设备获取失败";
    return kStartNoAudioDevice;
  }
  const CaptureDeviceEntry& device = captureDevices_.front();
  if (av_find_input_format(device.inputFormat.c_str()) == nullptr) {
    LOG(ERROR) << device.inputFormat << " not soport";
    return -1;
  }
  SwrContext* resampler = nullptr;
  AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  if (swr_alloc_set_opts2(&resampler, &stereo, AV_SAMPLE_FMT_FLTP, kAudioOutRate, &mono,
                          AV_SAMPLE_FMT_S16, kVoiceRate, 0, nullptr) < 0 ||
      resampler == nullptr) {
    LOG(ERROR) << "Could not allocate resampler context";
    return -1;
  }
  voiceResampler_.reset(resampler);
  if (swr_init(resampler) < 0) {
    LOG(ERROR) << "Failed to initialize the resampling context";
    return -1;
  }
  micFifo_.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, 2, kAudioOutRate * 6));
  if (!micFifo_) {
    LOG(ERROR) << "Could not allocate audio fifo";
    return -1;
  }
  return 0;
}

void Recorder::MicrophoneThread() {
  pthread_setname_np(pthread_self(), "microphone");
  // However the thread ends, the recording goes on: the gates open and the
  // encoder takes silence for the microphone from then on.
  struct EndGuard {
    Recorder& recorder;
    ~EndGuard() {
      recorder.micEnded_ = true;
      if (recorder.voiceSource_ == 1) {
        recorder.audioGate2_ = true;
      } else {
        recorder.audioGate1_ = true;
      }
      recorder.micFifoCond_.notify_all();
      std::printf("micophone audio capture thread exit\n");
    }
  } guard{*this};

  const Clock::time_point start = Clock::now();
  VoiceProcessor voice;
  if (!voice.Init(micGainEnabled_ != 0, micGainDb_)) return;

  const CaptureDeviceEntry& device = captureDevices_.front();
  const AVInputFormat* format = av_find_input_format(device.inputFormat.c_str());
  AVDictionary* options = nullptr;
  // Small fragments keep the microphone's delay short.
  if (device.inputFormat == "pulse") av_dict_set(&options, "fragment_size", "3840", 0);
  AVFormatContext* opened = nullptr;
  const int openResult = avformat_open_input(&opened, device.url.c_str(), format, &options);
  av_dict_free(&options);
  av::InputContextPtr input(opened);
  if (openResult < 0) {
    LOG(ERROR) << "psDevName:" << device.url;
    LOG(ERROR) << "avformat_open_input err,ret=" << openResult << ",errstr=" << av::ErrorText(openResult);
    return;
  }
  LOG(INFO) << "avformat_open_input time: " << MillisecondsSince(start);
  // A capture device describes its stream when it opens; probing it would
  // only read (and throw away) a second or two of sound first.
  bool described = input->nb_streams > 0;
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    const AVCodecParameters* par = input->streams[i]->codecpar;
    if (par->codec_id == AV_CODEC_ID_NONE || par->sample_rate <= 0 || par->ch_layout.nb_channels <= 0) {
      described = false;
    }
  }
  if (!described && avformat_find_stream_info(input.get(), nullptr) < 0) {
    LOG(ERROR) << "not found audio stream";
    return;
  }
  int streamIndex = -1;
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    if (input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
      streamIndex = static_cast<int>(i);
      break;
    }
  }
  if (streamIndex < 0) {
    LOG(ERROR) << "Didn't find a audio stream";
    return;
  }
  const AVCodecParameters* parameters = input->streams[streamIndex]->codecpar;
  const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
  av::CodecContextPtr decoder(codec != nullptr ? avcodec_alloc_context3(codec) : nullptr);
  if (!decoder || avcodec_parameters_to_context(decoder.get(), parameters) < 0 ||
      avcodec_open2(decoder.get(), codec, nullptr) < 0) {
    LOG(ERROR) << "can not find or open audio decoder!";
    return;
  }
  if (decoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
    const int channels = decoder->ch_layout.nb_channels;
    av_channel_layout_uninit(&decoder->ch_layout);
    av_channel_layout_default(&decoder->ch_layout, channels);
    LOG(INFO) << "src_ch_layout0 : " << channels;
  }
  char layoutText[64] = {};
  av_channel_layout_describe(&decoder->ch_layout, layoutText, sizeof layoutText);
  LOG(INFO) << "src_rate: " << decoder->sample_rate << " src_sample_fmt: "
            << av_get_sample_fmt_name(decoder->sample_fmt)
            << " src_nb_channels: " << decoder->ch_layout.nb_channels << " src_ch_layout: " << layoutText
            << " dst_nb_channels: 2 dst_rate: " << kAudioOutRate << " dst_sample_fmt: fltp";
  LOG(INFO) << "audio init time:" << MillisecondsSince(start);

  av::SwrPtr micResampler;
  av::PacketPtr packet = av::MakePacket();
  av::FramePtr frame = av::MakeFrame();
  std::vector<std::int16_t> voiceBuffer;
  voiceBuffer.reserve(kVoiceBufferSamples);
  std::vector<std::int16_t> converted;
  std::vector<std::int16_t> processed;
  std::vector<float> outLeft;
  std::vector<float> outRight;
  int readFailures = 0;
  bool gateFlushed = false;

  std::atomic<bool>& myGate = voiceSource_ == 1 ? audioGate2_ : audioGate1_;
  while (!stopRequested_) {
    // Start gate: what was buffered before the recording is thrown away, and
    // the gate opens with the first sound the device really delivers, so the
    // pictures start with the sound.
    if (!gateFlushed) {
      avformat_flush(input.get());
      gateFlushed = true;
    }

    const int read = av_read_frame(input.get(), packet.get());
    if (read < 0) {
      if (read == AVERROR(EAGAIN)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        continue;
      }
      LOG_EVERY_N(ERROR, 20) << "read audio packet err: " << av::ErrorText(read);
      // A device that keeps failing has gone away (unplugged, server quit).
      if (read == AVERROR_EOF || ++readFailures >= kMaxReadFailures) {
        LOG(ERROR) << "microphone input ended: " << av::ErrorText(read);
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    readFailures = 0;
    if (!myGate) myGate = true;
    const bool allReady = voiceSource_ == 1 || (audioGate1_ && audioGate2_);
    if (packet->stream_index != streamIndex || !running_ || !allReady) {
      // Paused: the input is drained, nothing is kept.
      av_packet_unref(packet.get());
      continue;
    }
    const int sent = avcodec_send_packet(decoder.get(), packet.get());
    av_packet_unref(packet.get());
    if (sent < 0) {
      LOG(ERROR) << "can not decoder a frame";
      continue;
    }
    while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
      const int inputSamples = frame->nb_samples;
      if (!micResampler) {
        SwrContext* context = nullptr;
        AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
        if (swr_alloc_set_opts2(&context, &mono, AV_SAMPLE_FMT_S16, kVoiceRate, &frame->ch_layout,
                                static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0,
                                nullptr) < 0 ||
            context == nullptr) {
          LOG(ERROR) << "swr alloc error";
          return;
        }
        micResampler.reset(context);
        if (swr_init(context) < 0) {
          LOG(ERROR) << "swr init error";
          return;
        }
      }
      // First stage: the device's format to 32 kHz mono 16-bit.
      const int room = static_cast<int>(av_rescale_rnd(
          swr_get_delay(micResampler.get(), frame->sample_rate) + inputSamples, kVoiceRate,
          frame->sample_rate, AV_ROUND_UP));
      converted.resize(static_cast<std::size_t>(room));
      std::uint8_t* out[1] = {reinterpret_cast<std::uint8_t*>(converted.data())};
      const int made = swr_convert(micResampler.get(), out, room,
                                   const_cast<const std::uint8_t**>(frame->extended_data), inputSamples);
      av_frame_unref(frame.get());
      if (made < 0) {
        LOG(ERROR) << "Error while converting";
        return;
      }
      // The voice buffer never grows past its capacity: sound that does not
      // fit (the processing fell two seconds behind) is dropped.
      const std::size_t fits = std::min<std::size_t>(static_cast<std::size_t>(made),
                                                     kVoiceBufferSamples - voiceBuffer.size());
      if (fits < static_cast<std::size_t>(made)) {
        LOG(WARNING) << "voice buffer full, " << (made - fits) << " samples dropped";
      }
      voiceBuffer.insert(voiceBuffer.end(), converted.begin(), converted.begin() + fits);

      // 10 ms frames through the voice processing.
      processed.clear();
      std::size_t consumed = 0;
      std::int16_t work[VoiceProcessor::kFrameSamples];
      while (voiceBuffer.size() - consumed >= VoiceProcessor::kFrameSamples) {
        std::copy_n(voiceBuffer.begin() + static_cast<std::ptrdiff_t>(consumed),
                    VoiceProcessor::kFrameSamples, work);
        if (!voice.ProcessFrame(work)) {
          std::printf("failed in WebRtcAgc_Process\n");
          break;
        }
        processed.insert(processed.end(), work, work + VoiceProcessor::kFrameSamples);
        consumed += VoiceProcessor::kFrameSamples;
      }
      voiceBuffer.erase(voiceBuffer.begin(), voiceBuffer.begin() + static_cast<std::ptrdiff_t>(consumed));
      if (processed.empty()) continue;

      // Second stage: 32 kHz mono to the encoder's format.
      const int inCount = static_cast<int>(processed.size());
      const int outRoom = static_cast<int>(av_rescale_rnd(
          swr_get_delay(voiceResampler_.get(), kVoiceRate) + inCount, kAudioOutRate, kVoiceRate,
          AV_ROUND_UP));
      if (outRoom < 1) {
        LOG(ERROR) << "av_rescale_rnd error";
        return;
      }
      outLeft.resize(static_cast<std::size_t>(outRoom));
      outRight.resize(static_cast<std::size_t>(outRoom));
      std::uint8_t* planes[2] = {reinterpret_cast<std::uint8_t*>(outLeft.data()),
                                 reinterpret_cast<std::uint8_t*>(outRight.data())};
      const std::uint8_t* in[1] = {reinterpret_cast<const std::uint8_t*>(processed.data())};
      const int written = swr_convert(voiceResampler_.get(), planes, outRoom, in, inCount);
      if (written < 0) {
        LOG(ERROR) << "Error while converting";
        return;
      }
      if (written == 0) continue;

      // Hand-off to the encoder, waiting for room as long as the recording runs.
      std::unique_lock<std::mutex> lock(micFifoLock_);
      bool gaveUp = false;
      while (av_audio_fifo_space(micFifo_.get()) < written) {
        LOG_EVERY_N(WARNING, 10) << "audio fifo space is not enough";
        if (stopRequested_) {
          gaveUp = true;
          break;
        }
        micFifoCond_.wait_for(lock, std::chrono::milliseconds(400));
      }
      if (!gaveUp) {
        void* data[2] = {outLeft.data(), outRight.data()};
        av_audio_fifo_write(micFifo_.get(), data, written);
      }
      lock.unlock();
      micFifoCond_.notify_all();
    }
  }
}

}  // namespace tarn
