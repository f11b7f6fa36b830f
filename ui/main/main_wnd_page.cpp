// The record page's dependent states and the window's fit on small or scaled
// screens.

#include <QAbstractButton>
#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QSlider>

#include "ui/main/main_wnd.h"

namespace tarn::ui {
namespace {

// Room left for the window manager's frame (title bar and borders), in
// logical pixels; the frame's real size is known only once the window shows.
constexpr int kFrameAllowanceWidth = 16;
constexpr int kFrameAllowanceHeight = 48;

}  // namespace

void CMainWnd::ShowSoundChoicesEnabled() {
  // With no sound recorded, the choices of which sound mean nothing.
  const bool sound = !audioMuteCheck_->isChecked();
  for (QAbstractButton* option : voiceSourceOptions_) option->setEnabled(sound);
  microphoneCheck_->setEnabled(sound);
  voiceSlider_->setEnabled(sound);
  voiceSizeLabel_->setEnabled(sound);
}

void CMainWnd::FitToScreen() {
  QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  const QSize room(area.width() - kFrameAllowanceWidth, area.height() - kFrameAllowanceHeight);
  // The layout's size where the screen allows it, never below the minimum
  // (which fits a 1920x1080 screen at twice the scale).
  const QSize fitted = size().boundedTo(room).expandedTo(minimumSize());
  if (fitted != size()) resize(fitted);
}

}  // namespace tarn::ui
