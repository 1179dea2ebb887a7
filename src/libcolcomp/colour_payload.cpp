// Encoding and decoding the colour payload (format in colour_payload.h). The encoder walks the
// tokens twice: once to size the runs, once to write them, so it needs no run list.
#include "colour_payload.h"

#include <cstring>

#include "qtz_err.h"
#include "qtz_internal.h"

namespace {

constexpr uint32_t kMaxRun = 65534;

void logLine(const QtzColorState *colors, const char *text) {
  if (colors != nullptr && colors->verbose) qtz::reportText(colors->state, QTZ_MSG_REPORT, text);
}

bool sameColour(const QtzTokenBitmap *a, const QtzTokenBitmap *b) {
  return std::memcmp(a->colour, b->colour, 3) == 0;
}

// Calls run(first token, count) for each run in order.
template <typename Run>
void forEachRun(const QtzTokenBitmap *const *tokens, uint32_t count, Run run) {
  uint32_t start = 0;
  for (uint32_t i = 1; i <= count; ++i) {
    if (i < count && i - start < kMaxRun && sameColour(tokens[i], tokens[start])) continue;
    run(tokens[start], i - start);
    start = i;
  }
}

}  // namespace

int32_t initColors(QtzColorState **colors, uint8_t verbose, QtzState *state) {
  if (colors == nullptr) return qtz::report(state, 118);
  *colors = static_cast<QtzColorState *>(qtz::allocateZeroed(state, 1, sizeof(QtzColorState)));
  if (*colors == nullptr) return qtz::report(state, 1);
  (*colors)->verbose = verbose;
  (*colors)->state = state;
  return 0;
}

void cleanupColors(QtzColorState *colors) {
  if (colors == nullptr) return;
  logLine(colors, "cleanupColors() begins");
  QtzState *state = colors->state;
  qtz::release(state, colors->colours);
  logLine(colors, "cleanupColors() ends.");
  qtz::release(state, colors);
}

int32_t encodeColors(const QtzTokenBitmap *const *tokens, uint32_t count, QtzColorState *colors,
                     uint8_t **payload, size_t *size, QtzState *state) {
  *payload = nullptr;
  *size = 0;
  if (count > 0 && tokens == nullptr) return qtz::report(state, 118);
  for (uint32_t i = 0; i < count; ++i)
    if (tokens[i] == nullptr || tokens[i]->colour == nullptr) return qtz::report(state, 118);
  logLine(colors, "encodeColors() starts.");
  size_t bytes = 6;
  forEachRun(tokens, count, [&](const QtzTokenBitmap *, uint32_t n) { bytes += n < 255 ? 4 : 6; });
  uint8_t *out = static_cast<uint8_t *>(qtz::allocate(state, bytes));
  if (out == nullptr) {
    logLine(colors, "encodeColors() ends (bailing!!!).");
    return qtz::report(state, 1);
  }
  const uint8_t header[6] = {
      3, 1, uint8_t(count >> 24), uint8_t(count >> 16), uint8_t(count >> 8), uint8_t(count)};
  std::memcpy(out, header, 6);
  size_t at = 6;
  forEachRun(tokens, count, [&](const QtzTokenBitmap *first, uint32_t n) {
    if (n < 255) {
      out[at++] = static_cast<uint8_t>(n);
    } else {
      out[at++] = 0;
      out[at++] = static_cast<uint8_t>(n >> 8);
      out[at++] = static_cast<uint8_t>(n);
    }
    std::memcpy(out + at, first->colour, 3);
    at += 3;
  });
  *payload = out;
  *size = at;
  logLine(colors, "encodeColors() ends (ok).");
  return 0;
}

int32_t decodeColors(QtzColorState *colors, const uint8_t *payload, size_t length,
                     QtzColorEntry **entries, uint32_t *count) {
  QtzState *state = colors != nullptr ? colors->state : nullptr;
  *entries = nullptr;
  *count = 0;
  if (payload == nullptr) return qtz::report(state, 118);
  if (length < 6 || payload[0] != 3 || payload[1] != 1) return 0;
  const uint32_t total = (uint32_t{payload[2]} << 24) | (uint32_t{payload[3]} << 16) |
                         (uint32_t{payload[4]} << 8) | payload[5];
  // Each whole run: its count and where its colour lies.
  auto walk = [&](auto visit) {
    size_t at = 6;
    while (at < length) {
      uint32_t n = payload[at];
      size_t colour = at + 1;
      if (n == 0) {
        if (at + 6 > length) break;
        n = (uint32_t{payload[at + 1]} << 8) | payload[at + 2];
        colour = at + 3;
      } else if (at + 4 > length) {
        break;
      }
      visit(n, payload + colour);
      at = colour + 3;
    }
  };
  uint64_t covered = 0;
  walk([&](uint32_t n, const uint8_t *) { covered += n; });
  if (covered != total)
    return qtz::reportText(state, 107, "colour runs do not add up to the token count");
  if (total == 0) return 0;
  auto *out =
      static_cast<QtzColorEntry *>(qtz::allocateZeroed(state, total, sizeof(QtzColorEntry)));
  if (out == nullptr) return qtz::report(state, 1);
  uint32_t filled = 0;
  walk([&](uint32_t n, const uint8_t *rgb) {
    for (uint32_t k = 0; k < n; ++k, ++filled) {
      std::memcpy(out[filled].rgb, rgb, 3);
      out[filled].set = 1;
    }
  });
  *entries = out;
  *count = total;
  return 0;
}
