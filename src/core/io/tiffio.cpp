// TIFF page reading and writing: one page of a TIFF file into a new framed core image
// (pxlReadTiff), and a framed core image into a new one-page TIFF file (pxlWriteTiff), with
// the bilevel schemes and PackBits coded by the core's own coders (tiffcodec.h) and
// everything else by libtiff (see pxl_tiffpage.h for the rules).
//
// Reading. An open file keeps its current directory, so pages read in order are reached by
// reading on from the one before (a long chain costs its length once, not once per page).
// Single-channel pages are read into the image's own pixel memory: either decoded
// straight into the framed rows, or (libtiff's schemes) read strip after strip with the
// image laid out unframed at the file's row size, each 32-bit word's bytes reversed over the
// whole block, and the frame restored in place. A single tile is read as a tile as many rows
// long as the image and as wide as the tile, then cropped. RGB pages go through libtiff's
// RGBA reader into a raster whose rows are turned upright into the three channels. Sizes
// are checked in 64 bits against the limits before anything is allocated.
//
// Writing. The directory is set first; core-coder schemes encode each strip straight from
// the image, others write rows turned into file byte order; RGB sets write interleaved rows.
// Every step that writes to the file is checked (data, directory, close), so a full disk
// gives 2001; after a failure the file is released without writing more.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "pxl_dib.h"
#include "pxl_internal.h"
#include "pxl_owners_internal.h"
#include "pxl_pixops.h"
#include "pxl_pixr_internal.h"
#include "pxl_tiff.h"
#include "pxl_tiffpage.h"
#include "pxl_transfer.h"
#include "tiffcodec.h"

namespace {

constexpr const char *kUnit = "tiffio";
constexpr int32_t kStripBytes = 8196;

namespace codec = pxl::tiffcodec;

// 16.16 dots per inch of a resolution in dots per inch, clamped to the 32-bit range.
int32_t fixedResolution(float dpi) {
  const float scaled = dpi * 65536.0f;
  if (!(scaled > 0.0f)) return 0;
  if (scaled >= 2147483647.0f) return INT32_MAX;
  return static_cast<int32_t>(scaled);
}

void readResolution(TIFF *tif, int32_t *x, int32_t *y) {
  float xr = -1.0f, yr = -1.0f;
  uint16_t unit = RESUNIT_NONE;
  if (!TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xr)) xr = -1.0f;
  if (!TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yr)) yr = -1.0f;
  TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
  if (unit == RESUNIT_CENTIMETER) {
    xr *= 2.54f;
    yr *= 2.54f;
  }
  // libtiff keeps the two resolutions as one field: a missing one reads as 0, so 0 counts as
  // missing as well.
  if (!(xr > 0.0f) || !(yr > 0.0f)) xr = yr = 0.0f;
  *x = fixedResolution(xr);
  *y = fixedResolution(yr);
}

bool invertedScheme(uint16_t compression) {
  return compression == COMPRESSION_CCITTRLE || compression == COMPRESSION_CCITTFAX3 ||
         compression == COMPRESSION_CCITTFAX4 || compression == COMPRESSION_CCITTRLEW ||
         compression == 34670;
}

// An RGB page through libtiff's RGBA reader; the raster's first row is the page's last.
int32_t readRgb(PxlContext *ctx, TIFF *tif, uint32_t width, uint32_t height, int32_t xres,
                int32_t yres, pxl::OwnedImage &out) {
  if (pxlCheckFileImageSize(ctx, width, height, 8) != PXL_OK ||
      int64_t{width} * height * 4 > PXL_MAX_FILE_IMAGE_BLOCK)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  PXL_STEP(ctx, kUnit,
           pxlCreateMultiChannelImageNoClear(ctx, static_cast<int32_t>(width),
                                             static_cast<int32_t>(height), 8, xres, yres, 32, 3, 1,
                                             nullptr, out.put()));
  pxl::OwnedRecord<uint32_t> raster(
      ctx, static_cast<uint32_t *>(pxl::allocRecordZeroed(ctx, size_t{width} * height, 4)));
  if (!raster) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  if (!TIFFReadRGBAImage(tif, width, height, raster.get(), 0))
    return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);
  uint8_t *planes[3] = {};
  int32_t stride = 0;
  for (int32_t c = 0; c < 3; ++c) {
    Pixr *channel = nullptr;
    PXL_STEP(ctx, kUnit, pxlGetImageChannel(ctx, out.get(), c, &channel));
    PXL_STEP(ctx, kUnit, pxlGetImageData(ctx, channel, &planes[c]));
    PXL_STEP(ctx, kUnit, pxlGetImageBytesPerRow(ctx, channel, &stride));
  }
  for (uint32_t r = 0; r < height; ++r) {
    const uint32_t *in = raster.get() + size_t{r} * width;
    const int64_t row = int64_t{height - 1 - r} * stride;
    uint8_t *red = planes[0] + row, *green = planes[1] + row, *blue = planes[2] + row;
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t v = in[x];
      red[x ^ 3] = static_cast<uint8_t>(TIFFGetR(v));
      green[x ^ 3] = static_cast<uint8_t>(TIFFGetG(v));
      blue[x ^ 3] = static_cast<uint8_t>(TIFFGetB(v));
    }
  }
  for (int32_t c = 0; c < 3; ++c)
    pxlClearRowTails(ctx, planes[c], static_cast<int32_t>(width), static_cast<int32_t>(height),
                     stride, 8);
  return PXL_OK;
}

// Reads strips or the single tile with libtiff's decoding into the image memory laid out
// unframed at `rowBytes` per row, then turns the words and restores the frame.
int32_t readDecoded(PxlContext *ctx, TIFF *tif, bool tiled, int64_t rowBytes, Pixr *image) {
  PxlWordByteReverser reverse = nullptr;
  PXL_STEP(ctx, kUnit, pxlGetRowConverter(ctx, 0, 2, 0, nullptr, nullptr, &reverse, nullptr));
  int32_t height = 0;
  uint8_t *data = nullptr;
  PXL_STEP(ctx, kUnit, pxlGetImageHeight(ctx, image, &height));
  PXL_STEP(ctx, kUnit, pxlGetImageFramedData(ctx, image, &data));
  const int64_t total = rowBytes * height;
  if (rowBytes <= 0 || rowBytes > INT32_MAX) return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);
  PXL_STEP(ctx, kUnit, pxlSetImageFrame(ctx, image, 0));
  PXL_STEP(ctx, kUnit, pxlSetImageBytesPerRow(ctx, image, static_cast<int32_t>(rowBytes)));
  int64_t read = 0;
  if (tiled) {
    read = TIFFReadEncodedTile(tif, 0, data, static_cast<tmsize_t>(total));
    if (read < 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);
  } else {
    const uint32_t strips = TIFFNumberOfStrips(tif);
    for (uint32_t s = 0; s < strips && read < total; ++s) {
      PXL_POLL_OR_RETURN(ctx, kUnit);
      const tmsize_t n =
          TIFFReadEncodedStrip(tif, s, data + read, static_cast<tmsize_t>(total - read));
      if (n < 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);
      read += n;
    }
  }
  PXL_POLL_OR_RETURN(ctx, kUnit);
  reverse(ctx, reinterpret_cast<const uint32_t *>(data), reinterpret_cast<uint32_t *>(data),
          static_cast<int32_t>((read + 3) / 4));
  PXL_STEP(ctx, kUnit, pxlFrameImageInPlace(ctx, image));
  return PXL_OK;
}

// A one-sample page into out: strips or the single tile, then photometric handling.
int32_t readSingle(PxlContext *ctx, TIFF *tif, int32_t scanlineMode, uint32_t width,
                   uint32_t height, uint16_t depth, int32_t xres, int32_t yres,
                   pxl::OwnedImage &out) {
  codec::Coder coder;
  if (!codec::setUp(&coder, ctx, tif)) return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);
  const bool tiled = TIFFIsTiled(tif) != 0;
  if (coder.codec->scheme == codec::Scheme::kNotImplemented) {
    codec::reportNotImplemented(&coder, tiled ? "tile" : scanlineMode ? "scanline" : "strip");
    return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);
  }
  uint32_t imageWidth = width;
  if (tiled) {
    uint32_t tileWidth = 0, tileLength = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileLength);
    if (TIFFNumberOfTiles(tif) != 1) return PXL_FAIL(ctx, kUnit, PXL_ERR_MANY_TILES);
    imageWidth = tileWidth;
  }
  if (pxlCheckFileImageSize(ctx, imageWidth, height, depth) != PXL_OK)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  PXL_STEP(ctx, kUnit,
           pxlCreateImage(ctx, static_cast<int32_t>(imageWidth), static_cast<int32_t>(height),
                          depth, xres, yres, 32, out.put()));
  if (coder.flags & codec::kDirectDecode) {
    coder.flags |= codec::kDirectImage;
    bool ok = true;
    if (tiled) {
      ok = codec::decodeTile(&coder, 0, out.get());
    } else if (scanlineMode) {
      for (uint32_t row = 0; row < height && ok; ++row)
        ok = codec::decodeRow(&coder, row, out.get());
    } else {
      const uint32_t strips = TIFFNumberOfStrips(tif);
      for (uint32_t s = 0; s < strips && ok; ++s) {
        PXL_POLL_OR_RETURN(ctx, kUnit);
        ok = codec::decodeStrip(&coder, s, out.get());
      }
    }
    if (!ok) return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);
  } else {
    coder.flags &= ~codec::kDirectImage;
    const int64_t rowBytes = tiled ? TIFFTileRowSize64(tif) : TIFFScanlineSize64(tif);
    if (const int32_t s = readDecoded(ctx, tif, tiled, rowBytes, out.get()); s != PXL_OK) return s;
  }
  if (tiled)
    PXL_STEP(ctx, kUnit,
             pxlCropImage(ctx, 0, 0, static_cast<int32_t>(width), static_cast<int32_t>(height),
                          out.get()));

  uint16_t photometric = depth == 1 ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK;
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
  if (depth == 1 && photometric != PHOTOMETRIC_PALETTE) {
    if (photometric == PHOTOMETRIC_MINISBLACK && !invertedScheme(coder.codec->compression)) {
      Pixr *same = out.get();
      PXL_STEP(ctx, kUnit, pxlInvertImage(ctx, same, &same));
    }
  } else if (photometric == PHOTOMETRIC_MINISWHITE) {
    Pixr *same = out.get();
    PXL_STEP(ctx, kUnit, pxlInvertImage(ctx, same, &same));
  } else if (photometric == PHOTOMETRIC_PALETTE) {
    // The indices as stored (a 1-bit palette page is not bilevel: its map says the colours).
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue))
      return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_READ);
    const int32_t count = 1 << depth;
    PxlColorMap *map = nullptr;
    PXL_STEP(ctx, kUnit, pxlCreateColorMap(ctx, count, &map));
    for (int32_t i = 0; i < count; ++i) {
      map->entries[4 * i] = static_cast<uint8_t>(red[i] >> 8);
      map->entries[4 * i + 1] = static_cast<uint8_t>(green[i] >> 8);
      map->entries[4 * i + 2] = static_cast<uint8_t>(blue[i] >> 8);
    }
    if (const int32_t s = pxlSetImageColormap(ctx, out.get(), map); s != PXL_OK) {
      pxl::releaseColorMap(ctx, map);
      return PXL_FAIL(ctx, kUnit, s);
    }
  }
  return PXL_OK;
}

// The rows of a single-channel image through libtiff, each turned into file byte order.
int32_t writeRows(PxlContext *ctx, TIFF *tif, Pixr *image, int32_t height, int32_t bytesPerRow) {
  PxlWordByteReverser reverse = nullptr;
  PXL_STEP(ctx, kUnit, pxlGetRowConverter(ctx, 0, 2, 0, nullptr, nullptr, &reverse, nullptr));
  const int64_t words = (static_cast<int64_t>(TIFFScanlineSize64(tif)) + 3) / 4;
  if (words <= 0 || 4 * words > bytesPerRow) return PXL_FAIL(ctx, kUnit, PXL_ERR_INTERNAL);
  pxl::OwnedPixels<uint8_t> row(
      ctx, static_cast<uint8_t *>(pxl::allocPixelsZeroed(ctx, static_cast<size_t>(bytesPerRow))));
  if (!row) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  uint8_t *data = nullptr;
  PXL_STEP(ctx, kUnit, pxlGetImageData(ctx, image, &data));
  for (int32_t y = 0; y < height; ++y) {
    PXL_POLL_OR_RETURN(ctx, kUnit);
    reverse(ctx, reinterpret_cast<const uint32_t *>(data + int64_t{y} * bytesPerRow),
            reinterpret_cast<uint32_t *>(row.get()), static_cast<int32_t>(words));
    if (TIFFWriteScanline(tif, row.get(), static_cast<uint32_t>(y), 0) < 0)
      return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_WRITE);
  }
  return PXL_OK;
}

uint32_t stripRows(int32_t oneStrip, int32_t height, int64_t rowBytes) {
  if (oneStrip) return static_cast<uint32_t>(height);
  return static_cast<uint32_t>(std::max<int64_t>(1, kStripBytes / std::max<int64_t>(rowBytes, 1)));
}

// An RGB channel set as interleaved rows, uncompressed.
int32_t writeRgb(PxlContext *ctx, TIFF *tif, Pixr *image, int32_t width, int32_t height,
                 int32_t oneStrip) {
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  const int64_t rowBytes = int64_t{width} * 3;
  if (static_cast<int64_t>(TIFFScanlineSize64(tif)) != rowBytes)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_INTERNAL);
  pxl::OwnedPixels<uint8_t> row(
      ctx, static_cast<uint8_t *>(pxl::allocPixelsZeroed(ctx, static_cast<size_t>(rowBytes))));
  if (!row) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, stripRows(oneStrip, height, rowBytes));
  const uint8_t *planes[3] = {};
  int32_t stride = 0;
  for (int32_t c = 0; c < 3; ++c) {
    Pixr *channel = nullptr;
    uint8_t *data = nullptr;
    PXL_STEP(ctx, kUnit, pxlGetImageChannel(ctx, image, c, &channel));
    PXL_STEP(ctx, kUnit, pxlGetImageData(ctx, channel, &data));
    PXL_STEP(ctx, kUnit, pxlGetImageBytesPerRow(ctx, channel, &stride));
    planes[c] = data;
  }
  for (int32_t y = 0; y < height; ++y) {
    PXL_POLL_OR_RETURN(ctx, kUnit);
    const int64_t offset = int64_t{y} * stride;
    uint8_t *out = row.get();
    for (int32_t x = 0; x < width; ++x, out += 3) {
      out[0] = planes[0][offset + (x ^ 3)];
      out[1] = planes[1][offset + (x ^ 3)];
      out[2] = planes[2][offset + (x ^ 3)];
    }
    if (TIFFWriteScanline(tif, row.get(), static_cast<uint32_t>(y), 0) < 0)
      return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_WRITE);
  }
  return PXL_OK;
}

// The ColorMap of a palette image: 2^depth entries per table, each 8-bit value v as v x 257.
int32_t writeColorMap(PxlContext *ctx, TIFF *tif, const PxlColorMap *map, int32_t depth) {
  const int32_t count = 1 << depth;
  pxl::OwnedRecord<uint16_t> tables(
      ctx, static_cast<uint16_t *>(pxl::allocRecordZeroed(ctx, 3 * size_t(count), 2)));
  if (!tables) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  uint16_t *red = tables.get(), *green = red + count, *blue = green + count;
  for (int32_t i = 0; i < count && i < map->count; ++i) {
    red[i] = static_cast<uint16_t>(map->entries[4 * i] * 257);
    green[i] = static_cast<uint16_t>(map->entries[4 * i + 1] * 257);
    blue[i] = static_cast<uint16_t>(map->entries[4 * i + 2] * 257);
  }
  TIFFSetField(tif, TIFFTAG_COLORMAP, red, green, blue);
  return PXL_OK;
}

bool writableCompression(int32_t compression) {
  return compression == COMPRESSION_NONE || compression == COMPRESSION_CCITTRLE ||
         compression == COMPRESSION_CCITTFAX3 || compression == COMPRESSION_CCITTFAX4 ||
         compression == COMPRESSION_LZW || compression == COMPRESSION_PACKBITS ||
         compression == 34670;
}

// Single-channel data: strips coded by the core's coders, or rows through libtiff.
int32_t writeSingle(PxlContext *ctx, TIFF *tif, Pixr *image, int32_t height, int32_t bytesPerRow,
                    uint32_t rowsPerStrip) {
  codec::Coder coder;
  if (!codec::setUp(&coder, ctx, tif)) return PXL_FAIL(ctx, kUnit, PXL_ERR_COMPRESSION);
  if (!(coder.flags & codec::kDirectEncode)) return writeRows(ctx, tif, image, height, bytesPerRow);
  coder.flags |= codec::kDirectImage;
  const uint32_t strips = TIFFNumberOfStrips(tif);
  for (uint32_t s = 0; s < strips; ++s) {
    PXL_POLL_OR_RETURN(ctx, kUnit);
    const int64_t first = int64_t{s} * rowsPerStrip;
    const auto rows = static_cast<int32_t>(std::min<int64_t>(rowsPerStrip, height - first));
    if (rows <= 0 || codec::encodeStrip(&coder, s, image, static_cast<int32_t>(first), rows) != 1)
      return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_WRITE);
  }
  return PXL_OK;
}

// Opens the file in mode ("r" or "w"); failed gives the status of a file that cannot be opened.
int32_t openTiff(PxlContext *ctx, const char *path, const char *mode, int32_t failed,
                 TIFF **record) {
  if (path == nullptr || record == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  *record = pxlTiffOpen(ctx, path, mode);
  if (*record == nullptr) return PXL_FAIL(ctx, kUnit, failed);
  return PXL_OK;
}

// Makes directory page - 1 (pages from 1; 1 and below the first) the current one. Forward it
// reads the directories after the current one, one after another, so reading every page of a
// long chain in order costs its length once; back it starts again from the first. False when
// the chain ends (or loops, or breaks) before it; the first directory is then made current
// again, so that a half-read directory is never taken for a page.
bool toDirectory(TIFF *tif, int32_t page) {
  const tdir_t target = page > 1 ? static_cast<tdir_t>(page - 1) : 0;
  tdir_t current = TIFFCurrentDirectory(tif);
  if (target < current) return TIFFSetDirectory(tif, target) == 1;
  for (; current < target; ++current) {
    if (TIFFReadDirectory(tif) != 1) {
      TIFFSetDirectory(tif, 0);
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" {

int32_t pxlReadTiff(PxlContext *ctx, char **source, int32_t page, int32_t scanlineMode,
                    Pixr **image) {
  if (source == nullptr || *source == nullptr || image == nullptr)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*image != nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NOT_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  pxl::OwnedTiff file(ctx);
  if (const int32_t s = pxlOpenTiffForRead(ctx, *source, file.put()); s != PXL_OK) return s;
  return pxlReadTiffPage(ctx, file.get(), page, scanlineMode, image);
}

int32_t pxlOpenTiffForRead(PxlContext *ctx, const char *path, TIFF **record) {
  return openTiff(ctx, path, "r", PXL_ERR_FILE_READ, record);
}

int32_t pxlReadTiffPage(PxlContext *ctx, TIFF *record, int32_t page, int32_t scanlineMode,
                        Pixr **image) {
  if (record == nullptr || image == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*image != nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NOT_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  if (!toDirectory(record, page)) return PXL_OK;

  TIFF *tif = record;
  uint16_t depth = 1, samples = 1;
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &depth);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  const bool single = samples == 1 && (depth == 1 || depth == 2 || depth == 4 || depth == 8);
  if (!single && !(samples == 3 && depth == 8)) return PXL_FAIL(ctx, kUnit, PXL_ERR_TYPE);
  uint32_t width = 0, height = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
  int32_t xres = 0, yres = 0;
  readResolution(tif, &xres, &yres);

  pxl::OwnedImage out(ctx);
  if (!single) {
    uint16_t photometric = PHOTOMETRIC_RGB;
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    if (photometric != PHOTOMETRIC_RGB) return PXL_FAIL(ctx, kUnit, PXL_ERR_TYPE);
    if (const int32_t s = readRgb(ctx, tif, width, height, xres, yres, out); s != PXL_OK) return s;
  } else if (const int32_t s =
                 readSingle(ctx, tif, scanlineMode, width, height, depth, xres, yres, out);
             s != PXL_OK) {
    return s;
  }
  *image = out.release();
  return PXL_OK;
}

int32_t pxlOpenTiffForWrite(PxlContext *ctx, const char *path, TIFF **record) {
  return openTiff(ctx, path, "w", PXL_ERR_FILE_WRITE, record);
}

int32_t pxlWriteTiffImage(PxlContext *ctx, Pixr *image, int32_t compression, int32_t oneStrip,
                          int32_t group3Options, TIFF *tif) {
  if (tif == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_ANY,
                            PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_32));
  int32_t height = 0, width = 0, bytesPerRow = 0, depth = 0, colorCode = 0, channels = 0;
  int32_t xres = 0, yres = 0;
  PxlColorMap *map = nullptr;
  PXL_STEP(ctx, kUnit, pxlGetImageHeight(ctx, image, &height));
  PXL_STEP(ctx, kUnit, pxlGetImageWidth(ctx, image, &width));
  PXL_STEP(ctx, kUnit, pxlGetImageBytesPerRow(ctx, image, &bytesPerRow));
  PXL_STEP(ctx, kUnit, pxlGetImageDepth(ctx, image, &depth));
  PXL_STEP(ctx, kUnit, pxlGetImageColorCode(ctx, image, &colorCode));
  PXL_STEP(ctx, kUnit, pxlGetImageChannelCount(ctx, image, &channels));
  PXL_STEP(ctx, kUnit, pxlGetImageResolution(ctx, image, &xres, &yres));
  PXL_STEP(ctx, kUnit, pxlGetImageColormap(ctx, image, &map));
  const bool single = channels == 1 && (depth == 1 || depth == 2 || depth == 4 || depth == 8);
  if (!single && !(channels == 3 && depth == 8)) return PXL_FAIL(ctx, kUnit, PXL_ERR_TYPE);

  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
  TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(depth));
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(channels));
  const int64_t dpiX = (int64_t{xres} + 0x8000) >> 16, dpiY = (int64_t{yres} + 0x8000) >> 16;
  if (dpiX >= 1 && dpiY >= 1) {
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<double>(dpiX));
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<double>(dpiY));
  }

  if (colorCode == 1 || channels == 3) {
    // Three channels are written only as an RGB set.
    if (colorCode != 1 || channels != 3) return PXL_FAIL(ctx, kUnit, PXL_ERR_TYPE);
    if (const int32_t s = writeRgb(ctx, tif, image, width, height, oneStrip); s != PXL_OK) return s;
  } else {
    const uint16_t photometric = map != nullptr ? PHOTOMETRIC_PALETTE
                                 : depth == 1   ? PHOTOMETRIC_MINISWHITE
                                                : PHOTOMETRIC_MINISBLACK;
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
    if (map != nullptr)
      if (const int32_t s = writeColorMap(ctx, tif, map, depth); s != PXL_OK) return s;
    if (!writableCompression(compression) ||
        !TIFFSetField(tif, TIFFTAG_COMPRESSION, static_cast<uint16_t>(compression)))
      return PXL_FAIL(ctx, kUnit, PXL_ERR_COMPRESSION);
    if (compression == COMPRESSION_CCITTFAX3)
      TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, static_cast<uint32_t>(group3Options));
    const uint32_t rowsPerStrip = stripRows(oneStrip, height, TIFFScanlineSize64(tif));
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    if (const int32_t s = writeSingle(ctx, tif, image, height, bytesPerRow, rowsPerStrip);
        s != PXL_OK)
      return s;
  }
  PXL_POLL_OR_RETURN(ctx, kUnit);
  if (!TIFFWriteDirectory(tif)) return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_WRITE);
  return PXL_OK;
}

void pxlAbandonTiff(TIFF *record) {
  pxlTiffAbandon(record);
}

int32_t pxlWriteTiff(PxlContext *ctx, Pixr *image, const char *path, int32_t compression,
                     int32_t oneStrip, int32_t group3Options) {
  PXL_POLL_OR_RETURN(ctx, kUnit);
  TIFF *tif = nullptr;
  if (const int32_t s = pxlOpenTiffForWrite(ctx, path, &tif); s != PXL_OK)
    return PXL_FAIL(ctx, kUnit, s);
  int32_t status = pxlPollProgress(ctx);
  if (status == PXL_OK)
    status = pxlWriteTiffImage(ctx, image, compression, oneStrip, group3Options, tif);
  if (status != PXL_OK) {
    pxlAbandonTiff(tif);
    return PXL_FAIL(ctx, kUnit, status);
  }
  if (pxlTiffClose(tif) != PXL_OK) return PXL_FAIL(ctx, kUnit, PXL_ERR_FILE_WRITE);
  return PXL_OK;
}

}  // extern "C"
