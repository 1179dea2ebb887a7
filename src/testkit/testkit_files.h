// Temporary files and directories for tests, removed again by their destructors, and whole-
// file reads and writes. Everything is made under the test program's temporary directory
// (testing::TempDir(), normally /tmp).
#ifndef NORV_TESTKIT_FILES_H
#define NORV_TESTKIT_FILES_H

#include <cstdint>
#include <string>
#include <vector>

namespace norvtest {

// A new empty file named after `stem`; removed by the destructor.
class TempFile {
 public:
  explicit TempFile(const std::string &stem = "norv");
  ~TempFile();
  TempFile(const TempFile &) = delete;
  TempFile &operator=(const TempFile &) = delete;
  bool made() const { return made_; }
  const char *path() const { return path_.c_str(); }
  const std::string &name() const { return path_; }

 private:
  std::string path_;
  bool made_ = false;
};

// A new empty directory named after `stem`; removed with all it holds by the destructor.
class TempDir {
 public:
  explicit TempDir(const std::string &stem = "norv");
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  bool made() const { return !path_.empty(); }
  const std::string &path() const { return path_; }
  // The path of `name` inside the directory.
  std::string file(const std::string &name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The whole file, or nothing when it cannot be read (*ok says which, when given).
std::vector<uint8_t> readFile(const std::string &path, bool *ok = nullptr);
// Writes the bytes as the whole file; false when that fails.
bool writeFile(const std::string &path, const std::vector<uint8_t> &bytes);
bool writeFile(const std::string &path, const std::string &text);

}  // namespace norvtest

#endif
