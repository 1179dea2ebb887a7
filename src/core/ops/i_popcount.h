// Population counts of whole runs of 32-bit words. The processor's count instruction is used
// where it exists (chosen once per process), a bit-sliced count of 64-bit words elsewhere;
// both give the same totals.
#ifndef PXL_I_POPCOUNT_H
#define PXL_I_POPCOUNT_H

#include <cstdint>

namespace pxl::ops {

// Set bits of n consecutive 32-bit words from p (any alignment).
uint64_t countSetBits(const uint8_t *p, int64_t n);

}  // namespace pxl::ops

#endif
