#pragma once
// A private D-Bus daemon for one test, and a notification service on it that
// records the Notify calls and can send the service's signals.

#include <signal.h>
#include <stdio.h>

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "ui/main/finished_notice.h"

namespace tarn::test {

// A bus daemon with nothing to start on demand: a name has an owner only when
// the test gives it one.
class PrivateBus {
 public:
  PrivateBus() {
    if (std::system("command -v dbus-daemon >/dev/null 2>&1") != 0) {
      problem_ = "dbus-daemon is not installed";
      return;
    }
    const std::string config = dir_ / "bus.conf";
    std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                             " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                             "<busconfig><type>session</type><listen>unix:dir=" << dir_.path()
                          << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                             "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                             "<allow own=\"*\"/></policy></busconfig>\n";
    const std::string command =
        "dbus-daemon --fork --print-address=1 --print-pid=1 --config-file=" + config;
    FILE* out = ::popen(command.c_str(), "r");
    if (out == nullptr) {
      problem_ = "dbus-daemon cannot be started";
      return;
    }
    char line[1024];
    if (std::fgets(line, sizeof line, out) != nullptr) address_ = Trimmed(line);
    if (std::fgets(line, sizeof line, out) != nullptr) pid_ = std::atoi(line);
    ::pclose(out);
    if (address_.empty() || pid_ <= 0) problem_ = "dbus-daemon printed no address";
  }
  ~PrivateBus() {
    for (const QString& name : names_) QDBusConnection::disconnectFromBus(name);
    if (pid_ > 0) ::kill(pid_, SIGTERM);
  }
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;

  // Empty when the bus runs; else why not.
  const std::string& problem() const { return problem_; }
  // A new connection to the bus under the Qt connection name `name`.
  QDBusConnection Connect(const QString& name) {
    names_.push_back(name);
    return QDBusConnection::connectToBus(QString::fromStdString(address_), name);
  }

 private:
  static std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
  }

  TempDir dir_;
  std::string address_;
  int pid_ = 0;
  std::string problem_;
  std::vector<QString> names_;
};

// org.freedesktop.Notifications as the test plays it.
class TestNotificationServer : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  struct Call {
    QString appName;
    uint replacesId = 0;
    QString appIcon;
    QString summary;
    QString body;
    QStringList actions;
    int expireTimeoutMs = 0;
  };

  // Owns the service's name on `bus`; false when it cannot.
  bool Serve(QDBusConnection bus) {
    bus_ = bus;
    return bus_.registerObject(ui::kNotificationsPath, this, QDBusConnection::ExportAllSlots) &&
           bus_.registerService(ui::kNotificationsService);
  }
  // Sends ActionInvoked(id, action) or NotificationClosed(id, reason).
  void InvokeAction(uint id, const QString& action) {
    bus_.send(Signal("ActionInvoked") << id << action);
  }
  void Close(uint id, uint reason = 2) { bus_.send(Signal("NotificationClosed") << id << reason); }

  std::vector<Call> calls;
  QStringList capabilities{"actions", "body"};
  bool failNotify = false;  // Notify answers with an error

 public slots:
  QStringList GetCapabilities() { return capabilities; }
  uint Notify(const QString& appName, uint replacesId, const QString& appIcon, const QString& summary,
              const QString& body, const QStringList& actions, const QVariantMap& /*hints*/,
              int expireTimeout) {
    if (failNotify) {
      sendErrorReply(QDBusError::Failed, "the test's service refuses");
      return 0;
    }
    calls.push_back({appName, replacesId, appIcon, summary, body, actions, expireTimeout});
    return nextId_++;
  }
  void CloseNotification(uint /*id*/) {}

 private:
  static QDBusMessage Signal(const char* name) {
    return QDBusMessage::createSignal(ui::kNotificationsPath, ui::kNotificationsInterface, name);
  }

  QDBusConnection bus_{QString()};
  uint nextId_ = 41;
};

}  // namespace tarn::test
