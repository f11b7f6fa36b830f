#include "ui/main/shell_actions.h"

#include <glog/logging.h>

#include <QDesktopServices>
#include <QFile>
#include <utility>

namespace tarn::ui {
namespace {

constexpr const char* kWebSite = "https://www.tarnrecorder.com";

struct TestHooks {
  std::function<void(const QUrl&)> opener;
  bool opens = true;
  std::function<bool(const std::string&)> trash;
};

TestHooks& Hooks() {
  static TestHooks hooks;
  return hooks;
}

bool Open(const QUrl& url) {
  if (Hooks().opener) {
    Hooks().opener(url);
    return Hooks().opens;
  }
  if (!QDesktopServices::openUrl(url)) {
    LOG(ERROR) << "the desktop could not open " << url.toString().toStdString();
    return false;
  }
  return true;
}

}  // namespace

bool OpenWithDefaultProgram(const std::string& path) {
  return Open(QUrl::fromLocalFile(QString::fromStdString(path)));
}

bool OpenFolder(const std::string& dir) {
  return Open(QUrl::fromLocalFile(QString::fromStdString(dir)));
}

void OpenWebPage(const QString& url) { Open(QUrl(url)); }

QString WebPageUrl(const QString& path) { return QString::fromLatin1(kWebSite) + path; }

bool MoveToTrash(const std::string& path, std::string* why) {
  if (Hooks().trash) {
    const bool trashed = Hooks().trash(path);
    if (!trashed && why != nullptr) *why = "no trash (test)";
    return trashed;
  }
  QFile file(QString::fromStdString(path));
  if (!file.moveToTrash()) {
    if (why != nullptr) *why = file.errorString().toStdString();
    LOG(WARNING) << "cannot move " << path << " to the trash: " << file.errorString().toStdString();
    return false;
  }
  LOG(INFO) << "moved " << path << " to the trash as " << file.fileName().toStdString();
  return true;
}

void SetDesktopOpenerForTesting(std::function<void(const QUrl&)> opener, bool opens) {
  Hooks().opener = std::move(opener);
  Hooks().opens = opens;
}

void SetTrashForTesting(std::function<bool(const std::string&)> trash) {
  Hooks().trash = std::move(trash);
}

}  // namespace tarn::ui
