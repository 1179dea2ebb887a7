// Fuzz entry of the fax library's decoders (T.6, T.4 one- and two-dimensional). Byte 0 picks
// the decoder (value % 3) and whether the end codes are counted (bit 7); bytes 1-2 and 3-4 the
// line width (1 to 4096) and the line count (1 to 512) as in the image core's CCITT seeds;
// byte 5 the target column of coded column 0 (0 to 63); the rest is the coded data. Every
// input must end with 0 or 107, write nothing past the clip column, and report a left-over
// count inside the data. A successful T.6 decode is coded again with the encoder and must
// decode to the same pixels.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "ccitt_decode.h"
#include "ccitt_internal.h"

namespace {

QtzState *state() {
  static QtzState *s = [] {
    QtzState *made = nullptr;
    if (Qtz_initQtzState(&made, nullptr, nullptr, nullptr, nullptr, 0, 0) != 0) std::abort();
    return made;
  }();
  return s;
}

CcittDecoder *decoder() {
  static CcittDecoder *d = [] {
    CcittDecoder *made = nullptr;
    if (ccittNewDecoder(&made, state(), nullptr) != 0) std::abort();
    return made;
  }();
  return d;
}

using DecodeFn = decltype(&g4DecodeC);
constexpr DecodeFn kDecoders[] = {g4DecodeC, g3_1DDecodeC, g3_2DDecodeC};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 6 || size > (1 << 20)) return 0;
  const DecodeFn decode = kDecoders[data[0] % 3];
  const int32_t countEnd = data[0] >> 7;
  const int32_t width = (data[1] << 8 | data[2]) % 4096 + 1;
  const int32_t lines = (data[3] << 8 | data[4]) % 512 + 1;
  const int32_t x = data[5] % 64;
  // One spare word per row past the clip column, which must stay white.
  const int32_t words = (x + width + 31) / 32 + 1;
  std::vector<uint32_t> rows(static_cast<size_t>(words) * lines, 0);
  const auto length = static_cast<int32_t>(size - 6);
  int32_t left = -1;
  const int32_t status = decode(decoder(), rows.data(), width, lines, words, x, x + width - 1,
                                lines - 1, data + 6, length, countEnd, &left);
  if (status != 0 && status != 107) std::abort();
  if (status != 0) return 0;
  if (left < 0 || left > length) std::abort();
  for (int32_t y = 0; y < lines; ++y)
    if (rows[static_cast<size_t>(y) * words + words - 1] != 0) std::abort();
  if (decode != g4DecodeC) return 0;
  // Shift the decoded lines to column 0 and code them again.
  std::vector<uint32_t> plain(static_cast<size_t>(words) * lines, 0);
  for (int32_t y = 0; y < lines; ++y)
    for (int32_t c = 0; c < width; ++c) {
      const int32_t t = x + c;
      if (rows[static_cast<size_t>(y) * words + t / 32] >> (31 - t % 32) & 1)
        plain[static_cast<size_t>(y) * words + c / 32] |= uint32_t{0x80000000} >> (c % 32);
    }
  // Two bytes a pixel and line, and two pixels more a line, cover the busiest lines.
  std::vector<uint8_t> code(static_cast<size_t>(width + 2) * lines * 2 + 64);
  int32_t codeSize = static_cast<int32_t>(code.size());
  if (ccittEncodeG4(plain.data(), width, lines, words, code.data(), &codeSize, 1, state()) != 0)
    std::abort();
  std::vector<uint32_t> again(plain.size(), 0);
  if (g4DecodeC(decoder(), again.data(), width, lines, words, 0, width - 1, lines - 1, code.data(),
                codeSize, 1, nullptr) != 0 ||
      again != plain)
    std::abort();
  return 0;
}
