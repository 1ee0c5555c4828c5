// Shared by the console's core tests: one QGuiApplication per test binary (no widgets), with the
// helpers of qt_test_support.h.
#pragma once

#include <gtest/gtest.h>

#include <QGuiApplication>

#include "console/qt_test_support.h"

namespace corvane::test {

inline ::testing::Environment* const kQtAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtAppEnvironment<QGuiApplication>);

}  // namespace corvane::test
