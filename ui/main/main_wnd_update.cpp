// The main window's part in the update check: the start-up check reports to
// the window, which hands the result to its update flow; the tray menu's check
// runs in the flow.

#include <utility>

#include "ui/main/main_wnd.h"
#include "ui/update/update_flow.h"

namespace tarn::ui {

void CMainWnd::CreateUpdateFlow() {
  UpdateFlow::Services services;
  services.settings = &settings_;
  services.showPrompt = services_.showPrompt;
  updateFlow_ = std::make_unique<UpdateFlow>(this, std::move(services));
}

void CMainWnd::OnUpdateChecked(const UpdateCheckResult& result) {
  // The start-up check starts after InitWindow made the flow and is joined
  // before the window goes.
  if (updateFlow_) updateFlow_->OnUpdateChecked(result);
}

}  // namespace tarn::ui
