// The update service's reply, the version comparison and the time stamp.

#include "online/update_reply.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>

#include "online/http_client.h"

namespace tarn {
namespace {

std::string Reply(const std::string& version, const std::string& extra = "") {
  return R"({"ret":0,"data":{"app_version":")" + version +
         R"(","download_url":"https://example.org/dl/TarnRecorder-)" + version +
         R"(.deb","force_upgrade":false)" + extra + "}}";
}

TEST(UpdateReplyTest, VersionsAreComparedPartByPartAgainstTheRunningOne) {
  const struct {
    const char* remote;
    ReplyVerdict verdict;
  } cases[] = {
      {"2.3.0", ReplyVerdict::kNewer},    {"2.2.4", ReplyVerdict::kNotNewer},
      {"1.9.9", ReplyVerdict::kNotNewer}, {"3.0.0", ReplyVerdict::kNewer},
      {"2.2.5", ReplyVerdict::kNewer},    {"2.2.3", ReplyVerdict::kNotNewer},
      {"2.10.0", ReplyVerdict::kNewer},   {"2.2.4.9", ReplyVerdict::kNotNewer},
      {"10.0.0", ReplyVerdict::kNewer},   {"2.1.99", ReplyVerdict::kNotNewer},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.remote);
    const ReplyReading reading = ReadUpdateReply(Reply(c.remote), "2.2.4");
    EXPECT_EQ(reading.verdict, c.verdict) << reading.why;
  }
}

TEST(UpdateReplyTest, AVersionWithoutThreeNumbersFailsTheCheck) {
  for (const char* version : {"2.3", "3", "", "2..4", "2.3.x", "2.3.-1", "v2.3.0", "2.3.0beta",
                              " 2.3.0", "2.3.1234567890", "2,3,0"}) {
    SCOPED_TRACE(version);
    EXPECT_FALSE(ParseVersion(version).has_value());
    EXPECT_EQ(ReadUpdateReply(Reply(version), "2.2.4").verdict, ReplyVerdict::kInvalid);
  }
  const auto parsed = ParseVersion("12.0.345.6");
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->major, 12);
  EXPECT_EQ(parsed->minor, 0);
  EXPECT_EQ(parsed->revision, 345);
}

TEST(UpdateReplyTest, OnlyAReturnCodeOfZeroIsAnAnswer) {
  for (const char* ret : {"1", "-1", "\"0\"", "0.5", "null", "true", "18446744073709551615"}) {
    SCOPED_TRACE(ret);
    std::string reply = Reply("9.9.9");
    reply.replace(reply.find("0,"), 1, ret);
    EXPECT_EQ(ReadUpdateReply(reply, "2.2.4").verdict, ReplyVerdict::kInvalid);
  }
  EXPECT_EQ(ReadUpdateReply(R"({"data":{"app_version":"9.9.9"}})", "2.2.4").verdict,
            ReplyVerdict::kInvalid);
}

TEST(UpdateReplyTest, TheOfferCarriesItsAddressForceAndDigest) {
  const std::string digest(64, 'A');
  ReplyReading reading = ReadUpdateReply(
      R"({"ret":0,"data":{"app_version":"2.3.0","download_url":"https://h/x/setup.deb?k=1",)"
      R"("force_upgrade":true,"sha256":")" + digest + R"("}})",
      "2.2.4");
  ASSERT_EQ(reading.verdict, ReplyVerdict::kNewer) << reading.why;
  EXPECT_TRUE(reading.offer.forced);
  EXPECT_EQ(reading.offer.downloadUrl, "https://h/x/setup.deb?k=1");
  EXPECT_EQ(reading.offer.sha256, std::string(64, 'a'));

  // An unusable address or digest fails the check rather than a later download.
  for (const std::string& extra : {std::string(R"(,"sha256":"abc")"),
                                   std::string(R"(,"sha256":")") + std::string(64, 'g') + "\"",
                                   std::string(R"(,"sha256":5)")}) {
    SCOPED_TRACE(extra);
    EXPECT_EQ(ReadUpdateReply(Reply("2.3.0", extra), "2.2.4").verdict, ReplyVerdict::kInvalid);
  }
  for (const char* url : {"file:///etc/passwd", "ftp://h/a.deb", "https://h/", "https://h",
                          "https://h/dir/..", "javascript:alert(1)"}) {
    SCOPED_TRACE(url);
    const std::string reply = std::string(R"({"ret":0,"data":{"app_version":"2.3.0","download_url":")") +
                              url + R"("}})";
    EXPECT_EQ(ReadUpdateReply(reply, "2.2.4").verdict, ReplyVerdict::kInvalid);
  }
}

TEST(UpdateReplyTest, TheInstallerIsNamedAfterTheLastPathComponent) {
  EXPECT_EQ(InstallerFileName("https://h/a/b/TarnRecorder-2.3.0.deb"), "TarnRecorder-2.3.0.deb");
  EXPECT_EQ(InstallerFileName("https://h/a/setup.deb?x=/../../etc#f"), "setup.deb");
  EXPECT_EQ(InstallerFileName("https://h/a/"), "");
  EXPECT_EQ(InstallerFileName("https://h"), "");
  EXPECT_EQ(InstallerFileName("https://h/.."), "");
}

TEST(UpdateReplyTest, TheTimeStampIsTheLowBitsOfTheMillisecondsSince1970) {
  EXPECT_EQ(TimestampParameter(1765186200123LL), static_cast<std::uint32_t>(1765186200123LL % 4294967296LL));
  const auto before = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::system_clock::now().time_since_epoch()).count();
  const std::string url = AppendTimestamp("https://h/v1/upgrade_check");
  const std::string prefix = "https://h/v1/upgrade_check?timestamp=";
  ASSERT_EQ(url.rfind(prefix, 0), 0u) << url;
  const std::uint32_t stamp = static_cast<std::uint32_t>(std::stoul(url.substr(prefix.size())));
  EXPECT_LT(static_cast<std::uint32_t>(stamp - TimestampParameter(before)), 60000u);
  EXPECT_NE(AppendTimestamp("https://h/c?a=1").find("?a=1&timestamp="), std::string::npos);
}

// Garbage of every kind never crashes the reader and never reads as an
// answer that would show a prompt.
TEST(UpdateReplyTest, AThousandDamagedRepliesNeverOfferHalfAnUpdate) {
  std::mt19937 random(20261208);
  const std::string good = Reply("2.3.0");
  int newer = 0;
  for (int i = 0; i < 1000; ++i) {
    std::string reply;
    switch (i % 5) {
      case 0:  // random bytes
        reply.resize(random() % 400);
        for (char& c : reply) c = static_cast<char>(random());
        break;
      case 1:  // the good reply cut short
        reply = good.substr(0, random() % good.size());
        break;
      case 2:  // the good reply with bytes flipped
        reply = good;
        for (int flips = 1 + random() % 4; flips > 0; --flips) {
          reply[random() % reply.size()] = static_cast<char>(random());
        }
        break;
      case 3:  // deep nesting
        reply = std::string(1 + random() % 100000, '[');
        break;
      default:  // wrong types in the right places
        reply = R"({"ret":0,"data":{"app_version":)" +
                std::string(random() % 2 ? "[2,3,0]" : "2.3") + R"(,"download_url":)" +
                std::string(random() % 2 ? "null" : "{}") + "}}";
        break;
    }
    const ReplyReading reading = ReadUpdateReply(reply, "2.2.4");
    if (reading.verdict == ReplyVerdict::kNewer) {
      // A flipped byte may still leave a well-formed offer; it must be whole.
      EXPECT_TRUE(ParseVersion(reading.offer.version).has_value());
      EXPECT_FALSE(InstallerFileName(reading.offer.downloadUrl).empty());
      ++newer;
    }
  }
  EXPECT_LT(newer, 100);
}

}  // namespace
}  // namespace tarn
