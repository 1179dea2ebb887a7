// Colour to grey on 4-bit planes: every nibble is widened to 8 bits (17 v), weighted like an
// 8-bit pixel and narrowed again. The three weights of a nibble are looked up from 16-entry
// tables made once from the 8-bit weights; eight pixels of a word are done per step.
#include "i_grey4.h"

#include <array>
#include <cstring>

namespace pxl::ops {
namespace {

constexpr std::array<uint8_t, 16> nibbleWeights(int weight) {
  std::array<uint8_t, 16> t{};
  for (int v = 0; v < 16; ++v) t[v] = static_cast<uint8_t>(weight * (17 * v) / 1000);
  return t;
}
constexpr auto kRed = nibbleWeights(299);
constexpr auto kGreen = nibbleWeights(587);
constexpr auto kBlue = nibbleWeights(114);

}  // namespace

void rgbToGrayRows4(const uint8_t *planeA, const uint8_t *planeB, const uint8_t *planeC,
                    int32_t stride, uint8_t *out, int32_t outStride, int32_t fullWidth,
                    int32_t fullHeight) {
  const int64_t words = (int64_t{fullWidth} - 64 + 7) / 8;
  for (int32_t r = 0; r < fullHeight - 64 && words > 0; ++r) {
    const int64_t in = int64_t{32 + r} * stride + 16;
    uint8_t *o = out + int64_t{32 + r} * outStride + 16;
    for (int64_t w = 0; w < words; ++w) {
      uint32_t a, b, c, grey = 0;
      std::memcpy(&a, planeA + in + 4 * w, 4);
      std::memcpy(&b, planeB + in + 4 * w, 4);
      std::memcpy(&c, planeC + in + 4 * w, 4);
      for (int shift = 0; shift < 32; shift += 4) {
        const uint32_t sum =
            kRed[(a >> shift) & 15] + kGreen[(b >> shift) & 15] + kBlue[(c >> shift) & 15];
        grey |= (sum >> 4) << shift;
      }
      std::memcpy(o + 4 * w, &grey, 4);
    }
  }
}

}  // namespace pxl::ops
