#include "settings/ini_document.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace tarn {
namespace {

struct LookupCase {
  const char* what;
  const char* section;
  const char* key;
  std::optional<std::string> expected;
};

TEST(IniDocumentTest, LookupRules) {
  const IniDocument document = IniDocument::Parse(
      "orphan=before any section\n"
      "  [ Global ]  trailing text\n"
      "Video-Format = mkv \n"
      "quoted=\"  padded  \"\n"
      "single='x'\n"
      "lonequote=\"abc\n"
      "mixed=\"abc'\n"
      "; commented=1\n"
      "# hashed=1\n"
      "no equals sign here\n"
      "=no key\n"
      "dup=first\n"
      "dup=second\n"
      "empty=\n"
      "[other]\n"
      "dup=other\n"
      "[global]\n"
      "late=found in the second global section\n"
      "dup=third\n"
      "[broken\n");
  const LookupCase cases[] = {
      {"names compare case-insensitively, value trimmed", "global", "video-format", "mkv"},
      {"double quotes removed, inner blanks kept", "global", "quoted", "  padded  "},
      {"single quotes removed", "global", "single", "x"},
      {"unmatched quote kept", "global", "lonequote", "\"abc"},
      {"different quotes kept", "global", "mixed", "\"abc'"},
      {"comment with ';'", "global", "; commented", std::nullopt},
      {"comment with '#'", "global", "# hashed", std::nullopt},
      {"line without '='", "global", "no equals sign here", std::nullopt},
      {"first duplicate wins", "global", "dup", "first"},
      {"empty value is present", "global", "empty", ""},
      {"duplicate section searched", "GLOBAL", "late", "found in the second global section"},
      {"other section separate", "other", "dup", "other"},
      {"entry before any section", "", "orphan", std::nullopt},
      {"absent key", "global", "absent", std::nullopt},
      {"absent section", "absent", "dup", std::nullopt},
  };
  for (const LookupCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(document.Get(c.section, c.key), c.expected);
  }
}

TEST(IniDocumentTest, EncodingsAndLineEnds) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  // "[g]\nk=屏\n" in each encoding; 屏 is U+5C4F, and the last case adds U+1F600
  // as a surrogate pair.
  const Case cases[] = {
      {"UTF-8 with byte-order mark", "\xEF\xBB\xBF[g]\nk=\xE5\xB1\x8F\n"},
      {"CRLF line ends", "[g]\r\nk=\xE5\xB1\x8F\r\n"},
      {"no final line end", "[g]\nk=\xE5\xB1\x8F"},
      {"UTF-16 LE", std::string("\xFF\xFE[\0g\0]\0\n\0k\0=\0\x4F\x5C\r\0\n\0", 20)},
      {"UTF-16 BE", std::string("\xFE\xFF\0[\0g\0]\0\n\0k\0=\x5C\x4F", 16)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    IniDocument document = IniDocument::Parse(c.bytes);
    EXPECT_EQ(document.Get("g", "k"), "\xE5\xB1\x8F");
    EXPECT_EQ(document.Serialize(), "[g]\nk=\xE5\xB1\x8F\n");
  }

  const std::string pair("\xFF\xFE[\0g\0]\0\n\0k\0=\0\x3D\xD8\x00\xDE\x00\xD8", 20);
  EXPECT_EQ(IniDocument::Parse(pair).Get("g", "k"), "\xF0\x9F\x98\x80\xEF\xBF\xBD")
      << "a surrogate pair decodes, an unpaired surrogate becomes U+FFFD";
}

TEST(IniDocumentTest, NonUtf8BytesPassThrough) {
  const std::string original = "; caf\xE9 \x80\x81\n[g]\nname=caf\xE9\xFF\n";
  IniDocument document = IniDocument::Parse(original);
  EXPECT_EQ(document.Get("g", "name"), "caf\xE9\xFF");
  ASSERT_TRUE(document.Set("g", "added", "1"));
  EXPECT_EQ(document.Serialize(), original + "added=1\n");
}

TEST(IniDocumentTest, SetKeepsEveryOtherLine) {
  IniDocument document = IniDocument::Parse(
      "; leading comment\n"
      "[global]\n"
      "  Quality =  2\n"
      "garbage line\t\n"
      "\n"
      "[hotkey]\n"
      "stop-key1=1\n"
      "\n"
      "[global]\n"
      "dup=x\n");
  ASSERT_TRUE(document.Set("global", "quality", "0"));      // in place, spelling kept
  ASSERT_TRUE(document.Set("global", "video-format", "avi"));  // end of the first [global]
  ASSERT_TRUE(document.Set("HOTKEY", "stop-key2", "123"));     // section matched by case
  ASSERT_TRUE(document.Set("suspend", "top", "50"));           // new section at the end
  EXPECT_EQ(document.Serialize(),
            "; leading comment\n"
            "[global]\n"
            "  Quality =  0\n"
            "garbage line\t\n"
            "video-format=avi\n"
            "\n"
            "[hotkey]\n"
            "stop-key1=1\n"
            "stop-key2=123\n"
            "\n"
            "[global]\n"
            "dup=x\n"
            "[suspend]\n"
            "top=50\n");
}

TEST(IniDocumentTest, WrittenValuesReadBackUnchanged) {
  const std::string big(1 << 20, 'v');
  const struct {
    const char* what;
    std::string value;
    std::string expected;
  } cases[] = {
      {"plain", "mp4", "mp4"},
      {"empty", "", ""},
      {"leading and trailing blanks", " \tx ", " \tx "},
      {"wrapped in double quotes", "\"q\"", "\"q\""},
      {"wrapped in single quotes", "'q'", "'q'"},
      {"lone quote", "\"", "\""},
      {"equals signs and brackets", "a=b [c]", "a=b [c]"},
      {"line breaks become spaces", "one\r\ntwo\nthree\r", "one  two three "},
      {"one megabyte", big, big},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    IniDocument document;
    ASSERT_TRUE(document.Set("g", "k", c.value));
    ASSERT_TRUE(document.Set("g", "after", "still here"));
    const IniDocument reread = IniDocument::Parse(document.Serialize());
    EXPECT_EQ(reread.Get("g", "k"), c.expected);
    EXPECT_EQ(reread.Get("g", "after"), "still here");
  }
}

TEST(IniDocumentTest, RefusesNamesThatWouldBreakTheFile) {
  IniDocument document = IniDocument::Parse("[g]\nk=1\n");
  for (const char* section : {"", "a]b", "a\nb", " g"}) {
    SCOPED_TRACE(section);
    EXPECT_FALSE(document.Set(section, "k", "2"));
  }
  for (const char* key : {"", "a=b", "[k", ";k", "#k", "k\r", "k "}) {
    SCOPED_TRACE(key);
    EXPECT_FALSE(document.Set("g", key, "2"));
  }
  EXPECT_EQ(document.Serialize(), "[g]\nk=1\n");
}

}  // namespace
}  // namespace tarn
