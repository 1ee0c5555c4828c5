// The preference store: the four operations, decimal text, defaults, colours and font style.
#include <gtest/gtest.h>

#include <QColor>
#include <QFile>
#include <QFont>
#include <QSettings>
#include <QTemporaryDir>

#include <limits>

#include "console/core/preferences.h"

namespace corvane {
namespace {

TEST(DecimalTextTest, Cases) {
  struct Case {
    const char* text;
    std::optional<std::int32_t> value;
  };
  for (const Case& c :
       {Case{"0", 0}, Case{"12632256", 12632256}, Case{"-1", -1}, Case{"+7", 7}, Case{"007", 7},
        Case{"2147483647", std::numeric_limits<std::int32_t>::max()},
        Case{"-2147483648", std::numeric_limits<std::int32_t>::min()}, Case{"2147483648", std::nullopt},
        Case{"-2147483649", std::nullopt}, Case{"99999999999999999999", std::nullopt}, Case{"", std::nullopt},
        Case{"-", std::nullopt}, Case{" 1", std::nullopt}, Case{"1 ", std::nullopt}, Case{"0x10", std::nullopt},
        Case{"1.5", std::nullopt}, Case{"silver", std::nullopt}}) {
    EXPECT_EQ(ParseDecimalInt32(QString::fromLatin1(c.text)), c.value) << c.text;
  }
}

// The output's text stays readable: a stored text colour too close to the background is shown
// as black or white, whichever stands out more; one that stands out is shown as stored.
TEST(ReadableTextColorTest, Cases) {
  struct Case {
    QColor text, background, shown;
  };
  const QColor black(0, 0, 0), white(255, 255, 255);
  for (const Case& c : {
           Case{black, black, white},                     // the default text on Black
           Case{black, QColor(0, 0, 0x80), white},        // Navy
           Case{black, QColor(0x80, 0, 0), white},        // Maroon
           Case{black, QColor(0x80, 0, 0x80), white},     // Purple
           Case{black, QColor(0, 0, 0xFF), white},        // Blue
           Case{black, QColor(0xC0, 0xC0, 0xC0), black},  // on Silver, the default
           Case{black, QColor(0x80, 0x80, 0x80), black},  // Gray
           Case{white, QColor(0xFF, 0xFF, 0), black},     // white on Yellow
           Case{white, white, black},
           Case{QColor(0, 0xFF, 0), black, QColor(0, 0xFF, 0)},                     // Lime on Black stays
           Case{QColor(0xFF, 0xFF, 0), QColor(0, 0, 0x80), QColor(0xFF, 0xFF, 0)},  // Yellow on Navy
           Case{QColor(0x12, 0x34, 0x56), QColor(0x12, 0x34, 0x57), white},
       }) {
    EXPECT_EQ(ReadableTextColor(c.text, c.background), c.shown)
        << c.text.name().toStdString() << " on " << c.background.name().toStdString();
  }
  EXPECT_DOUBLE_EQ(ContrastRatio(black, white), 21.0);
  EXPECT_DOUBLE_EQ(ContrastRatio(white, white), 1.0);
  EXPECT_GE(ContrastRatio(ReadableTextColor(black, QColor(0x80, 0x80, 0x80)), QColor(0x80, 0x80, 0x80)),
            kMinimumTextContrast);
}

TEST(StoredColorTest, IsBlueGreenRed) {
  struct Case {
    QColor color;
    std::int32_t stored;
  };
  for (const Case& c :
       {Case{QColor(255, 0, 0), 255}, Case{QColor(0, 255, 0), 0x00FF00}, Case{QColor(0, 0, 255), 0xFF0000},
        Case{QColor(0xC0, 0xC0, 0xC0), 12632256}, Case{QColor(0x12, 0x34, 0x56), 0x563412}}) {
    EXPECT_EQ(ToStoredColor(c.color), c.stored);
    EXPECT_EQ(FromStoredColor(c.stored), c.color);
  }
  // A platform colour code (top byte set) is read by its colour bytes.
  EXPECT_EQ(FromStoredColor(static_cast<std::int32_t>(0xFF0000FFu)), QColor(255, 0, 0));
}

TEST(FontStyleTest, ByteRoundTrips) {
  for (std::int32_t style = 0; style < 16; ++style) {
    QFont font;
    ApplyFontStyleByte(font, style);
    EXPECT_EQ(FontStyleByte(font), style);
  }
  QFont font;
  ApplyFontStyleByte(font, 4);
  EXPECT_TRUE(font.underline());
  EXPECT_FALSE(font.bold());
}

class PreferencesStoreTest : public ::testing::Test {
 protected:
  QTemporaryDir dir_;
  QString File() const { return dir_.path() + "/sub/Corvane.conf"; }
};

TEST_F(PreferencesStoreTest, IntegersAreDecimalText) {
  Preferences prefs(File());
  prefs.Open();
  EXPECT_TRUE(QFileInfo(dir_.path() + "/sub").isDir());
  EXPECT_FALSE(QFile::exists(File()));  // opening writes nothing
  EXPECT_EQ(prefs.ReadInteger("BGCLR", 12632256), 12632256);
  for (const std::int32_t value : {0, 1, -5, 255, std::numeric_limits<std::int32_t>::min()}) {
    prefs.WriteInteger("BGCLR", value);
    EXPECT_EQ(prefs.ReadInteger("BGCLR", 42), value);
    EXPECT_EQ(QSettings(File(), QSettings::IniFormat).value("BGCLR").toString(), QString::number(value));
  }
  // A value that another writer left as text.
  prefs.WriteText("FONTSIZE", "large");
  EXPECT_EQ(prefs.ReadInteger("FONTSIZE", 8), 8);
}

TEST_F(PreferencesStoreTest, Strings) {
  Preferences prefs(File());
  EXPECT_EQ(prefs.ReadText("FONTNAME", "Arial"), "Arial");
  prefs.WriteText("FONTNAME", "");
  EXPECT_EQ(prefs.ReadText("FONTNAME", "Arial"), "");  // an existing empty value
  prefs.WriteText("FONTNAME", QString::fromUtf8("DejaVu Sans, \xE6\x96\x87"));
  EXPECT_EQ(prefs.ReadText("FONTNAME", "Arial"), QString::fromUtf8("DejaVu Sans, \xE6\x96\x87"));
}

TEST_F(PreferencesStoreTest, ChangesByAnotherWriterAreSeen) {
  Preferences one(File());
  Preferences two(File());
  one.WriteInteger("EXECBACK", 1);
  EXPECT_EQ(two.ReadInteger("EXECBACK", 0), 1);
  two.WriteInteger("EXECBACK", 0);
  EXPECT_EQ(one.ReadInteger("EXECBACK", 1), 0);
}

TEST_F(PreferencesStoreTest, AFailedWriteIsReported) {
  QFile blocker(dir_.path() + "/sub");
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));  // a file where the folder should be
  blocker.close();
  Preferences prefs(File());
  try {
    prefs.WriteInteger("RUNSTART", 1);
    FAIL() << "no failure";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Failed to set data for 'RUNSTART'");
  }
  EXPECT_EQ(prefs.ReadInteger("RUNSTART", 0), 0);
}

}  // namespace
}  // namespace corvane
