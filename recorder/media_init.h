#pragma once

namespace tarn {

// Registers FFmpeg's capture devices and starts its network layer, once per
// process. Safe to call from any thread, any number of times.
void InitMediaLibraries();

}  // namespace tarn
