// Failure reports and log lines of the JBIG2 library through the state's error sink.
#include "jbig2_report.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

void emit(const QtzState *state, int32_t code, const char *format, va_list args) {
  if (state == nullptr || state->errSink == nullptr || state->errSink->printer == nullptr) return;
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  qtz::reportText(state, code, text);
}

}  // namespace

int32_t jbReport(const QtzState *state, int32_t code, const char *format, ...) {
  va_list args;
  va_start(args, format);
  emit(state, code, format, args);
  va_end(args);
  return code;
}

void jbLog(const QtzState *state, bool verbose, const char *format, ...) {
  if (!verbose) return;
  va_list args;
  va_start(args, format);
  emit(state, QTZ_MSG_REPORT, format, args);
  va_end(args);
}
