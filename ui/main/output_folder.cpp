#include "ui/main/output_folder.h"

#include <glog/logging.h>
#include <stdlib.h>
#include <unistd.h>

#include <QFileDialog>
#include <cerrno>
#include <cstring>

#include "settings/settings_store.h"
#include "ui/main/message_box_dialog.h"

namespace tarn::ui {

QString ChooseFolderWithDialog(QWidget* parent, const QString& title, const QString& start) {
  return QFileDialog::getExistingDirectory(parent, title, start, QFileDialog::ShowDirsOnly);
}

bool FolderIsWritable(const std::string& folder, std::string& why) {
  std::string pattern = folder + "/.tarnTmp-XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) {
    why = std::strerror(errno);
    return false;
  }
  ::close(fd);
  ::unlink(pattern.c_str());
  return true;
}

bool AcceptOutputFolder(QWidget* owner, SettingsStore& settings, const std::string& folder) {
  std::string why;
  if (!FolderIsWritable(folder, why)) {
    LOG(WARNING) << "the folder " << folder << " cannot be written (" << why
                 << "): the recordings stay in " << GetOutputDir(settings);
    PromptBoxDialog::Show(owner, UiText(kFolderNotWritableText));
    return false;
  }
  settings.SetString(kOutputDirType, "1");
  settings.SetString(kOutputDir, folder);
  LOG(INFO) << "recordings go to " << folder;
  return true;
}

}  // namespace tarn::ui
