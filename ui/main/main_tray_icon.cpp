#include "ui/main/main_tray_icon.h"

#include <utility>

#include "ui/framework/window_impl_base.h"
#include "ui/main/main_messages.h"

namespace tarn::ui {

QIcon ProgramIcon(int iconId) {
  const QString file = iconId == kTrayIconAlternate ? "app-icon-alt.png" : "app-icon.png";
  return QIcon(WindowImplBase::GetResourcePath() + file);
}

const QIcon& MainTrayIcon::Picture(int iconId) {
  // Loaded once: the icon changes every 800 ms while recording.
  QIcon& picture = iconId == kTrayIconAlternate ? alternatePicture_ : normalPicture_;
  if (picture.isNull()) picture = ProgramIcon(iconId);
  return picture;
}

MainTrayIcon::MainTrayIcon(QObject* owner) : owner_(owner) {}

MainTrayIcon::~MainTrayIcon() { Delete(); }

void MainTrayIcon::Add() {
  if (added_) return;
  icon_ = std::make_unique<QSystemTrayIcon>();
  connect(icon_.get(), &QSystemTrayIcon::activated, this, &MainTrayIcon::OnActivated);
  connect(icon_.get(), &QSystemTrayIcon::messageClicked, this, &MainTrayIcon::OnMessageClicked);
  added_ = true;
  Modify(kTrayIconNormal, UiText(kTrayTipIdle), QString());
  icon_->show();
}

void MainTrayIcon::Modify(int iconId, const QString& tip, const QString& balloon) {
  if (!added_) return;
  iconId_ = iconId;
  tip_ = tip;
  balloon_ = balloon;
  icon_->setIcon(Picture(iconId));
  icon_->setToolTip(toolTip());
  if (!balloon.isEmpty() && QSystemTrayIcon::isSystemTrayAvailable() &&
      QSystemTrayIcon::supportsMessages()) {
    balloonClicked_ = nullptr;
    icon_->showMessage(QString(), balloon, QSystemTrayIcon::NoIcon, 3000);
  }
}

void MainTrayIcon::SetElapsed(const QString& elapsed) {
  if (elapsed == elapsed_) return;
  elapsed_ = elapsed;
  if (added_) icon_->setToolTip(toolTip());
}

QString MainTrayIcon::toolTip() const { return elapsed_.isEmpty() ? tip_ : tip_ + " " + elapsed_; }

bool MainTrayIcon::ShowNotice(const QString& title, const QString& text,
                              std::function<void()> onClicked) {
  if (!added_ || !QSystemTrayIcon::isSystemTrayAvailable() || !QSystemTrayIcon::supportsMessages()) {
    return false;
  }
  balloonClicked_ = std::move(onClicked);
  icon_->showMessage(title, text, ProgramIcon(kTrayIconNormal), 10000);
  return true;
}

void MainTrayIcon::OnMessageClicked() {
  // A copy: what the click runs may show another balloon.
  if (std::function<void()> clicked = balloonClicked_) clicked();
}

void MainTrayIcon::Delete() {
  if (!added_) return;
  added_ = false;
  icon_->hide();
  icon_.reset();
}

void MainTrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason) {
  if (!owner_) return;
  if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
    PostMessage(owner_.data(), kWmTrayIcon, 0, kWmLButtonDown);
  } else if (reason == QSystemTrayIcon::Context) {
    PostMessage(owner_.data(), kWmTrayIcon, 0, kWmRButtonDown);
  }
}

}  // namespace tarn::ui
