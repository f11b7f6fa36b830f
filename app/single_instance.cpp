#include "app/single_instance.h"

#include <glog/logging.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QThread>
#include <QWidget>

#include "ui/main/main_wnd.h"

namespace tarn {
namespace {

constexpr char kActivateRequest[] = "activate\n";

}  // namespace

SingleInstance::SingleInstance(const QString& runtimeDir)
    : socketPath_(runtimeDir + "/" + kInstanceMutexName),
      lock_(runtimeDir + "/" + kInstanceMutexName + ".lock") {}

SingleInstance::~SingleInstance() {
  if (server_) server_->close();
}

bool SingleInstance::Acquire() {
  // A lock left behind by a process that died is taken over by tryLock.
  if (!lock_.tryLock(0)) return false;
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  QLocalServer::removeServer(socketPath_);  // a socket file left by a crashed instance
  if (!server_->listen(socketPath_)) {
    // The program still runs; only later starts cannot reach it.
    LOG(ERROR) << "cannot listen on " << socketPath_.toStdString() << ": "
               << server_->errorString().toStdString();
    return true;
  }
  connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstance::OnNewConnection);
  return true;
}

bool SingleInstance::ActivateRunningInstance(int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  // The first instance may hold the lock a moment before it listens.
  while (timer.elapsed() < timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (socket.waitForConnected(200)) {
      socket.write(kActivateRequest);
      socket.waitForBytesWritten(500);
      const int left = std::max(100, timeoutMs - static_cast<int>(timer.elapsed()));
      if (socket.waitForReadyRead(left)) return socket.readAll().startsWith('1');
      return false;
    }
    QThread::msleep(100);
  }
  return false;
}

bool SingleInstance::ActivateMarkedWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->property(ui::kInstanceMarkerProperty).toInt() != 1) continue;
    if (widget->isMinimized()) widget->showNormal();
    widget->show();
    widget->raise();
    widget->activateWindow();
    // A modal dialog of the first instance comes up in front of its window.
    if (QWidget* modal = QApplication::activeModalWidget()) {
      modal->raise();
      modal->activateWindow();
    }
    return true;
  }
  return false;
}

void SingleInstance::OnNewConnection() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [socket]() {
      if (!socket->canReadLine()) return;
      const QByteArray request = socket->readLine();
      if (request != kActivateRequest) {
        socket->disconnectFromServer();
        return;
      }
      const bool found = ActivateMarkedWindow();
      LOG(INFO) << "a second start asked for the main window; found: " << found;
      socket->write(found ? "1\n" : "0\n");
      socket->flush();
      socket->disconnectFromServer();
    });
  }
}

}  // namespace tarn
