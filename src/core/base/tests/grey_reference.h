// Per-pixel models of the grey conversions, written rule by rule from their definitions,
// and framed word buffers to run the packed kernels on. The models work on plain arrays of
// pixel values; the buffers lay pixels out as the image core does (32-bit little-endian
// words, first pixel in the most significant bits, a 32-pixel frame on every side).
#ifndef GREY_REFERENCE_H
#define GREY_REFERENCE_H

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace greyref {

struct Plain {
  int width = 0, height = 0, depth = 8;
  std::vector<int> px;
  Plain() = default;
  Plain(int w, int h, int d) : width(w), height(h), depth(d), px(size_t(w) * h, 0) {}
  int &at(int x, int y) { return px[size_t(y) * width + x]; }
  int at(int x, int y) const { return px[size_t(y) * width + x]; }
  bool operator==(const Plain &o) const {
    return width == o.width && height == o.height && px == o.px;
  }
};

// Random pixels; about a third of them at the extremes, where carries between packed
// pixels would show.
inline Plain randomPlain(std::mt19937 &rng, int w, int h, int d) {
  Plain p(w, h, d);
  const int top = (1 << d) - 1;
  for (int &v : p.px) {
    int kind = static_cast<int>(rng() % 6);
    v = kind == 0 ? 0 : kind == 1 ? top : static_cast<int>(rng() % (top + 1));
  }
  return p;
}

// ---- models ----

inline int clearLow(int v) {
  return v & ~1;
}

// One row widened by 3/2.
inline std::vector<int> widenThreeHalves(const Plain &s, int y) {
  std::vector<int> out;
  for (int j = 0; 2 * j < s.width; ++j) {
    const int x = s.at(2 * j, y), pos = j % 4;  // position of the pair in its group of eight
    const bool paired = 2 * j + 1 < s.width;
    const int v = paired ? s.at(2 * j + 1, y) : 0;
    if (s.depth == 4) {
      out.push_back(x);
      if (!paired) break;
      out.push_back((x + v) >> 1);
      out.push_back(v);
      continue;
    }
    out.push_back(pos == 1 ? x : clearLow(x));
    if (!paired) break;
    out.push_back(pos == 0 || pos == 3 ? (x + v) >> 1 : (x >> 1) + (v >> 1));
    out.push_back(pos == 1 ? clearLow(v) : v);
  }
  return out;
}

inline int verticalMean(int a, int b, int depth) {
  return depth == 4 ? (a + b + 1) >> 1 : (a >> 1) + (b >> 1);
}

inline void putRow(Plain &o, int y, const std::vector<int> &row) {
  for (int x = 0; x < o.width; ++x) o.at(x, y) = row[x];
}
inline std::vector<int> getRow(const Plain &o, int y) {
  return {o.px.begin() + size_t(y) * o.width, o.px.begin() + size_t(y + 1) * o.width};
}
inline std::vector<int> meanRows(const std::vector<int> &a, const std::vector<int> &b, int d) {
  std::vector<int> m(a.size());
  for (size_t i = 0; i < a.size(); ++i) m[i] = verticalMean(a[i], b[i], d);
  return m;
}

inline Plain threeHalves(const Plain &s) {
  Plain o(3 * s.width / 2, 3 * s.height / 2, s.depth);
  for (int k = 0; 2 * k < s.height; ++k) {
    const std::vector<int> first = widenThreeHalves(s, 2 * k);
    putRow(o, 3 * k, first);
    if (2 * k + 1 >= s.height) break;
    const std::vector<int> second = widenThreeHalves(s, 2 * k + 1);
    putRow(o, 3 * k + 2, second);
    putRow(o, 3 * k + 1, meanRows(first, second, s.depth));
  }
  return o;
}

inline std::vector<int> widenDouble(const Plain &s, int y) {
  const int w = s.width;
  std::vector<int> out(2 * w);
  for (int i = 0; i < w; ++i) {
    const int x = s.at(i, y);
    if (i == w - 1) {  // the last pixel twice
      const int v = s.depth == 4 || w % 4 == 1 || w % 4 == 3 ? x : clearLow(x);
      out[2 * i] = out[2 * i + 1] = v;
      break;
    }
    const int n = s.at(i + 1, y);
    if (s.depth == 4) {
      const int after = i + 2 < w ? s.at(i + 2, y) : 0;
      out[2 * i] = x;
      out[2 * i + 1] = i % 2 == 0 ? (x + n + 1) >> 1 : ((x + n) * 16 + after + 1) >> 5;
    } else {
      out[2 * i] = clearLow(x);
      out[2 * i + 1] = i % 4 == 0 ? (x + n) >> 1 : (x >> 1) + (n >> 1);
    }
  }
  return out;
}

inline Plain doubled(const Plain &s) {
  Plain o(2 * s.width, 2 * s.height, s.depth);
  if (s.height == 0 || s.width == 0) return o;
  putRow(o, 0, widenDouble(s, 0));
  for (int r = 1; r < s.height; ++r) {
    putRow(o, 2 * r, widenDouble(s, r));
    putRow(o, 2 * r - 1, meanRows(getRow(o, 2 * r - 2), getRow(o, 2 * r), s.depth));
  }
  putRow(o, 2 * s.height - 1, getRow(o, 2 * s.height - 2));
  return o;
}

inline Plain halved(const Plain &s) {
  Plain o(s.width / 2, s.height / 2, s.depth);
  const int packed = o.width / 4 * 4;
  for (int y = 0; y < o.height; ++y)
    for (int x = 0; x < o.width; ++x) {
      const int a = s.at(2 * x, 2 * y), b = s.at(2 * x + 1, 2 * y);
      const int c = s.at(2 * x, 2 * y + 1), d = s.at(2 * x + 1, 2 * y + 1);
      int v;
      if (s.depth == 4)
        v = (a + b + c + d + 2) >> 2;
      else if (x < packed)
        v = (((a >> 1) + (c >> 1)) + ((b >> 1) + (d >> 1))) >> 1;
      else
        v = (a + b + c + d) >> 2;
      o.at(x, y) = v;
    }
  return o;
}

inline Plain thirded(const Plain &s) {
  Plain o(s.width / 3, s.height / 3, s.depth);
  const int packed = o.width - o.width % 12;
  for (int y = 0; y < o.height; ++y)
    for (int x = 0; x < o.width; ++x) {
      auto p = [&](int c, int r) { return s.at(3 * x + c, 3 * y + r); };
      int v;
      if (s.depth == 4) {
        int col[3];
        for (int k = 0; k < 3; ++k) col[k] = (p(k, 0) + 2 * p(k, 1) + p(k, 2) + 2) >> 2;
        v = (col[0] + 2 * col[1] + col[2] + 2) >> 2;
      } else if (x < packed) {
        int col[3];
        for (int k = 0; k < 3; ++k) col[k] = (p(k, 0) >> 2) + (p(k, 1) >> 1) + (p(k, 2) >> 2);
        v = (col[0] >> 2) + (col[1] >> 1) + (col[2] >> 2);
      } else {
        v = (p(0, 0) >> 4) + (p(2, 0) >> 4) + (p(0, 2) >> 4) + (p(2, 2) >> 4) + (p(1, 0) >> 3) +
            (p(0, 1) >> 3) + (p(2, 1) >> 3) + (p(1, 2) >> 3) + (p(1, 1) >> 2);
      }
      o.at(x, y) = v;
    }
  return o;
}

inline Plain minMax2x2(const Plain &s, bool max) {
  Plain o(s.width / 2, s.height / 2, s.depth);
  for (int y = 0; y < o.height; ++y)
    for (int x = 0; x < o.width; ++x) {
      const int v[4] = {s.at(2 * x, 2 * y), s.at(2 * x + 1, 2 * y), s.at(2 * x, 2 * y + 1),
                        s.at(2 * x + 1, 2 * y + 1)};
      o.at(x, y) = max ? *std::max_element(v, v + 4) : *std::min_element(v, v + 4);
    }
  return o;
}

// ---- framed buffers ----

// A framed buffer of one channel: `width` x `height` content pixels with a 32-pixel frame on
// every side, rows of `stride` bytes. Its storage is exactly the framed rows, so that a
// read or write outside them is caught by the address sanitizer.
class Framed {
 public:
  Framed(int width, int height, int depth, int extraWords = 0)
      : width_(width), height_(height), depth_(depth) {
    stride_ = ((width + 64) * depth + 31) / 32 * 4 + 4 * extraWords;
    words_.assign(size_t(stride_ / 4) * (height + 64), 0);
  }
  explicit Framed(const Plain &p, int extraWords = 0)
      : Framed(p.width, p.height, p.depth, extraWords) {
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x) set(x, y, p.at(x, y));
  }
  uint8_t *data() { return reinterpret_cast<uint8_t *>(words_.data()); }
  int fullWidth() const { return width_ + 64; }
  int fullHeight() const { return height_ + 64; }
  int stride() const { return stride_; }
  int depth() const { return depth_; }
  uint32_t *contentRow(int y) {
    return words_.data() + size_t(y + 32) * (stride_ / 4) + depth_;  // 32 px = depth words
  }

  // Pixel (x, y) of the content; x and y may reach into the frame.
  int get(int x, int y) const {
    const size_t bit = size_t(x + 32) * depth_;
    const uint32_t word = words_[size_t(y + 32) * (stride_ / 4) + bit / 32];
    return (word >> (32 - depth_ - bit % 32)) & ((1u << depth_) - 1);
  }
  void set(int x, int y, int v) {
    const size_t bit = size_t(x + 32) * depth_;
    uint32_t &word = words_[size_t(y + 32) * (stride_ / 4) + bit / 32];
    const int shift = 32 - depth_ - static_cast<int>(bit % 32);
    word = (word & ~(((1u << depth_) - 1) << shift)) | (uint32_t(v) << shift);
  }
  Plain content() const {
    Plain p(width_, height_, depth_);
    for (int y = 0; y < height_; ++y)
      for (int x = 0; x < width_; ++x) p.at(x, y) = get(x, y);
    return p;
  }
  // Fills every bit outside the content (frame, row tails, padding) with ones.
  void dirtyOutside() {
    for (int y = -32; y < height_ + 32; ++y)
      for (int x = -32; x < stride_ * 8 / depth_ - 32; ++x)
        if (x < 0 || y < 0 || x >= width_ || y >= height_) set(x, y, (1 << depth_) - 1);
  }
  // True when every bit outside the content is 0.
  bool cleanOutside() const {
    for (int y = -32; y < height_ + 32; ++y)
      for (int x = -32; x < stride_ * 8 / depth_ - 32; ++x)
        if ((x < 0 || y < 0 || x >= width_ || y >= height_) && get(x, y) != 0) return false;
    return true;
  }

 private:
  int width_, height_, depth_, stride_;
  std::vector<uint32_t> words_;
};

}  // namespace greyref

#endif
