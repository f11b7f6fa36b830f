#pragma once
// The language of the windows: Chinese (the source texts) or English.
//
// The choice, first match wins: the "language" key of section "global" in the
// settings ("zh_CN" / "en"), then the first entry of the LANGUAGE environment
// variable, then the system locale. A name starting with "zh" means Chinese,
// any other name English. The English texts come from the translation file
// tarnrecorder_en.qm; when it is missing or unreadable the windows keep the
// Chinese source texts and the log says why. Log lines are never translated.

#include <QString>
#include <string_view>

class QTranslator;

namespace tarn {

class SettingsStore;

enum class UiLanguage { kChinese, kEnglish };

// The language for a "language" setting value, a LANGUAGE value (a
// colon-separated list; only its first entry counts) and a locale name
// ("zh_CN", "en_US", "C"). Empty values are skipped.
UiLanguage ChooseUiLanguage(std::string_view settingValue, std::string_view languageEnv,
                            std::string_view localeName);

// The same with the settings' "language" key, the process's LANGUAGE and the
// system locale.
UiLanguage ChooseUiLanguage(const SettingsStore& settings);

// "zh_CN" or "en", for the log.
const char* UiLanguageName(UiLanguage language);

// The translation file of `language` in `dir`; empty for Chinese, which needs none.
QString TranslationFile(UiLanguage language, const QString& dir);

// Loads the translation of `language` from `dir` into `translator` and
// installs it in the application; call before any window is made. Chinese
// installs nothing. False, after a log line, when the file is missing or
// unreadable: the windows then show the Chinese source texts.
bool InstallUiTranslation(QTranslator& translator, UiLanguage language, const QString& dir);

}  // namespace tarn
