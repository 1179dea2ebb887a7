// TIFF codec table and core-coder hooks: the table of Compression values, the coder
// parameters taken from the directory, and the strip paths that run the image core's CCITT,
// Lossy Dither and PackBits coders straight on a framed image (see tiffcodec.h).
//
// Decoding reads a strip or tile raw (libtiff checks its place in the file; its byte count
// is bounded by the file size before anything is allocated), reverses the bits of each byte
// for FillOrder 2, and decodes with the final flag: every strip is one complete coding run.
// Rows read one at a time continue the strip's run (resumed lines and bits) and start it
// again when an earlier row or another strip is asked for. Encoding fills a raw buffer and
// appends it to the strip (libtiff's raw strip write) each time it fills, resuming the
// coder, so a strip larger than the buffer is still one code stream.
#include "tiffcodec.h"

#include <algorithm>
#include <cstring>

#include "ccitt_workers.h"
#include "pxl_ccitt.h"
#include "pxl_internal.h"
#include "pxl_lossydither.h"
#include "pxl_packbits.h"
#include "pxl_tiff.h"

namespace pxl::tiffcodec {
namespace {

constexpr Codec kCodecs[] = {
    {"Null", 1, Scheme::kLibrary, 0},
    {"LZW", 5, Scheme::kLibrary, 0},
    {"PackBits", 32773, Scheme::kPackBits, 0},
    {"ThunderScan", 32809, Scheme::kLibrary, 0},
    {"NeXT", 32766, Scheme::kLibrary, 0},
    {"JPEG", 6, Scheme::kNotImplemented, 0},
    {"CCITT RLE", 2, Scheme::kMh, 6},
    {"CCITT RLE/W", 32771, Scheme::kMh, 10},
    {"CCITT Group3", 3, Scheme::kMr, 1},
    {"CCITT Group4", 4, Scheme::kMmr, 3},
    {"Lossy Dither", 34670, Scheme::kLossyDither, 0},
    {"JPEG", 7, Scheme::kLibrary, 0},
    {"Deflate", 8, Scheme::kLibrary, 0},
    {"Deflate", 32946, Scheme::kLibrary, 0},
};

constexpr int32_t kWordAlignedOption = 8;
constexpr uint32_t kTwoDimensionalOption = 1;  // Group3Options bit 0
constexpr uint32_t kFillBitsOption = 4;        // Group3Options bit 2
constexpr int64_t kMinRawBuffer = 8 * 1024;
constexpr int64_t kMaxRawBuffer = 1024 * 1024;

bool coreCoder(Scheme scheme) {
  return scheme == Scheme::kMh || scheme == Scheme::kMr || scheme == Scheme::kMmr ||
         scheme == Scheme::kLossyDither || scheme == Scheme::kPackBits;
}

struct Params {
  int32_t width = 0;
  int32_t depth = 1;
  int32_t twoDimensional = 0;
  int32_t k = 0;
  int32_t alignment = PXL_CCITT_ALIGN_NONE;
};

Params readParams(const Coder *c, bool encoding) {
  Params p;
  uint32_t width = 0;
  if (!encoding && TIFFIsTiled(c->tif))
    TIFFGetField(c->tif, TIFFTAG_TILEWIDTH, &width);
  else
    TIFFGetField(c->tif, TIFFTAG_IMAGEWIDTH, &width);
  p.width = width > INT32_MAX ? -1 : static_cast<int32_t>(width);  // the coders refuse -1
  uint16_t bits = 1;
  TIFFGetFieldDefaulted(c->tif, TIFFTAG_BITSPERSAMPLE, &bits);
  p.depth = bits;
  const uint16_t compression = c->codec->compression;
  uint32_t group3 = 0;
  if (compression == COMPRESSION_CCITTFAX3) TIFFGetField(c->tif, TIFFTAG_GROUP3OPTIONS, &group3);
  if (c->codec->options & kWordAlignedOption)
    p.alignment = PXL_CCITT_ALIGN_WORD;
  else if (compression == COMPRESSION_CCITTRLE)
    p.alignment = PXL_CCITT_ALIGN_BYTE;
  else if (compression == COMPRESSION_CCITTFAX3 && (group3 & kFillBitsOption))
    p.alignment = PXL_CCITT_ALIGN_BYTE;
  p.twoDimensional = compression == COMPRESSION_CCITTFAX3 && (group3 & kTwoDimensionalOption);
  if (encoding && p.twoDimensional) {
    float y = 0.0f;
    uint16_t unit = RESUNIT_NONE;
    TIFFGetField(c->tif, TIFFTAG_YRESOLUTION, &y);
    TIFFGetField(c->tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (unit == RESUNIT_CENTIMETER) y *= 2.54f;
    p.k = y > 150.0f ? 4 : 2;
  }
  return p;
}

// The state record's size and set-up for the coder's scheme and direction (the coders'
// inner layer: full width = width + 64; nothing polls or reports here).
int32_t stateSize(Coder *c, const Params &p, bool encoding, int32_t *size) {
  PxlContext *ctx = c->ctx;
  const int32_t full = p.width < 0 ? -1 : p.width + 64;
  switch (c->codec->scheme) {
    case Scheme::kMh:
    case Scheme::kMr:
    case Scheme::kMmr:
      return encoding ? pxlGetCcittEncoderStateSize(ctx, full, size)
                      : pxlGetCcittDecoderStateSize(ctx, full, size);
    case Scheme::kLossyDither:
      return encoding ? pxlGetLossyDitherEncoderStateSize(ctx, full, size)
                      : pxlGetLossyDitherDecoderStateSize(ctx, full, size);
    case Scheme::kPackBits:
      return encoding ? pxlGetPackBitsEncoderStateSize(ctx, full, p.depth, size)
                      : pxlGetPackBitsDecoderStateSize(ctx, size);
    default:
      return PXL_ERR_PARAM;
  }
}

int32_t initState(Coder *c, const Params &p, bool encoding, void *state, int32_t size) {
  PxlContext *ctx = c->ctx;
  const int32_t full = p.width + 64;
  switch (c->codec->scheme) {
    case Scheme::kMh:
    case Scheme::kMr:
    case Scheme::kMmr:
      return encoding ? pxlInitCcittEncoderState(ctx, static_cast<PxlCcittEncoderState *>(state),
                                                 full, p.twoDimensional, p.k, p.alignment, size)
                      : pxlInitCcittDecoderState(ctx, static_cast<PxlCcittDecoderState *>(state),
                                                 full, p.twoDimensional, p.alignment, size);
    case Scheme::kLossyDither:
      return encoding ? pxlInitLossyDitherEncoderState(
                            ctx, static_cast<PxlLossyDitherEncoderState *>(state), full, size)
                      : pxlInitLossyDitherDecoderState(
                            ctx, static_cast<PxlLossyDitherDecoderState *>(state), full, size);
    case Scheme::kPackBits:
      return encoding ? pxlInitPackBitsEncoderState(
                            ctx, static_cast<PxlPackBitsEncoderState *>(state), full, p.depth, size)
                      : pxlInitPackBitsDecoderState(
                            ctx, static_cast<PxlPackBitsDecoderState *>(state), size);
    default:
      return PXL_ERR_PARAM;
  }
}

// Makes the coder state for a direction on first use (the pre-decode and pre-encode step):
// only in direct mode, with the parameters of the directory.
bool prepare(Coder *c, bool encoding) {
  if (!(c->flags & kDirectImage) || !coreCoder(c->codec->scheme)) return false;
  if (c->state != nullptr && c->encoding == encoding) return true;
  freePixels(c->ctx, c->state);
  c->state = nullptr;
  const Params p = readParams(c, encoding);
  int32_t size = 0;
  if (stateSize(c, p, encoding, &size) != PXL_OK || size <= 0) return false;
  void *state = allocPixels(c->ctx, static_cast<size_t>(size));
  if (state == nullptr) return false;
  if (initState(c, p, encoding, state, size) != PXL_OK) {
    freePixels(c->ctx, state);
    return false;
  }
  c->state = state;
  c->encoding = encoding;
  c->width = p.width;
  c->depth = p.depth;
  return true;
}

// True when rows [firstRow, firstRow + rowCount) of the image are rows the state can code:
// a framed single-channel image of the state's width and depth.
bool fits(const Coder *c, const Pixr *image, int32_t firstRow, int32_t rowCount) {
  return image != nullptr && image->channelCount == 1 && image->frame == 32 &&
         image->byteOrder == 0 && image->width == c->width && image->depth == c->depth &&
         firstRow >= 0 && rowCount >= 0 && int64_t{firstRow} + rowCount <= image->height;
}

bool reserveRaw(Coder *c, int64_t size) {
  if (size <= c->rawCapacity) return true;
  void *grown = c->raw == nullptr ? allocPixels(c->ctx, static_cast<size_t>(size))
                                  : resizePixels(c->ctx, c->raw, static_cast<size_t>(size));
  if (grown == nullptr) return false;
  c->raw = static_cast<uint8_t *>(grown);
  c->rawCapacity = size;
  return true;
}

// Reads strip or tile `index` raw into the buffer, in first-bit-most-significant order.
bool loadRaw(Coder *c, uint32_t index, bool tile) {
  c->loaded = -1;
  c->brokenRow = -1;
  const uint64_t count = TIFFGetStrileByteCount(c->tif, index);
  const uint64_t fileSize = TIFFGetSizeProc(c->tif)(TIFFClientdata(c->tif));
  if (count > fileSize || count > static_cast<uint64_t>(INT32_MAX)) {
    pxlTiffReportError(c->ctx, TIFFFileName(c->tif), "Byte count %llu of %s %u exceeds the file",
                       static_cast<unsigned long long>(count), tile ? "tile" : "strip", index);
    return false;
  }
  const auto size = static_cast<tmsize_t>(count);
  if (!reserveRaw(c, std::max<int64_t>(size, 1))) return false;
  const tmsize_t got = tile ? TIFFReadRawTile(c->tif, index, c->raw, size)
                            : TIFFReadRawStrip(c->tif, index, c->raw, size);
  if (got != size || size == 0) return false;  // libtiff reported why
  uint16_t fillOrder = FILLORDER_MSB2LSB;
  TIFFGetFieldDefaulted(c->tif, TIFFTAG_FILLORDER, &fillOrder);
  if (fillOrder == FILLORDER_LSB2MSB) TIFFReverseBits(c->raw, size);
  c->rawCount = size;
  c->rawPosition = 0;
  return true;
}

// Decodes rows [firstRow, firstRow + rowCount) from the unread raw bytes (resume: the rows
// and bits of the last call go on; final: the rows end the strip, so its data ends with them).
int32_t decodeRows(Coder *c, Pixr *image, int32_t firstRow, int32_t rowCount, bool resume,
                   bool final, int32_t *done, int32_t *usedUp, int32_t *consumed) {
  if (!fits(c, image, firstRow, rowCount)) return PXL_ERR_PARAM;
  PxlContext *ctx = c->ctx;
  const uint8_t *input = c->raw + c->rawPosition;
  const auto length = static_cast<int32_t>(c->rawCount - c->rawPosition);
  const int32_t r = resume ? 1 : 0, f = final ? 1 : 0;
  int32_t percent = 0;
  uint8_t *framed = image->framedData;
  const int32_t stride = image->bytesPerRow;
  auto *ccitt = static_cast<PxlCcittDecoderState *>(c->state);
  switch (c->codec->scheme) {
    case Scheme::kMh:
      return pxlDecodeMhLines(ctx, ccitt, framed, firstRow + 32, rowCount, stride, 0, input, length,
                              r, r, f, done, usedUp, &percent, consumed);
    case Scheme::kMr:
      return pxlDecodeMrLines(ctx, ccitt, framed, firstRow + 32, rowCount, stride, 0, input, length,
                              r, r, f, done, usedUp, &percent, consumed);
    case Scheme::kMmr:
      return pxlDecodeMmrLines(ctx, ccitt, framed, firstRow + 32, rowCount, stride, 0, input,
                               length, r, r, f, done, usedUp, &percent, consumed);
    case Scheme::kLossyDither:
      return pxlDecodeLossyDitherLines(ctx, static_cast<PxlLossyDitherDecoderState *>(c->state),
                                       framed, firstRow, rowCount, stride, input, length, r, r, f,
                                       done, usedUp, &percent, consumed);
    case Scheme::kPackBits:
      if (length <= 0) return PXL_ERR_OVERFLOW;
      return pxlDecodePackBitsLines(ctx, static_cast<PxlPackBitsDecoderState *>(c->state), framed,
                                    image->width + 64, 32, firstRow, rowCount, image->depth, stride,
                                    input, length, r, r, f, done, usedUp, &percent, consumed);
    default:
      return PXL_ERR_PARAM;
  }
}

// Clears rows [from, to) of the image (true, for the callers' results).
bool clearRows(Pixr *image, int32_t from, int32_t to) {
  for (int32_t y = from; y < to; ++y)
    std::memset(image->framedData + int64_t{32 + y} * image->bytesPerRow, 0,
                static_cast<size_t>(image->bytesPerRow));
  return true;
}

// Decodes rows [firstRow, firstRow + rowCount) of the loaded strip; `final` says that the
// strip's data ends with them, `wholeStrip` that they end the strip (PackBits must then have
// used all of its bytes).
bool decodeLoaded(Coder *c, Pixr *image, int32_t firstRow, int32_t rowCount, bool resume,
                  bool final, bool wholeStrip) {
  const Scheme scheme = c->codec->scheme;
  const bool fax = scheme == Scheme::kMh || scheme == Scheme::kMr || scheme == Scheme::kMmr;
  // Rows below the break are cleared once: reading row by row asks for the strip's rows again
  // with each new row, and clearing them all each time would cost the square of the strip.
  if (fax && c->brokenRow >= 0) {
    clearRows(image, std::max(firstRow, c->brokenRow), firstRow + rowCount);
    c->brokenRow = std::max(c->brokenRow, firstRow + rowCount);
    return true;
  }
  int32_t done = 0, usedUp = 0, consumed = 0;
  const int32_t status =
      decodeRows(c, image, firstRow, rowCount, resume, final, &done, &usedUp, &consumed);
  if (fax &&
      (status == PXL_ERR_DECODE || status == PXL_ERR_OVERFLOW || (status == PXL_OK && !done))) {
    // Fax data that breaks off inside a strip (an early end of block or return to control,
    // a line that does not decode, data that ends) keeps the rows decoded before the break
    // and leaves the strip's other rows white, as libtiff shows such pages, with a warning.
    // The row it breaks off in keeps the runs decoded before the break.
    auto *s = static_cast<PxlCcittDecoderState *>(c->state);
    c->brokenRow = firstRow + s->linesDone;
    pxlTiffReportWarning(c->ctx, TIFFFileName(c->tif),
                         "%s data breaks off at row %d; the rest up to row %d is white",
                         c->codec->name, c->brokenRow, firstRow + rowCount - 1);
    clearRows(image, c->brokenRow, firstRow + rowCount);
    if (c->brokenRow < firstRow + rowCount) {
      const PxlRowRun *runs = ccitt_detail::codingLine(s);
      uint8_t *row = image->framedData + int64_t{32 + c->brokenRow} * image->bytesPerRow + 4;
      if (ccitt_detail::paintLine(s, row, runs, runs + s->codingIndex, 0) != PXL_OK)
        clearRows(image, c->brokenRow, c->brokenRow + 1);
      c->brokenRow++;
    }
    c->brokenRow = std::max(c->brokenRow, firstRow + rowCount);
    return true;
  }
  if (status != PXL_OK) {
    c->loaded = -1;
    return false;
  }
  c->rawPosition += consumed;
  if (!done) return false;
  return c->codec->scheme != Scheme::kPackBits || !wholeStrip || usedUp;
}

uint32_t rowsPerStrip(TIFF *tif) {
  uint32_t rows = 0;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rows);
  return rows == 0 ? 1 : rows;
}

// Encodes rows into the raw buffer behind what it holds; the coder's out-parameters.
int32_t encodeRows(Coder *c, Pixr *image, int32_t firstRow, int32_t rowCount, bool resume,
                   int32_t *done, int32_t *written) {
  if (!fits(c, image, firstRow, rowCount)) return PXL_ERR_PARAM;
  PxlContext *ctx = c->ctx;
  uint8_t *output = c->raw + c->rawCount;
  const auto room = static_cast<int32_t>(c->rawCapacity - c->rawCount);
  const int32_t r = resume ? 1 : 0;
  int32_t full = 0, percent = 0;
  const uint8_t *framed = image->framedData;
  const int32_t fullWidth = image->width + 64, stride = image->bytesPerRow, row = firstRow + 32;
  auto *ccitt = static_cast<PxlCcittEncoderState *>(c->state);
  switch (c->codec->scheme) {
    case Scheme::kMh:
      return pxlEncodeMhLines(ctx, ccitt, framed, fullWidth, row, rowCount, stride, output, room, r,
                              r, 0, done, &full, &percent, written);
    case Scheme::kMr:
      return pxlEncodeMrLines(ctx, ccitt, framed, fullWidth, row, rowCount, stride, output, room, r,
                              r, done, &full, &percent, written);
    case Scheme::kMmr:
      return pxlEncodeMmrLines(ctx, ccitt, framed, fullWidth, row, rowCount, stride, output, room,
                               r, r, done, &full, &percent, written);
    case Scheme::kLossyDither:
      return pxlEncodeLossyDitherLines(ctx, static_cast<PxlLossyDitherEncoderState *>(c->state),
                                       framed, fullWidth, row, rowCount, stride, output, room, r, r,
                                       done, &full, &percent, written);
    case Scheme::kPackBits:
      return pxlEncodePackBitsLines(ctx, static_cast<PxlPackBitsEncoderState *>(c->state), framed,
                                    fullWidth, row, rowCount, image->depth, stride, output, room, r,
                                    r, 0, 0, done, &full, &percent, written, nullptr);
    default:
      return PXL_ERR_PARAM;
  }
}

// Appends the buffer's bytes to the strip; false when the file write failed.
bool flushRaw(Coder *c, uint32_t strip) {
  if (c->rawCount == 0) return true;
  const tmsize_t count = static_cast<tmsize_t>(c->rawCount);
  c->rawCount = 0;
  return TIFFWriteRawStrip(c->tif, strip, c->raw, count) == count;
}

// Runs one closing code (EOL or padding) until it fits, flushing the buffer whenever it is
// full: 1, 0 (coder failure) or -1 (write failure).
template <typename Closing>
int writeClosing(Coder *c, uint32_t strip, Closing closing) {
  for (;;) {
    if (c->rawCount == c->rawCapacity && !flushRaw(c, strip)) return -1;
    int32_t written = 0;
    const int32_t status =
        closing(c->raw + c->rawCount, static_cast<int32_t>(c->rawCapacity - c->rawCount), &written);
    c->rawCount += written;
    if (status == PXL_OK) return 1;
    if (status != PXL_ERR_OVERFLOW || c->rawCount == 0) return 0;
    if (!flushRaw(c, strip)) return -1;
  }
}

// The end of a strip (the post-encode step).
int closeStrip(Coder *c, uint32_t strip) {
  PxlContext *ctx = c->ctx;
  auto *ccitt = static_cast<PxlCcittEncoderState *>(c->state);
  auto *dither = static_cast<PxlLossyDitherEncoderState *>(c->state);
  auto eol = [&](uint8_t *out, int32_t room, int32_t *written) {
    return pxlWriteCcittEolRaw(ctx, ccitt, PXL_CCITT_ALIGN_NONE, 0, out, room, written);
  };
  auto pad = [&](uint8_t *out, int32_t room, int32_t *written) {
    return pxlFlushCcittEncoderRaw(ctx, ccitt, out, room, written);
  };
  auto ditherEol = [&](uint8_t *out, int32_t room, int32_t *written) {
    return pxlWriteLossyDitherEolRaw(ctx, dither, out, room, written);
  };
  auto ditherPad = [&](uint8_t *out, int32_t room, int32_t *written) {
    return pxlFlushLossyDitherEncoderRaw(ctx, dither, out, room, written);
  };
  int result = 1;
  switch (c->codec->scheme) {
    case Scheme::kMmr:
      for (int i = 0; i < 2 && result == 1; ++i) result = writeClosing(c, strip, eol);
      return result == 1 ? writeClosing(c, strip, pad) : result;
    case Scheme::kMr:
    case Scheme::kMh:  // rows end aligned: the padding only writes the bytes still held
      return writeClosing(c, strip, pad);
    case Scheme::kLossyDither:
      for (int i = 0; i < 2 && result == 1; ++i) result = writeClosing(c, strip, ditherEol);
      return result == 1 ? writeClosing(c, strip, ditherPad) : result;
    default:
      return 1;
  }
}

}  // namespace

const Codec *findCodec(uint32_t compression) {
  for (const Codec &codec : kCodecs)
    if (codec.compression == compression) return &codec;
  return nullptr;
}

Coder::~Coder() {
  cleanUp(this);
}

bool setUp(Coder *c, PxlContext *ctx, TIFF *tif) {
  cleanUp(c);
  c->ctx = ctx;
  c->tif = tif;
  uint16_t compression = COMPRESSION_NONE;
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
  c->codec = findCodec(compression);
  if (c->codec == nullptr) {
    pxlTiffReportError(ctx, TIFFFileName(tif), "Unknown data compression algorithm %u (0x%x)",
                       compression, compression);
    return false;
  }
  if (coreCoder(c->codec->scheme)) c->flags |= kDirectEncode | kDirectDecode;
  return true;
}

void cleanUp(Coder *c) {
  if (c->ctx != nullptr) {
    freePixels(c->ctx, c->state);
    freePixels(c->ctx, c->raw);
  }
  c->state = nullptr;
  c->raw = nullptr;
  c->rawCapacity = c->rawCount = c->rawPosition = 0;
  c->loaded = -1;
  c->flags &= ~(kDirectEncode | kDirectDecode);
}

void reportNotImplemented(Coder *c, const char *method) {
  pxlTiffReportError(c->ctx, TIFFFileName(c->tif), "%s %s decoding is not implemented",
                     c->codec->name, method);
}

bool decodeStrip(Coder *c, uint32_t strip, Pixr *image) {
  if (!prepare(c, false)) return false;
  const int64_t rows = rowsPerStrip(c->tif);
  const int64_t first = int64_t{strip} * rows;
  if (first >= image->height || !loadRaw(c, strip, false)) return false;
  const auto count = static_cast<int32_t>(std::min<int64_t>(rows, image->height - first));
  return decodeLoaded(c, image, static_cast<int32_t>(first), count, false, true, true);
}

bool decodeTile(Coder *c, uint32_t tile, Pixr *image) {
  if (!prepare(c, false) || !loadRaw(c, tile, true)) return false;
  uint32_t tileLength = 0;
  TIFFGetField(c->tif, TIFFTAG_TILELENGTH, &tileLength);
  // The tile may be longer than the image: only the image's rows are decoded.
  const auto count = static_cast<int32_t>(std::min<int64_t>(tileLength, image->height));
  return decodeLoaded(c, image, 0, count, false, true, count == int64_t{tileLength});
}

bool decodeRow(Coder *c, uint32_t row, Pixr *image) {
  if (!prepare(c, false) || row >= static_cast<uint32_t>(image->height)) return false;
  const int64_t rows = rowsPerStrip(c->tif);
  const int64_t strip = row / rows;
  if (c->loaded != strip || row < static_cast<uint32_t>(c->loadedRow + c->rowsDone)) {
    if (!loadRaw(c, static_cast<uint32_t>(strip), false)) return false;
    c->loaded = strip;
    c->loadedRow = static_cast<int32_t>(strip * rows);
    c->rowsDone = 0;
  }
  const int32_t count = static_cast<int32_t>(row) - c->loadedRow + 1;
  const int64_t stripEnd = std::min<int64_t>(c->loadedRow + rows, image->height);
  const bool last = row + 1 == stripEnd;
  if (!decodeLoaded(c, image, c->loadedRow, count, c->rowsDone > 0, last, last)) return false;
  c->rowsDone = count;
  return true;
}

int encodeStrip(Coder *c, uint32_t strip, Pixr *image, int32_t firstRow, int32_t rowCount) {
  if (!prepare(c, true)) return 0;
  const int64_t wanted =
      c->rawSize > 0 ? c->rawSize
                     : std::clamp<int64_t>(TIFFStripSize64(c->tif), kMinRawBuffer, kMaxRawBuffer);
  if (!reserveRaw(c, wanted)) return 0;
  c->rawCount = 0;
  for (bool resume = false;; resume = true) {
    if (c->rawCount == c->rawCapacity && !flushRaw(c, strip)) return -1;
    int32_t done = 0, written = 0;
    if (encodeRows(c, image, firstRow, rowCount, resume, &done, &written) != PXL_OK) return 0;
    c->rawCount += written;
    if (done) break;
    if (c->rawCount == 0) return 0;  // no progress in an empty buffer
    if (!flushRaw(c, strip)) return -1;
  }
  const int closed = closeStrip(c, strip);
  if (closed != 1) return closed;
  return flushRaw(c, strip) ? 1 : -1;
}

}  // namespace pxl::tiffcodec
