// The update prompts and the download dialog, against a local HTTPS service.

#include "ui/update/update_flow.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QSlider>
#include <filesystem>
#include <vector>

#include "online/update_settings.h"
#include "settings/settings_store.h"
#include "tests/support/qt_wait.h"
#include "tests/support/temp_dir.h"
#include "tests/support/update_server.h"

namespace tarn::ui {
namespace {

using test::TempDir;
using test::TestCertificates;
using test::UpdateServer;

std::string Offer(const std::string& version, bool forced, const std::string& url = "https://h/a.deb") {
  return R"({"ret":0,"data":{"app_version":")" + version + R"(","download_url":")" + url +
         R"(","force_upgrade":)" + (forced ? "true" : "false") + "}}";
}

class UpdateFlowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { certs_ = new TestCertificates(); }
  static void TearDownTestSuite() {
    delete certs_;
    certs_ = nullptr;
  }
  void SetUp() override {
    WindowImplBase::SetResourcePath(TARN_SOURCE_SKIN_DIR);
    ASSERT_TRUE(certs_->ok());
    server_ = std::make_unique<UpdateServer>(*certs_);
    ASSERT_TRUE(server_->ok());
    settings_.SetString(kUpdateUrl, server_->checkUrl());
    settings_.SetString(kUpdateCaFile, certs_->caFile());
  }

  // A flow whose dialogs are recorded instead of shown.
  std::unique_ptr<UpdateFlow> MakeFlow(int answer = 0) {
    UpdateFlow::Services services;
    services.settings = &settings_;
    services.showPrompt = [this](QWidget*, const QString& text) { events_.push_back("prompt " + text); };
    services.ask = [this, answer](QWidget*, const QString& text) {
      events_.push_back("ask " + text);
      return answer;
    };
    services.runDownload = [this](QWidget*, const UpdateOffer& offer, bool forced) {
      events_.push_back(QString("download %1 %2").arg(QString::fromStdString(offer.version)).arg(forced));
    };
    return std::make_unique<UpdateFlow>(nullptr, std::move(services));
  }
  // A manual check through `flow`, with its answer shown.
  void CheckAndShow(UpdateFlow& flow) {
    flow.CheckNow();
    ASSERT_TRUE(flow.checking());
    ASSERT_TRUE(test::WaitUntil([&] { return !flow.checking(); }, 20000));
    QCoreApplication::processEvents();  // the answer handed over to this thread
  }
  void StartUpCheck(UpdateFlow& flow) {
    UpdateChecker checker(&flow, &settings_, UpdateCheckKind::kStartup);
    ASSERT_TRUE(checker.Start());
    checker.Wait();
    QCoreApplication::processEvents();
  }

  static TestCertificates* certs_;
  TempDir dir_;
  SettingsStore settings_{dir_ / "configure.ini"};
  std::unique_ptr<UpdateServer> server_;
  QStringList events_;
};

TestCertificates* UpdateFlowTest::certs_ = nullptr;

TEST_F(UpdateFlowTest, OnlyAnAskedForCheckSaysThatNothingIsNewer) {
  auto flow = MakeFlow();
  server_->SetReply(Offer("2.2.4", false));
  StartUpCheck(*flow);
  EXPECT_TRUE(events_.isEmpty()) << events_.join("; ").toStdString();
  CheckAndShow(*flow);
  EXPECT_EQ(events_, QStringList{"prompt 没有发现新版本!"});
}

TEST_F(UpdateFlowTest, AFailedReplyShowsNothing) {
  auto flow = MakeFlow(1);
  for (const char* reply : {R"({"ret":1,"data":{"app_version":"3.0.0","download_url":"https://h/a.deb"}})",
                            "not json", R"({"ret":0,"data":{"app_version":"3"}})"}) {
    SCOPED_TRACE(reply);
    server_->SetReply(reply);
    CheckAndShow(*flow);
    StartUpCheck(*flow);
  }
  EXPECT_TRUE(events_.isEmpty()) << events_.join("; ").toStdString();
  EXPECT_EQ(server_->posts(), 6);
}

TEST_F(UpdateFlowTest, ANewerVersionIsOfferedOrForced) {
  server_->SetReply(Offer("2.3.0", false));
  auto declining = MakeFlow(0);
  StartUpCheck(*declining);
  EXPECT_EQ(events_, QStringList{"ask 发现新版本啦!"});
  events_.clear();
  auto accepting = MakeFlow(1);
  CheckAndShow(*accepting);
  EXPECT_EQ(events_, (QStringList{"ask 发现新版本啦!", "download 2.3.0 0"}));
  events_.clear();
  server_->SetReply(Offer("3.0.0", true));
  StartUpCheck(*declining);
  EXPECT_EQ(events_, (QStringList{"prompt 发现新版本啦!", "download 3.0.0 1"}));
}

// The real download dialog over the test service.
class DownloadDialogTest : public UpdateFlowTest {
 protected:
  struct Run {
    std::vector<int> percents;
    std::vector<std::string> opened;
    int programEnds = 0;
    bool labelsMatched = true;
  };
  Run Download(const std::string& path, bool forced, int cancelAtPercent = -1, bool opens = true) {
    Run run;
    DownloadDialog::Services services;
    services.folder = folder_.path();
    services.caFile = certs_->caFile();
    services.openInstaller = [&run, opens](const std::string& file) {
      run.opened.push_back(file);
      return opens;
    };
    services.endProgram = [&run] { ++run.programEnds; };
    services.percentShown = [&](int percent) {
      run.percents.push_back(percent);
      QWidget* dialog = test::VisibleWindowOfClass("DownloadDialog");
      if (dialog == nullptr) {
        run.labelsMatched = false;
        return;
      }
      if (dialog->findChild<QLabel*>("download-text")->text() != QString::asprintf("%d%%", percent) ||
          dialog->findChild<QSlider*>("download-slider")->value() != percent) {
        run.labelsMatched = false;
      }
      if (cancelAtPercent >= 0 && percent >= cancelAtPercent) {
        dialog->findChild<QAbstractButton*>("cancel")->click();
      }
    };
    UpdateOffer offer;
    offer.version = "3.0.0";
    offer.downloadUrl = server_->url(path);
    EXPECT_EQ(DownloadDialog::Run(nullptr, offer, forced, services), 1);
    return run;
  }

  TempDir folder_;
};

TEST_F(DownloadDialogTest, AFinishedDownloadOpensTheInstallerAndEndsTheProgram) {
  server_->AddFile("setup.deb", 3 * 1024 * 1024);
  const Run run = Download("/files/setup.deb", false);
  EXPECT_TRUE(run.labelsMatched);
  ASSERT_FALSE(run.percents.empty());
  EXPECT_LE(run.percents.size(), 101u);
  EXPECT_EQ(run.percents.back(), 100);
  EXPECT_EQ(run.opened, std::vector<std::string>{folder_ / "setup.deb"});
  EXPECT_EQ(run.programEnds, 1);
  EXPECT_TRUE(std::filesystem::exists(folder_ / "setup.deb"));
}

TEST_F(DownloadDialogTest, AnInstallerThatCannotBeOpenedLeavesTheProgramRunning) {
  server_->AddFile("setup.deb", 20000);
  const Run run = Download("/files/setup.deb", true, -1, false);
  EXPECT_EQ(run.opened.size(), 1u);
  EXPECT_EQ(run.programEnds, 0);
}

TEST_F(DownloadDialogTest, CancelClosesANormalDownloadAndEndsAForcedOne) {
  server_->AddFile("setup.deb", 400 * 1024);
  for (bool forced : {false, true}) {
    SCOPED_TRACE(forced ? "forced" : "normal");
    const Run run = Download("/slow/setup.deb", forced, 3);
    ASSERT_FALSE(run.percents.empty());
    EXPECT_LT(run.percents.back(), 100);
    EXPECT_TRUE(run.opened.empty());
    EXPECT_EQ(run.programEnds, forced ? 1 : 0);
    EXPECT_FALSE(std::filesystem::exists(folder_ / "setup.deb"));
  }
}

TEST_F(DownloadDialogTest, AFailedDownloadClosesTheDialogAndTheProgramGoesOn) {
  server_->AddFile("setup.deb", 100000);
  const Run run = Download("/short/setup.deb", true);
  EXPECT_TRUE(run.opened.empty());
  EXPECT_EQ(run.programEnds, 0);
  EXPECT_FALSE(std::filesystem::exists(folder_ / "setup.deb"));
}

}  // namespace
}  // namespace tarn::ui
