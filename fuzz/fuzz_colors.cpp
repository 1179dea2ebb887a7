// Fuzz target of the colour payload reader: any bytes decode to a status and entries within
// the count they claim, without a read or write out of bounds and with bounded allocation.
#include <cstddef>
#include <cstdint>

#include "colour_payload.h"
#include "qtz_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  QtzState *state = nullptr;
  if (Qtz_initQtzState(&state, nullptr, nullptr, nullptr, nullptr, 0, 0) != 0) return 0;
  QtzColorState *colors = nullptr;
  if (initColors(&colors, 0, state) == 0) {
    QtzColorEntry *entries = nullptr;
    uint32_t count = 0;
    if (decodeColors(colors, data, size, &entries, &count) == 0 && count > 0) {
      volatile uint8_t sum = 0;
      for (uint32_t i = 0; i < count; ++i) sum = sum + entries[i].rgb[0] + entries[i].set;
    }
    qtz::release(state, entries);
    cleanupColors(colors);
  }
  Qtz_cleanupQtzState(&state);
  return 0;
}
