// Fuzz entry of the word and image blits: the input gives the sizes of a destination and a
// source bitmap, a clip rectangle inside the destination, a placement (any 32-bit value, far
// outside the image included), source sizes that may be zero or negative, record offsets and
// an operator (any value of the enumeration's range 0 to 31; a C++ caller cannot pass another,
// the conversion itself would be undefined). Every blit must stay inside the buffers (each is
// exactly as long as its rows, so AddressSanitizer sees any overrun) and give what a per-bit
// model gives: the placed source combined inside the clip rectangle, every other destination
// bit unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "qtz_blat.h"
#include "qtz_image.h"

namespace {

class Input {
 public:
  Input(const uint8_t *data, size_t size) : data_(data), size_(size) {}
  uint8_t byte() { return used_ < size_ ? data_[used_++] : 0; }
  int32_t int32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | byte();
    return static_cast<int32_t>(v);
  }

 private:
  const uint8_t *data_;
  size_t size_;
  size_t used_ = 0;
};

struct Bitmap {
  int64_t width, rows, stride;  // stride in words
  std::vector<uint32_t> words;
  Bitmap(int64_t w, int64_t h, int64_t extraWords)
      : width(w), rows(h), stride((w + 31) / 32 + extraWords), words(stride * h) {}
  int get(int64_t x, int64_t y) const { return (words[y * stride + x / 32] >> (31 - x % 32)) & 1; }
  void set(int64_t x, int64_t y, int v) {
    uint32_t &w = words[y * stride + x / 32];
    const uint32_t m = 0x80000000u >> (x % 32);
    w = v != 0 ? (w | m) : (w & ~m);
  }
};

bool knownOp(int32_t op) {
  return op == QTZ_BLIT_XOR || op == QTZ_BLIT_AND || op == QTZ_BLIT_XNOR ||
         op == QTZ_BLIT_REPLACE || op == QTZ_BLIT_OR || op == QTZ_BLIT_AND_NOT;
}

int modelOp(int32_t op, int s, int d) {
  if (op == QTZ_BLIT_AND_NOT) return d & (s ^ 1);
  return (op >> (2 * s + d)) & 1;
}

// dst with the first srcWidth x srcRows bits of src placed at (x, y), clipped to
// [x0, x1) x [y0, y1); an unknown operator leaves dst as it is.
Bitmap model(const Bitmap &dst, const Bitmap &src, int64_t srcWidth, int64_t srcRows, int64_t x0,
             int64_t y0, int64_t x1, int64_t y1, int64_t x, int64_t y, int32_t op) {
  Bitmap out = dst;
  if (!knownOp(op)) return out;
  for (int64_t sy = 0; sy < srcRows; ++sy)
    for (int64_t sx = 0; sx < srcWidth; ++sx) {
      const int64_t dx = x + sx, dy = y + sy;
      if (dx < x0 || dx >= x1 || dy < y0 || dy >= y1) continue;
      out.set(dx, dy, modelOp(op, src.get(sx, sy), dst.get(dx, dy)));
    }
  return out;
}

// Pseudo-random words from a seed of the input, so that short inputs still give mixed bits.
void fill(Bitmap &b, Input &in) {
  uint32_t s = static_cast<uint32_t>(in.int32()) | 1u;
  for (uint32_t &w : b.words) {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    w = s;
  }
}

void check(bool ok) {
  if (!ok) __builtin_trap();
}

// The clipped word blit with caller-chosen strides, clip rectangle, source sizes and operator.
void wordBlit(Input &in) {
  // One read per statement: the order of the reads must not depend on the compiler.
  const int64_t dw = 1 + in.byte() % 160;
  const int64_t dh = 1 + in.byte() % 6;
  Bitmap dst(dw, dh, in.byte() % 2);
  // Source sizes as passed may be zero or negative; the buffer holds at least one pixel.
  const int32_t srcWidth = static_cast<int8_t>(in.byte());
  const int32_t srcRows = static_cast<int8_t>(in.byte()) / 16;
  Bitmap src(srcWidth > 0 ? srcWidth : 1, srcRows > 0 ? srcRows : 1, in.byte() % 2);
  const int64_t x0 = in.byte() % (dw + 1);
  const int64_t x1 = in.byte() % (dw + 1);
  const int64_t y0 = in.byte() % (dh + 1);
  const int64_t y1 = in.byte() % (dh + 1);
  const int32_t x = in.int32();
  const int32_t y = in.int32();
  const int32_t op = in.byte() % 32;
  fill(dst, in);
  fill(src, in);
  const Bitmap expected = model(dst, src, srcWidth, srcRows, x0, y0, x1, y1, x, y, op);
  QtzBlat_blitBitsOpClip(dst.words.data(), static_cast<int32_t>(dst.stride),
                         static_cast<int32_t>(x0), static_cast<int32_t>(y0),
                         static_cast<int32_t>(x1), static_cast<int32_t>(y1), src.words.data(),
                         static_cast<int32_t>(src.stride), srcWidth, srcRows, x, y,
                         static_cast<QtzBlitOp>(op), nullptr);
  check(dst.words == expected.words);
}

// The image blit of two type-100 records with any offsets and placement.
void imageBlit(Input &in, QtzState *state) {
  const int32_t dw = 1 + in.byte() % 160;
  const int32_t dh = 1 + in.byte() % 6;
  const int32_t sw = 1 + in.byte() % 120;
  const int32_t sh = 1 + in.byte() % 5;
  const int32_t dxoff = in.int32();
  const int32_t dyoff = in.int32();
  const int32_t sxoff = in.int32();
  const int32_t syoff = in.int32();
  const int32_t x = in.int32();
  const int32_t y = in.int32();
  const int32_t op = in.byte() % 32;
  QtzImage *dst = nullptr, *src = nullptr;
  if (QtzImage_newOffset(state, QTZ_IMAGE_PACKED, dw, dh, dxoff, dyoff, &dst) != 0) return;
  if (QtzImage_newOffset(state, QTZ_IMAGE_PACKED, sw, sh, sxoff, syoff, &src) == 0) {
    Bitmap before(dw, dh, 0), source(sw, sh, 0);
    fill(before, in);
    fill(source, in);
    for (int64_t r = 0; r < dh; ++r)
      std::memcpy(dst->rows[int64_t{dyoff} + r], &before.words[r * before.stride],
                  before.stride * 4);
    for (int64_t r = 0; r < sh; ++r)
      std::memcpy(src->rows[int64_t{syoff} + r], &source.words[r * source.stride],
                  source.stride * 4);
    const int32_t imageOp = op == QTZ_BLIT_AND_NOT ? -1 : op;  // refused by the image blit
    const Bitmap expected = model(before, source, sw, sh, 0, 0, dw, dh, int64_t{x} + sxoff - dxoff,
                                  int64_t{y} + syoff - dyoff, imageOp);
    const int32_t status = QtzBlat_blitImage(dst, src, x, y, static_cast<QtzBlitOp>(op));
    check((status == 0) == knownOp(imageOp));
    for (int64_t r = 0; r < dh; ++r)
      check(std::memcmp(dst->rows[int64_t{dyoff} + r], &expected.words[r * expected.stride],
                        expected.stride * 4) == 0);
    QtzImage_free(src);
  }
  QtzImage_free(dst);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Input in(data, size);
  const uint8_t which = in.byte();
  if (which % 2 == 0) {
    wordBlit(in);
    return 0;
  }
  QtzState *state = nullptr;
  if (Qtz_initQtzState(&state, nullptr, nullptr, nullptr, nullptr, 0, 0) != 0) return 0;
  imageBlit(in, state);
  Qtz_cleanupQtzState(&state);
  return 0;
}
