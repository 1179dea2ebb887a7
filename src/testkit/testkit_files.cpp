// Temporary files and directories, whole-file reads and writes.
#include "testkit_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace norvtest {
namespace {

std::string pattern(const std::string &stem) {
  return ::testing::TempDir() + stem + "_XXXXXX";
}

}  // namespace

TempFile::TempFile(const std::string &stem) : path_(pattern(stem)) {
  const int fd = mkstemp(path_.data());
  made_ = fd >= 0;
  if (made_) close(fd);
}

TempFile::~TempFile() {
  if (made_) std::remove(path_.c_str());
}

TempDir::TempDir(const std::string &stem) {
  std::string name = pattern(stem);
  if (mkdtemp(name.data()) != nullptr) path_ = name;
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::vector<uint8_t> readFile(const std::string &path, bool *ok) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes;
  if (in) bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (ok != nullptr) *ok = in.good() || in.eof();
  return bytes;
}

bool writeFile(const std::string &path, const std::vector<uint8_t> &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return out.good();
}

bool writeFile(const std::string &path, const std::string &text) {
  return writeFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

}  // namespace norvtest
