// The message printers: Qtz_fileErrPrinter, the printer that callers install in a state's
// error sink, writes one line per report to a C stdio stream; Qtz_voidAssertPrinter writes an
// assertion line to the standard error stream.
//
// A report line is a prefix chosen by the code ("Report -- " for log lines, "Warning -- " for
// warnings, "Error <code> -- " for failures), the printf-formatted text and a newline. The
// assertion printer returns to its caller: the library runs inside host processes, which it
// must not end.
#include <cstdarg>
#include <cstdio>

#include "qtz_err.h"

namespace {

const char *orNull(const char *text) {
  return text != nullptr ? text : "(null)";
}

}  // namespace

extern "C" {

void Qtz_fileErrPrinter(void *stream, int32_t code, const char *format, ...) {
  if (stream == nullptr) return;
  auto *file = static_cast<FILE *>(stream);
  if (code == QTZ_MSG_REPORT) {
    std::fputs("Report -- ", file);
  } else if (code == QTZ_MSG_WARNING) {
    std::fputs("Warning -- ", file);
  } else {
    std::fprintf(file, "Error %d -- ", static_cast<int>(code));
  }
  if (format != nullptr) {
    va_list args;
    va_start(args, format);
    std::vfprintf(file, format, args);
    va_end(args);
  }
  std::fputc('\n', file);
}

void Qtz_voidAssertPrinter(const char *first, const char *second, int32_t line,
                           const char *fourth) {
  std::fprintf(stderr, "Assert Failure, \"%s\", line %d, %s -- (%s)\n", orNull(first),
               static_cast<int>(line), orNull(second), orNull(fourth));
}

}  // extern "C"
