#include "console/windows/help_window.h"

#include "console/qt_test_app.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>


namespace corvane {
namespace {

class HelpWindowTest : public ::testing::Test {
 protected:
  QString Write(const char* name, const QByteArray& bytes) {
    const QString path = dir_.filePath(QString::fromLatin1(name));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_EQ(file.write(bytes), bytes.size());
    return path;
  }

  QTemporaryDir dir_;
  UiServices ui_;
};

TEST_F(HelpWindowTest, ShowsTheFileReadOnlyWithItsTextDecoded) {
  QWidget main;
  HelpWindow help(&main, ui_);
  EXPECT_EQ(help.windowTitle(), QStringLiteral("Corvane 2.0 - Help"));
  EXPECT_TRUE(help.isWindow());
  EXPECT_EQ(help.parentWidget(), &main);
  ASSERT_TRUE(help.loadFile(Write("help.txt", QByteArray("\xA7 1 Latin-1\r\nGr\xC3\xBC\xC3\x9F"
                                                         "e\r\n"))));
  EXPECT_EQ(help.text(), QString::fromUtf16(u"\u00A7 1 Latin-1\nGr\u00FC\u00DFe\n"));
  const auto* view = help.findChild<QPlainTextEdit*>();
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->isReadOnly());
}

TEST_F(HelpWindowTest, AFileThatCannotBeShownLeavesTheTextAsItWas) {
  HelpWindow help(nullptr, ui_);
  ASSERT_TRUE(help.loadFile(Write("help.txt", "first")));
  EXPECT_FALSE(help.loadFile(dir_.filePath(QStringLiteral("missing.txt"))));
  EXPECT_FALSE(help.errorString().isEmpty());
  EXPECT_EQ(help.text(), QStringLiteral("first"));
  EXPECT_FALSE(help.loadFile(Write("big.txt", QByteArray(HelpWindow::kMaxFileSize + 1, 'x'))));
  EXPECT_EQ(help.text(), QStringLiteral("first"));
  // Exactly at the limit is still shown.
  EXPECT_TRUE(help.loadFile(Write("limit.txt", QByteArray(HelpWindow::kMaxFileSize, 'y'))));
  EXPECT_EQ(help.text().size(), HelpWindow::kMaxFileSize);
}

TEST_F(HelpWindowTest, ShowsTheProgramsHelpFile) {
  HelpWindow help(nullptr, ui_);
  ASSERT_TRUE(help.loadFile(QString::fromUtf8(CORVANE_TEST_DATA_DIR "/../../console/CORVANE.HLP")))
      << help.errorString().toStdString();
  EXPECT_TRUE(help.text().startsWith(QStringLiteral("CORVANE 2.0 - HELP AND TUTORIAL\n")));
}

}  // namespace
}  // namespace corvane
