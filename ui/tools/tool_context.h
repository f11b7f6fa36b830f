#pragma once
// What the tool pages share: the main window they live in, the rows of the
// lists, the settings, the running jobs, the dialogs. UI thread only.

#include <QString>
#include <functional>
#include <string>

class QWidget;

namespace tarn {
class SettingsStore;
}

namespace tarn::ui {
class RecordedFileList;
class WindowImplBase;
}  // namespace tarn::ui

namespace tarn::ui::tools {

class ToolJobs;

struct ToolContext {
  WindowImplBase* window = nullptr;
  RecordedFileList* files = nullptr;
  SettingsStore* settings = nullptr;
  ToolJobs* jobs = nullptr;
  // The open-file dialog: (parent) → the chosen video, empty when cancelled.
  std::function<QString(QWidget*)> chooseVideoFile;
  // Shows a notice to the user (a modal prompt in the program).
  std::function<void(const QString&)> prompt;

  // A new output file in the output folder for `sourceFileName` with
  // `extension`, never the name of an existing file or of another running
  // job's output; the folder is made when missing.
  std::string NewOutputPath(const std::string& sourceFileName, const std::string& extension) const;
};

}  // namespace tarn::ui::tools
