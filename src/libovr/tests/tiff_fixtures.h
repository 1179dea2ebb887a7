// The TIFF fixtures of make_fixtures.sh (netpbm and libtiff's tools), made once per test
// program in a temporary directory that goes when the program ends. Test fixtures call
// requireTiffFixtures() in SetUp: a missing tool skips the test, a failing script fails it.
#ifndef OVR_TIFF_FIXTURES_H
#define OVR_TIFF_FIXTURES_H

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace ovr_test {

class TiffFixtures {
 public:
  static const TiffFixtures &get() {
    static const TiffFixtures fixtures;
    return fixtures;
  }
  int status() const { return status_; }  // 0 made, 77 a tool is missing, else failed
  std::string path(const std::string &name) const { return (dir_ / name).string(); }

  TiffFixtures(const TiffFixtures &) = delete;
  TiffFixtures &operator=(const TiffFixtures &) = delete;
  ~TiffFixtures() { std::filesystem::remove_all(dir_); }

 private:
  TiffFixtures()
      : dir_(std::filesystem::path(testing::TempDir()) /
             ("ovr_fixtures_" + std::to_string(::getpid()))) {
    std::filesystem::remove_all(dir_);
    const std::string script = std::string(NORV_SOURCE_DIR) + "/src/libovr/tests/make_fixtures.sh";
    const int rc = std::system(("sh '" + script + "' '" + dir_.string() + "' >/dev/null").c_str());
    status_ = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  }

  std::filesystem::path dir_;
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
