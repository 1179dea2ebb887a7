// A test fixture that gives loaded view controls the way the viewer gets them: the built
// control module registered into a registry file of the suite's own (NORVVIEW_REGISTRY in a
// temporary directory), found by its ProgID and loaded with dlopen, controls made by its class
// object. ControlModule::shared() finds the same registry, so the program's own paths work too.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <cstdlib>
#include <memory>
#include <string>

#include "app_fixture.h"
#include "comp_registry.h"
#include "control_loader.h"
#include "testkit_files.h"

namespace viewer {

class ControlTest : public QtAppTest {
 protected:
  static void SetUpTestSuite() {
    QtAppTest::SetUpTestSuite();
    dir_ = new norvtest::TempDir("viewer_registry");
    registry_ = dir_->file("registry.ini");
    setenv(comp::kRegistryPathVariable, registry_.c_str(), 1);
    QString error;
    if (!registerModule(NORVVIEW_MODULE_PATH, &error)) {
      loadError_ = error;
      return;
    }
    module_ = ControlModule::load(registry_, kControlProgId, &error).release();
    if (module_ == nullptr) loadError_ = error;
  }
  static void TearDownTestSuite() {
    delete module_;
    module_ = nullptr;
    unsetenv(comp::kRegistryPathVariable);
    delete dir_;
    dir_ = nullptr;
    QtAppTest::TearDownTestSuite();
  }

  void SetUp() override { ASSERT_NE(module_, nullptr) << loadError_.toStdString(); }

  // A new control of the loaded module (null, and the test failed, when none is made).
  static std::unique_ptr<ViewControl> newControl() {
    QString error;
    std::unique_ptr<ViewControl> control = module_->create(&error);
    EXPECT_NE(control, nullptr) << error.toStdString();
    return control;
  }
  static ControlModule &module() { return *module_; }
  static const std::string &registryPath() { return registry_; }

 private:
  static inline norvtest::TempDir *dir_ = nullptr;
  static inline std::string registry_;
  static inline ControlModule *module_ = nullptr;
  static inline QString loadError_;
};

}  // namespace viewer
