// Process entry: one instance, the per-user folders and the log, the main
// window and the update check, then the event loop until the main window ends.

#include <glog/logging.h>

#include <QApplication>
#include <QString>
#include <QTranslator>
#include <csignal>
#include <ctime>
#include <memory>

#include "platform/app_data_dir.h"
#include "app/language.h"
#include "app/log_setup.h"
#include "app/quit_signals.h"
#include "app/single_instance.h"
#include "online/update_checker.h"
#include "platform/program_dir.h"
#include "platform/user_dirs.h"
#include "settings/settings_store.h"
#include "ui/framework/ui_text.h"
#include "ui/framework/window_impl_base.h"
#include "ui/main/main_wnd.h"

int main(int argc, char** argv) {
  // A lost display or sound server, or a file grown past the size limit,
  // must end a recording with an error, not the program.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  QApplication app(argc, argv);
  QApplication::setApplicationName("TarnRecorder");

  // A second start brings the running instance forward and ends.
  tarn::SingleInstance instance(QString::fromStdString(tarn::platform::RuntimeDir()));
  if (!instance.Acquire()) {
    instance.ActivateRunningInstance(3000);
    return 0;
  }

  // The log folder keeps only today's files.
  const std::string logDir = tarn::GetAppDataDir(tarn::kLogRelativeDir) + "/";
  if (tarn::SweepStaleLogs(logDir, std::time(nullptr)) != 0) return -1;
  tarn::InitLogging(logDir);
  LOG(INFO) << "TarnRecorder started, log folder " << logDir;

  // Layouts and the shared style come from the skin folder: beside the
  // program in the build tree, under share/tarnrecorder when installed.
  tarn::ui::WindowImplBase::SetResourcePath(QString::fromStdString(tarn::platform::DataDir()) + "/skin/");
  LOG(INFO) << "skin folder " << tarn::ui::WindowImplBase::GetResourcePath().toStdString();
  tarn::ui::WindowImplBase::LoadSharedResources();

  // The language is chosen once, before the first window reads a text.
  QTranslator translator;
  tarn::InstallUiTranslation(translator, tarn::ChooseUiLanguage(tarn::SettingsStore::Instance()),
                             tarn::ui::WindowImplBase::GetResourcePath() + "translations/");
  QApplication::setApplicationDisplayName(tarn::ui::UiText(tarn::ui::kMainWindowTitle));

  int exitCode = 0;
  {
    auto mainWindow = std::make_unique<tarn::ui::CMainWnd>();
    try {
      mainWindow->Create(nullptr, tarn::ui::UiText(tarn::ui::kMainWindowTitle));
    } catch (const tarn::ui::WindowInitError& error) {
      LOG(ERROR) << error.what();
      fprintf(stderr, "%s\n", error.what());
      tarn::ShutdownLogging();
      return -1;
    }
    mainWindow->CenterWindow();
    mainWindow->showNormal();
    tarn::QuitSignals quitSignals;
    quitSignals.Install(mainWindow.get());

    tarn::UpdateChecker updateChecker(mainWindow.get());
    if (!updateChecker.Start()) {
      tarn::ShutdownLogging();
      std::_Exit(-1);
    }

    exitCode = QApplication::exec();
    // The worker uses the main window: it ends before the window is freed.
    updateChecker.Join();
  }
  LOG(INFO) << "TarnRecorder exits with " << exitCode;
  tarn::ShutdownLogging();
  return exitCode;
}
