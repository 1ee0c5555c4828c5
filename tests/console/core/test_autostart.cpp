// The start-at-logon entry: its exact text, the quoting of the program path, and the close-time
// rule (create when missing, keep when present, remove when switched off).
#include "console/core/autostart.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace corvane {
namespace {

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(AutostartTest, ExecArgumentQuoting) {
  struct Case {
    const char* path;
    const char* exec;
  };
  for (const Case& c :
       {Case{"/opt/corvane/Corvane", R"("/opt/corvane/Corvane")"},
        Case{"/home/a b/Corvane", R"("/home/a b/Corvane")"}, Case{R"(/x/"q"/C)", R"("/x/\\"q\\"/C")"},
        Case{"/x/$HOME/`id`/C", R"("/x/\\$HOME/\\`id\\`/C")"}, Case{R"(/x\y/C)", R"("/x\\\\y/C")"},
        Case{"/x/100%/C", R"("/x/100%%/C")"}, Case{"/x/a\nb/C", R"("/x/a\nb/C")"}}) {
    EXPECT_EQ(AutostartEntry::QuoteExecArgument(QString::fromUtf8(c.path)), QString::fromUtf8(c.exec)) << c.path;
  }
}

TEST(AutostartTest, EntryText) {
  EXPECT_EQ(AutostartEntry::EntryText(QString::fromUtf8("/home/\xC3\xA9/Corvane")),
            QByteArray("[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=Corvane 2.0\n"
                       "Exec=\"/home/\xC3\xA9/Corvane\"\n"
                       "Terminal=false\n"
                       "X-GNOME-Autostart-enabled=true\n"));
}

TEST(AutostartTest, ApplyCreatesKeepsAndRemoves) {
  QTemporaryDir dir;
  AutostartEntry entry(dir.path() + "/autostart");  // the folder is made when needed
  EXPECT_EQ(entry.FilePath(), dir.path() + "/autostart/Corvane.desktop");
  EXPECT_FALSE(entry.Exists());

  entry.Apply(false, "/a/Corvane");  // nothing to remove
  EXPECT_FALSE(entry.Exists());

  entry.Apply(true, "/a/Corvane");
  EXPECT_EQ(ReadAll(entry.FilePath()), AutostartEntry::EntryText("/a/Corvane"));

  entry.Apply(true, "/moved/Corvane");  // an existing entry is not changed
  EXPECT_EQ(ReadAll(entry.FilePath()), AutostartEntry::EntryText("/a/Corvane"));

  entry.Apply(false, "/moved/Corvane");
  EXPECT_FALSE(entry.Exists());
  EXPECT_EQ(QDir(dir.path() + "/autostart").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList());
}

TEST(AutostartTest, FailuresAreReported) {
  QTemporaryDir dir;
  QFile blocker(dir.path() + "/autostart");
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  AutostartEntry entry(dir.path() + "/autostart");
  EXPECT_THROW(entry.Apply(true, "/a/Corvane"), std::runtime_error);
  EXPECT_NO_THROW(entry.Apply(false, "/a/Corvane"));  // nothing there to remove
}

}  // namespace
}  // namespace corvane
