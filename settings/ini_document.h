#pragma once
// A line-preserving model of an INI file.
//
// The text is kept as its lines; Set() rewrites or inserts exactly one line,
// so comments, unknown keys and lines that are not valid INI survive a
// read-modify-write unchanged. The rules:
//   - "[name]" opens a section (the name is trimmed; text after ']' is ignored);
//   - "key=value" is an entry, key and value trimmed of spaces and tabs; a value
//     wrapped in a matching pair of single or double quotes reads without them;
//   - lines starting with ';' or '#', and lines without '=', are kept but never
//     match; entries before the first section belong to no section;
//   - section and key names compare ASCII case-insensitively, and the first
//     matching entry wins, searching every section of that name in file order.
// Input may be UTF-8 (with or without a byte-order mark) or UTF-16 with a
// byte-order mark; it is held and serialised as UTF-8 with "\n" line ends and
// no byte-order mark. Bytes that are not valid UTF-8 are carried unchanged.
//
// Not thread-safe; each user holds its own instance.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarn {

class IniDocument {
 public:
  IniDocument() = default;

  // Builds the model of a file's bytes. Never fails: whatever cannot be
  // understood is kept as a line that matches nothing.
  static IniDocument Parse(std::string_view bytes);

  // The value of the first entry `key` in a section named `section`, or
  // nothing when there is none.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;

  // Sets the value of `key`: updates the first matching entry in place, else
  // adds the entry after the last non-empty line of the first section of that
  // name, else appends the section and the entry at the end. CR and LF in the
  // value become spaces; a value that would not read back unchanged (leading or
  // trailing blanks, or wrapped in a pair of quotes) is written in double quotes.
  // The names must pass IsValidSectionName / IsValidKeyName; otherwise nothing
  // changes and false is returned.
  bool Set(std::string_view section, std::string_view key, std::string_view value);

  // The document as UTF-8 text, every line ended by "\n".
  std::string Serialize() const;

  // Names that can be written without changing the meaning of other lines: not
  // empty, no CR or LF, no surrounding blanks; a section name also contains no
  // ']', and a key name no '=' and no leading '[', ';' or '#'.
  static bool IsValidSectionName(std::string_view name);
  static bool IsValidKeyName(std::string_view name);

 private:
  enum class LineKind { kOther, kSection, kEntry };

  struct Line {
    std::string text;
    LineKind kind = LineKind::kOther;
    std::string name;            // section name or key, trimmed
    std::size_t valueBegin = 0;  // entries: offset of the value in `text`
  };

  static Line ParseLine(std::string text);
  // Index of the first entry `key` in a section `section`, or npos.
  std::size_t FindEntry(std::string_view section, std::string_view key) const;

  std::vector<Line> lines_;
};

}  // namespace tarn
