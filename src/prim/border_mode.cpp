// Per-side border modes of an image (source unit "impborde"): each selected side takes the mode
// and the constant, the constant first limited to the range of the image's depth (1-bit 0..1,
// 8U 0..255, 16U 0..65535, 8S -128..127, 16S -32768..32767; other depths unchanged).
#include "imp_image.h"

void ownSetBorder(ImpImageHeader *image, int32_t mode, int32_t sides, int32_t constant) {
  if (image == nullptr) return;
  int64_t lo = INT32_MIN, hi = INT32_MAX;
  switch (image->depth) {
    case IMP_DEPTH_1U:
      lo = 0, hi = 1;
      break;
    case IMP_DEPTH_8U:
      lo = 0, hi = 255;
      break;
    case IMP_DEPTH_16U:
      lo = 0, hi = 65535;
      break;
    case IMP_DEPTH_8S:
      lo = -128, hi = 127;
      break;
    case IMP_DEPTH_16S:
      lo = -32768, hi = 32767;
      break;
    default:
      break;
  }
  const int32_t c = static_cast<int32_t>(constant < lo ? lo : constant > hi ? hi : constant);
  for (int side = 0; side < 4; ++side) {
    if (sides & (1 << side)) {
      image->borderModes[side] = mode;
      image->borderConsts[side] = c;
    }
  }
}
