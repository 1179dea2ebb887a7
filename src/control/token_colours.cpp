// Token colours of a colour-token band through decodeColors of the colour payload library.
#include "token_colours.h"

#include "colour_payload.h"
#include "qtz_internal.h"

namespace ctl {

bool tokenColours(QtzState *state, const uint8_t *payload, size_t length,
                  std::vector<uint32_t> *colours) {
  colours->clear();
  QtzColorState *colors = nullptr;
  if (state == nullptr || initColors(&colors, 0, state) != 0) return false;
  QtzColorEntry *entries = nullptr;
  uint32_t count = 0;
  const int32_t status = decodeColors(colors, payload, length, &entries, &count);
  if (status == 0) {
    colours->reserve(count);
    for (uint32_t i = 0; i < count; ++i)
      colours->push_back((uint32_t{entries[i].rgb[0]} << 16) | (uint32_t{entries[i].rgb[1]} << 8) |
                         entries[i].rgb[2]);
  }
  qtz::release(state, entries);
  cleanupColors(colors);
  return status == 0;
}

}  // namespace ctl
