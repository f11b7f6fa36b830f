#pragma once
// The convert page and the compress page: a list of added videos, each with
// its own start button, menu, progress bar and label, and the page's output
// choices (container and frame size; for compress also the quality). Each
// item runs its own job; several run at once. UI thread only.

#include <QObject>
#include <QString>

#include "ui/framework/window_impl_base.h"
#include "ui/tools/tool_context.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QSlider;

namespace tarn::ui::tools {

class TranscoderJob;

class ListToolPage : public QObject {
  Q_OBJECT

 public:
  // `listKind` is kListConvert or kListCompress; `page` the loaded
  // "ConvertPage.ui" or "CompressPage.ui".
  ListToolPage(ToolContext& context, int listKind, QWidget* page);

  bool Notify(const TNotifyUI& msg);
  // Adds a video to the list; its index, or -1.
  int AddFile(const QString& path);
  // Starts the item's job as its button does; the job's id, or 0.
  int Start(int index);
  void ShowProgress(const TranscoderJob& job);
  void ShowFinished(const TranscoderJob& job);

  int listKind() const { return listKind_; }
  int jobType() const;
  QListWidget* list() const { return list_; }

 private:
  std::vector<std::string> CompressCommand(const std::string& source, const std::string& output);
  std::string OutputExtension() const;
  QWidget* Item(int index) const;
  void ShowCompressResult(QWidget* item, const TranscoderJob& job);

  ToolContext& context_;
  int listKind_;
  QString prefix_;  // "convert" or "compress"
  QListWidget* list_ = nullptr;
  QComboBox* ratio_ = nullptr;
  // Convert only.
  QComboBox* format_ = nullptr;
  // Compress only.
  QAbstractButton* types_[3] = {};
  QCheckBox* customCheck_ = nullptr;
  QSlider* customSlider_ = nullptr;
  QLabel* customValue_ = nullptr;
  QCheckBox* balancedCheck_ = nullptr;
  QAbstractButton* mp4Radio_ = nullptr;
  QAbstractButton* flvRadio_ = nullptr;
};

}  // namespace tarn::ui::tools
