// Fuzz entry of the PNM-style reader ("P1" to "P6", "Q1" to "Q5"): each input is read from a
// memory stream as each wanted type (the file's own, promotions, packed bilevel and refused
// ones); an image that loads is written again as PNM and raw data into memory, converted to
// every type and freed. The same bytes are also read as a raw file whose type, width and
// height come from the first five bytes. Inputs must give a status, never a crash, a leak, an
// oversized allocation or undefined behaviour (float data converted to integer types included).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "qtz_image.h"

namespace {

constexpr int32_t kWanted[] = {1, 2, 3, 4, 5, 6, 8, 9, 100};
constexpr uint16_t kTargets[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 100};
constexpr int32_t kRawTypes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 100, 0, 11};

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

void convertToAll(const QtzImage *image) {
  for (uint16_t to : kTargets) {
    QtzImage *converted = nullptr;
    if (QtzImage_convert(image, to, &converted) == 0) QtzImage_free(converted);
  }
}

// Byte 0: the type (from kRawTypes; its top bit adds QTZ_RAW_BIG_ENDIAN); bytes 1 to 4: width and
// height as signed 16-bit numbers; the rest is the file.
void readRaw(const std::vector<uint8_t> &bytes, QtzState *state) {
  if (bytes.size() < 5) return;
  const int32_t type =
      kRawTypes[(bytes[0] & 0x7F) % 12] | (bytes[0] & 0x80 ? QTZ_RAW_BIG_ENDIAN : 0);
  const int32_t width = static_cast<int16_t>(bytes[1] << 8 | bytes[2]);
  const int32_t height = static_cast<int16_t>(bytes[3] << 8 | bytes[4]);
  std::vector<uint8_t> body(bytes.begin() + 5, bytes.end());
  FILE *in = fmemopen(body.empty() ? nullptr : body.data(), body.size(), "rb");
  if (in == nullptr) return;
  QtzImage *image = nullptr;
  if (QtzImage_loadRawF(type, width, height, in, &image, state) == 0) {
    writeAgain(image, state);
    convertToAll(image);
    QtzImage_free(image);
  }
  std::fclose(in);
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
      convertToAll(image);
      QtzImage_free(image);
    }
    std::fclose(in);
  }
  readRaw(bytes, state);
  Qtz_cleanupQtzState(&state);
  return 0;
}
