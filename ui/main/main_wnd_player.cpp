// The main window's cut page player: made in InitWindow, fed by the page's
// "add-video-file" button and by the list's cut button.

#include <QFileDialog>
#include <QStackedWidget>
#include <glog/logging.h>

#include "ui/framework/ui_text.h"
#include "ui/main/cut_page_player.h"
#include "ui/main/main_wnd.h"

namespace tarn::ui {

namespace {

constexpr const char* kVideoFileFilter = QT_TRANSLATE_NOOP("TarnRecorder", "Video (*.mp4 *.flv *.wmv *.avi *.mov *.mkv *.3gp)");

QString ChooseVideoWithDialog(QWidget* parent) {
  return QFileDialog::getOpenFileName(parent, QString(), QString(), UiText(kVideoFileFilter));
}

}  // namespace

void CMainWnd::CreateCutPagePlayer() {
  if (!services_.chooseVideoFile) services_.chooseVideoFile = ChooseVideoWithDialog;
  QWidget* page = RequireControl<QWidget>("cutPage");
  cutPlayer_ = new CutPagePlayer(this, page, services_.chooseVideoFile);
}

void CMainWnd::SendToCutPage(const std::string& path) {
  SelectPage(1);
  cutPlayer_->Open(QString::fromStdString(path));
}

}  // namespace tarn::ui
