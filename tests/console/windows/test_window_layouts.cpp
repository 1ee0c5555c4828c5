// The secondary windows' layouts: the fixed-size windows keep their designed sizes at the usual
// font, and at a large font they grow instead of cutting a caption; every caption fits its control
// and every control lies inside its window.
//
// With CORVANE_WINDOW_PICTURES set to a folder, the test also saves each window as it was
// checked (<font size>-<caption>.png), for a look at them under another style or scale.
#include <gtest/gtest.h>

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <memory>
#include <string>
#include <vector>

#include "console/console_fixture.h"
#include "console/windows/app.h"

namespace corvane {
namespace {

struct Designed {
  const char* caption;
  QSize size;  // client area; an empty size: the window takes its size from its layout
};

const std::vector<Designed>& Windows() {
  static const std::vector<Designed> windows = {
      {"Corvane 2.0 - Preferences", QSize(400, 230)},
      {"About...", QSize(235, 154)},
      {"Corvane 2.0 - Environment", QSize(360, 236)},
      {"Corvane 2.0 - Job", QSize(400, 290)},
      {"Corvane 2.0 - Scheduler", QSize()},
      {"Date", QSize()},
      {"Corvane 2.0 - Command", QSize()},
  };
  return windows;
}

// Inside a composite control (a list's, a spin box's or the month grid's own parts).
bool PartOfAComposite(const QWidget* widget, const QWidget* window) {
  for (const QWidget* up = widget->parentWidget(); up != nullptr && up != window; up = up->parentWidget()) {
    if (qobject_cast<const QComboBox*>(up) || qobject_cast<const QAbstractSpinBox*>(up) ||
        qobject_cast<const QCalendarWidget*>(up))
      return true;
  }
  return false;
}

// What is cut or outside in `window`, one line each; empty when nothing is.
std::vector<std::string> Cut(QWidget* window) {
  std::vector<std::string> problems;
  const QRect area = window->rect();
  for (QWidget* widget : window->findChildren<QWidget*>()) {
    if (!widget->isVisibleTo(window) || PartOfAComposite(widget, window)) continue;
    const std::string name =
        std::string(widget->metaObject()->className()) + " \"" +
        (qobject_cast<QLabel*>(widget)            ? qobject_cast<QLabel*>(widget)->text()
         : qobject_cast<QAbstractButton*>(widget) ? qobject_cast<QAbstractButton*>(widget)->text()
         : qobject_cast<QGroupBox*>(widget)       ? qobject_cast<QGroupBox*>(widget)->title()
                                                  : QString())
            .toStdString() +
        "\"";
    const QRect placed(widget->mapTo(window, QPoint(0, 0)), widget->size());
    if (!area.contains(placed)) problems.push_back(name + " lies outside the window");
    const QSize size = widget->size();
    if (auto* label = qobject_cast<QLabel*>(widget); label != nullptr && !label->text().isEmpty()) {
      const QSize needed = label->sizeHint();
      if (needed.width() > size.width() || needed.height() > size.height()) problems.push_back(name + " is cut");
    } else if (auto* box = qobject_cast<QCheckBox*>(widget)) {
      const QSize needed = box->sizeHint();
      if (needed.width() > size.width() || needed.height() > size.height()) problems.push_back(name + " is cut");
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
      const QFontMetrics metrics(button->font());
      if (metrics.horizontalAdvance(button->text()) + 4 > size.width() || metrics.height() > size.height())
        problems.push_back(name + " is cut");
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
      if (QFontMetrics(group->font()).horizontalAdvance(group->title()) + 8 > size.width())
        problems.push_back(name + " is cut");
    } else if (widget->minimumSizeHint().height() > size.height()) {
      problems.push_back(name + " is squeezed");
    }
  }
  return problems;
}

class WindowLayoutsTest : public test::ConsoleTest {
 protected:
  void TearDown() override {
    windows_.reset();
    test::ConsoleTest::TearDown();
    QApplication::setFont(applicationFont_);
  }

  // Every window, created at `points` (0: the application's usual font).
  void Start(int points) {
    if (points > 0) {
      QFont font = applicationFont_;
      font.setPointSize(points);
      QApplication::setFont(font);
    }
    windows_ = std::make_unique<ConsoleWindows>(Shown(), Services());
  }
  SecondaryWindow* Find(const char* caption) {
    const ConsoleWindows& all = *windows_;
    for (SecondaryWindow* window :
         std::initializer_list<SecondaryWindow*>{&all.Preferences(), &all.About(), &all.Environment(), &all.Job(),
                                                 &all.Command(), &all.Scheduler(), &all.DatePicker()}) {
      if (window->windowTitle() == QLatin1String(caption)) return window;
    }
    return nullptr;
  }
  void Picture(QWidget* window, int points) {
    const QString folder = qEnvironmentVariable("CORVANE_WINDOW_PICTURES");
    if (folder.isEmpty()) return;
    QDir().mkpath(folder);
    QString name = window->windowTitle();
    name.replace(QLatin1Char(' '), QLatin1Char('_')).remove(QLatin1Char('.'));
    EXPECT_TRUE(window->grab().save(folder + "/" + QString::number(points) + "-" + name + ".png"));
  }
  // Presents every window at `points` and checks it: a fixed window has its designed size (or,
  // when `grown`, a larger one) and cannot be resized, and nothing in any window is cut.
  void CheckEveryWindow(int points, bool grown) {
    Start(points);
    for (const Designed& designed : Windows()) {
      SCOPED_TRACE(designed.caption);
      SecondaryWindow* window = Find(designed.caption);
      ASSERT_NE(window, nullptr);
      window->present();
      if (designed.size.isValid()) {
        if (grown) {
          EXPECT_GE(window->width(), designed.size.width());
          EXPECT_GE(window->height(), designed.size.height());
          EXPECT_GT(window->width() * window->height(), designed.size.width() * designed.size.height());
        } else {
          EXPECT_EQ(window->size(), designed.size);
        }
        EXPECT_EQ(window->minimumSize(), window->maximumSize());
      }
      EXPECT_EQ(Cut(window), std::vector<std::string>{});
      Picture(window, points);
      window->hide();
    }
  }

  const QFont applicationFont_ = QApplication::font();
  std::unique_ptr<ConsoleWindows> windows_;
};

TEST_F(WindowLayoutsTest, FixedWindowsKeepTheirSizesAndCutNothing) { CheckEveryWindow(0, false); }

// Twice the usual size and more: the fixed windows grow, stay fixed, and still cut nothing.
TEST_F(WindowLayoutsTest, LargeFontGrowsTheWindowsInsteadOfCuttingCaptions) {
  CheckEveryWindow(std::max(20, 2 * QFontInfo(applicationFont_).pointSize()), true);
}

}  // namespace
}  // namespace corvane
