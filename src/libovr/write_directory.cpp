// Directory writing: placing a directory's zero bytes, writing one entry with its value inside
// the entry or at the padded end of the file, the counting and writing passes over an entry
// list, and a page IFD's directory with its next-IFD offset.
//
// Values are checked against their type before anything is written (a SHORT or BYTE unit that
// does not fit is 2), in both passes, so that a directory is never placed for a list that cannot
// be written.
#include "ovr_format_internal.h"
#include "ovr_vocab_internal.h"
#include "ovr_writer_internal.h"

namespace ovr {
namespace {

int32_t checkUnits(uint16_t type, const uint32_t *units, uint64_t count) {
  const uint32_t size = fieldUnitSize(type);
  if (size == 0 || size == 8) return OVR_ERR_UNSUPPORTED;
  for (uint64_t i = 0; size < 4 && i < count; ++i) {
    if (units[i] >> (8 * size) != 0) return OVR_ERR_PARAM;
  }
  return OVR_OK;
}

// The next-IFD offset a page IFD's directory carries: for a primary IFD the next page's primary
// IFD when that one is written already, for a stripe the offset it has been linked to.
uint32_t nextOffsetOf(const OvrIfdRecord &ifd) {
  if (ifd.role != kRolePrimary) return ifd.nextIfd;
  const OvrDocument &doc = *ifd.page->doc;
  const uint64_t next = uint64_t{ifd.page->index} + 1;
  if (next >= doc.pageCount) return 0;
  const OvrIfdRecord *primary = doc.pages[next]->primary;
  return primary != nullptr ? static_cast<uint32_t>(primary->offset) : 0;
}

}  // namespace

int32_t ovrPlaceDirectory(OvrStream &stream, uint32_t entryCount, uint32_t *offset) {
  const uint64_t bytes = ifdByteSize(entryCount);
  int32_t status = beginAppend(stream, bytes, offset);
  static const uint8_t kZeros[64] = {};
  for (uint64_t done = 0; status == OVR_OK && done < bytes; done += sizeof kZeros) {
    const uint64_t n = bytes - done < sizeof kZeros ? bytes - done : sizeof kZeros;
    status = streamWrite(stream, kZeros, static_cast<size_t>(n));
  }
  return status;
}

int32_t writeEntryCount(OvrStream &stream, uint64_t offset, uint32_t count) {
  uint8_t word[2];
  store16(word, static_cast<uint16_t>(count), kWriteOrder);
  return writeAt(stream, offset, word, sizeof word);
}

int32_t ovrWriteEntry(OvrStream &stream, const DirectoryPlace &dir, uint16_t tag, uint16_t type,
                      uint32_t count, const uint32_t *units, uint32_t *entryIndex,
                      EntryPatch *patch) {
  if (*entryIndex >= dir.count) return OVR_ERR_INTERNAL;
  const uint64_t unitCount = fieldUnitCount(type, count);
  int32_t status = checkUnits(type, units, unitCount);
  if (status != OVR_OK) return status;
  IfdEntry entry;
  entry.tag = tag;
  entry.type = type;
  entry.count = count;
  const uint64_t entryPos = ifdEntryPos(dir.offset, *entryIndex);
  uint64_t valuePos = entryPos + 8;
  if (fieldByteCount(type, count) <= kInlineValueSize) {
    status = storeUnits(kWriteOrder, type, units, unitCount, entry.field);
  } else {
    uint32_t at = 0;
    status = appendUnits(stream, type, units, unitCount, &at);
    store32(entry.field, at, kWriteOrder);
    valuePos = at;
  }
  uint8_t bytes[kEntrySize];
  encodeEntry(kWriteOrder, entry, bytes);
  if (status == OVR_OK) status = writeAt(stream, entryPos, bytes, sizeof bytes);
  if (status != OVR_OK) return status;
  ++*entryIndex;
  if (patch != nullptr) *patch = EntryPatch{entryPos, valuePos};
  return OVR_OK;
}

void EntryPass::add(uint16_t tag, uint16_t type, uint32_t count, const uint32_t *units,
                    EntryPatch *patch) {
  if (status_ != OVR_OK) return;
  if (writing_) {
    status_ = ovrWriteEntry(stream_, dir_, tag, type, count, units, &index_, patch);
  } else {
    status_ = checkUnits(type, units, fieldUnitCount(type, count));
    if (status_ == OVR_OK) ++index_;
  }
}

int32_t ovrWriteDirectory(OvrIfdRecord &ifd) {
  OvrDocument &doc = *ifd.page->doc;
  OvrStream &stream = *doc.stream;
  EntryPass counting(stream);
  int32_t status = ovrWritePageDirectory(ifd, counting);
  if (status != OVR_OK) return status;
  if (ifd.offset == 0) {
    uint32_t offset = 0;
    status = ovrPlaceDirectory(stream, counting.entries(), &offset);
    if (status != OVR_OK) return status;
    ifd.offset = offset;
    ifd.entryCount = counting.entries();
  } else if (ifd.entryCount != counting.entries()) {
    return OVR_ERR_INTERNAL;
  }
  status = writeEntryCount(stream, ifd.offset, ifd.entryCount);
  if (status != OVR_OK) return status;
  EntryPass writing(stream, DirectoryPlace{ifd.offset, ifd.entryCount});
  status = ovrWritePageDirectory(ifd, writing);
  if (status == OVR_OK) status = ovrWriteNextPointer(stream, ifd, nextOffsetOf(ifd));
  if (status != OVR_OK) return status;
  doc.writer->codingMethods |= codingMethodsBit(ifd.layer.compressionBits);
  return OVR_OK;
}

int32_t ovrWriteNextPointer(OvrStream &stream, OvrIfdRecord &ifd, uint32_t next) {
  if (ifd.offset == 0) return OVR_ERR_INTERNAL;
  int32_t status = patch32(stream, ifdNextPos(ifd.offset, ifd.entryCount), next);
  if (status == OVR_OK) ifd.nextIfd = next;
  return status;
}

}  // namespace ovr
