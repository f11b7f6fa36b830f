#include "recorder/audio/sound_choice.h"

#include "settings/settings_keys.h"
#include "settings/settings_store.h"

namespace tarn {

SoundChoice ReadSoundChoice(SettingsStore& settings) {
  SoundChoice choice;
  choice.voiceSource = settings.GetInt(kVoiceSource, kVoiceSourceDefault);
  choice.muted = settings.GetInt(kAudioMuteCheck, kAudioMuteCheckDefault) != 0;
  choice.gainEnabled = settings.GetInt(kMicrophoneCheck, kMicrophoneCheckDefault) != 0;
  choice.gainDb = settings.GetInt(kVoiceSize, kVoiceSizeDefault);
  return choice;
}

int ResolveVoiceSource(int voiceSource, bool microphonePresent, bool speakerPresent) {
  switch (voiceSource) {
    case 0:
      if (microphonePresent && speakerPresent) return 0;
      if (microphonePresent) return 1;
      if (speakerPresent) return 2;
      return -1;
    case 1:
      return microphonePresent ? 1 : -1;
    case 2:
      return speakerPresent ? 2 : -1;
    default:
      return -1;
  }
}

}  // namespace tarn
