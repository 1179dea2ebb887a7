// MQ encoder and the out-of-line parts of the MQ decoder (ITU-T T.88 Annex E).
#include "mq_coder.h"

constexpr uint16_t kMqQe[46] = {
    0x5601, 0x3401, 0x1801, 0x0AC1, 0x0521, 0x0221, 0x5601, 0x5401, 0x4801, 0x3801, 0x3001, 0x2401,
    0x1C01, 0x1601, 0x5601, 0x5401, 0x5101, 0x4801, 0x3801, 0x3401, 0x3001, 0x2801, 0x2401, 0x2201,
    0x1C01, 0x1801, 0x1601, 0x1401, 0x1201, 0x1101, 0x0AC1, 0x09C1, 0x08A1, 0x0521, 0x0441, 0x02A1,
    0x0221, 0x0141, 0x0111, 0x0085, 0x0049, 0x0025, 0x0015, 0x0009, 0x0005, 0x0001};

constexpr uint8_t kMqNmps[46] = {1,  2,  3,  4,  5,  38, 7,  8,  9,  10, 11, 12, 13, 29, 15, 16,
                                 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32,
                                 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 45};

// Bit 7: SWITCH (states 0, 6 and 14).
constexpr uint8_t kMqNlps[46] = {0x80 | 1, 6,  9,         12, 29, 33, 0x80 | 6, 14, 14, 14, 17, 18,
                                 20,       21, 0x80 | 14, 14, 15, 16, 17,       18, 19, 19, 20, 21,
                                 22,       23, 24,        25, 26, 27, 28,       29, 30, 31, 32, 33,
                                 34,       35, 36,        37, 38, 39, 40,       41, 42, 43};

namespace {
constexpr MqStateTable makeStates() {
  MqStateTable t{};
  for (int i = 0; i < 128; ++i) {
    const int k = i < 46 ? i : 45;
    t.e[i] = {kMqQe[k], kMqNmps[k], kMqNlps[k]};
  }
  return t;
}
}  // namespace

constexpr MqStateTable kMqStates = makeStates();

void mqEncInit(MqEncoder *enc, MqByteOutFn byteOut, void *user, QtzState *state) {
  enc->c = 0;
  enc->a = 0x8000;
  enc->ct = 12;
  enc->b = 0;
  enc->byteOut = byteOut;
  enc->user = user;
  enc->state = state;
  enc->started = 0;
}

namespace {

// Forms the next byte B from C; the byte that was waiting goes to the callback. The first
// call of a stream writes nothing.
bool byteOut(MqEncoder *e) {
  if (!e->started) {
    e->started = 1;
    e->b = static_cast<uint8_t>(e->c >> 19);
    e->c &= 0x7FFFF;
    e->ct = 8;
    return true;
  }
  bool sevenBits = e->b == 0xFF;
  if (!sevenBits && e->c >= 0x8000000) {
    e->b++;
    if (e->b == 0xFF) {
      e->c &= 0x7FFFFFF;
      sevenBits = true;
    }
  }
  if (!e->byteOut(e->b, e->user)) return false;
  if (sevenBits) {
    e->b = static_cast<uint8_t>(e->c >> 20);
    e->c &= 0xFFFFF;
    e->ct = 7;
  } else {
    e->b = static_cast<uint8_t>(e->c >> 19);
    e->c &= 0x7FFFF;
    e->ct = 8;
  }
  return true;
}

bool renormE(MqEncoder *e) {
  do {
    e->a = static_cast<uint16_t>(e->a << 1);
    e->c <<= 1;
    if (--e->ct == 0 && !byteOut(e)) return false;
  } while ((e->a & 0x8000) == 0);
  return true;
}

}  // namespace

bool mqEncode(MqEncoder *e, uint8_t *cx, int decision) {
  const uint8_t s = *cx;
  const unsigned index = s & 0x7F;
  const uint32_t qe = kMqQe[index];
  const int mps = s >> 7;
  e->a = static_cast<uint16_t>(e->a - qe);
  if (decision == mps) {
    if (e->a & 0x8000) {
      e->c += qe;
      return true;
    }
    if (e->a < qe)
      e->a = static_cast<uint16_t>(qe);
    else
      e->c += qe;
    *cx = static_cast<uint8_t>((s & 0x80) | kMqNmps[index]);
  } else {
    if (e->a < qe)
      e->c += qe;
    else
      e->a = static_cast<uint16_t>(qe);
    const uint8_t nl = kMqNlps[index];
    *cx = static_cast<uint8_t>(((s & 0x80) ^ (nl & 0x80)) | (nl & 0x7F));
  }
  return renormE(e);
}

MqEncoder mqEncodeCopy(MqEncoder enc, uint8_t *cx, int decision, bool *ok) {
  *ok = mqEncode(&enc, cx, decision);
  return enc;
}

bool mqFlush(MqEncoder *e) {
  // SETBITS
  const uint32_t tempc = e->c + e->a;
  e->c |= 0xFFFF;
  if (e->c >= tempc) e->c -= 0x8000;
  e->c <<= e->ct;
  if (!byteOut(e)) return false;
  const bool previousFF = e->b == 0xFF;
  e->c <<= e->ct;
  if (!byteOut(e)) return false;
  if (e->b == 0xFF) return e->byteOut(0xFF, e->user) && e->byteOut(0xAC, e->user);
  if (previousFF && e->b == 0x7F) return e->byteOut(0xAC, e->user);
  e->c <<= e->ct;
  if (!byteOut(e)) return false;
  return e->byteOut(0xFF, e->user) && e->byteOut(0xAC, e->user);
}

namespace {

// Takes a new window from the refill callback; false when none comes.
bool refillWindow(MqDecoder *d) {
  if (d->refill == nullptr) return false;
  const uint8_t *buffer = nullptr;
  size_t length = 0;
  if (!d->refill(&buffer, &length, d->user) || buffer == nullptr || length == 0) return false;
  d->cursor = buffer;
  d->end = buffer + length;
  return true;
}

}  // namespace

void mqByteInSlow(MqDecoder *d) {
  if (d->input == kMqData) {
    if (d->cursor < d->end || refillWindow(d)) {
      mqByteIn(*d);
      return;
    }
    d->input = kMqNoData;
  }
  // No more data: 1-bits.
  if (d->b == 0xFF) {
    d->c += 0xFE00;
    d->ct = 7;
  } else {
    d->c += 0xFF00;
    d->ct = 8;
  }
}

MqDecoder mqByteInSlowCopy(MqDecoder dec) {
  mqByteInSlow(&dec);
  return dec;
}

void mqDecInit(MqDecoder *d, const uint8_t *data, size_t length, MqRefillFn refill, void *user,
               QtzState *state) {
  d->cursor = data;
  d->end = data + length;
  d->refill = refill;
  d->user = user;
  d->state = state;
  d->a = 0x8000;
  d->input = kMqData;
  d->ct = 0;
  if (d->cursor < d->end || refillWindow(d)) {
    d->b = *d->cursor++;
  } else {
    d->input = kMqNoData;
    d->b = 0;
  }
  d->c = static_cast<uint32_t>(d->b) << 16;
  mqByteIn(*d);
  d->c <<= 7;
  d->ct -= 7;
}

const uint8_t *mqFindMarker(MqDecoder *d) {
  if (d->input == kMqMarker) return d->cursor;
  if (d->input == kMqNoData) return nullptr;
  // The decoder stopped inside the data: the marker must follow at once, either completing
  // the 0xFF it read last or as the next two bytes.
  if (d->b == 0xFF) {
    if (d->cursor < d->end && *d->cursor >= 0xA0) return d->cursor + 1;
    return nullptr;
  }
  if (d->end - d->cursor >= 2 && d->cursor[0] == 0xFF && d->cursor[1] >= 0xA0) return d->cursor + 2;
  return nullptr;
}
