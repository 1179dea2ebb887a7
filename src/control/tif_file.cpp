// TifFile: opening a plain TIFF through libtiff's public API with the file's messages routed
// to its library state, counting the directories, reading each directory's size and pixel
// depth, and recognising a TIFF-FX document by its ImageLayer tags.
#include "tif_file.h"

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>

#include "tif_page.h"

namespace ctl {
namespace {

// Directories beyond this many are not made into pages (a TIFF page number is 16 bits).
constexpr int32_t kMaxPages = 65535;
// ImageLayer (RFC 2301): the layer and the order of an IFD of a TIFF-FX page.
constexpr uint32_t kImageLayerTag = 34732;

// libtiff's message for one file, as one line of the state's error sink.
int routeMessage(QtzState *state, int32_t code, const char *module, const char *format,
                 va_list args) {
  if (state == nullptr || state->errSink == nullptr || state->errSink->printer == nullptr) return 1;
  char text[512];
  vsnprintf(text, sizeof text, format, args);
  state->errSink->printer(state->errSink->stream, code, "%s: %s", module ? module : "TIFF", text);
  return 1;  // handled: libtiff's global handler is not called
}

int routeError(TIFF *, void *user, const char *module, const char *format, va_list args) {
  return routeMessage(static_cast<QtzState *>(user), QTZ_ERR_CORE, module, format, args);
}

int routeWarning(TIFF *, void *user, const char *module, const char *format, va_list args) {
  return routeMessage(static_cast<QtzState *>(user), QTZ_MSG_WARNING, module, format, args);
}

TIFF *openForReading(QtzState *state, const char *path) {
  TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
  if (options == nullptr) return nullptr;
  TIFFOpenOptionsSetErrorHandlerExtR(options, routeError, state);
  TIFFOpenOptionsSetWarningHandlerExtR(options, routeWarning, state);
  TIFF *tiff = TIFFOpenExt(path, "r", options);
  TIFFOpenOptionsFree(options);
  return tiff;
}

}  // namespace

TifFile::TifFile(const char *path) : path_(path != nullptr ? path : "") {
  if (path == nullptr) return;
  if (Qtz_initQtzState(&state_, nullptr, nullptr, stderr, Qtz_fileErrPrinter, 1, 1) != 0) {
    if (state_ != nullptr) Qtz_cleanupQtzState(&state_);
    return;
  }
  tiff_ = openForReading(state_, path);
  if (tiff_ == nullptr) return;
  // The directories in file order, each read once after the one before (the open read the
  // first): a long chain costs its length, not its length squared, and libtiff stops at a
  // loop.
  for (int32_t i = 0; i < kMaxPages; ++i) {
    pages_.push_back(std::make_unique<TifPage>(this, i));
    if (TIFFReadDirectory(tiff_) != 1) break;
  }
}

TifFile::~TifFile() {
  ReleaseAllPages();
  if (tiff_ != nullptr) TIFFClose(tiff_);
  if (state_ != nullptr) Qtz_cleanupQtzState(&state_);
}

int32_t TifFile::GetPageCount() {
  return static_cast<int32_t>(pages_.size());
}

TfxPage *TifFile::GetPage(int32_t index) {
  return entry(index);
}

bool TifFile::selectDirectory(int32_t index) {
  return tiff_ != nullptr && index >= 0 && index < GetPageCount() &&
         TIFFSetDirectory(tiff_, static_cast<tdir_t>(index)) == 1;
}

LongPair TifFile::GetPageSize(int32_t index) {
  if (!selectDirectory(index)) return LongPair{0, 0};
  uint32_t width = 0, height = 0;
  TIFFGetField(tiff_, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff_, TIFFTAG_IMAGELENGTH, &height);
  return LongPair{width, height};
}

bool TifFile::HasImageLayers() {
  if (!selectDirectory(0)) return false;
  // libtiff keeps a tag it has no name for as an array with its count.
  uint32_t count = 0;
  void *values = nullptr;
  return TIFFGetField(tiff_, kImageLayerTag, &count, &values) == 1 && count != 0;
}

int32_t TifFile::GetBitsPerPixel(int32_t index) {
  if (!selectDirectory(index)) return 0;
  // An absent tag means the TIFF 6.0 default (1 bit, 1 sample).
  uint16_t bits = 0, samples = 0;
  TIFFGetFieldDefaulted(tiff_, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff_, TIFFTAG_SAMPLESPERPIXEL, &samples);
  const int32_t product = int32_t{bits} * samples;
  switch (product) {
    case 1:
    case 4:
    case 8:
    case 24:
    case 32:
      return product;
    default:
      return 0;
  }
}

}  // namespace ctl
