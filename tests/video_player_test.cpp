// The player on real files (pictures that carry their own number, AAC sound),
// with SDL's dummy sound driver and no window: exact seeks, clocks, the end
// of playback, and files and devices that are not what they should be.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "preview/video_player.h"
#include "tests/support/numbered_media.h"
#include "tests/support/temp_dir.h"

namespace tarn::test {
namespace {

using preview::VideoPlayer;
using Clock = std::chrono::steady_clock;

// Records the pictures a player shows.
class ShownFrames {
 public:
  void Attach(VideoPlayer& player) {
    player.SetFrameObserver([this](const AVFrame* frame, double seconds) {
      std::lock_guard<std::mutex> lock(mutex_);
      shown_.push_back({ReadPictureNumber(frame), seconds});
      changed_.notify_all();
    });
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    shown_.clear();
  }
  // The first shown picture satisfying `match`, waiting up to `timeoutMs`; -2 if none.
  int WaitFor(const std::function<bool(int)>& match, int timeoutMs = 20000) {
    std::unique_lock<std::mutex> lock(mutex_);
    int found = -2;
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
      for (const auto& [number, seconds] : shown_) {
        if (match(number)) return found = number, true;
      }
      return false;
    });
    return found;
  }
  int WaitForAny(int timeoutMs = 20000) {
    return WaitFor([](int) { return true; }, timeoutMs);
  }
  int Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(shown_.size());
  }
  int Last() {
    std::lock_guard<std::mutex> lock(mutex_);
    return shown_.empty() ? -2 : shown_.back().first;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::pair<int, double>> shown_;
};

// Waits for `done` with a deadline, looking every 10 ms.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// Pauses, then waits for a first seek's picture: a picture being drawn as
// the pause came is out of the way before a test looks at what seeks show.
void PauseAndSettle(VideoPlayer& player, ShownFrames& shown) {
  player.TogglePause();
  player.SeekSeconds(5.0 / 30);
  ASSERT_GE(shown.WaitFor([](int n) { return n == 5 || n == 10; }), 5);
}

class VideoPlayerTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    av_log_set_level(AV_LOG_ERROR);
    dir_ = new TempDir();
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  // A file made once per suite, by name and options.
  static std::string Media(const std::string& name, const NumberedMediaOptions& options) {
    const std::string path = *dir_ / name;
    if (!std::filesystem::exists(path)) {
      std::string why;
      EXPECT_TRUE(WriteNumberedMedia(path, options, why)) << name << ": " << why;
    }
    return path;
  }

  static TempDir* dir_;
};
TempDir* VideoPlayerTest::dir_ = nullptr;

TEST_F(VideoPlayerTest, APausedSeekShowsThePictureAskedForInMp4AndMkvAt30And60Fps) {
  for (const char* container : {"mp4", "mkv"}) {
    for (int rate : {30, 60}) {
      SCOPED_TRACE(testing::Message() << container << " at " << rate << " fps");
      NumberedMediaOptions options;
      options.frameRate = rate;
      options.frames = rate * 10;
      const std::string path =
          Media("numbered" + std::to_string(rate) + "." + container, options);
      VideoPlayer player(nullptr);
      ShownFrames shown;
      shown.Attach(player);
      std::string why;
      ASSERT_TRUE(player.Start(path, why)) << why;
      PauseAndSettle(player, shown);
      ASSERT_EQ(player.state(), VideoPlayer::kPaused);
      for (int target : {137, 0, 1, 249, 250, 251, 389, 500, options.frames - 1, 2}) {
        if (target >= options.frames) continue;
        SCOPED_TRACE(testing::Message() << "frame " << target);
        shown.Clear();
        player.SeekSeconds(static_cast<double>(target) / rate);
        EXPECT_EQ(shown.WaitForAny(), target);
        EXPECT_NEAR(player.position(), static_cast<double>(target) / rate, 0.5 / rate);
      }
      player.Stop();
    }
  }
}

TEST_F(VideoPlayerTest, APlayingSeekLandsOnThePictureNotTheKeyPictureBefore) {
  NumberedMediaOptions options;
  const std::string path = Media("numbered30.mp4", options);
  VideoPlayer player(nullptr);
  ShownFrames shown;
  shown.Attach(player);
  std::string why;
  ASSERT_TRUE(player.Start(path, why)) << why;
  ASSERT_GE(shown.WaitForAny(), 0);
  shown.Clear();
  player.SeekSeconds(280.0 / 30);
  // Pictures 250..279 lie between the key picture and the target.
  EXPECT_EQ(shown.WaitFor([](int n) { return n >= 250; }), 280);
  player.Stop();
}

TEST_F(VideoPlayerTest, StepsWhilePausedShowTheNextAndThePreviousPicture) {
  NumberedMediaOptions options;
  const std::string path = Media("numbered30.mkv", options);
  VideoPlayer player(nullptr);
  ShownFrames shown;
  shown.Attach(player);
  std::string why;
  ASSERT_TRUE(player.Start(path, why)) << why;
  PauseAndSettle(player, shown);
  shown.Clear();
  player.SeekSeconds(100.0 / 30);
  ASSERT_EQ(shown.WaitForAny(), 100);
  for (auto [step, expected] : {std::pair{+1, 101}, {+1, 102}, {-1, 101}, {-1, 100}, {-1, 99}}) {
    SCOPED_TRACE(testing::Message() << "to " << expected);
    shown.Clear();
    step > 0 ? player.StepForward() : player.StepBackward();
    EXPECT_EQ(shown.WaitForAny(), expected);
    EXPECT_NEAR(player.position(), expected / 30.0, 0.5 / 30);
  }
  player.Stop();
}

TEST_F(VideoPlayerTest, JumpsClampAtTheStartAndAtTheLastPicture) {
  NumberedMediaOptions options;
  const std::string path = Media("numbered30.mp4", options);
  VideoPlayer player(nullptr);
  ShownFrames shown;
  shown.Attach(player);
  std::string why;
  ASSERT_TRUE(player.Start(path, why)) << why;
  EXPECT_NEAR(player.duration(), 10.0, 0.05);
  PauseAndSettle(player, shown);
  shown.Clear();
  player.SeekSeconds(9.0);
  ASSERT_EQ(shown.WaitForAny(), 270);
  shown.Clear();
  player.SeekForward(15);
  EXPECT_EQ(shown.WaitForAny(), 299);
  EXPECT_NEAR(player.position(), 299 / 30.0, 0.5 / 30);
  shown.Clear();
  player.SeekSeconds(1.0);
  ASSERT_EQ(shown.WaitForAny(), 30);
  shown.Clear();
  player.SeekBackward(15);
  EXPECT_EQ(shown.WaitForAny(), 0);
  EXPECT_NEAR(player.position(), 0.0, 1e-6);
  shown.Clear();
  player.SeekFraction(0.5);
  EXPECT_EQ(shown.WaitForAny(), 150);
  player.Stop();
}

TEST_F(VideoPlayerTest, SoundOnlyFollowsTheCallbackClockAndStandsStillWhenPaused) {
  NumberedMediaOptions options;
  options.video = false;
  options.audioSeconds = 4;
  const std::string path = Media("sound.mkv", options);
  VideoPlayer player(nullptr);
  std::string why;
  ASSERT_TRUE(player.Start(path, why)) << why;
  EXPECT_FALSE(player.hasVideo());
  ASSERT_TRUE(player.hasAudio());
  ASSERT_TRUE(WaitUntil([&] { return player.position() > 0.2; }, 5000));
  const double startPosition = player.position();
  const auto start = Clock::now();
  ASSERT_TRUE(WaitUntil([&] { return player.position() > startPosition + 1.0; }, 5000));
  const double wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
  // The clock runs with the sound, not faster (a decoder racing ahead) nor
  // much slower (a starved device).
  EXPECT_GT(wallSeconds, 0.7);
  EXPECT_LT(wallSeconds, 2.5);
  player.TogglePause();
  const double pausedAt = player.position();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_NEAR(player.position(), pausedAt, 1e-6);
  player.Stop();
}

TEST_F(VideoPlayerTest, PicturesWithoutSoundFollowTheExternalClock) {
  NumberedMediaOptions options;
  options.audio = false;
  options.frames = 150;
  const std::string path = Media("pictures.mkv", options);
  VideoPlayer player(nullptr);
  ShownFrames shown;
  shown.Attach(player);
  std::string why;
  ASSERT_TRUE(player.Start(path, why)) << why;
  EXPECT_FALSE(player.hasAudio());
  ASSERT_EQ(shown.WaitFor([](int n) { return n >= 15; }), 15);
  const auto start = Clock::now();
  ASSERT_EQ(shown.WaitFor([](int n) { return n >= 75; }), 75);
  const double wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_GT(wallSeconds, 1.6);  // 60 pictures at 30 fps: 2 s
  EXPECT_LT(wallSeconds, 3.5);
  EXPECT_NEAR(player.masterClock(), player.position(), 0.3);
  player.Stop();
}

TEST_F(VideoPlayerTest, TheFinishCallbackComesOnceAfterEverythingPlayed) {
  struct Case {
    const char* name;
    bool video, audio;
  };
  for (const Case& c : {Case{"both.mkv", true, true}, Case{"video.mp4", true, false},
                        Case{"audio.mkv", false, true}}) {
    SCOPED_TRACE(c.name);
    NumberedMediaOptions options;
    options.frames = 30;
    options.video = c.video;
    options.audio = c.audio;
    const std::string path = Media(c.name, options);
    VideoPlayer player(nullptr);
    ShownFrames shown;
    shown.Attach(player);
    std::atomic<int> finished{0};
    player.SetFinishCallback([&](void* user) { ++*static_cast<std::atomic<int>*>(user); }, &finished);
    player.EnableFinishCallback(true);
    std::string why;
    ASSERT_TRUE(player.Start(path, why)) << why;
    EXPECT_TRUE(WaitUntil([&] { return finished == 1; }, 15000));
    if (c.video) {
      EXPECT_EQ(shown.Last(), 29) << "the last picture is shown before the end";
    }
    // Seeking after the end plays again but does not finish twice before
    // the end comes again.
    player.SeekSeconds(0.9);
    EXPECT_TRUE(WaitUntil([&] { return player.position() >= 0.9 || !c.video; }, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(finished, 1);
    player.Stop();
  }
}

TEST_F(VideoPlayerTest, FilesThatAreNotMediaFailStartWithAReason) {
  const std::string text = *dir_ / "notes.mp4";
  std::ofstream(text) << "not a video at all\n";
  for (const std::string& path : {text, *dir_ / "missing.mkv", dir_->path()}) {
    SCOPED_TRACE(path);
    VideoPlayer player(nullptr);
    std::string why;
    EXPECT_FALSE(player.Start(path, why));
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(player.state(), VideoPlayer::kNew);
    player.Stop();
    player.SeekSeconds(1);
    player.TogglePause();
  }
}

TEST_F(VideoPlayerTest, ATruncatedFilePlaysWhatItHasOrFailsStartNeverHangs) {
  NumberedMediaOptions options;
  options.frames = 60;
  for (const char* name : {"cut.mkv", "cut.mp4"}) {
    SCOPED_TRACE(name);
    const std::string whole = Media(std::string("whole-") + name, options);
    const std::string cut = *dir_ / name;
    std::filesystem::copy_file(whole, cut, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::resize_file(cut, std::filesystem::file_size(whole) * 6 / 10);
    VideoPlayer player(nullptr);
    std::atomic<int> finished{0};
    player.SetFinishCallback([&](void*) { ++finished; }, nullptr);
    player.EnableFinishCallback(true);
    std::string why;
    if (player.Start(cut, why)) {
      EXPECT_TRUE(WaitUntil([&] { return finished == 1; }, 15000));
    } else {
      EXPECT_FALSE(why.empty());
    }
  }
}

TEST_F(VideoPlayerTest, StopFromAnyStateTwiceAndDestructionWhilePlayingAreHarmless) {
  NumberedMediaOptions options;
  const std::string path = Media("numbered30.mkv", options);
  {
    VideoPlayer player(nullptr);
    player.Stop();  // new
    EXPECT_EQ(player.state(), VideoPlayer::kNew);
  }
  for (bool pause : {false, true}) {
    VideoPlayer player(nullptr);
    std::string why;
    ASSERT_TRUE(player.Start(path, why)) << why;
    if (pause) player.TogglePause();
    player.Stop();
    EXPECT_EQ(player.state(), VideoPlayer::kStopped);
    player.Stop();
    player.SeekForward(15);
    player.TogglePause();
    EXPECT_EQ(player.state(), VideoPlayer::kStopped);
  }
  {
    // A finish callback that stops the player at once (instead of posting
    // the stop) neither hangs nor crashes.
    NumberedMediaOptions shortOptions;
    shortOptions.frames = 15;
    VideoPlayer player(nullptr);
    player.SetFinishCallback([&player](void*) { player.Stop(); }, nullptr);
    player.EnableFinishCallback(true);
    std::string why;
    ASSERT_TRUE(player.Start(Media("half-second.mkv", shortOptions), why)) << why;
    EXPECT_TRUE(WaitUntil([&] { return player.state() == VideoPlayer::kStopped; }, 10000));
  }
  auto player = std::make_unique<VideoPlayer>(nullptr);
  ShownFrames shown;
  shown.Attach(*player);
  std::string why;
  ASSERT_TRUE(player->Start(path, why)) << why;
  ASSERT_GE(shown.WaitForAny(), 0);
  player.reset();
}

TEST_F(VideoPlayerTest, WithoutASoundDevicePicturesPlayAndSoundOnlyFilesFail) {
  NumberedMediaOptions options;
  const std::string both = Media("numbered30.mkv", options);
  options.video = false;
  options.audioSeconds = 2;
  const std::string sound = Media("sound2.mkv", options);
  ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  {
    VideoPlayer player(nullptr);
    ShownFrames shown;
    shown.Attach(player);
    std::string why;
    ASSERT_TRUE(player.Start(both, why)) << why;
    EXPECT_FALSE(player.hasAudio());
    EXPECT_GE(shown.WaitFor([](int n) { return n >= 10; }), 10);
  }
  {
    VideoPlayer player(nullptr);
    std::string why;
    EXPECT_FALSE(player.Start(sound, why));
    EXPECT_NE(why.find("sound"), std::string::npos) << why;
  }
  ::setenv("SDL_AUDIODRIVER", "dummy", 1);
}

}  // namespace
}  // namespace tarn::test
