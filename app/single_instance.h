#pragma once
// One running copy of the program per user session.
//
// The first process takes a lock file and listens on a local socket, both named
// "TarnRecorderProcessMutex" in the user's runtime folder. A later process
// finds the lock taken, asks the first one over the socket to bring its main
// window forward, and ends. UI thread only.

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

namespace tarn {

inline constexpr const char* kInstanceMutexName = "TarnRecorderProcessMutex";

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  // `runtimeDir` holds the lock and the socket.
  explicit SingleInstance(const QString& runtimeDir);
  ~SingleInstance() override;

  // True when this process is now the only instance; it then serves activation
  // requests for as long as this object lives.
  bool Acquire();

  // Asks the running instance to bring its window forward, waiting at most
  // `timeoutMs` for it to answer. True when it found its window.
  bool ActivateRunningInstance(int timeoutMs);

  // Restores, shows and raises the top-level window marked as the main
  // window, and any modal dialog of it. False when no window carries the mark.
  static bool ActivateMarkedWindow();

 private:
  void OnNewConnection();

  QString socketPath_;
  QLockFile lock_;
  std::unique_ptr<QLocalServer> server_;
};

}  // namespace tarn
