// TIFF structure codec: the 8-byte file header, IFDs and their 12-byte entries, the thirteen field
// types in both byte orders, where an entry's value lies (inside the entry when count x size is at
// most 4 bytes, else at the offset the entry gives) and how values widen on reading.
//
// Widening (the destination width is the one a tag keeps): BYTE, ASCII and UNDEFINED zero-extend
// to 16 or 32 bits or convert to double, SBYTE sign-extends (or converts); SHORT zero-extends and
// SSHORT sign-extends to 32 bits; LONG, IFD and SLONG go to 32 bits or extend to 64, FLOAT to 32
// bits (its bit pattern) or to double; the halves of RATIONAL and SRATIONAL are 32-bit units;
// DOUBLE goes to 64 bits (its bit pattern) or double. 1-byte types also copy to 8 bits, 2-byte
// types to 16. Any other pairing is refused with 6.
#ifndef OVR_FORMAT_H
#define OVR_FORMAT_H

#include <cstdint>

#include "ovr_bytes_internal.h"
#include "ovr_stream_internal.h"

namespace ovr {

enum FieldType : uint16_t {
  kTypeByte = 1,
  kTypeAscii = 2,
  kTypeShort = 3,
  kTypeLong = 4,
  kTypeRational = 5,
  kTypeSByte = 6,
  kTypeUndefined = 7,
  kTypeSShort = 8,
  kTypeSLong = 9,
  kTypeSRational = 10,
  kTypeFloat = 11,
  kTypeDouble = 12,
  kTypeIfd = 13,
};

// Bytes per value of a field type; 0 for a type number outside 1-13.
uint32_t fieldTypeSize(uint16_t type);
// Units are the pieces a value is swapped in: a rational is two 32-bit units, others one.
uint32_t fieldUnitSize(uint16_t type);
uint64_t fieldUnitCount(uint16_t type, uint32_t count);
// count x size in 64 bits.
inline uint64_t fieldByteCount(uint16_t type, uint32_t count) {
  return static_cast<uint64_t>(count) * fieldTypeSize(type);
}

enum class Width : uint8_t { W8, W16, W32, W64, Double };
uint32_t widthSize(Width width);
bool widenAllowed(uint16_t type, Width width);

// Converts `units` units of `type` at src (file order) to host values of `width` at dst. dst may
// start at src (widening in place runs from the last unit down). 6 for a refused pairing.
int32_t widenValues(ByteOrder order, uint16_t type, uint64_t units, const uint8_t *src, Width width,
                    void *dst);
// Stores `units` 32-bit host units as units of `type` (1-, 2- or 4-byte units). 6 for DOUBLE or an
// unknown type, 2 for a unit that does not fit.
int32_t storeUnits(ByteOrder order, uint16_t type, const uint32_t *units, uint64_t count,
                   uint8_t *dst);

// File header.
constexpr uint32_t kHeaderSize = 8;
constexpr uint16_t kTiffMagic = 42;
struct FileHeader {
  ByteOrder order = ByteOrder::Little;
  uint32_t firstIfd = 0;
};
// 19 unless the bytes start with "II" or "MM" followed by 42 in that byte order.
int32_t decodeHeader(const uint8_t *bytes, FileHeader *header);
void encodeHeader(const FileHeader &header, uint8_t *bytes);

// Classifies a stream on open. Only the TIFF probe exists (the other formats' probes always
// fail): seek to 0 (2002), read the 8-byte header (2000 when short), 19 unless it is a TIFF
// header. A TIFF stream is document kind 11; the stream's swap flag is set for "MM".
int32_t classifyStream(OvrStream &stream, uint32_t *kind, FileHeader *header);

// IFD: u16 entry count n, n 12-byte entries, u32 offset of the next IFD.
constexpr uint32_t kEntrySize = 12;
constexpr uint32_t kInlineValueSize = 4;
inline uint64_t ifdEntryPos(uint64_t ifd, uint32_t index) {
  return ifd + 2 + 12ull * index;
}
inline uint64_t ifdNextPos(uint64_t ifd, uint32_t count) {
  return ifdEntryPos(ifd, count);
}
inline uint64_t ifdByteSize(uint32_t count) {
  return 2 + 12ull * count + 4;
}

struct IfdEntry {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint32_t count = 0;
  uint8_t field[4] = {};  // the value field as stored
  uint64_t fieldPos = 0;  // file position of the value field
};
void decodeEntry(ByteOrder order, const uint8_t *bytes, uint64_t entryPos, IfdEntry *entry);
void encodeEntry(ByteOrder order, const IfdEntry &entry, uint8_t *bytes);

// Where an entry's value lies: its byte count, and the file position of its first byte (the
// value field itself when the value fits in it).
struct ValueSpan {
  uint64_t bytes = 0;
  uint64_t position = 0;
  bool inlined = false;
};
ValueSpan entryValueSpan(ByteOrder order, const IfdEntry &entry);

struct IfdLayout {
  uint64_t offset = 0;
  uint32_t count = 0;  // entries
  uint32_t next = 0;   // offset of the next IFD, 0 for none
};
// Reads an IFD's entry count and next offset; 23 when the IFD does not lie inside the file.
int32_t readIfdLayout(const FileReader &reader, uint64_t offset, IfdLayout *layout);
int32_t readIfdEntry(const FileReader &reader, const IfdLayout &layout, uint32_t index,
                     IfdEntry *entry);
// Reads the first `units` units of an entry's value (at most its unit count), widened to `width`,
// into dst (room for units x widthSize(width) bytes; every allowed width is at least the unit
// size, so the raw bytes are read into dst and widened there). 6 for a refused pairing, 23 when
// the value does not lie inside the file.
int32_t loadEntryValues(const FileReader &reader, const IfdEntry &entry, Width width,
                        uint64_t units, void *dst);

}  // namespace ovr

#endif
