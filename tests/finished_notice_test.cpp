// The notice of a finished recording against a real D-Bus daemon: what the
// notification service is asked to show, which opener each of its actions
// runs, and the tray balloon when no service answers.

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/notification_bus.h"
#include "tests/support/qt_wait.h"
#include "ui/main/finished_notice.h"

namespace tarn::ui {
namespace {

using Way = FinishedNotice::Way;

class FinishedNoticeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!bus_.problem().empty()) GTEST_SKIP() << "no private D-Bus: " << bus_.problem();
  }

  // A notice on the private bus whose openers and balloon record what they get.
  std::unique_ptr<FinishedNotice> MakeNotice(QDBusConnection bus) {
    FinishedNotice::Services services;
    services.openFile = [this](const std::string& path) {
      filesOpened_.push_back(path);
      return openerWorks_;
    };
    services.openFolder = [this](const std::string& dir) {
      foldersOpened_.push_back(dir);
      return openerWorks_;
    };
    services.balloon = [this](const QString& title, const QString& body, std::function<void()> onClicked) {
      balloons_.push_back(title + "|" + body);
      balloonClicked_ = std::move(onClicked);
      return balloonWorks_;
    };
    services.tellUser = [this](const QString& text) { told_.push_back(text); };
    return std::make_unique<FinishedNotice>(bus, std::move(services));
  }

  // Announces `path` and waits until the notice went somewhere.
  Way AnnounceAndWait(FinishedNotice& notice, const std::string& path) {
    int shown = 0;
    const QMetaObject::Connection counting =
        QObject::connect(&notice, &FinishedNotice::Shown, [&shown](Way) { ++shown; });
    const std::size_t count = notice.announced().size();
    notice.Announce(path);
    EXPECT_EQ(notice.announced().size(), count + 1);
    EXPECT_TRUE(test::WaitUntil([&] { return shown > 0; }, 10000)) << "the notice went nowhere within 10 s";
    QObject::disconnect(counting);
    EXPECT_LE(shown, 1);
    return notice.lastWay();
  }

  test::PrivateBus bus_;
  bool openerWorks_ = true;
  bool balloonWorks_ = true;
  std::vector<std::string> filesOpened_;
  std::vector<std::string> foldersOpened_;
  std::vector<QString> balloons_;
  std::function<void()> balloonClicked_;
  std::vector<QString> told_;
};

TEST_F(FinishedNoticeTest, TheServiceIsAskedForTheFileWithPlayAndFolderActions) {
  test::TestNotificationServer server;
  ASSERT_TRUE(server.Serve(bus_.Connect("service-1")));
  auto notice = MakeNotice(bus_.Connect("program-1"));
  ASSERT_EQ(AnnounceAndWait(*notice, "/home/u/视频/20261208093005.mp4"), Way::kDesktop);
  ASSERT_EQ(server.calls.size(), 1u);
  const test::TestNotificationServer::Call& call = server.calls[0];
  EXPECT_EQ(call.appName, "TarnRecorder");
  EXPECT_EQ(call.replacesId, 0u);
  EXPECT_TRUE(call.appIcon.endsWith("app-icon.png")) << call.appIcon.toStdString();
  EXPECT_EQ(call.summary, QString::fromUtf8("录制完成"));
  EXPECT_EQ(call.body, QString::fromUtf8("20261208093005.mp4\n保存在 /home/u/视频"));
  EXPECT_EQ(call.actions, (QStringList{"default", QString::fromUtf8("打开"), "play",
                                       QString::fromUtf8("播放"), "folder",
                                       QString::fromUtf8("打开文件夹")}));
  EXPECT_EQ(call.expireTimeoutMs, -1);
  EXPECT_EQ(notice->lastNotificationId(), 41u);
  EXPECT_TRUE(balloons_.empty());
}

TEST_F(FinishedNoticeTest, NamesAreEscapedOnlyForAServiceThatReadsMarkup) {
  test::TestNotificationServer server;
  ASSERT_TRUE(server.Serve(bus_.Connect("service-2")));
  auto notice = MakeNotice(bus_.Connect("program-2"));
  const std::string path = "/tmp/a&b <c>/r&d.mkv";
  ASSERT_EQ(AnnounceAndWait(*notice, path), Way::kDesktop);
  server.capabilities << "body-markup";
  ASSERT_EQ(AnnounceAndWait(*notice, path), Way::kDesktop);
  ASSERT_EQ(server.calls.size(), 2u);
  EXPECT_EQ(server.calls[0].body, QString::fromUtf8("r&d.mkv\n保存在 /tmp/a&b <c>"));
  EXPECT_EQ(server.calls[1].body, QString::fromUtf8("r&amp;d.mkv\n保存在 /tmp/a&amp;b &lt;c&gt;"));
}

TEST_F(FinishedNoticeTest, EachActionRunsItsOpenerForItsOwnNoticeOnly) {
  test::TestNotificationServer server;
  ASSERT_TRUE(server.Serve(bus_.Connect("service-3")));
  auto notice = MakeNotice(bus_.Connect("program-3"));
  ASSERT_EQ(AnnounceAndWait(*notice, "/v/first.mp4"), Way::kDesktop);
  const uint first = notice->lastNotificationId();
  ASSERT_EQ(AnnounceAndWait(*notice, "/v/sub/second.flv"), Way::kDesktop);
  const uint second = notice->lastNotificationId();
  ASSERT_NE(first, second);

  // Another program's notice, and an unknown action, open nothing; each is
  // followed by an action of ours so that the test knows it arrived.
  server.InvokeAction(second + 100, "play");
  server.InvokeAction(first, "rewind");
  server.InvokeAction(first, "default");
  ASSERT_TRUE(test::WaitUntil([&] { return !filesOpened_.empty(); }, 5000));
  EXPECT_EQ(filesOpened_, std::vector<std::string>{"/v/first.mp4"});
  EXPECT_TRUE(foldersOpened_.empty());

  server.InvokeAction(second, "play");
  server.InvokeAction(second, "folder");
  ASSERT_TRUE(test::WaitUntil([&] { return !foldersOpened_.empty(); }, 5000));
  EXPECT_EQ(filesOpened_, (std::vector<std::string>{"/v/first.mp4", "/v/sub/second.flv"}));
  EXPECT_EQ(foldersOpened_, std::vector<std::string>{"/v/sub"});

  // A closed notice's id may be given to another program's notice later.
  server.Close(first);
  server.InvokeAction(first, "folder");
  server.InvokeAction(second, "folder");
  ASSERT_TRUE(test::WaitUntil([&] { return foldersOpened_.size() == 2; }, 5000));
  EXPECT_EQ(foldersOpened_, (std::vector<std::string>{"/v/sub", "/v/sub"}));
  EXPECT_TRUE(told_.empty());

  // Once the program closes, its notices' buttons and later files are left alone.
  notice->Shutdown();
  server.InvokeAction(second, "play");
  notice->Announce("/v/after.mp4");
  EXPECT_EQ(notice->announced().size(), 2u);
  test::RunEvents(200);
  EXPECT_EQ(filesOpened_.size(), 2u);
  EXPECT_EQ(server.calls.size(), 2u);
}

TEST_F(FinishedNoticeTest, AnOpenerThatCannotStartIsToldToTheUser) {
  test::TestNotificationServer server;
  ASSERT_TRUE(server.Serve(bus_.Connect("service-4")));
  auto notice = MakeNotice(bus_.Connect("program-4"));
  ASSERT_EQ(AnnounceAndWait(*notice, "/v/clip.mov"), Way::kDesktop);
  openerWorks_ = false;
  server.InvokeAction(notice->lastNotificationId(), "folder");
  ASSERT_TRUE(test::WaitUntil([&] { return told_.size() == 1; }, 5000));
  EXPECT_EQ(told_[0], QString::fromUtf8("无法打开文件夹: /v"));
  server.InvokeAction(notice->lastNotificationId(), "play");
  ASSERT_TRUE(test::WaitUntil([&] { return told_.size() == 2; }, 5000));
  EXPECT_EQ(told_[1], QString::fromUtf8("无法打开录制文件: /v/clip.mov"));
}

TEST_F(FinishedNoticeTest, WithoutAServiceTheBalloonTellsAndItsClickPlays) {
  struct Case {
    const char* what;
    bool serve;         // a service owns the name
    bool failNotify;    // ... and refuses Notify
    bool connected;     // the program has a bus at all
  };
  const Case cases[] = {
      {"the name has no owner", false, false, true},
      {"the service refuses", true, true, true},
      {"no bus", false, false, false},
  };
  int round = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ++round;
    balloons_.clear();
    filesOpened_.clear();
    test::TestNotificationServer server;
    server.failNotify = c.failNotify;
    if (c.serve) {
      ASSERT_TRUE(server.Serve(bus_.Connect(QString("service-5-%1").arg(round))));
    }
    auto notice = MakeNotice(c.connected ? bus_.Connect(QString("program-5-%1").arg(round))
                                         : QDBusConnection(QString("no-such-connection")));
    ASSERT_EQ(AnnounceAndWait(*notice, "/v/late.avi"), Way::kBalloon);
    ASSERT_EQ(balloons_.size(), 1u);
    EXPECT_EQ(balloons_[0], QString::fromUtf8("录制完成|late.avi\n保存在 /v"));
    ASSERT_TRUE(balloonClicked_);
    balloonClicked_();
    EXPECT_EQ(filesOpened_, std::vector<std::string>{"/v/late.avi"});
    EXPECT_TRUE(server.calls.empty());
  }
  // Neither a service nor a balloon: logged, and nothing else happens.
  balloonWorks_ = false;
  auto notice = MakeNotice(bus_.Connect("program-6"));
  EXPECT_EQ(AnnounceAndWait(*notice, "/v/late.avi"), Way::kNowhere);
}

}  // namespace
}  // namespace tarn::ui
