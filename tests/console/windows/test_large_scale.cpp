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

  auto mainWindow = std::make_unique<MainWindow>(test::ServicesIn(
      dir.path(), std::make_shared<test::LibraryLog>(), std::make_unique<test::FakeUi>(std::make_shared<test::UiLog>()),
      std::make_unique<test::NoTray>()));
  mainWindow->show();
  // The main window's corner and its menu are on the screen.
  EXPECT_TRUE(area.contains(mainWindow->geometry().topLeft()))
      << mainWindow->geometry().x() << "," << mainWindow->geometry().y();
  EXPECT_TRUE(area.contains(mainWindow->menuBar()->mapToGlobal(QPoint(0, 0))));
  EXPECT_LE(mainWindow->width(), std::max(area.width(), mainWindow->minimumSizeHint().width()));
  EXPECT_LE(mainWindow->height(), std::max(area.height(), mainWindow->minimumSizeHint().height()));

  auto windows = std::make_unique<ConsoleWindows>(*mainWindow);
  for (QAction* opener : {mainWindow->environmentAction_, mainWindow->jobAction_, mainWindow->schedulerAction_,
                          mainWindow->preferencesAction_, mainWindow->aboutAction_}) {
    SCOPED_TRACE(opener->text().toStdString());
    opener->trigger();
  }
  for (QPointer<SecondaryWindow> window :
       {mainWindow->Windows().environmentWindow, mainWindow->Windows().jobWindow, mainWindow->Windows().schedulerWindow,
        mainWindow->Windows().preferencesWindow, mainWindow->Windows().aboutWindow}) {
    SCOPED_TRACE(window->windowTitle().toStdString());
    ASSERT_TRUE(window->isVisible());
    EXPECT_TRUE(area.contains(window->geometry().topLeft())) << window->geometry().x() << "," << window->geometry().y();
  }
  windows.reset();
  mainWindow.reset();
}

}  // namespace
}  // namespace corvane
