// Test support for fax coders: hand-written code as bit strings, and libtiff's own decoding
// of such code (the reference the decoders of this code base are held to).
#ifndef TESTKIT_FAX_CODE_H
#define TESTKIT_FAX_CODE_H

#include <tiffio.h>

#include <cstdint>
#include <string>
#include <vector>

#include "testkit_files.h"

namespace norvtest {

// Bytes of a bit string such as "0001 1" (blanks ignored), the last byte filled with zeros.
inline std::vector<uint8_t> bits(const std::string &text) {
  std::vector<uint8_t> out;
  int n = 0;
  for (char c : text) {
    if (c != '0' && c != '1') continue;
    if (n % 8 == 0) out.push_back(0);
    if (c == '1') out.back() |= static_cast<uint8_t>(0x80 >> (n % 8));
    ++n;
  }
  return out;
}

// Writes `code` as the one strip of a width x height page of the compression
// (COMPRESSION_CCITTFAX3 with the T4Options, or COMPRESSION_CCITTFAX4), PhotometricInterpretation
// 0 (1 = black as coded); false when libtiff fails.
inline bool writeFaxTiff(const std::string &path, const std::vector<uint8_t> &code, int width,
                         int height, uint16_t compression, uint32_t t4Options = 0) {
  TIFF *out = TIFFOpen(path.c_str(), "w");
  if (out == nullptr) return false;
  TIFFSetField(out, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(out, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(out, TIFFTAG_COMPRESSION, compression);
  if (compression == COMPRESSION_CCITTFAX3) TIFFSetField(out, TIFFTAG_GROUP3OPTIONS, t4Options);
  TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, height);
  std::vector<uint8_t> raw = code;
  const bool ok = TIFFWriteRawStrip(out, 0, raw.data(), static_cast<tmsize_t>(raw.size())) >= 0;
  TIFFClose(out);
  return ok;
}

// The rows ('#' for a set bit, '.' for a clear one) libtiff decodes from the strips of a
// bilevel TIFF page; empty when libtiff refuses a strip.
inline std::vector<std::string> libtiffPageRows(const std::string &path) {
  TIFF *in = TIFFOpen(path.c_str(), "r");
  if (in == nullptr) return {};
  uint32_t width = 0, height = 0, rowsPerStrip = 0;
  TIFFGetField(in, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(in, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(in, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  const size_t rowBytes = (width + 7) / 8;
  std::vector<uint8_t> pixels(rowBytes * height);
  bool ok = rowsPerStrip > 0;
  for (uint32_t strip = 0; ok && strip < TIFFNumberOfStrips(in); ++strip) {
    const size_t at = size_t{strip} * rowsPerStrip * rowBytes;
    ok = at < pixels.size() && TIFFReadEncodedStrip(in, strip, pixels.data() + at,
                                                    static_cast<tmsize_t>(pixels.size() - at)) >= 0;
  }
  TIFFClose(in);
  if (!ok) return {};
  std::vector<std::string> rows;
  for (uint32_t y = 0; y < height; ++y) {
    std::string row;
    for (uint32_t x = 0; x < width; ++x)
      row += (pixels[y * rowBytes + x / 8] >> (7 - x % 8)) & 1 ? '#' : '.';
    rows.push_back(row);
  }
  return rows;
}

// The rows libtiff decodes from `code` as the one strip of such a page ('#' black).
inline std::vector<std::string> libtiffFaxRows(const std::vector<uint8_t> &code, int width,
                                               int height, uint16_t compression,
                                               uint32_t t4Options = 0) {
  TempFile file("fax");
  if (!writeFaxTiff(file.name(), code, width, height, compression, t4Options)) return {};
  return libtiffPageRows(file.name());
}

// T.6 code of three 8-pixel lines in which a line holds an empty run that the next line's
// changing elements count: a pass code right after it lands only where libtiff puts it if the
// decoder keeps the empty run.
struct EmptyRunCode {
  const char *name;
  const char *code;
};
inline constexpr EmptyRunCode kEmptyRunCodes[] = {
    // H with white 0 (00110101) and black 0 (0000110111) at the line start, V0; P, V0;
    // H white 4 (1011) black 4 (011).
    {"horizontal runs of 0", "001 00110101 0000110111 1  0001 1  001 1011 011"},
    // H white 2 (0111) black 2 (11), V0; V0, VL2 onto a0 (000010), V0; P, H 2 2, V0.
    {"vertical onto a0", "001 0111 11 1  1 000010 1  0001 001 0111 11 1"},
};

// T.4 code of three 8-pixel lines some of which come without an EOL before them (as some fax
// software writes them), with the rows the code describes ('#' black). A line whose first
// code follows the previous line directly is decoded there; zeros before an EOL are fill.
// Two-dimensional lines without an EOL keep the coding the last tag bit named.
struct LinesWithoutEolsCode {
  const char *name;
  uint32_t t4Options;
  const char *code;
  const char *rows[3];
};
inline constexpr LinesWithoutEolsCode kLinesWithoutEols[] = {
    // Lines: white 3 (1000) black 2 (11) white 3; white 0 (00110101) black 8 (000101);
    // white 0, black 1 (010), white 6 (1110), black 1. EOL: 000000000001.
    {"an EOL before the first line only",
     0,
     "000000000001  1000 11 1000  00110101 000101  00110101 010 1110 010",
     {"...##...", "########", "#......#"}},
    {"no EOL at all",
     0,
     "1000 11 1000  00110101 000101  00110101 010 1110 010",
     {"...##...", "########", "#......#"}},
    {"fill and an EOL before the second line only",
     0,
     "1000 11 1000  0000 000000000001 00110101 000101  00110101 010 1110 010",
     {"...##...", "########", "#......#"}},
    // EOL + 1: a one-dimensional line; EOL + 0: V0 V0 V0 copies it; then without an EOL,
    // VR1 (011) VR1 V0 moves its run right by one.
    {"a two-dimensional line without an EOL",
     1,
     "0000000000011 1000 11 1000  0000000000010 1 1 1  011 011 1",
     {"...##...", "...##...", "....##.."}},
};

}  // namespace norvtest

#endif
