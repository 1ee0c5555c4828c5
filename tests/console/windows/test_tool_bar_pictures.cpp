// The program's own pictures render through Qt's SVG support at tool bar and menu sizes, and
// read as coloured pictures (a style that greys out stock icons made them look disabled).
#include "console/qt_test_app.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QString>


namespace {

// The pictures' folder in the source tree.
QString PictureFile(const char* name) {
  return QString::fromUtf8(CORVANE_TEST_DATA_DIR "/../../console/resources/icons/") + QString::fromLatin1(name) +
         QStringLiteral(".svg");
}

class ToolBarPictures : public ::testing::TestWithParam<const char*> {};

TEST(ToolBarPictureSupport, QtReadsSvg) {
  EXPECT_TRUE(QImageReader::supportedImageFormats().contains("svg"))
      << "Qt's SVG image plugin is missing (Debian: libqt6svg6)";
}

struct Coverage {
  int drawn = 0;  // pixels at least half opaque
  int vivid = 0;  // of them, pixels of a strong colour
};

Coverage Measure(const QImage& image) {
  Coverage coverage;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.alpha() < 128) continue;
      ++coverage.drawn;
      if (c.hsvSaturation() >= 128 && c.value() >= 96) ++coverage.vivid;
    }
  }
  return coverage;
}

QImage Render(const char* name, int size) {
  return QIcon(PictureFile(name)).pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
}

TEST_P(ToolBarPictures, RendersCrispAndColouredAtEverySize) {
  for (const int size : {16, 24, 32}) {
    const QImage image = Render(GetParam(), size);
    ASSERT_EQ(image.size(), QSize(size, size)) << GetParam() << " at " << size;
    const Coverage c = Measure(image);
    const int area = size * size;
    // A picture, not a speck: at least a third of the square is drawn, and a fifth of it in a
    // strong colour.
    EXPECT_GE(c.drawn * 3, area) << GetParam() << " at " << size;
    EXPECT_GE(c.vivid * 5, area) << GetParam() << " at " << size;
  }
}

INSTANTIATE_TEST_SUITE_P(Each, ToolBarPictures,
                         ::testing::Values("environment", "job", "execute", "preferences", "scheduler", "help",
                                           "quit"));

// The program's own icon (desktop entry, window, notification area), from 16 to 64 pixels.
TEST(ProgramIcon, RendersAtEverySize) {
  for (const int size : {16, 22, 32, 48, 64}) {
    const QImage image = Render("corvane", size);
    ASSERT_EQ(image.size(), QSize(size, size)) << size;
    const Coverage c = Measure(image);
    EXPECT_GE(c.drawn * 2, size * size) << size;
    EXPECT_GT(c.vivid, 0) << size;
  }
}

}  // namespace
