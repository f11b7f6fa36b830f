// Every window in Chinese and in English on a desktop with the program's
// style: no label, button or tick box shows a text wider than the room its
// widget gives it. Each page of a window is shown in turn. With
// TARN_SCREENSHOT_DIR set, the main window is also saved there
// (main-window-en.png, main-window-zh.png), and so is each page shown.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/language.h"
#include "tests/support/main_window_fixture.h"
#include "ui/framework/ui_text.h"
#include "ui/main/message_box_dialog.h"
#include "ui/main/output_folder.h"

namespace tarn::test {
namespace {

std::string Describe(QWidget* widget, const QString& text, int needed, int room) {
  return widget->metaObject()->className() + std::string(" ") + widget->objectName().toStdString() +
         " \"" + text.toStdString() + "\" needs " + std::to_string(needed) + " px, has " +
         std::to_string(room) + " px";
}

// The widest line of `text`.
int TextWidth(const QFontMetrics& metrics, const QString& text) {
  int widest = 0;
  for (const QString& line : text.split('\n')) widest = std::max(widest, metrics.horizontalAdvance(line));
  return widest;
}

// The room a button's style leaves for its text (and icon).
int ButtonTextRoom(QAbstractButton* button) {
  QStyleOptionButton option;
  option.initFrom(button);
  option.text = button->text();
  option.icon = button->icon();
  option.iconSize = button->iconSize();
  QStyle::SubElement element = QStyle::SE_PushButtonContents;
  if (qobject_cast<QCheckBox*>(button) != nullptr) {
    element = QStyle::SE_CheckBoxContents;
  } else if (qobject_cast<QRadioButton*>(button) != nullptr) {
    element = QStyle::SE_RadioButtonContents;
  } else if (qobject_cast<QPushButton*>(button) == nullptr) {
    return button->contentsRect().width();
  }
  return button->style()->subElementRect(element, &option, button).width();
}

// The texts of `root`'s visible labels and buttons that do not fit. Texts a
// window elides itself ("…") fit by construction; word-wrapped labels are
// measured by the height their text needs at their width.
std::vector<std::string> ClippedTexts(QWidget* root) {
  std::vector<std::string> clipped;
  for (QWidget* widget : root->findChildren<QWidget*>()) {
    if (!widget->isVisible() || widget->width() <= 0) continue;
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      const QString text = label->text();
      if (text.isEmpty() || Qt::mightBeRichText(text)) continue;
      const int margin = label->margin();
      const QRect room = label->contentsRect().adjusted(margin, margin, -margin, -margin);
      if (label->wordWrap()) {
        const int needed = label->heightForWidth(label->width());
        if (needed > label->height()) clipped.push_back(Describe(label, text, needed, label->height()));
        continue;
      }
      const int needed = TextWidth(label->fontMetrics(), text);
      if (needed > room.width()) clipped.push_back(Describe(label, text, needed, room.width()));
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      const QString text = button->text();
      if (text.isEmpty()) continue;
      int needed = TextWidth(button->fontMetrics(), text);
      if (!button->icon().isNull()) needed += button->iconSize().width() + 4;
      const int room = ButtonTextRoom(button);
      if (needed > room) clipped.push_back(Describe(button, text, needed, room));
    }
  }
  return clipped;
}

// "zh" or "en": the language of the running test, for screenshot names.
QString gLanguageTag;

void Settle() {
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

// Clipped texts of `window`, showing each page of each stacked widget in turn.
std::vector<std::string> ClippedOnEveryPage(QWidget* window) {
  Settle();
  std::vector<std::string> clipped = ClippedTexts(window);
  for (QStackedWidget* stack : window->findChildren<QStackedWidget*>()) {
    const int shown = stack->currentIndex();
    for (int page = 0; page < stack->count(); ++page) {
      if (page == shown) continue;
      stack->setCurrentIndex(page);
      Settle();
      if (const char* dir = std::getenv("TARN_SCREENSHOT_DIR")) {
        // For looking at every page in each language.
        window->grab().save(QDir(dir).filePath(QString("%1-%2-%3-%4.png")
                                                   .arg(window->property("windowClass").toString(),
                                                        stack->objectName())
                                                   .arg(page)
                                                   .arg(gLanguageTag)));
      }
      for (std::string& text : ClippedTexts(window)) {
        clipped.push_back(stack->objectName().toStdString() + " page " + std::to_string(page) + ": " +
                          text);
      }
    }
    stack->setCurrentIndex(shown);
  }
  return clipped;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) all += line + "\n";
  return all;
}

// Any layout of the skin as a window of its own, at the size its layout gives.
class SkinWindow : public ui::WindowImplBase {
 public:
  explicit SkinWindow(QString file) : file_(std::move(file)) {}
  QString GetSkinFile() const override { return file_; }
  QString GetWindowClassName() const override { return file_.section('.', 0, 0); }

 private:
  QString file_;
};

class WindowTextsTest : public MainWindowFixture, public ::testing::WithParamInterface<UiLanguage> {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    ASSERT_TRUE(ui::WindowImplBase::LoadSharedResources());
    ASSERT_TRUE(InstallUiTranslation(translator_, GetParam(), TARN_TRANSLATIONS_DIR));
    gLanguageTag = GetParam() == UiLanguage::kEnglish ? "en" : "zh";
  }
  void TearDown() override {
    MainWindowFixture::TearDown();
    qApp->setStyleSheet(QString());
  }

  // A few short recordings for the list (real ones when a screenshot is
  // taken, so that their durations show).
  void AddRecordings(bool real) {
    for (const char* name : {"20261208093000.mp4", "20261208101500.mp4", "20261208143000.mp4"}) {
      const std::string path = outputDir_ + "/" + name;
      if (real) {
        const std::string command = "ffmpeg -v error -y -f lavfi -i testsrc2=size=320x240:rate=10 "
                                    "-t 3 -pix_fmt yuv420p '" + path + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
      } else {
        std::ofstream(path) << std::string(4096, 'x');
      }
    }
  }

  QTranslator translator_;
};

TEST_P(WindowTextsTest, TheMainWindowShowsEveryTextInFullOnEachPage) {
  const char* screenshotDir = std::getenv("TARN_SCREENSHOT_DIR");
  AddRecordings(screenshotDir != nullptr);
  ui::CMainWnd& window = OpenWindow();
  ASSERT_TRUE(WaitUntil([&] { return window.isVisible(); }, 5000));
  ASSERT_TRUE(WaitForDurations());
  const bool english = GetParam() == UiLanguage::kEnglish;
  EXPECT_EQ(window.FindControl<QPushButton>("recorderStartBtn")->text(),
            english ? QString("Start") : QString::fromUtf8("开始录制"));
  if (screenshotDir != nullptr) {
    Settle();
    const QString name = english ? "main-window-en.png" : "main-window-zh.png";
    ASSERT_TRUE(window.grab().save(QDir(screenshotDir).filePath(name)));
  }
  const std::vector<std::string> clipped = ClippedOnEveryPage(&window);
  EXPECT_TRUE(clipped.empty()) << Joined(clipped);
}

TEST_P(WindowTextsTest, TheSettingsDialogShowsEveryTextInFullOnEachPage) {
  ui::CMainWnd& window = OpenWindow();
  ASSERT_TRUE(WaitUntil([&] { return window.isVisible(); }, 5000));
  std::vector<std::string> clipped;
  bool seen = false;
  AnswerWhenShown("SetingDialog", [&](QWidget* dialog) {
    seen = true;
    clipped = ClippedOnEveryPage(dialog);
    dialog->close();
  });
  window.FindControl<QPushButton>("seting")->click();
  ASSERT_TRUE(WaitUntil([&] { return seen; }, 10000));
  EXPECT_TRUE(clipped.empty()) << Joined(clipped);
}

TEST_P(WindowTextsTest, TheQuestionAndTheNoticeShowTheirTextsInFull) {
  ui::CMainWnd& window = OpenWindow();
  ASSERT_TRUE(WaitUntil([&] { return window.isVisible(); }, 5000));
  for (const char* windowClass : {"MessageBoxDialog", "PromptBoxDialog"}) {
    SCOPED_TRACE(windowClass);
    std::vector<std::string> clipped;
    bool seen = false;
    AnswerWhenShown(windowClass, [&](QWidget* dialog) {
      seen = true;
      clipped = ClippedOnEveryPage(dialog);
      dialog->close();
    });
    // The longest question and notice, with a file name and a reason.
    if (std::string(windowClass) == "MessageBoxDialog") {
      ui::MessageBoxDialog::Ask(&window, ui::UiText(ui::kDeleteForGoodQuestionText)
                                             .arg("20261208093000.mp4", "no trash folder on this disk"));
    } else {
      ui::PromptBoxDialog::Show(&window, ui::UiText(ui::kStartScreenFailedText) +
                                             "cannot open the X display :0 (connection refused)");
    }
    ASSERT_TRUE(seen);
    EXPECT_TRUE(clipped.empty()) << Joined(clipped);
  }
}

// The menus, the overlays, the brush and the list rows, at their layouts'
// size. The floating panel is left out: it holds only the clock and icons, and
// loaded on its own it shows all three buttons where the program shows two.
TEST_P(WindowTextsTest, EveryOtherLayoutShowsEveryTextInFull) {
  for (const char* file :
       {"PopMenu.ui", "MainTaskMenu.ui", "ConvertPopMenu.ui", "CompressPopMenu.ui",
        "ToolWindow.ui", "CameraWindow.ui", "ScreenBrush.ui", "EditWindow.ui", "RenameFile.ui",
        "VideoListContainerElement.ui", "ConvertListContainerElement.ui",
        "CompressListContainerElement.ui"}) {
    SCOPED_TRACE(file);
    SkinWindow window(QString::fromLatin1(file));
    ASSERT_NO_THROW(window.Create(nullptr, QString()));
    window.show();
    ASSERT_TRUE(WaitUntil([&] { return window.isVisible(); }, 5000));
    const std::vector<std::string> clipped = ClippedOnEveryPage(&window);
    EXPECT_TRUE(clipped.empty()) << Joined(clipped);
    if (const char* dir = std::getenv("TARN_SCREENSHOT_DIR")) {
      window.grab().save(QDir(dir).filePath(QString("%1-%2.png").arg(file, gLanguageTag)));
    }
    window.hide();
  }
}

INSTANTIATE_TEST_SUITE_P(Languages, WindowTextsTest,
                         ::testing::Values(UiLanguage::kChinese, UiLanguage::kEnglish),
                         [](const ::testing::TestParamInfo<UiLanguage>& info) {
                           return std::string(info.param == UiLanguage::kChinese ? "Chinese" : "English");
                         });

}  // namespace
}  // namespace tarn::test
