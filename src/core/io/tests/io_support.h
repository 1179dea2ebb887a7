// Test support of the file-format tests: a context that collects its message lines, a
// temporary directory removed at the end, running a shell command, and file helpers.
#ifndef NORV_TEST_IO_SUPPORT_H
#define NORV_TEST_IO_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pxl_context.h"
#include "pxl_image.h"

namespace iotest {

struct Context {
  PxlContext *ctx = nullptr;
  std::vector<std::string> lines;
  explicit Context(bool withCallback = true) {
    EXPECT_EQ(
        0, pxlCreateContext(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr, withCallback ? &Context::collect : nullptr, this, 0,
                            nullptr, nullptr, &ctx));
  }
  ~Context() { pxlDestroyContext(&ctx); }
  Context(const Context &) = delete;
  Context &operator=(const Context &) = delete;
  static void collect(void *self, const char *text) {
    static_cast<Context *>(self)->lines.emplace_back(text);
  }
};

struct Image {
  PxlContext *ctx;
  Pixr *pix = nullptr;
  explicit Image(PxlContext *c, Pixr *p = nullptr) : ctx(c), pix(p) {}
  ~Image() {
    if (pix != nullptr) pxlDestroyImage(ctx, &pix);
  }
  Image(const Image &) = delete;
  Image &operator=(const Image &) = delete;
};

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "norv_io_XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    path_ = mkdtemp(buffer.data());
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string file(const std::string &name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Output and exit status of a shell command.
struct CommandResult {
  int status;
  std::string output;
};
inline CommandResult run(const std::string &command) {
  CommandResult result{-1, {}};
  FILE *pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  result.status = pclose(pipe);
  return result;
}

// Runs a command with its standard output into path and its messages discarded; true when it
// succeeds.
inline bool makeFile(const std::string &command, const std::string &path) {
  return std::system(("{ " + command + " ; } > '" + path + "' 2>/dev/null").c_str()) == 0;
}

// True when every named tool is on the PATH (the test is skipped otherwise).
inline bool haveTools(std::initializer_list<const char *> tools) {
  for (const char *tool : tools)
    if (run(std::string("command -v ") + tool).status != 0) return false;
  return true;
}

inline std::vector<uint8_t> readFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
inline void writeFile(const std::string &path, const std::vector<uint8_t> &bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

}  // namespace iotest

#endif
