// The TIFF fixtures of make_fixtures.sh (netpbm and libtiff's tools), made once per test
// program in a temporary directory that goes when the program ends. Test fixtures call
// requireTiffFixtures() in SetUp: a missing tool skips the test, a failing script fails it.
#ifndef OVR_TIFF_FIXTURES_H
#define OVR_TIFF_FIXTURES_H

#include <gtest/gtest.h>

#include <string>

#include "testkit_files.h"
#include "testkit_tools.h"

namespace ovr_test {

class TiffFixtures {
 public:
  static const TiffFixtures &get() {
    static const TiffFixtures fixtures;
    return fixtures;
  }
  int status() const { return status_; }  // 0 made, 77 a tool is missing, else failed
  std::string path(const std::string &name) const { return dir_.file(name); }

  TiffFixtures(const TiffFixtures &) = delete;
  TiffFixtures &operator=(const TiffFixtures &) = delete;

 private:
  TiffFixtures() : dir_("ovr_fixtures") {
    const std::string script = std::string(NORV_SOURCE_DIR) + "/src/libovr/tests/make_fixtures.sh";
    status_ = dir_.made() ? norvtest::runTool("sh " + norvtest::shellQuote(script) + " " +
                                              norvtest::shellQuote(dir_.path()))
                                .status
                          : -1;
  }

  norvtest::TempDir dir_;
  int status_ = -1;
};

// For SetUp(): skips on a missing tool, fails on a failed script.
inline void requireTiffFixtures() {
  const int status = TiffFixtures::get().status();
  if (status == 77) GTEST_SKIP() << "a netpbm or libtiff tool is missing";
  ASSERT_EQ(status, 0) << "make_fixtures.sh failed";
}

inline std::string fixturePath(const std::string &name) {
  return TiffFixtures::get().path(name);
}

}  // namespace ovr_test

#endif
