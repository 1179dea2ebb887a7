// Bit files: MSB-first bit fields read from a byte window (a source's unread bytes up to its
// limit) or written into a sink.
#include "jb2_stream.h"
#include "jbig2_report.h"

namespace {

int32_t sourceWindow(JbitFile *bits, uint8_t **window, size_t *length) {
  auto *source = static_cast<DataSource *>(bits->user);
  // The window in use is the whole of the source up to its limit; only a refill brings more.
  if (source->refill == nullptr) return qtz::report(bits->state, kJbEndOfData);
  source->pos = source->size;
  int32_t status = source->refill(source);
  if (status != 0) return status;
  if (source->pos >= source->size) return qtz::report(bits->state, kJbEndOfData);
  *window = const_cast<uint8_t *>(source->data + source->pos);
  *length = source->size - source->pos;
  source->limit = source->size;
  return 0;
}

// Brings at least one more byte into the accumulator; 2003 when none is left.
int32_t load(JbitFile *b) {
  if (b->left == 0) {
    if (b->windowFn == nullptr) return qtz::report(b->state, kJbNull);
    uint8_t *window = nullptr;
    size_t length = 0;
    const int32_t status = b->windowFn(b, &window, &length);
    if (status != 0) return status;
    if (length == 0) return kJbAssert;
    b->window = b->cursor = window;
    b->left = length;
  }
  if (b->left >= 4 && b->bitCount <= 32) {
    const uint8_t *p = b->cursor;
    b->acc = (b->acc << 32) | (static_cast<uint64_t>(p[0]) << 24) |
             (static_cast<uint64_t>(p[1]) << 16) | (static_cast<uint64_t>(p[2]) << 8) | p[3];
    b->cursor += 4;
    b->left -= 4;
    b->bitCount += 32;
  } else {
    b->acc = (b->acc << 8) | *b->cursor++;
    b->left--;
    b->bitCount += 8;
  }
  return 0;
}

}  // namespace

int32_t jbitNew(uint8_t *window, size_t length, JbitWindowFn callback, void *user, uint8_t writer,
                QtzState *state, JbitFile **out) {
  auto *bits = jbAllocArray<JbitFile>(state, 1);
  if (bits == nullptr) return qtz::report(state, kJbNoMemory);
  bits->window = bits->cursor = window;
  bits->left = length;
  bits->windowFn = callback;
  bits->user = user;
  bits->state = state;
  bits->mode = writer;
  *out = bits;
  return 0;
}

int32_t jbitReaderOnSource(DataSource *source, JbitFile **out) {
  const size_t end = std::min(source->limit, source->size);
  const size_t length = source->pos < end ? end - source->pos : 0;
  return jbitNew(const_cast<uint8_t *>(source->data + source->pos), length, sourceWindow, source, 0,
                 source->state, out);
}

int32_t jbitWriterOnSink(DataSink *sink, JbitFile **out) {
  return jbitNew(nullptr, 0, nullptr, sink, 1, sink->state, out);
}

int32_t jbitGetBits(JbitFile *b, int n, uint32_t *value) {
  while (b->bitCount < n) {
    const int32_t status = load(b);
    if (status != 0) return status;
  }
  b->bitCount -= n;
  *value = static_cast<uint32_t>((b->acc >> b->bitCount) & ((uint64_t{1} << n) - 1));
  return 0;
}

int32_t jbitPeekByte(JbitFile *b) {
  while (b->bitCount < 8) {
    if (b->left == 0) return -1;
    load(b);
  }
  return static_cast<int32_t>((b->acc >> (b->bitCount - 8)) & 0xFF);
}

int32_t jbitPutBits(JbitFile *b, uint32_t value, int n) {
  auto *sink = static_cast<DataSink *>(b->user);
  b->acc = (b->acc << n) | (value & ((uint64_t{1} << n) - 1));
  b->bitCount += n;
  while (b->bitCount >= 8) {
    b->bitCount -= 8;
    const int32_t status = sinkPutByte(sink, static_cast<uint8_t>(b->acc >> b->bitCount));
    if (status != 0) return status;
  }
  return 0;
}

int32_t jbitAlign(JbitFile *b) {
  if (b->mode == 1) return (b->bitCount & 7) ? jbitPutBits(b, 0, 8 - (b->bitCount & 7)) : 0;
  b->bitCount &= ~7;
  return 0;
}

int32_t jbitSync(JbitFile *b) {
  if (b->mode == 1) return jbitAlign(b);
  auto *source = static_cast<DataSource *>(b->user);
  const uint8_t *position = b->cursor - b->bitCount / 8;
  source->pos = static_cast<size_t>(position - source->data);
  return 0;
}

int32_t jbitResync(JbitFile *b) {
  b->acc = 0;
  b->bitCount = 0;
  if (b->mode == 1) return 0;
  auto *source = static_cast<DataSource *>(b->user);
  const size_t end = std::min(source->limit, source->size);
  b->window = b->cursor = const_cast<uint8_t *>(source->data + source->pos);
  b->left = source->pos < end ? end - source->pos : 0;
  return 0;
}

int32_t jbitCloseReader(JbitFile *b) {
  const int32_t status = jbitSync(b);
  jbFree(b->state, b);
  return status;
}

int32_t jbitCloseWriter(JbitFile *b) {
  const int32_t status = jbitAlign(b);
  jbFree(b->state, b);
  return status;
}
