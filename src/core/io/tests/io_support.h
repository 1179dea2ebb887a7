// Test support of the file-format tests over the test kit: a tracked context whose report and
// message lines are collected (optionally without a message callback), and making files with
// outside programs.
#ifndef NORV_TEST_IO_SUPPORT_H
#define NORV_TEST_IO_SUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testkit_context.h"
#include "testkit_files.h"
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

}  // namespace iotest

#endif
