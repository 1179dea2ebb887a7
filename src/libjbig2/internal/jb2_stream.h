// The JBIG2 stream object, byte sources and sinks, and bit files.
//
// Jb2File ties a DataSource, a DataSink, the library state, the running segment number and the
// encoder's coding options (Jb2Options, 32 bytes) together. A MemoryDataSource reads a caller
// buffer in place (no refill); its limit bounds what the MQ decoder and the bit readers may
// see, so that a segment's decoder never reads past the segment's data (the driver sets it per
// segment). A MemoryDataSink collects output in 16384-byte blocks from the state's allocator
// and can overwrite bytes already written at a mark (the segment data length is filled in after
// the data). A JbitFile reads or writes bit fields, most significant bit first.
//
// Failures: 1 out of memory, 118 a missing callback or reading past a memory source with
// srcNextByte, 2003 a refill or window that brings nothing, 2001 a sink that refuses bytes,
// 10003 a write at the mark beyond the written bytes or a sink that is not a memory sink.
#ifndef NORV_JB2_STREAM_H
#define NORV_JB2_STREAM_H

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "mq_coder.h"
#include "qtz_adt.h"
#include "qtz_state.h"

struct DataSource;
typedef int32_t (*DataSourceRefillFn)(DataSource *source);

struct DataSource {
  const uint8_t *data;
  size_t size;
  size_t pos;
  DataSourceRefillFn refill;  // null for a memory source
  void *spare;
  QtzState *state;
  size_t limit;  // readers attached to the source stop here (at most size)
};
typedef DataSource MemoryDataSource;

struct DataSink;
typedef int32_t (*DataSinkFn)(DataSink *sink);
typedef int32_t (*DataSinkWriteAtMarkFn)(DataSink *sink, size_t n, const uint8_t *bytes);

struct DataSink {
  uint8_t *block;
  size_t capacity;
  size_t used;
  size_t count;  // bytes written since the count was last zeroed
  DataSinkFn blockFull;
  DataSinkFn mark;
  DataSinkWriteAtMarkFn writeAtMark;
  void *impl;
  QtzState *state;
};
typedef DataSink MemoryDataSink;

// One filed block of a memory sink.
struct SinkBlock {
  uint8_t *data;
  size_t used;
};

inline constexpr size_t kSinkBlockSize = 16384;

struct Jb2Options {
  uint8_t bytes[32];
};

struct Jb2File {
  int32_t nextSegment;
  DataSource *source;
  DataSink *sink;
  QtzState *state;
  Jb2Options options;
  // Pixels the decoders of one call may still produce (regions, symbols, patterns, planes and
  // instances drawn): coded data of a few bytes can describe regions of 2^31 pixels, so the
  // work of a hostile stream is bounded here. Negative: no bound.
  int64_t pixelBudget;
  // Set by the decoder driver while its page is all 0 (nothing composed yet): a generic region
  // may then be decoded straight into the page rows.
  uint8_t pageBlank;
};

// Charges pixels against the stream's budget; 107 ("decoding work limit reached") once spent.
int32_t jb2Charge(Jb2File *stream, int64_t pixels);

int32_t jb2NewStream(DataSource *source, DataSink *sink, QtzState *state, Jb2File **out);
void jb2FreeStream(Jb2File *stream);
int32_t jb2NextSegmentNumber(Jb2File *stream);
void jb2SetNextSegmentNumber(Jb2File *stream, int32_t n);
Jb2Options *jb2GetOptions(Jb2File *stream);
void jb2SetOptions(Jb2File *stream, const Jb2Options *options);
DataSink *jb2GetSink(Jb2File *stream);
QtzState *jb2GetState(Jb2File *stream);

// ---- Sources ----
int32_t memSourceNew(const uint8_t *data, size_t size, QtzState *state, DataSource **out);
void memSourceFree(DataSource *source);
// Slow path of reading one byte (position at the size): refill, or 118 without one.
int32_t srcNextByte(DataSource *source, uint8_t *byte);
inline int32_t srcGetByte(DataSource *source, uint8_t *byte) {
  if (source->pos < source->size) {
    *byte = source->data[source->pos++];
    return 0;
  }
  return srcNextByte(source, byte);
}
// The byte at the position, or -1 at the end.
int32_t srcPeekByte(DataSource *source, int32_t *value);
// Copies up to n bytes; *count is what was copied.
int32_t srcRead(DataSource *source, size_t n, uint8_t *buffer, size_t *count);
// Starts an MQ decoder over the unread bytes up to the source's limit.
void srcStartMq(DataSource *source, MqDecoder *decoder);
// Moves the position to just after the MQ end marker; 118 (reported) when there is none.
int32_t srcEndMq(DataSource *source, MqDecoder *decoder);

// Multi-byte big-endian reads for segment parsing: 2003 (reported) when the data ends.
int32_t srcReadU8(DataSource *source, uint8_t *value);
int32_t srcReadU16(DataSource *source, uint16_t *value);
int32_t srcReadU32(DataSource *source, uint32_t *value);
int32_t srcReadI32(DataSource *source, int32_t *value);
// Skips n bytes; 2003 when fewer are left.
int32_t srcSkip(DataSource *source, size_t n);
inline size_t srcLeft(const DataSource *source) {
  return source->size - source->pos;
}

// ---- Sinks ----
int32_t memSinkNew(QtzState *state, DataSink **out);
// Files the current block, frees the sink and hands back the list of SinkBlock entries.
int32_t memSinkClose(DataSink *sink, QtzAdtList **blocks);
// Frees a block list from memSinkClose with its blocks.
void memSinkFreeBlocks(QtzState *state, QtzAdtList *blocks);
int32_t sinkPutByteSlow(DataSink *sink, uint8_t byte);
inline int32_t sinkPutByte(DataSink *sink, uint8_t byte) {
  if (sink->used < sink->capacity) {
    sink->block[sink->used++] = byte;
    sink->count++;
    return 0;
  }
  return sinkPutByteSlow(sink, byte);
}
int32_t sinkWrite(DataSink *sink, size_t n, const uint8_t *bytes, size_t *count);
int32_t sinkReserve(DataSink *sink, size_t n);
int32_t sinkWriteAtMark(DataSink *sink, size_t n, const uint8_t *bytes);
void sinkResetCount(DataSink *sink);
void sinkAddCount(DataSink *sink, size_t n);
void sinkStartMq(DataSink *sink, MqEncoder *encoder);
int32_t sinkEndMq(DataSink *sink, MqEncoder *encoder);

// ---- Bit files ----
struct JbitFile;
// Gives the bit file a new window: stores window start and length; nonzero status on failure.
typedef int32_t (*JbitWindowFn)(JbitFile *bits, uint8_t **window, size_t *length);

struct JbitFile {
  uint8_t *window;
  uint8_t *cursor;
  size_t left;       // bytes left in the window
  size_t passed;     // writer: bytes passed through the window since the last hand-over
  int32_t bitCount;  // reader: bits held; writer: bits held (not yet stored)
  uint64_t acc;
  JbitWindowFn windowFn;
  void *user;
  QtzState *state;
  uint8_t mode;  // 0 reader, 1 writer
};

int32_t jbitNew(uint8_t *window, size_t length, JbitWindowFn callback, void *user, uint8_t writer,
                QtzState *state, JbitFile **out);
int32_t jbitReaderOnSource(DataSource *source, JbitFile **out);
int32_t jbitWriterOnSink(DataSink *sink, JbitFile **out);
int32_t jbitPutBits(JbitFile *bits, uint32_t value, int n);
int32_t jbitGetBits(JbitFile *bits, int n, uint32_t *value);
// The next 8 bits without consuming them, or -1 when fewer than 8 are left.
int32_t jbitPeekByte(JbitFile *bits);
int32_t jbitAlign(JbitFile *bits);
int32_t jbitCloseReader(JbitFile *bits);
int32_t jbitCloseWriter(JbitFile *bits);
int32_t jbitSync(JbitFile *bits);
int32_t jbitResync(JbitFile *bits);

#endif
