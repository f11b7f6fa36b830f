#pragma once
// The three tool pages of the main window (cut, convert, compress) and their
// running jobs. Each page's controls come from a skin file of its own,
// loaded into the page of the main window's layout. UI thread only.

#include <QString>
#include <memory>

#include "ui/framework/window_impl_base.h"
#include "ui/tools/tool_context.h"

namespace tarn::ui {
class CutPagePlayer;
}

namespace tarn::ui::tools {

class CutTools;
class ListToolPage;
class ToolJobs;

class ToolPages {
 public:
  // Loads the pages' skins into "cutPage", "convertPage" and "compressPage"
  // of `context.window` and binds their controls. Throws WindowInitError
  // when a skin or a control is missing.
  ToolPages(ToolContext context, CutPagePlayer* player);
  // Ends the running jobs.
  ~ToolPages();

  // Handles a notification of the tool pages' controls; false when it is
  // none of theirs.
  bool Notify(const TNotifyUI& msg);
  // kWmToolProgress, kWmToolFinished (wParam = the job's id), kWmToolCancel
  // (wParam = the packed item request).
  void HandleMessage(unsigned message, quintptr wParam);

  ToolJobs& jobs() { return *jobs_; }
  CutTools& cut() { return *cut_; }
  ListToolPage& convert() { return *convert_; }
  ListToolPage& compress() { return *compress_; }

 private:
  ToolContext context_;
  std::unique_ptr<ToolJobs> jobs_;
  CutTools* cut_ = nullptr;           // owned by its page's widgets
  ListToolPage* convert_ = nullptr;   // owned by its page's widgets
  ListToolPage* compress_ = nullptr;  // owned by its page's widgets
};

// Loads the skin file `file` and puts it at the end of `page`'s layout, in
// place of the layout's trailing spacer when it has one. Throws
// WindowInitError when it cannot be loaded.
QWidget* LoadSkinInto(QWidget* page, const QString& file);

}  // namespace tarn::ui::tools
