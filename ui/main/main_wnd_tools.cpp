// The main window's cut, convert and compress pages: made in InitWindow,
// ended (with their jobs) when the window closes.

#include "ui/framework/ui_text.h"
#include "ui/main/cut_page_player.h"
#include "ui/main/main_messages.h"
#include "ui/main/main_wnd.h"
#include "ui/main/message_box_dialog.h"
#include "ui/tools/cut_tools.h"
#include "ui/tools/tool_jobs.h"
#include "ui/tools/tool_pages.h"

namespace tarn::ui {

void CMainWnd::CreateToolPages() {
  if (!services_.showPrompt) {
    services_.showPrompt = [](QWidget* parent, const QString& text) {
      PromptBoxDialog::Show(parent, text);
    };
  }
  tools::ToolContext context;
  context.window = this;
  context.files = fileList_.get();
  context.settings = &settings_;
  context.chooseVideoFile = services_.chooseVideoFile;
  context.prompt = [this](const QString& text) { services_.showPrompt(this, text); };
  tools_ = std::make_unique<tools::ToolPages>(std::move(context), cutPlayer_);
  // A new file on the cut page starts with no positions chosen.
  cutPlayer_->SetOpenedCallback([this] { tools_->cut().ResetPositions(); });
}

bool CMainWnd::AskToEndToolJobs(quintptr wParam) {
  if (tools_ == nullptr || tools_->jobs().RunningCount() == 0) return true;
  return wParam == kCloseForSessionEnd ||
         MessageBoxDialog::Ask(this, UiText(kQuitWhileJobsText)) == 1;
}

bool CMainWnd::EndToolJobs() {
  if (tools_ != nullptr) tools_->jobs().EndAll();
  return true;
}

}  // namespace tarn::ui
