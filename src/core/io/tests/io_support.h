// Test support of the file-format tests over the test kit: a tracked context whose report and
// message lines are collected (optionally without a message callback), and making files with
// outside programs.
#ifndef NORV_TEST_IO_SUPPORT_H
#define NORV_TEST_IO_SUPPORT_H

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "pxl_tiff.h"

#include "testkit_context.h"
#include "testkit_files.h"
#include "testkit_image.h"
#include "testkit_pnm.h"
#include "testkit_tools.h"

namespace iotest {

using norvtest::OwnedImage;
using norvtest::readFile;
using norvtest::TempDir;
using norvtest::writeFile;

struct Context {
  norvtest::TrackedContext tracked;
  PxlContext *ctx;
  std::vector<std::string> &lines;
  explicit Context(bool withCallback = true) : ctx(tracked.get()), lines(tracked.tracker.reports) {
    if (!withCallback) pxlSetMessageCallback(ctx, nullptr, nullptr);
  }
};

// Runs a command with its standard output into path and its messages discarded; true when it
// succeeds.
inline bool makeFile(const std::string &command, const std::string &path) {
  return norvtest::runTool("{ " + command + " ; } > " + norvtest::shellQuote(path) + " 2>/dev/null")
             .status == 0;
}

// True when every named tool is on the PATH (the test is skipped otherwise).
inline bool haveTools(std::initializer_list<const char *> tools) {
  for (const char *tool : tools)
    if (!norvtest::toolAvailable(tool)) return false;
  return true;
}

// Runs read(file) over the bytes through a memory stream; -1 when no stream can be made.
template <typename Read>
int32_t readMemory(const std::vector<uint8_t> &bytes, Read read) {
  FILE *file = fmemopen(const_cast<uint8_t *>(bytes.data()), bytes.size(), "rb");
  if (file == nullptr) return -1;
  const int32_t status = read(file);
  std::fclose(file);
  return status;
}

// Pixels of a single-channel image whose colour, colour(value) as red, green, blue, differs
// from the reference PPM's; -1 when the sizes differ.
template <typename Colour>
long colourDifferences(const Pixr *image, const norvtest::Pnm &ref, Colour colour) {
  if (ref.kind != '6' || image->width != ref.width || image->height != ref.height) return -1;
  long bad = 0;
  for (int y = 0; y < ref.height; ++y)
    for (int x = 0; x < ref.width; ++x) {
      const std::array<uint8_t, 3> got = colour(norvtest::pixel(image, x, y));
      bad += std::memcmp(got.data(), ref.row(y) + 3 * x, 3) != 0;
    }
  return bad;
}

// Runs read(ctx, &image) -> status with every allocation failing in turn (each failed run
// must give 1) and every poll aborting in turn (77), checking that a failed run hands out no
// image; each loop must have failed at least once.
template <typename Read>
void expectFailureLoops(norvtest::ContextTracker &tr, PxlContext *ctx, Read read) {
  auto attempt = [&] {
    Pixr *image = nullptr;
    const int32_t status = read(ctx, &image);
    EXPECT_TRUE(status == 0 || image == nullptr);
    pxlDestroyImage(ctx, &image);
    return status;
  };
  EXPECT_GE(norvtest::failAtEveryAllocation(tr, 1, attempt), 1);
  EXPECT_GE(norvtest::abortAtEveryPoll(tr, 77, attempt), 1);
}

// A TIFF file in memory over client procedures: writes fail once `limit` bytes would be
// passed, and the close procedure fails when closeFails is set.
struct MemoryFile {
  std::vector<uint8_t> bytes;
  size_t position = 0;
  size_t limit = SIZE_MAX;
  int closes = 0;

  static MemoryFile *of(thandle_t h) { return static_cast<MemoryFile *>(h); }
  static tmsize_t read(thandle_t h, void *buffer, tmsize_t count) {
    MemoryFile *f = of(h);
    size_t n = std::min<size_t>(count, f->bytes.size() - std::min(f->position, f->bytes.size()));
    std::memcpy(buffer, f->bytes.data() + f->position, n);
    f->position += n;
    return static_cast<tmsize_t>(n);
  }
  static tmsize_t write(thandle_t h, void *buffer, tmsize_t count) {
    MemoryFile *f = of(h);
    if (f->position + count > f->limit) return -1;
    if (f->bytes.size() < f->position + count) f->bytes.resize(f->position + count);
    std::memcpy(f->bytes.data() + f->position, buffer, count);
    f->position += count;
    return count;
  }
  static toff_t seek(thandle_t h, toff_t offset, int whence) {
    MemoryFile *f = of(h);
    if (whence == SEEK_SET) f->position = offset;
    if (whence == SEEK_CUR) f->position += offset;
    if (whence == SEEK_END) f->position = f->bytes.size() + offset;
    return f->position;
  }
  bool closeFails = false;
  static int close(thandle_t h) { return ++of(h)->closes, of(h)->closeFails ? -1 : 0; }
  static toff_t size(thandle_t h) { return of(h)->bytes.size(); }

  TIFF *open(PxlContext *ctx, const char *mode) {
    return pxlTiffClientOpen(ctx, "memory", mode, this, read, write, seek, close, size, nullptr,
                             nullptr);
  }
};

}  // namespace iotest

#endif
