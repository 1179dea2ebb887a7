// The one report helper of the image primitives: each operation names itself and its source
// unit once (a constexpr Source) and reports every refusal through the error layer with the
// failed condition and the line; header checks report the validator's status with
// "Incorrect Image".
#ifndef IMP_REPORT_INTERNAL_H
#define IMP_REPORT_INTERNAL_H

#include <cstdint>

#include "imp_image.h"

namespace imp {

// An operation's name and source unit, for its reports.
struct Source {
  const char *func;
  const char *file;
  int32_t report(int32_t status, const char *text, int32_t line) const {
    return ownReportError(status, func, text, file, line);
  }
  // A header check: reports the validator's status with "Incorrect Image"; returns it.
  int32_t checkHeader(const ImpImageHeader *im, int32_t line) const {
    const int32_t st = ownValidateImageHeader(im);
    if (st != 0) report(st, "Incorrect Image", line);
    return st;
  }
};

}  // namespace imp

#endif
