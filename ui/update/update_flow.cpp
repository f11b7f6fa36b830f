#include "ui/update/update_flow.h"

#include <glog/logging.h>

#include <QCoreApplication>
#include <QMetaObject>
#include <utility>

#include "settings/settings_store.h"
#include "tarn_version.h"
#include "ui/main/message_box_dialog.h"

namespace tarn::ui {
namespace {

QString Text(const char* source) { return QCoreApplication::translate("UpdateFlow", source); }

}  // namespace

UpdateFlow::UpdateFlow(QWidget* owner, Services services)
    : owner_(owner), services_(std::move(services)) {
  if (services_.settings == nullptr) services_.settings = &SettingsStore::Instance();
  if (!services_.showPrompt) {
    services_.showPrompt = [](QWidget* parent, const QString& text) { PromptBoxDialog::Show(parent, text); };
  }
  if (!services_.ask) services_.ask = &MessageBoxDialog::Ask;
  if (!services_.runDownload) {
    services_.runDownload = [this](QWidget* parent, const UpdateOffer& offer, bool forced) {
      DownloadDialog::Run(parent, offer, forced, services_.download);
    };
  }
}

UpdateFlow::~UpdateFlow() { manualCheck_.reset(); }

void UpdateFlow::CheckNow() {
  if (checking() || presenting_) {
    LOG(INFO) << "an update check is already under way";
    return;
  }
#if !TARN_UPDATE_CHECK
  LOG(INFO) << "this build makes no update checks";
#else
  manualCheck_ = std::make_unique<UpdateChecker>(this, services_.settings, UpdateCheckKind::kManual);
  if (!manualCheck_->Start()) manualCheck_.reset();
#endif
}

bool UpdateFlow::checking() const { return manualCheck_ != nullptr && !manualCheck_->finished(); }

void UpdateFlow::OnUpdateChecked(const UpdateCheckResult& result) {
  QMetaObject::invokeMethod(this, [this, result] { Present(result); }, Qt::QueuedConnection);
}

void UpdateFlow::Present(const UpdateCheckResult& result) {
  // One conversation at a time: a second answer while one is on screen is
  // dropped (the user is already being told).
  if (presenting_) return;
  presenting_ = true;
  QWidget* owner = owner_.data();
  if (result.verdict == ReplyVerdict::kNotNewer) {
    if (result.kind == UpdateCheckKind::kManual) services_.showPrompt(owner, Text(kNoNewVersionText));
  } else if (result.verdict == ReplyVerdict::kNewer) {
    if (services_.download.caFile.empty()) services_.download.caFile = result.caFile;
    if (result.offer.forced) {
      services_.showPrompt(owner, Text(kNewVersionText));
      services_.runDownload(owner, result.offer, true);
    } else if (services_.ask(owner, Text(kNewVersionText)) == 1) {
      services_.runDownload(owner, result.offer, false);
    }
  }
  presenting_ = false;
}

}  // namespace tarn::ui
