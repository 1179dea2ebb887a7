// The three option setters of the encoder state. Every argument is a pointer; a null pointer
// keeps its option. Each setter first checks every value it is given and refuses the whole call
// with 2 (reported once through the record's library state) when one of them cannot work: page
// counts between flushes or per section below 1 (a remainder by zero later), a resolution
// override other than -1 or a positive value, a background resolution below 1, a JPEG scale that
// is not a finite positive number, shift trials outside the classifier's table (0 to 24), a
// negative dilation radius. Only then are the values stored, in the order the options depend on
// one another (the memory code's adjustment sees the new halftone flag and output mode).
#include <cmath>

#include "norv_enc.h"
#include "qtz_internal.h"

namespace {

constexpr int32_t kNoSymbolMatchingSize = 0xFFFFFF;
constexpr int32_t kMaxShiftTrials = 24;

// Letters of the orientation text: down, up, left, right.
int32_t orientationOf(char letter, int32_t current) {
  switch (letter) {
    case 'D':
    case 'd':
      return 0;
    case 'U':
    case 'u':
      return 1;
    case 'L':
    case 'l':
      return 2;
    case 'R':
    case 'r':
      return 3;
    default:
      return current;
  }
}

// The dictionary memory limit in bytes for a code, lowered by what the JBIG2 output keeps
// besides the dictionaries.
int32_t memoryLimitFor(int32_t code, const NorvEncState *enc) {
  int32_t limit = enc->dictionaryMemoryLimit;
  if (code == 1)
    limit = 1024000;
  else if (code == 2)
    limit = 2048000;
  else if (code != -1)
    limit = 32768000;
  if (limit > 0) {
    limit -= enc->outputMode == 2 ? 8192 : 9216;
    if (enc->jbig2Halftones != 0) limit -= 1024;
  }
  return limit;
}

bool positiveIfGiven(const int32_t *value) {
  return value == nullptr || *value > 0;
}

template <typename T>
void setIfGiven(T &field, const T *value) {
  if (value != nullptr) field = *value;
}

int32_t refuse(const NorvEncState *enc) {
  return qtz::report(enc->docState, QTZ_ERR_PARAM);
}

}  // namespace

extern "C" int32_t norv_setGeneralEncOptions(
    NorvEncState *enc, const uint8_t *g1, const uint8_t *g2, const int32_t *g3, const int32_t *g4,
    const char *const *g5, const int32_t *g6, const int32_t *g7, const uint8_t *g8,
    const uint8_t *g9, const uint8_t *g10, const int32_t *g11, const uint8_t *g12,
    const uint8_t *g13, const int32_t *g14, const int32_t *g15, const uint8_t *g16,
    const uint8_t *g17, const uint8_t *g18) {
  if (enc == nullptr) return QTZ_ERR_PARAM;
  if ((g4 != nullptr && *g4 != -1 && *g4 < 1) || !positiveIfGiven(g14) || !positiveIfGiven(g15))
    return refuse(enc);
  setIfGiven(enc->writePdf, g18);
  setIfGiven(enc->quiet, g12);
  if (g13 != nullptr) {
    enc->noSymbolMatching = *g13;
    if (*g13 != 0) enc->smallTokenSize = kNoSymbolMatchingSize;
  }
  if (g1 != nullptr) {
    enc->jbig2Halftones = *g1;
    enc->docJbig2Halftones = *g1;
  }
  setIfGiven(enc->deskewTokens, g2);
  if (g4 != nullptr) {
    enc->resolutionOverride = *g4;
    // -1 (no override) is no resolution for pages without one.
    if (*g4 > 0) enc->defaultDpi = *g4;
  }
  if (g5 != nullptr && *g5 != nullptr) enc->orientation = orientationOf(**g5, enc->orientation);
  if (g3 != nullptr) enc->deskewPrecision = *g3 < 0 ? 0 : *g3 > 5 ? 5 : *g3;
  if (g6 != nullptr) enc->quarterTurns = ((*g6 % 4) + 4) % 4;
  setIfGiven(enc->outputMode, g7);
  setIfGiven(enc->pageDictFlagOff, g8);
  if (g9 != nullptr) enc->tenthLimit = *g9 == 0 ? 1 : 0;
  if (g10 != nullptr) {
    enc->verbose = *g10;
    enc->docVerbose = *g10;
  }
  if (g11 != nullptr) enc->dictionaryMemoryLimit = memoryLimitFor(*g11, enc);
  setIfGiven(enc->flushPages, g14);
  setIfGiven(enc->sectionPages, g15);
  setIfGiven(enc->greyTemplates, g16);
  setIfGiven(enc->writeRawJbig2, g17);
  return QTZ_OK;
}

extern "C" int32_t norv_setJpegOptions(NorvEncState *enc, const int32_t *j1, const int32_t *j2,
                                       const float *j3) {
  if (enc == nullptr) return QTZ_ERR_PARAM;
  if (!positiveIfGiven(j2) || (j3 != nullptr && !(std::isfinite(*j3) && *j3 > 0.0f)))
    return refuse(enc);
  if (j1 != nullptr) {
    enc->jpegQualityCopy = *j1;
    enc->jpegQuality = *j1;
  }
  setIfGiven(enc->backgroundDpi, j2);
  setIfGiven(enc->jpegScale, j3);
  return QTZ_OK;
}

extern "C" int32_t norv_setTokenOptions(NorvEncState *enc, const int32_t *t1, const float *t2,
                                        const int32_t *t3, const int32_t *t4, const int32_t *t5,
                                        const int32_t *t6, const int32_t *t7, const int32_t *t8,
                                        const int32_t *t9, const int32_t *t10, const int32_t *t11,
                                        const int32_t *t12, const float *t13, const int32_t *t14,
                                        const int32_t *t15, const int32_t *t16) {
  if (enc == nullptr) return QTZ_ERR_PARAM;
  if ((t10 != nullptr && (*t10 < 0 || *t10 > kMaxShiftTrials)) || (t14 != nullptr && *t14 < 0))
    return refuse(enc);
  if (t16 != nullptr) {
    enc->componentSizeLimit = *t16;
    enc->docComponentSizeLimit = *t16;
  }
  setIfGiven(enc->tokenOption1, t1);
  setIfGiven(enc->matchFraction, t2);
  setIfGiven(enc->maxClusterErrors, t3);
  setIfGiven(enc->widthRadius, t4);
  setIfGiven(enc->heightRadius, t5);
  setIfGiven(enc->freezeCount, t6);
  setIfGiven(enc->accumulateLimit, t7);
  setIfGiven(enc->countTemplateMinimum, t8);
  setIfGiven(enc->countImageMinimum, t9);
  setIfGiven(enc->shiftTrials, t10);
  setIfGiven(enc->errorOffset, t11);
  setIfGiven(enc->errorKnee, t12);
  setIfGiven(enc->errorSlope, t13);
  setIfGiven(enc->dilationRadius, t14);
  if (t15 != nullptr)
    enc->smallTokenSize = enc->noSymbolMatching != 0 ? kNoSymbolMatchingSize : *t15;
  return QTZ_OK;
}
