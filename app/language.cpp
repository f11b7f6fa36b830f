#include "app/language.h"

#include <glog/logging.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdlib>
#include <string>

#include "settings/settings_store.h"

namespace tarn {
namespace {

constexpr std::string_view kLanguageKey = "language";
constexpr std::size_t kLanguageCapacity = 32;

// The first entry of a colon-separated list, without surrounding blanks.
std::string_view FirstEntry(std::string_view list) {
  list = list.substr(0, list.find(':'));
  while (!list.empty() && (list.front() == ' ' || list.front() == '\t')) list.remove_prefix(1);
  while (!list.empty() && (list.back() == ' ' || list.back() == '\t')) list.remove_suffix(1);
  return list;
}

UiLanguage LanguageOfName(std::string_view name) {
  const bool chinese = name.size() >= 2 && (name[0] == 'z' || name[0] == 'Z') &&
                       (name[1] == 'h' || name[1] == 'H') &&
                       (name.size() == 2 || name[2] == '_' || name[2] == '-' || name[2] == '.' ||
                        name[2] == '@');
  return chinese ? UiLanguage::kChinese : UiLanguage::kEnglish;
}

}  // namespace

UiLanguage ChooseUiLanguage(std::string_view settingValue, std::string_view languageEnv,
                            std::string_view localeName) {
  for (const std::string_view candidate : {FirstEntry(settingValue), FirstEntry(languageEnv)}) {
    if (!candidate.empty()) return LanguageOfName(candidate);
  }
  return LanguageOfName(localeName);
}

UiLanguage ChooseUiLanguage(const SettingsStore& settings) {
  const std::string setting =
      settings.GetString(kGlobalSection, kLanguageKey, "", kLanguageCapacity);
  const char* languageEnv = std::getenv("LANGUAGE");
  const std::string locale = QLocale::system().name().toStdString();
  return ChooseUiLanguage(setting, languageEnv != nullptr ? languageEnv : "", locale);
}

const char* UiLanguageName(UiLanguage language) {
  return language == UiLanguage::kChinese ? "zh_CN" : "en";
}

QString TranslationFile(UiLanguage language, const QString& dir) {
  if (language == UiLanguage::kChinese) return QString();
  QString path = dir;
  if (!path.isEmpty() && !path.endsWith('/')) path += '/';
  return path + "tarnrecorder_en.qm";
}

bool InstallUiTranslation(QTranslator& translator, UiLanguage language, const QString& dir) {
  if (language == UiLanguage::kChinese) {
    LOG(INFO) << "windows in " << UiLanguageName(language);
    return true;
  }
  const QString file = TranslationFile(language, dir);
  if (!QFileInfo::exists(file)) {
    LOG(ERROR) << "the translation " << file.toStdString()
               << " is missing: the windows show their Chinese texts";
    return false;
  }
  if (!translator.load(file) || translator.isEmpty()) {
    LOG(ERROR) << "the translation " << file.toStdString()
               << " cannot be read: the windows show their Chinese texts";
    return false;
  }
  if (!QCoreApplication::installTranslator(&translator)) {
    LOG(ERROR) << "the translation " << file.toStdString()
               << " cannot be installed: the windows show their Chinese texts";
    return false;
  }
  LOG(INFO) << "windows in " << UiLanguageName(language) << " from " << file.toStdString();
  return true;
}

}  // namespace tarn
