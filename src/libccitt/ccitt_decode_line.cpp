// Decoding one coded line into changing elements (ITU-T T.4 4.1 and 4.2, T.6 2.2).
//
// One-dimensional lines alternate white and black runs from a white one; each run is a chain
// of make-up codes closed by a terminating code. Two-dimensional lines code each change
// against the reference line: pass (0001), horizontal (001 and two runs) and the seven
// vertical modes. Codes are looked up in the code tables of the image core's CCITT module
// (12 bits for white runs, 13 for black, 7 for modes). The extension code of either kind
// enters uncompressed mode (T.4 Annex A): runs of up to four zeros closed by a one, five
// zeros, and exit codes that end with the colour of the next run.
//
// Corrupt data cannot stall: every step consumes bits and a0 never moves left; bits that
// begin no code end the line, quietly when the next 12 bits are zeros or an EOL (fill, an
// EOL, the end of the data), as kBadCode otherwise, and so does a line of more changes than
// its width (empty runs are kept, see fax_lines.h). Positions past the width are clipped.
#include "fax_decode.h"

#include <algorithm>

#include "pxl_ccitt_codes.h"

namespace fax {
namespace {

constexpr uint32_t kExtension2D = 0x00F;  // 0000001 111, 10 bits
constexpr uint32_t kExtension1D = 0x00F;  // 00000000 1111, 12 bits
// A run longer than any line stays at this length, however many make-up codes follow.
constexpr int32_t kRunCap = 1 << 28;

// Reads a run of the colour; false when the bits begin no code of that colour.
inline bool readRun(Reader &reader, int32_t colour, int32_t *run) {
  const uint16_t *table = colour ? ccitt::blackLookup() : ccitt::whiteLookup();
  const int bits = colour ? ccitt::kBlackBits : ccitt::kWhiteBits;
  int32_t total = 0;
  for (;;) {
    reader.ensure32();
    const uint16_t entry = table[reader.peek(bits)];
    const int length = ccitt::entryLength(entry);
    if (length == 0) return false;
    reader.consume(length);
    const int32_t value = ccitt::entryValue(entry);
    total = std::min(total + value, kRunCap);
    if (value < 64) {
      *run = total;
      return true;
    }
  }
}

// The end of a line whose next bits begin no code. A black run in progress ends at `at`.
LineEnd endWithoutCode(Reader &reader, int32_t width, Changes &coding, int32_t at) {
  if (reader.peek(12) > 1) return LineEnd::kBadCode;
  if (coding.colourAfterLast() == 1 && !coding.push(at, width)) return LineEnd::kBadCode;
  return LineEnd::kShort;
}

enum class Uncompressed { kExit, kLineFull, kBadCode };

// Uncompressed-mode code words from *position until an exit code or the end of the line.
Uncompressed decodeUncompressed(Reader &reader, int32_t width, Changes &coding, int32_t *position) {
  int32_t p = *position;
  // Pixels of one colour from p on; a change is recorded where the colour differs.
  auto paint = [&](int32_t colour, int32_t n) {
    if (n == 0 || p >= width) return;
    if (coding.colourAfterLast() != colour) coding.push(p, width);
    p = std::min(p + n, width);
  };
  while (p < width) {
    reader.refill();
    const int zeros = reader.leadingZeros();
    if (zeros <= 4) {  // 0..4 zeros, then a one: that many white pixels and a black one
      reader.consume(zeros + 1);
      paint(0, zeros);
      paint(1, 1);
    } else if (zeros == 5) {  // 000001: five white pixels
      reader.consume(6);
      paint(0, 5);
    } else if (zeros <= 10) {  // exit: zeros - 6 white pixels, then the next run's colour
      reader.consume(zeros + 1);
      paint(0, zeros - 6);
      const int32_t next = static_cast<int32_t>(reader.bit());
      if (p < width && coding.colourAfterLast() != next) coding.push(p, width);
      *position = p;
      return Uncompressed::kExit;
    } else {
      return Uncompressed::kBadCode;
    }
  }
  *position = p;
  return Uncompressed::kLineFull;
}

// Runs uncompressed mode from `position`; kComplete when the line is full, kBadCode for a
// bad code word, kShort after an exit (coding resumes at *position).
LineEnd runUncompressed(Reader &reader, int32_t width, Changes &coding, bool &uncompressed,
                        int32_t *position) {
  switch (decodeUncompressed(reader, width, coding, position)) {
    case Uncompressed::kLineFull:
      uncompressed = true;
      return LineEnd::kComplete;
    case Uncompressed::kBadCode:
      return LineEnd::kBadCode;
    case Uncompressed::kExit:
      break;
  }
  uncompressed = false;
  return LineEnd::kShort;
}

}  // namespace

LineEnd decodeLine1D(Reader &reader, int32_t width, Changes &coding, bool &uncompressed) {
  coding.count = 0;
  int32_t p = 0;
  if (uncompressed) {
    const LineEnd end = runUncompressed(reader, width, coding, uncompressed, &p);
    if (end != LineEnd::kShort) return end;
  }
  while (p < width) {
    int32_t run = 0;
    if (!readRun(reader, coding.colourAfterLast(), &run)) {
      if (reader.peek(12) == kExtension1D) {
        reader.consume(12);
        const LineEnd end = runUncompressed(reader, width, coding, uncompressed, &p);
        if (end != LineEnd::kShort) return end;
        continue;
      }
      return endWithoutCode(reader, width, coding, p);
    }
    p = std::min(p + run, width);
    if (p < width && !coding.push(p, width)) return LineEnd::kBadCode;
  }
  return LineEnd::kComplete;
}

LineEnd decodeLine2D(Reader &reader, int32_t width, const int32_t *reference, Changes &coding,
                     bool &uncompressed) {
  coding.count = 0;
  int32_t a0 = -1;  // the imaginary white element before the line
  if (uncompressed) {
    int32_t p = 0;
    const LineEnd end = runUncompressed(reader, width, coding, uncompressed, &p);
    if (end != LineEnd::kShort) return end;
    a0 = p;
    if (a0 >= width) return LineEnd::kComplete;
  }
  // The loop keeps the reader, the line's count and a0's colour in locals: stores into the
  // line could otherwise alias them and force reloads in every step.
  Reader r = reader;
  int32_t *const at = coding.at;
  int32_t count = coding.count;
  int32_t colour = count & 1;
  int32_t b1 = findB1(reference, 0, a0, colour);  // index of b1 in the reference line
  auto leave = [&](LineEnd end) {
    reader = r;
    coding.count = count;
    return end;
  };
  const uint16_t *modes = ccitt::modeLookup();
  while (a0 < width) {
    r.ensure32();
    const uint16_t entry = modes[r.peek(ccitt::kModeBits)];
    const int length = ccitt::entryLength(entry);
    if (length == 0) {  // the extension code, or no code: the rare paths work on the records
      reader = r;
      coding.count = count;
      if (reader.peek(10) != kExtension2D)
        return endWithoutCode(reader, width, coding, std::max(a0, 0));
      reader.consume(10);
      int32_t p = std::max(a0, 0);
      const LineEnd end = runUncompressed(reader, width, coding, uncompressed, &p);
      if (end != LineEnd::kShort) return end;
      r = reader;
      count = coding.count;
      colour = count & 1;
      a0 = p;
      if (a0 >= width) break;
      b1 = findB1(reference, b1, a0, colour);
      continue;
    }
    r.consume(length);
    const auto mode = static_cast<ccitt::Mode>(ccitt::entryValue(entry));
    if (mode == ccitt::kModePass) {
      a0 = reference[b1 + 1];
      if (a0 >= width) break;
      b1 += 2;
      while (reference[b1] <= a0) b1 += 2;
    } else if (mode == ccitt::kModeHorizontal) {
      const int32_t start = std::max(a0, 0);
      int32_t run1 = 0, run2 = 0;
      if (!readRun(r, colour, &run1) || !readRun(r, colour ^ 1, &run2)) {
        reader = r;
        coding.count = count;
        return endWithoutCode(reader, width, coding, start);
      }
      const int32_t a1 = std::min(start + run1, width);
      a0 = std::min(a1 + run2, width);
      Changes line{at, count};
      if ((a1 < width && !line.push(a1, width)) || (a0 < width && !line.push(a0, width)))
        return leave(LineEnd::kBadCode);
      count = line.count;
      if (a0 >= width) break;
      colour = count & 1;
      b1 = findB1(reference, b1, a0, colour);
    } else {
      const int32_t offset = ccitt::verticalOffset(mode);
      const int32_t a1 = reference[b1] + offset;
      if (a1 < a0 || a1 < 0) return leave(LineEnd::kBadCode);
      if (a1 >= width) break;
      a0 = a1;
      if (count >= width) return leave(LineEnd::kBadCode);
      at[count++] = a1;
      colour ^= 1;
      // b1 of the new colour: the change just left of the old b1 when it lies right of a1,
      // else the one just right of it, or further.
      if (offset < 0 && b1 > 0 && reference[b1 - 1] > a0) {
        --b1;
      } else {
        ++b1;
        while (reference[b1] <= a0) b1 += 2;
      }
    }
  }
  return leave(LineEnd::kComplete);
}

}  // namespace fax
