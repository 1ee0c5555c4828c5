#include "settings/ini_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <csignal>
#include <stdexcept>
#include <system_error>

#include "settings/settings_test_util.h"

namespace corvane {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;
using Names = std::vector<std::string>;
using namespace std::string_literals;

// ---- Reading: every rule, checked through the written form of what was read -------------------

struct ReadCase {
  const char* what;
  std::string input;
  std::string written;  // ToBytes() of the object read from `input`
};

const ReadCase kReadCases[] = {
    {"empty input", "", ""},
    {"CR LF", "[a]\r\nk=v\r\n", "[a]\r\nk=v\r\n\r\n"},
    {"lone LF", "[a]\nk=v\nx=y", "[a]\r\nk=v\r\nx=y\r\n\r\n"},
    {"lone CR", "[a]\rk=v\rx=y\r", "[a]\r\nk=v\r\nx=y\r\n\r\n"},
    {"LF CR is two line ends", "[a]\n\rk=v\n\r", "[a]\r\nk=v\r\n\r\n"},
    {"mixed and no final line end", "[a]\r\nk=v\rx=y\nz=w", "[a]\r\nk=v\r\nx=y\r\nz=w\r\n\r\n"},
    {"blanks and controls stripped", " \t[ x ]\x01 \r\n\t a = b=c \x7F\r\n", "[x]\r\na=b=c\r\n\r\n"},
    {"comments skipped", "[a]\r\n;k=v\r\n  ; note\r\nk2=v2\r\n", "[a]\r\nk2=v2\r\n\r\n"},
    {"lines before the first section dropped", "k=v\r\nloose\r\n[a]\r\nx=1\r\n", "[a]\r\nx=1\r\n\r\n"},
    {"a line without '=' is kept", "[a]\r\nfirst=1\r\n  just text  \r\nlast=2\r\n",
     "[a]\r\nfirst=1\r\njust text\r\nlast=2\r\n\r\n"},
    {"split at the first '='", "[a]\r\n a = b=c \r\n", "[a]\r\na=b=c\r\n\r\n"},
    {"empty name and empty value", "[a]\r\n=v\r\nk=\r\n = \r\n", "[a]\r\n=v\r\nk=\r\n=\r\n\r\n"},
    {"empty section name", "[]\r\nk=v\r\n[   ]\r\n", "[]\r\nk=v\r\n\r\n[]\r\n\r\n"},
    {"lone brackets are no section", "[a]\r\n[\r\n]\r\n[b\r\n", "[a]\r\n[\r\n]\r\n[b\r\n\r\n"},
    {"bracket with more text is a section", "[a]x]\r\n", "[a]x]\r\n\r\n"},
    {"empty sections kept", "[a]\r\n[b]\r\n\r\n[c]", "[a]\r\n\r\n[b]\r\n\r\n[c]\r\n\r\n"},
    {"duplicates kept in file order", "[a]\r\nk=1\r\nK=2\r\n[A]\r\nk=3\r\n",
     "[a]\r\nk=1\r\nK=2\r\n\r\n[A]\r\nk=3\r\n\r\n"},
    {"high bytes and 0xA7 round-trip", "[\xC4job\xFF]\r\n\xA7var=\x80\xA0\xFE\r\n",
     "[\xC4job\xFF]\r\n\xA7var=\x80\xA0\xFE\r\n\r\n"},
    {"NBSP (0xA0) is not stripped", "[a]\r\n\xA0k=v\xA0\r\n", "[a]\r\n\xA0k=v\xA0\r\n\r\n"},
    {"NUL inside a line is kept, at its ends stripped", "[a]\r\n\0k=v\0w\0\r\n"s, "[a]\r\nk=v\0w\r\n\r\n"s},
    {"key starting with ';' vanishes", "[a]\r\n;key=v\r\n", "[a]\r\n\r\n"},
};

TEST(IniFileRead, EveryRuleByWrittenForm) {
  for (const auto& c : kReadCases) {
    const IniFile ini = IniFile::FromBytes(c.input);
    EXPECT_EQ(ini.ToBytes(), c.written) << c.what;
    // Reading the written form again gives the same bytes.
    EXPECT_EQ(IniFile::FromBytes(ini.ToBytes()).ToBytes(), c.written) << c.what;
  }
}

TEST(IniFileRead, NamesValuesAndLinesWithoutEquals) {
  const IniFile ini = IniFile::FromBytes("[ Env 1 ]\r\n RHost = host=1 \r\nplain line\r\nLLogin=\r\n=anon\r\n");
  EXPECT_EQ(ini.Sections(), Names{"Env 1"});
  EXPECT_EQ(ini.Keys("env 1"), (Names{"RHost", "LLogin", ""}));
  EXPECT_EQ(ini.Read("Env 1", "RHost"), "host=1");
  // Present but empty reads as empty, not as the default.
  EXPECT_EQ(ini.Read("Env 1", "LLogin", "dflt"), "");
  EXPECT_TRUE(ini.KeyExists("Env 1", "LLogin"));
  EXPECT_EQ(ini.Read("Env 1", "", "dflt"), "anon");
  // A line without "=" names no key.
  EXPECT_FALSE(ini.KeyExists("Env 1", "plain line"));
  EXPECT_EQ(ini.Read("Env 1", "plain line", "dflt"), "dflt");
  EXPECT_EQ(ini.Read("Env 1", "missing", "dflt"), "dflt");
  EXPECT_EQ(ini.Read("No such", "RHost", "dflt"), "dflt");
  EXPECT_TRUE(ini.Keys("No such").empty());
}

// ---- Case folding and duplicates ---------------------------------------------------------------

TEST(IniFileLookup, CaseFoldingCoversAsciiAndLatin1Letters) {
  struct Case {
    std::string a, b;
    bool equal;
  };
  const Case cases[] = {
      {"RHost", "rhost", true},
      {"RHOST", "rHoSt", true},
      {"\xC4\xD6\xDC", "\xE4\xF6\xFC", true},  // ÄÖÜ / äöü
      {"\xC0\xDE", "\xE0\xFE", true},          // À..Þ / à..þ, the ends of the range
      {"\xA7Name", "\xA7NAME", true},          // § stays, the letters fold
      {"\xD7", "\xF7", false},                 // × and ÷ are no letters
      {"\xDF", "\xFF", false},                 // ß and ÿ have no Latin-1 capitals
      {"\xA7", "\x87", false},                 // no folding outside letters
      {"[", "{", false},                       // 0x5B / 0x7B: not letters
      {"@", "`", false},                       // 0x40 / 0x60
      {"a", "a ", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NamesEqualIgnoringCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
    const IniFile ini = IniFile::FromBytes("[" + c.a + "]\r\n" + c.a + "=v\r\n");
    EXPECT_EQ(ini.SectionExists(c.b), c.equal) << c.a << " / " << c.b;
    EXPECT_EQ(ini.KeyExists(c.b, c.b), c.equal) << c.a << " / " << c.b;
  }
}

TEST(IniFileLookup, TheLastDuplicateWins) {
  IniFile ini = IniFile::FromBytes(
      "[Job]\r\nCommand=first\r\nx=1\r\n[other]\r\ny=2\r\n[JOB]\r\ncommand=second\r\nCOMMAND=third\r\n");
  EXPECT_EQ(ini.Sections(), (Names{"Job", "other", "JOB"}));
  EXPECT_EQ(ini.Read("job", "command"), "third");
  EXPECT_FALSE(ini.KeyExists("job", "x"));  // the last section of the name holds no x
  EXPECT_EQ(ini.Keys("job"), (Names{"command", "COMMAND"}));

  // Overwriting finds the last duplicate too, and takes the new spelling.
  ini.Write("JOB", "Command", "new");
  EXPECT_EQ(ini.ToBytes(),
            "[Job]\r\nCommand=first\r\nx=1\r\n\r\n[other]\r\ny=2\r\n\r\n"
            "[JOB]\r\ncommand=second\r\nCommand=new\r\n\r\n");
  // Deleting the last key makes the earlier one visible.
  ini.DeleteKey("job", "COMMAND");
  EXPECT_EQ(ini.Read("job", "Command"), "second");
  // Erasing removes the last section of the name; the first one is found again.
  ini.EraseSection("job");
  EXPECT_EQ(ini.Sections(), (Names{"Job", "other"}));
  EXPECT_EQ(ini.Read("JOB", "command"), "first");
}

// ---- Writing: order rules and the exact written form --------------------------------------------

TEST(IniFileWrite, NewEnvironmentIsWrittenByteExact) {
  IniFile ini;
  EXPECT_EQ(ini.ToBytes(), "");
  for (const char* key : {"LLogin", "RLogin", "RPwd", "RHost"}) ini.Write("prod", key, "");
  ini.Write("test", "RHost", "aGVsbG8=");
  EXPECT_EQ(ini.ToBytes(),
            "[prod]\r\nLLogin=\r\nRLogin=\r\nRPwd=\r\nRHost=\r\n\r\n"
            "[test]\r\nRHost=aGVsbG8=\r\n\r\n");
}

TEST(IniFileWrite, OrderRules) {
  IniFile ini = IniFile::FromBytes("[b]\r\nRHost=h\r\nplain\r\nRPwd=p\r\n[a]\r\nk=1\r\n");
  ini.Write("c", "new", "1");     // new section: appended at the end
  ini.Write("B", "added", "2");   // new key: at the end of its section
  ini.Write("b", "rhost", "h2");  // overwrite: keeps its place, takes the new spelling
  ini.Write("A", "K", "");        // overwrite with empty
  EXPECT_EQ(ini.ToBytes(),
            "[b]\r\nrhost=h2\r\nplain\r\nRPwd=p\r\nadded=2\r\n\r\n"
            "[a]\r\nK=\r\n\r\n"
            "[c]\r\nnew=1\r\n\r\n");
  EXPECT_EQ(ini.Sections(), (Names{"b", "a", "c"}));

  ini.DeleteKey("b", "RPWD");
  ini.DeleteKey("b", "missing");      // nothing
  ini.DeleteKey("missing", "RHost");  // nothing
  ini.EraseSection("A");
  ini.EraseSection("missing");  // nothing
  EXPECT_EQ(ini.ToBytes(), "[b]\r\nrhost=h2\r\nplain\r\nadded=2\r\n\r\n[c]\r\nnew=1\r\n\r\n");
}

TEST(IniFileWrite, ScheduleSectionTakesTheKeyOrderOfItsFirstSave) {
  IniFile ini;
  for (const char* key : {"active", "once", "start", "every", "time", "prot", "envir", "job"})
    ini.Write("on close", key, "");
  for (const char* key : {"active", "once", "start", "every", "time", "job", "envir", "prot"})
    ini.Write("on select", key, "");
  // A later save in the other order keeps each section's order; the worker's `last` is appended.
  for (const char* key : {"active", "once", "start", "every", "time", "job", "envir", "prot"})
    ini.Write("on close", key, "x");
  ini.Write("on select", "last", "y");
  EXPECT_EQ(ini.Keys("on close"), (Names{"active", "once", "start", "every", "time", "prot", "envir", "job"}));
  EXPECT_EQ(ini.Keys("on select"),
            (Names{"active", "once", "start", "every", "time", "job", "envir", "prot", "last"}));
}

TEST(IniFileWrite, NamesAreWrittenAsTypedAndReadBackByTheReadingRules) {
  IniFile ini;
  ini.Write(" Job 1 ", " var ", "v");
  ini.Write(" Job 1 ", ";hidden", "h");
  ini.Write(" Job 1 ", "a=b", "c");
  ini.Write(" Job 1 ", "\xA7var", "Y");
  EXPECT_EQ(ini.Read(" job 1 ", " VAR "), "v");  // in memory, as typed
  const std::string bytes = ini.ToBytes();
  EXPECT_EQ(bytes, "[ Job 1 ]\r\n var =v\r\n;hidden=h\r\na=b=c\r\n\xA7var=Y\r\n\r\n");
  const IniFile again = IniFile::FromBytes(bytes);
  EXPECT_EQ(again.Sections(), Names{"Job 1"});
  EXPECT_EQ(again.Keys("Job 1"), (Names{"var", "a", "\xA7var"}));
  EXPECT_EQ(again.Read("Job 1", "a"), "b=c");
  EXPECT_EQ(again.Read("job 1", "\xA7VAR"), "Y");
}

TEST(IniFileWrite, LineBreaksInNamesOrValuesAreRefused) {
  const std::string before = "[a]\r\nk=v\r\n\r\n";
  struct Case {
    std::string section, key, value;
  };
  const Case cases[] = {
      {"a\r\n[b]", "k", "v"}, {"a", "k\nx", "v"}, {"a", "k", "v\r"},
      {"new\n", "k", "v"},    {"a", "\r", ""},    {"a", "k", "v\r\n[evil]\r\nk=v"},
  };
  for (const auto& c : cases) {
    IniFile ini = IniFile::FromBytes(before);
    EXPECT_THROW(ini.Write(c.section, c.key, c.value), std::invalid_argument);
    EXPECT_EQ(ini.ToBytes(), before);
  }
}

// ---- Files ------------------------------------------------------------------------------------

TEST(IniFileFiles, RealFileRoundTrip) {
  TempDir dir;
  const std::string path = dir.File("CorvaneJob.ini");
  WriteBytes(path,
             "; written by hand\r\nstray=1\r\n"
             "[Backup]\r\nCommand = dGFyIGN2Zg== \r\n\xA7host=WQ==\rhost=\n"
             "; trailing comment\r\n\r\n"
             "[backup]\nCommand=c2Vjb25k\n"
             "[Nightly \xC4]\r\nno equals here\r\nx=1");
  IniFile ini(path);
  EXPECT_EQ(ini.Path(), path);
  EXPECT_EQ(ini.Sections(), (Names{"Backup", "backup", "Nightly \xC4"}));
  EXPECT_EQ(ini.Read("BACKUP", "command"), "c2Vjb25k");
  EXPECT_EQ(ini.Read("nightly \xE4", "X"), "1");

  ini.Write("Nightly \xE4", "\xA7X", "Tg==");
  ini.WriteBack();
  const std::string expected =
      "[Backup]\r\nCommand=dGFyIGN2Zg==\r\n\xA7host=WQ==\r\nhost=\r\n\r\n"
      "[backup]\r\nCommand=c2Vjb25k\r\n\r\n"
      "[Nightly \xC4]\r\nno equals here\r\nx=1\r\n\xA7X=Tg==\r\n\r\n";
  EXPECT_EQ(ReadBytes(path), expected);

  // Reading and writing the result again changes nothing.
  IniFile(path).WriteBack();
  EXPECT_EQ(ReadBytes(path), expected);
}

TEST(IniFileFiles, MissingFileReadsAsEmptyAndEmptyObjectWritesZeroBytes) {
  TempDir dir;
  const IniFile missing(dir.File("CorvaneSchd.ini"));
  EXPECT_TRUE(missing.Sections().empty());
  EXPECT_EQ(missing.Read("a", "b", "d"), "d");
  const IniFile missing_dir(dir.File("no-such-dir/CorvaneSchd.ini"));
  EXPECT_TRUE(missing_dir.Sections().empty());

  missing.WriteBack();
  EXPECT_TRUE(std::filesystem::exists(missing.Path()));
  EXPECT_EQ(std::filesystem::file_size(missing.Path()), 0u);
  struct stat st {};
  ASSERT_EQ(::stat(missing.Path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST(IniFileFiles, AnUnreadableFileIsAnErrorNotAnEmptyFile) {
  TempDir dir;
  // A directory in the file's place cannot be read; treating it as empty would let the next
  // write-back wipe whatever the operator keeps there.
  std::filesystem::create_directory(dir.File("CorvaneEnv.ini"));
  EXPECT_THROW(IniFile(dir.File("CorvaneEnv.ini")), std::system_error);
}

// Reading the file whatever it is would hang on a FIFO without a writer and never end on a link to
// a device that reads without end; both are refused at once with their reason.
TEST(IniFileFiles, OnlyRegularFilesOfBoundedSizeAreRead) {
  TempDir dir;
  const std::string fifo = dir.File("fifo.ini");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string zero_link = dir.File("zero.ini");
  ASSERT_EQ(::symlink("/dev/zero", zero_link.c_str()), 0);
  const std::string too_big = dir.File("big.ini");
  WriteBytes(too_big, "");
  ASSERT_EQ(::truncate(too_big.c_str(), static_cast<off_t>(kMaxSettingsFileSize) + 1), 0);
  struct Case {
    std::string path;
    std::string reason;
  };
  for (const Case& c : {Case{fifo, "not a regular file"}, Case{zero_link, "not a regular file"},
                        Case{too_big, "larger than 64 MiB"}}) {
    SCOPED_TRACE(c.path);
    try {
      IniFile ini(c.path);
      ADD_FAILURE() << "read without an error";
    } catch (const std::system_error& e) {
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.path), std::string::npos) << e.what();
    }
  }
  // The largest file that is read at all reads whole.
  const std::string at_limit = dir.File("limit.ini");
  WriteBytes(at_limit, "[s]\r\nk=v\r\n");
  ASSERT_EQ(::truncate(at_limit.c_str(), static_cast<off_t>(kMaxSettingsFileSize)), 0);
  EXPECT_EQ(IniFile(at_limit).Read("s", "k"), "v");
}

// Lookups go through an index by folded name: many keys, case-insensitive hits, the last duplicate.
TEST(IniFileLookup, ManyKeysKeepEveryLookupRule) {
  constexpr int kKeys = 60000;
  IniFile ini;
  for (int i = 0; i < kKeys; ++i) ini.Write("Job", "Var" + std::to_string(i), std::to_string(i));
  ini.Write("job", "VAR7", "seven");
  IniFile reread = IniFile::FromBytes(ini.ToBytes());
  for (const IniFile* file : {&ini, &reread}) {
    long long sum = 0;
    for (int i = 0; i < kKeys; ++i) {
      if (i != 7) sum += std::stoll(file->Read("JOB", "var" + std::to_string(i)));
    }
    EXPECT_EQ(sum, static_cast<long long>(kKeys) * (kKeys - 1) / 2 - 7);
    EXPECT_EQ(file->Read("job", "var7"), "seven");
    EXPECT_EQ(file->Keys("job").size(), static_cast<std::size_t>(kKeys));
  }
}

TEST(IniFileFiles, AFailedWriteBackLeavesTheOldFile) {
  TempDir dir;
  const std::string path = dir.File("CorvaneEnv.ini");
  const std::string old_bytes = "[prod]\r\nRHost=aG9zdA==\r\n\r\n";
  WriteBytes(path, old_bytes);
  IniFile ini(path);
  ini.Write("prod", "RPwd", std::string(200000, 'A'));

  // A file-size limit makes the write of the temporary file fail part-way, as a full disk would.
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  bool threw = false;
  try {
    ini.WriteBack();
  } catch (const std::system_error& e) {
    threw = true;
    EXPECT_EQ(e.code().value(), EFBIG);
    EXPECT_NE(std::string(e.what()).find("Cannot create file \"" + path + "\""), std::string::npos);
  }
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);

  EXPECT_TRUE(threw);
  EXPECT_EQ(ReadBytes(path), old_bytes);
  // The in-memory copy is unchanged and no temporary file is left behind.
  EXPECT_EQ(ini.Read("prod", "RPwd").size(), 200000u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

}  // namespace
}  // namespace corvane
