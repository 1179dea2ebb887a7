// What the users of the colour component finder need beyond its C interface: freeing a
// finished component (runs, image and its pool class 3 record).
#ifndef CC_COLOUR_INTERNAL_H
#define CC_COLOUR_INTERNAL_H

#include "qtz_cc.h"

namespace supercc {

// A null record does nothing.
void freeColourComponent(QtzState *state, QtzCCColourComponent *component);

}  // namespace supercc

#endif
