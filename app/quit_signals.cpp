#include "app/quit_signals.h"

#include <fcntl.h>
#include <glog/logging.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

#include "ui/framework/custom_message.h"
#include "ui/main/main_messages.h"

namespace tarn {
namespace {


int signalPipe[2] = {-1, -1};

void OnQuitSignal(int number) {
  const char byte = static_cast<char>(number);
  // Only async-signal-safe calls here.
  [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

}  // namespace

QuitSignals::QuitSignals() = default;

QuitSignals::~QuitSignals() {
  if (signalPipe[0] < 0) return;
  for (int number : {SIGTERM, SIGINT, SIGHUP}) std::signal(number, SIG_DFL);
  ::close(signalPipe[0]);
  ::close(signalPipe[1]);
  signalPipe[0] = signalPipe[1] = -1;
}

bool QuitSignals::Install(QObject* window) {
  window_ = window;
  if (signalPipe[0] >= 0) return true;
  if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    PLOG(ERROR) << "cannot create the signal pipe";
    return false;
  }
  notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &QuitSignals::OnSignal);
  struct sigaction action {};
  action.sa_handler = OnQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int number : {SIGTERM, SIGINT, SIGHUP}) sigaction(number, &action, nullptr);
  return true;
}

void QuitSignals::OnSignal() {
  char byte = 0;
  while (::read(signalPipe[0], &byte, 1) == 1) {
    LOG(INFO) << "signal " << static_cast<int>(byte) << " received, closing the main window";
  }
  // A session end: the main window closes without asking, after finishing a
  // recording in progress.
  ui::PostMessage(window_.data(), ui::kWmClose, ui::kCloseForSessionEnd, 0);
}

}  // namespace tarn
