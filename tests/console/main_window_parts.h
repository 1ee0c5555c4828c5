// How the tests reach the main window's controls: by their object names, as a test tool would.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QString>
#include <QToolBar>

#include "console/windows/main_window.h"

namespace corvane::test {

// The child of `window` named `name`; a test that asks for one that is not there fails.
template <typename Part>
Part* PartOf(const QWidget& window, const char* name) {
  Part* part = window.findChild<Part*>(QString::fromLatin1(name));
  if (part == nullptr) ADD_FAILURE() << "the window has no " << name;
  return part;
}

inline QComboBox* EnvironmentList(const MainWindow& window) {
  return PartOf<QComboBox>(window, "environmentList");
}
inline QComboBox* JobList(const MainWindow& window) { return PartOf<QComboBox>(window, "jobList"); }
inline QComboBox* ProtocolList(const MainWindow& window) { return PartOf<QComboBox>(window, "protocolList"); }
inline QPlainTextEdit* Output(const MainWindow& window) { return PartOf<QPlainTextEdit>(window, "output"); }
inline QToolBar* ToolBar(const MainWindow& window) { return PartOf<QToolBar>(window, "toolBar"); }
inline QStatusBar* StatusBar(const MainWindow& window) { return PartOf<QStatusBar>(window, "statusBar"); }
inline QMenu* TrayMenu(const MainWindow& window) { return PartOf<QMenu>(window, "trayMenu"); }
// A menu item ("environmentAction"), a tool button ("environmentButton") or an item of the
// notification-area icon's menu ("trayQuitAction").
inline QAction* Action(const MainWindow& window, const char* name) { return PartOf<QAction>(window, name); }

}  // namespace corvane::test
