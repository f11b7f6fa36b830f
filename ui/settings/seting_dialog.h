#pragma once
// The settings dialog: five pages ("basic-seting", "mouse-effect",
// "watermark", "shortcut-key", "other-seting") over the settings file.
//
// Options, tick boxes, the colour swatches, the hot-region slider and the
// output folder are written the moment they change; the edits and lists
// (watermark margins, texts and font, frame rate, follow size) when the
// dialog closes, whichever way it closes, and only those the user changed,
// so opening and closing the dialog alone never changes a recording.
// "hotkey-save" re-registers the two recording hot keys. Ticking region mode
// shows the region frame and closes the dialog; "camera-check" opens the
// camera preview and closes it.
//
// The dialog deletes itself once it has closed. UI thread only.

#include <QColor>
#include <QPointer>
#include <QString>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "settings/hot_key_settings.h"
#include "ui/framework/ui_text.h"
#include "ui/framework/window_impl_base.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QSlider;
class QStackedWidget;

namespace tarn {
class SettingsStore;
}

namespace tarn::ui {

// The line at the top of the dialog while a recording runs.
inline constexpr const char* kChangesApplyNextRecordingText = QT_TRANSLATE_NOOP("TarnRecorder", "正在录制中,更改将在下次录制时生效");
inline constexpr const char* kSetingDialogTitle = QT_TRANSLATE_NOOP("TarnRecorder", "设置");
inline constexpr const char* kChooseWatermarkImageTitle = QT_TRANSLATE_NOOP("TarnRecorder", "选择水印图片");

class SetingDialog : public WindowImplBase {
  Q_OBJECT

 public:
  // What the dialog works with. The choosers default to Qt's dialogs; the
  // other functions may be empty, which disables what needs them.
  struct Services {
    SettingsStore* settings = nullptr;
    // Register the new combination for the main window's start/pause or stop
    // action; true when it took (the old one is released only then).
    std::function<bool(HotKey)> replaceStartPause;
    std::function<bool(HotKey)> replaceStop;
    // Switch region mode on (the frame and its toolbar show), or leave it
    // when its frame shows. Empty when there is no region frame.
    std::function<void()> enterRegionMode;
    std::function<void()> leaveRegionMode;
    // Opens the camera preview.
    std::function<void()> openCameraPreview;
    // The folder dialog: (parent, title, start folder) → the folder, empty
    // when cancelled.
    std::function<QString(QWidget*, const QString&, const QString&)> chooseFolder;
    // The colour dialog: (parent, initial colour) → the colour, invalid when
    // cancelled. The custom colours are set before it is called.
    std::function<QColor(QWidget*, const QColor&)> chooseColor;
    // The image chooser: (parent, start folder) → an existing image file,
    // empty when cancelled.
    std::function<QString(QWidget*, const QString&)> chooseImageFile;
    // A recording runs: the dialog says changes apply to the next one and
    // locks what the record page locks.
    bool recording = false;
    // Whether a camera can be chosen.
    bool cameraAvailable = true;
  };

  explicit SetingDialog(Services services);
  ~SetingDialog() override;

  // Creates the dialog over `owner` with the settings loaded; ShowModal then
  // runs it centred over its owner. It deletes itself once closed. Null,
  // after a log line, when its layout cannot be loaded.
  static QPointer<SetingDialog> Open(QWidget* owner, Services services);

  // The page shown (0 to 4).
  int currentPage() const;

 protected:
  QString GetSkinFile() const override { return "Seting.ui"; }
  QString GetWindowClassName() const override { return "SetingDialog"; }
  void InitWindow() override;
  void Notify(const TNotifyUI& msg) override;
  void OnFinalMessage() override;
  // Escape closes the dialog, as its close button does.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // Loading (seting_pages.cpp).
  void FillLists();
  void LoadControls();
  void LoadOptionGroups();
  void LoadTexts();
  void LoadHotKeyLists();
  void LockWhileRecording();
  void TrackUserEdits();
  // The writes of a control that changed (seting_pages.cpp).
  void OnTickBox(const QString& name, bool ticked);
  void OnOptionSelected(const QString& name);
  void OnFollowChecked(bool ticked);
  void OnRegionChecked(bool ticked);
  // Writes the edits and lists the user changed; once.
  void SaveOnClose();

  // Buttons (seting_actions.cpp).
  void ShowPage(int index);
  void ShowSwatch(QWidget* swatch, QColor colour);
  void ChooseSwatchColour(const QString& name);
  void ChooseWatermarkImage();
  void ChooseOutputFolder();
  void UseDefaultOutputFolder();
  void OpenOutputFolder();
  void SaveHotKeys();
  bool SaveOneHotKey(bool startPause);
  void ShowCurrentHotKeys();
  void OpenCameraPreview();
  void ShowOutputDir(const std::string& folder);

  SettingsStore& settings_;
  Services services_;

  // Controls of the layout, found in InitWindow; owned by the dialog.
  QStackedWidget* pages_ = nullptr;
  QCheckBox* followCheck_ = nullptr;
  QCheckBox* regionCheck_ = nullptr;
  QComboBox* followSizeList_ = nullptr;
  QSlider* hotRegionSlider_ = nullptr;
  QLabel* hotRegionSizeLabel_ = nullptr;
  QLineEdit* outputDirEdit_ = nullptr;
  QLabel* currentHotKeysLabel_ = nullptr;

  // The setting changes are not written while the controls are loaded.
  bool loading_ = false;
  bool saved_ = false;
  // The texts shown when the dialog opened, by control name: only what
  // differs is written at close.
  std::map<QString, QString> loadedTexts_;
  int loadedFollowItem_ = -1;
  // The edits and lists the user typed into or chose from (by name); they
  // are written at close even when the text is the one shown at first.
  std::set<QString> touched_;
};

}  // namespace tarn::ui
