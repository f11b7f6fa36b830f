#pragma once
// Choosing the folder recordings are written to, shared by the record page
// and the settings dialog: the folder dialog, the check that a file can be
// made in the chosen folder, and storing it.

#include <QString>
#include <string>

#include "ui/framework/ui_text.h"

class QWidget;

namespace tarn {
class SettingsStore;
}

namespace tarn::ui {

// Shown when a chosen folder cannot be written.
inline constexpr const char* kFolderNotWritableText = QT_TRANSLATE_NOOP("TarnRecorder", "该目录没有写入权限!");
inline constexpr const char* kChooseFolderTitle = QT_TRANSLATE_NOOP("TarnRecorder", "选择视频存放目录");

// Qt's folder dialog: (parent, title, start folder) → the folder, empty when
// cancelled.
QString ChooseFolderWithDialog(QWidget* parent, const QString& title, const QString& start);

// Whether a file can be made in `folder`: one of a unique name is created and
// removed (a file of the user's is never touched). `why` says what failed.
bool FolderIsWritable(const std::string& folder, std::string& why);

// Makes `folder` the output folder when a file can be made there: writes
// "output-dir" and "output-dir-type" = 1 and returns true. Otherwise logs
// why, shows "该目录没有写入权限!" over `owner` and changes nothing.
bool AcceptOutputFolder(QWidget* owner, SettingsStore& settings, const std::string& folder);

}  // namespace tarn::ui
