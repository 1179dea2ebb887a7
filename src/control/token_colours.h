// The colours of a colour-token band: its payload decoded by the colour payload library (the
// one definition the encoder writes), as 0xRRGGBB values, one per token in token order.
#ifndef CTL_TOKEN_COLOURS_H
#define CTL_TOKEN_COLOURS_H

#include <cstddef>
#include <cstdint>
#include <vector>

struct QtzState;

namespace ctl {

// False for a corrupt payload (runs that do not cover the token count exactly) or when memory
// runs out; a payload of another kind gives true and no colours.
bool tokenColours(QtzState *state, const uint8_t *payload, size_t length,
                  std::vector<uint32_t> *colours);

}  // namespace ctl

#endif
