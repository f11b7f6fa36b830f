// The update check and the installer download against a local HTTPS service.

#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

#include "online/http_client.h"
#include "online/installer_download.h"
#include "online/update_checker.h"
#include "online/update_settings.h"
#include "settings/settings_store.h"
#include "tests/support/temp_dir.h"
#include "tests/support/update_server.h"

namespace tarn {
namespace {

using test::TempDir;
using test::TestCertificates;
using test::UpdateServer;

std::string Sha256Hex(const std::string& data) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest);
  std::string hex;
  char pair[3];
  for (unsigned char byte : digest) {
    std::snprintf(pair, sizeof pair, "%02x", byte);
    hex += pair;
  }
  return hex;
}

std::string Offer(const std::string& version, const std::string& url = "https://h/a.deb") {
  return R"({"ret":0,"data":{"app_version":")" + version + R"(","download_url":")" + url +
         R"(","force_upgrade":false}})";
}

class UpdateServiceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { certs_ = new TestCertificates(); }
  static void TearDownTestSuite() {
    delete certs_;
    certs_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(certs_->ok()) << "openssl could not make the test certificates";
    server_ = std::make_unique<UpdateServer>(*certs_);
    ASSERT_TRUE(server_->ok()) << "the test service did not start";
    settings_.SetString(kUpdateUrl, server_->checkUrl());
    settings_.SetString(kUpdateCaFile, certs_->caFile());
  }

  UpdateCheckResult Check(UpdateCheckKind kind = UpdateCheckKind::kManual) {
    return CheckForUpdate(settings_, kind);
  }
  DownloadResult Download(const std::string& path, const std::string& sha256 = "",
                          std::vector<int>* percents = nullptr, int cancelAtPercent = -1) {
    std::atomic<bool> cancelled{false};
    DownloadRequest request{server_->url(path), folder_.path(), sha256, certs_->caFile()};
    return DownloadInstaller(request, cancelled, [&](int percent) {
      if (percents != nullptr) percents->push_back(percent);
      if (percent >= cancelAtPercent && cancelAtPercent >= 0) cancelled = true;
    });
  }
  bool Stored(const std::string& name) { return std::filesystem::exists(folder_ / name); }

  static TestCertificates* certs_;
  TempDir dir_;
  TempDir folder_;
  SettingsStore settings_{dir_ / "configure.ini"};
  std::unique_ptr<UpdateServer> server_;
};

TestCertificates* UpdateServiceTest::certs_ = nullptr;

TEST_F(UpdateServiceTest, TheServiceVersionIsComparedWithTheProgramOwn) {
  const struct {
    const char* version;
    ReplyVerdict verdict;
  } cases[] = {{"2.3.0", ReplyVerdict::kNewer},
               {"2.2.4", ReplyVerdict::kNotNewer},
               {"1.9.9", ReplyVerdict::kNotNewer},
               {"3.0.0", ReplyVerdict::kNewer}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    server_->SetReply(Offer(c.version));
    const UpdateCheckResult result = Check();
    EXPECT_EQ(result.verdict, c.verdict);
    EXPECT_EQ(result.offer.version, c.version);
  }
  // The request: a JSON body naming the program, a time stamp in the address.
  EXPECT_NE(server_->log("bodies.log").find(R"({"app_name":"TarnRecorder"})"), std::string::npos);
  EXPECT_NE(server_->log("requests.log").find("POST /v1/upgrade_check?timestamp="), std::string::npos);
}

TEST_F(UpdateServiceTest, FailedRepliesEndTheCheckWithoutAnAnswer) {
  const std::string huge = R"({"ret":0,"data":{"app_version":"3.0.0","pad":")" +
                           std::string(kMaxReplyBytes + 10, 'x') + "\"}}";
  for (const std::string& reply :
       {std::string(R"({"ret":1,"data":{"app_version":"9.0.0","download_url":"https://h/a.deb"}})"),
        std::string(""), std::string("<html>busy</html>"), std::string(R"({"ret":0,"data":{"app_version":"3.0"}})"),
        std::string("\x00\xff{[", 4), huge}) {
    SCOPED_TRACE(reply.substr(0, 60));
    server_->SetReply(reply);
    EXPECT_EQ(Check().verdict, ReplyVerdict::kInvalid);
  }
  EXPECT_EQ(server_->posts(), 6);
}

TEST_F(UpdateServiceTest, AServerCertificateOfAnotherAuthorityIsRefused) {
  UpdateServer rogue(*certs_, "rogue");
  ASSERT_TRUE(rogue.ok());
  rogue.SetReply(Offer("3.0.0"));
  settings_.SetString(kUpdateUrl, rogue.checkUrl());
  EXPECT_EQ(Check().verdict, ReplyVerdict::kInvalid);
  EXPECT_GE(rogue.connections(), 1);
  EXPECT_EQ(rogue.posts(), 0);
  // Without the test authority even the right server is not trusted.
  settings_.SetString(kUpdateUrl, server_->checkUrl());
  settings_.SetString(kUpdateCaFile, "");
  server_->SetReply(Offer("3.0.0"));
  EXPECT_EQ(Check().verdict, ReplyVerdict::kInvalid);
}

TEST_F(UpdateServiceTest, SwitchedOffTheStartUpCheckMakesNoConnection) {
  server_->SetReply(Offer("3.0.0"));
  settings_.SetInt(kUpdateCheck, 0);
  struct Recorder : UpdateCheckListener {
    void OnUpdateChecked(const UpdateCheckResult&) override { ++calls; }
    std::atomic<int> calls{0};
  } listener;
  {
    UpdateChecker checker(&listener, &settings_, UpdateCheckKind::kStartup);
    ASSERT_TRUE(checker.Start());
    checker.Wait();
  }
  EXPECT_EQ(listener.calls.load(), 0);
  EXPECT_EQ(server_->connections(), 0);
  // Switched on, the same check reaches the service and answers.
  settings_.SetInt(kUpdateCheck, 1);
  {
    UpdateChecker checker(&listener, &settings_, UpdateCheckKind::kStartup);
    ASSERT_TRUE(checker.Start());
    checker.Wait();
  }
  EXPECT_EQ(listener.calls.load(), 1);
  EXPECT_GE(server_->connections(), 1);
}

TEST_F(UpdateServiceTest, ALargeInstallerArrivesWholeWithAtMost101Percents) {
  const std::string data = server_->AddFile("TarnRecorder-3.0.0.deb", 3 * 1024 * 1024 + 17);
  std::vector<int> percents;
  const DownloadResult result = Download("/files/TarnRecorder-3.0.0.deb", Sha256Hex(data), &percents);
  ASSERT_EQ(result.outcome, DownloadOutcome::kDone) << result.why;
  EXPECT_EQ(result.path, folder_ / "TarnRecorder-3.0.0.deb");
  std::ifstream stored(result.path, std::ios::binary);
  EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(stored), {}) == data);
  ASSERT_FALSE(percents.empty());
  EXPECT_LE(percents.size(), 101u);
  EXPECT_EQ(percents.back(), 100);
  for (std::size_t i = 1; i < percents.size(); ++i) EXPECT_GT(percents[i], percents[i - 1]);
  // The server was asked for the length first.
  EXPECT_NE(server_->log("requests.log").find("HEAD /files/TarnRecorder-3.0.0.deb"), std::string::npos);
}

TEST_F(UpdateServiceTest, AnInstallerWithAnotherDigestIsDeleted) {
  const std::string data = server_->AddFile("a.deb", 50000);
  std::string wrong = Sha256Hex(data);
  wrong[0] = wrong[0] == '0' ? '1' : '0';
  const DownloadResult result = Download("/files/a.deb", wrong);
  EXPECT_EQ(result.outcome, DownloadOutcome::kFailed);
  EXPECT_NE(result.why.find("SHA-256"), std::string::npos) << result.why;
  EXPECT_FALSE(Stored("a.deb"));
}

TEST_F(UpdateServiceTest, IncompleteOrUnmeasuredDownloadsFail) {
  server_->AddFile("a.deb", 200000);
  server_->AddFile("b.deb", 0);
  for (const char* path : {"/short/a.deb", "/nolength/a.deb", "/zerolength/a.deb", "/files/b.deb",
                           "/redirect-http/a.deb", "/files/missing.deb"}) {
    SCOPED_TRACE(path);
    const DownloadResult result = Download(path);
    EXPECT_EQ(result.outcome, DownloadOutcome::kFailed);
    EXPECT_FALSE(result.why.empty());
    EXPECT_FALSE(Stored("a.deb"));
  }
  // The redirect was not followed to plain http.
  EXPECT_EQ(server_->log("requests.log").find("/files/a.deb"), std::string::npos);
}

TEST_F(UpdateServiceTest, ACancelledDownloadLeavesNoFile) {
  server_->AddFile("a.deb", 400 * 1024);
  std::vector<int> percents;
  const DownloadResult result = Download("/slow/a.deb", "", &percents, 5);
  EXPECT_EQ(result.outcome, DownloadOutcome::kCancelled);
  ASSERT_FALSE(percents.empty());
  EXPECT_LT(percents.back(), 100);
  EXPECT_FALSE(Stored("a.deb"));
}

TEST_F(UpdateServiceTest, AnUnwritableFolderFailsTheDownload) {
  server_->AddFile("a.deb", 1000);
  DownloadRequest request{server_->url("/files/a.deb"), folder_ / "missing/deeper", "", certs_->caFile()};
  std::atomic<bool> cancelled{false};
  const DownloadResult result = DownloadInstaller(request, cancelled, [](int) {});
  EXPECT_EQ(result.outcome, DownloadOutcome::kFailed);
  EXPECT_NE(result.why.find("cannot create"), std::string::npos) << result.why;
}

}  // namespace
}  // namespace tarn
