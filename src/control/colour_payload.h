// The colour payload of a colour-token foreground band: one colour per token of its mask band,
// in token order.
//
// Layout: bytes 3 and 1; the token count as a big-endian 32-bit number; then runs, each a
// count (a byte 1 to 254, or a 0 byte followed by a big-endian 16-bit count of 1 or more)
// followed by red, green and blue bytes, until the runs have covered every token. A payload
// that does not start with 3 and 1 has no colours (success, an empty list). Runs that pass the
// token count, a run count of 255 or of 0, and bytes that end before every token has its
// colour are corrupt; bytes after the last run are ignored.
#ifndef CTL_COLOUR_PAYLOAD_H
#define CTL_COLOUR_PAYLOAD_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ctl {

enum ColourPayloadStatus : int32_t { colourPayloadOk = 0, colourPayloadCorrupt = 107 };

// Colours as 0xRRGGBB, one per token; *colours is empty after a failure.
int32_t decodeColors(const uint8_t *payload, size_t length, std::vector<uint32_t> *colours);

}  // namespace ctl

#endif
