// Per-side border modes of an image (source unit "impborde"): each selected side takes the mode
// and the constant, the constant first limited to the range of the image's depth (1-bit 0..1,
// 8U 0..255, 16U 0..65535, 8S -128..127, 16S -32768..32767; other depths unchanged).
#include "imp_image.h"
#include "imp_internal.h"

void ownSetBorder(ImpImageHeader *image, int32_t mode, int32_t sides, int32_t constant) {
  if (image == nullptr) return;
  const int32_t c = imp::clampToDepthRange(image->depth, constant);
  for (int side = 0; side < 4; ++side) {
    if (sides & (1 << side)) {
      image->borderModes[side] = mode;
      image->borderConsts[side] = c;
    }
  }
}
