// Processor queries and the word byte-order row routines.
//
// On x86-64 the 8-byte processing unit is always available (SSE2 is part of the
// architecture), so the unit is 8 whenever the context's processor flag is set. The unit
// decides row padding (part of the image layout) and whether the 8-byte kernels run; both
// units give identical pixels. The kernels are written with 64-bit words or SSE2, so no
// MMX state needs to be left: pxlEndMmx does nothing.
//
// Packed core rows hold 32-bit little-endian words with the leftmost pixel in the most
// significant bits; bitmap and file rows want the leftmost pixel first. Reversing the bytes
// of every word converts either way.
#include <cpuid.h>

#include <cstring>

#include "pxl_internal.h"

extern "C" {

void pxlGetProcessingUnit(PxlContext *ctx, int32_t *out) {
  *out = (ctx != nullptr && ctx->processorFlag != 0) ? 8 : 4;
}

void pxlGetUnitForBuffers(PxlContext *ctx, intptr_t a, intptr_t b, intptr_t c, intptr_t d,
                          int32_t *out) {
  int32_t unit = 4;
  pxlGetProcessingUnit(ctx, &unit);
  *out = (unit == 8 && ((a | b | c | d) & 7) == 0) ? 8 : 4;
}

void pxlEndMmx(PxlContext *) {}

void pxlGetCpuFamily(int32_t, int32_t *out) {
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(0, &eax, &ebx, &ecx, &edx) == 0 || eax < 1) {
    *out = 4;
    return;
  }
  __get_cpuid(1, &eax, &ebx, &ecx, &edx);
  *out = static_cast<int32_t>((eax >> 8) & 0xF);
}

void pxlReverseWordBytes(PxlContext *, const uint32_t *src, uint32_t *dst, int32_t count) {
  int32_t i = 0;
  for (; i + 8 <= count; i += 8)
    for (int k = 0; k < 8; ++k) dst[i + k] = __builtin_bswap32(src[i + k]);
  for (; i < count; ++i) dst[i] = __builtin_bswap32(src[i]);
}

void pxlReverseWordBytesInvert(PxlContext *, const uint32_t *src, uint32_t *dst, int32_t count) {
  int32_t i = 0;
  for (; i + 8 <= count; i += 8)
    for (int k = 0; k < 8; ++k) dst[i + k] = ~__builtin_bswap32(src[i + k]);
  for (; i < count; ++i) dst[i] = ~__builtin_bswap32(src[i]);
}

static inline uint32_t wordFromBytes(const uint32_t *word) {
  unsigned char b[4];
  std::memcpy(b, word, 4);
  return (uint32_t{b[3]}) | (uint32_t{b[2]} << 8) | (uint32_t{b[1]} << 16) | (uint32_t{b[0]} << 24);
}

void pxlReverseWordBytesByLoads(PxlContext *, const uint32_t *src, uint32_t *dst, int32_t count) {
  for (int32_t i = 0; i < count; ++i) dst[i] = wordFromBytes(src + i);
}

void pxlReverseWordBytesInvertByLoads(PxlContext *, const uint32_t *src, uint32_t *dst,
                                      int32_t count) {
  for (int32_t i = 0; i < count; ++i) dst[i] = ~wordFromBytes(src + i);
}

void pxlSelectWordByteReverser(PxlContext *, int32_t invert, int32_t kind,
                               PxlWordByteReverser *slotKind1, PxlWordByteReverser *slotKind0,
                               PxlWordByteReverser *slotOther) {
  int32_t family = 0;
  pxlGetCpuFamily(0, &family);
  PxlWordByteReverser routine;
  if (family == 3)
    routine = invert ? pxlReverseWordBytesInvertByLoads : pxlReverseWordBytesByLoads;
  else
    routine = invert ? pxlReverseWordBytesInvert : pxlReverseWordBytes;
  PxlWordByteReverser *slot = kind == 1 ? slotKind1 : kind == 0 ? slotKind0 : slotOther;
  if (slot != nullptr) *slot = routine;
}

}  // extern "C"
