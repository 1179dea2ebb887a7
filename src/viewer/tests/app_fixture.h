// A test fixture with one QApplication for the whole suite.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

namespace viewer {

class QtAppTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Qt's offscreen platform unless the test command gives a display (see CMakeLists.txt).
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    app_ = new QApplication(argc_, argv_);
  }
  static void TearDownTestSuite() {
    delete app_;
    app_ = nullptr;
  }

 private:
  static inline int argc_ = 1;
  static inline char name_[] = "test_viewer";
  static inline char *argv_[] = {name_, nullptr};
  static inline QApplication *app_ = nullptr;
};

}  // namespace viewer
