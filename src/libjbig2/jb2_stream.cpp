// Stream object, memory data sources and their readers for segment parsing.
#include "jb2_stream.h"

#include <cstring>

#include "jbig2_report.h"

int32_t jb2NewStream(DataSource *source, DataSink *sink, QtzState *state, Jb2File **out) {
  auto *stream = jbAllocArray<Jb2File>(state, 1);
  if (stream == nullptr) return qtz::report(state, kJbNoMemory);
  stream->nextSegment = 0;
  stream->source = source;
  stream->sink = sink;
  stream->state = state;
  // Defaults: arithmetic off, custom tables allowed, template 2 with its AT pixels,
  // pattern dictionary template 2.
  static constexpr uint8_t kDefaults[32] = {0,    1, 0, 2, 2, 0xFD, 2, 0xFE, 0xFF, 0xFF, 0xFE,
                                            0xFE, 0, 0, 1, 0, 0,    0, 0,    0,    2,    0,
                                            0,    0, 0, 0, 0, 0,    0, 0,    0,    0};
  std::memcpy(stream->options.bytes, kDefaults, sizeof kDefaults);
  stream->pixelBudget = -1;
  *out = stream;
  return 0;
}

int32_t jb2Charge(Jb2File *stream, int64_t pixels) {
  if (stream->pixelBudget < 0) return 0;
  if (pixels > stream->pixelBudget) {
    stream->pixelBudget = 0;
    return jbReport(stream->state, kJbBadData, "decoding work limit reached");
  }
  stream->pixelBudget -= pixels;
  return 0;
}

void jb2FreeStream(Jb2File *stream) {
  if (stream != nullptr) jbFree(stream->state, stream);
}

int32_t jb2NextSegmentNumber(Jb2File *stream) {
  return stream->nextSegment++;
}
void jb2SetNextSegmentNumber(Jb2File *stream, int32_t n) {
  stream->nextSegment = n;
}
Jb2Options *jb2GetOptions(Jb2File *stream) {
  return &stream->options;
}
void jb2SetOptions(Jb2File *stream, const Jb2Options *options) {
  stream->options = *options;
}
DataSink *jb2GetSink(Jb2File *stream) {
  return stream->sink;
}
QtzState *jb2GetState(Jb2File *stream) {
  return stream->state;
}

int32_t memSourceNew(const uint8_t *data, size_t size, QtzState *state, DataSource **out) {
  auto *source = jbAllocArray<DataSource>(state, 1);
  if (source == nullptr) return qtz::report(state, kJbNoMemory);
  source->data = data;
  source->size = size;
  source->pos = 0;
  source->refill = nullptr;
  source->state = state;
  source->limit = size;
  *out = source;
  return 0;
}

void memSourceFree(DataSource *source) {
  if (source != nullptr) jbFree(source->state, source);
}

int32_t srcNextByte(DataSource *source, uint8_t *byte) {
  if (source->pos >= source->size) {
    if (source->refill == nullptr) return qtz::report(source->state, kJbNull);
    const int32_t status = source->refill(source);
    if (status != 0) return status;
    if (source->pos >= source->size) return qtz::report(source->state, kJbEndOfData);
  }
  *byte = source->data[source->pos++];
  return 0;
}

int32_t srcPeekByte(DataSource *source, int32_t *value) {
  if (source->pos >= source->size &&
      (source->refill == nullptr || source->refill(source) != 0 || source->pos >= source->size)) {
    *value = -1;
    return kJbEndOfData;
  }
  *value = source->data[source->pos];
  return 0;
}

int32_t srcRead(DataSource *source, size_t n, uint8_t *buffer, size_t *count) {
  size_t done = 0;
  while (done < n) {
    if (source->pos >= source->size) {
      if (source->refill == nullptr || source->refill(source) != 0 || source->pos >= source->size)
        break;
    }
    const size_t take = std::min(n - done, source->size - source->pos);
    std::memcpy(buffer + done, source->data + source->pos, take);
    source->pos += take;
    done += take;
  }
  *count = done;
  return 0;
}

void srcStartMq(DataSource *source, MqDecoder *decoder) {
  const size_t end = std::min(source->limit, source->size);
  const size_t length = source->pos < end ? end - source->pos : 0;
  mqDecInit(decoder, source->data + source->pos, length, nullptr, nullptr, source->state);
}

int32_t srcEndMq(DataSource *source, MqDecoder *decoder) {
  const uint8_t *after = mqFindMarker(decoder);
  if (after == nullptr)
    return jbReport(source->state, kJbBadData, "arithmetic data does not end with a marker");
  source->pos = static_cast<size_t>(after - source->data);
  return 0;
}

namespace {

int32_t readBytes(DataSource *source, uint8_t *bytes, size_t n) {
  size_t count = 0;
  srcRead(source, n, bytes, &count);
  if (count != n) return qtz::report(source->state, kJbEndOfData);
  return 0;
}

}  // namespace

int32_t srcReadU8(DataSource *source, uint8_t *value) {
  return readBytes(source, value, 1);
}

int32_t srcReadU16(DataSource *source, uint16_t *value) {
  uint8_t b[2];
  const int32_t status = readBytes(source, b, 2);
  if (status == 0) *value = static_cast<uint16_t>((b[0] << 8) | b[1]);
  return status;
}

int32_t srcReadU32(DataSource *source, uint32_t *value) {
  uint8_t b[4];
  const int32_t status = readBytes(source, b, 4);
  if (status == 0)
    *value = (static_cast<uint32_t>(b[0]) << 24) | (static_cast<uint32_t>(b[1]) << 16) |
             (static_cast<uint32_t>(b[2]) << 8) | b[3];
  return status;
}

int32_t srcReadI32(DataSource *source, int32_t *value) {
  uint32_t u = 0;
  const int32_t status = srcReadU32(source, &u);
  if (status == 0) *value = static_cast<int32_t>(u);
  return status;
}

int32_t srcSkip(DataSource *source, size_t n) {
  if (srcLeft(source) < n) {
    source->pos = source->size;
    return qtz::report(source->state, kJbEndOfData);
  }
  source->pos += n;
  return 0;
}
