// Error layer of the image primitives: the error context {status, mode, handler} (one per
// thread), the header validator with its fixed negative statuses (first failing check wins,
// a failure also stored as the current status), the report entry and the status texts.
//
// The validator adds one check to the classic list: an untiled image's row step must cover the
// payload of a row (-32); data sizes are not compared with rows x step, since views of larger
// images are legal. A mask's own fault is its status less 100; a chain of masks deeper than
// a few levels is refused as a bad state.
#include <cstring>

#include "imp_internal.h"

namespace {

// One context per thread, as the C library's errno: controls drawing on separate threads
// each read the outcome of their own calls.
thread_local ImpErrorContext context{0, 0, ownDefaultErrorHandler};

constexpr int kMaxMaskDepth = 4;

int32_t validate(const ImpImageHeader *im, int maskDepth) {
  if (im == nullptr) return IMP_STS_NULL_HEADER;
  if ((im->imageData == nullptr) == (im->tileInfo == nullptr)) return IMP_STS_NO_DATA;
  if (im->tileInfo == nullptr) {
    if (im->dataSize <= 0) return IMP_STS_BAD_SIZE;
    if (im->widthStep <= 0) return IMP_STS_BAD_STEP;
  }
  if (im->width <= 0 || im->height <= 0) return IMP_STS_BAD_SIZE;
  if (im->nChannels <= 0) return IMP_STS_BAD_CHANNELS;
  if (im->depth == IMP_DEPTH_1U && im->nChannels != 1) return IMP_STS_BAD_1U_CHANNELS;
  if (!imp::isKnownDepth(im->depth)) return IMP_STS_BAD_DEPTH;
  if (im->alphaChannel != 0 && im->alphaChannel != im->nChannels) return IMP_STS_BAD_ALPHA;
  if (im->dataOrder != 0 && im->dataOrder != 1) return IMP_STS_BAD_ORDER;
  if (im->origin != 0 && im->origin != 1) return IMP_STS_BAD_ORIGIN;
  const int32_t a = im->alignment;
  if (a != 4 && a != 8 && a != 16 && a != 32) return IMP_STS_BAD_ALIGNMENT;
  if (im->tileInfo == nullptr && im->widthStep < imp::rowPayloadBytes(*im, im->width))
    return IMP_STS_SHORT_STEP;
  if (const ImpImageHeader *m = im->maskROI) {
    if (m->depth != IMP_DEPTH_1U) return IMP_STS_BAD_DEPTH + IMP_STS_MASK;
    if (m->tileInfo != nullptr) return IMP_STS_TILED_MASK;
    if (maskDepth >= kMaxMaskDepth) return IMP_STS_BAD_STATE;
    const int32_t st = validate(m, maskDepth + 1);
    if (st != 0) return st + IMP_STS_MASK;
  }
  if (const ImpTileInfoRecord *t = im->tileInfo) {
    if (t->callBack == nullptr) return IMP_STS_NO_CALLBACK;
    if (t->width <= 0 || t->height <= 0 || t->width % 8 != 0 || t->height % 8 != 0)
      return IMP_STS_BAD_TILE_SIZE;
  }
  if (const ImpRoiRecord *r = im->roi) {
    if (r->coi < 0 || r->coi > im->nChannels) return IMP_STS_BAD_COI;
    if (r->width <= 0 || r->height <= 0) return IMP_STS_BAD_ROI_SIZE;
    if (r->xOffset < 0 || r->yOffset < 0) return IMP_STS_BAD_ROI_OFFSET;
  }
  return 0;
}

const char *baseText(int32_t status) {
  switch (status) {
    case 0:
      return "No Error";
    case -1:
      return "Backtrace";
    case -3:
      return "Internal error (bad state)";
    case -4:
      return "Insufficient memory";
    case -5:
      return "Bad argument";
    case -6:
      return "Unsupported function";
    case -7:
      return "Iteration convergence failed";
    case -8:
      return "Autotrace call";
    case -9:
      return "Null pointer to an image header";
    case -10:
      return "Incorrect image size";
    case -11:
      return "Incorrect offset of ROI of the image";
    case -12:
      return "Image must be tiled or must have nonzero data pointer";
    case -13:
      return "Incorrect widthStep of the image";
    case -14:
      return "Incorrect Color model or channel sequence of the image";
    case -15:
      return "Incorrect number of channels in the image";
    case -16:
      return "Number of channels for 1U depth image must be one";
    case -17:
      return "Incorrect depth value in the image header";
    case -18:
      return "Incorrect alpha channel number in the image header";
    case -19:
      return "Incorrect data order value in the image header";
    case -20:
      return "Incorrect data origin value in the image header";
    case -21:
      return "Incorrect data alignment value in the image header";
    case -22:
      return "Null pointer to callback function";
    case -23:
      return "Incorrect size of the tile";
    case -24:
      return "Incorrect COI of the image";
    case -25:
      return "Incorrect size of ROI in the image header";
    case -26:
      return "Mask image is tiled";
    case -27:
      return "Null pointer";
    case -28:
      return "Incorrect vector length";
    case -29:
      return "Incorrect filter structure content";
    case -30:
      return "Incorrect transform kernel content";
    case -31:
      return "Incorrect filter offset value";
    case -32:
      return "Row step of the image shorter than its row of pixels";
    default:
      return nullptr;
  }
}

// Statuses of a mask header's own faults (its status less 100).
bool isMaskStatus(int32_t status) {
  switch (status) {
    case -110:
    case -111:
    case -112:
    case -113:
    case -114:
    case -115:
    case -116:
    case -117:
    case -118:
    case -119:
    case -120:
    case -121:
    case -124:
    case -125:
    case -132:
      return true;
    default:
      return false;
  }
}

}  // namespace

ImpErrorContext *ownGetErrorContext() {
  return &context;
}
int32_t ownGetErrorStatus() {
  return context.status;
}
void ownSetErrorStatus(int32_t status) {
  context.status = status;
}
int32_t ownGetErrorMode() {
  return context.mode;
}

int32_t ownValidateImageHeader(const ImpImageHeader *image) {
  const int32_t st = validate(image, 0);
  if (st != 0) context.status = st;
  return st;
}

int32_t ownReportError(int32_t status, const char *funcName, const char *contextText,
                       const char *file, int32_t line) {
  if (status != IMP_STS_BACKTRACE && status != IMP_STS_AUTOTRACE) {
    context.status = status;
    if (status == 0) return 0;
  }
  return context.handler(status, funcName, contextText, file, line);
}

int32_t ownDefaultErrorHandler(int32_t status, const char *, const char *, const char *, int32_t) {
  return status;
}

const char *ownGetStatusText(int32_t status) {
  if (isMaskStatus(status)) {
    // "Mask. " and the text of the status plus 100, built once per status.
    static const auto texts = [] {
      struct Table {
        char text[33][80];
      } t{};
      for (int32_t s = 0; s < 33; ++s)
        if (const char *base = baseText(-s)) {
          std::strcpy(t.text[s], "Mask. ");
          std::strncat(t.text[s], base, sizeof t.text[s] - 7);
        }
      return t;
    }();
    return texts.text[-(status + 100)];
  }
  const char *text = baseText(status);
  return text != nullptr && status != -2 ? text : "Unknown error or status code";
}
