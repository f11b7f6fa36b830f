#include "ui/tools/cut_tools.h"

#include <glog/logging.h>

#include <QCheckBox>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTimer>
#include <cmath>

#include "settings/settings_store.h"
#include "ui/main/cut_page_player.h"
#include "ui/main/shell_actions.h"
#include "ui/tools/keyframe_probe.h"
#include "ui/tools/tool_commands.h"
#include "ui/tools/tool_jobs.h"

namespace tarn::ui::tools {
namespace {

constexpr const char* kFieldParts[4] = {"hour", "min", "sec", "milli"};
constexpr int kStartUsedDelayMs = 150;

template <class T>
T* Require(QWidget* root, const QString& name) {
  T* control = root->findChild<T*>(name);
  if (control == nullptr) {
    throw WindowInitError(("CMainWnd::InitWindow: the cut page has no " + name).toStdString());
  }
  return control;
}

long long FieldsMs(QSpinBox* const fields[4]) {
  return CutTimeMs(fields[0]->value(), fields[1]->value(), fields[2]->value(), fields[3]->value());
}

void SetFields(QSpinBox* const fields[4], long long ms) {
  if (ms < 0) ms = 0;
  fields[0]->setValue(static_cast<int>(std::min(ms / 3600000, 99LL)));
  fields[1]->setValue(static_cast<int>(ms / 60000 % 60));
  fields[2]->setValue(static_cast<int>(ms / 1000 % 60));
  fields[3]->setValue(static_cast<int>(ms % 1000));
}

}  // namespace

CutTools::CutTools(ToolContext& context, QWidget* tools, CutPagePlayer* player)
    : QObject(tools), context_(context), player_(player) {
  for (int i = 0; i < 4; ++i) {
    startFields_[i] = Require<QSpinBox>(tools, QString("starttime-") + kFieldParts[i]);
    endFields_[i] = Require<QSpinBox>(tools, QString("endtime-") + kFieldParts[i]);
  }
  Require<QPushButton>(tools, "get-starttime");
  Require<QPushButton>(tools, "get-endtime");
  Require<QPushButton>(tools, "video-dir-btn");
  quickCut_ = Require<QCheckBox>(tools, "quick-cut-check");
  startUsed_ = Require<QLabel>(tools, "cut-start-used");
  cutButton_ = Require<QPushButton>(tools, "video-cut-btn");
  progress_ = Require<QProgressBar>(tools, "video-cut-progress");
  progressLabel_ = Require<QLabel>(tools, "video-cut-progress-label");
  progress_->setRange(0, 100);
  // With "快速剪切" the start actually used follows the start fields, looked
  // up once they have settled.
  startUsedTimer_ = new QTimer(this);
  startUsedTimer_->setSingleShot(true);
  startUsedTimer_->setInterval(kStartUsedDelayMs);
  connect(startUsedTimer_, &QTimer::timeout, this, [this] { ShowStartUsed(); });
  for (QSpinBox* field : startFields_) {
    connect(field, &QSpinBox::valueChanged, startUsedTimer_, [this] { startUsedTimer_->start(); });
  }
  // One picture at a time, on the whole cut page (player and fields); a
  // click on the picture gives the page the keyboard.
  QWidget* page = tools->parentWidget() != nullptr ? tools->parentWidget() : tools;
  if (QWidget* playerArea = page->findChild<QWidget*>("player-area")) {
    playerArea->setFocusPolicy(Qt::ClickFocus);
    // It takes the keyboard now, so screen readers name it.
    if (playerArea->accessibleName().isEmpty()) playerArea->setAccessibleName(QCoreApplication::translate("TarnRecorder", "视频画面"));
  }
  for (const auto& [key, forward] : {std::pair{".", true}, std::pair{",", false}}) {
    auto* shortcut = new QShortcut(QKeySequence(QString::fromLatin1(key)), page);
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    connect(shortcut, &QShortcut::activated, this, [this, step = forward] { StepPicture(step); });
  }
}

bool CutTools::Notify(const TNotifyUI& msg) {
  const QString& name = msg.senderName;
  if (msg.sType == kNotifySelectChanged && name == "quick-cut-check") {
    ShowStartUsed();
    return true;
  }
  if (msg.sType != kNotifyClick) return false;
  if (name == "get-starttime" || name == "get-endtime") {
    TakePosition(name == "get-starttime");
  } else if (name == "video-cut-btn") {
    Cut();
  } else if (name == "video-dir-btn") {
    OpenFolder(GetOutputDir(*context_.settings));
  } else {
    return false;
  }
  return true;
}

long long CutTools::startMs() const { return FieldsMs(startFields_); }
long long CutTools::endMs() const { return FieldsMs(endFields_); }
void CutTools::SetStartMs(long long ms) { SetFields(startFields_, ms); }
void CutTools::SetEndMs(long long ms) { SetFields(endFields_, ms); }

void CutTools::ResetPositions() {
  SetStartMs(0);
  SetEndMs(0);
  startUsed_->clear();
}

void CutTools::TakePosition(bool start) {
  const preview::VideoPlayer* player = player_->player();
  if (player == nullptr) {
    // No file yet, or playback stopped: the position is the player's.
    context_.prompt(UiText(player_->path().isEmpty() ? kNoVideoText : kNotPlayingText));
    return;
  }
  // The player's position counts from the file's start time, as the
  // transcoder's -ss and -to do.
  const long long ms = std::llround(player->position() * 1000.0);
  if (start) {
    SetStartMs(ms);
    ShowStartUsed();
  } else {
    SetEndMs(ms);
  }
}

void CutTools::StepPicture(bool forward) {
  preview::VideoPlayer* player = player_->player();
  if (player == nullptr) return;
  if (player->state() == preview::VideoPlayer::kPlaying) player_->Pause();
  if (forward) {
    player->StepForward();
  } else {
    player->StepBackward();
  }
}

void CutTools::ShowStartUsed() {
  if (!quickCut_->isChecked() || player_->path().isEmpty()) {
    startUsed_->clear();
    return;
  }
  const auto keyframeMs = KeyframeAtOrBeforeMs(player_->path().toStdString(), startMs());
  startUsed_->setText(keyframeMs ? QCoreApplication::translate("TarnRecorder", "实际开始位置: ") +
                                       QString::fromStdString(FormatCutTime(*keyframeMs))
                                 : QString());
}

int CutTools::Cut() {
  const QString source = player_->path();
  const long long start = startMs();
  const long long end = endMs();
  if (source.isEmpty()) {
    context_.prompt(UiText(kNoVideoText));
    return 0;
  }
  if (start <= 0 && end <= 0) {
    LOG(INFO) << kChoosePositionsText;
    context_.prompt(UiText(kChoosePositionsText));
    return 0;
  }
  if (start >= end) {
    LOG(INFO) << kEndBeforeStartText;
    context_.prompt(UiText(kEndBeforeStartText));
    return 0;
  }
  const std::string sourcePath = source.toStdString();
  const std::string output =
      context_.NewOutputPath(QFileInfo(source).fileName().toStdString(), "mp4");
  std::vector<std::string> arguments;
  if (quickCut_->isChecked()) {
    const auto keyframeMs = KeyframeAtOrBeforeMs(sourcePath, start);
    if (!keyframeMs) {
      progressLabel_->setText(UiText(kFailedText));
      progressLabel_->setToolTip(QCoreApplication::translate("TarnRecorder", "找不到关键帧"));
      return 0;
    }
    startUsed_->setText(QCoreApplication::translate("TarnRecorder", "实际开始位置: ") +
                        QString::fromStdString(FormatCutTime(*keyframeMs)));
    arguments = FastCutArguments(sourcePath, FormatCutTime(*keyframeMs),
                                 FormatCutTime(end - *keyframeMs), output);
  } else {
    arguments = CutArguments(sourcePath, FormatCutTime(start), FormatCutTime(end), output);
  }
  cutButton_->setEnabled(false);
  progress_->setValue(0);
  progressLabel_->setText("0%");
  progressLabel_->setToolTip(QString());
  QString why;
  const int id = context_.jobs->Launch(kJobCut, -1, arguments, output, &why);
  if (id == 0) {
    cutButton_->setEnabled(true);
    progressLabel_->setText(UiText(kFailedText));
    progressLabel_->setToolTip(why);
    context_.prompt(why);
  }
  return id;
}

void CutTools::ShowProgress(const TranscoderJob& job) {
  const int percent = job.percent();
  progress_->setValue(percent);
  progressLabel_->setText(QString::asprintf("%d%%", percent));
}

void CutTools::ShowFinished(const TranscoderJob& job) {
  cutButton_->setEnabled(true);
  if (job.outcome() == TranscoderJob::Outcome::kSucceeded) {
    progress_->setValue(100);
    progressLabel_->setText(QString::asprintf("%d%%", 100));
    progressLabel_->setToolTip(job.outputPath());
  } else {
    progressLabel_->setText(UiText(job.outcome() == TranscoderJob::Outcome::kCancelled
                                                  ? QT_TRANSLATE_NOOP("TarnRecorder", "已取消")
                                                  : kFailedText));
    progressLabel_->setToolTip(job.failureText());
  }
}

}  // namespace tarn::ui::tools
