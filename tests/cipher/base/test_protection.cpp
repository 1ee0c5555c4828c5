#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "cipher/formats/formats.h"
#include "cipher/base/protection.h"

using namespace corvane;
using Action = TProtectionAction;

namespace {

// A protection that logs its hooks and, for every action but Digest, adds its tag to each byte
// (subtracts it for Decrypt), so the order of a chain shows in the data.
class Recorder : public TProtection {
 public:
  Recorder(std::vector<std::string>* log, std::string name, std::uint8_t tag = 1, bool* destroyed = nullptr)
      : log_(log), name_(std::move(name)), tag_(tag), destroyed_(destroyed) {}
  ~Recorder() override {
    if (destroyed_) *destroyed_ = true;
  }
  void BeginAction(Action a) override {
    log_->push_back(name_ + ".begin" + std::to_string(int(a)));
    if (failBegin) throw EProtection("begin refused");
    TProtection::BeginAction(a);
  }
  void EndAction(Action a) override {
    TProtection::EndAction(a);
    log_->push_back(name_ + ".end" + std::to_string(int(a)));
    if (failEnd) throw EProtection("end refused");
  }
  void ProcessBlock(std::uint8_t* data, std::size_t size, Action a) override {
    if (a != Action::Decrypt) TProtection::ProcessBlock(data, size, a);
    log_->push_back(name_ + ".block" + std::to_string(size));
    if (failBlock) throw EProtection("block refused");
    if (InSet(Actions, a) && a != Action::Digest)
      for (std::size_t i = 0; i < size; ++i)
        data[i] = std::uint8_t(a == Action::Decrypt ? data[i] - tag_ : data[i] + tag_);
    if (a == Action::Decrypt) TProtection::ProcessBlock(data, size, a);
  }
  bool failBegin = false;
  bool failBlock = false;
  bool failEnd = false;

 private:
  std::vector<std::string>* log_;
  std::string name_;
  std::uint8_t tag_;
  bool* destroyed_;
};

struct ProgressLog {
  ProgressLog() {
    SetProgressHandler([this](TProtection*, std::int32_t c, std::int32_t m) { calls.emplace_back(c, m); });
  }
  ~ProgressLog() { SetProgressHandler(nullptr); }
  std::vector<std::pair<std::int32_t, std::int32_t>> calls;
};

// A memory stream whose n-th read fails (gives -1) or whose writes fall short by some bytes.
class FaultyStream final : public TStream {
 public:
  explicit FaultyStream(std::string bytes) : inner_(bytes) {}
  std::int64_t Read(void* buffer, std::int64_t count) override {
    if (++reads_ == failingRead) return -1;
    return inner_.Read(buffer, count);
  }
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    const std::int64_t n = std::max<std::int64_t>(0, count - shortWriteBy);
    return inner_.Write(buffer, n);
  }
  std::int64_t Position() const override { return inner_.Position(); }
  void SetPosition(std::int64_t p) override { inner_.SetPosition(p); }
  std::int64_t Size() const override { return inner_.Size(); }
  void SetSize(std::int64_t size) override { inner_.SetSize(size); }
  const std::string& Bytes() const { return inner_.Bytes(); }

  int failingRead = 0;  // 1 = the first read fails; 0 = none
  std::int64_t shortWriteBy = 0;

 private:
  TMemoryStream inner_;
  int reads_ = 0;
};

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/corvane-protection-XXXXXX";
    path_ = ::mkdtemp(tmpl);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteFile(const std::string& name, const std::string& bytes) {
  std::ofstream(name, std::ios::binary) << bytes;
}
std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(ProtectionTest, EmptyTextRunsNoHook) {
  std::vector<std::string> log;
  Recorder r(&log, "r");
  for (Action a : {Action::Encrypt, Action::Decrypt, Action::Obscure, Action::Digest, Action::Erase})
    for (int format : {-1, 0, 1, 16, 4196, 21845}) EXPECT_EQ(r.ProcessText("", a, format), "");
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(r.ProcessText("abc", Action::Encrypt, 0), "");
}

TEST(ProtectionTest, TextRoundTripThroughFormats) {
  std::vector<std::string> log;
  Recorder r(&log, "r", 3);
  const std::string plain = "stored \xA7 value";
  for (int format : {-1, 1, 16, 1016, 4196, 21845, 22616}) {
    const std::string text = r.ProcessText(plain, Action::Encrypt, format);
    EXPECT_EQ(r.ProcessText(text, Action::Decrypt, format), plain) << format;
  }
  // Digest leaves the data alone: the result is the input in the given format.
  EXPECT_EQ(r.ProcessText("ABC", Action::Digest, 16), "414243");
  EXPECT_EQ(r.ProcessText("ABC", Action::Encrypt, -1), "REVG");  // each byte + 3
}

TEST(ProtectionTest, StreamOf4097BytesIsTwoBlocksWithProgress) {
  std::vector<std::string> log;
  Recorder r(&log, "r");
  ProgressLog progress;
  TMemoryStream stream(std::string(4097, '\x10'));
  r.ProcessStream(&stream, nullptr, -1, Action::Encrypt);
  EXPECT_EQ(log, (std::vector<std::string>{"r.begin0", "r.block4096", "r.block1", "r.end0"}));
  using P = std::pair<std::int32_t, std::int32_t>;
  EXPECT_EQ(progress.calls, (std::vector<P>{{0, 4097}, {4096, 4097}, {4097, 4097}, {0, 0}}));
  EXPECT_EQ(stream.Bytes(), std::string(4097, '\x11'));  // processed in place, nothing added
}

// A text is worked on in place, without a stream: it still goes through the hooks in the chunks,
// with the progress reports, of a memory stream of the same bytes, and gives the same bytes; a
// digest hands the hooks copies, so a hook that writes into them changes nothing.
TEST(ProtectionTest, TextRunsTheChunksAndProgressOfTheStreamOfItsBytes) {
  class Scribbler : public Recorder {
   public:
    using Recorder::Recorder;
    void ProcessBlock(std::uint8_t* data, std::size_t size, Action a) override {
      Recorder::ProcessBlock(data, size, a);
      if (a == Action::Digest) std::fill(data, data + size, std::uint8_t(0xEE));
    }
  };
  using P = std::pair<std::int32_t, std::int32_t>;
  for (Action a : {Action::Encrypt, Action::Decrypt, Action::Digest})
    for (std::size_t size : {std::size_t(5), std::size_t(4097), std::size_t(2 * 4096 + 808)}) {
      SCOPED_TRACE(testing::Message() << "action " << int(a) << ", " << size << " bytes");
      std::string bytes(size, '\0');
      for (std::size_t i = 0; i < size; ++i) bytes[i] = char(i * 29 + 3);
      std::vector<std::string> textLog, streamLog;
      std::vector<P> textProgress, streamProgress;
      std::string textResult, streamResult;
      {
        Scribbler r(&textLog, "r", 5);
        ProgressLog progress;
        const std::string text = a == Action::Decrypt ? ConvertToText(bytes, kFormatHEX) : bytes;
        textResult = r.ProcessText(text, a, kFormatHEX);
        textProgress = progress.calls;
      }
      {
        Scribbler r(&streamLog, "r", 5);
        ProgressLog progress;
        TMemoryStream stream(bytes);
        r.ProcessStream(&stream, nullptr, -1, a);
        streamProgress = progress.calls;
        streamResult = a == Action::Decrypt ? stream.Bytes() : ConvertToText(stream.Bytes(), kFormatHEX);
      }
      EXPECT_EQ(textLog, streamLog);
      EXPECT_EQ(textProgress, streamProgress);
      EXPECT_EQ(textResult, streamResult);
      ASSERT_GE(textProgress.size(), 3u);
      EXPECT_EQ(textProgress.back(), P(0, 0));
      if (a == Action::Digest) {
        EXPECT_EQ(textResult, ConvertToText(bytes, kFormatHEX));
      } else if (a == Action::Encrypt) {
        EXPECT_NE(textResult, ConvertToText(bytes, kFormatHEX));
      }
    }
}

TEST(ProtectionTest, StreamSizesAndPositions) {
  std::vector<std::string> log;
  Recorder r(&log, "r");
  {
    ProgressLog progress;
    TMemoryStream s("abc");
    r.ProcessStream(&s, &s, 0, Action::Encrypt);
    EXPECT_EQ(log, (std::vector<std::string>{"r.begin0", "r.end0"}));
    using P = std::pair<std::int32_t, std::int32_t>;
    EXPECT_EQ(progress.calls, (std::vector<P>{{0, 0}, {0, 0}}));
    EXPECT_EQ(s.Bytes(), "abc");
  }
  // A given size starts at the current position; a negative one rewinds and takes everything.
  TMemoryStream s("abcdef");
  s.SetPosition(2);
  r.ProcessStream(&s, nullptr, 2, Action::Encrypt);
  EXPECT_EQ(s.Bytes(), "abdeef");
  r.ProcessStream(&s, nullptr, -7, Action::Encrypt);
  EXPECT_EQ(s.Bytes(), "bceffg");
  // Separate destination; a source shorter than the size ends quietly.
  TMemoryStream src("xyz"), dst;
  r.ProcessStream(&src, &dst, 10, Action::Encrypt);
  EXPECT_EQ(dst.Bytes(), "yz{");
  // Digest never writes.
  TMemoryStream d("abc"), untouched("keep");
  r.ProcessStream(&d, &untouched, -1, Action::Digest);
  EXPECT_EQ(d.Bytes(), "abc");
  EXPECT_EQ(untouched.Bytes(), "keep");
}

TEST(ProtectionTest, FailuresInHooks) {
  std::vector<std::string> log;
  Recorder r(&log, "r");
  {
    ProgressLog progress;
    r.failBegin = true;
    TMemoryStream s("abc");
    EXPECT_THROW(r.ProcessStream(&s, nullptr, -1, Action::Encrypt), EProtection);
    EXPECT_EQ(log, (std::vector<std::string>{"r.begin0"}));  // no end, no progress, nothing read
    EXPECT_TRUE(progress.calls.empty());
    r.failBegin = false;
  }
  log.clear();
  {
    ProgressLog progress;
    r.failBlock = true;
    TMemoryStream s("abc");
    EXPECT_THROW(r.ProcessStream(&s, nullptr, -1, Action::Encrypt), EProtection);
    EXPECT_EQ(log, (std::vector<std::string>{"r.begin0", "r.block3", "r.end0"}));
    ASSERT_FALSE(progress.calls.empty());
    EXPECT_EQ(progress.calls.back(), std::make_pair(0, 0));
  }
  log.clear();
  std::uint8_t buf[2] = {1, 2};
  EXPECT_THROW(r.ProcessBuffer(buf, 2, Action::Encrypt), EProtection);
  EXPECT_EQ(log, (std::vector<std::string>{"r.begin0", "r.block2", "r.end0"}));
}

TEST(ProtectionTest, ChainOrder) {
  std::vector<std::string> log;
  auto outer = Make<Recorder>(&log, "outer", 1);
  outer->SetChainedProtection(Make<Recorder>(&log, "inner", 2));
  std::uint8_t buf[1] = {10};
  outer->ProcessBuffer(buf, 1, Action::Encrypt);
  EXPECT_EQ(log, (std::vector<std::string>{"outer.begin0", "inner.begin0", "inner.block1", "outer.block1",
                                           "inner.end0", "outer.end0"}));
  EXPECT_EQ(buf[0], 13);
  log.clear();
  outer->ProcessBuffer(buf, 1, Action::Decrypt);
  EXPECT_EQ(log, (std::vector<std::string>{"outer.begin1", "inner.begin1", "outer.block1", "inner.block1",
                                           "inner.end1", "outer.end1"}));
  EXPECT_EQ(buf[0], 10);
  // An action outside Actions leaves the data to the chain alone.
  outer->Actions = ActionBit(Action::Decrypt);
  outer->ProcessBuffer(buf, 1, Action::Encrypt);
  EXPECT_EQ(buf[0], 12);
}

TEST(ProtectionTest, ChainLinksAndCycles) {
  std::vector<std::string> log;
  bool destroyedB = false;
  auto a = Make<Recorder>(&log, "a");
  auto b = Make<Recorder>(&log, "b", 1, &destroyedB);
  auto c = Make<Recorder>(&log, "c");
  Recorder* rawB = b.get();

  EXPECT_THROW(a->SetChainedProtection(a.get()), EProtection);
  a->SetChainedProtection(std::move(b));  // a holds b; b now belongs to the link
  EXPECT_EQ(rawB->RefCount(), 1);
  a->SetChainedProtection(rawB);  // the same again changes nothing
  EXPECT_EQ(rawB->RefCount(), 1);
  rawB->SetChainedProtection(c.get());
  try {
    c->SetChainedProtection(a.get());  // c -> a -> b -> c
    FAIL() << "cycle accepted";
  } catch (const EProtection& e) {
    EXPECT_STREQ(e.what(), "Circular Protection detected, Protection Object is invalid.");
  }
  EXPECT_EQ(c->ChainedProtection(), nullptr);
  EXPECT_EQ(a->ChainedProtection(), rawB);

  // c is still b's chained protection: destroying it explicitly is refused and changes nothing.
  try {
    TProtection::Free(c);
    FAIL() << "free of a chained object accepted";
  } catch (const EProtection& e) {
    EXPECT_STREQ(e.what(), "Invalid pointer operation");
  }
  ASSERT_TRUE(c);
  EXPECT_EQ(c->RefCount(), 1);

  // Clearing the last link to b destroys it (it has no other owner) and releases c.
  a->SetChainedProtection(nullptr);
  EXPECT_TRUE(destroyedB);
  EXPECT_EQ(c->RefCount(), 0);
  TProtection::Free(c);
  EXPECT_FALSE(c);
}

TEST(ProtectionTest, OwnerLettingGoOfAChainedObjectKeepsItAliveForTheLink) {
  std::vector<std::string> log;
  bool destroyed = false;
  auto holder = Make<Recorder>(&log, "holder");
  {
    auto inner = Make<Recorder>(&log, "inner", 1, &destroyed);
    holder->SetChainedProtection(inner.get());
  }  // the owner's handle ends while the link still holds the object
  EXPECT_FALSE(destroyed);
  std::uint8_t b[1] = {0};
  holder->ProcessBuffer(b, 1, Action::Encrypt);
  EXPECT_EQ(b[0], 2);
  holder.reset();
  EXPECT_TRUE(destroyed);
}

// An object that ends by leaving its scope, or by delete, while another protection still links to
// it stops the process with a message instead of leaving the link to freed memory.
TEST(ProtectionDeathTest, DestroyingALinkedObjectStopsWithAMessage) {
  std::vector<std::string> log;
  EXPECT_DEATH(
      {
        auto holder = Make<Recorder>(&log, "holder");
        {
          Recorder inner(&log, "inner");
          holder->SetChainedProtection(&inner);
        }
        std::uint8_t b[1] = {0};
        holder->ProcessBuffer(b, 1, Action::Encrypt);
      },
      "Invalid pointer operation: a protection object was destroyed while another protection still links to it");
  EXPECT_DEATH(
      {
        Recorder holder(&log, "holder");
        auto* inner = new Recorder(&log, "inner");
        holder.SetChainedProtection(inner);
        delete inner;
      },
      "Invalid pointer operation");
  // Clearing the link first makes both ends fine.
  Recorder holder(&log, "holder");
  {
    Recorder inner(&log, "inner");
    holder.SetChainedProtection(&inner);
    holder.SetChainedProtection(nullptr);
  }
  EXPECT_EQ(holder.ChainedProtection(), nullptr);
}

TEST(ProtectionTest, Files) {
  TempDir dir;
  std::vector<std::string> log;
  Recorder r(&log, "r");
  const std::string src = dir.File("source.bin");
  WriteFile(src, "hello");

  // The same file under another spelling of its path works in place; the length stays.
  r.ProcessFile(src, dir.File("./source.bin"), Action::Encrypt);
  EXPECT_EQ(ReadFile(src), "ifmmp");
  // An empty destination name is in place too.
  r.ProcessFile(src, "  ", Action::Decrypt);
  EXPECT_EQ(ReadFile(src), "hello");

  // Digest with a destination name creates no file.
  const std::string none = dir.File("none.bin");
  r.ProcessFile(src, none, Action::Digest);
  EXPECT_FALSE(std::filesystem::exists(none));

  // An existing longer destination ends up holding exactly the processed bytes.
  const std::string dst = dir.File("dest.bin");
  WriteFile(dst, std::string(100, 'x'));
  r.ProcessFile(src, dst, Action::Encrypt);
  EXPECT_EQ(ReadFile(dst), "ifmmp");
  EXPECT_EQ(ReadFile(src), "hello");

  EXPECT_THROW(r.ProcessFile(dir.File("missing"), dst, Action::Encrypt), std::system_error);
  EXPECT_EQ(ReadFile(dst), "ifmmp");
}

TEST(ProtectionTest, FileIdentityIsTheFileNotTheSpelling) {
  TempDir dir;
  std::vector<std::string> log;
  Recorder r(&log, "r");
  // Two names that differ only in case are two files here: the source stays as it was.
  const std::string lower = dir.File("a.txt"), upper = dir.File("A.txt");
  WriteFile(lower, "abc");
  r.ProcessFile(lower, upper, Action::Encrypt);
  EXPECT_EQ(ReadFile(lower), "abc");
  EXPECT_EQ(ReadFile(upper), "bcd");
  // A hard link names the same file: the work is done in place and nothing is truncated.
  const std::string link = dir.File("link.txt");
  ASSERT_EQ(::link(lower.c_str(), link.c_str()), 0);
  r.ProcessFile(lower, link, Action::Encrypt);
  EXPECT_EQ(ReadFile(lower), "bcd");
  EXPECT_EQ(ReadFile(link), "bcd");
}

// Only the end of the stream (a read of 0 bytes) ends the loop quietly: a failed read or a short
// write is a failure, not a shorter result reported as success. The action still ends.
TEST(ProtectionTest, StreamReadErrorsAndShortWritesRaise) {
  struct Case {
    const char* what;
    Action action;
    int failingRead;
    std::int64_t shortWriteBy;
    const char* message;
    std::string bytesAfter;  // of the stream, processed in place
  };
  const std::string data = std::string(4096, 'a') + "bc";
  const Case cases[] = {
      {"first read fails", Action::Encrypt, 1, 0, "Stream read error.", data},
      {"second read fails", Action::Encrypt, 2, 0, "Stream read error.", std::string(4096, 'b') + "bc"},
      {"digest read fails", Action::Digest, 2, 0, "Stream read error.", data},
      {"short write", Action::Encrypt, 0, 1, "Stream write error.", std::string(4095, 'b') + "abc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> log;
    Recorder r(&log, "r");
    ProgressLog progress;
    FaultyStream s(data);
    s.failingRead = c.failingRead;
    s.shortWriteBy = c.shortWriteBy;
    try {
      r.ProcessStream(&s, nullptr, -1, c.action);
      ADD_FAILURE() << "no failure reported";
    } catch (const EProtection& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_EQ(s.Bytes(), c.bytesAfter);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "r.end" + std::to_string(int(c.action)));
    ASSERT_FALSE(progress.calls.empty());
    EXPECT_EQ(progress.calls.back(), std::make_pair(0, 0));
  }
}

// When the block step fails and ending the action fails as well, the block's failure is the one
// that reaches the caller (and the process goes on).
TEST(ProtectionTest, FailingEndAfterAFailedBlockKeepsTheFirstFailure) {
  std::vector<std::string> log;
  Recorder r(&log, "r");
  r.failBlock = true;
  r.failEnd = true;
  auto messageOf = [](auto&& call) {
    try {
      call();
    } catch (const EProtection& e) {
      return std::string(e.what());
    }
    return std::string("no failure");
  };
  TMemoryStream s("abc");
  EXPECT_EQ(messageOf([&] { r.ProcessStream(&s, nullptr, -1, Action::Encrypt); }), "block refused");
  EXPECT_EQ(log, (std::vector<std::string>{"r.begin0", "r.block3", "r.end0"}));
  std::uint8_t buf[2] = {1, 2};
  EXPECT_EQ(messageOf([&] { r.ProcessBuffer(buf, 2, Action::Encrypt); }), "block refused");
  EXPECT_EQ(messageOf([&] { r.ProcessText("abc", Action::Encrypt, -1); }), "block refused");
  // Without an earlier failure, a failing end is reported itself.
  r.failBlock = false;
  EXPECT_EQ(messageOf([&] { r.ProcessBuffer(buf, 2, Action::Encrypt); }), "end refused");
  EXPECT_EQ(messageOf([&] { r.ProcessStream(&s, nullptr, -1, Action::Encrypt); }), "end refused");
}
