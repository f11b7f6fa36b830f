// The main window's actions on files and folders of the recordings list:
// the row menu's choices, showing a folder, and deleting a recording
// through the desktop's trash.

#include <glog/logging.h>

#include <QString>
#include <string>

#include "settings/settings_store.h"
#include "ui/framework/ui_text.h"
#include "ui/main/main_messages.h"
#include "ui/main/main_wnd.h"
#include "ui/main/message_box_dialog.h"
#include "ui/main/recorded_file_list.h"
#include "ui/main/rename_file_dialog.h"
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

void CMainWnd::OnFileMenu(unsigned message, quintptr wParam) {
  const FileMenuRequest request = UnpackFileMenuRequest(wParam);
  const RecordedFile* entry = fileList_->Find(request.index);
  if (entry == nullptr) return;
  switch (message) {
    case kWmFileOpenDir:
      OpenFolderOrSay(request.listKind == kListRecorded ? entry->directory : GetOutputDir(settings_));
      break;
    case kWmFileRemove:
      fileList_->Remove(request.listKind, request.index);
      break;
    case kWmFileDelete:
      // Only the recordings list deletes files.
      if (request.listKind != kListRecorded) break;
      DeleteRecording(request.index);
      break;
    case kWmFileRename: {
      QString newName;
      if (RenameFileDialog::Ask(this, QString::fromStdString(entry->fileName), &newName) == 1) {
        fileList_->Rename(request.index, newName.toStdString());
      }
      break;
    }
    default:
      break;
  }
}

}  // namespace tarn::ui
