// The main window's actions on files and folders of the recordings list:
// showing a folder, and deleting a recording through the desktop's trash.

#include <glog/logging.h>

#include <QString>
#include <string>

#include "ui/framework/ui_text.h"
#include "ui/main/main_wnd.h"
#include "ui/main/message_box_dialog.h"
#include "ui/main/recorded_file_list.h"
#include "ui/main/shell_actions.h"

namespace tarn::ui {

void CMainWnd::OpenFolderOrSay(const std::string& dir) {
  if (OpenFolder(dir)) return;
  LOG(ERROR) << "no file manager could be started to show " << dir;
  PromptBoxDialog::Show(this, UiText(kOpenFolderFailedText) + QString::fromStdString(dir));
}

void CMainWnd::DeleteRecording(int index) {
  const RecordedFile* entry = fileList_->Find(index);
  if (entry == nullptr) return;
  // Copies: the entry goes with its row.
  const QString name = QString::fromStdString(entry->fileName);
  const std::string path = entry->fullPath;
  if (MessageBoxDialog::Ask(this, UiText(kDeleteQuestionText).arg(name)) != 1) return;
  std::string why;
  if (fileList_->MoveToTrash(index, &why)) return;
  if (fileList_->Find(index) == nullptr) return;  // the row went while the question was open
  // No trash for this file (another file system without one, say): the file
  // is deleted for good only when the user says so again.
  const QString question =
      UiText(kDeleteForGoodQuestionText).arg(name, QString::fromStdString(why));
  if (MessageBoxDialog::Ask(this, question) != 1) {
    LOG(INFO) << "kept " << path << ": it cannot go to the trash and was not deleted for good";
    return;
  }
  if (!fileList_->Delete(index)) {
    PromptBoxDialog::Show(this, UiText(kDeleteFailedText) + QString::fromStdString(path));
  }
}

}  // namespace tarn::ui
