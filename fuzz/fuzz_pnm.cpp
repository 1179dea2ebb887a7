// Fuzz entry of the PNM-style reader ("P1" to "P6", "Q1" to "Q5"): each input is read from a
// memory stream as each wanted type (the file's own, promotions, packed bilevel and refused
// ones); an image that loads is written again as PNM and raw data into memory and freed.
// Inputs must give a status, never a crash, a leak or an oversized allocation.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "qtz_image.h"

namespace {

constexpr int32_t kWanted[] = {1, 2, 3, 4, 5, 6, 8, 9, 100};

void writeAgain(const QtzImage *image, QtzState *state) {
  char *buffer = nullptr;
  size_t length = 0;
  FILE *out = open_memstream(&buffer, &length);
  if (out == nullptr) return;
  QtzImage_pSaveF(image, out);
  QtzImage_saveRawF_(image, image->hdr.type, out, QTZ_RAW_BIG_ENDIAN, state);
  std::fclose(out);
  std::free(buffer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  QtzState *state = nullptr;
  if (Qtz_initQtzState(&state, nullptr, nullptr, nullptr, nullptr, 0, 0) != 0) return 0;
  std::vector<uint8_t> bytes(data, data + size);
  for (int32_t want : kWanted) {
    FILE *in = fmemopen(bytes.data(), bytes.size(), "rb");
    if (in == nullptr) break;
    QtzImage *image = nullptr;
    if (QtzImage_pLoadF(state, want, in, &image) == 0) {
      writeAgain(image, state);
      QtzImage_free(image);
    }
    std::fclose(in);
  }
  Qtz_cleanupQtzState(&state);
  return 0;
}
