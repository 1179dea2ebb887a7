// The colour payload decoder: runs of one colour expanded into one colour per token.
//
// The token count is checked against what the bytes can describe (at most 65535 tokens per
// four bytes) before anything is allocated.
#include "colour_payload.h"

namespace ctl {
namespace {

uint32_t load32(const uint8_t *p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

}  // namespace

int32_t decodeColors(const uint8_t *payload, size_t length, std::vector<uint32_t> *colours) {
  colours->clear();
  if (payload == nullptr || length < 2 || payload[0] != 3 || payload[1] != 1)
    return colourPayloadOk;
  if (length < 6) return colourPayloadCorrupt;
  const uint64_t count = load32(payload + 2);
  const uint64_t rest = length - 6;
  if (count > (rest / 4) * uint64_t{65535}) return colourPayloadCorrupt;
  colours->reserve(static_cast<size_t>(count));
  size_t at = 6;
  while (colours->size() < count) {
    if (at >= length) break;
    uint32_t run = payload[at++];
    if (run == 0) {
      if (length - at < 2) break;
      run = uint32_t{payload[at]} << 8 | payload[at + 1];
      at += 2;
    } else if (run == 255) {
      break;
    }
    if (run == 0 || length - at < 3 || run > count - colours->size()) break;
    const uint32_t colour =
        uint32_t{payload[at]} << 16 | uint32_t{payload[at + 1]} << 8 | payload[at + 2];
    at += 3;
    colours->insert(colours->end(), run, colour);
  }
  if (colours->size() != count) {
    colours->clear();
    return colourPayloadCorrupt;
  }
  return colourPayloadOk;
}

}  // namespace ctl
