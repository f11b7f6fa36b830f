#include "ui/main/finished_notice.h"

#include <glog/logging.h>

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>
#include <utility>

#include "ui/framework/window_impl_base.h"

namespace tarn::ui {
namespace {

// A service that does not answer within this long is taken as absent, and
// the balloon shows instead.
constexpr int kNotifyTimeoutMs = 5000;
// Notices kept for their actions: older ones are forgotten once more are
// shown than this (a service that never reports closing them).
constexpr std::size_t kMaxShownNotices = 32;
// Expiry -1: the service's own default.
constexpr int kServerDefaultExpiryMs = -1;

std::pair<std::string, std::string> SplitPath(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? std::string("/") : path.substr(0, slash), path.substr(slash + 1)};
}

QDBusMessage NotificationsCall(const char* method) {
  return QDBusMessage::createMethodCall(kNotificationsService, kNotificationsPath,
                                        kNotificationsInterface, method);
}

}  // namespace

QString FinishedNoticeBody(const std::string& path, bool markup) {
  const auto [dir, name] = SplitPath(path);
  QString nameText = QString::fromStdString(name);
  QString dirText = QString::fromStdString(dir);
  // File and folder names may hold "&" or "<", which a service reading
  // markup would take for tags.
  if (markup) {
    nameText = nameText.toHtmlEscaped();
    dirText = dirText.toHtmlEscaped();
  }
  return nameText + "\n" + UiText(kNoticeSavedIn) + dirText;
}

QStringList FinishedNoticeActions() {
  return {kNoticeActionDefault, UiText(kNoticeOpenLabel),
          kNoticeActionPlay,    UiText(kNoticePlayLabel),
          kNoticeActionFolder,  UiText(kNoticeFolderLabel)};
}

FinishedNotice::FinishedNotice(QDBusConnection bus, Services services, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), services_(std::move(services)) {
  if (!bus_.isConnected()) return;
  // The service's signals reach every program on the bus; only the ids of
  // this program's notices are acted upon.
  const bool actions = bus_.connect(kNotificationsService, kNotificationsPath, kNotificationsInterface,
                                    "ActionInvoked", this, SLOT(OnActionInvoked(uint, QString)));
  const bool closed = bus_.connect(kNotificationsService, kNotificationsPath, kNotificationsInterface,
                                   "NotificationClosed", this, SLOT(OnNotificationClosed(uint, uint)));
  if (!actions || !closed) {
    LOG(WARNING) << "cannot follow the notification service's signals: its buttons will do nothing";
  }
}

FinishedNotice::~FinishedNotice() {
  // Pending calls are children of this object: their replies go with it.
  if (!bus_.isConnected()) return;
  bus_.disconnect(kNotificationsService, kNotificationsPath, kNotificationsInterface, "ActionInvoked",
                  this, SLOT(OnActionInvoked(uint, QString)));
  bus_.disconnect(kNotificationsService, kNotificationsPath, kNotificationsInterface,
                  "NotificationClosed", this, SLOT(OnNotificationClosed(uint, uint)));
}

void FinishedNotice::Announce(const std::string& path) {
  if (shutDown_) {
    LOG(INFO) << "not announced, the program is closing: " << path;
    return;
  }
  announced_.push_back(path);
  if (!bus_.isConnected()) {
    ShowBalloon(path, "no session bus");
    return;
  }
  // The service's capabilities tell whether the body is read as markup; the
  // question also finds out whether a service runs at all.
  auto* watcher = new QDBusPendingCallWatcher(
      bus_.asyncCall(NotificationsCall("GetCapabilities"), kNotifyTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, path](QDBusPendingCallWatcher* call) {
    call->deleteLater();
    const QDBusPendingReply<QStringList> reply = *call;
    if (reply.isError()) {
      ShowBalloon(path, reply.error().message());
      return;
    }
    Notify(path, reply.value().contains("body-markup"));
  });
}

void FinishedNotice::Notify(const std::string& path, bool markup) {
  QDBusMessage message = NotificationsCall("Notify");
  message << QString::fromUtf8(kNoticeAppName) << uint(0)
          << WindowImplBase::GetResourcePath() + "app-icon.png" << UiText(kNoticeSummary)
          << FinishedNoticeBody(path, markup) << FinishedNoticeActions() << QVariantMap()
          << kServerDefaultExpiryMs;
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message, kNotifyTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, path](QDBusPendingCallWatcher* call) {
    call->deleteLater();
    const QDBusPendingReply<uint> reply = *call;
    if (reply.isError()) {
      ShowBalloon(path, reply.error().message());
      return;
    }
    lastId_ = reply.value();
    shown_[lastId_] = path;
    while (shown_.size() > kMaxShownNotices) shown_.erase(shown_.begin());
    LOG(INFO) << "desktop notice " << lastId_ << " for " << path;
    Finish(Way::kDesktop);
  });
}

void FinishedNotice::ShowBalloon(const std::string& path, const QString& why) {
  LOG(INFO) << "no desktop notification (" << why.toStdString() << "): the tray balloon tells of "
            << path;
  if (services_.balloon &&
      services_.balloon(UiText(kNoticeSummary), FinishedNoticeBody(path, false),
                        [this, path] { OpenFile(path); })) {
    Finish(Way::kBalloon);
    return;
  }
  LOG(WARNING) << "neither a notification service nor a tray balloon can tell that " << path
               << " is complete";
  Finish(Way::kNowhere);
}

void FinishedNotice::Finish(Way way) {
  lastWay_ = way;
  emit Shown(way);
}

void FinishedNotice::OnActionInvoked(uint id, const QString& action) {
  const auto found = shown_.find(id);
  if (found == shown_.end()) return;
  const std::string path = found->second;
  if (action == kNoticeActionDefault || action == kNoticeActionPlay) {
    OpenFile(path);
  } else if (action == kNoticeActionFolder) {
    OpenFolderOf(path);
  } else {
    LOG(WARNING) << "unknown action \"" << action.toStdString() << "\" on the notice of " << path;
  }
}

void FinishedNotice::Shutdown() {
  shutDown_ = true;
  shown_.clear();
}

void FinishedNotice::OnNotificationClosed(uint id, uint /*reason*/) { shown_.erase(id); }

void FinishedNotice::OpenFile(const std::string& path) {
  if (services_.openFile && services_.openFile(path)) return;
  LOG(ERROR) << "no program could be started to play " << path;
  if (services_.tellUser) {
    services_.tellUser(UiText(kNoticeCannotPlayText) + QString::fromStdString(path));
  }
}

void FinishedNotice::OpenFolderOf(const std::string& path) {
  const std::string dir = SplitPath(path).first;
  if (services_.openFolder && services_.openFolder(dir)) return;
  LOG(ERROR) << "no file manager could be started for " << dir;
  if (services_.tellUser) {
    services_.tellUser(UiText(kNoticeCannotOpenFolderText) + QString::fromStdString(dir));
  }
}

}  // namespace tarn::ui
