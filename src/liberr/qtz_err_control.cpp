// The system-wide table of status texts (Qtz_getErrStr) and the rule by which a library
// reports a failure through its state's error sink.
//
// Look-up order: negative codes (-1 "Undefined error", others "Invalid error code"); 12000 to
// 12999, the C library's strerror text of (code - 12000); 13004 to 13999, "Win32 error"; the
// image core's own codes, whose texts the core keeps (pxlStatusText) so that they exist only
// once; then the table below, searched by binary search. Any other code, and every code from
// 14000 on, gives "Invalid error code". The texts are kept exactly as the codes' users expect
// them, odd spellings, double blanks and trailing blanks included.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "qtz_internal.h"

namespace {

constexpr const char *kInvalid = "Invalid error code";
constexpr const char *kBummer = "Internal error encountered, bummer";
// What pxlStatusText answers for a code the image core does not use.
constexpr const char *kCoreUnknown = "Unknown error";

struct Entry {
  int32_t code;
  const char *text;
};

// Codes whose texts are not the image core's, in ascending order.
constexpr Entry kTable[] = {
    {4, kBummer},
    {10, "No on pixels in this source word"},
    {11, "Two objects should have been the same length"},
    {16, "Image is too wide"},
    {17, "Out of bounds error"},
    {18, "Error during read"},
    {19, "Error during write"},
    {20, "Reading/scanning early end found"},
    {21, "No image data found"},
    {22, "Illegal type"},
    {23, "Error during seek"},
    {24, "Illegal version"},
    {25, "Error during de/compression"},
    {26, "Bad file length"},
    {27, "Couldn't open data pipe"},
    {28, "Bytes per line not a multiple of 4"},
    {29, "Multiple image planes not supported"},
    {30, "Type not supported"},
    {31, "Desired number of tiles not supported"},
    {32, "Desired de/compression type not supported"},
    {33, "Desired frame size not supported"},
    {34, "Desired number of channels not supported"},
    {35, "Dimensions required to be equal"},
    {36, "Depths required to be equal"},
    {37, "Channels required to be equal"},
    {103, "Illegal version"},
    {105, "Multiple image planes not supported"},
    {107, "Error during de/compression"},
    {109, "Desired frame size not supported"},
    {110, "Desired number of channels not supported"},
    {114, "Regression test failed"},
    {115, "Illegal reduction factor"},
    {116, "Image dimensions not correct ratio"},
    {117, "Desired expansion not supported"},
    {119, "Fixed-length array is full"},
    {122, "Pointer to pIPState was NULL"},
    {2000, "Error during read"},
    {2001, "Error during write"},
    {2002, "Error during seek"},
    {2003, "Bad file length"},
    {2004, "Couldn't open data pipe"},
    {2005, "Reading/scanning early end found"},
    {2006, "Desired number of tiles not supported"},
    {2007, "File is not CCITT Group 4"},
    {2008, "TIFF strip not filled"},
    {3000, "Zimark: Invalid error code"},
    {3001, "Zimark: Unable to find center of glyph"},
    {3002, "Zimark: Unable to find direction of glyph"},
    {3003, "Zimark: Not enough glyphs horizontally"},
    {3004, "Zimark: Not enough glyphs vertically"},
    {3005, "Zimark: Expected glyph not found"},
    {3006, "Zimark: Expected glyph rectangle not found"},
    {3007, "Zimark: Unable to read data file"},
    {3008, "Zimark: Data file corrupted"},
    {3009, "Zimark: Insufficient synchronization bits found"},
    {3010, "Zimark: Rotation angle too large"},
    {3011, "Zimark: CRC incorrect"},
    {3012, "Zimark: Decode failed"},
    {3013, "Zimark: Unable to find vertical synch"},
    {3014, "Zimark: Containing rectangle too small"},
    {3015, "Zimark: Image too small"},
    {3016, "Zimark: Image rotated 90 degrees"},
    {3017, "Zimark: Image rotated 180 degrees"},
    {3018, "Zimark: Image rotated 270 degrees"},
    {3019, "Zimark: Rectangle supplied not found"},
    {3020, "Zimark: Invalid layout handle"},
    {3021, "Zimark: Invalid region handle"},
    {3022, "Zimark: invalid ECC level"},
    {3023, "Zimark: Occlusion already specified"},
    {3024, "Zimark: Occlusion size too small"},
    {3025, "Zimark: Occlusion spans rectangle"},
    {3026, "Zimark: Required rectangle larger than given dimensions"},
    {3027, "Zimark: Desired alignment not supported"},
    {3028, "Zimark: Required rectangle too large"},
    {3029, "Zimark: Client allocation region handle too small"},
    {3030, "Zimark: Invalid byte count"},
    {3031, "Zimark: Invalid glyph size"},
    {3032, "Zimark: Too many occlusions"},
    {3033, "Zimark: Occlusion not found"},
    {3034, "Zimark: Multiple non-contiguous regions in glyph"},
    {3035, "Zimark: Illegal glyph block dimensions"},
    {4000, kBummer},
    {4002, kBummer},
    {5000, "Nothing found"},
    {6000, "Invalid rectangle count"},
    {7000, kInvalid},
    {7001, "Bad reduction factor"},
    {7002, "Bad reduction"},
    {7004, "Reduction not supported"},
    {7005, "Wrong dimensions specified"},
    {7006, "Too much data"},
    {10000, "File not found"},
    {10001, "Internal buffer overflow"},
    {10002, "Error within Pixlab"},
    {10003, "Qtz assert failure"},
    {10004, "Invalid command line"},
    {10005, "Insufficient Memory"},
    {10006, "Dorar! Internal consistency check failure"},
    {10007, "ADT:  Null stack requested"},
    {10008, "ADT:  Smaller stack requested"},
    {10009, "RovoVivud:  x and y resolutions differ;  can't scale background."},
    {10010, "RovoVivud:  Call outside of initialization stage."},
    {10011, "RovoVivud:  Call outside of find text stage."},
    {10012, "Jpeg6b : Corrupt input data. "},
    {10013, "Jpeg6b : Out of Memory error. "},
    {10014, "Jpeg6b : Not a JPEG file at all."},
    {10015, "Jpeg6b : File IO Error. "},
    {10016, "TIFF-FX dictionary limit of 5 has been reached"},
    {11000, "Ovr: No error"},
    {11001, "Ovr: Unable to allocate memory"},
    {11002, "Ovr: Invalid parameter"},
    {11006, "Ovr: Unsupported feature"},
    {11007, "Ovr: Buffer overflow"},
    {11012, "Ovr: Internal Error"},
    {11014, "Ovr: Client requested abort"},
    {11018, "Ovr: 0-page TIFF"},
    {11019, "Ovr: File does not comform to TIFF"},
    {11020, "Ovr: File does not comform to OVRF"},
    {11021, "Ovr: Function called out-of-sequence"},
    {11022, "Ovr: File not opened in BINARY/READ/WRITE"},
    {11023, "Ovr: File format/data is corrupted"},
    {13000, "Ovr: Error reading"},
    {13001, "Ovr: Error writing"},
    {13002, "Ovr: Error seeking"},
    {13003, "Ovr: Error seeking to EOF"},
};

constexpr bool ascending() {
  for (size_t i = 1; i < std::size(kTable); ++i)
    if (kTable[i - 1].code >= kTable[i].code) return false;
  return true;
}
static_assert(ascending(), "the text table must be sorted by code");

}  // namespace

extern "C" const char *Qtz_getErrStr(int32_t code) {
  if (code == -1) return "Undefined error";
  if (code < 0 || code >= 14000) return kInvalid;
  if (code >= 12000 && code <= 12999) return std::strerror(code - 12000);
  if (code >= 13004) return "Win32 error";
  const char *core = pxlStatusText(code);
  if (std::strcmp(core, kCoreUnknown) != 0) return core;
  const Entry *entry = std::lower_bound(std::begin(kTable), std::end(kTable), code,
                                        [](const Entry &e, int32_t c) { return e.code < c; });
  if (entry != std::end(kTable) && entry->code == code) return entry->text;
  return kInvalid;
}

namespace qtz {

int32_t reportTo(QtzErrPrinter printer, void *stream, int32_t code) {
  if (printer != nullptr) printer(stream, code, Qtz_getErrStr(code));
  return code;
}

int32_t report(const QtzState *state, int32_t code) {
  if (state == nullptr || state->errSink == nullptr) return code;
  return reportTo(state->errSink->printer, state->errSink->stream, code);
}

int32_t reportText(const QtzState *state, int32_t code, const char *text) {
  if (state == nullptr || state->errSink == nullptr || state->errSink->printer == nullptr)
    return code;
  size_t n = std::strlen(text);
  while (n > 0 && text[n - 1] == '\n') --n;
  state->errSink->printer(state->errSink->stream, code, "%.*s", static_cast<int>(n), text);
  return code;
}

}  // namespace qtz
