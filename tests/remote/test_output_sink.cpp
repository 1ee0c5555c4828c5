// Where a run's output goes: the one-pass CR LF conversion into the room behind the kept text, the
// limit, the temporary file of a background run, and the result buffers (heap and mapping).
#include "remote/output_sink.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "remote/job_expansion.h"
#include "remote/stored_settings.h"

namespace corvane {
namespace {

// Bytes with many line feeds and carriage returns among all other values.
std::string MixedBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    const unsigned r = random() % 8;
    c = r == 0 ? '\n' : r == 1 ? '\r' : static_cast<char>(random() & 0xFF);
  }
  return bytes;
}

// Feeds `input` to the sink in receives of the given sizes (cycled), as the client does.
bool Feed(OutputSink& sink, std::string_view input, const std::vector<std::size_t>& sizes) {
  std::size_t step = 0;
  while (!input.empty()) {
    const std::span<char> room = sink.Room();
    EXPECT_FALSE(room.empty());
    const std::size_t n = std::min({room.size(), input.size(), sizes[step++ % sizes.size()]});
    std::copy_n(input.data(), n, room.data());
    input.remove_prefix(n);
    if (!sink.Commit(n)) return false;
  }
  return true;
}

std::string FileContent(const CrLfFileOutput& file) {
  std::string content(file.Size(), '\0');
  EXPECT_EQ(::pread(file.Descriptor(), content.data(), content.size(), 0), static_cast<ssize_t>(content.size()));
  return content;
}

TEST(OutputSinks, ConvertLikeToCrLfWhateverTheReceiveSizes) {
  const std::vector<std::vector<std::size_t>> receive_sizes = {{1}, {7, 1, 64}, {4096}, {1 << 20}};
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{5000}, std::size_t{3 << 20}}) {
    const std::string input = MixedBytes(size, static_cast<unsigned>(size));
    const std::string expected = ToCrLf(input);
    for (const auto& sizes : receive_sizes) {
      if (size > 100000 && sizes[0] < 64) continue;  // byte by byte only for the small inputs
      for (const std::size_t chunk : {std::size_t{16}, RawOutput::kChunk}) {
        SCOPED_TRACE(std::to_string(size) + " bytes, receives of " + std::to_string(sizes[0]) + ", chunk " +
                     std::to_string(chunk));
        CrLfOutput memory(kDefaultOutputLimit, chunk);
        EXPECT_TRUE(Feed(memory, input, sizes));
        EXPECT_TRUE(memory.Buffer().View() == expected);
        test::TempDataDir dir;
        CrLfFileOutput file(dir.Path(), kDefaultOutputLimit, chunk);
        EXPECT_TRUE(Feed(file, input, sizes));
        EXPECT_TRUE(FileContent(file) == expected);
        RawOutput raw(kDefaultOutputLimit, chunk);
        EXPECT_TRUE(Feed(raw, input, sizes));
        EXPECT_TRUE(raw.Buffer().View() == input);
      }
    }
  }
}

// Each sink keeps exactly its limit of bytes in its own form and reports the first byte past it.
TEST(OutputSinks, KeepTheLimitAndReportWhatGoesPastIt) {
  const std::string input = MixedBytes(200000, 7);
  const std::string converted = ToCrLf(input);
  for (const std::size_t limit : {std::size_t{0}, std::size_t{1}, std::size_t{99999}, converted.size() - 1,
                                  converted.size(), converted.size() + 1}) {
    SCOPED_TRACE(limit);
    CrLfOutput memory(limit, 4096);
    EXPECT_EQ(Feed(memory, input, {3000}), limit >= converted.size());
    EXPECT_TRUE(memory.Buffer().View() == std::string_view(converted).substr(0, limit));
    test::TempDataDir dir;
    CrLfFileOutput file(dir.Path(), limit, 4096);
    EXPECT_EQ(Feed(file, input, {3000}), limit >= converted.size());
    EXPECT_TRUE(FileContent(file) == converted.substr(0, limit));
    RawOutput raw(limit, 4096);
    EXPECT_EQ(Feed(raw, input, {3000}), limit >= input.size());
    EXPECT_TRUE(raw.Buffer().View() == std::string_view(input).substr(0, limit));
  }
}

TEST(OutputSinks, TheLimitLineNamesTheLimit) {
  EXPECT_EQ(OutputLimitLine(kDefaultOutputLimit), "The run was ended: its output went past the limit of 256 MiB.");
  EXPECT_EQ(OutputLimitLine(1000), "The run was ended: its output went past the limit of 1000 bytes.");
  EXPECT_EQ(OutputLimitSuffix("ab", 1000), "\r\n" + OutputLimitLine(1000));
  EXPECT_EQ(OutputLimitSuffix("a\n", 1000), OutputLimitLine(1000));
  EXPECT_EQ(OutputLimitSuffix("", 1000), OutputLimitLine(1000));
}

// The temporary file of a background run has no name: nothing is left in the data directory.
TEST(OutputSinks, TheTemporaryFileLeavesNothingBehind) {
  test::TempDataDir dir;
  {
    CrLfFileOutput file(dir.Path());
    EXPECT_TRUE(Feed(file, "x\n", {2}));
    EXPECT_EQ(FileContent(file), "x\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 0);
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 0);
}

// Growth keeps the content across the move from the heap into a mapping and through remapping;
// released buffers of both kinds go back through Free() (the sanitizers see a mismatch).
TEST(ResultTexts, GrowAcrossKindsAndFreeEither) {
  ResultText small("short");
  EXPECT_EQ(small.View(), "short");
  char* small_text = small.Release();
  EXPECT_STREQ(small_text, "short");
  ResultText::Free(small_text);

  // The second and third rounds reuse the mapping released before (smaller, then larger).
  for (const int pieces : {40, 12, 60}) {  // 12 MiB: several remappings
    SCOPED_TRACE(pieces);
    const std::string piece = MixedBytes(300000, static_cast<unsigned>(pieces));
    ResultText growing;
    std::string expected;
    for (int i = 0; i < pieces; ++i) {
      growing.Append(piece);
      expected += piece;
      ASSERT_TRUE(growing.View() == expected) << "after " << i + 1 << " pieces";
    }
    char* large_text = growing.Release();
    EXPECT_TRUE(std::string_view(large_text, expected.size()) == expected);
    EXPECT_EQ(large_text[expected.size()], '\0');
    ResultText::Free(large_text);
  }

  char* empty_text = ResultText().Release();
  EXPECT_STREQ(empty_text, "");
  ResultText::Free(empty_text);
  ResultText::Free(nullptr);
}

}  // namespace
}  // namespace corvane
