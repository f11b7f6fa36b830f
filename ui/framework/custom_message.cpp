#include "ui/framework/custom_message.h"

#include <QCoreApplication>

namespace tarn::ui {

CustomMessageEvent::CustomMessageEvent(unsigned message, quintptr wParam, qintptr lParam)
    : QEvent(Type()), message_(message), wParam_(wParam), lParam_(lParam) {}

QEvent::Type CustomMessageEvent::Type() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

void PostMessage(QObject* target, unsigned message, quintptr wParam, qintptr lParam) {
  if (target == nullptr) return;
  QCoreApplication::postEvent(target, new CustomMessageEvent(message, wParam, lParam));
}

qintptr SendMessage(QObject* target, unsigned message, quintptr wParam, qintptr lParam) {
  if (target == nullptr) return 0;
  CustomMessageEvent event(message, wParam, lParam);
  QCoreApplication::sendEvent(target, &event);
  return event.result();
}

}  // namespace tarn::ui
