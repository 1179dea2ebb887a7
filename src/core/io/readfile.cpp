// Detection of an image file's type from its first bytes. The tests run in a fixed order and
// the first match wins: a 32-byte Sun raster header decides alone (its type field says
// standard, byte-encoded or unknown); otherwise the first two bytes are matched against
// PostScript, BMP, TIFF, PCX and PNM signatures. Files shorter than two bytes are unknown.
#include <cstdio>

#include "pxl_imagefile.h"
#include "pxl_internal.h"

namespace {

constexpr const char *kUnit = "readfile";
constexpr uint32_t kSunMagic = 0x59A66A95u;
constexpr size_t kSunHeaderSize = 32;

uint32_t bigEndian32(const uint8_t *b) {
  return static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 |
         static_cast<uint32_t>(b[2]) << 8 | b[3];
}

}  // namespace

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
