// A plain reference encoder beside the decoders, for the differential tests and the
// benchmarks: generic region (T.88 6.2, every template, TPGDON, any AT pixels) and generic
// refinement (6.3, both templates, TPGRON) data coded pixel by pixel with the MQ encoder, and
// random bitmaps with text-like structure. Header-only; not part of the library.
#ifndef NORV_JBIG2_REFERENCE_ENCODER_H
#define NORV_JBIG2_REFERENCE_ENCODER_H

#include <cstdint>
#include <random>
#include <vector>

#include "jbig2_generic.h"
#include "mq_coder.h"

namespace jbtest {

struct Bits {
  int width = 0, height = 0, wpr = 0;
  std::vector<uint32_t> words;
  Bits() = default;
  Bits(int w, int h) : width(w), height(h), wpr((w + 31) / 32), words(size_t(wpr) * h, 0) {}
  int get(long x, long y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    return (words[size_t(y) * wpr + x / 32] >> (31 - x % 32)) & 1;
  }
  void set(int x, int y, int v) {
    uint32_t &w = words[size_t(y) * wpr + x / 32];
    const uint32_t m = 0x80000000u >> (x % 32);
    w = v ? (w | m) : (w & ~m);
  }
  Jbig2Bitmap view() { return {words.data(), width, height, wpr}; }
  bool operator==(const Bits &o) const {
    return width == o.width && height == o.height && words == o.words;
  }
};

// Blobs, strokes, repeated rows and noise.
inline Bits randomBits(std::mt19937 &rng, int w, int h) {
  Bits b(w, h);
  const int blobs = 1 + int(rng() % 40);
  for (int i = 0; i < blobs; ++i) {
    const int x0 = int(rng() % w), y0 = int(rng() % h);
    const int bw = 1 + int(rng() % 20), bh = 1 + int(rng() % 12);
    for (int y = y0; y < std::min(h, y0 + bh); ++y)
      for (int x = x0; x < std::min(w, x0 + bw); ++x)
        if (rng() % 8) b.set(x, y, 1);
  }
  for (int i = 0; i < (w * h) / 50; ++i) b.set(int(rng() % w), int(rng() % h), 1);
  for (int y = 1; y < h; ++y)
    if (rng() % 5 == 0)
      for (int x = 0; x < w; ++x) b.set(x, y, b.get(x, y - 1));
  return b;
}

inline bool collectByte(uint8_t byte, void *user) {
  static_cast<std::vector<uint8_t> *>(user)->push_back(byte);
  return true;
}

inline uint32_t genericContext(const Bits &b, const Jbig2GenericTemplate &t, int x, int y) {
  auto p = [&](int dx, int dy) { return uint32_t(b.get(long(x) + dx, long(y) + dy)); };
  switch (t.tmpl) {
    case 0:
      return p(-1, 0) | p(-2, 0) << 1 | p(-3, 0) << 2 | p(-4, 0) << 3 | p(t.atx[0], t.aty[0]) << 4 |
             p(2, -1) << 5 | p(1, -1) << 6 | p(0, -1) << 7 | p(-1, -1) << 8 | p(-2, -1) << 9 |
             p(t.atx[1], t.aty[1]) << 10 | p(t.atx[2], t.aty[2]) << 11 | p(1, -2) << 12 |
             p(0, -2) << 13 | p(-1, -2) << 14 | p(t.atx[3], t.aty[3]) << 15;
    case 1:
      return p(-1, 0) | p(-2, 0) << 1 | p(-3, 0) << 2 | p(t.atx[0], t.aty[0]) << 3 | p(2, -1) << 4 |
             p(1, -1) << 5 | p(0, -1) << 6 | p(-1, -1) << 7 | p(-2, -1) << 8 | p(2, -2) << 9 |
             p(1, -2) << 10 | p(0, -2) << 11 | p(-1, -2) << 12;
    case 2:
      return p(-1, 0) | p(-2, 0) << 1 | p(t.atx[0], t.aty[0]) << 2 | p(1, -1) << 3 | p(0, -1) << 4 |
             p(-1, -1) << 5 | p(-2, -1) << 6 | p(1, -2) << 7 | p(0, -2) << 8 | p(-1, -2) << 9;
    default:
      return p(-1, 0) | p(-2, 0) << 1 | p(-3, 0) << 2 | p(-4, 0) << 3 | p(t.atx[0], t.aty[0]) << 4 |
             p(1, -1) << 5 | p(0, -1) << 6 | p(-1, -1) << 7 | p(-2, -1) << 8 | p(-3, -1) << 9;
  }
}

inline std::vector<uint8_t> encodeGeneric(const Bits &b, const Jbig2GenericTemplate &t) {
  static const uint32_t kSltp[4] = {0x9B25, 0x0795, 0x00E5, 0x0195};
  std::vector<uint8_t> out;
  std::vector<uint8_t> cx(65536, 0);
  MqEncoder enc;
  mqEncInit(&enc, collectByte, &out, nullptr);
  int ltp = 0;
  for (int y = 0; y < b.height; ++y) {
    if (t.tpgdon) {
      bool same = true;
      for (int x = 0; x < b.width && same; ++x) same = b.get(x, y) == b.get(x, y - 1);
      mqEncode(&enc, &cx[kSltp[t.tmpl]], int(same) ^ ltp);
      ltp = same;
      if (same) continue;
    }
    for (int x = 0; x < b.width; ++x) mqEncode(&enc, &cx[genericContext(b, t, x, y)], b.get(x, y));
  }
  mqFlush(&enc);
  return out;
}

inline std::vector<uint8_t> encodeRefinement(const Bits &b, const Bits &ref, int dx, int dy,
                                             const Jbig2RefineTemplate &t) {
  std::vector<uint8_t> out;
  std::vector<uint8_t> cx(8192, 0);
  MqEncoder enc;
  mqEncInit(&enc, collectByte, &out, nullptr);
  auto uniform = [&](int x, int y, int *value) {
    int sum = 0;
    for (int j = -1; j <= 1; ++j)
      for (int i = -1; i <= 1; ++i) sum += ref.get(long(x) - dx + i, long(y) - dy + j);
    *value = sum == 9;
    return sum == 0 || sum == 9;
  };
  int ltp = 0;
  for (int y = 0; y < b.height; ++y) {
    if (t.tpgron) {
      bool typical = true;
      for (int x = 0; x < b.width && typical; ++x) {
        int v = 0;
        if (uniform(x, y, &v)) typical = b.get(x, y) == v;
      }
      mqEncode(&enc, &cx[t.tmpl == 0 ? 0x0100 : 0x0080], int(typical) ^ ltp);
      ltp = typical;
    }
    for (int x = 0; x < b.width; ++x) {
      int v = 0;
      if (ltp && uniform(x, y, &v)) continue;
      auto p = [&](int i, int j) { return uint32_t(b.get(long(x) + i, long(y) + j)); };
      auto r = [&](int i, int j) { return uint32_t(ref.get(long(x) - dx + i, long(y) - dy + j)); };
      uint32_t c;
      if (t.tmpl == 0)
        c = p(-1, 0) | p(1, -1) << 1 | p(0, -1) << 2 | p(t.ratx[0], t.raty[0]) << 3 | r(1, 1) << 4 |
            r(0, 1) << 5 | r(-1, 1) << 6 | r(1, 0) << 7 | r(0, 0) << 8 | r(-1, 0) << 9 |
            r(1, -1) << 10 | r(0, -1) << 11 | r(t.ratx[1], t.raty[1]) << 12;
      else
        c = p(-1, 0) | p(1, -1) << 1 | p(0, -1) << 2 | p(-1, -1) << 3 | r(1, 1) << 4 |
            r(0, 1) << 5 | r(1, 0) << 6 | r(0, 0) << 7 | r(-1, 0) << 8 | r(0, -1) << 9;
      mqEncode(&enc, &cx[c], b.get(x, y));
    }
  }
  mqFlush(&enc);
  return out;
}

}  // namespace jbtest

#endif
