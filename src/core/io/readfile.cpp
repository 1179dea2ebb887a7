// Detection of an image file's type from its first bytes, the raw PNM reader, and reading
// any supported image file.
//
// Detection: the tests run in a fixed order and the first match wins: a 32-byte Sun raster
// header decides alone (its type field says standard, byte-encoded or unknown); otherwise the
// first two bytes are matched against PostScript, BMP, TIFF, PCX and PNM signatures. Files
// shorter than two bytes are unknown.
//
// PNM (pxlReadPnm): "P<n>", then width and height (P4) or width, height and maximum (P5, P6)
// as decimal numbers after white space, then exactly one white-space byte. A '#' where white
// space may stand starts a comment that runs to the end of its line and counts as white space
// (also as the one byte after the last number), as netpbm reads headers. P4 gives a 1-bit image
// (file bit 1 = set pixel), P5 a 2-, 4- or 8-bit image by its maximum (0-3, 4-15, 16-255; above:
// 102), P6 three 8-bit channels red, green, blue (maximum above 255: 8). Samples are stored as
// read, not scaled or inverted; 2- and 4-bit samples are masked to their depth. Other variants
// succeed with no image. Sizes of 0 or less give 2000, sizes beyond the readers' limits 1; when the
// stream can seek, data shorter than the header promises gives 2000 before anything is allocated,
// else at the first short row. Rows are read whole and turned into the core's word order in place;
// the bits after each row's last pixel are cleared.
//
// Reading any file (pxlReadImageFile, pxlReadImageFileEx by name, "-" for standard input;
// pxlReadImageStream over an open stream): the type is detected and the stream handed to the
// format reader (Sun raster, BMP, PNM, PCX; TIFF files are reopened by name through the TIFF
// page reader, so standard input cannot be TIFF: 2), and the 32-pixel frame of the result is
// cleared (of every channel of a channel set: the colour readers write content rows only). Page:
// 1-based for TIFF (0 reads the first page; a negative page counts as its magnitude); 0 asks Sun
// raster for the header alone (the image then has the header's size and depth, all pixels clear)
// and PostScript for its header (which never gives an image); other types ignore it. Statuses: 2 an
// unknown type; 6 PostScript with a page; 8 a Sun raster body of a depth other than 1, 2, 4, 8; 118
// null arguments; 120 *image already set; 1003 no image (PostScript, PNM variants without a reader,
// a TIFF page past the last); 2000 the file cannot be opened; the format readers' own codes
// otherwise. Every level reports a failure it passes on.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "pxl_imagefile.h"
#include "pxl_internal.h"
#include "pxl_owners_internal.h"
#include "pxl_tiffpage.h"
#include "pxl_utils.h"

namespace {

constexpr const char *kUnit = "readfile";
constexpr uint32_t kSunMagic = 0x59A66A95u;
constexpr size_t kSunHeaderSize = 32;

uint32_t bigEndian32(const uint8_t *b) {
  return static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 |
         static_cast<uint32_t>(b[2]) << 8 | b[3];
}

// The next header byte, a comment ('#' to the end of its line) read as the one byte '\n'.
int headerByte(FILE *file) {
  int c = std::fgetc(file);
  if (c == '#') {
    while (c != EOF && c != '\n' && c != '\r') c = std::fgetc(file);
    if (c != EOF) c = '\n';
  }
  return c;
}

// Reads `count` decimal header numbers (white space and comments skipped first) and the one
// white-space byte after the last; false when the header ends or holds anything else.
bool scanHeader(FILE *file, long *values, int count) {
  for (int i = 0; i < count; ++i) {
    int c = headerByte(file);
    while (c != EOF && std::isspace(c)) c = headerByte(file);
    if (c == EOF || std::ungetc(c, file) == EOF) return false;
    if (std::fscanf(file, "%ld", &values[i]) != 1) return false;
  }
  const int c = headerByte(file);
  return c != EOF && std::isspace(c);
}

// The content of row y of a single-channel framed image and the bytes of its content area.
uint8_t *contentRow(Pixr *image, int32_t y) {
  return image->framedData + int64_t{32 + y} * image->bytesPerRow + 4 * image->depth;
}
int64_t contentBytes(const Pixr *image) {
  return int64_t{image->bytesPerRow} - 8 * int64_t{image->depth};
}

// Turns a content row written in file byte order into the core's word order.
void toWordOrder(PxlContext *ctx, uint8_t *row, int64_t bytes) {
  pxlReverseWordBytes(ctx, reinterpret_cast<const uint32_t *>(row),
                      reinterpret_cast<uint32_t *>(row), static_cast<int32_t>(bytes / 4));
}

int32_t readPnmColour(PxlContext *ctx, FILE *file, long width, long height, pxl::OwnedImage &out) {
  pxl::OwnedRecord<uint8_t> line(
      ctx, static_cast<uint8_t *>(pxl::allocRecordZeroed(ctx, 3 * static_cast<size_t>(width), 1)));
  if (!line) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = pxlCreateMultiChannelImageNoClear(ctx, static_cast<int32_t>(width),
                                                     static_cast<int32_t>(height), 8, 0, 0, 32, 3,
                                                     1, nullptr, out.put());
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  Pixr *planes[3] = {};
  for (int32_t c = 0; c < 3; ++c) {
    PXL_POLL_OR_RETURN(ctx, kUnit);
    if ((status = pxlGetImageChannel(ctx, out.get(), c, &planes[c])) != 0)
      return PXL_FAIL(ctx, kUnit, status);
  }
  const size_t rowBytes = 3 * static_cast<size_t>(width);
  for (int32_t y = 0; y < height; ++y) {
    if (std::fread(line.get(), 1, rowBytes, file) != rowBytes)
      return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);
    for (int32_t c = 0; c < 3; ++c) {
      uint8_t *row = contentRow(planes[c], y);
      std::memset(row, 0, static_cast<size_t>(contentBytes(planes[c])));
      const uint8_t *in = line.get() + c;
      for (long j = 0; j < width; ++j, in += 3) row[j ^ 3] = *in;
    }
  }
  return PXL_OK;
}

int32_t readPnmSingle(PxlContext *ctx, FILE *file, long width, long height, int32_t depth,
                      pxl::OwnedImage &out) {
  pxl::OwnedRecord<uint8_t> line(ctx);
  if (depth == 2 || depth == 4) {
    line.reset(
        static_cast<uint8_t *>(pxl::allocRecordZeroed(ctx, static_cast<size_t>(width) + 3, 1)));
    if (!line) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  }
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = pxlCreateImageNoClear(ctx, static_cast<int32_t>(width),
                                         static_cast<int32_t>(height), depth, 0, 0, 32, out.put());
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  Pixr *image = out.get();
  const int64_t content = contentBytes(image);
  const int64_t fileBytes = depth == 1 ? (width + 7) / 8 : width;
  const int32_t perByte = 8 / depth;
  const uint32_t mask = (1u << depth) - 1;
  for (int32_t y = 0; y < height; ++y) {
    uint8_t *row = contentRow(image, y);
    if (line) {
      if (std::fread(line.get(), 1, static_cast<size_t>(width), file) != static_cast<size_t>(width))
        return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);
      std::memset(row, 0, static_cast<size_t>(content));
      const uint8_t *in = line.get();
      for (long j = 0; j * perByte < width; ++j) {
        uint32_t packed = 0;
        for (int32_t k = 0; k < perByte; ++k)
          packed = packed << depth | (in[j * perByte + k] & mask);
        row[j ^ 3] = static_cast<uint8_t>(packed);
      }
      continue;
    }
    if (std::fread(row, 1, static_cast<size_t>(fileBytes), file) != static_cast<size_t>(fileBytes))
      return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);
    std::memset(row + fileBytes, 0, static_cast<size_t>(content - fileBytes));
    toWordOrder(ctx, row, content);
  }
  pxlClearRowTails(ctx, contentRow(image, 0), image->width, image->height, image->bytesPerRow,
                   depth);
  return PXL_OK;
}

// The body step of a Sun raster by the depth of the image its header step made.
int32_t readSunBody(PxlContext *ctx, FILE *file, PxlImageFileInfo *info, Pixr **image) {
  const int32_t depth = (*image)->depth;
  if (depth == 1) return pxlReadSunBits(ctx, file, info, image);
  if (depth == 2 || depth == 4 || depth == 8) return pxlReadSunPixels(ctx, file, info, image);
  return PXL_FAIL(ctx, kUnit, PXL_ERR_DEPTH);
}

// Sets every byte of an image's pixel block, frame included, to 0.
void clearPixels(Pixr *image) {
  const int64_t rows = int64_t{image->height} + 2 * image->frame;
  std::memset(image->framedData, 0, static_cast<size_t>(rows * image->bytesPerRow));
}

// The format reader of the detected type; Sun raster and PostScript with page 0 stop after
// the header.
int32_t readByType(PxlContext *ctx, FILE *file, int32_t page, int32_t scanlineMode,
                   PxlImageFileInfo *info, pxl::OwnedImage &out) {
  switch (info->type) {
    case PXL_FILE_SUN:
    case PXL_FILE_SUN_ENCODED: {
      int32_t status = pxlReadSunHeader(ctx, file, info, out.put());
      if (status == 0 && page == 0) clearPixels(out.get());
      Pixr *made = out.get();  // the body step fills the image in place
      if (status == 0 && page != 0) status = readSunBody(ctx, file, info, &made);
      return status;
    }
    case PXL_FILE_POSTSCRIPT:
      if (page != 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_NOT_IMPLEMENTED);
      return pxlScanPostScriptHeader(ctx, file, info);
    case PXL_FILE_BMP:
      return pxlReadBmp(ctx, file, info, out.put());
    case PXL_FILE_PNM:
      return pxlReadPnm(ctx, file, out.put());
    case PXL_FILE_PCX:
      return pxlReadPcx(ctx, file, out.put());
    case PXL_FILE_TIFF:
      if (file == stdin) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
      return pxlReadTiff(ctx, &info->path, page, scanlineMode, out.put());
    default:
      return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  }
}

// Clears the 32-pixel frame of a single-channel image, polling before each step.
int32_t clearFrame(PxlContext *ctx, Pixr *image) {
  uint8_t *framed = nullptr;
  int32_t fullWidth = 0, fullHeight = 0, bytesPerRow = 0, depth = 0;
  int32_t status = 0;
  if ((status = pxlGetImageFramedData(ctx, image, &framed)) != 0 ||
      (status = pxlGetImageFullWidth(ctx, image, &fullWidth)) != 0 ||
      (status = pxlGetImageFullHeight(ctx, image, &fullHeight)) != 0 ||
      (status = pxlGetImageBytesPerRow(ctx, image, &bytesPerRow)) != 0 ||
      (status = pxlGetImageDepth(ctx, image, &depth)) != 0)
    return status;
  if ((status = pxlPollProgress(ctx)) != 0) return status;
  return pxlClearFrameRaw(ctx, framed, fullWidth, fullHeight, bytesPerRow, depth);
}

// The file-info record of one read by name: its path copy and Sun raster header are freed at
// the end, and the stream opened for it is closed (standard input stays open).
struct ReadByName {
  PxlContext *ctx;
  PxlImageFileInfo info{};
  FILE *file = nullptr;
  ~ReadByName() {
    if (file != nullptr && file != stdin) std::fclose(file);
    pxl::freeRecord(ctx, info.path);
    pxl::freeRecord(ctx, info.header);
  }
};

}  // namespace

extern "C" int32_t pxlReadPnm(PxlContext *ctx, FILE *file, Pixr **image) {
  if (file == nullptr || image == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*image != nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NOT_NULL);
  if (ctx == nullptr) return PXL_ERR_NO_MEMORY;
  std::rewind(file);
  long variant = 0;
  if (std::fscanf(file, "P%ld", &variant) != 1) return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);
  if (variant < 4 || variant > 6) return PXL_OK;
  long values[3] = {0, 0, 0};
  const int count = variant == 4 ? 2 : 3;
  if (!scanHeader(file, values, count)) return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);
  const long width = values[0], height = values[1], maximum = values[2];
  if (variant == 6 && maximum > 255) return PXL_FAIL(ctx, kUnit, PXL_ERR_DEPTH);
  if (variant == 5 && maximum > 255) return PXL_FAIL(ctx, kUnit, PXL_ERR_ILLEGAL_TYPE);
  if (width <= 0 || height <= 0 || maximum < 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);
  const int32_t depth = variant == 4    ? 1
                        : variant == 6  ? 8
                        : maximum <= 3  ? 2
                        : maximum <= 15 ? 4
                                        : 8;
  if (pxlCheckFileImageSize(ctx, width, height, depth) != PXL_OK)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  const int64_t rowBytes = variant == 4   ? (width + 7) / 8
                           : variant == 6 ? 3 * int64_t{width}
                                          : width;
  if (!pxlStreamHolds(file, rowBytes * height)) return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);
  pxl::OwnedImage out(ctx);
  const int32_t status = variant == 6 ? readPnmColour(ctx, file, width, height, out)
                                      : readPnmSingle(ctx, file, width, height, depth, out);
  if (status != PXL_OK) return status;
  *image = out.release();
  return PXL_OK;
}

extern "C" int32_t pxlSniffImageFile(PxlContext *ctx, FILE *file, int32_t *type) {
  if (file == nullptr || type == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (file == stdin) {
    *type = PXL_FILE_SUN;
    return PXL_OK;
  }
  std::rewind(file);
  auto *header = ctx ? static_cast<uint8_t *>(pxl::allocRecord(ctx, kSunHeaderSize)) : nullptr;
  if (header == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  const size_t got = std::fread(header, 1, kSunHeaderSize, file);
  if (got == kSunHeaderSize && bigEndian32(header) == kSunMagic) {
    const uint32_t kind = bigEndian32(header + 20);
    pxl::freeRecord(ctx, header);
    std::rewind(file);
    *type = kind == 1 ? PXL_FILE_SUN : kind == 2 ? PXL_FILE_SUN_ENCODED : PXL_FILE_UNKNOWN;
    return PXL_OK;
  }
  pxl::freeRecord(ctx, header);

  std::rewind(file);
  uint8_t first[2] = {0, 0};
  const size_t have = std::fread(first, 1, 2, file);
  std::rewind(file);
  int32_t result = PXL_FILE_UNKNOWN;
  if (have == 2) {
    uint16_t le = 0;
    pxlCopyLe16(ctx, first, &le);
    if (first[0] == '%' && first[1] == '!') {
      result = PXL_FILE_POSTSCRIPT;
    } else {
      PXL_POLL_OR_RETURN(ctx, kUnit);
      if (le == 0x4D42) {
        result = PXL_FILE_BMP;
      } else if ((first[0] == 'M' && first[1] == 'M') || (first[0] == 'I' && first[1] == 'I')) {
        result = PXL_FILE_TIFF;
      } else {
        PXL_POLL_OR_RETURN(ctx, kUnit);
        if (le == 0x000A || le == 0x020A || le == 0x030A || le == 0x050A)
          result = PXL_FILE_PCX;
        else if (first[0] == 'P' && first[1] >= '0' && first[1] <= '9')
          result = PXL_FILE_PNM;
      }
    }
  }
  *type = result;
  return PXL_OK;
}

extern "C" int32_t pxlScanPostScriptHeader(PxlContext *ctx, FILE *file, PxlImageFileInfo *info) {
  if (file == nullptr || info == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  long width = 0, height = 0;
  // A header that does not match leaves the values it did not reach at 0.
  if (std::fscanf(file, " %*s") == 0 && std::fscanf(file, " %*s %*d %*d %*d %*d") == 0 &&
      std::fscanf(file, " /width %ld %*s %% %*s %*s %*s %*s %*s", &width) == 1)
    std::fscanf(file, " /height %ld", &height);
  const auto clamp = [](long v) {
    return static_cast<int32_t>(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v);
  };
  info->width = clamp(width);
  info->height = clamp(height);
  return PXL_OK;
}

extern "C" int32_t pxlReadImageStream(PxlContext *ctx, FILE *file, int32_t page,
                                      int32_t scanlineMode, PxlImageFileInfo *info, Pixr **image) {
  if (file == nullptr || info == nullptr || image == nullptr)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*image != nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NOT_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = pxlSniffImageFile(ctx, file, &info->type);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  pxl::OwnedImage out(ctx);
  if ((status = readByType(ctx, file, page, scanlineMode, info, out)) != 0)
    return PXL_FAIL(ctx, kUnit, status);
  if (!out) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL_IMAGE);
  int32_t channels = 0;
  if ((status = pxlGetImageChannelCount(ctx, out.get(), &channels)) != 0)
    return PXL_FAIL(ctx, kUnit, status);
  for (int32_t c = 0; c < channels; ++c) {
    Pixr *channel = out.get();
    if (channels > 1 && (status = pxlGetImageChannel(ctx, out.get(), c, &channel)) != 0)
      return PXL_FAIL(ctx, kUnit, status);
    if ((status = clearFrame(ctx, channel)) != 0) return PXL_FAIL(ctx, kUnit, status);
  }
  *image = out.release();
  return PXL_OK;
}

extern "C" int32_t pxlReadImageFileEx(PxlContext *ctx, const char *path, int32_t page,
                                      int32_t scanlineMode, Pixr **image) {
  if (path == nullptr || image == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*image != nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NOT_NULL);
  ReadByName read{ctx};
  // A negative page is read as its magnitude (the most negative as the largest page).
  const int32_t pageNumber = page >= 0 ? page : page == INT32_MIN ? INT32_MAX : -page;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = pxlConcatStrings(ctx, path, "", &read.info.path);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  read.file = std::strcmp(path, "-") == 0 ? stdin : std::fopen(path, "rb");
  if (read.file == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  pxl::OwnedImage out(ctx);
  status = pxlReadImageStream(ctx, read.file, pageNumber, scanlineMode, &read.info, out.put());
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  *image = out.release();
  return PXL_OK;
}

extern "C" int32_t pxlReadImageFile(PxlContext *ctx, const char *path, int32_t page, Pixr **image) {
  PXL_POLL_OR_RETURN(ctx, kUnit);
  const int32_t status = pxlReadImageFileEx(ctx, path, page, 0, image);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  return PXL_OK;
}
