// The watermark's graph: where the image goes, how settings reach the filters
// (exactly as typed, adding no filter or option), the text as drawn, and the
// pictures of a recording going through it.

#include <gtest/gtest.h>
#include <sys/stat.h>

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
}

#include <filesystem>
#include <fstream>
#include <map>

#include "platform/program_dir.h"
#include "recorder/picture_fifo.h"
#include "recorder/picture_writer.h"
#include "recorder/video_filter.h"
#include "recorder/watermark.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"
#include "tests/support/temp_dir.h"
#include "tests/support/watermark_support.h"

namespace tarn {
namespace {

VideoFilterInput BgraInput(int width, int height) {
  VideoFilterInput input;
  input.width = width;
  input.height = height;
  input.format = AV_PIX_FMT_BGRA;
  return input;
}

std::string DefaultFont() { return WatermarkFontPath(WatermarkOptions{}, platform::ProgramDir()); }

// Filters by filter name, leaving out the conversions the graph adds itself.
std::map<std::string, int> FilterCounts(const AVFilterGraph& graph) {
  std::map<std::string, int> counts;
  for (unsigned i = 0; i < graph.nb_filters; ++i) {
    const AVFilterContext* filter = graph.filters[i];
    if (std::string(filter->name).rfind("auto_", 0) == 0) continue;
    ++counts[filter->filter->name];
  }
  return counts;
}

AVFilterContext* FindFilter(const AVFilterGraph& graph, const char* name) {
  for (unsigned i = 0; i < graph.nb_filters; ++i) {
    if (std::string(graph.filters[i]->filter->name) == name) return graph.filters[i];
  }
  return nullptr;
}

// An option's value as the filter holds it.
std::string OptionOf(AVFilterContext* filter, const char* option) {
  std::uint8_t* value = nullptr;
  if (filter == nullptr || av_opt_get(filter, option, AV_OPT_SEARCH_CHILDREN, &value) < 0) return "<none>";
  std::string text = value != nullptr ? reinterpret_cast<const char*>(value) : "<null>";
  av_free(value);
  return text;
}

// Runs a black width x height picture through `filter`: the picture's bytes.
std::vector<std::uint8_t> FilterBlack(VideoFilter& filter, int width, int height) {
  av::FramePtr picture = test::BlackBgraPicture(width, height);
  av::FramePtr filtered = av::MakeFrame();
  if (filter.Filter(picture.get(), filtered.get()) < 0) return {};
  return test::BgraBytes(*filtered);
}

// The reference drawing: a drawtext filter made and linked through the API,
// reading `text` from a file, on a black picture.
std::vector<std::uint8_t> DrawReference(const std::string& fontPath, const std::string& text,
                                        const std::string& textFile, int width, int height) {
  {
    std::ofstream out(textFile, std::ios::binary | std::ios::trunc);
    out << text;
  }
  av::FilterGraphPtr graph(avfilter_graph_alloc());
  AVFilterContext* source = nullptr;
  AVFilterContext* sink = nullptr;
  const std::string args = "video_size=" + std::to_string(width) + "x" + std::to_string(height) +
                           ":pix_fmt=" + std::to_string(AV_PIX_FMT_BGRA) + ":time_base=1/1000000";
  if (avfilter_graph_create_filter(&source, avfilter_get_by_name("buffer"), "in", args.c_str(), nullptr,
                                   graph.get()) < 0 ||
      avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                   graph.get()) < 0) {
    return {};
  }
  AVFilterContext* draw = avfilter_graph_alloc_filter(graph.get(), avfilter_get_by_name("drawtext"), "ref");
  const std::pair<const char*, std::string> options[] = {
      {"fontfile", fontPath}, {"textfile", textFile}, {"x", "12"},          {"y", "10"},
      {"fontsize", "32"},     {"fontcolor", "red"},   {"shadowy", "1"},     {"expansion", "none"}};
  for (const auto& [name, value] : options) {
    if (av_opt_set(draw, name, value.c_str(), AV_OPT_SEARCH_CHILDREN) < 0) return {};
  }
  const AVPixelFormat formats[] = {AV_PIX_FMT_BGRA, AV_PIX_FMT_NONE};
  if (avfilter_init_str(draw, nullptr) < 0 || avfilter_link(source, 0, draw, 0) < 0 ||
      avfilter_link(draw, 0, sink, 0) < 0 ||
      av_opt_set_int_list(sink, "pix_fmts", formats, AV_PIX_FMT_NONE, AV_OPT_SEARCH_CHILDREN) < 0 ||
      avfilter_graph_config(graph.get(), nullptr) < 0) {
    return {};
  }
  av::FramePtr picture = test::BlackBgraPicture(width, height);
  av::FramePtr filtered = av::MakeFrame();
  if (av_buffersrc_add_frame(source, picture.get()) < 0 || av_buffersink_get_frame(sink, filtered.get()) < 0) {
    return {};
  }
  return test::BgraBytes(*filtered);
}

std::size_t DifferentBytes(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  if (a.size() != b.size()) return std::max(a.size(), b.size());
  std::size_t count = 0;
  for (std::size_t i = 0; i < a.size(); ++i) count += a[i] != b[i];
  return count;
}

TEST(WatermarkPositionTest, EachCornerPlacesTheImageByItsOwnMargins) {
  WatermarkOptions options;
  options.ltLeft = 1, options.ltTop = 2, options.rtRight = 3, options.rtTop = 4;
  options.lbLeft = 5, options.lbBottom = 6, options.rbRight = 10, options.rbBottom = 20;
  struct Case {
    int corner, imageWidth, imageHeight, x, y;
  } cases[] = {
      {0, 200, 50, 1, 2},        {1, 200, 50, 1077, 4},   {2, 200, 50, 5, 664},
      {3, 200, 50, 1070, 650},   {4, 200, 50, 0, 0},      {-1, 200, 50, 0, 0},
      // An image of unknown size is placed as if it had none.
      {3, 0, 0, 1270, 700},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "corner " << c.corner << ", image " << c.imageWidth << "x" << c.imageHeight);
    options.position = c.corner;
    const OverlayPosition at = ImageOverlayPosition(options, 1280, 720, c.imageWidth, c.imageHeight);
    EXPECT_EQ(at.x, c.x);
    EXPECT_EQ(at.y, c.y);
  }
}

TEST(WatermarkOptionsTest, SettingsAndTheirDefaultsChooseImageFontAndText) {
  test::TempDir dir;
  SettingsStore store(dir / "configure.ini");
  WatermarkOptions options = ReadWatermarkOptions(store);
  EXPECT_EQ(options.type, kWatermarkNone);
  EXPECT_EQ(options.fontSize, 32);
  EXPECT_EQ(options.colour, "red");
  EXPECT_EQ(options.text, "TARN屏幕录制");
  EXPECT_EQ(options.fontFamily, "微软雅黑");
  EXPECT_EQ(WatermarkImagePath(options, "/opt/tarn"), "/opt/tarn/tarnwm.png");
  EXPECT_EQ(WatermarkFontPath(options, "/opt/tarn"), "/opt/tarn/microsoftYaHei.ttf");

  store.SetInt(kWatermarkType, 1);
  store.SetInt(kWatermarkPos, 3);
  store.SetInt(kWatermarkRbRight, 10);
  store.SetInt(kWatermarkRbBottom, 20);
  store.SetString(kWatermarkImagePath, "/pictures/logo.png");
  store.SetString(kWatermarkFontFamily, "宋体");
  store.SetString(kWatermarkTextDesc, "a:b,c");
  store.SetInt(kWatermarkTextOffsetX, 7);
  store.SetInt(kWatermarkFontSize, 18);
  options = ReadWatermarkOptions(store);
  EXPECT_EQ(options.type, kWatermarkImage);
  EXPECT_EQ(ImageOverlayPosition(options, 1280, 720, 200, 50).x, 1070);
  EXPECT_EQ(ImageOverlayPosition(options, 1280, 720, 200, 50).y, 650);
  EXPECT_EQ(WatermarkImagePath(options, "/opt/tarn"), "/pictures/logo.png");
  EXPECT_EQ(WatermarkFontPath(options, "/opt/tarn"), "/opt/tarn/songTypeface.ttf");
  EXPECT_EQ(options.text, "a:b,c");
  EXPECT_EQ(options.textX, 7);
  EXPECT_EQ(options.fontSize, 18);
  // Any other family names no file: the folder itself, which no font loader takes.
  options.fontFamily = "Arial";
  EXPECT_EQ(WatermarkFontPath(options, "/opt/tarn"), "/opt/tarn/");
}

TEST(WatermarkImageTest, TheDefaultImageLiesBesideTheProgramAndIsMeasured) {
  const std::string programDir = platform::ProgramDir();
  ASSERT_FALSE(programDir.empty());
  const std::string path = WatermarkImagePath(WatermarkOptions{}, programDir);
  EXPECT_EQ(path, programDir + "/tarnwm.png");
  const ImageInfo image = ReadImageInfo(path);
  EXPECT_EQ(image.width, 200);
  EXPECT_EQ(image.height, 50);
  EXPECT_EQ(image.format, "png_pipe");
  // Unreadable images measure 0x0.
  test::TempDir dir;
  std::ofstream(dir / "not-an-image.png") << "plain text";
  for (const std::string& bad : {dir / "missing.png", dir / "not-an-image.png", dir.path()}) {
    SCOPED_TRACE(bad);
    const ImageInfo none = ReadImageInfo(bad);
    EXPECT_EQ(none.width, 0);
    EXPECT_EQ(none.height, 0);
  }
}

// Values with every character the filter syntax treats specially.
const std::vector<std::string> kHostileTexts = {
    "a:b,c", "it's", "100%", "%{pts}", "back\\slash\\", "[out];movie=x", "TARN屏幕录制",
    " padded ", "'", "\\", "key=value:fontsize=300", "a\\:b", "[in][wm]overlay=0:0[out]", "x';y='z"};

TEST(WatermarkEscapingTest, TextAndFontPathReachTheTextFilterExactlyAndAddNothing) {
  test::TempDir dir;
  // A font in a folder whose name holds the special characters too.
  const std::string folder = dir / "it's a:b,c [x];y=z %d\\ q";
  ASSERT_TRUE(std::filesystem::create_directory(folder));
  const std::string font = folder + "/font's:1,[2].ttf";
  std::filesystem::copy_file(DefaultFont(), font);
  for (const std::string& text : kHostileTexts) {
    SCOPED_TRACE("text \"" + text + "\"");
    const std::string description = TextWatermarkDescription(font, text, 5, 6, 20, "red");
    std::string error;
    int code = 0;
    std::unique_ptr<VideoFilter> filter = VideoFilter::Create(BgraInput(64, 48), description, error, code);
    ASSERT_TRUE(filter) << error << "\n" << description;
    AVFilterContext* draw = FindFilter(*filter->graph(), "drawtext");
    EXPECT_EQ(OptionOf(draw, "text"), text);
    EXPECT_EQ(OptionOf(draw, "fontfile"), font);
    EXPECT_EQ(OptionOf(draw, "fontsize"), "20");
    EXPECT_EQ(OptionOf(draw, "x"), "5");
    const std::map<std::string, int> expected = {{"buffer", 1}, {"buffersink", 1}, {"drawtext", 1}};
    EXPECT_EQ(FilterCounts(*filter->graph()), expected);
    EXPECT_EQ(filter->graph()->nb_filters, 3u);
  }
}

TEST(WatermarkEscapingTest, ImagePathsReachTheMovieSourceExactlyAndAddNothing) {
  test::TempDir dir;
  const std::string folder = dir / "it's a:b,c [x];y=z %d\\ q";
  ASSERT_TRUE(std::filesystem::create_directory(folder));
  for (const char* name : {"[out];movie=x.png", "logo%d.png", "a:b,c.png", "it's.png", "图 片*?.png",
                                  " padded ", "x=y"}) {
    const std::string path = folder + "/" + std::string(name);
    SCOPED_TRACE(path);
    ASSERT_TRUE(test::WriteSolidPng(path, 8, 4, {0, 255, 0}));
    const ImageInfo image = ReadImageInfo(path);
    EXPECT_EQ(image.width, 8);
    const std::string description = ImageWatermarkDescription(path, image.format, 3, 2);
    std::string error;
    int code = 0;
    std::unique_ptr<VideoFilter> filter = VideoFilter::Create(BgraInput(64, 48), description, error, code);
    ASSERT_TRUE(filter) << error << "\n" << description;
    EXPECT_EQ(OptionOf(FindFilter(*filter->graph(), "movie"), "filename"), path);
    const std::map<std::string, int> expected = {
        {"buffer", 1}, {"buffersink", 1}, {"movie", 1}, {"overlay", 1}};
    EXPECT_EQ(FilterCounts(*filter->graph()), expected);
  }
}

TEST(WatermarkEscapingTest, AColourFfmpegDoesNotKnowFailsTheGraph) {
  for (const std::string colour : {"red", "0x00FF00", "white@0.5", "#336699"}) {
    SCOPED_TRACE(colour);
    std::string error;
    int code = 0;
    EXPECT_TRUE(VideoFilter::Create(BgraInput(64, 48), TextWatermarkDescription(DefaultFont(), "x", 0, 0, 20, colour),
                                    error, code))
        << error;
  }
  // Unknown names, and options or filters smuggled in with the colour.
  for (const std::string colour : {"no-such-colour", "red:fontsize=300", "red,drawtext=text=x", "red[x]", ""}) {
    SCOPED_TRACE(colour);
    std::string error;
    int code = 0;
    EXPECT_FALSE(VideoFilter::Create(BgraInput(64, 48), TextWatermarkDescription(DefaultFont(), "x", 0, 0, 20, colour),
                                     error, code));
    EXPECT_LT(code, 0);
    EXPECT_NE(error.find("Cannot parse graph args"), std::string::npos) << error;
  }
}

TEST(WatermarkFailureTest, AnUnknownFontFamilyOrAMissingFontGivesNoDescriptionButWhy) {
  const std::string programDir = platform::ProgramDir();
  test::TempDir dir;
  WatermarkOptions options;
  options.type = kWatermarkText;
  std::string error;
  EXPECT_NE(WatermarkDescription(options, programDir, 320, 240, error), "");
  EXPECT_EQ(error, "");
  // The text filter would fall back on a font of the system's choosing.
  options.fontFamily = "Comic Sans";
  EXPECT_EQ(WatermarkDescription(options, programDir, 320, 240, error), "");
  EXPECT_EQ(error, "the font family \"Comic Sans\" has no font file");
  options.fontFamily = "宋体";
  EXPECT_EQ(WatermarkDescription(options, dir.path(), 320, 240, error), "");
  EXPECT_EQ(error, "the font file " + dir.path() + "/songTypeface.ttf cannot be read: No such file or directory");
  options.type = kWatermarkNone;
  EXPECT_EQ(WatermarkDescription(options, programDir, 320, 240, error), "");
  EXPECT_EQ(error, "");
}

TEST(WatermarkFailureTest, AMissingImageFailsTheGraphWithTheStepAndWhy) {
  test::TempDir dir;
  WatermarkOptions options;
  options.type = kWatermarkImage;
  options.imagePath = dir / "missing.png";
  std::string error;
  const std::string description = WatermarkDescription(options, "", 320, 240, error);
  ASSERT_NE(description, "");
  int code = 0;
  EXPECT_FALSE(VideoFilter::Create(BgraInput(320, 240), description, error, code));
  EXPECT_EQ(code, AVERROR(ENOENT));
  EXPECT_EQ(error, "Cannot parse graph args: No such file or directory");
}

TEST(WatermarkDrawingTest, TextsAreDrawnExactlyAsTyped) {
  test::TempDir dir;
  struct Case {
    std::string text, other;
  } cases[] = {{"a:b,c", "a:b"}, {"it's", "its"}, {"100%", "100"}, {"%{pts}", "0.000000"},
               {"TARN屏幕录制", "TARN屏幕"}, {"back\\slash", "backslash"}};
  constexpr int kWidth = 320, kHeight = 60;
  for (const std::string& font : {DefaultFont(), platform::ProgramDir() + "/songTypeface.ttf"}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(font + ": \"" + c.text + "\"");
      std::string error;
      int code = 0;
      std::unique_ptr<VideoFilter> filter = VideoFilter::Create(
          BgraInput(kWidth, kHeight), TextWatermarkDescription(font, c.text, 12, 10, 32, "red"), error, code);
      ASSERT_TRUE(filter) << error;
      const std::vector<std::uint8_t> drawn = FilterBlack(*filter, kWidth, kHeight);
      const std::vector<std::uint8_t> reference = DrawReference(font, c.text, dir / "text.txt", kWidth, kHeight);
      const std::vector<std::uint8_t> other = DrawReference(font, c.other, dir / "text.txt", kWidth, kHeight);
      ASSERT_EQ(reference.size(), static_cast<std::size_t>(kWidth) * kHeight * 4);
      EXPECT_EQ(DifferentBytes(drawn, reference), 0u);
      EXPECT_GT(DifferentBytes(drawn, other), 0u);
      EXPECT_GT(DifferentBytes(drawn, test::BgraBytes(*test::BlackBgraPicture(kWidth, kHeight))), 0u);
    }
  }
}

TEST(WatermarkDrawingTest, TheImageIsLaidOverItsCorner) {
  test::TempDir dir;
  ASSERT_TRUE(test::WriteSolidPng(dir / "green.png", 40, 20, {0, 255, 0}));
  WatermarkOptions options;
  options.type = kWatermarkImage;
  options.imagePath = dir / "green.png";
  options.position = 3;
  options.rbRight = 10;
  options.rbBottom = 20;
  std::string error;
  int code = 0;
  std::unique_ptr<VideoFilter> filter =
      VideoFilter::Create(BgraInput(160, 120), WatermarkDescription(options, "", 160, 120, error), error, code);
  ASSERT_TRUE(filter) << error;
  // Several pictures: the image stays after the file's only picture.
  for (int i = 0; i < 3; ++i) {
    const std::vector<std::uint8_t> drawn = FilterBlack(*filter, 160, 120);
    ASSERT_EQ(drawn.size(), 160u * 120 * 4);
    int green = 0, black = 0;
    for (int y = 0; y < 120; ++y) {
      for (int x = 0; x < 160; ++x) {
        const std::uint8_t* bgra = &drawn[(static_cast<std::size_t>(y) * 160 + x) * 4];
        const bool inside = x >= 110 && x < 150 && y >= 80 && y < 100;
        green += inside && bgra[1] == 255 && bgra[0] == 0 && bgra[2] == 0;
        black += !inside && bgra[0] == 0 && bgra[1] == 0 && bgra[2] == 0;
      }
    }
    EXPECT_EQ(green, 40 * 20) << "picture " << i;
    EXPECT_EQ(black, 160 * 120 - 40 * 20) << "picture " << i;
  }
}

// The packet's memory, kept by the test so that it can be looked at after
// the writer let go of the packet.
struct KeptMemory {
  std::vector<std::uint8_t> bytes;
  bool released = false;
};
void ReleaseKept(void* opaque, std::uint8_t*) { static_cast<KeptMemory*>(opaque)->released = true; }

av::PacketPtr PacketOver(KeptMemory& memory, int flags) {
  av::PacketPtr packet = av::MakePacket();
  packet->buf = av_buffer_create(memory.bytes.data(), static_cast<int>(memory.bytes.size()), ReleaseKept,
                                 &memory, flags);
  packet->data = memory.bytes.data();
  packet->size = static_cast<int>(memory.bytes.size());
  packet->pts = 1234;
  return packet;
}

int RedPixels(const std::vector<std::uint8_t>& bmpFile) {
  int red = 0;
  for (std::size_t i = kBmpHeaderSize; i + 3 < bmpFile.size(); i += 4) {
    red += bmpFile[i + 2] > 200 && bmpFile[i + 1] < 60 && bmpFile[i] < 60;
  }
  return red;
}

TEST(PictureWriterTest, ScreenPicturesAreWatermarkedInTheirOwnMemoryUnlessItIsReadOnly) {
  constexpr int kWidth = 160, kHeight = 64;
  const std::string description = TextWatermarkDescription(DefaultFont(), "TARN", 4, 4, 40, "red");
  av::PacketPtr plain = test::MakeBmpPacket(kWidth, kHeight, {40, 30, 20}, 1234);
  for (const int flags : {0, AV_BUFFER_FLAG_READONLY}) {
    SCOPED_TRACE(flags == 0 ? "writable packet" : "read-only packet");
    std::string error;
    int code = 0;
    std::unique_ptr<VideoFilter> filter = VideoFilter::Create(BgraInput(kWidth, kHeight), description, error, code);
    ASSERT_TRUE(filter) << error;
    PictureFifo fifo(kWidth, kHeight, 4);
    PictureWriter writer(fifo, filter.get());
    KeptMemory memory;
    memory.bytes.assign(plain->data, plain->data + plain->size);
    {
      av::PacketPtr packet = PacketOver(memory, flags);
      ASSERT_TRUE(writer.WriteBmp(*packet));
    }
    EXPECT_TRUE(memory.released);
    EXPECT_TRUE(writer.filtering());
    // Drawn where the picture lies when it may be, else on a copy.
    if (flags == 0) {
      EXPECT_GT(RedPixels(memory.bytes), 50);
    } else {
      EXPECT_EQ(RedPixels(memory.bytes), 0);
    }
    // Either way the recorded picture carries the text: it differs from the
    // same picture written without a watermark.
    PictureFifo plainFifo(kWidth, kHeight, 4);
    PictureWriter plainWriter(plainFifo, nullptr);
    ASSERT_TRUE(plainWriter.WriteBmp(*plain));
    PictureFifo::Buffer watermarked, unmarked;
    std::int64_t stampUs = 0;
    ASSERT_EQ(fifo.ReadBuffer(watermarked, 0, &stampUs), PictureFifo::ReadResult::kPicture);
    EXPECT_EQ(stampUs, 1234);
    ASSERT_EQ(plainFifo.ReadBuffer(unmarked, 0), PictureFifo::ReadResult::kPicture);
    std::size_t different = 0;
    for (std::size_t i = 0; i < fifo.pictureSize(); ++i) different += watermarked[i] != unmarked[i];
    EXPECT_GT(different, 50u);
  }
}

TEST(PictureWriterTest, PicturesThatNoLongerFitTheFilterGoOnWithoutTheWatermark) {
  std::string error;
  int code = 0;
  VideoFilterInput input;
  input.width = 64;
  input.height = 48;
  input.format = AV_PIX_FMT_YUV420P;
  std::unique_ptr<VideoFilter> filter =
      VideoFilter::Create(input, TextWatermarkDescription(DefaultFont(), "T", 0, 0, 30, "red"), error, code);
  ASSERT_TRUE(filter) << error;
  PictureFifo fifo(64, 48, 4);
  PictureWriter writer(fifo, filter.get());
  auto picture = [](AVPixelFormat format) {
    av::FramePtr frame = av::MakeFrame();
    frame->format = format;
    frame->width = 64;
    frame->height = 48;
    EXPECT_EQ(av_frame_get_buffer(frame.get(), 0), 0);
    for (int plane = 0; plane < 3 && frame->data[plane] != nullptr; ++plane) {
      const int rows = plane == 0 ? 48 : 24;  // 4:2:0 chroma has half the rows
      std::memset(frame->data[plane], 128, static_cast<std::size_t>(frame->linesize[plane]) * rows);
    }
    frame->pts = 7;
    return frame;
  };
  EXPECT_TRUE(writer.WriteDecoded(*picture(AV_PIX_FMT_YUV420P)));
  EXPECT_TRUE(writer.filtering());
  // The source changed its pixel format mid-recording.
  EXPECT_TRUE(writer.WriteDecoded(*picture(AV_PIX_FMT_RGB24)));
  EXPECT_FALSE(writer.filtering());
  EXPECT_EQ(fifo.Count(), 2u);
}

}  // namespace
}  // namespace tarn
