#pragma once
// Private window messages: numbered events with two parameters, posted to a
// window from any thread and handled on the UI thread.

#include <QEvent>
#include <QObject>
#include <QtGlobal>

namespace tarn::ui {

// Message numbers keep the desktop convention: private messages lie above
// kWmUser; a few system numbers are reused for the same meaning.
inline constexpr unsigned kWmClose = 0x0010;
inline constexpr unsigned kWmTimer = 0x0113;
inline constexpr unsigned kWmHotKey = 0x0312;
inline constexpr unsigned kWmUser = 0x0400;

// One private message on its way to a window.
class CustomMessageEvent : public QEvent {
 public:
  CustomMessageEvent(unsigned message, quintptr wParam, qintptr lParam);

  // The event type shared by every private message, registered once.
  static QEvent::Type Type();

  unsigned message() const { return message_; }
  quintptr wParam() const { return wParam_; }
  qintptr lParam() const { return lParam_; }

  // What the handler answered; read back by SendMessage.
  qintptr result() const { return result_; }
  void setResult(qintptr result) { result_ = result; }

 private:
  unsigned message_;
  quintptr wParam_;
  qintptr lParam_;
  qintptr result_ = 0;
};

// Queues a message for `target`; returns at once. Safe from any thread as long
// as `target` outlives the call. The event is dropped if `target` is deleted
// before it is delivered.
void PostMessage(QObject* target, unsigned message, quintptr wParam = 0, qintptr lParam = 0);

// Delivers a message to `target` now and returns the handler's result (0 when
// nothing handled it). UI thread only.
qintptr SendMessage(QObject* target, unsigned message, quintptr wParam = 0, qintptr lParam = 0);

}  // namespace tarn::ui
