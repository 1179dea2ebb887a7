// The JBIG2 output of the token document: the small object through which the encoder reaches
// the JBIG2 back end. It holds the back end's handle, the current symbol dictionary and the
// TclyOutOps table (jbig2_output.h); tcly_out_init opens the back end through slot 0,
// tcly_out_end frees the current dictionary (slot 8) while the handle is still open, then
// closes the back end (slot 1) and frees the object.
#ifndef TCLY_OUT_INTERNAL_H
#define TCLY_OUT_INTERNAL_H

#include <cstdint>

#include "jbig2_output.h"

struct TclyPageRecord;

struct TclyOutput {
  QtzState *state;
  QtzJb2Output *handle;
  void *dictionary;  // the current symbol dictionary, or none
  int32_t one;
  uint8_t spareByte;  // the first spare byte of the token options
  int32_t tokenOption1;
  uint8_t pageDictFlagOff;
  const void *optionBlock;
  TclyPageRecord *page;  // the record of the page being written
  uint8_t final;
  uint8_t verbose;
  TclyOutOps ops;  // the caller's table; its user word starts as none
};

extern "C" {

// 2 for a null state, 118 for a missing out or table (reported), 1 when the object cannot be
// allocated (reported); a slot-0 failure frees the object and passes its status on.
int32_t tcly_out_init(QtzState *state, TclyOutput **out, int32_t one, uint8_t writePdf,
                      const void *optionBlock, int32_t tokenOption1, uint8_t spareByte,
                      uint8_t pageDictFlagOff, int32_t outputMode, uint8_t verbose,
                      const TclyOutOps *ops);
// 0 for null; the status of the close (else of the dictionary's release).
int32_t tcly_out_end(TclyOutput *out);

}  // extern "C"

#endif
