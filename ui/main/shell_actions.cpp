#include "ui/main/shell_actions.h"

#include <glog/logging.h>

#include <QDesktopServices>
#include <utility>

namespace tarn::ui {
namespace {

constexpr const char* kWebSite = "https://www.tarnrecorder.com";

std::function<void(const QUrl&)>& TestOpener() {
  static std::function<void(const QUrl&)> opener;
  return opener;
}

bool Open(const QUrl& url) {
  if (TestOpener()) {
    TestOpener()(url);
    return true;
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

bool OpenFolder(const std::string& dir) { return Open(QUrl::fromLocalFile(QString::fromStdString(dir))); }

void OpenWebPage(const QString& url) { Open(QUrl(url)); }

QString WebPageUrl(const QString& path) { return QString::fromLatin1(kWebSite) + path; }

void SetDesktopOpenerForTesting(std::function<void(const QUrl&)> opener) {
  TestOpener() = std::move(opener);
}

}  // namespace tarn::ui
