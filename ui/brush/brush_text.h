#pragma once
// The brush's fonts and the text entry window's growth with its text.
// UI thread only.

#include <QFont>
#include <QSize>
#include <QString>

namespace tarn::ui {

// "宋体" at 15 points (20 pixels at 96 dots per inch), regular; where that
// family is missing (every Linux desktop without Windows fonts) the
// installed Song-style CJK face stands in, then the generic sans-serif.
QFont TextFont();
// The numbered marker's digits: "Times new Roman" at 12 points (16 pixels).
QFont NumberFont();

// The text's width and height in TextFont(), with carriage returns read as
// line breaks.
QSizeF MeasureText(const QString& text);

// The entry window's size rule. Starts at 100 x 28; `Grow` is called with
// the text after each change and returns the new size.
class TextWindowGrowth {
 public:
  static constexpr int kInitialWidth = 100;
  static constexpr int kInitialHeight = 28;
  static constexpr int kPadding = 6;

  QSize Grow(const QSize& current, const QString& text);
  int lineHeight() const { return lineHeight_; }

 private:
  int lineHeight_ = 0;  // taken from the last one-line text
};

}  // namespace tarn::ui
