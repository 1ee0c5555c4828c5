#include "console/core/output_text.h"

#include <gtest/gtest.h>

#include <QString>

#include <ostream>
#include <string>
#include <string_view>

namespace corvane {
namespace {

struct Case {
  const char* what;
  std::string_view bytes;
  std::u16string_view shown;
  bool cut = false;  // the bytes are the start of a longer output
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.what; }

using namespace std::string_view_literals;

const Case kCases[] = {
    {"plain ASCII", "ls -l"sv, u"ls -l"sv},
    {"the byte 0xA7 alone is Latin-1", "\xA7"sv, u"\u00A7"sv},
    {"Latin-1 text",
     "Gr\xFC\xDF"
     "e \xA7 1"sv,
     u"Gr\u00FC\u00DFe \u00A7 1"sv},
    {"two-byte UTF-8",
     "Gr\xC3\xBC\xC3\x9F"
     "e"sv,
     u"Gr\u00FC\u00DFe"sv},
    {"the section sign in UTF-8", "\xC2\xA7 1"sv, u"\u00A7 1"sv},
    {"three- and four-byte UTF-8", "\xE2\x82\xAC \xF0\x9F\x98\x80"sv, u"\u20AC \U0001F600"sv},
    {"the largest code point", "\xF4\x8F\xBF\xBF"sv, u"\U0010FFFF"sv},
    {"overlong two bytes", "\xC0\xAF"sv, u"\u00C0\u00AF"sv},
    {"overlong three bytes", "\xE0\x80\xAF"sv, u"\u00E0\u0080\u00AF"sv},
    {"overlong four bytes", "\xF0\x80\x80\xAF"sv, u"\u00F0\u0080\u0080\u00AF"sv},
    {"a UTF-16 surrogate", "\xED\xA0\x80"sv, u"\u00ED\u00A0\u0080"sv},
    {"above U+10FFFF", "\xF4\x90\x80\x80"sv, u"\u00F4\u0090\u0080\u0080"sv},
    {"a lone continuation byte",
     "a\x80"
     "b"sv,
     u"a\u0080b"sv},
    {"one bad byte makes its line Latin-1", "\xC3\xBC \xFC"sv, u"\u00C3\u00BC \u00FC"sv},
    {"each line decides for itself", "caf\xC3\xA9\n\xA7 1\nok"sv, u"caf\u00E9\n\u00A7 1\nok"sv},
    {"a cut character at the end", "Gr\xC3\xBC\xC3"sv, u"Gr\u00FC\uFFFD"sv, true},
    {"the same bytes in a whole text are Latin-1", "Gr\xC3\xBC\xC3"sv, u"Gr\u00C3\u00BC\u00C3"sv},
    {"a whole Latin-1 text ending in a lead byte", "caf\xE9"sv, u"caf\u00E9"sv},
    {"a cut three-byte character at the end", "\xE2\x82"sv, u"\uFFFD"sv, true},
    {"a cut four-byte character at the end", "ok \xF0\x9F\x98"sv, u"ok \uFFFD"sv, true},
    {"a cut character before a line break", "\xC3\nok"sv, u"\u00C3\nok"sv, true},
    {"a cut character inside a line", "a\xC3 b"sv, u"a\u00C3 b"sv, true},
    {"an invalid start cut at the end", "ok \xE0\x80"sv, u"ok \u00E0\u0080"sv, true},
    {"a bad line before a cut one", "\xA7\n\xC3\xBC\xC3"sv, u"\u00A7\n\u00FC\uFFFD"sv, true},
    {"CR LF", "a\r\nb"sv, u"a\nb"sv},
    {"CR CR LF", "a\r\r\nb"sv, u"a\nb"sv},
    {"lone CR", "a\rb"sv, u"a\nb"sv},
    {"lone LF", "a\nb"sv, u"a\nb"sv},
    {"two lone CRs", "a\r\rb"sv, u"a\n\nb"sv},
    {"line breaks at the end", "a\r\n\r\n"sv, u"a\n\n"sv},
    {"a NUL byte stays", "a\0b"sv, u"a\0b"sv},
    {"empty", ""sv, u""sv},
};

class OutputTextCases : public ::testing::TestWithParam<Case> {};

TEST_P(OutputTextCases, ShowsTheBytesAsText) {
  const Case& c = GetParam();
  EXPECT_EQ(OutputText(c.bytes, c.cut), QString::fromUtf16(c.shown.data(), c.shown.size())) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Table, OutputTextCases, ::testing::ValuesIn(kCases));

// No byte is ever lost: every byte that cannot start UTF-8 on its own shows as its Latin-1
// character, whatever its value.
TEST(OutputText, EveryHighByteInsideALineIsItsLatin1Character) {
  for (int b = 0x80; b <= 0xFF; ++b) {
    const std::string bytes = std::string("x") + static_cast<char>(b) + "y";
    const QString shown = OutputText(bytes);
    ASSERT_EQ(shown.size(), 3) << b;
    EXPECT_EQ(shown.at(1).unicode(), b) << b;
  }
}

// The output is cut at a byte count; a cut through the last character keeps the text UTF-8.
TEST(OutputText, AResultCutInsideACharacterStaysUtf8) {
  std::string result;
  for (int i = 0; i < 16001; ++i) result += "\xC3\xBC";  // u with diaeresis, two bytes
  const std::string cut = result.substr(0, 32001);
  const QString shown = OutputText(cut, true);
  ASSERT_EQ(shown.size(), 16001);
  EXPECT_EQ(shown.left(16000), QString(16000, QChar(0x00FC)));
  EXPECT_EQ(shown.back(), QChar(QChar::ReplacementCharacter));
}

}  // namespace
}  // namespace corvane
