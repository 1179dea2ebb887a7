// Image adapters against per-pixel models: the base masked copy and blend (core word order
// masks and weights), the primitives' masked copy and PLUS blend, conversion to 1 bit, zoom,
// the core's bilinear resize, the byte swap, views and the pool's choice of adapter, and the
// L*a*b* to RGB conversion against a double-precision CIE model. Widths are odd so that rows
// are padded, and views cover rectangles.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <vector>

#include "image_pool.h"
#include "testkit_files.h"
#include "testkit_pnm.h"
#include "word_order.h"

namespace ctl {
namespace {

// The base adapter's behaviour over a 24-bit buffer.
class BufferAdapter final : public ImageAdapter {
 public:
  explicit BufferAdapter(DibImgBuf *buffer) : ImageAdapter(buffer) {}
  bool Dump(const char *, const char *) override { return false; }
};

std::vector<uint8_t> bytesOf(const ImageAdapter &a) {
  std::vector<uint8_t> out;
  const int64_t rowBytes = (int64_t{a.GetWidth()} * a.GetBitsPerPixel() + 7) / 8;
  for (int32_t y = 0; y < a.GetHeight(); ++y)
    out.insert(out.end(), a.GetData() + int64_t{y} * a.GetStride(),
               a.GetData() + int64_t{y} * a.GetStride() + rowBytes);
  return out;
}

void fillRandom(ImageAdapter &a, std::mt19937 &random) {
  const int64_t rowBytes = (int64_t{a.GetWidth()} * a.GetBitsPerPixel() + 7) / 8;
  for (int32_t y = 0; y < a.GetHeight(); ++y)
    for (int64_t i = 0; i < rowBytes; ++i)
      a.GetData()[int64_t{y} * a.GetStride() + i] = static_cast<uint8_t>(random());
}

// Pixel x of row y of a 1-bit core image (word order) and of a 1-bit bitmap (byte order).
bool coreBit(const ImageAdapter &a, int64_t x, int64_t y) {
  return coreWord(a.GetData() + y * a.GetStride(), x / 32) >> (31 - x % 32) & 1;
}
void setCoreBit(ImageAdapter &a, int64_t x, int64_t y, bool on) {
  uint8_t *row = a.GetData() + y * a.GetStride();
  uint32_t w = coreWord(row, x / 32);
  const uint32_t bit = 1u << (31 - x % 32);
  w = on ? w | bit : w & ~bit;
  std::memcpy(row + 4 * (x / 32), &w, 4);
}
bool dibBit(const uint8_t *data, int64_t stride, int64_t x, int64_t y) {
  return data[y * stride + x / 8] >> (7 - x % 8) & 1;
}

const uint8_t *pixel24(const ImageAdapter &a, int64_t x, int64_t y) {
  return a.GetData() + y * a.GetStride() + 3 * x;
}

TEST(ImageAdapterTest, BaseCopyMaskedByNibble) {
  std::mt19937 random(1);
  for (int32_t width : {1, 3, 4, 5, 31, 37}) {
    SCOPED_TRACE(testing::Message() << "width " << width);
    const int32_t height = 5;
    DibImgBuf dstBuf, srcBuf, maskBuf;
    ASSERT_TRUE(dstBuf.Create({width, height}, 24, 4));
    ASSERT_TRUE(srcBuf.Create({width, height}, 24, 4));
    BufferAdapter dst(&dstBuf), src(&srcBuf);
    PixlabImgBuf mask(width, height, 1, &maskBuf);
    ASSERT_TRUE(mask.valid());
    fillRandom(dst, random);
    fillRandom(src, random);
    // Every nibble value appears in the first row's groups, then random bits.
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x)
        setCoreBit(mask, x, y, y == 0 ? ((x / 4) % 16) >> (3 - x % 4) & 1 : random() & 1);
    const std::vector<uint8_t> before = bytesOf(dst), source = bytesOf(src);
    ASSERT_TRUE(dst.CopyMasked(&mask, &src));
    EXPECT_EQ(bytesOf(src), source) << "the source is never written";
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) {
        const size_t at = (size_t(y) * width + x) * 3;
        const uint8_t *want = coreBit(mask, x, y) ? &source[at] : &before[at];
        ASSERT_EQ(std::memcmp(pixel24(dst, x, y), want, 3), 0) << x << "," << y;
      }
    // Padding bytes after the last pixel are not touched.
    for (int32_t y = 0; y < height; ++y)
      for (int64_t i = 3 * int64_t{width}; i < dst.GetStride(); ++i)
        ASSERT_EQ(dst.GetData()[y * dst.GetStride() + i], 0);
  }
}

TEST(ImageAdapterTest, BaseCopyMaskedRefusesOtherSizes) {
  DibImgBuf a, b, m;
  ASSERT_TRUE(a.Create({6, 2}, 24, 4));
  ASSERT_TRUE(b.Create({5, 2}, 24, 4));
  BufferAdapter dst(&a), src(&b);
  PixlabImgBuf mask(6, 2, 1, &m);
  std::fill(a.GetData(), a.GetData() + a.length(), 9);
  EXPECT_FALSE(dst.CopyMasked(&mask, &src));
  EXPECT_FALSE(dst.CopyMasked(nullptr, &src));
  EXPECT_TRUE(std::all_of(a.GetData(), a.GetData() + a.length(), [](uint8_t v) { return v == 9; }));
}

TEST(ImageAdapterTest, BaseBlendByWeights) {
  std::mt19937 random(2);
  const int32_t width = 13, height = 4;
  DibImgBuf dstBuf, srcBuf, alphaBuf;
  ASSERT_TRUE(dstBuf.Create({width, height}, 24, 4));
  ASSERT_TRUE(srcBuf.Create({width, height}, 24, 4));
  BufferAdapter dst(&dstBuf), src(&srcBuf);
  PixlabImgBuf alpha(width, height, 8, &alphaBuf);
  fillRandom(dst, random);
  fillRandom(src, random);
  fillRandom(alpha, random);
  const std::vector<uint8_t> before = bytesOf(dst), source = bytesOf(src);
  ASSERT_TRUE(dst.BlendMasked(&alpha, &src));
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const unsigned e = coreByte(alpha.GetData() + y * alpha.GetStride(), x);
      for (int c = 0; c < 3; ++c) {
        const size_t at = (size_t(y) * width + x) * 3 + c;
        ASSERT_EQ(pixel24(dst, x, y)[c], (source[at] * (255 - e) + before[at] * e) / 256);
      }
    }
}

// The primitives' masked copy: the mask is swapped into byte order and stays so.
TEST(ImageAdapterTest, ImpCopyMasked) {
  std::mt19937 random(3);
  for (int32_t bpp : {24, 8}) {
    const int32_t width = 23, height = 7;
    DibImgBuf dstBuf, srcBuf, maskBuf;
    ImpImgBuf dst(width, height, bpp, &dstBuf), src(width, height, bpp, &srcBuf);
    PixlabImgBuf mask(width, height, 1, &maskBuf);
    ASSERT_TRUE(dst.valid() && src.valid() && mask.valid());
    fillRandom(dst, random);
    fillRandom(src, random);
    fillRandom(mask, random);
    std::vector<std::vector<bool>> bits(height, std::vector<bool>(width));
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) bits[y][x] = coreBit(mask, x, y);
    const std::vector<uint8_t> before = bytesOf(dst), source = bytesOf(src);
    ASSERT_TRUE(dst.CopyMasked(&mask, &src));
    const int n = bpp / 8;
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) {
        ASSERT_EQ(dibBit(mask.GetData(), mask.GetStride(), x, y), bits[y][x]);
        const size_t at = (size_t(y) * width + x) * n;
        const uint8_t *want = bits[y][x] ? &source[at] : &before[at];
        ASSERT_EQ(std::memcmp(dst.GetData() + int64_t{y} * dst.GetStride() + n * x, want, n), 0)
            << "bpp " << bpp << " at " << x << "," << y;
      }
    // Wrong kinds change nothing.
    EXPECT_FALSE(dst.CopyMasked(&src, &src));
    EXPECT_FALSE(dst.CopyMasked(&mask, &mask));
  }
}

// floor(x y / 255) as the primitives compute it.
unsigned mul255(unsigned x, unsigned y) {
  const unsigned p = x * y;
  return (p + (p >> 8) + 1) >> 8;
}

TEST(ImageAdapterTest, ImpBlendIsPlusComposite) {
  std::mt19937 random(4);
  const int32_t width = 17, height = 6;
  DibImgBuf dstBuf, srcBuf, alphaBuf;
  ImpImgBuf dst(width, height, 24, &dstBuf), src(width, height, 24, &srcBuf);
  PixlabImgBuf alpha(width, height, 8, &alphaBuf);
  fillRandom(dst, random);
  fillRandom(src, random);
  fillRandom(alpha, random);
  std::vector<uint8_t> weights;
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x)
      weights.push_back(coreByte(alpha.GetData() + y * alpha.GetStride(), x));
  const std::vector<uint8_t> before = bytesOf(dst), source = bytesOf(src);
  ASSERT_TRUE(dst.BlendMasked(&alpha, &src));
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const unsigned e = weights[size_t(y) * width + x];
      for (int c = 0; c < 3; ++c) {
        const size_t at = (size_t(y) * width + x) * 3 + c;
        const unsigned want = std::min(255u, mul255(before[at], e) + mul255(source[at], 255 - e));
        ASSERT_EQ(pixel24(dst, x, y)[c], want) << x << "," << y << " channel " << c;
      }
    }
  EXPECT_FALSE(dst.BlendMasked(&src, &src));
}

TEST(ImageAdapterTest, ConvertToBinary) {
  const int32_t width = 21, height = 9;
  for (int32_t bpp : {8, 24}) {
    SCOPED_TRACE(testing::Message() << "bpp " << bpp);
    DibImgBuf greyBuf, out;
    ImpImgBuf image(width, height, bpp, &greyBuf);
    // Columns: white 255, near-white 254, black 0, and a middle grey.
    const uint8_t shades[] = {255, 254, 0, 128};
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x)
        std::memset(image.GetData() + int64_t{y} * image.GetStride() + x * (bpp / 8), shades[x % 4],
                    bpp / 8);
    image.ConvertToBinary(&out);
    ASSERT_EQ(out.GetBitsPerPixel(), 1);
    ASSERT_GE(out.GetWidth(), width);
    int mid = 0, midInk = 0;
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) {
        const bool ink = dibBit(out.GetData(), out.GetStride(), x, y);
        if (shades[x % 4] >= 254) {
          ASSERT_FALSE(ink) << x << "," << y;
        }
        if (shades[x % 4] == 0) {
          ASSERT_TRUE(ink) << x << "," << y;
        }
        if (shades[x % 4] == 128) ++mid, midInk += ink;
      }
    // Dithered grey: about half the pixels inked.
    EXPECT_GT(midInk, mid / 4);
    EXPECT_LT(midInk, mid * 3 / 4);
  }
}

TEST(ImageAdapterTest, ImpZoomAndResize) {
  std::mt19937 random(5);
  DibImgBuf srcBuf, zoomBuf, sizeBuf;
  ImpImgBuf src(7, 5, 24, &srcBuf);
  fillRandom(src, random);
  ImpImgBuf zoomed(14, 15, 24, &zoomBuf);
  ASSERT_TRUE(src.ZoomInto({2, 3}, &zoomed));
  for (int32_t y = 0; y < 15; ++y)
    for (int32_t x = 0; x < 14; ++x)
      ASSERT_EQ(std::memcmp(pixel24(zoomed, x, y), pixel24(src, x / 2, y / 3), 3), 0);
  // A flat image stays flat at any size.
  for (int32_t y = 0; y < 5; ++y) std::memset(src.GetData() + y * src.GetStride(), 77, 21);
  ImpImgBuf resized(3, 11, 24, &sizeBuf);
  ASSERT_TRUE(src.ResizeInto(&resized));
  for (int32_t y = 0; y < 11; ++y)
    for (int32_t x = 0; x < 3; ++x) ASSERT_EQ(pixel24(resized, x, y)[1], 77);
  DibImgBuf other;
  PixlabImgBuf core(3, 3, 8, &other);
  EXPECT_FALSE(src.ZoomInto({2, 2}, &core));
  EXPECT_FALSE(src.ResizeInto(&core));
  // A call the primitives refuse (a zoom by 0, a shrinking "zoom") fails, and the target keeps
  // its pixels.
  const std::vector<uint8_t> before(zoomed.GetData(), zoomed.GetData() + zoomBuf.length());
  EXPECT_FALSE(src.ZoomInto({0, 3}, &zoomed));
  EXPECT_FALSE(src.ZoomInto({2, 0}, &zoomed));
  EXPECT_EQ(std::vector<uint8_t>(zoomed.GetData(), zoomed.GetData() + zoomBuf.length()), before);
  EXPECT_TRUE(src.ZoomInto({2, 3}, &zoomed));  // a refusal decides nothing after it
}

TEST(ImageAdapterTest, ImpViewsAndEmptySizes) {
  DibImgBuf buf;
  ImpImgBuf empty(0, 0, 24, &buf);
  EXPECT_EQ(empty.GetSize(), (Extent{1, 1}));
  ImpImgBuf image(19, 9, 24, &buf);
  EXPECT_EQ(image.GetBitsPerPixel(), 24);
  EXPECT_EQ(image.GetStride() % 8, 0);
  ImpImgBuf view(Rect{3, 2, 10, 6}, &image);
  EXPECT_EQ(view.GetSize(), (Extent{7, 4}));
  EXPECT_EQ(view.GetData(), image.GetData() + 2 * image.GetStride() + 9);
  EXPECT_EQ(view.GetStride(), image.GetStride());
  // A rectangle reaching out of the parent is held inside it.
  ImpImgBuf edge(Rect{15, 7, 40, 30}, &image);
  EXPECT_EQ(edge.GetSize(), (Extent{4, 2}));
}

TEST(ImageAdapterTest, PixlabLayoutSwapAndViews) {
  DibImgBuf buf;
  PixlabImgBuf image(37, 5, 1, &buf);
  ASSERT_TRUE(image.valid());
  EXPECT_EQ(image.GetSize(), (Extent{37, 5}));
  EXPECT_EQ(image.GetStride(), 8);  // two 32-bit words
  EXPECT_EQ(buf.GetWidth(), 64);
  EXPECT_GE(buf.GetHeight(), 6);  // at least one row more than the image
  EXPECT_EQ(buf.GetBitsPerPixel(), 1);
  setCoreBit(image, 0, 0, true);
  setCoreBit(image, 33, 1, true);
  image.SwapBytes();
  EXPECT_EQ(buf.GetData()[0], 0x80);
  EXPECT_TRUE(dibBit(buf.GetData(), 8, 33, 1));
  image.SwapBytes();
  EXPECT_TRUE(coreBit(image, 33, 1));

  ImagePool pool;
  EXPECT_NE(pool.MakeView(Rect{32, 1, 37, 3}, &image), nullptr);
  EXPECT_EQ(pool.MakeView(Rect{5, 1, 20, 3}, &image), nullptr) << "not on a word";
  EXPECT_EQ(pool.MakeView(Rect{32, 1, 40, 3}, &image), nullptr) << "outside";
  EXPECT_EQ(pool.size(), 1u);
}

TEST(ImageAdapterTest, PixlabResize) {
  DibImgBuf a, b, c;
  PixlabImgBuf ink(16, 8, 1, &a);
  std::memset(a.GetData(), 0xFF, a.length());  // every pixel set: black
  PixlabImgBuf grey(8, 4, 8, &b);
  ASSERT_TRUE(ink.ResizeInto(&grey));
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 8; ++x)
      ASSERT_EQ(coreByte(grey.GetData() + y * grey.GetStride(), x), 0);
  PixlabImgBuf flat(5, 5, 8, &c);
  for (int32_t y = 0; y < 5; ++y) std::memset(c.GetData() + y * flat.GetStride(), 200, 8);
  DibImgBuf d;
  PixlabImgBuf larger(11, 9, 8, &d);
  ASSERT_TRUE(flat.ResizeInto(&larger));
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 11; ++x)
      ASSERT_EQ(coreByte(larger.GetData() + y * larger.GetStride(), x), 200) << x << "," << y;
  DibImgBuf e;
  PixlabImgBuf oneBit(4, 4, 1, &e);
  EXPECT_FALSE(flat.ResizeInto(&oneBit));
  DibImgBuf f;
  ImpImgBuf imp(4, 4, 8, &f);
  EXPECT_FALSE(flat.ResizeInto(&imp));
}

TEST(ImageAdapterTest, PoolMakesTheAdapterOfTheDepth) {
  DibImgBuf a, b, c;
  ImagePool pool;
  ImageAdapter *one = pool.MakeAdapter(1, Rect{0, 0, 9, 4}, &a);
  ImageAdapter *grey = pool.MakeAdapter(8, Rect{2, 2, 9, 4}, &b);
  ImageAdapter *colour = pool.MakeAdapter(24, Rect{0, 0, 9, 4}, &c);
  ASSERT_TRUE(one && grey && colour);
  EXPECT_NE(one->asPixlab(), nullptr);
  EXPECT_EQ(grey->GetSize(), (Extent{7, 2}));
  EXPECT_NE(colour->asImp(), nullptr);
  ImageAdapter *view = pool.MakeView(Rect{1, 1, 4, 3}, colour);
  ASSERT_NE(view, nullptr);
  EXPECT_NE(view->asImp(), nullptr);
  EXPECT_EQ(pool.MakeAdapter(8, Rect{}, nullptr), nullptr);
  EXPECT_EQ(pool.size(), 4u);
}

// CIE L*a*b* (D65 white, X/Xn scaled) to sRGB in double precision.
void labModel(double l, double a, double b, double rgb[3]) {
  const double fy = (l + 16) / 116, fx = fy + a / 500, fz = fy - b / 200;
  auto inv = [](double f) { return f >= 6.0 / 29 ? f * f * f : (f - 4.0 / 29) * 3 * 36.0 / 841; };
  const double X = inv(fx), Y = inv(fy), Z = inv(fz);
  const double lin[3] = {3.0802 * X - 1.5371 * Y - 0.5430 * Z,
                         -0.9210 * X + 1.8758 * Y + 0.0452 * Z,
                         0.0529 * X - 0.2042 * Y + 1.1511 * Z};
  for (int c = 0; c < 3; ++c) {
    const double v = std::clamp(lin[c], 0.0, 1.0);
    rgb[c] = 255 * (v > 0.0031308 ? 1.055 * std::pow(v, 1 / 2.4) - 0.055 : 12.92 * v);
  }
}

TEST(ImageAdapterTest, LabToRgb) {
  const LabRange range;
  const int32_t width = 320;
  DibImgBuf buf;
  ImpImgBuf image(width, 1, 24, &buf);
  std::mt19937 random(6);
  // The neutral axis (a* = b* = 0 at codes 128 and 96) from black to white, then random codes
  // with one pixel repeated.
  std::vector<uint8_t> codes;
  for (int l = 0; l < 256; ++l) codes.insert(codes.end(), {uint8_t(l), 128, 96});
  while (codes.size() < size_t{width} * 3) codes.push_back(static_cast<uint8_t>(random()));
  std::copy(codes.begin() + 3 * 300, codes.begin() + 3 * 301, codes.begin() + 3 * 301);
  std::copy(codes.begin(), codes.end(), image.GetData());
  image.ConvertLabToRgb(range);
  const uint8_t *p = image.GetData();
  EXPECT_EQ(std::memcmp(p + 3 * 300, p + 3 * 301, 3), 0);
  for (int32_t x = 0; x < width; ++x) {
    const uint8_t *c = &codes[3 * size_t(x)];
    double rgb[3];
    labModel(range.lMin + c[0] * (range.lMax - range.lMin) / 255,
             range.aMin + c[1] * (range.aMax - range.aMin) / 255,
             range.bMin + c[2] * (range.bMax - range.bMin) / 255, rgb);
    const uint8_t *out = p + 3 * x;
    if (x < 256) {
      // Grey stays grey, darkens monotonically, and is exact at both ends.
      ASSERT_TRUE(out[0] == out[1] && out[1] == out[2]) << "L code " << x;
      if (x > 0) {
        ASSERT_GE(out[0], out[-3]) << "L code " << x;
      }
      if (rgb[0] >= 40) {
        EXPECT_NEAR(out[0], rgb[0], 4.0) << "L code " << x;
      }
      continue;
    }
    // Colours, blue, green, red in stored order; the tables' 1/1023 steps show most in dark
    // channels.
    for (int ch = 0; ch < 3; ++ch)
      EXPECT_NEAR(out[ch], rgb[2 - ch], 20.0) << "pixel " << x << " channel " << ch;
  }
  EXPECT_EQ(p[0], 0);
  EXPECT_EQ(p[3 * 255], 255);
}

}  // namespace
}  // namespace ctl

namespace ctl {
namespace {

// Padded 1- and 8-bit rows: the adapter keeps the width it asked for apart from the stride.
TEST(ImageAdapterTest, WidthAndStrideApart) {
  for (int32_t bpp : {1, 8}) {
    DibImgBuf buf;
    ImpImgBuf image(37, 3, bpp, &buf);
    EXPECT_EQ(image.GetWidth(), 37);
    EXPECT_EQ(image.GetBitsPerPixel(), bpp);
    EXPECT_EQ(image.GetStride(), bpp == 1 ? 8 : 40);
    EXPECT_GE(buf.GetWidth(), 37);
  }
}

TEST(ImageAdapterTest, Dumps) {
  norvtest::TempDir dir("dumps");
  std::mt19937 random(7);
  DibImgBuf a, b, c;
  ImpImgBuf colour(9, 4, 24, &a), grey(9, 4, 8, &b);
  fillRandom(colour, random);
  fillRandom(grey, random);
  ASSERT_TRUE(colour.Dump(dir.file("colour").c_str(), "bmp"));  // not a prefix: ".pnm" added
  ASSERT_TRUE(grey.Dump(dir.file("grey.pgm").c_str(), "pn"));
  const norvtest::Pnm p6 = norvtest::readPnm(dir.file("colour.pnm"));
  ASSERT_EQ(p6.kind, '6');
  EXPECT_EQ(p6.raster, bytesOf(colour));  // rows as stored: blue, green, red
  const norvtest::Pnm p5 = norvtest::readPnm(dir.file("grey.pgm"));
  ASSERT_EQ(p5.kind, '5');
  EXPECT_EQ(p5.raster, bytesOf(grey));
  EXPECT_FALSE(colour.Dump(nullptr, "pnm"));

  PixlabImgBuf mask(40, 3, 1, &c);
  setCoreBit(mask, 0, 0, true);
  setCoreBit(mask, 39, 2, true);
  ASSERT_TRUE(mask.Dump(dir.file("mask").c_str(), "t"));
  TIFF *tif = TIFFOpen(dir.file("mask").c_str(), "r");
  ASSERT_NE(tif, nullptr);
  uint32_t width = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
  EXPECT_EQ(width, 40u);
  std::vector<uint8_t> row(TIFFScanlineSize(tif));
  std::vector<std::vector<uint8_t>> rows;
  for (uint32_t y = 0; y < 3 && TIFFReadScanline(tif, row.data(), y) == 1; ++y) rows.push_back(row);
  TIFFClose(tif);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0][0], 0x80);
  EXPECT_EQ(rows[1], std::vector<uint8_t>(5, 0));
  EXPECT_EQ(rows[2][4], 0x01);
  EXPECT_TRUE(std::filesystem::exists(dir.file("mask")));
}

}  // namespace
}  // namespace ctl
