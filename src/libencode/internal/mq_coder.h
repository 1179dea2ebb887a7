// The MQ arithmetic coder of ITU-T T.88 Annex E (the coder of T.800 Annex C) with the 46-state
// probability table of T.88 Table E.1.
//
// Contexts are one byte each: bits 0-6 the state index, bit 7 the MPS; arrays of them belong to
// the region coders and start zeroed. The encoder hands every finished byte to a callback and
// ends its stream with the marker 0xFF 0xAC. The decoder reads a byte window in place and asks
// a refill callback for more when it runs out (memory windows have none). A byte 0xFF followed
// by a byte of 0xA0 or more is an end marker (T.88 allows 0x90; this decoder reads 0x90 to 0x9F
// after 0xFF as data); at the marker, or when the data ends, the decoder goes on with 1-bits, so
// a short stream decodes as if padded and decoding itself never fails. The coder allocates
// nothing.
//
// mqDecode is inline: a region decoder copies the MqDecoder into a local, decodes a row with
// it, and stores it back, so that the registers live in machine registers.
#ifndef NORV_MQ_CODER_H
#define NORV_MQ_CODER_H

#include <cstddef>
#include <cstdint>

#include "qtz_state.h"

// Probability table: Qe, next state after an MPS, and next state after an LPS with the
// SWITCH flag in bit 7.
extern const uint16_t kMqQe[46];
extern const uint8_t kMqNmps[46];
extern const uint8_t kMqNlps[46];
// The three values of a state in one record, read with one load on the decoding path.
struct MqStateEntry {
  uint16_t qe;
  uint8_t nmps;
  uint8_t nlps;  // with SWITCH in bit 7
};
struct MqStateTable {
  MqStateEntry e[128];  // by the 7-bit state field; 46 to 127 never occur (copies of 45)
};
extern const MqStateTable kMqStates;

typedef bool (*MqByteOutFn)(uint8_t byte, void *user);
// Replaces *buffer and *length with fresh bytes; false (or length 0) when none are left.
typedef bool (*MqRefillFn)(const uint8_t **buffer, size_t *length, void *user);

struct MqEncoder {
  uint32_t c;
  uint16_t a;
  int32_t ct;
  uint8_t b;
  MqByteOutFn byteOut;
  void *user;
  QtzState *state;
  uint8_t started;
};

// Input states of the decoder.
enum MqInput : uint8_t { kMqMarker = 0, kMqNoData = 1, kMqData = 2 };

struct MqDecoder {
  uint32_t c;
  uint16_t a;
  uint8_t b;
  int32_t ct;
  const uint8_t *cursor;
  const uint8_t *end;
  MqRefillFn refill;
  void *user;
  QtzState *state;
  uint8_t input;
};

void mqEncInit(MqEncoder *enc, MqByteOutFn byteOut, void *user, QtzState *state);
// Codes one decision with the context byte *cx; false when a byte-out callback failed.
bool mqEncode(MqEncoder *enc, uint8_t *cx, int decision);
// mqEncode taking and giving the encoder by value (*ok false when a byte-out failed), so that a
// region coder's local encoder never has its address taken and stays in machine registers.
MqEncoder mqEncodeCopy(MqEncoder enc, uint8_t *cx, int decision, bool *ok);

// ENCODE on a local encoder with its most frequent case inline: an MPS that needs no
// renormalisation only shrinks A and adds Qe to C (T.88 E.3.2).
inline bool mqEncodeLocal(MqEncoder &enc, uint8_t *cx, int decision) {
  const uint8_t s = *cx;
  const uint32_t qe = kMqStates.e[s & 0x7F].qe;
  const uint32_t a = enc.a - qe;
  if (decision == (s >> 7) && (a & 0x8000) != 0) {
    enc.a = static_cast<uint16_t>(a);
    enc.c += qe;
    return true;
  }
  bool ok = true;
  enc = mqEncodeCopy(enc, cx, decision, &ok);
  return ok;
}
// Ends the code stream (FLUSH), writing the terminating bytes and the marker 0xFF 0xAC.
bool mqFlush(MqEncoder *enc);

void mqDecInit(MqDecoder *dec, const uint8_t *data, size_t length, MqRefillFn refill, void *user,
               QtzState *state);
// The position just after the end marker, or null when the decoder has not reached one.
const uint8_t *mqFindMarker(MqDecoder *dec);

// BYTEIN (slow part kept out of line: refills and the end of the data).
void mqByteInSlow(MqDecoder *dec);
// The same taking and giving the decoder by value, so that a caller's local decoder never has
// its address taken: its registers then stay in machine registers, and context byte stores
// cannot alias them.
MqDecoder mqByteInSlowCopy(MqDecoder dec);

inline void mqByteIn(MqDecoder &d) {
  if (d.input == kMqData && d.cursor < d.end) {
    const uint8_t next = *d.cursor;
    if (d.b == 0xFF) {
      if (next >= 0xA0) {
        d.input = kMqMarker;
        d.cursor++;
        d.c += 0xFE00;
        d.ct = 7;
        return;
      }
      d.cursor++;
      d.b = next;
      d.c += static_cast<uint32_t>(next) << 9;
      d.ct = 7;
    } else {
      d.cursor++;
      d.b = next;
      d.c += static_cast<uint32_t>(next) << 8;
      d.ct = 8;
    }
    return;
  }
  d = mqByteInSlowCopy(d);
}

// DECODE: one decision with the context byte *cx (T.800 C.3.2, C register not inverted).
inline int mqDecode(MqDecoder &d, uint8_t *cx) {
  const uint8_t s = *cx;
  const MqStateEntry e = kMqStates.e[s & 0x7F];
  const uint32_t qe = e.qe;
  int bit = s >> 7;
  d.a = static_cast<uint16_t>(d.a - qe);
  if ((d.c >> 16) < qe) {
    // LPS_EXCHANGE
    if (d.a < qe) {
      *cx = static_cast<uint8_t>((s & 0x80) | e.nmps);
    } else {
      bit ^= 1;
      *cx = static_cast<uint8_t>((s & 0x80) ^ e.nlps);
    }
    d.a = static_cast<uint16_t>(qe);
  } else {
    d.c -= qe << 16;
    if (d.a & 0x8000) return bit;
    // MPS_EXCHANGE
    if (d.a < qe) {
      bit ^= 1;
      *cx = static_cast<uint8_t>((s & 0x80) ^ e.nlps);
    } else {
      *cx = static_cast<uint8_t>((s & 0x80) | e.nmps);
    }
  }
  // RENORMD
  do {
    if (d.ct == 0) mqByteIn(d);
    d.a = static_cast<uint16_t>(d.a << 1);
    d.c <<= 1;
    d.ct--;
  } while ((d.a & 0x8000) == 0);
  return bit;
}

// A region decoder's memory of the last context it decoded: while the same context comes
// again and the decision is an MPS without renormalisation (by far the most frequent case on
// white and black runs), the context byte does not change, so the decision needs neither the
// context array nor the state table.
struct MqContextCache {
  uint32_t context = 0xFFFFFFFFu;
  uint32_t qe = 0;
  int mps = 0;
};

inline int mqDecodeCached(MqDecoder &d, uint8_t *cx, uint32_t context, MqContextCache &cache) {
  if (context == cache.context) {
    const uint32_t a = d.a - cache.qe;
    if ((d.c >> 16) >= cache.qe && (a & 0x8000)) {
      d.a = static_cast<uint16_t>(a);
      d.c -= cache.qe << 16;
      return cache.mps;
    }
  }
  const int bit = mqDecode(d, &cx[context]);
  const uint8_t s = cx[context];
  cache.context = context;
  cache.qe = kMqStates.e[s & 0x7F].qe;
  cache.mps = s >> 7;
  return bit;
}

#endif
