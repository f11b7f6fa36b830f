#include "recorder/media_init.h"

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
}

#include <mutex>

namespace tarn {

void InitMediaLibraries() {
  static std::once_flag once;
  std::call_once(once, [] {
    avformat_network_init();
    avdevice_register_all();
  });
}

}  // namespace tarn
