// The choice of the windows' language, and the English translation loaded
// into the texts of code and layouts, or the Chinese kept when it cannot be.

#include <glog/logging.h>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QTranslator>
#include <QUiLoader>
#include <QWidget>
#include <fstream>
#include <memory>
#include <string>

#include "app/language.h"
#include "settings/settings_store.h"
#include "tests/support/temp_dir.h"
#include "ui/framework/ui_text.h"
#include "ui/main/main_wnd.h"

namespace tarn::test {
namespace {

constexpr UiLanguage kZh = UiLanguage::kChinese;
constexpr UiLanguage kEn = UiLanguage::kEnglish;

class ErrorSink : public google::LogSink {
 public:
  ErrorSink() { google::AddLogSink(this); }
  ~ErrorSink() override { google::RemoveLogSink(this); }
  void send(google::LogSeverity severity, const char*, const char*, int, const google::LogMessageTime&,
            const char* message, std::size_t length) override {
    if (severity >= google::GLOG_ERROR) text += std::string(message, length) + "\n";
  }
  std::string text;
};

TEST(UiLanguageTest, TheSettingThenLanguageThenTheLocaleDecide) {
  struct Case {
    const char* setting;
    const char* languageEnv;
    const char* locale;
    UiLanguage expected;
  };
  const Case cases[] = {
      // The locale alone.
      {"", "", "zh_CN", kZh},
      {"", "", "zh_TW", kZh},
      {"", "", "zh", kZh},
      {"", "", "en_US", kEn},
      {"", "", "de_DE", kEn},
      {"", "", "C", kEn},
      {"", "", "", kEn},
      {"", "", "zu_ZA", kEn},  // starts with z, is not Chinese
      // LANGUAGE over the locale: its first entry only.
      {"", "zh_CN", "en_US", kZh},
      {"", "en_US:zh_CN", "zh_CN", kEn},
      {"", "zh_CN:en", "de_DE", kZh},
      {"", "fr", "zh_CN", kEn},
      {"", ":zh_CN", "en_US", kEn},  // an empty first entry counts as unset
      // The setting over both.
      {"en", "zh_CN", "zh_CN", kEn},
      {"zh_CN", "en_US", "en_US", kZh},
      {"zh-CN", "", "en_US", kZh},
      {" en ", "", "zh_CN", kEn},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("setting '") + c.setting + "', LANGUAGE '" + c.languageEnv + "', locale '" +
                 c.locale + "'");
    EXPECT_EQ(ChooseUiLanguage(c.setting, c.languageEnv, c.locale), c.expected);
  }
}

TEST(UiLanguageTest, TheSettingsKeyAndTheEnvironmentAreRead) {
  TempDir home;
  SettingsStore settings(home / "configure.ini");
  {
    ScopedEnv language("LANGUAGE", "zh_CN");
    EXPECT_EQ(ChooseUiLanguage(settings), kZh);
    ASSERT_TRUE(settings.SetString(kGlobalSection, "language", "en"));
    EXPECT_EQ(ChooseUiLanguage(settings), kEn);
  }
  ScopedEnv language("LANGUAGE", "en_GB");
  ASSERT_TRUE(settings.SetString(kGlobalSection, "language", "zh_CN"));
  EXPECT_EQ(ChooseUiLanguage(settings), kZh);
}

bool HasChinese(const QString& text) {
  static const QRegularExpression kHan(QStringLiteral("[\\x{3000}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));
  // The default recordings folder keeps its name in every language.
  QString rest = text;
  rest.remove(QString::fromUtf8("TARN屏幕录制"));
  return rest.contains(kHan);
}

// Every text a user sees or hears of `root`: labels, buttons, lists, tool
// tips, names for screen readers and window titles.
std::vector<std::pair<QString, QString>> VisibleTexts(QWidget* root) {
  std::vector<std::pair<QString, QString>> texts;
  QList<QWidget*> widgets = root->findChildren<QWidget*>();
  widgets.prepend(root);
  for (QWidget* widget : widgets) {
    const QString name = widget->objectName();
    texts.emplace_back(name, widget->toolTip());
    texts.emplace_back(name, widget->accessibleName());
    texts.emplace_back(name, widget->accessibleDescription());
    texts.emplace_back(name, widget->windowTitle());
    if (auto* label = qobject_cast<QLabel*>(widget)) texts.emplace_back(name, label->text());
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) texts.emplace_back(name, button->text());
    if (auto* list = qobject_cast<QComboBox*>(widget)) {
      for (int i = 0; i < list->count(); ++i) texts.emplace_back(name, list->itemText(i));
    }
  }
  return texts;
}

TEST(UiLanguageTest, InEnglishNoChineseTextIsLeftInCodeOrLayouts) {
  QTranslator translator;
  ASSERT_TRUE(InstallUiTranslation(translator, kEn, TARN_TRANSLATIONS_DIR));
  EXPECT_FALSE(HasChinese(ui::UiText(ui::kMainWindowTitle)));
  EXPECT_FALSE(HasChinese(ui::UiText(ui::kDeleteQuestionText)));
  // A layout's texts are looked up under its class name: a context that does
  // not match leaves them Chinese.
  const QDir skin(TARN_SOURCE_SKIN_DIR);
  const QStringList layouts = skin.entryList({"*.ui"}, QDir::Files);
  ASSERT_FALSE(layouts.isEmpty());
  for (const QString& layout : layouts) {
    SCOPED_TRACE(layout.toStdString());
    QFile file(skin.filePath(layout));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QUiLoader loader;
    loader.setWorkingDirectory(skin);
    std::unique_ptr<QWidget> form(loader.load(&file));
    ASSERT_NE(form, nullptr) << loader.errorString().toStdString();
    for (const auto& [name, text] : VisibleTexts(form.get())) {
      EXPECT_FALSE(HasChinese(text)) << name.toStdString() << ": " << text.toStdString();
    }
  }
}

TEST(UiLanguageTest, ChineseNeedsNoTranslationFile) {
  TempDir empty;
  QTranslator translator;
  EXPECT_TRUE(InstallUiTranslation(translator, kZh, QString::fromStdString(empty.path())));
  EXPECT_TRUE(translator.isEmpty());
  EXPECT_EQ(ui::UiText(ui::kMainWindowTitle), QString::fromUtf8(ui::kMainWindowTitle));
}

TEST(UiLanguageTest, AMissingOrBrokenTranslationKeepsTheChineseAndSaysWhy) {
  TempDir dir;
  const QString folder = QString::fromStdString(dir.path());
  {
    ErrorSink log;
    QTranslator translator;
    EXPECT_FALSE(InstallUiTranslation(translator, kEn, folder));
    EXPECT_NE(log.text.find("tarnrecorder_en.qm is missing"), std::string::npos) << log.text;
    EXPECT_EQ(ui::UiText(ui::kMainWindowTitle), QString::fromUtf8(ui::kMainWindowTitle));
  }
  // A file cut short, and one that is not a translation at all.
  QFile good(QStringLiteral(TARN_TRANSLATIONS_DIR) + "/tarnrecorder_en.qm");
  ASSERT_TRUE(good.open(QIODevice::ReadOnly));
  const QByteArray complete = good.readAll();
  for (const QByteArray& broken : {complete.left(complete.size() / 3), QByteArray(2048, 'x')}) {
    SCOPED_TRACE(broken.size());
    std::ofstream(dir / "tarnrecorder_en.qm", std::ios::binary | std::ios::trunc)
        .write(broken.constData(), broken.size());
    ErrorSink log;
    QTranslator translator;
    EXPECT_FALSE(InstallUiTranslation(translator, kEn, folder));
    EXPECT_NE(log.text.find("cannot be read"), std::string::npos) << log.text;
    EXPECT_EQ(ui::UiText(ui::kMainWindowTitle), QString::fromUtf8(ui::kMainWindowTitle));
  }
}

}  // namespace
}  // namespace tarn::test
