// Shared by the console tests with widgets: one QApplication per test binary, the helpers of
// qt_test_support.h, and typing into a widget as the keyboard does.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QString>
#include <QWidget>

#include "console/qt_test_support.h"

namespace corvane::test {

inline ::testing::Environment* const kQtAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtAppEnvironment<QApplication>);

// Types `text` into `widget` one character at a time, as key presses carrying the character (the
// way a keyboard or an input method delivers it).
inline void TypeText(QWidget* widget, const QString& text) {
  for (const QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QCoreApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
    QCoreApplication::sendEvent(widget, &release);
  }
}

}  // namespace corvane::test
