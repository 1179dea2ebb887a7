// The Group 4 (ITU-T T.6) encoder: every line coded two-dimensionally against the line
// above it (an all-white line above the first), no EOLs between lines, EOFB (two EOLs) at
// the end on request, the last byte filled with zeros.
//
// A line's changing elements come from its packed words (rowToChanges, a few operations per
// word plus one per change). Coding follows T.4 4.2.1.3: pass mode when b2 lies left of a1,
// a vertical mode when |a1 - b1| <= 3, otherwise horizontal mode with the runs a0a1 and a1a2,
// each as make-up codes of 2560 while the rest reaches 2560, one make-up code for the rest's
// multiple of 64 and a terminating code. The bits go straight to the caller's buffer; when
// the code would pass its capacity nothing more is written and the call returns 7, so a
// caller can retry with more room. Any bitmap can be coded, however busy its lines.
#include <algorithm>
#include <cstring>

#include "ccitt_internal.h"
#include "fax_lines.h"
#include "pxl_ccitt_codes.h"
#include "qtz_internal.h"
#include "qtz_owners_internal.h"

namespace {

constexpr int32_t kOutputFull = 7;

class BitWriter {
 public:
  BitWriter(uint8_t *out, int32_t capacity) : out_(out), capacity_(capacity) {}

  void put(ccitt::Code code) {
    accumulator_ |= static_cast<uint64_t>(code.bits) << (64 - bits_ - code.length);
    bits_ += code.length;
    if (bits_ > 48) writeWholeBytes();
  }
  void run(int32_t colour, int32_t length) {
    const ccitt::EncodeTable &t = ccitt::encodeTable();
    for (; length >= ccitt::kMaxMakeUp; length -= ccitt::kMaxMakeUp)
      put(t.makeUp[colour][ccitt::kMaxMakeUp / 64]);
    if (length >= 64) put(t.makeUp[colour][length / 64]);
    put(t.terminating[colour][length % 64]);
  }
  // Writes the bits left, the last byte filled with zeros; false when the code did not fit.
  bool finish() {
    bits_ = (bits_ + 7) & ~7;
    writeWholeBytes();
    return !full_;
  }
  int32_t written() const { return position_; }

 private:
  void writeWholeBytes() {
    const int32_t bytes = bits_ >> 3;
    if (full_ || capacity_ - position_ < bytes) {
      full_ = true;  // drop the bits: the call fails anyway
    } else if (capacity_ - position_ >= 8) {
      const uint64_t v = __builtin_bswap64(accumulator_);
      std::memcpy(out_ + position_, &v, 8);
      position_ += bytes;
    } else {
      for (int32_t i = 0; i < bytes; ++i)
        out_[position_ + i] = static_cast<uint8_t>(accumulator_ >> (56 - 8 * i));
      position_ += bytes;
    }
    accumulator_ = bytes == 8 ? 0 : accumulator_ << (bytes * 8);
    bits_ -= bytes * 8;
  }

  uint8_t *out_;
  int32_t capacity_;
  int32_t position_ = 0;
  uint64_t accumulator_ = 0;  // first bit in the most significant position
  int bits_ = 0;
  bool full_ = false;
};

// Codes the coding line against the reference line (T.4 4.2.1.3.2).
void encodeLine(BitWriter &w, const int32_t *reference, const int32_t *coding, int32_t width) {
  const ccitt::EncodeTable &t = ccitt::encodeTable();
  int32_t a0 = -1, colour = 0;
  int32_t a1Index = 0;  // coding[a1Index] is a1: the first change right of a0
  int32_t b1Index = 0;
  while (a0 < width) {
    const int32_t a1 = coding[a1Index];
    const int32_t b1 = reference[b1Index], b2 = reference[b1Index + 1];
    if (b2 < a1) {
      w.put(t.mode[ccitt::kModePass]);
      a0 = b2;
    } else if (a1 - b1 >= -3 && a1 - b1 <= 3) {
      constexpr ccitt::Mode kVertical[7] = {ccitt::kModeVL3, ccitt::kModeVL2, ccitt::kModeVL1,
                                            ccitt::kModeV0,  ccitt::kModeVR1, ccitt::kModeVR2,
                                            ccitt::kModeVR3};
      w.put(t.mode[kVertical[a1 - b1 + 3]]);
      a0 = a1;
      colour ^= 1;
      ++a1Index;
    } else {
      const int32_t a2 = coding[a1Index + 1];
      w.put(t.mode[ccitt::kModeHorizontal]);
      w.run(colour, a1 - std::max(a0, 0));
      w.run(colour ^ 1, a2 - a1);
      a0 = a2;
      a1Index += 2;
    }
    if (a0 < width) b1Index = fax::findB1(reference, b1Index, a0, colour);
  }
}

}  // namespace

int32_t ccittEncodeG4(const uint32_t *rows, int32_t width, int32_t lines, int32_t wordsPerRow,
                      uint8_t *output, int32_t *size, int32_t endOfBlock, QtzState *state) {
  if (size == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  const int32_t capacity = *size;
  *size = 0;
  if (width <= 0 || width > fax::kMaxWidth || lines < 0 || capacity < 0 ||
      int64_t{wordsPerRow} * 32 < width || (rows == nullptr && lines > 0) ||
      (output == nullptr && capacity > 0))
    return qtz::report(state, QTZ_ERR_PARAM);
  const auto entries = static_cast<size_t>(width) + fax::kSentinels;
  qtz::OwnedBlock<int32_t> first(state, static_cast<int32_t *>(qtz::allocate(state, 4 * entries)));
  qtz::OwnedBlock<int32_t> second(state, static_cast<int32_t *>(qtz::allocate(state, 4 * entries)));
  if (!first || !second) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  fax::Changes reference{first.get(), 0}, coding{second.get(), 0};
  reference.close(width);
  BitWriter writer(output, capacity);
  for (int32_t y = 0; y < lines; ++y) {
    fax::rowToChanges(rows + static_cast<int64_t>(y) * wordsPerRow, width, coding);
    encodeLine(writer, reference.at, coding.at, width);
    std::swap(reference, coding);
  }
  if (endOfBlock) {
    writer.put(ccitt::kEol);
    writer.put(ccitt::kEol);
  }
  if (!writer.finish()) return kOutputFull;
  *size = writer.written();
  return 0;
}
