// TIFF codec table and the hooks that run the image core's own row coders for the bilevel
// schemes: CCITT RLE (Compression 2) and RLE/W (32771) through the modified Huffman coder,
// Group 3 (3) through the T.4 coder, Group 4 (4) through the T.6 coder, PackBits (32773) and
// the private Lossy Dither scheme (34670). These coders work straight on the rows of a framed
// core image: a strip or tile is read raw from the file and decoded into rows [first row,
// first row + count) of the image, and rows are encoded into a raw buffer that is appended to
// the strip whenever it fills. libtiff sees only raw strips (its public interface), so the
// coder record below stands for the codec state and flags that a file record would carry.
//
// Codec table (first match wins): "Null" 1, "LZW" 5, "PackBits" 32773, "ThunderScan" 32809,
// "NeXT" 32766, "JPEG" 6 (not implemented: reading it fails), "CCITT RLE" 2, "CCITT RLE/W"
// 32771, "CCITT Group3" 3, "CCITT Group4" 4, "Lossy Dither" 34670, and the schemes libtiff
// decodes itself beside no compression and LZW: "JPEG" 7, "Deflate" 8 and 32946.
//
// Coder parameters from the directory: alignment 0 (byte) for Compression 2, 1 (16-bit word)
// for 32771, for 3 byte when Group3Options has the fill-bits bit (4) else none, none for the
// rest; two-dimensional lines for 3 with Group3Options bit 0; K (encoding two-dimensional
// Group 3) 4 when YResolution (times 2.54 for ResolutionUnit 3, single precision) exceeds
// 150, else 2. Group 4 strips end with two EOLs and padding to a byte, Group 3 strips with
// padding, Lossy Dither strips with two EOLs and padding; RLE strips are flushed as well (the
// coder holds whole bytes of the last rows until it is flushed).
//
// The hooks run the coders' inner layer: they neither poll progress nor report (the reader
// and writer do both). Failures return false (encoding: 0, or -1 when the file write failed).
#ifndef NORV_TIFFCODEC_H
#define NORV_TIFFCODEC_H

#include <tiffio.h>

#include <cstdint>

#include "pxl_image.h"

namespace pxl::tiffcodec {

// Flags of a coder record (the values a TIFF file record's flag word used for them).
enum : uint32_t {
  kDirectEncode = 0x800,   // the codec encodes straight from a core image
  kDirectDecode = 0x1000,  // the codec decodes straight into a core image
  kDirectImage = 0x2000,   // the reader or writer hands over a core image
};

enum class Scheme : int32_t {
  kLibrary,         // libtiff decodes and encodes the data into byte buffers
  kNotImplemented,  // reading or writing the data fails
  kMh,              // modified Huffman rows (RLE, RLE/W)
  kMr,              // T.4 with EOLs (Group 3)
  kMmr,             // T.6 (Group 4)
  kLossyDither,
  kPackBits,
};

struct Codec {
  const char *name;
  uint16_t compression;
  Scheme scheme;
  int32_t options;  // the codec option bits (8: rows end on 16-bit words)
};

// The table row of a Compression value, or null for one the table does not hold.
const Codec *findCodec(uint32_t compression);

// The coding state of one file's current directory. Set up with setUp, released with
// cleanUp (the destructor calls it).
struct Coder {
  PxlContext *ctx = nullptr;
  TIFF *tif = nullptr;
  const Codec *codec = nullptr;
  uint32_t flags = 0;
  void *state = nullptr;  // the row coder's state record, made on first use
  bool encoding = false;  // which direction the state record serves
  int32_t width = 0;      // the state's row width and depth
  int32_t depth = 0;
  uint8_t *raw = nullptr;
  int64_t rawCapacity = 0;
  int64_t rawSize = 0;  // encoding: 0 chooses the strip size (8 KiB to 1 MiB)
  int64_t rawCount = 0;
  int64_t rawPosition = 0;
  int64_t loaded = -1;  // the strip whose bytes the buffer holds (scanline decoding)
  int32_t loadedRow = 0;
  int32_t rowsDone = 0;
  int32_t brokenRow = -1;  // fax data of the loaded strip broke off at this row (-1: it did not)

  Coder() = default;
  Coder(const Coder &) = delete;
  Coder &operator=(const Coder &) = delete;
  ~Coder();
};

// Looks up the directory's Compression and prepares the coder for it: the flags of a
// core-coder scheme are set. False for a Compression the table does not hold (the file's
// context gets libtiff's message "Unknown data compression algorithm").
bool setUp(Coder *coder, PxlContext *ctx, TIFF *tif);
void cleanUp(Coder *coder);

// Direct decoding (kDirectImage must be set): every row of a strip, of a single tile (as
// many rows as the image has, at most the tile's), or one row read in order.
bool decodeStrip(Coder *coder, uint32_t strip, Pixr *image);
bool decodeTile(Coder *coder, uint32_t tile, Pixr *image);
bool decodeRow(Coder *coder, uint32_t row, Pixr *image);

// Encodes rows [firstRow, firstRow + rowCount) of the image as strip `strip`: 1 success,
// 0 coder failure, -1 the file write failed.
int encodeStrip(Coder *coder, uint32_t strip, Pixr *image, int32_t firstRow, int32_t rowCount);

// Reports that the scheme has no decoder ("%s %s decoding is not implemented").
void reportNotImplemented(Coder *coder, const char *method);

}  // namespace pxl::tiffcodec

#endif
