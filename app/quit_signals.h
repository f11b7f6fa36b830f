#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into an orderly quit of the program: the
// main window receives a close request that asks nothing and finishes a
// recording in progress before the window closes.

#include <QObject>
#include <QPointer>

class QSocketNotifier;

namespace tarn {

class QuitSignals : public QObject {
  Q_OBJECT

 public:
  QuitSignals();
  ~QuitSignals() override;

  // Installs the handlers; `window` receives the close request. False when the
  // signal pipe cannot be made (the signals then keep their default action).
  bool Install(QObject* window);

 private:
  void OnSignal();

  QPointer<QObject> window_;
  QSocketNotifier* notifier_ = nullptr;  // child of this object
};

}  // namespace tarn
