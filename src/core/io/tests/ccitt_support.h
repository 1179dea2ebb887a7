// Test support of the CCITT tests: raw strips of TIFF pages (read with libtiff through the
// binding), P4 bitmaps (netpbm multi-image streams), decoding a page's strips with our
// decoders in chunks of a given size, and encoding a bitmap with our encoders.
#ifndef NORV_TEST_CCITT_SUPPORT_H
#define NORV_TEST_CCITT_SUPPORT_H

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "io_support.h"
#include "pxl_ccitt.h"
#include "pxl_tiff.h"

namespace ccitttest {

struct Bitmap {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> rows;  // P4 layout: MSB first, rows padded to a byte, 1 = black
  int32_t stride() const { return (width + 7) / 8; }
  bool pixel(int32_t x, int32_t y) const {
    return rows[static_cast<size_t>(y) * stride() + x / 8] >> (7 - x % 8) & 1;
  }
  void set(int32_t x, int32_t y, bool v) {
    uint8_t &b = rows[static_cast<size_t>(y) * stride() + x / 8];
    b = static_cast<uint8_t>(v ? b | (0x80 >> (x % 8)) : b & ~(0x80 >> (x % 8)));
  }
  static Bitmap blank(int32_t w, int32_t h) {
    Bitmap b;
    b.width = w, b.height = h;
    b.rows.assign(static_cast<size_t>(b.stride()) * h, 0);
    return b;
  }
};

// Pixels differing between two bitmaps (padding bits ignored); -1 when the sizes differ.
inline long differences(const Bitmap &a, const Bitmap &b) {
  if (a.width != b.width || a.height != b.height) return -1;
  long n = 0;
  for (int32_t y = 0; y < a.height; ++y)
    for (int32_t x = 0; x < a.width; ++x) n += a.pixel(x, y) != b.pixel(x, y);
  return n;
}

inline std::vector<Bitmap> readPbm(const std::string &path) {
  std::vector<uint8_t> f = iotest::readFile(path);
  std::vector<Bitmap> pages;
  size_t i = 0;
  auto number = [&]() {
    long v = 0;
    while (i < f.size() && (isspace(f[i]) || f[i] == '#')) {
      if (f[i] == '#')
        while (i < f.size() && f[i] != '\n') ++i;
      else
        ++i;
    }
    while (i < f.size() && isdigit(f[i])) v = v * 10 + (f[i++] - '0');
    return v;
  };
  while (i + 2 <= f.size() && f[i] == 'P' && f[i + 1] == '4') {
    i += 2;
    Bitmap b;
    b.width = static_cast<int32_t>(number());
    b.height = static_cast<int32_t>(number());
    ++i;
    const size_t bytes = static_cast<size_t>(b.stride()) * b.height;
    if (i + bytes > f.size()) break;
    b.rows.assign(f.begin() + static_cast<long>(i), f.begin() + static_cast<long>(i + bytes));
    i += bytes;
    pages.push_back(std::move(b));
    while (i < f.size() && isspace(f[i])) ++i;
  }
  return pages;
}

inline void writePbm(const std::string &path, const Bitmap &b) {
  std::string head = "P4\n" + std::to_string(b.width) + " " + std::to_string(b.height) + "\n";
  std::vector<uint8_t> out(head.begin(), head.end());
  out.insert(out.end(), b.rows.begin(), b.rows.end());
  iotest::writeFile(path, out);
}

struct TiffPage {
  uint32_t width = 0, height = 0, rowsPerStrip = 0, t4Options = 0;
  uint16_t compression = 0, fillOrder = 1, photometric = 0;
  std::vector<std::vector<uint8_t>> strips;
};

inline std::vector<TiffPage> readTiffPages(PxlContext *ctx, const std::string &path) {
  std::vector<TiffPage> pages;
  TIFF *tif = pxlTiffOpen(ctx, path.c_str(), "r");
  if (tif == nullptr) return pages;
  do {
    TiffPage p;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &p.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &p.height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &p.rowsPerStrip);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &p.compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_FILLORDER, &p.fillOrder);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PHOTOMETRIC, &p.photometric);
    if (p.compression == COMPRESSION_CCITTFAX3)
      TIFFGetField(tif, TIFFTAG_GROUP3OPTIONS, &p.t4Options);
    p.rowsPerStrip = std::min(p.rowsPerStrip, p.height);
    uint64_t *counts = nullptr;
    TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts);
    for (uint32_t s = 0; s < TIFFNumberOfStrips(tif); ++s) {
      std::vector<uint8_t> raw(counts[s]);
      tmsize_t got = TIFFReadRawStrip(tif, s, raw.data(), static_cast<tmsize_t>(raw.size()));
      raw.resize(got > 0 ? static_cast<size_t>(got) : 0);
      if (p.fillOrder == FILLORDER_LSB2MSB)
        TIFFReverseBits(raw.data(), static_cast<tmsize_t>(raw.size()));
      p.strips.push_back(std::move(raw));
    }
    pages.push_back(std::move(p));
  } while (TIFFReadDirectory(tif));
  pxlTiffClose(tif);
  return pages;
}

enum class Coding { Mh, MhWord, Mr, Mr2D, Mmr };

inline Coding codingOf(const TiffPage &p) {
  switch (p.compression) {
    case COMPRESSION_CCITTRLE:
      return Coding::Mh;
    case COMPRESSION_CCITTRLEW:
      return Coding::MhWord;
    case COMPRESSION_CCITTFAX3:
      return (p.t4Options & GROUP3OPT_2DENCODING) ? Coding::Mr2D : Coding::Mr;
    default:
      return Coding::Mmr;
  }
}

// Content pixel (x, y) of a framed 1-bit core image.
inline bool corePixel(const Pixr *image, int32_t x, int32_t y) {
  const uint8_t *row = image->framedData + static_cast<size_t>(y + 32) * image->bytesPerRow + 4;
  return row[(x >> 3) ^ 3] >> (7 - (x & 7)) & 1;
}

inline Bitmap toBitmap(const Pixr *image, bool invert = false) {
  Bitmap b = Bitmap::blank(image->width, image->height);
  for (int32_t y = 0; y < b.height; ++y)
    for (int32_t x = 0; x < b.width; ++x) b.set(x, y, corePixel(image, x, y) != invert);
  return b;
}

inline int32_t fromBitmap(PxlContext *ctx, const Bitmap &b, Pixr **out) {
  int32_t status = pxlCreateImage(ctx, b.width, b.height, 1, 0, 0, 32, out);
  if (status != 0) return status;
  for (int32_t y = 0; y < b.height; ++y) {
    uint8_t *row = (*out)->framedData + static_cast<size_t>(y + 32) * (*out)->bytesPerRow + 4;
    for (int32_t x = 0; x < b.width; ++x)
      if (b.pixel(x, y)) row[(x >> 3) ^ 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
  }
  return 0;
}

using DecodeEntry = int32_t (*)(PxlContext *, PxlCcittDecoderState *, int32_t, int32_t, int32_t,
                                const uint8_t *, int32_t, int32_t, int32_t, int32_t, Pixr *,
                                int32_t *, int32_t *, int32_t *, int32_t *);

inline DecodeEntry decoderOf(Coding c) {
  return c == Coding::Mmr                           ? pxlDecodeMmr
         : (c == Coding::Mh || c == Coding::MhWord) ? pxlDecodeMh
                                                    : pxlDecodeMr;
}

struct DecoderSetup {
  int32_t twoDimensional, alignment;
};
inline DecoderSetup decoderSetupOf(Coding c) {
  switch (c) {
    case Coding::Mh:
      return {0, PXL_CCITT_ALIGN_BYTE};
    case Coding::MhWord:
      return {0, PXL_CCITT_ALIGN_WORD};
    case Coding::Mr:
      return {0, PXL_CCITT_ALIGN_NONE};
    case Coding::Mr2D:
      return {1, PXL_CCITT_ALIGN_NONE};
    default:
      return {1, PXL_CCITT_ALIGN_NONE};
  }
}

// Decodes rows [firstRow, firstRow + rows) of `image` from `data` in chunks of `chunk` bytes
// (0: all at once); the last chunk is final. Returns the last status.
inline int32_t decodeStrip(PxlContext *ctx, Coding coding, const std::vector<uint8_t> &data,
                           size_t chunk, Pixr *image, int32_t width, int32_t firstRow, int32_t rows,
                           int32_t *consumedTotal = nullptr) {
  int32_t size = 0;
  if (pxlGetCcittDecoderSize(ctx, width, &size) != 0) return -1;
  std::vector<uint64_t> buffer((static_cast<size_t>(size) + 7) / 8);
  auto *state = reinterpret_cast<PxlCcittDecoderState *>(buffer.data());
  const DecoderSetup setup = decoderSetupOf(coding);
  if (pxlInitCcittDecoder(ctx, state, width, setup.twoDimensional, setup.alignment, size) != 0)
    return -1;
  const DecodeEntry decode = decoderOf(coding);
  if (chunk == 0) chunk = std::max<size_t>(data.size(), 1);
  size_t offset = 0;
  int32_t resume = 0, total = 0, status = 0;
  static const uint8_t kEmpty[1] = {0};
  for (;;) {
    const size_t n = std::min(chunk, data.size() - offset);
    const bool final = offset + n >= data.size();
    int32_t done = -1, usedUp = -1, percent = -1, consumed = -1;
    status = decode(ctx, state, firstRow, rows, 0, data.empty() ? kEmpty : data.data() + offset,
                    static_cast<int32_t>(n), resume, resume, final, image, &done, &usedUp, &percent,
                    &consumed);
    total += consumed;
    if (status != PXL_ERR_OVERFLOW || final) break;
    if (consumed != static_cast<int32_t>(n) || usedUp != 1 || done != 0) return -2;
    offset += n;
    resume = 1;
  }
  if (consumedTotal) *consumedTotal = total;
  return status;
}

// Decodes a whole TIFF page with our decoders; status of the first failing strip or 0.
inline int32_t decodePage(PxlContext *ctx, const TiffPage &page, size_t chunk, Pixr **out) {
  int32_t status = pxlCreateImage(ctx, static_cast<int32_t>(page.width),
                                  static_cast<int32_t>(page.height), 1, 0, 0, 32, out);
  if (status != 0) return status;
  const Coding coding = codingOf(page);
  for (size_t s = 0; s < page.strips.size(); ++s) {
    const int32_t first = static_cast<int32_t>(s * page.rowsPerStrip);
    const int32_t rows = std::min<int32_t>(static_cast<int32_t>(page.rowsPerStrip),
                                           static_cast<int32_t>(page.height) - first);
    if (rows <= 0) break;
    status = decodeStrip(ctx, coding, page.strips[s], chunk, *out, static_cast<int32_t>(page.width),
                         first, rows);
    if (status != 0) return status;
  }
  return 0;
}

// Encodes all rows of an image with our encoder into one strip, through output buffers of
// `chunk` bytes; MMR data end with an EOFB.
inline std::vector<uint8_t> encodeImage(PxlContext *ctx, Coding coding, Pixr *image, size_t chunk,
                                        int32_t k = 4) {
  int32_t size = 0;
  std::vector<uint8_t> out;
  if (pxlGetCcittEncoderSize(ctx, image->width, &size) != 0) return out;
  std::vector<uint64_t> buffer((static_cast<size_t>(size) + 7) / 8);
  auto *state = reinterpret_cast<PxlCcittEncoderState *>(buffer.data());
  const int32_t twoD = coding == Coding::Mr2D;
  const int32_t alignment = coding == Coding::Mh       ? PXL_CCITT_ALIGN_BYTE
                            : coding == Coding::MhWord ? PXL_CCITT_ALIGN_WORD
                            : coding == Coding::Mmr    ? PXL_CCITT_ALIGN_NONE
                                                       : PXL_CCITT_ALIGN_BYTE;
  if (pxlInitCcittEncoder(ctx, state, image->width, twoD, twoD ? k : 0, alignment, size) != 0)
    return out;
  std::vector<uint8_t> buf(chunk);
  int32_t resume = 0;
  for (;;) {
    int32_t done = 0, full = 0, percent = 0, written = 0, status;
    if (coding == Coding::Mmr)
      status =
          pxlEncodeMmr(ctx, state, image, 0, image->height, buf.data(), static_cast<int32_t>(chunk),
                       resume, resume, &done, &full, &percent, &written);
    else if (coding == Coding::Mh || coding == Coding::MhWord)
      status =
          pxlEncodeMh(ctx, state, image, 0, image->height, buf.data(), static_cast<int32_t>(chunk),
                      resume, resume, 0, &done, &full, &percent, &written);
    else
      status =
          pxlEncodeMr(ctx, state, image, 0, image->height, buf.data(), static_cast<int32_t>(chunk),
                      resume, resume, &done, &full, &percent, &written);
    if (status != 0) return {};
    out.insert(out.end(), buf.begin(), buf.begin() + written);
    resume = 1;
    if (done) break;
  }
  auto drain = [&](auto call) {
    for (;;) {
      int32_t written = 0;
      const int32_t status = call(&written);
      out.insert(out.end(), buf.begin(), buf.begin() + written);
      if (status != PXL_ERR_OVERFLOW) return status;
    }
  };
  if (coding == Coding::Mmr)
    for (int i = 0; i < 2; ++i)
      drain([&](int32_t *w) {
        return pxlWriteCcittEol(ctx, state, 2, 0, buf.data(), static_cast<int32_t>(chunk), w);
      });
  drain([&](int32_t *w) {
    return pxlFlushCcittEncoder(ctx, state, buf.data(), static_cast<int32_t>(chunk), w);
  });
  return out;
}

}  // namespace ccitttest

#endif
