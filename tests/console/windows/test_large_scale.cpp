// The program's windows under a large scale factor (offscreen, QT_SCALE_FACTOR 3, so that the
// offscreen screen's available area is smaller than the main window's designed 704 by 486): the
// main window and the secondary windows are fitted into the area, so that the menu stays
// reachable.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>

#include <memory>

#include "console/console_fixture.h"
#include "console/main_window_parts.h"
#include "console/windows/app.h"

namespace corvane {
namespace {

// Before the test binary's QApplication exists.
const bool kLargeScale = qputenv("QT_SCALE_FACTOR", "3");

TEST(LargeScaleTest, WindowsLargerThanTheScreenAreFittedIntoIt) {
  ASSERT_TRUE(kLargeScale);
  test::Watchdog watchdog;
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  ASSERT_LT(area.width(), 704) << "the scale factor did not shrink the screen";
  ASSERT_LT(area.height(), 486);

  ConsoleServices services = test::ServicesIn(dir.path(), std::make_shared<test::LibraryLog>(),
                                              std::make_unique<test::FakeUi>(std::make_shared<test::UiLog>()),
                                              std::make_unique<test::NoTray>());
  auto mainWindow = std::make_unique<MainWindow>(services);
  mainWindow->show();
  // The main window's corner and its menu are on the screen.
  EXPECT_TRUE(area.contains(mainWindow->geometry().topLeft()))
      << mainWindow->geometry().x() << "," << mainWindow->geometry().y();
  EXPECT_TRUE(area.contains(mainWindow->menuBar()->mapToGlobal(QPoint(0, 0))));
  EXPECT_LE(mainWindow->width(), std::max(area.width(), mainWindow->minimumSizeHint().width()));
  EXPECT_LE(mainWindow->height(), std::max(area.height(), mainWindow->minimumSizeHint().height()));

  auto windows = std::make_unique<ConsoleWindows>(*mainWindow, services);
  for (QAction* opener :
       {test::Action(*mainWindow, "environmentAction"), test::Action(*mainWindow, "jobAction"),
        test::Action(*mainWindow, "schedulerAction"), test::Action(*mainWindow, "preferencesAction"),
        test::Action(*mainWindow, "aboutAction")}) {
    SCOPED_TRACE(opener->text().toStdString());
    opener->trigger();
  }
  for (QPointer<SecondaryWindow> window : std::initializer_list<QPointer<SecondaryWindow>>{
           &windows->Environment(), &windows->Job(), &windows->Scheduler(), &windows->Preferences(),
           &windows->About()}) {
    SCOPED_TRACE(window->windowTitle().toStdString());
    ASSERT_TRUE(window->isVisible());
    EXPECT_TRUE(area.contains(window->geometry().topLeft()))
        << window->geometry().x() << "," << window->geometry().y();
  }
  windows.reset();
  mainWindow.reset();
}

}  // namespace
}  // namespace corvane
