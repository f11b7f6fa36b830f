#pragma once
// The record page's sound meters: one per chosen source (microphone, system
// sound) and a warning line when a chosen source has been silent for 5 s
// during a recording. While a recording runs the meters show the engine's
// reports; while none runs and the page is on screen, a level preview opens
// the chosen sources without recording and shows theirs. The preview stops
// when a recording starts, the page or the window is hidden, the window is
// minimised, or no sound is chosen.
//
// UI thread only, except PostRecordingLevels and the preview's reports,
// which hand over to the UI thread.

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "recorder/audio/silence_watch.h"
#include "recorder/audio/sound_choice.h"
#include "recorder/audio/sound_levels.h"
#include "ui/framework/ui_text.h"

class QLabel;
class QStackedWidget;
class QWidget;

namespace tarn {
class SettingsStore;
class SoundLevelMonitor;
class SourceFactory;
}  // namespace tarn

namespace tarn::ui {

class SoundMeter;
class WindowImplBase;

// The warning line's texts.
inline constexpr const char* kMicrophoneSilentText = QT_TRANSLATE_NOOP("TarnRecorder", "麦克风没有声音");
inline constexpr const char* kSystemSoundSilentText = QT_TRANSLATE_NOOP("TarnRecorder", "系统声音没有声音");
// The tooltips of a meter whose source cannot be had.
inline constexpr const char* kMicrophoneUnavailableText = QT_TRANSLATE_NOOP("TarnRecorder", "麦克风不可用：没有找到设备，或声音服务没有响应");
inline constexpr const char* kSystemSoundUnavailableText = QT_TRANSLATE_NOOP("TarnRecorder", "系统声音不可用：没有找到扬声器，或声音服务没有响应");

class RecordPageMeters : public QObject {
  Q_OBJECT

 public:
  // Finds its controls in `window` (WindowInitError when one is missing).
  // `engineState` gives the recorder's state; `sources` makes the preview's
  // sources (null: the real devices).
  RecordPageMeters(WindowImplBase& window, SettingsStore& settings, std::function<int()> engineState,
                   SourceFactory* sources = nullptr);
  // Closes the preview and joins its thread.
  ~RecordPageMeters() override;

  // A recording's levels. Any thread.
  void PostRecordingLevels(const SoundLevels& levels);
  // Looks again at the recording's state, the page, the window and the sound
  // choice, and starts or stops the preview to match. Also runs by itself
  // when the window is shown, hidden or minimised, the page changes or the
  // sound choice does.
  void Update();

  bool previewActive() const { return preview_; }
  SoundMeter* microphoneMeter() const { return microphoneMeter_; }
  SoundMeter* systemMeter() const { return systemMeter_; }
  QLabel* warningLabel() const { return warningLabel_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  enum Origin { kPreview = 0, kRecording = 1 };

  SoundMeter* PutMeter(const char* placeholderName, const char* accessibleName);
  void ScheduleUpdate();
  void Post(Origin origin, const SoundLevels& levels);
  void TakeLevels(Origin origin);
  void ShowLevels(const SoundLevels& levels);
  void WatchSilence(const SoundLevels& levels);
  void ForgetSilence();
  void ShowWarning(bool microphoneSilent, bool systemSilent);
  void ClearMeters();

  WindowImplBase& window_;
  SettingsStore& settings_;
  const std::function<int()> engineState_;

  // Controls, owned by the window.
  QStackedWidget* mainTab_ = nullptr;
  QWidget* levelRow_ = nullptr;
  QWidget* microphoneCaption_ = nullptr;
  QWidget* systemCaption_ = nullptr;
  SoundMeter* microphoneMeter_ = nullptr;
  SoundMeter* systemMeter_ = nullptr;
  QLabel* warningLabel_ = nullptr;

  // UI thread state.
  bool recording_ = false;  // the meters show a recording's reports
  bool preview_ = false;    // the preview was asked to open previewChoice_
  SoundChoice previewChoice_;
  bool microphoneChosen_ = false;
  bool systemChosen_ = false;
  bool updateScheduled_ = false;
  SilenceWatch microphoneSilence_;
  SilenceWatch systemSilence_;

  // The latest report of each origin, written by the reporting threads and
  // taken by the UI thread; one hand-over per origin is queued at a time.
  std::mutex levelsMutex_;
  SoundLevels latest_[2];  // guarded by levelsMutex_
  bool queued_[2] = {};    // guarded by levelsMutex_

  // Declared last: destroyed first, so its thread ends before what it
  // reports to.
  std::unique_ptr<SoundLevelMonitor> monitor_;
};

}  // namespace tarn::ui
