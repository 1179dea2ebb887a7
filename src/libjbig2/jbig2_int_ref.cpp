// The plain arithmetic integer procedures of T.88 Annex A, one decision at a time through the
// decoder the caller holds: IAx (A.2) and IAID (A.3). The differential twins of the
// optimised procedures.
#include "jbig2_huffman.h"
#include "jbig2_report.h"

int32_t decodeArithIntReference(MqDecoder *mq, uint8_t *cx, bool *oob, int32_t *value) {
  uint32_t prev = 1;
  auto bit = [&]() {
    const int b = mqDecode(*mq, &cx[prev]);
    prev = iaxNextPrev(prev, b);
    return b;
  };
  const int sign = bit();
  int bitsCount;
  int64_t offset;
  if (!bit()) {
    bitsCount = 2, offset = 0;
  } else if (!bit()) {
    bitsCount = 4, offset = 4;
  } else if (!bit()) {
    bitsCount = 6, offset = 20;
  } else if (!bit()) {
    bitsCount = 8, offset = 84;
  } else if (!bit()) {
    bitsCount = 12, offset = 340;
  } else {
    bitsCount = 32, offset = 4436;
  }
  uint64_t v = 0;
  for (int i = 0; i < bitsCount; ++i) v = (v << 1) | static_cast<uint64_t>(bit());
  const int64_t magnitude = offset + static_cast<int64_t>(v);
  *oob = sign && magnitude == 0;
  *value = 0;
  const int64_t result = sign ? -magnitude : magnitude;
  if (result > INT32_MAX || result < INT32_MIN) return kJbBadData;
  if (!*oob) *value = static_cast<int32_t>(result);
  return 0;
}

uint32_t decodeIaidReference(MqDecoder *mq, uint8_t *cx, int32_t codeLength) {
  uint32_t id = 0;
  for (int32_t i = 0; i < codeLength; ++i) {
    const uint32_t prev = (uint32_t{1} << i) | id;
    id = (id << 1) | static_cast<uint32_t>(mqDecode(*mq, &cx[prev]));
  }
  return id;
}
