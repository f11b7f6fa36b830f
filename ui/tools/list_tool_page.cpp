#include "ui/tools/list_tool_page.h"

#include <glog/logging.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include "ui/framework/ui_text.h"
#include "ui/main/main_messages.h"
#include "ui/main/recorded_file.h"
#include "ui/main/recorded_file_list.h"
#include "ui/tools/cut_tools.h"
#include "ui/tools/tool_commands.h"
#include "ui/tools/tool_jobs.h"
#include "ui/tools/tool_menus.h"

namespace tarn::ui::tools {
namespace {

constexpr const char* kTypeNames[3] = {"compress-type-general", "compress-type-deep",
                                       "compress-type-limit"};
constexpr const char* kReductionRed = "#FF0000";
constexpr const char* kReductionGreen = "#10C00B";

template <class T>
T* Require(QWidget* root, const QString& name) {
  T* control = root->findChild<T*>(name);
  if (control == nullptr) {
    throw WindowInitError(("CMainWnd::InitWindow: a tool page has no " + name).toStdString());
  }
  return control;
}

// Radio buttons that exclude each other only among themselves.
void Group(QWidget* page, std::initializer_list<QAbstractButton*> buttons) {
  auto* group = new QButtonGroup(page);
  for (QAbstractButton* button : buttons) group->addButton(button);
}

}  // namespace

ListToolPage::ListToolPage(ToolContext& context, int listKind, QWidget* page)
    : QObject(page),
      context_(context),
      listKind_(listKind),
      prefix_(listKind == kListConvert ? "convert" : "compress") {
  list_ = Require<QListWidget>(page, prefix_ + "-list");
  ratio_ = Require<QComboBox>(page, "video-" + prefix_ + "-ratio");
  Require<QPushButton>(page, "add-" + prefix_ + "-file");
  if (listKind_ == kListConvert) {
    format_ = Require<QComboBox>(page, "video-convert-format");
  } else {
    for (int i = 0; i < 3; ++i) types_[i] = Require<QAbstractButton>(page, kTypeNames[i]);
    customCheck_ = Require<QCheckBox>(page, "video-compress-check");
    customSlider_ = Require<QSlider>(page, "video-compress-slider");
    customValue_ = Require<QLabel>(page, "video-compress-value");
    balancedCheck_ = Require<QCheckBox>(page, "video-compress-balanced-check");
    mp4Radio_ = Require<QAbstractButton>(page, "compress-radio-mp4");
    flvRadio_ = Require<QAbstractButton>(page, "compress-radio-flv");
    Group(page, {types_[0], types_[1], types_[2]});
    Group(page, {mp4Radio_, flvRadio_});
    customSlider_->setEnabled(customCheck_->isChecked());
    customValue_->setText(QString::number(customSlider_->value()));
  }
  context_.files->AttachList(listKind_, list_,
                             listKind_ == kListConvert ? "ConvertListContainerElement.ui"
                                                       : "CompressListContainerElement.ui");
}

int ListToolPage::jobType() const { return listKind_ == kListConvert ? kJobConvert : kJobCompress; }

bool ListToolPage::Notify(const TNotifyUI& msg) {
  const QString& name = msg.senderName;
  if (listKind_ == kListCompress) {
    if (msg.sType == kNotifySelectChanged && name == "video-compress-check") {
      customSlider_->setEnabled(msg.wParam != 0);
      return true;
    }
    if (msg.sType == kNotifyValueChanged && name == "video-compress-slider") {
      customValue_->setText(QString::number(msg.wParam));
      return true;
    }
  }
  if (msg.sType != kNotifyClick) return false;
  if (name == "add-" + prefix_ + "-file") {
    const QString chosen =
        context_.chooseVideoFile ? context_.chooseVideoFile(context_.window) : QString();
    if (!chosen.isEmpty()) AddFile(chosen);
    return true;
  }
  const bool start = name == prefix_ + "-btn";
  const bool menu = name == prefix_ + "-list-menu-btn";
  if (!start && !menu) return false;
  bool ok = false;
  const int index = msg.pSender != nullptr ? msg.pSender->property("tag").toInt(&ok) : 0;
  if (!ok) return true;
  if (start) {
    Start(index);
  } else if (listKind_ == kListConvert) {
    ConvertPopMenu::Open(context_.window, index, QCursor::pos());
  } else {
    CompressPopMenu::Open(context_.window, index, QCursor::pos());
  }
  return true;
}

int ListToolPage::AddFile(const QString& path) {
  const int index = context_.files->AddFile(listKind_, path.toStdString());
  if (index < 0) return -1;
  if (QWidget* item = Item(index)) {
    Require<QProgressBar>(item, prefix_ + "-progress")->setRange(0, 100);
  }
  return index;
}

std::string ListToolPage::OutputExtension() const {
  if (listKind_ == kListConvert) return format_->currentText().toStdString();
  return flvRadio_->isChecked() ? "flv" : "mp4";
}

std::vector<std::string> ListToolPage::CompressCommand(const std::string& source,
                                                       const std::string& output) {
  CompressType type = CompressType::kGeneral;
  if (types_[1]->isChecked()) type = CompressType::kDeep;
  if (types_[2]->isChecked()) type = CompressType::kLimit;
  const int rateFactor =
      CompressRateFactor(type, customCheck_->isChecked(), customSlider_->value());
  return CompressArguments(source, FrameSizeAt(ratio_->currentIndex()),
                           CompressPreset(balancedCheck_->isChecked()), rateFactor, output);
}

int ListToolPage::Start(int index) {
  const RecordedFile* entry = context_.files->Find(index);
  QWidget* item = Item(index);
  if (entry == nullptr || item == nullptr) return 0;
  if (context_.jobs->FindRunning(jobType(), index) != nullptr) return 0;
  auto* button = Require<QPushButton>(item, prefix_ + "-btn");
  auto* progress = Require<QProgressBar>(item, prefix_ + "-progress");
  auto* label = Require<QLabel>(item, "progress-label");
  button->setEnabled(false);
  progress->setValue(0);
  label->setText(QString::asprintf("%d%%", 0));
  label->setToolTip(QString());
  if (listKind_ == kListCompress) {
    Require<QLabel>(item, "s1Label")->clear();
    Require<QLabel>(item, "y1Label")->clear();
  }
  const std::string output = context_.NewOutputPath(entry->fileName, OutputExtension());
  context_.files->SetExtra(index, output);
  const std::vector<std::string> arguments =
      listKind_ == kListConvert
          ? ConvertArguments(entry->fullPath, FrameSizeAt(ratio_->currentIndex()), output)
          : CompressCommand(entry->fullPath, output);
  QString why;
  const int id = context_.jobs->Launch(jobType(), index, arguments, output, &why);
  if (id == 0) {
    button->setEnabled(true);
    label->setText(UiText(kFailedText));
    label->setToolTip(why);
    context_.prompt(why);
  }
  return id;
}

QWidget* ListToolPage::Item(int index) const {
  QWidget* item = context_.files->RowWidget(index);
  // Only items of this page's list.
  if (item == nullptr || !list_->isAncestorOf(item)) return nullptr;
  return item;
}

void ListToolPage::ShowProgress(const TranscoderJob& job) {
  QWidget* item = Item(job.itemIndex());
  if (item == nullptr) return;  // removed from the list meanwhile
  const int percent = job.percent();
  Require<QProgressBar>(item, prefix_ + "-progress")->setValue(percent);
  Require<QLabel>(item, "progress-label")->setText(QString::asprintf("%d%%", percent));
}

void ListToolPage::ShowFinished(const TranscoderJob& job) {
  QWidget* item = Item(job.itemIndex());
  if (item == nullptr) return;
  Require<QPushButton>(item, prefix_ + "-btn")->setEnabled(true);
  auto* label = Require<QLabel>(item, "progress-label");
  if (job.outcome() != TranscoderJob::Outcome::kSucceeded) {
    const bool cancelled = job.outcome() == TranscoderJob::Outcome::kCancelled;
    label->setText(UiText(cancelled ? QT_TRANSLATE_NOOP("TarnRecorder", "已取消") : kFailedText));
    label->setToolTip(job.failureText());
    return;
  }
  Require<QProgressBar>(item, prefix_ + "-progress")->setValue(100);
  label->setText(QString::asprintf("%d%%", 100));
  label->setToolTip(job.outputPath());
  if (listKind_ == kListCompress) ShowCompressResult(item, job);
}

void ListToolPage::ShowCompressResult(QWidget* item, const TranscoderJob& job) {
  const RecordedFile* entry = context_.files->Find(job.itemIndex());
  if (entry == nullptr) return;
  const qint64 outputSize = QFileInfo(job.outputPath()).size();
  auto* sizeLabel = Require<QLabel>(item, "s1Label");
  auto* reductionLabel = Require<QLabel>(item, "y1Label");
  sizeLabel->setText(QString::fromStdString(FormatFileSize(outputSize)));
  if (entry->size <= 0) {
    reductionLabel->setText("--");  // no source size to compare with
    return;
  }
  const double percent =
      static_cast<double>(entry->size - outputSize) / static_cast<double>(entry->size) * 100.0;
  LOG(INFO) << "srcFile.fileSize: " << entry->size << " fileSize: " << outputSize
            << " percent: " << percent;
  reductionLabel->setText(QString::asprintf("%.2f%%", percent));
  reductionLabel->setStyleSheet(QString("color: %1;").arg(percent < 0 ? kReductionRed
                                                                       : kReductionGreen));
}

}  // namespace tarn::ui::tools
