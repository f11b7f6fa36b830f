#include "platform/x11/x_connection.h"

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace tarn::platform::x11 {

Display* OpenConnection() {
  static std::once_flag threadsOnce;
  std::call_once(threadsOnce, [] { XInitThreads(); });
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || name[0] == '\0') return nullptr;
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (Display* display = XOpenDisplay(nullptr)) return display;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return nullptr;
}

}  // namespace tarn::platform::x11
