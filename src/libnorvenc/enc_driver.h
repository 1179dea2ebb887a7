// What the encoding calls share: the encoder built from the record's option groups, the
// library state's error stream as the encoder sets and gives it back, and the release of what
// a record holds besides its options.
#ifndef NORV_ENC_DRIVER_H
#define NORV_ENC_DRIVER_H

#include <cstdint>

#include "norv_enc.h"
#include "qtz_state.h"

namespace norvenc {

// Builds the encoder from the record's option groups (with the state's allocation hooks) and
// opens its first section; nothing when the record has one.
int32_t buildRecordEncoder(QtzState *state, NorvEncState *enc);

// Points the state's error sink at stream (null: messages are dropped), keeping the stream it
// had the first time for restoreErrorStream.
void setErrorStream(QtzState *state, NorvEncState *enc, void *stream);
// Gives the state its own stream back and closes a log file the record opened.
void restoreErrorStream(QtzState *state, NorvEncState *enc);

// Frees the pending page sources and their list, the encoder (a failure to is reported as the
// warning "Problem cleaning up; continuing anyway.") and the banded-mode bytes; the writer and
// the error stream are left.
void releaseEncoding(QtzState *state, NorvEncState *enc);

}  // namespace norvenc

#endif
