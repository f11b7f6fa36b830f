#pragma once
// The watermark burnt into recordings: an image laid over one corner of the
// picture, or a line of text drawn at an offset. Both are FFmpeg filter graph
// descriptions run by a VideoFilter (video_filter.h) on every picture.
//
// Every value a user can set (the image path, the font path, the text and
// its colour) is escaped for both levels of FFmpeg's filter syntax, so it is
// read back exactly as typed and cannot add a filter or an option.

#include <string>
#include <string_view>

namespace tarn {

class SettingsStore;

inline constexpr int kWatermarkNone = 0;
inline constexpr int kWatermarkImage = 1;
inline constexpr int kWatermarkText = 2;

// The image used when no image path is set, beside the program.
inline constexpr const char* kDefaultWatermarkImage = "tarnwm.png";

// The watermark settings of one recording (section "global").
struct WatermarkOptions {
  int type = kWatermarkNone;  // kWatermarkImage, kWatermarkText; anything else draws nothing
  std::string imagePath;      // empty: kDefaultWatermarkImage beside the program
  int position = 0;           // corner: 0 top left, 1 top right, 2 bottom left, 3 bottom right
  // Margins of the image from the edges of its corner.
  int ltLeft = 0, ltTop = 0;
  int rtRight = 0, rtTop = 0;
  int lbLeft = 0, lbBottom = 0;
  int rbRight = 0, rbBottom = 0;
  // The text, where its top left corner goes, and how it looks.
  int textX = 0, textY = 0;
  int fontSize = 32;
  std::string fontFamily = "微软雅黑";
  std::string colour = "red";  // an FFmpeg colour ("red", "0xFF0000", "white@0.5")
  std::string text = "TARN屏幕录制";
};

// Reads the options from the store, with the defaults above for absent keys.
WatermarkOptions ReadWatermarkOptions(const SettingsStore& store);

struct OverlayPosition {
  int x = 0;
  int y = 0;
};

// Where the image's top left corner goes on a videoWidth x videoHeight
// picture: the chosen corner less the image's size and the margins; 0,0 for
// an unknown corner. An image of unknown size (0x0) is placed as if it had
// none.
OverlayPosition ImageOverlayPosition(const WatermarkOptions& options, int videoWidth, int videoHeight,
                                     int imageWidth, int imageHeight);

// What FFmpeg makes of an image file.
struct ImageInfo {
  int width = 0;  // 0x0 when the file cannot be read as an image
  int height = 0;
  // The FFmpeg input format that reads this one file ("png_pipe",
  // "jpeg_pipe"), so that nothing in its name is taken for a file pattern;
  // empty when unknown.
  std::string format;
};
ImageInfo ReadImageInfo(const std::string& path);

// The font file a font family selects ("微软雅黑" -> "microsoftYaHei.ttf",
// "宋体" -> "songTypeface.ttf"); empty for any other family.
std::string FontFileForFamily(std::string_view family);

// The image file: the set path, else kDefaultWatermarkImage in `programDir`.
std::string WatermarkImagePath(const WatermarkOptions& options, const std::string& programDir);
// The font file in `programDir`; for an unknown family the folder itself
// (with a trailing slash), which no font loader accepts.
std::string WatermarkFontPath(const WatermarkOptions& options, const std::string& programDir);

// Escaping for FFmpeg's filter syntax (ffmpeg-filters(1), "Notes on
// filtergraph escaping"). The option level: one option's value inside a
// filter's "key=value:key=value" list.
std::string EscapeFilterOption(std::string_view value);
// The graph level: a filter's whole option list, outside quotes.
std::string EscapeFilterGraph(std::string_view text);
// The graph level inside single quotes, where only the quote is special.
std::string EscapeFilterGraphQuoted(std::string_view text);

// The descriptions of the two watermarks. `imageFormat` may be empty.
std::string ImageWatermarkDescription(const std::string& imagePath, const std::string& imageFormat,
                                      int x, int y);
std::string TextWatermarkDescription(const std::string& fontPath, const std::string& text, int x, int y,
                                     int fontSize, const std::string& colour);

// The description of the watermark the options ask for on a videoWidth x
// videoHeight picture (reading the image to learn its size); empty when the
// options ask for none, or when the text's font file cannot be read: then
// `error` says so. (The text filter would quietly draw with a font of the
// system's choice instead.)
std::string WatermarkDescription(const WatermarkOptions& options, const std::string& programDir,
                                 int videoWidth, int videoHeight, std::string& error);

}  // namespace tarn
