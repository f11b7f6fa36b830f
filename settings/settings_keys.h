#pragma once
// Every section and key of configure.ini, with the defaults and string
// capacities its readers use.
//
// Defaults are never written into the file: each reader passes its own default
// when it reads. Where two readers of one key expect different defaults, both
// are given here, named after the reader. Capacities count characters
// including the terminator, as SettingsStore::GetString expects them.

#include <cstddef>
#include <string_view>

namespace tarn {

struct SettingKey {
  std::string_view section;
  std::string_view name;
};

// ---------------------------------------------------------------------------
// Sections
// ---------------------------------------------------------------------------
inline constexpr std::string_view kGlobalSection = "global";
inline constexpr std::string_view kHotKeySection = "hotkey";
inline constexpr std::string_view kMouseEffectSection = "mouse-effect";
inline constexpr std::string_view kMouseFollowSection = "mouse-follow";
inline constexpr std::string_view kSuspendSection = "suspend";

// ---------------------------------------------------------------------------
// "global": output
// ---------------------------------------------------------------------------
// Recording folder; empty means the derived folder of GetOutputDir.
inline constexpr SettingKey kOutputDir{kGlobalSection, "output-dir"};
inline constexpr std::string_view kOutputDirDefault = "";
inline constexpr std::size_t kOutputDirCapacity = 260;
// Name of the folder GetOutputDir derives under Documents or the Desktop.
inline constexpr std::string_view kDefaultOutputFolderName = "TARN屏幕录制";

// "0" the default folder was chosen, "1" a user folder; written, never read.
inline constexpr SettingKey kOutputDirType{kGlobalSection, "output-dir-type"};

// Container of new recordings: "mp4", "flv", "wmv", "avi", "mov", "mkv".
inline constexpr SettingKey kVideoFormat{kGlobalSection, "video-format"};
inline constexpr std::string_view kVideoFormatDefault = "mp4";
inline constexpr std::size_t kVideoFormatCapacity = 64;

// 0 high, 1 middle, 2 low.
inline constexpr SettingKey kQuality{kGlobalSection, "quality"};
inline constexpr int kQualityDefault = 1;

// Frames per second. A recording start reads it as a number, the settings page
// as text; they assume different values when it is absent.
inline constexpr SettingKey kVideoFramerate{kGlobalSection, "video-framerate"};
inline constexpr int kVideoFramerateRecordDefault = 24;
inline constexpr std::string_view kVideoFramerateSettingsPageDefault = "10";
inline constexpr std::size_t kVideoFramerateSettingsPageCapacity = 20;

// 0 screen, 1 camera.
inline constexpr SettingKey kVideoSource{kGlobalSection, "video-source"};
inline constexpr int kVideoSourceDefault = 0;

// ---------------------------------------------------------------------------
// "global": sound
// ---------------------------------------------------------------------------
// 0 microphone and system sound, 1 microphone only, 2 system sound only.
inline constexpr SettingKey kVoiceSource{kGlobalSection, "voice-source"};
inline constexpr int kVoiceSourceDefault = 0;

// 1 applies microphone gain control.
inline constexpr SettingKey kMicrophoneCheck{kGlobalSection, "microphone-check"};
inline constexpr int kMicrophoneCheckDefault = 1;

// Microphone gain in dB.
inline constexpr SettingKey kVoiceSize{kGlobalSection, "voice-size"};
inline constexpr int kVoiceSizeDefault = 20;

// 1 records no sound.
inline constexpr SettingKey kAudioMuteCheck{kGlobalSection, "audio-mute-check"};
inline constexpr int kAudioMuteCheckDefault = 0;

// Selections of the settings page that nothing reads back.
inline constexpr SettingKey kAudioCompress{kGlobalSection, "audio-compress"};
inline constexpr SettingKey kAudioNoneCompress{kGlobalSection, "audio-none-compress"};

// ---------------------------------------------------------------------------
// "global": recorded rectangle and windows
// ---------------------------------------------------------------------------
// 1 records a user-defined rectangle; reset to 0 whenever the main window starts.
inline constexpr SettingKey kUserDefinedRegionCheck{kGlobalSection, "user-defined-region-check"};
inline constexpr int kUserDefinedRegionCheckDefault = 0;

inline constexpr SettingKey kRegionOffsetX{kGlobalSection, "region-offset-x"};
inline constexpr SettingKey kRegionOffsetY{kGlobalSection, "region-offset-y"};
inline constexpr int kRegionOffsetDefault = 0;

// The capture sources assume 640 x 480 when the size is absent; the region
// frame and the settings page assume 0 x 0.
inline constexpr SettingKey kRegionWidth{kGlobalSection, "region-width"};
inline constexpr SettingKey kRegionHeight{kGlobalSection, "region-height"};
inline constexpr int kRegionWidthCaptureDefault = 640;
inline constexpr int kRegionHeightCaptureDefault = 480;
inline constexpr int kRegionWidthSelectionDefault = 0;
inline constexpr int kRegionHeightSelectionDefault = 0;

// 1 minimises the main window and shows the floating panel while recording.
inline constexpr SettingKey kSuspendCheck{kGlobalSection, "suspend-check"};
inline constexpr int kSuspendCheckDefault = 0;

// 0 the close button exits, 1 it minimises the main window.
inline constexpr SettingKey kWindowClose{kGlobalSection, "window-close"};
inline constexpr int kWindowCloseDefault = 0;

// ---------------------------------------------------------------------------
// "global": watermark
// ---------------------------------------------------------------------------
// 0 none, 1 image, 2 text.
inline constexpr SettingKey kWatermarkType{kGlobalSection, "watermark-type"};
inline constexpr int kWatermarkTypeDefault = 0;

// Corner: 0 left-top, 1 right-top, 2 left-bottom, 3 right-bottom.
inline constexpr SettingKey kWatermarkPos{kGlobalSection, "watermark-pos"};
inline constexpr int kWatermarkPosDefault = 0;

// Offsets of an image or text watermark from the edges of its corner. The
// filter graph reads them as numbers, the settings page as text.
inline constexpr SettingKey kWatermarkLtLeft{kGlobalSection, "watermark-lt-left"};
inline constexpr SettingKey kWatermarkLtTop{kGlobalSection, "watermark-lt-top"};
inline constexpr SettingKey kWatermarkRtRight{kGlobalSection, "watermark-rt-right"};
inline constexpr SettingKey kWatermarkRtTop{kGlobalSection, "watermark-rt-top"};
inline constexpr SettingKey kWatermarkLbLeft{kGlobalSection, "watermark-lb-left"};
inline constexpr SettingKey kWatermarkLbBottom{kGlobalSection, "watermark-lb-bottom"};
inline constexpr SettingKey kWatermarkRbRight{kGlobalSection, "watermark-rb-right"};
inline constexpr SettingKey kWatermarkRbBottom{kGlobalSection, "watermark-rb-bottom"};
inline constexpr int kWatermarkEdgeOffsetFilterDefault = 0;
inline constexpr std::string_view kWatermarkEdgeOffsetSettingsPageDefault = "20";
inline constexpr std::size_t kWatermarkEdgeOffsetSettingsPageCapacity = 20;

inline constexpr SettingKey kWatermarkImagePath{kGlobalSection, "watermark-image-path"};
inline constexpr std::string_view kWatermarkImagePathDefault = "";
inline constexpr std::size_t kWatermarkImagePathCapacity = 260;

inline constexpr SettingKey kWatermarkTextDesc{kGlobalSection, "watermark-text-desc"};
inline constexpr std::string_view kWatermarkTextDescDefault = "TARN屏幕录制";
inline constexpr std::size_t kWatermarkTextDescCapacity = 255;

inline constexpr SettingKey kWatermarkTextOffsetX{kGlobalSection, "watermark-text-offset-x"};
inline constexpr SettingKey kWatermarkTextOffsetY{kGlobalSection, "watermark-text-offset-y"};
inline constexpr int kWatermarkTextOffsetFilterDefault = 0;
inline constexpr std::string_view kWatermarkTextOffsetSettingsPageDefault = "20";
inline constexpr std::size_t kWatermarkTextOffsetSettingsPageCapacity = 255;

inline constexpr SettingKey kWatermarkFontSize{kGlobalSection, "watermark-font-size"};
inline constexpr int kWatermarkFontSizeFilterDefault = 32;
inline constexpr std::string_view kWatermarkFontSizeSettingsPageDefault = "32";
inline constexpr std::size_t kWatermarkFontSizeSettingsPageCapacity = 255;

// Microsoft YaHei.
inline constexpr SettingKey kWatermarkFontFamily{kGlobalSection, "watermark-font-family"};
inline constexpr std::string_view kWatermarkFontFamilyDefault = "微软雅黑";
inline constexpr std::size_t kWatermarkFontFamilyCapacity = 255;

// "red", "orange", "yellow", "green" or "blue".
inline constexpr SettingKey kWatermarkColor{kGlobalSection, "watermark-color"};
inline constexpr std::string_view kWatermarkColorDefault = "red";
inline constexpr std::size_t kWatermarkColorCapacity = 255;

// ---------------------------------------------------------------------------
// "global": online services
// ---------------------------------------------------------------------------
// Cached public address of the user; empty starts the address lookup.
inline constexpr SettingKey kUserRealIp{kGlobalSection, "user-real-ip"};
inline constexpr std::string_view kUserRealIpDefault = "";
inline constexpr std::size_t kUserRealIpCapacity = 112;

// ---------------------------------------------------------------------------
// "hotkey"
// ---------------------------------------------------------------------------
// key1 holds the modifier flags (1 Alt, 2 Ctrl, 4 Shift), key2 the virtual-key
// code; 0 in either half selects the built-in hot key (see hot_key_settings.h).
inline constexpr SettingKey kStartPauseKey1{kHotKeySection, "start-pause-key1"};
inline constexpr SettingKey kStartPauseKey2{kHotKeySection, "start-pause-key2"};
inline constexpr SettingKey kStopKey1{kHotKeySection, "stop-key1"};
inline constexpr SettingKey kStopKey2{kHotKeySection, "stop-key2"};
inline constexpr int kHotKeyPartDefault = 0;

// Selected entries of the hot-key pickers of the settings page.
inline constexpr SettingKey kStartPauseKey1Index{kHotKeySection, "start-pause-key1-index"};
inline constexpr SettingKey kStartPauseKey2Index{kHotKeySection, "start-pause-key2-index"};
inline constexpr SettingKey kStopKey1Index{kHotKeySection, "stop-key1-index"};
inline constexpr SettingKey kStopKey2Index{kHotKeySection, "stop-key2-index"};
inline constexpr int kHotKeyIndexDefault = -1;

// ---------------------------------------------------------------------------
// "mouse-effect"
// ---------------------------------------------------------------------------
// 1 draws the cursor into the recording.
inline constexpr SettingKey kMouseCheck{kMouseEffectSection, "mouse-check"};
inline constexpr int kMouseCheckDefault = 1;

// 1 marks mouse clicks.
inline constexpr SettingKey kMouseEffectClickCheck{kMouseEffectSection, "mouse-effect-click-check"};
inline constexpr int kMouseEffectClickCheckDefault = 0;

// 1 highlights a region around the cursor.
inline constexpr SettingKey kMouseHotRegionCheck{kMouseEffectSection, "mouse-hot-region-check"};
inline constexpr int kMouseHotRegionCheckDefault = 0;

// Colours as 0x00BBGGRR values in decimal text.
inline constexpr SettingKey kMouseClickLeftColor{kMouseEffectSection, "mouse-click-left-color"};
inline constexpr std::string_view kMouseClickLeftColorDefault = "255";  // red
inline constexpr SettingKey kMouseClickRightColor{kMouseEffectSection, "mouse-click-right-color"};
inline constexpr std::string_view kMouseClickRightColorDefault = "65280";  // green
inline constexpr SettingKey kMouseHotRegionColor{kMouseEffectSection, "mouse-hot-region-color"};
inline constexpr std::string_view kMouseHotRegionColorDefault = "65535";  // yellow
inline constexpr std::size_t kMouseColorCapacity = 20;

// Size of the cursor highlight, pixels.
inline constexpr SettingKey kMouseHotRegionSize{kMouseEffectSection, "mouse-hot-region-size"};
inline constexpr int kMouseHotRegionSizeDefault = 56;

// ---------------------------------------------------------------------------
// "mouse-follow"
// ---------------------------------------------------------------------------
// 1 the recorded rectangle follows the mouse.
inline constexpr SettingKey kMouseFollowCheck{kMouseFollowSection, "mouse-follow-check"};
inline constexpr int kMouseFollowCheckDefault = 0;

// Selected entry of the follow-size list of the settings page.
inline constexpr SettingKey kMouseFollowRatioIndex{kMouseFollowSection, "mouse-follow-ratio-index"};
inline constexpr int kMouseFollowRatioIndexDefault = 2;

// The follow areas the user chooses from, by "mouse-follow-ratio-index".
struct FollowArea {
  int width;
  int height;
};
inline constexpr FollowArea kMouseFollowAreas[8] = {{1280, 720}, {800, 600}, {640, 480}, {320, 240},
                                                    {720, 1080}, {400, 800}, {320, 480}, {240, 320}};

inline constexpr SettingKey kMouseFollowRatioWidth{kMouseFollowSection, "mouse-follow-ratio-width"};
inline constexpr int kMouseFollowRatioWidthDefault = 640;
inline constexpr SettingKey kMouseFollowRatioHeight{kMouseFollowSection,
                                                    "mouse-follow-ratio-height"};
inline constexpr int kMouseFollowRatioHeightDefault = 480;

// ---------------------------------------------------------------------------
// "suspend": position of the floating control panel
// ---------------------------------------------------------------------------
// Distances from the top and the right edge of the work area, pixels.
inline constexpr SettingKey kSuspendTop{kSuspendSection, "top"};
inline constexpr int kSuspendTopDefault = 50;
inline constexpr SettingKey kSuspendRight{kSuspendSection, "right"};
inline constexpr int kSuspendRightDefault = 50;

}  // namespace tarn
