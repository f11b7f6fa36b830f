#include "ui/main/record_page_meters.h"

#include <glog/logging.h>

#include <QAbstractButton>
#include <QEvent>
#include <QLabel>
#include <QLayout>
#include <QStackedWidget>
#include <QStringList>
#include <QTimer>

#include "recorder/audio/sound_level_monitor.h"
#include "recorder/recorder.h"
#include "recorder/timeline.h"
#include "settings/settings_store.h"
#include "ui/framework/window_impl_base.h"
#include "ui/main/sound_meter.h"

namespace tarn::ui {
namespace {

constexpr const char* kSoundChoiceControls[4] = {"voice-source-default", "voice-source-microphone",
                                                 "voice-source-system", "audio-mute-check"};

// A chosen source the engine does not take (its device is missing) records
// no sound: for the meter and the warning it is unavailable.
SourceLevel AsChosen(const SourceLevel& level, bool chosen) {
  if (!chosen) return SourceLevel{};
  SourceLevel shown = level;
  if (shown.state == LevelState::kOff) shown.state = LevelState::kUnavailable;
  return shown;
}

}  // namespace

RecordPageMeters::RecordPageMeters(WindowImplBase& window, SettingsStore& settings,
                                   std::function<int()> engineState, SourceFactory* sources)
    : window_(window), settings_(settings), engineState_(std::move(engineState)) {
  mainTab_ = window_.RequireControl<QStackedWidget>("main-tab");
  levelRow_ = window_.RequireControl<QWidget>("soundLevelRow");
  microphoneCaption_ = window_.RequireControl<QWidget>("microphoneLevelCaption");
  systemCaption_ = window_.RequireControl<QWidget>("systemLevelCaption");
  warningLabel_ = window_.RequireControl<QLabel>("sound-silence-warning");
  microphoneMeter_ = PutMeter("microphone-level-meter", QT_TRANSLATE_NOOP("TarnRecorder", "麦克风音量"));
  systemMeter_ = PutMeter("system-level-meter", QT_TRANSLATE_NOOP("TarnRecorder", "系统声音音量"));
  warningLabel_->hide();

  // What decides whether the preview runs.
  window_.installEventFilter(this);
  connect(mainTab_, &QStackedWidget::currentChanged, this, [this] { ScheduleUpdate(); });
  for (const char* name : kSoundChoiceControls) {
    if (auto* control = window_.FindControl<QAbstractButton>(name)) {
      // Queued: the window stores the choice first.
      connect(control, &QAbstractButton::toggled, this, [this] { ScheduleUpdate(); });
    }
  }
  monitor_ = std::make_unique<SoundLevelMonitor>(
      [this](const SoundLevels& levels) { Post(kPreview, levels); }, sources);
}

RecordPageMeters::~RecordPageMeters() { monitor_.reset(); }

SoundMeter* RecordPageMeters::PutMeter(const char* placeholderName, const char* accessibleName) {
  // The layout holds a plain widget where the meter goes.
  QWidget* placeholder = window_.RequireControl<QWidget>(placeholderName);
  auto* meter = new SoundMeter(placeholder->parentWidget());
  meter->setObjectName(placeholderName);
  meter->setAccessibleName(UiText(accessibleName));
  meter->setMinimumWidth(placeholder->minimumWidth());
  QLayout* layout = placeholder->parentWidget() != nullptr ? placeholder->parentWidget()->layout() : nullptr;
  if (layout != nullptr) delete layout->replaceWidget(placeholder, meter);
  delete placeholder;
  return meter;
}

bool RecordPageMeters::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (watched == &window_ &&
      (type == QEvent::Show || type == QEvent::Hide || type == QEvent::WindowStateChange)) {
    ScheduleUpdate();
  }
  return QObject::eventFilter(watched, event);
}

void RecordPageMeters::ScheduleUpdate() {
  if (updateScheduled_) return;
  updateScheduled_ = true;
  QTimer::singleShot(0, this, [this] {
    updateScheduled_ = false;
    Update();
  });
}

void RecordPageMeters::Update() {
  const int state = engineState_();
  const bool recording = state == kStateRecording || state == kStatePaused;
  const SoundChoice choice = ReadSoundChoice(settings_);
  // A running recording keeps the sources it started with, whatever the
  // page's choice becomes meanwhile.
  if (!(recording && recording_)) {
    microphoneChosen_ = !choice.muted && (choice.voiceSource == 0 || choice.voiceSource == 1);
    systemChosen_ = !choice.muted && (choice.voiceSource == 0 || choice.voiceSource == 2);
    levelRow_->setVisible(microphoneChosen_ || systemChosen_);
    microphoneCaption_->setVisible(microphoneChosen_);
    microphoneMeter_->setVisible(microphoneChosen_);
    systemCaption_->setVisible(systemChosen_);
    systemMeter_->setVisible(systemChosen_);
  }

  if (recording) {
    if (preview_) {
      monitor_->Close();
      preview_ = false;
    }
    if (!recording_) {
      recording_ = true;
      ForgetSilence();
      ClearMeters();
    }
    // Silence counts only while the recording runs.
    if (state == kStatePaused) ForgetSilence();
    return;
  }
  if (recording_) {
    recording_ = false;
    ForgetSilence();
    ClearMeters();
  }
  const bool wanted = window_.isVisible() && !window_.isMinimized() && mainTab_->currentIndex() == 0 &&
                      (microphoneChosen_ || systemChosen_);
  if (wanted && (!preview_ || !SameSources(choice, previewChoice_))) {
    // A source that could not be had is tried again here, at a change, and
    // not otherwise.
    ClearMeters();
    monitor_->Open(choice);
    preview_ = true;
    previewChoice_ = choice;
  } else if (!wanted && preview_) {
    monitor_->Close();
    preview_ = false;
    ClearMeters();
  }
}

void RecordPageMeters::PostRecordingLevels(const SoundLevels& levels) { Post(kRecording, levels); }

void RecordPageMeters::Post(Origin origin, const SoundLevels& levels) {
  {
    std::lock_guard<std::mutex> lock(levelsMutex_);
    latest_[origin] = levels;
    if (queued_[origin]) return;
    queued_[origin] = true;
  }
  // Dropped if this object is gone; its reporters end before it goes.
  QMetaObject::invokeMethod(this, [this, origin] { TakeLevels(origin); }, Qt::QueuedConnection);
}

void RecordPageMeters::TakeLevels(Origin origin) {
  SoundLevels levels;
  {
    std::lock_guard<std::mutex> lock(levelsMutex_);
    levels = latest_[origin];
    queued_[origin] = false;
  }
  // A report of the preview after a recording started, or of a recording
  // that has stopped, is late: it changes nothing.
  if (origin == kRecording ? !recording_ : !preview_) return;
  ShowLevels(levels);
  if (origin == kRecording) WatchSilence(levels);
}

void RecordPageMeters::ShowLevels(const SoundLevels& levels) {
  auto show = [](SoundMeter* meter, const SourceLevel& level, const char* unavailableText) {
    if (level.state == LevelState::kLive) {
      meter->SetLevel(level.peak, level.rms);
    } else if (level.state == LevelState::kUnavailable) {
      meter->SetUnavailable(UiText(unavailableText));
    } else {
      meter->Clear();
    }
  };
  show(microphoneMeter_, AsChosen(levels.microphone, microphoneChosen_), kMicrophoneUnavailableText);
  show(systemMeter_, AsChosen(levels.systemSound, systemChosen_), kSystemSoundUnavailableText);
}

void RecordPageMeters::WatchSilence(const SoundLevels& levels) {
  if (engineState_() != kStateRecording) {
    ForgetSilence();
    return;
  }
  const std::int64_t nowUs = MonotonicNowUs();
  const bool microphoneSilent = microphoneSilence_.Feed(AsChosen(levels.microphone, microphoneChosen_), nowUs);
  const bool systemSilent = systemSilence_.Feed(AsChosen(levels.systemSound, systemChosen_), nowUs);
  ShowWarning(microphoneSilent, systemSilent);
}

void RecordPageMeters::ForgetSilence() {
  // A pause or a new recording counts its silence afresh.
  microphoneSilence_.Reset();
  systemSilence_.Reset();
  ShowWarning(false, false);
}

void RecordPageMeters::ShowWarning(bool microphoneSilent, bool systemSilent) {
  QStringList lines;
  if (microphoneSilent) lines << UiText(kMicrophoneSilentText);
  if (systemSilent) lines << UiText(kSystemSoundSilentText);
  const QString text = lines.join(QCoreApplication::translate("TarnRecorder", "，"));
  if (warningLabel_->text() != text) {
    warningLabel_->setText(text);
    if (!text.isEmpty()) LOG(WARNING) << "record page: " << text.toStdString();
  }
  warningLabel_->setVisible(!text.isEmpty());
}

void RecordPageMeters::ClearMeters() {
  microphoneMeter_->Clear();
  systemMeter_->Clear();
}

}  // namespace tarn::ui
