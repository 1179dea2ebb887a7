// A plain transcription of the T.88 Annex E decoding procedures (INITDEC, DECODE with
// LPS_EXCHANGE and MPS_EXCHANGE, RENORMD, BYTEIN over a memory buffer, marker when 0xFF is
// followed by a byte of 0xA0 or more), one function call per step: the differential twin of
// the inline decoder, and the baseline of the coder benchmark.
#ifndef NORV_MQ_REFERENCE_H
#define NORV_MQ_REFERENCE_H

#include <cstddef>
#include <cstdint>

#include "mq_coder.h"

struct MqReferenceDecoder {
  const uint8_t *data;
  size_t size;
  size_t bp;
  uint32_t c;
  uint32_t a;
  int ct;
  bool marker;

  uint8_t byteAt(size_t i) const { return i < size ? data[i] : 0xFF; }

  void byteIn() {
    if (marker || bp >= size) {
      // Past the data or at the marker: 1-bits.
      if (byteAt(bp) == 0xFF && bp < size) {
        c += 0xFE00;
        ct = 7;
      } else {
        c += 0xFF00;
        ct = 8;
      }
      return;
    }
    if (data[bp] == 0xFF) {
      const uint8_t b1 = byteAt(bp + 1);
      if (bp + 1 < size && b1 >= 0xA0) {
        marker = true;
        c += 0xFF00;
        ct = 8;
      } else if (bp + 1 >= size) {
        bp++;
        c += 0xFE00;
        ct = 7;
      } else {
        bp++;
        c += static_cast<uint32_t>(data[bp]) << 9;
        ct = 7;
      }
    } else {
      bp++;
      c += static_cast<uint32_t>(byteAt(bp)) << 8;
      ct = 8;
    }
  }

  void init(const uint8_t *bytes, size_t n) {
    data = bytes;
    size = n;
    bp = 0;
    marker = false;
    c = static_cast<uint32_t>(byteAt(0)) << 16;
    byteIn();
    c <<= 7;
    ct -= 7;
    a = 0x8000;
  }

  void renorm() {
    do {
      if (ct == 0) byteIn();
      a <<= 1;
      c <<= 1;
      ct--;
    } while ((a & 0x8000) == 0);
  }

  int decode(uint8_t *cx) {
    const unsigned i = *cx & 0x7F;
    const unsigned mps = *cx >> 7;
    const uint32_t qe = kMqQe[i];
    const bool sw = kMqNlps[i] & 0x80;
    const unsigned nlps = kMqNlps[i] & 0x7F;
    int d;
    a -= qe;
    if ((c >> 16) < qe) {
      if (a < qe) {
        d = static_cast<int>(mps);
        *cx = static_cast<uint8_t>((mps << 7) | kMqNmps[i]);
      } else {
        d = static_cast<int>(1 - mps);
        *cx = static_cast<uint8_t>(((sw ? 1 - mps : mps) << 7) | nlps);
      }
      a = qe;
      renorm();
    } else {
      c -= qe << 16;
      if ((a & 0x8000) == 0) {
        if (a < qe) {
          d = static_cast<int>(1 - mps);
          *cx = static_cast<uint8_t>(((sw ? 1 - mps : mps) << 7) | nlps);
        } else {
          d = static_cast<int>(mps);
          *cx = static_cast<uint8_t>((mps << 7) | kMqNmps[i]);
        }
        renorm();
      } else {
        d = static_cast<int>(mps);
      }
    }
    return d;
  }
};

#endif
