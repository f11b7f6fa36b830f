#include "ui/tools/tool_pages.h"

#include <glog/logging.h>

#include <QBoxLayout>
#include <QDir>
#include <QFile>
#include <QSpacerItem>
#include <QSpinBox>
#include <QUiLoader>
#include <ctime>
#include <filesystem>

#include "settings/settings_store.h"
#include "ui/main/cut_page_player.h"
#include "ui/main/main_messages.h"
#include "ui/tools/cut_tools.h"
#include "ui/tools/list_tool_page.h"
#include "ui/tools/tool_commands.h"
#include "ui/tools/tool_jobs.h"

namespace tarn::ui::tools {
namespace {

// A number field shown with as many digits as its maximum has ("05", "007"),
// so that a time reads as a time.
class ZeroPaddedSpinBox : public QSpinBox {
 public:
  using QSpinBox::QSpinBox;

 protected:
  QString textFromValue(int value) const override {
    return QString("%1").arg(value, QString::number(maximum()).size(), 10, QChar('0'));
  }
};

// Number fields of the tool pages are zero-padded.
class ToolSkinLoader : public QUiLoader {
 public:
  QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
    if (className == "QSpinBox") {
      auto* field = new ZeroPaddedSpinBox(parent);
      field->setObjectName(name);
      return field;
    }
    return QUiLoader::createWidget(className, parent, name);
  }
};

}  // namespace

std::string ToolContext::NewOutputPath(const std::string& sourceFileName,
                                       const std::string& extension) const {
  const std::string dir = GetOutputDir(*settings);
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) LOG(ERROR) << "cannot make the output folder " << dir << ": " << error.message();
  const std::time_t now = std::time(nullptr);
  std::tm local {};
  localtime_r(&now, &local);
  const ToolJobs* running = jobs;
  return OutputPath(dir, sourceFileName, local, extension, [running](const std::string& path) {
    std::error_code existsError;
    return std::filesystem::exists(std::filesystem::symlink_status(path, existsError)) ||
           (running != nullptr && running->IsOutputInUse(path));
  });
}

QWidget* LoadSkinInto(QWidget* page, const QString& file) {
  QFile layoutFile(WindowImplBase::GetResourcePath() + file);
  if (!layoutFile.open(QIODevice::ReadOnly)) {
    throw WindowInitError(("CMainWnd::InitWindow: cannot open " + layoutFile.fileName()).toStdString());
  }
  ToolSkinLoader loader;
  loader.setWorkingDirectory(QDir(WindowImplBase::GetResourcePath()));
  QWidget* content = loader.load(&layoutFile, page);
  if (content == nullptr) {
    throw WindowInitError(("CMainWnd::InitWindow: cannot load " + file + ": " +
                           loader.errorString()).toStdString());
  }
  auto* layout = qobject_cast<QBoxLayout*>(page->layout());
  if (layout == nullptr) {
    throw WindowInitError(("CMainWnd::InitWindow: " + page->objectName() + " has no box layout")
                              .toStdString());
  }
  // A trailing spacer only held the placeholder page's texts up.
  const int last = layout->count() - 1;
  if (last >= 0 && layout->itemAt(last)->spacerItem() != nullptr) {
    delete layout->takeAt(last);
    layout->addWidget(content, 1);
  } else {
    layout->addWidget(content);
  }
  return content;
}

ToolPages::ToolPages(ToolContext context, CutPagePlayer* player)
    : context_(std::move(context)), jobs_(std::make_unique<ToolJobs>(context_.window)) {
  context_.jobs = jobs_.get();
  WindowImplBase* window = context_.window;
  QWidget* cutTools = LoadSkinInto(window->RequireControl<QWidget>("cutPage"), "CutTools.ui");
  QWidget* convertPage =
      LoadSkinInto(window->RequireControl<QWidget>("convertPage"), "ConvertPage.ui");
  QWidget* compressPage =
      LoadSkinInto(window->RequireControl<QWidget>("compressPage"), "CompressPage.ui");
  cut_ = new CutTools(context_, cutTools, player);
  convert_ = new ListToolPage(context_, kListConvert, convertPage);
  compress_ = new ListToolPage(context_, kListCompress, compressPage);
  for (QWidget* loaded : {cutTools, convertPage, compressPage}) window->BindControls(loaded);
}

ToolPages::~ToolPages() { jobs_->EndAll(); }

bool ToolPages::Notify(const TNotifyUI& msg) {
  return cut_->Notify(msg) || convert_->Notify(msg) || compress_->Notify(msg);
}

void ToolPages::HandleMessage(unsigned message, quintptr wParam) {
  if (message == kWmToolCancel) {
    const FileMenuRequest request = UnpackFileMenuRequest(wParam);
    const int jobType = request.listKind == kListConvert ? kJobConvert : kJobCompress;
    if (!jobs_->Cancel(jobType, request.index)) LOG(INFO) << "no running job to cancel";
    return;
  }
  const int id = static_cast<int>(wParam);
  TranscoderJob* job = jobs_->Find(id);
  if (job == nullptr) return;
  const bool finished = message == kWmToolFinished;
  switch (job->jobType()) {
    case kJobCut:
      finished ? cut_->ShowFinished(*job) : cut_->ShowProgress(*job);
      break;
    case kJobConvert:
      finished ? convert_->ShowFinished(*job) : convert_->ShowProgress(*job);
      break;
    case kJobCompress:
      finished ? compress_->ShowFinished(*job) : compress_->ShowProgress(*job);
      break;
    default:
      break;
  }
  if (finished) jobs_->Release(id);
}

}  // namespace tarn::ui::tools
