// Line decoders of the fax decoder: one coded line of ITU-T T.4 (one-dimensional runs, or
// two-dimensional modes against the reference line; T.6 lines are the latter) into the
// coding line's changing elements, with T.4's uncompressed mode.
#ifndef FAX_DECODE_H
#define FAX_DECODE_H

#include <cstdint>

#include "fax_lines.h"
#include "fax_reader.h"

namespace fax {

enum class LineEnd {
  kComplete,  // the line reached its width
  kShort,     // no code follows (fill, an EOL, or the end of the data): the rest stays white
  kBadCode,   // bits that begin no code, or a change left of a0
};

// Whether uncompressed mode is on carries from line to line.
LineEnd decodeLine1D(Reader &reader, int32_t width, Changes &coding, bool &uncompressed);
LineEnd decodeLine2D(Reader &reader, int32_t width, const int32_t *reference, Changes &coding,
                     bool &uncompressed);

}  // namespace fax

#endif
