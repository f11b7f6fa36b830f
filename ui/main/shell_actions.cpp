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

void Open(const QUrl& url) {
  if (TestOpener()) {
    TestOpener()(url);
    return;
  }
  if (!QDesktopServices::openUrl(url)) {
    LOG(ERROR) << "the desktop could not open " << url.toString().toStdString();
  }
}

}  // namespace

void OpenWithDefaultProgram(const std::string& path) {
  Open(QUrl::fromLocalFile(QString::fromStdString(path)));
}

void OpenFolder(const std::string& dir) { Open(QUrl::fromLocalFile(QString::fromStdString(dir))); }

void OpenWebPage(const QString& url) { Open(QUrl(url)); }

QString WebPageUrl(const QString& path) { return QString::fromLatin1(kWebSite) + path; }

void SetDesktopOpenerForTesting(std::function<void(const QUrl&)> opener) {
  TestOpener() = std::move(opener);
}

}  // namespace tarn::ui
