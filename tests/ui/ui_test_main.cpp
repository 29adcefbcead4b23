// SPDX-License-Identifier: MIT
// The GUI tests' entry: one QApplication on the offscreen platform (unless
// another is asked for), with a home folder of its own so that nothing the
// toolkit keeps lands in the real one.

#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>

#include <cstdlib>
#include <filesystem>

#include "test_support.h"
#include "ui_support.h"
#include "ui/application.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  vantrel::testing::TempDir home;
  vantrel::testing::isolateHome(home);
  // No audio server: sounds the tests start go nowhere.
  qputenv("PULSE_SERVER", QByteArray::fromStdString("unix:" + home.file("no-audio-server")));
  QApplication app(argc, argv);
  vantrel::initialiseApplication();
  return RUN_ALL_TESTS();
}
