#pragma once
// Which sound sources the record page's choices take: the "voice-source"
// setting (0 microphone and system sound, 1 microphone, 2 system sound), the
// mute tick and the microphone's gain, and what is left of that choice when
// a device is missing. Shared by recordings and the idle level preview so
// that both open the same sources.

namespace tarn {

class SettingsStore;

struct SoundChoice {
  int voiceSource = 0;
  bool muted = false;
  bool gainEnabled = true;
  int gainDb = 20;

  bool operator==(const SoundChoice&) const = default;
};

// Whether two choices take the same sources (the gain changes only how the
// microphone's sound is processed, not what is captured).
inline bool SameSources(const SoundChoice& a, const SoundChoice& b) {
  return a.voiceSource == b.voiceSource && a.muted == b.muted;
}

// The choice as the settings hold it now.
SoundChoice ReadSoundChoice(SettingsStore& settings);

// The voice source to record (0, 1 or 2) given which default devices exist,
// or -1 for no sound: both chosen with one missing records the other; a
// chosen device that is missing, or a value the record page never writes,
// records no sound.
int ResolveVoiceSource(int voiceSource, bool microphonePresent, bool speakerPresent);

}  // namespace tarn
