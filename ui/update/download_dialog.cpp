#include "ui/update/download_dialog.h"

#include <glog/logging.h>
#include <pthread.h>

#include <QCoreApplication>
#include <QLabel>
#include <QMetaObject>
#include <QSlider>
#include <exception>
#include <system_error>
#include <utility>

#include "ui/main/main_messages.h"

namespace tarn::ui {

DownloadDialog::DownloadDialog(UpdateOffer offer, bool forced, Services services)
    : offer_(std::move(offer)), forced_(forced), services_(std::move(services)) {
  if (services_.folder.empty()) services_.folder = InstallerDownloadFolder();
  if (!services_.openInstaller) services_.openInstaller = OpenInstaller;
}

DownloadDialog::~DownloadDialog() {
  cancelled_ = true;
  if (worker_.joinable()) worker_.join();
}

int DownloadDialog::Run(QWidget* owner, const UpdateOffer& offer, bool forced, Services services) {
  DownloadDialog dialog(offer, forced, std::move(services));
  dialog.owner_ = owner;
  try {
    dialog.Create(owner, QString());
  } catch (const WindowInitError& error) {
    LOG(ERROR) << error.what();
    return 0;
  }
  dialog.CenterWindow();
  return dialog.ShowModal();
}

void DownloadDialog::InitWindow() {
  RequireControl<QLabel>("download-text")->setText(QStringLiteral("0%"));
  auto* slider = RequireControl<QSlider>("download-slider");
  slider->setValue(0);
  // The slider only shows the progress.
  slider->setAttribute(Qt::WA_TransparentForMouseEvents);
  RequireControl<QWidget>("cancel")->setFocus();
  try {
    worker_ = std::thread(&DownloadDialog::Work, this);
  } catch (const std::system_error& error) {
    LOG(ERROR) << "cannot start the download thread: " << error.what();
    // The dialog closes at once, as after a failed download.
    QMetaObject::invokeMethod(
        this, [this] { Finish(DownloadOutcome::kFailed, false); }, Qt::QueuedConnection);
  }
}

void DownloadDialog::Work() {
  pthread_setname_np(pthread_self(), "update-download");
  DownloadOutcome outcome = DownloadOutcome::kFailed;
  bool opened = false;
  try {
    DownloadRequest request{offer_.downloadUrl, services_.folder, offer_.sha256, services_.caFile};
    const DownloadResult result = DownloadInstaller(request, cancelled_, [this](int percent) {
      QMetaObject::invokeMethod(this, [this, percent] { ShowPercent(percent); }, Qt::QueuedConnection);
    });
    outcome = result.outcome;
    if (outcome == DownloadOutcome::kDone) opened = services_.openInstaller(result.path);
  } catch (const std::exception& error) {
    LOG(ERROR) << "download thread: " << error.what();
  }
  QMetaObject::invokeMethod(
      this, [this, outcome, opened] { Finish(outcome, opened); }, Qt::QueuedConnection);
}

void DownloadDialog::ShowPercent(int percent) {
  FindControl<QLabel>("download-text")->setText(QString::asprintf("%d%%", percent));
  FindControl<QSlider>("download-slider")->setValue(percent);
  if (services_.percentShown) services_.percentShown(percent);
}

void DownloadDialog::Finish(DownloadOutcome outcome, bool opened) {
  if (worker_.joinable()) worker_.join();
  finished_ = true;
  outcome_ = outcome;
  opened_ = opened;
  bool endProgram = false;
  if (outcome == DownloadOutcome::kDone) {
    if (opened) {
      endProgram = true;
    } else {
      LOG(ERROR) << "升级失败";
    }
  } else if (outcome == DownloadOutcome::kCancelled && forced_) {
    LOG(INFO) << "the forced update was cancelled: the program ends";
    endProgram = true;
  }
  if (endProgram) {
    if (services_.endProgram) {
      services_.endProgram();
    } else if (owner_ != nullptr) {
      PostMessage(owner_, kWmClose, kCloseForSessionEnd, 0);
    } else {
      QCoreApplication::exit(0);
    }
  }
  Close(1);
}

void DownloadDialog::Notify(const TNotifyUI& msg) {
  if (msg.sType == kNotifyClick && msg.senderName == "cancel") cancelled_ = true;
}

bool DownloadDialog::OnClose(quintptr wParam) {
  (void)wParam;
  if (finished_) return true;
  cancelled_ = true;
  return false;
}

}  // namespace tarn::ui
