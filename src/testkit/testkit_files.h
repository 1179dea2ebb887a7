// Temporary files and directories for tests, removed again by their destructors, and whole-
// file reads and writes. Everything is made under the test program's temporary directory
// (testing::TempDir(), normally /tmp).
#ifndef NORV_TESTKIT_FILES_H
#define NORV_TESTKIT_FILES_H

#include <cstdint>
#include <cstdio>
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

// A file in memory for output failures: its writes fail (errno ENOSPC, as on a full disk) once
// `limit` bytes have been taken in all, its close can fail, and it counts its closes. It reads
// and seeks like a file.
struct MemoryFile {
  std::vector<uint8_t> data;
  size_t position = 0;
  long limit = -1;  // -1: no limit
  size_t taken = 0;
  int closes = 0;
  bool failClose = false;
};

// A stdio stream over the record (mode "w+"); null when it cannot be made. Unbuffered, so every
// write reaches the record, unless `buffered` is set: then, as with a file on disk, bytes reach
// it at flushes, seeks and the close, and a failed write is first seen there.
FILE *openMemoryFile(MemoryFile *file, bool buffered = false);

// The whole file, or nothing when it cannot be read (*ok says which, when given).
std::vector<uint8_t> readFile(const std::string &path, bool *ok = nullptr);
// Writes the bytes as the whole file; false when that fails.
bool writeFile(const std::string &path, const std::vector<uint8_t> &bytes);
bool writeFile(const std::string &path, const std::string &text);

// A full disk for real files: while it lives, no file of the process can grow past `bytes`
// (the file size limit), and a write that would is refused with EFBIG instead of raising the
// signal. The destructor restores the limit and the signal's handling.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(uint64_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit &) = delete;
  FileSizeLimit &operator=(const FileSizeLimit &) = delete;

 private:
  uint64_t savedCurrent_ = 0;
  void (*savedHandler_)(int) = nullptr;
};

// The names in a directory (not . and ..), sorted.
std::vector<std::string> listDirectory(const std::string &path);

}  // namespace norvtest

#endif
