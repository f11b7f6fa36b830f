#include "settings/ini_document.h"

#include <cstdint>

namespace tarn {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

// True for a value that reads back without its first and last character.
bool IsWrappedInQuotes(std::string_view value) {
  return value.size() >= 2 && IsQuote(value.front()) && value.front() == value.back();
}

void AppendUtf8(std::string& out, std::uint32_t codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

// Decodes UTF-16 text (after its byte-order mark) to UTF-8. Unpaired
// surrogates and a dangling odd byte become U+FFFD, so nothing is silently
// dropped and the result is always valid UTF-8.
std::string DecodeUtf16(std::string_view bytes, bool bigEndian) {
  constexpr std::uint32_t kReplacement = 0xFFFD;
  auto unit = [&](std::size_t i) -> std::uint32_t {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
    return bigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0);
  };
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) {
    const std::uint32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
      const std::uint32_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    AppendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : u);
  }
  if (i < bytes.size()) AppendUtf8(out, kReplacement);
  return out;
}

// The text to store for `value` so that the entry reads back as `value`.
std::string EncodeValue(std::string_view value) {
  std::string encoded(value);
  for (char& c : encoded) {
    if (c == '\r' || c == '\n') c = ' ';  // a line break would split the entry
  }
  const bool needsQuotes = !encoded.empty() && (IsBlank(encoded.front()) ||
                                                IsBlank(encoded.back()) ||
                                                IsWrappedInQuotes(encoded));
  return needsQuotes ? '"' + encoded + '"' : encoded;
}

bool IsPlainName(std::string_view name) {
  return !name.empty() && !IsBlank(name.front()) && !IsBlank(name.back()) &&
         name.find_first_of("\r\n") == std::string_view::npos;
}

}  // namespace

IniDocument::Line IniDocument::ParseLine(std::string text) {
  Line line;
  line.text = std::move(text);
  const std::string_view view = line.text;
  const std::string_view trimmed = Trim(view);
  if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') return line;

  if (trimmed.front() == '[') {
    const std::size_t close = trimmed.find(']');
    if (close != std::string_view::npos) {
      line.kind = LineKind::kSection;
      line.name = std::string(Trim(trimmed.substr(1, close - 1)));
      return line;
    }
    // Without a closing bracket the line is taken as an entry, if it is one.
  }

  const std::size_t equals = view.find('=');
  if (equals == std::string_view::npos) return line;
  const std::string_view key = Trim(view.substr(0, equals));
  if (key.empty()) return line;
  std::size_t valueBegin = equals + 1;
  while (valueBegin < view.size() && IsBlank(view[valueBegin])) ++valueBegin;
  line.kind = LineKind::kEntry;
  line.name = std::string(key);
  line.valueBegin = valueBegin;
  return line;
}

IniDocument IniDocument::Parse(std::string_view bytes) {
  std::string decoded;
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    decoded = DecodeUtf16(bytes.substr(2), /*bigEndian=*/false);
    bytes = decoded;
  } else if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') {
    decoded = DecodeUtf16(bytes.substr(2), /*bigEndian=*/true);
    bytes = decoded;
  } else if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    bytes.remove_prefix(3);
  }

  IniDocument document;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    const std::size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view text = bytes.substr(start, end - start);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    document.lines_.push_back(ParseLine(std::string(text)));
    start = next;
  }
  return document;
}

std::size_t IniDocument::FindEntry(std::string_view section, std::string_view key) const {
  bool inSection = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const Line& line = lines_[i];
    if (line.kind == LineKind::kSection) {
      inSection = EqualsIgnoreCase(line.name, section);
    } else if (inSection && line.kind == LineKind::kEntry && EqualsIgnoreCase(line.name, key)) {
      return i;
    }
  }
  return std::string::npos;
}

std::optional<std::string> IniDocument::Get(std::string_view section, std::string_view key) const {
  const std::size_t index = FindEntry(section, key);
  if (index == std::string::npos) return std::nullopt;
  const Line& line = lines_[index];
  std::string_view value = Trim(std::string_view(line.text).substr(line.valueBegin));
  if (IsWrappedInQuotes(value)) value = value.substr(1, value.size() - 2);
  return std::string(value);
}

bool IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  if (!IsValidSectionName(section) || !IsValidKeyName(key)) return false;
  const std::string encoded = EncodeValue(value);

  const std::size_t index = FindEntry(section, key);
  if (index != std::string::npos) {
    // Keep the key as spelled in the file and the spacing around '='.
    Line& line = lines_[index];
    line.text.resize(line.valueBegin);
    line.text += encoded;
    return true;
  }

  const std::string entryText = std::string(key) + "=" + encoded;
  for (std::size_t header = 0; header < lines_.size(); ++header) {
    const Line& line = lines_[header];
    if (line.kind != LineKind::kSection || !EqualsIgnoreCase(line.name, section)) continue;
    // After the last non-empty line of the section, so blank lines that
    // separate it from the next section stay in front of that section.
    std::size_t insertAt = header + 1;
    for (std::size_t i = header + 1; i < lines_.size(); ++i) {
      if (lines_[i].kind == LineKind::kSection) break;
      if (!Trim(lines_[i].text).empty()) insertAt = i + 1;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), ParseLine(entryText));
    return true;
  }

  lines_.push_back(ParseLine("[" + std::string(section) + "]"));
  lines_.push_back(ParseLine(entryText));
  return true;
}

std::string IniDocument::Serialize() const {
  std::size_t size = 0;
  for (const Line& line : lines_) size += line.text.size() + 1;
  std::string out;
  out.reserve(size);
  for (const Line& line : lines_) {
    out += line.text;
    out += '\n';
  }
  return out;
}

bool IniDocument::IsValidSectionName(std::string_view name) {
  return IsPlainName(name) && name.find(']') == std::string_view::npos;
}

bool IniDocument::IsValidKeyName(std::string_view name) {
  return IsPlainName(name) && name.find('=') == std::string_view::npos && name.front() != '[' &&
         name.front() != ';' && name.front() != '#';
}

}  // namespace tarn
