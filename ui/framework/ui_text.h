#pragma once
// The texts of the windows that live in code rather than in the layouts.
//
// Each is written in Chinese, the source language, and marked where it is
// defined with QT_TRANSLATE_NOOP(kUiTextContext, ...) (or passed straight to
// QCoreApplication::translate with that context), so that lupdate collects it
// into the translation files. UiText gives the text in the language the
// program runs in: the installed translation, else the source text.

#include <QCoreApplication>
#include <QString>

namespace tarn::ui {

// The translation context of every text defined in code.
inline constexpr const char* kUiTextContext = "TarnRecorder";

// `source` in the program's language.
inline QString UiText(const char* source) {
  return QCoreApplication::translate(kUiTextContext, source);
}

}  // namespace tarn::ui
