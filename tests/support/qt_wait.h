#pragma once
// Test helpers for Qt windows: running the event loop until something
// happened, and answering a modal dialog once it shows.

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QTimer>
#include <chrono>
#include <functional>
#include <thread>

namespace tarn::test {

// Runs the event loop until `done` holds or `timeoutMs` passed; returns
// whether it holds.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Runs the event loop for `ms` milliseconds.
inline void RunEvents(int ms) {
  WaitUntil([] { return false; }, ms);
}

// The first visible top-level window whose class is `windowClass`, or null.
inline QWidget* VisibleWindowOfClass(const QString& windowClass) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->isVisible() && widget->property("windowClass").toString() == windowClass) {
      return widget;
    }
  }
  return nullptr;
}

// Once a window of `windowClass` shows (polled while modal loops run), calls
// `answer` with it. `shownText`, when given, receives its "msgText" label.
inline void AnswerWhenShown(const QString& windowClass, std::function<void(QWidget*)> answer,
                            QString* shownText = nullptr, int attempts = 400) {
  QTimer::singleShot(10, [=] {
    if (QWidget* window = VisibleWindowOfClass(windowClass)) {
      if (shownText != nullptr) {
        if (auto* label = window->findChild<QLabel*>("msgText")) *shownText = label->text();
      }
      answer(window);
    } else if (attempts > 0) {
      AnswerWhenShown(windowClass, answer, shownText, attempts - 1);
    }
  });
}

// Clicks `button` of the window of `windowClass` once it shows.
inline void ClickWhenShown(const QString& windowClass, const QString& button,
                           QString* shownText = nullptr) {
  AnswerWhenShown(
      windowClass,
      [button](QWidget* window) {
        if (auto* target = window->findChild<QPushButton*>(button)) target->click();
      },
      shownText);
}

}  // namespace tarn::test
