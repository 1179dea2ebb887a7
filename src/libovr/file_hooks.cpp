// Stream adapters over a caller's C FILE and its table of C runtime hooks.
//
// Read and write loop until the whole count has passed or the hook moves no byte (end of data,
// or an error that the runtime reports as a short count); the bytes that did pass advance the
// tracked position. Seek and seek-to-end go through the table's seek hook (origin 0 and 2) and
// return -1 when it fails, when the position does not fit the hook's long, or when tell fails.
#include <climits>
#include <cstdint>
#include <cstdio>

#include "ovr_file_hooks.h"

namespace {

OvrHookedFile *hooked(void *record) {
  auto *rec = static_cast<OvrHookedFile *>(record);
  if (rec == nullptr || rec->hooks == nullptr || rec->file == nullptr) return nullptr;
  return rec;
}

// Moves count bytes through `step` (a read or write of the remaining bytes at an offset).
template <typename Step>
int64_t transfer(OvrHookedFile *rec, size_t count, Step step) {
  if (count > static_cast<size_t>(INT64_MAX)) return -1;
  size_t total = 0;
  while (total < count) {
    size_t moved = step(total, count - total);
    if (moved == 0) break;
    total += moved;
  }
  rec->position += static_cast<int64_t>(total);
  return static_cast<int64_t>(total);
}

}  // namespace

extern "C" {

int64_t fileHookRead(void *record, void *buffer, size_t count) {
  OvrHookedFile *rec = hooked(record);
  if (rec == nullptr || rec->hooks->read == nullptr || (buffer == nullptr && count != 0)) return -1;
  auto *bytes = static_cast<unsigned char *>(buffer);
  return transfer(rec, count, [&](size_t done, size_t left) {
    return rec->hooks->read(bytes + done, 1, left, rec->file);
  });
}

int64_t fileHookWrite(void *record, const void *buffer, size_t count) {
  OvrHookedFile *rec = hooked(record);
  if (rec == nullptr || rec->hooks->write == nullptr || (buffer == nullptr && count != 0))
    return -1;
  auto *bytes = static_cast<const unsigned char *>(buffer);
  return transfer(rec, count, [&](size_t done, size_t left) {
    return rec->hooks->write(bytes + done, 1, left, rec->file);
  });
}

int64_t fileHookSeek(void *record, int64_t position) {
  OvrHookedFile *rec = hooked(record);
  if (rec == nullptr || rec->hooks->seek == nullptr) return -1;
  if (position < 0 || position > LONG_MAX) return -1;
  if (rec->hooks->seek(rec->file, static_cast<long>(position), SEEK_SET) != 0) return -1;
  rec->position = position;
  return position;
}

int64_t fileHookSeekEnd(void *record) {
  OvrHookedFile *rec = hooked(record);
  if (rec == nullptr || rec->hooks->seek == nullptr || rec->hooks->tell == nullptr) return -1;
  if (rec->hooks->seek(rec->file, 0, SEEK_END) != 0) return -1;
  long end = rec->hooks->tell(rec->file);
  if (end < 0) return -1;
  rec->position = end;
  return end;
}

int64_t fileHookTell(void *record) {
  auto *rec = static_cast<OvrHookedFile *>(record);
  return rec == nullptr ? -1 : rec->position;
}

}  // extern "C"
