// Page information, end of page, end of stripe, end of file and extension segments
// (ITU-T T.88, 7.4.8 to 7.4.11 and 7.4.14).
//
// Extensions: ASCII comments (0x20000000) are kept as name/value pairs, each string read up to
// its NUL within the segment's data; this system's private extension (0x004B564A, "\0KVJ") is
// kept raw. Any other type whose necessary bit (bit 31) is set fails with 107; one without it
// is passed over, as T.88 (7.4.14.1) asks of a decoder that does not know it.
#include <cstring>

#include "jbig2_report.h"
#include "jbig2_segment.h"

int32_t parsePageInfo(Jb2File *stream, DataSource *src, Jbig2Segment *seg, Jbig2Segment **) {
  QtzState *state = stream->state;
  if (seg->refCount != 0)
    return jbReport(state, kJbBadData, "page info segment referencing another segment");
  Jbig2PageInfo &p = seg->u.pageInfo;
  uint8_t flags = 0;
  uint16_t striping = 0;
  int32_t status = srcReadU32(src, &p.width);
  if (status == 0) status = srcReadU32(src, &p.height);
  if (status == 0) status = srcReadU32(src, &p.xres);
  if (status == 0) status = srcReadU32(src, &p.yres);
  if (status == 0) status = srcReadU8(src, &flags);
  if (status != 0) return status;
  if (flags & 0x80) return jbReport(state, kJbBadData, "reserved flag is 1 in page info segment");
  if ((status = srcReadU16(src, &striping)) != 0) return status;
  p.lossless = flags & 1;
  p.refinements = (flags >> 1) & 1;
  p.defaultPixel = (flags >> 2) & 1;
  p.defaultOp = (flags >> 3) & 3;
  p.auxBuffers = (flags >> 5) & 1;
  p.opOverride = (flags >> 6) & 1;
  p.striped = striping >> 15;
  p.maxStripe = p.striped ? (striping & 0x7FFF) : 0;
  return 0;
}

namespace {

int32_t parseEmpty(Jb2File *stream, Jbig2Segment *seg, const char *referring, const char *data) {
  if (seg->refCount != 0) return jbReport(stream->state, kJbBadData, "%s", referring);
  if (seg->dataLength != 0) return jbReport(stream->state, kJbBadData, "%s", data);
  return 0;
}

}  // namespace

int32_t parseEndOfPage(Jb2File *stream, DataSource *, Jbig2Segment *seg, Jbig2Segment **) {
  return parseEmpty(stream, seg, "end of page segment referencing another segment",
                    "end of page segment has data!");
}

int32_t parseEndOfFile(Jb2File *stream, DataSource *, Jbig2Segment *seg, Jbig2Segment **) {
  return parseEmpty(stream, seg, "end of file segment referencing another segment",
                    "end of file segment has data!");
}

int32_t parseEndOfStripe(Jb2File *stream, DataSource *src, Jbig2Segment *seg, Jbig2Segment **) {
  if (seg->refCount != 0)
    return jbReport(stream->state, kJbBadData, "end of stripe segment referencing another segment");
  return srcReadI32(src, &seg->u.endRow);
}

namespace {

constexpr uint32_t kExtComment = 0x20000000u;
constexpr uint32_t kExtPrivate = 0x004B564Au;

void freeStrings(QtzState *state, char **strings, int32_t count) {
  if (strings == nullptr) return;
  for (int32_t i = 0; i < count; ++i) jbFree(state, strings[i]);
  jbFree(state, strings);
}

// Reads one NUL-terminated string, bounded by the source's limit (the segment's end).
int32_t readNulString(DataSource *src, QtzState *state, char **out) {
  const size_t end = std::min(src->limit, src->size);
  const uint8_t *start = src->data + src->pos;
  const void *nul = std::memchr(start, 0, end - src->pos);
  if (nul == nullptr) {
    src->pos = end;
    return qtz::report(state, kJbEndOfData);
  }
  const size_t n = static_cast<const uint8_t *>(nul) - start;
  char *text = jbAllocArray<char>(state, n + 1);
  if (text == nullptr) return qtz::report(state, kJbNoMemory);
  std::memcpy(text, start, n + 1);
  src->pos += n + 1;
  *out = text;
  return 0;
}

int32_t parseCommentExtension(DataSource *src, QtzState *state, Jbig2ExtensionData *ext) {
  int32_t capacity = 0;
  for (;;) {
    char *name = nullptr;
    int32_t status = readNulString(src, state, &name);
    if (status != 0) return status;
    if (name[0] == '\0') {
      jbFree(state, name);
      return 0;
    }
    char *value = nullptr;
    if ((status = readNulString(src, state, &value)) != 0) {
      jbFree(state, name);
      return status;
    }
    if (ext->pairs == capacity) {
      const int32_t grown = capacity == 0 ? 4 : capacity * 2;
      auto **names = jbAllocArray<char *>(state, grown);
      auto **values = jbAllocArray<char *>(state, grown);
      if (names == nullptr || values == nullptr) {
        jbFree(state, names);
        jbFree(state, values);
        jbFree(state, name);
        jbFree(state, value);
        return qtz::report(state, kJbNoMemory);
      }
      if (ext->pairs > 0) {
        std::memcpy(names, ext->names, sizeof(char *) * ext->pairs);
        std::memcpy(values, ext->values, sizeof(char *) * ext->pairs);
      }
      jbFree(state, ext->names);
      jbFree(state, ext->values);
      ext->names = names;
      ext->values = values;
      capacity = grown;
    }
    ext->names[ext->pairs] = name;
    ext->values[ext->pairs] = value;
    ext->pairs++;
  }
}

}  // namespace

int32_t parseExtension(Jb2File *stream, DataSource *src, Jbig2Segment *seg, Jbig2Segment **) {
  QtzState *state = stream->state;
  Jbig2ExtensionData &ext = seg->u.extension;
  int32_t status = srcReadU32(src, &ext.type);
  if (status != 0) return status;
  if (ext.type == kExtComment) {
    status = parseCommentExtension(src, state, &ext);
    if (status != 0) releaseExtension(seg, state);
    return status;
  }
  if (ext.type == kExtPrivate) {
    const size_t n = seg->dataLength - 4;
    ext.raw = jbAllocArray<uint8_t>(state, n);
    if (ext.raw == nullptr) return qtz::report(state, kJbNoMemory);
    size_t got = 0;
    srcRead(src, n, ext.raw, &got);
    ext.rawLength = got;
    if (got != n) return qtz::report(state, kJbEndOfData);
    return 0;
  }
  if (ext.type & 0x80000000u) return jbReport(state, kJbBadData, "unrecognised segment type");
  return srcSkip(src, seg->dataLength - 4);
}

void releaseExtension(Jbig2Segment *seg, QtzState *state) {
  Jbig2ExtensionData &ext = seg->u.extension;
  freeStrings(state, ext.names, ext.pairs);
  freeStrings(state, ext.values, ext.pairs);
  jbFree(state, ext.raw);
  ext = Jbig2ExtensionData{};
}
