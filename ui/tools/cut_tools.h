#pragma once
// The cut page below its player: the start and end positions taken from the
// player ("get-starttime", "get-endtime") into eight time fields, the cut
// itself (re-encoded, or copied from the keyframe at or before the start with
// "快速剪切"), its progress, and the output folder button. The "." and ","
// keys step the paused player one picture forward or back. UI thread only.

#include <QObject>
#include <QString>

#include "ui/framework/ui_text.h"
#include "ui/framework/window_impl_base.h"
#include "ui/tools/tool_context.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTimer;

namespace tarn::ui {
class CutPagePlayer;
}

namespace tarn::ui::tools {

class TranscoderJob;

inline constexpr const char* kChoosePositionsText = QT_TRANSLATE_NOOP("TarnRecorder", "请选择截取位置");
inline constexpr const char* kEndBeforeStartText = QT_TRANSLATE_NOOP("TarnRecorder", "结束位置必须大于开始位置");
inline constexpr const char* kNoVideoText = QT_TRANSLATE_NOOP("TarnRecorder", "请先添加视频");
inline constexpr const char* kNotPlayingText = QT_TRANSLATE_NOOP("TarnRecorder", "请先播放视频");
inline constexpr const char* kFailedText = QT_TRANSLATE_NOOP("TarnRecorder", "失败");

class CutTools : public QObject {
  Q_OBJECT

 public:
  // `tools` is the loaded "CutTools.ui" inside the cut page.
  CutTools(ToolContext& context, QWidget* tools, CutPagePlayer* player);

  bool Notify(const TNotifyUI& msg);
  void ShowProgress(const TranscoderJob& job);
  void ShowFinished(const TranscoderJob& job);
  // A new file in the player: both positions go back to 0.
  void ResetPositions();

  // The positions in the fields, in milliseconds.
  long long startMs() const;
  long long endMs() const;
  void SetStartMs(long long ms);
  void SetEndMs(long long ms);
  // Runs the cut as "video-cut-btn" does; the job's id, or 0 when nothing
  // was launched.
  int Cut();

 private:
  void TakePosition(bool start);
  void StepPicture(bool forward);
  void ShowStartUsed();

  ToolContext& context_;
  CutPagePlayer* player_;
  QSpinBox* startFields_[4] = {};
  QSpinBox* endFields_[4] = {};
  QCheckBox* quickCut_ = nullptr;
  QLabel* startUsed_ = nullptr;
  QTimer* startUsedTimer_ = nullptr;
  QPushButton* cutButton_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* progressLabel_ = nullptr;
};

}  // namespace tarn::ui::tools
