// The stream printer's exact lines for each kind of code, and the assertion printer's line
// (which must return to its caller).
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "qtz_err.h"
#include "testkit_state.h"

namespace {

struct PrinterCase {
  const char *name;
  std::function<void(FILE *)> print;
  const char *expected;
};

TEST(FileErrPrinter, WritesPrefixFormattedTextAndNewline) {
  const PrinterCase cases[] = {
      {"error with table text",
       [](FILE *f) { Qtz_fileErrPrinter(f, 118, "%s", Qtz_getErrStr(118)); },
       "Error 118 -- Unexpected NULL pointer\n"},
      {"warning without text", [](FILE *f) { Qtz_fileErrPrinter(f, QTZ_MSG_WARNING, nullptr); },
       "Warning -- \n"},
      {"report with arguments",
       [](FILE *f) { Qtz_fileErrPrinter(f, QTZ_MSG_REPORT, "page %d of %s", 3, "doc.tfx"); },
       "Report -- page 3 of doc.tfx\n"},
      {"undefined code is an error",
       [](FILE *f) { Qtz_fileErrPrinter(f, -1, "%s", Qtz_getErrStr(-1)); },
       "Error -1 -- Undefined error\n"},
      {"trailing blank kept",
       [](FILE *f) { Qtz_fileErrPrinter(f, 10012, "%s", Qtz_getErrStr(10012)); },
       "Error 10012 -- Jpeg6b : Corrupt input data. \n"},
      {"error without text", [](FILE *f) { Qtz_fileErrPrinter(f, 7, nullptr); }, "Error 7 -- \n"},
  };
  for (const auto &c : cases) {
    norvtest::CapturedStream out;
    c.print(out.file());
    EXPECT_EQ(out.text(), c.expected) << c.name;
  }
}

TEST(FileErrPrinter, NullStreamWritesNothingAndReturns) {
  Qtz_fileErrPrinter(nullptr, 118, "%s", "ignored");
  Qtz_fileErrPrinter(nullptr, QTZ_MSG_REPORT, nullptr);
}

TEST(AssertPrinter, WritesOneLineToStderrAndReturns) {
  testing::internal::CaptureStderr();
  Qtz_voidAssertPrinter("list.cpp", "node != NULL", 42, "walking the list");
  Qtz_voidAssertPrinter(nullptr, nullptr, -1, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Assert Failure, \"list.cpp\", line 42, node != NULL -- (walking the list)\n"
            "Assert Failure, \"(null)\", line -1, (null) -- ((null))\n");
}

}  // namespace
