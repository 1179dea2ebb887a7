// Shared data of JBIG2-coded layers: referring strips, global data blocks and the global data
// table chain that locates the blocks. All integers are in the file's byte order.
//
// Referring strip, form A (the one written): u8 0, u16 n, n u32 global data indices, u32 L, L
// bytes of coded data, then tail bytes when the IFD's coding options allow them (bit 0x40).
// Form B (accepted on reading): u8 0, u32 L, u16 n, n u32 indices, coded data.
// A strip of S bytes is form A when S >= 4n + 7 (n at offset 1) and either L (at 3 + 4n) is
// exactly S - 4n - 7, or the tail bit is set and L leaves room for itself (L <= S - 4n - 7).
// Otherwise it is form B, which needs S >= 4n + 7 (n at offset 5) and S - 4n - 7 <= L <= S; its
// coded data are the S - 4n - 7 bytes after the indices. A strip below 7 bytes is 2, a strip
// that is neither form 23.
//
// Global data block: u8 0, u32 L, then the stored bytes (block length - 5 of them, at least L).
// Global data table: u16 m, m 16-byte entries {u32 block length including the 5-byte header,
// u32 block offset, u16 kind (1 = global data block), u16 word, u32 long}, u32 next table.
#ifndef OVR_SHARED_DATA_H
#define OVR_SHARED_DATA_H

#include <cstdint>

#include "ovr_bytes_internal.h"
#include "ovr_stream_internal.h"

namespace ovr {

struct ReferringStrip {
  uint32_t count = 0;                // global data indices
  const uint8_t *indices = nullptr;  // count u32 in file order, inside the strip
  const uint8_t *payload = nullptr;  // coded data, inside the strip
  uint64_t payloadSize = 0;
  uint64_t headerSize = 0;  // bytes before the coded data
  bool formA = false;
};
int32_t parseReferringStrip(const uint8_t *strip, uint64_t size, ByteOrder order,
                            uint32_t codingOptions, ReferringStrip *out);
inline uint32_t referringIndex(const ReferringStrip &strip, ByteOrder order, uint32_t i) {
  return load32(strip.indices + 4ull * i, order);
}

// Bytes of a form A header with n indices.
inline uint64_t referringHeaderSize(uint64_t n) {
  return 7 + 4 * n;
}
// Writes a form A header for n indices and coded-data length L to out (referringHeaderSize(n)
// bytes). 2 when n does not fit its 16-bit field.
int32_t encodeReferringHeader(ByteOrder order, const uint32_t *indices, uint64_t n, uint32_t length,
                              uint8_t *out);

constexpr uint32_t kGlobalBlockHeaderSize = 5;
constexpr uint16_t kGlobalBlockKind = 1;
// The table's block length for `size` stored bytes: size + 5, 2 when it does not fit 32 bits.
int32_t globalBlockLength(uint64_t size, uint32_t *blockLength);
void encodeGlobalBlockHeader(ByteOrder order, uint32_t length, uint8_t *out);

constexpr uint32_t kGlobalEntrySize = 16;
struct GlobalEntry {
  uint32_t blockLength = 0;  // 0: a free entry
  uint32_t blockOffset = 0;
  uint16_t kind = 0;
  uint16_t word = 0;
  uint32_t extra = 0;
};
struct GlobalTable {
  uint64_t offset = 0;
  uint16_t count = 0;  // entries
  uint32_t next = 0;   // offset of the next table, 0 for none
};
inline uint64_t globalTableByteSize(uint32_t m) {
  return 2 + 16ull * m + 4;
}
inline uint64_t globalEntryPos(uint64_t table, uint32_t i) {
  return table + 2 + 16ull * i;
}
void decodeGlobalEntry(ByteOrder order, const uint8_t *bytes, GlobalEntry *entry);
void encodeGlobalEntry(ByteOrder order, const GlobalEntry &entry, uint8_t *bytes);
// Reads a table's entry count and next offset (23 when it does not lie inside the file).
int32_t readGlobalTable(const FileReader &reader, uint64_t offset, GlobalTable *table);
int32_t readGlobalEntry(const FileReader &reader, const GlobalTable &table, uint32_t index,
                        GlobalEntry *entry);

// Where a block's data lie, after checking its entry (kind 1 and block length above 4: 23), its
// extent in the file (23), its header's length L (at most block length - 5: 23) and flag byte
// (not 0: 6).
struct GlobalBlock {
  uint64_t dataOffset = 0;  // first stored byte
  uint32_t storedSize = 0;  // block length - 5
  uint32_t length = 0;      // L
};
int32_t locateGlobalBlock(const FileReader &reader, const GlobalEntry &entry, GlobalBlock *block);

}  // namespace ovr

#endif
