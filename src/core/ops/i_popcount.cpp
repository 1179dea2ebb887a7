// Set-bit counts of word runs: 64-bit loads, counted by the POPCNT instruction when the
// processor has it (checked once), else by std::popcount's portable sequence.
#include "i_popcount.h"

#include <bit>
#include <cstring>

namespace pxl::ops {
namespace {

[[gnu::always_inline]] inline uint64_t countBody(const uint8_t *p, int64_t n) {
  uint64_t total = 0;
  int64_t i = 0;
  for (; i + 2 <= n; i += 2) {
    uint64_t v;
    std::memcpy(&v, p + 4 * i, 8);
    total += static_cast<uint64_t>(std::popcount(v));
  }
  if (i < n) {
    uint32_t v;
    std::memcpy(&v, p + 4 * i, 4);
    total += static_cast<uint64_t>(std::popcount(v));
  }
  return total;
}

[[gnu::target("popcnt")]] uint64_t countWithInstruction(const uint8_t *p, int64_t n) {
  return countBody(p, n);
}

uint64_t countPortable(const uint8_t *p, int64_t n) {
  return countBody(p, n);
}

}  // namespace

uint64_t countSetBits(const uint8_t *p, int64_t n) {
  static const bool hasInstruction = __builtin_cpu_supports("popcnt");
  return hasInstruction ? countWithInstruction(p, n) : countPortable(p, n);
}

}  // namespace pxl::ops
