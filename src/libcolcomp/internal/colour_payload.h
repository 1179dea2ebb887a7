// The colour payload: the colours of the symbol instances of a coloured token layer, coded
// beside its JBIG2 data, and the small state record both sides keep.
//
// Format (big-endian): 3, 1, the token count T (4 bytes), then runs in token order: [n][r][g][b]
// for 1 <= n <= 254, or [0][n high][n low][r][g][b] for 255 <= n <= 65534; n tokens share the
// colour. The run counts add up to T; nothing follows the last run.
//
// encodeColors groups equal colours of consecutive tokens into runs (never above 65534) and
// hands out a buffer of exactly the bytes written (the caller frees it with the state's release
// hook); zero tokens give the 6-byte header with T = 0. decodeColors gives one entry per token:
// the colour bytes and a flag set to 1. A payload that does not start 3, 1, or is shorter than
// the header, is of another kind: status 0 and no entries. A payload whose runs do not add up
// to T gives 107 and no entries; the entries are allocated only after the runs are counted, so
// their number is bounded by the payload's length.
#ifndef COLOUR_PAYLOAD_H
#define COLOUR_PAYLOAD_H

#include <cstddef>
#include <cstdint>

#include "qtz_state.h"
#include "tc_util.h"

struct QtzColorState {
  uint8_t *colours;  // a colour array of the caller's, freed by cleanupColors when set
  uint8_t verbose;   // log lines (code -3)
  QtzState *state;
};

struct QtzColorEntry {
  uint8_t rgb[4];  // red, green, blue; the fourth byte is 0
  uint8_t set;     // 1
};

// 118 for a null out-pointer, 1 out of memory (both reported).
int32_t initColors(QtzColorState **colors, uint8_t verbose, QtzState *state);
void cleanupColors(QtzColorState *colors);
// *entries (the caller frees it with the state's release hook) and *count.
int32_t decodeColors(QtzColorState *colors, const uint8_t *payload, size_t length,
                     QtzColorEntry **entries, uint32_t *count);
// tokens: count pointers to token records in coding order, each with its three colour bytes.
int32_t encodeColors(const QtzTokenBitmap *const *tokens, uint32_t count, QtzColorState *colors,
                     uint8_t **payload, size_t *size, QtzState *state);

#endif
