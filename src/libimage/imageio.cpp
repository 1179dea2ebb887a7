// Row I/O shared by the PNM and raw readers and writers.
//
// Readers: packed rows (ceil(width / 8) bytes each, most significant bit first) go into a new
// type-100 image, assembled in place into words with the bits past the width cleared; element
// data is read in one read into a new unpadded image and, on request, each element's (each
// channel's) bytes are reversed. A reader reports nothing; it answers short data or no memory
// and frees what it made. Before allocating, a caller asks streamHolds whether the stream
// still has the bytes the image needs, so that a header cannot make it allocate more than the
// file can fill (a stream that cannot be measured, such as a pipe, is only held to the size
// limits of the header).
// Writers go through a small buffer: packed rows from type-100 words or from type-5 bytes,
// pad bits 0, and element rows with their bytes reversed on request; the image is only read.
#include <sys/types.h>

#include <algorithm>
#include <cstring>

#include "qtz_image_internal.h"

namespace {

constexpr size_t kChunk = 4096;

// Bytes reversed together: each element, or each channel of the colour types.
size_t swapUnit(int32_t type) {
  switch (type) {
    case QTZ_IMAGE_INT16:
      return 2;
    case QTZ_IMAGE_FLOAT:
    case QTZ_IMAGE_INT32:
    case QTZ_IMAGE_RGB_FLOAT:
      return 4;
    case QTZ_IMAGE_DOUBLE:
      return 8;
    default:
      return 1;
  }
}

void reverseUnits(uint8_t *bytes, size_t count, size_t unit) {
  if (unit == 1) return;
  for (size_t i = 0; i + unit <= count; i += unit) std::reverse(bytes + i, bytes + i + unit);
}

// Collects output bytes and writes them in chunks; remembers a failed write.
class ChunkWriter {
 public:
  explicit ChunkWriter(FILE *stream) : stream_(stream) {}
  void put(uint8_t byte) {
    if (used_ == kChunk) flush();
    buffer_[used_++] = byte;
  }
  // Room for up to kChunk bytes at once, to be committed with commit.
  uint8_t *room(size_t bytes) {
    if (used_ + bytes > kChunk) flush();
    return buffer_ + used_;
  }
  void commit(size_t bytes) { used_ += bytes; }
  bool finish() {
    flush();
    return ok_;
  }

 private:
  void flush() {
    if (used_ != 0 && std::fwrite(buffer_, 1, used_, stream_) != used_) ok_ = false;
    used_ = 0;
  }
  FILE *stream_;
  uint8_t buffer_[kChunk];
  size_t used_ = 0;
  bool ok_ = true;
};

}  // namespace

namespace qtz {

bool streamHolds(FILE *stream, uint64_t bytes) {
  const off_t here = ftello(stream);
  if (here < 0 || fseeko(stream, 0, SEEK_END) != 0) return true;
  const off_t end = ftello(stream);
  if (fseeko(stream, here, SEEK_SET) != 0) return false;
  return end < here || static_cast<uint64_t>(end - here) >= bytes;
}

ReadResult readPackedRows(QtzState *state, FILE *stream, int32_t width, int32_t height,
                          QtzImage **out) {
  QtzImage *image = nullptr;
  if (makeImage(state, unzeroed(QTZ_IMAGE_PACKED), width, height, 0, 0, false, &image) != QTZ_OK)
    return ReadResult::kNoMemory;
  const auto fileBytes = static_cast<size_t>((int64_t{width} + 7) / 8);
  const auto rowWords = static_cast<size_t>(image->hdr.bytesPerLine / 4);
  const uint32_t lastMask = width % 32 == 0 ? ~0u : ~(~0u >> (width % 32));
  for (int64_t i = 0; image->rows != nullptr && i < height; ++i) {
    uint32_t *words = packedRow(image, i);
    auto *bytes = reinterpret_cast<uint8_t *>(words);
    std::memset(bytes + fileBytes, 0, rowWords * 4 - fileBytes);
    if (std::fread(bytes, 1, fileBytes, stream) != fileBytes) {
      QtzImage_free(image);
      return ReadResult::kShort;
    }
    for (size_t k = 0; k < rowWords; ++k) words[k] = __builtin_bswap32(words[k]);
    words[rowWords - 1] &= lastMask;
  }
  *out = image;
  return ReadResult::kOk;
}

ReadResult readElements(QtzState *state, FILE *stream, int32_t type, int32_t width, int32_t height,
                        bool swap, QtzImage **out) {
  QtzImage *image = nullptr;
  if (makeImage(state, unzeroed(type), width, height, 0, 0, false, &image) != QTZ_OK)
    return ReadResult::kNoMemory;
  if (image->rows != nullptr) {
    const size_t bytes = static_cast<size_t>(image->hdr.bytesPerLine) * static_cast<size_t>(height);
    uint8_t *block = rowStart(image, 0);
    if (std::fread(block, 1, bytes, stream) != bytes) {
      QtzImage_free(image);
      return ReadResult::kShort;
    }
    if (swap) reverseUnits(block, bytes, swapUnit(type));
  }
  *out = image;
  return ReadResult::kOk;
}

bool writePackedRows(const QtzImage *image, FILE *stream) {
  const QtzImageHeader &h = image->hdr;
  ChunkWriter writer(stream);
  for (int64_t i = 0; image->rows != nullptr && i < h.height; ++i) {
    for (int64_t x = 0; x < h.width; x += 32) {
      const auto count = static_cast<int32_t>(std::min<int64_t>(32, h.width - x));
      uint32_t word = h.type == QTZ_IMAGE_PACKED ? packedRow(image, i)[x / 32]
                                                 : packWord(rowStart(image, i) + x, count);
      word &= ~0u << (32 - count);
      for (int32_t b = 0; b < (count + 7) / 8; ++b)
        writer.put(static_cast<uint8_t>(word >> (24 - 8 * b)));
    }
  }
  return writer.finish();
}

bool writeElements(const QtzImage *image, FILE *stream, bool swap) {
  const QtzImageHeader &h = image->hdr;
  const size_t unit = swap ? swapUnit(h.type) : 1;
  const auto rowLength = static_cast<size_t>(h.width) * static_cast<size_t>(elementBytes(h.type));
  // Whole units per chunk, so that no element is split between two chunks.
  const size_t piece = kChunk / 24 * 24;
  ChunkWriter writer(stream);
  for (int64_t i = 0; image->rows != nullptr && i < h.height; ++i) {
    const uint8_t *row = rowStart(image, i);
    for (size_t done = 0; done < rowLength; done += piece) {
      const size_t n = std::min(piece, rowLength - done);
      uint8_t *room = writer.room(n);
      std::memcpy(room, row + done, n);
      reverseUnits(room, n, unit);
      writer.commit(n);
    }
  }
  return writer.finish();
}

}  // namespace qtz
