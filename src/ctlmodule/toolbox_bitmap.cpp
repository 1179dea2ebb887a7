// The toolbox bitmap, bitmap resource 1: the 16 x 15 picture containers show for the control in
// their toolboxes, a page of text with a blue heading on a grey ground. It is a complete BMP
// file (BITMAPFILEHEADER, BITMAPINFOHEADER, 24-bit rows bottom-up, each 48 bytes) built at
// compile time from the picture below and kept in the section ".norvview.bitmap.1" of the shared
// object, which the registration's ToolboxBitmap value ("<module>,1") names.
#include <array>
#include <cstddef>
#include <cstdint>

namespace ctlmod {
namespace {

constexpr int kWidth = 16;
constexpr int kHeight = 15;
constexpr size_t kRowBytes = 3 * kWidth;  // already a multiple of 4
constexpr size_t kHeaders = 14 + 40;
constexpr size_t kFileBytes = kHeaders + kRowBytes * kHeight;

// '.' ground, 'k' outline, 'w' paper, 'b' heading, 'r' text, 'g' fold shadow.
constexpr const char *kPicture[kHeight] = {
    "................", "..kkkkkkkkk.....", "..kwwwwwwwkk....", "..kwbbbbbwkgk...",
    "..kwwwwwwwkkkk..", "..kwrrrrrrwwwk..", "..kwwwwwwwwwwk..", "..kwrrrrrwwwwk..",
    "..kwwwwwwwwwwk..", "..kwrrrrrrrwwk..", "..kwwwwwwwwwwk..", "..kwrrrrwwwwwk..",
    "..kwwwwwwwwwwk..", "..kkkkkkkkkkkk..", "................"};

struct Rgb {
  uint8_t r, g, b;
};

constexpr Rgb colourOf(char c) {
  switch (c) {
    case 'k':
      return {0, 0, 0};
    case 'w':
      return {255, 255, 255};
    case 'b':
      return {0, 0, 192};
    case 'r':
      return {96, 96, 96};
    case 'g':
      return {128, 128, 128};
    default:
      return {192, 192, 192};
  }
}

constexpr void put32(std::array<uint8_t, kFileBytes> &b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

constexpr std::array<uint8_t, kFileBytes> makeBitmap() {
  std::array<uint8_t, kFileBytes> b{};
  b[0] = 'B';
  b[1] = 'M';
  put32(b, 2, kFileBytes);
  put32(b, 10, kHeaders);
  put32(b, 14, 40);
  put32(b, 18, kWidth);
  put32(b, 22, kHeight);
  b[26] = 1;   // planes
  b[28] = 24;  // bits per pixel
  put32(b, 34, kRowBytes * kHeight);
  put32(b, 38, 3780);  // 96 dpi in pixels per metre
  put32(b, 42, 3780);
  for (int y = 0; y < kHeight; ++y) {
    const size_t row = kHeaders + kRowBytes * static_cast<size_t>(kHeight - 1 - y);
    for (int x = 0; x < kWidth; ++x) {
      const Rgb c = colourOf(kPicture[y][x]);
      b[row + 3 * x] = c.b;
      b[row + 3 * x + 1] = c.g;
      b[row + 3 * x + 2] = c.r;
    }
  }
  return b;
}

}  // namespace

[[gnu::used, gnu::section(".norvview.bitmap.1")]] extern const std::array<uint8_t, kFileBytes>
    kToolboxBitmapResource = makeBitmap();

}  // namespace ctlmod
