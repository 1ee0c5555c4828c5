// Result buffers given back wrongly: a second release of a small or a large text, a pointer that
// was never handed out, a pointer into a text. Each is ignored and reported on stderr, and the
// buffers that follow (the spare mapping among them) are whole. The sanitizers see any touch of
// memory that was given back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "remote/result_text.h"

namespace corvane {
namespace {

constexpr std::string_view kIgnored = "CorvaneDll: releasebuffer ignored ";

// A text of `size` bytes that differs from run to run.
std::string Pattern(std::size_t size, char seed) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>(seed + static_cast<char>(i % 251));
  return text;
}

// Frees `text` while stderr is captured; returns what was written there.
std::string FreeAndReport(char* text) {
  ::testing::internal::CaptureStderr();
  ResultText::Free(text);
  return ::testing::internal::GetCapturedStderr();
}

// Rounds of large results, each filled, checked and given back once: the spare mapping passes
// from one to the next.
void ExpectLargeResultsWork(int rounds) {
  for (int i = 0; i < rounds; ++i) {
    SCOPED_TRACE(i);
    const std::string expected =
        Pattern((3 + static_cast<std::size_t>(i)) * 1024 * 1024, static_cast<char>('a' + i));
    ResultText result(expected);
    char* text = result.Release();
    ASSERT_TRUE(std::string_view(text, expected.size()) == expected);
    ASSERT_EQ(text[expected.size()], '\0');
    EXPECT_EQ(FreeAndReport(text), "");
  }
}

TEST(ResultTextRelease, ASecondReleaseIsIgnoredAndReportedAndLaterResultsAreWhole) {
  struct Case {
    const char* what;
    std::size_t size;
  };
  for (const Case& c : {Case{"small", 100}, Case{"large", 5 * 1024 * 1024}}) {
    SCOPED_TRACE(c.what);
    char* text = ResultText(Pattern(c.size, 'x')).Release();
    EXPECT_EQ(FreeAndReport(text), "");
    const std::string report = FreeAndReport(text);
    EXPECT_EQ(report.rfind(kIgnored, 0), 0u) << report;
    EXPECT_EQ(FreeAndReport(text).rfind(kIgnored, 0), 0u) << "a third release, too";
    ExpectLargeResultsWork(3);
  }
}

TEST(ResultTextRelease, APointerNeverHandedOutIsIgnoredAndLeftAsItIs) {
  // A header-sized run of bytes in front of the pointer that would read as a mapping's size.
  std::vector<char> foreign(64, '\xFF');
  char* large = ResultText(Pattern(2 * 1024 * 1024, 'l')).Release();
  char* small = ResultText("small").Release();
  for (char* pointer : {foreign.data() + 32, large + 1, small + 2}) {
    const std::string report = FreeAndReport(pointer);
    EXPECT_EQ(report.rfind(kIgnored, 0), 0u) << report;
  }
  EXPECT_EQ(foreign, std::vector<char>(64, '\xFF'));
  EXPECT_STREQ(small, "small");
  EXPECT_EQ(large[0], 'l');
  EXPECT_EQ(FreeAndReport(small), "");
  EXPECT_EQ(FreeAndReport(large), "");
  ExpectLargeResultsWork(2);
}

TEST(ResultTextRelease, TextsOutAtOnceAreGivenBackInAnyOrder) {
  std::vector<char*> texts;
  std::vector<std::string> expected;
  for (int i = 0; i < 6; ++i) {
    expected.push_back(Pattern(i % 2 == 0 ? 300 : 1536 * 1024, static_cast<char>('A' + i)));
    texts.push_back(ResultText(expected.back()).Release());
  }
  for (const std::size_t i : {3u, 0u, 5u, 1u, 4u, 2u}) {
    ASSERT_TRUE(std::string_view(texts[i], expected[i].size()) == expected[i]);
    EXPECT_EQ(FreeAndReport(texts[i]), "");
  }
  ResultText::Free(nullptr);
}

}  // namespace
}  // namespace corvane
