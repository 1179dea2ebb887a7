// Temporary files and directories, whole-file reads and writes.
#include "testkit_files.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace norvtest {
namespace {

std::string pattern(const std::string &stem) {
  return ::testing::TempDir() + stem + "_XXXXXX";
}

}  // namespace

FILE *openMemoryFile(MemoryFile *file, bool buffered) {
  cookie_io_functions_t functions{};
  functions.read = [](void *cookie, char *buffer, size_t size) -> ssize_t {
    auto *f = static_cast<MemoryFile *>(cookie);
    const size_t n =
        f->position >= f->data.size() ? 0 : std::min(size, f->data.size() - f->position);
    std::memcpy(buffer, f->data.data() + f->position, n);
    f->position += n;
    return static_cast<ssize_t>(n);
  };
  functions.write = [](void *cookie, const char *buffer, size_t size) -> ssize_t {
    auto *f = static_cast<MemoryFile *>(cookie);
    if (f->limit >= 0 && f->taken + size > static_cast<size_t>(f->limit)) {
      errno = ENOSPC;
      return 0;
    }
    f->taken += size;
    if (f->data.size() < f->position + size) f->data.resize(f->position + size);
    std::memcpy(f->data.data() + f->position, buffer, size);
    f->position += size;
    return static_cast<ssize_t>(size);
  };
  functions.seek = [](void *cookie, off64_t *offset, int whence) -> int {
    auto *f = static_cast<MemoryFile *>(cookie);
    const off64_t base = whence == SEEK_SET   ? 0
                         : whence == SEEK_CUR ? static_cast<off64_t>(f->position)
                                              : static_cast<off64_t>(f->data.size());
    if (base + *offset < 0) return -1;
    f->position = static_cast<size_t>(base + *offset);
    *offset = static_cast<off64_t>(f->position);
    return 0;
  };
  functions.close = [](void *cookie) -> int {
    auto *f = static_cast<MemoryFile *>(cookie);
    ++f->closes;
    return f->failClose ? -1 : 0;
  };
  FILE *stream = fopencookie(file, "w+", functions);
  if (stream != nullptr && !buffered) std::setvbuf(stream, nullptr, _IONBF, 0);
  return stream;
}

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

FileSizeLimit::FileSizeLimit(uint64_t bytes) {
  rlimit limit{};
  EXPECT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
  savedCurrent_ = limit.rlim_cur;
  savedHandler_ = std::signal(SIGXFSZ, SIG_IGN);
  limit.rlim_cur = bytes;
  EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0) << std::strerror(errno);
}

FileSizeLimit::~FileSizeLimit() {
  rlimit limit{};
  getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = savedCurrent_;
  setrlimit(RLIMIT_FSIZE, &limit);
  std::signal(SIGXFSZ, savedHandler_);
}

std::vector<std::string> listDirectory(const std::string &path) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto &entry : std::filesystem::directory_iterator(path, error))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace norvtest
