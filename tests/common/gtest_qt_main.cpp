// The main of every test binary that drives widgets: the offscreen platform, one application
// object, and exit tests that re-run the binary for their one test.
#include <QApplication>

#include <gtest/gtest.h>

#include "app/app.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  QApplication app(argc, argv);
  lumo::prepare_application();
  return RUN_ALL_TESTS();
}
