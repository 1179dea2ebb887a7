// The fax decoder: decoder records, the loop over coded lines and the C entries.
//
// Before each line, EOLs (eleven or more zeros and a one; with T.4 two-dimensional coding a
// tag bit follows, 1 when the next line is one-dimensional) are taken in; six in a row end
// T.4 data (RTC), two end T.6 data (EOFB), and data that has no one bit left ends too. Later
// lines stay blank. Each line is decoded into changing elements (ccitt_decode_line.cpp), its
// black runs are ORed into the target row, clipped to the target's columns, and it becomes
// the reference of the next line.
//
// Failures: 1 when the line buffers cannot be allocated, 2 for bad arguments, 107 for codes
// that match nothing or changes that go backwards; each is reported through the state's sink.
#include <algorithm>

#include "ccitt_decode.h"
#include "ccitt_internal.h"
#include "fax_decode.h"
#include "qtz_internal.h"

struct CcittDecoder {
  QtzState *state;
  void *userWord;
  int32_t *lines[2];  // the coding and the reference line
  int32_t capacity;   // entries of each line buffer
};

namespace {

enum Coding : int32_t { kT6 = -1, kT4OneDimensional = 0, kT4TwoDimensional = 1 };

constexpr int32_t kCorrupt = 107;

// Where decoded lines go: the clipped column range [lo, hi) in coded columns.
struct Target {
  uint32_t *rows;
  int32_t wordsPerLine;
  int32_t x;
  int32_t lo, hi;
  int32_t lines;
};

int32_t checkArguments(uint32_t *rows, int32_t width, int32_t height, int32_t wordsPerLine,
                       int32_t x, int32_t rightClip, int32_t bottomClip, const uint8_t *data,
                       int32_t length, Target *target) {
  if (width <= 0 || width > fax::kMaxWidth || height < 0 || wordsPerLine <= 0 || length < 0 ||
      (data == nullptr && length > 0) || (rows == nullptr && height > 0 && bottomClip >= 0))
    return QTZ_ERR_PARAM;
  const int64_t rowEnd = std::min<int64_t>(int64_t{wordsPerLine} * 32, int64_t{rightClip} + 1);
  target->rows = rows;
  target->wordsPerLine = wordsPerLine;
  target->x = x;
  target->lo = static_cast<int32_t>(std::clamp<int64_t>(-int64_t{x}, 0, width));
  target->hi = static_cast<int32_t>(std::clamp<int64_t>(rowEnd - x, target->lo, width));
  target->lines = bottomClip < 0 ? 0 : std::min(height, bottomClip + 1);
  return 0;
}

int32_t growLines(CcittDecoder *d, int32_t width) {
  const int32_t needed = width + fax::kSentinels;
  if (d->capacity >= needed) return 0;
  for (int32_t *&line : d->lines) {
    qtz::release(d->state, line);
    line = nullptr;
  }
  d->capacity = 0;
  for (int32_t *&line : d->lines) {
    line = static_cast<int32_t *>(qtz::allocate(d->state, sizeof(int32_t) * needed));
    if (line == nullptr) return qtz::report(d->state, QTZ_ERR_NO_MEMORY);
  }
  d->capacity = needed;
  return 0;
}

void paintLine(const Target &t, uint32_t *row, const fax::Changes &line) {
  for (int32_t i = 0; i < line.count; i += 2) {
    const int32_t from = std::max(line.at[i], t.lo), to = std::min(line.at[i + 1], t.hi);
    if (from < to) fax::setBits(row, t.x + from, t.x + to);
  }
}

// Takes in the EOLs before a line. Returns true when the data has ended (RTC, EOFB, or no
// one bit left); sets oneDimensional from the tag bit of T.4 two-dimensional coding.
bool takeEols(fax::Reader &reader, int32_t coding, bool &oneDimensional) {
  const int32_t endRun = coding == kT6 ? 2 : 6;
  int32_t eols = 0;
  for (;;) {
    reader.refill();
    const int zeros = reader.leadingZeros();
    if (zeros < 11) return false;
    if (zeros == 64) {  // a long fill, or nothing but zeros up to the end
      if (reader.dataLoaded()) return true;
      reader.consume(56);
      continue;
    }
    reader.consume(zeros);  // up to 63: two steps keep each shift below 64
    reader.consume(1);
    if (coding == kT4TwoDimensional) oneDimensional = reader.bit() != 0;
    if (++eols == endRun) return true;
  }
}

// The end codes after the last line: up to six EOLs (two for T.6).
void takeEndCodes(fax::Reader &reader, int32_t coding) {
  for (int32_t i = 0; i < (coding == kT6 ? 2 : 6); ++i) {
    reader.refill();
    const int zeros = reader.leadingZeros();
    if (zeros < 11 || zeros == 64) return;
    reader.consume(zeros);  // up to 63: two steps keep each shift below 64
    reader.consume(1);
    if (coding == kT4TwoDimensional) reader.bit();
  }
}

int32_t decodeLines(CcittDecoder *d, int32_t coding, const Target &t, int32_t width,
                    bool countEndCodes, fax::Reader &reader) {
  if (int32_t status = growLines(d, width); status != 0) return status;
  fax::Changes codingLine{d->lines[0], 0};
  fax::Changes referenceLine{d->lines[1], 0};
  referenceLine.close(width);
  bool oneDimensional = coding == kT4OneDimensional;
  bool uncompressed = false;
  bool ended = false;
  uint32_t *row = t.rows;
  for (int32_t line = 0; line < t.lines; ++line, row += t.wordsPerLine) {
    ended = takeEols(reader, coding, oneDimensional);
    if (ended) break;
    const fax::LineEnd end =
        oneDimensional
            ? fax::decodeLine1D(reader, width, codingLine, uncompressed)
            : fax::decodeLine2D(reader, width, referenceLine.at, codingLine, uncompressed);
    if (end == fax::LineEnd::kBadCode)
      return qtz::reportText(d->state, kCorrupt, "invalid code in fax data");
    codingLine.close(width);
    paintLine(t, row, codingLine);
    std::swap(codingLine, referenceLine);
  }
  if (countEndCodes && !ended) takeEndCodes(reader, coding);
  return 0;
}

// Checks the arguments and decodes; *bytesUsed receives the bytes up to the last bit used.
int32_t decode(CcittDecoder *decoder, int32_t coding, uint32_t *rows, int32_t width, int32_t height,
               int32_t wordsPerLine, int32_t x, int32_t rightClip, int32_t bottomClip,
               const uint8_t *data, int32_t length, int32_t countEndCodes, int32_t *bytesUsed) {
  if (decoder == nullptr) return QTZ_ERR_NULL;
  Target target{};
  if (checkArguments(rows, width, height, wordsPerLine, x, rightClip, bottomClip, data, length,
                     &target) != 0)
    return qtz::report(decoder->state, QTZ_ERR_PARAM);
  fax::Reader reader(data, length);
  const int32_t status = decodeLines(decoder, coding, target, width, countEndCodes != 0, reader);
  *bytesUsed = reader.bytesUsed();
  return status;
}

// The C entries over a caller's decoder: count receives the bytes left over.
int32_t decodeWith(CcittDecoder *decoder, int32_t coding, uint32_t *rows, int32_t width,
                   int32_t height, int32_t wordsPerLine, int32_t x, int32_t rightClip,
                   int32_t bottomClip, const uint8_t *data, int32_t length, int32_t countEndCodes,
                   int32_t *count) {
  int32_t used = 0;
  const int32_t status = decode(decoder, coding, rows, width, height, wordsPerLine, x, rightClip,
                                bottomClip, data, length, countEndCodes, &used);
  if (status == 0 && count != nullptr) *count = length - used;
  return status;
}

}  // namespace

int32_t ccittNewDecoder(CcittDecoder **decoder, QtzState *state, void *userWord) {
  if (decoder == nullptr || state == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  auto *d = static_cast<CcittDecoder *>(qtz::allocateZeroed(state, 1, sizeof(CcittDecoder)));
  if (d == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  d->state = state;
  d->userWord = userWord;
  *decoder = d;
  return 0;
}

void ccittFreeDecoder(CcittDecoder **decoder) {
  if (decoder == nullptr || *decoder == nullptr) return;
  CcittDecoder *d = *decoder;
  for (int32_t *line : d->lines) qtz::release(d->state, line);
  qtz::release(d->state, d);
  *decoder = nullptr;
}

int32_t g4DecodeC(CcittDecoder *decoder, uint32_t *rows, int32_t width, int32_t height,
                  int32_t wordsPerLine, int32_t x, int32_t rightClip, int32_t bottomClip,
                  const uint8_t *data, int32_t length, int32_t countEndCodes, int32_t *count) {
  return decodeWith(decoder, kT6, rows, width, height, wordsPerLine, x, rightClip, bottomClip, data,
                    length, countEndCodes, count);
}

int32_t g3_1DDecodeC(CcittDecoder *decoder, uint32_t *rows, int32_t width, int32_t height,
                     int32_t wordsPerLine, int32_t x, int32_t rightClip, int32_t bottomClip,
                     const uint8_t *data, int32_t length, int32_t countEndCodes, int32_t *count) {
  return decodeWith(decoder, kT4OneDimensional, rows, width, height, wordsPerLine, x, rightClip,
                    bottomClip, data, length, countEndCodes, count);
}

int32_t g3_2DDecodeC(CcittDecoder *decoder, uint32_t *rows, int32_t width, int32_t height,
                     int32_t wordsPerLine, int32_t x, int32_t rightClip, int32_t bottomClip,
                     const uint8_t *data, int32_t length, int32_t countEndCodes, int32_t *count) {
  return decodeWith(decoder, kT4TwoDimensional, rows, width, height, wordsPerLine, x, rightClip,
                    bottomClip, data, length, countEndCodes, count);
}

int32_t g4DecodeIntoBitmap(uint32_t *rows, int32_t width, int32_t height, int32_t wordsPerLine,
                           int32_t x, int32_t rightClip, int32_t bottomClip, const uint8_t *data,
                           int32_t length, int32_t countEndCodes, int32_t *count, QtzState *state) {
  CcittDecoder *decoder = nullptr;
  if (int32_t status = ccittNewDecoder(&decoder, state, nullptr); status != 0) return status;
  int32_t used = 0;
  const int32_t status = decode(decoder, kT6, rows, width, height, wordsPerLine, x, rightClip,
                                bottomClip, data, length, countEndCodes, &used);
  ccittFreeDecoder(&decoder);
  if (status == 0 && count != nullptr) *count = used;
  return status;
}
