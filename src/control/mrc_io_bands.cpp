// MrcIo: the band questions (where a band is, its size, its strip bytes and their byte count,
// the global data it refers to), global data blocks, and the two payload readers of the page
// builder (JBIG2 data without its strip header, a colour payload after its mask's bytes).
#include <algorithm>

#include "mrc_io.h"

namespace ctl {

bool MrcIo::locateBand(uint32_t page, uint32_t layer, uint32_t band, BandRef *ref) {
  *ref = BandRef{};
  const uint32_t ifds = ifdCount(page, layer);
  if (ifds == 0) return false;
  Stripe s;
  if (!stripe(page, layer, ifds > 1 ? band : 0, &s)) return false;
  const bool cut = ifds == 1 && s.rowsPerStrip != 0 && s.rowsPerStrip < s.height;
  if (!cut) {
    // A stripe, or a layer of one IFD that is one band.
    if (ifds == 1 && band != 0) return false;
    *ref = BandRef{s.ifd, 0, s.height, LongPair{s.x, s.y}, LongPair{s.width, s.height}};
    return true;
  }
  const uint64_t row = uint64_t{band} * s.rowsPerStrip;
  if (row >= s.height) return false;
  const auto rows = static_cast<uint32_t>(std::min<uint64_t>(s.rowsPerStrip, s.height - row));
  *ref = BandRef{s.ifd, static_cast<uint32_t>(row), rows,
                 LongPair{s.x, static_cast<int64_t>(s.y + row)}, LongPair{s.width, rows}};
  return true;
}

std::optional<Block> MrcIo::readStrip(const BandRef &ref) {
  uint32_t count = 0;
  if (ovrGetStripByteCount(ref.ifd, ref.row, &count) != OVR_OK) return std::nullopt;
  if (fileSize_ != 0 && count > fileSize_) return std::nullopt;
  if (ovrBeginRead(ref.ifd, 0) != OVR_OK) return std::nullopt;
  uint8_t *buffer = nullptr;
  uint32_t capacity = 0, got = 0;
  const int32_t status = ovrReadStrip(ref.ifd, ref.row, ref.rows, &buffer, &capacity, &got);
  ovrEndRead(ref.ifd);
  std::optional<Block> out;
  // The library sized the buffer; the bytes it read are copied, however many (a JPEG strip
  // comes with its tables merged in), but never fewer than the strip holds.
  if (status == OVR_OK && got >= count && got <= capacity && (got == 0 || buffer != nullptr))
    out.emplace(buffer, buffer + got);
  giveBack(buffer);
  return out;
}

std::optional<Block> MrcIo::ReadBandData(uint32_t page, uint32_t layer, uint32_t band) {
  BandRef ref;
  if (!locateBand(page, layer, band, &ref)) return std::nullopt;
  return readStrip(ref);
}

uint64_t MrcIo::GetBandDataSize(uint32_t page, uint32_t layer, uint32_t band) {
  BandRef ref;
  uint32_t count = 0;
  if (!locateBand(page, layer, band, &ref) ||
      ovrGetStripByteCount(ref.ifd, ref.row, &count) != OVR_OK)
    return 0;
  return count;
}

LongPair MrcIo::GetBandPosition(uint32_t page, uint32_t layer, uint32_t band) {
  BandRef ref;
  return locateBand(page, layer, band, &ref) ? ref.position : kUnknownPair;
}

LongPair MrcIo::GetBandSize(uint32_t page, uint32_t layer, uint32_t band) {
  BandRef ref;
  return locateBand(page, layer, band, &ref) ? ref.size : kUnknownPair;
}

bool MrcIo::GetBandGlobalRefs(uint32_t page, uint32_t layer, uint32_t band, GlobalRefs *refs) {
  *refs = GlobalRefs{};
  BandRef ref;
  if (!locateBand(page, layer, band, &ref)) return false;
  uint64_t total = 0;
  uint32_t count = 0;
  const uint32_t *indices = nullptr, *sizes = nullptr;
  if (ovrGetStripGlobalRefs(ref.ifd, &total, &count, &indices, &sizes) != OVR_OK) return false;
  if (count != 0 && (indices == nullptr || sizes == nullptr)) return false;
  refs->indices.assign(indices, indices + count);
  refs->sizes.assign(sizes, sizes + count);
  return true;
}

std::optional<Block> MrcIo::ReadGlobalData(uint32_t index) {
  if (document_ == nullptr) return std::nullopt;
  uint8_t *data = nullptr;
  uint32_t length = 0, stored = 0, extra = 0;
  uint16_t word = 0;
  const int32_t status =
      ovrReadGlobalData(document_, index, &data, &length, &stored, &word, &extra);
  std::optional<Block> out;
  // The block is its data length; the stored bytes beyond it are filler.
  if (status == OVR_OK && length <= stored && (length == 0 || data != nullptr))
    out.emplace(data, data + length);
  giveBack(data);
  return out;
}

std::optional<Block> MrcIo::ReadJbig2BandData(uint32_t page, uint32_t layer, uint32_t band) {
  BandRef ref;
  if (!locateBand(page, layer, band, &ref)) return std::nullopt;
  const std::optional<Block> strip = readStrip(ref);
  if (!strip || strip->size() > UINT32_MAX) return std::nullopt;
  uint32_t count = 0, payloadSize = 0;
  uint32_t *indices = nullptr;
  const uint8_t *payload = nullptr;
  const int32_t status =
      ovrParseStripHeader(ref.ifd, strip->data(), static_cast<uint32_t>(strip->size()), &count,
                          &indices, &payload, &payloadSize);
  giveBack(indices);
  if (status != OVR_OK) return std::nullopt;
  const uint8_t *begin = strip->data();
  const uint8_t *end = begin + strip->size();
  if (payloadSize == 0) return Block{};
  if (payload < begin || payload > end || payloadSize > static_cast<uint64_t>(end - payload))
    return std::nullopt;
  return Block(payload, payload + payloadSize);
}

std::optional<Block> MrcIo::ReadColorTokenBandData(uint32_t page, uint32_t layer, uint32_t band) {
  if (layer < 2) return std::nullopt;
  BandRef ref;
  if (!locateBand(page, layer, band, &ref)) return std::nullopt;
  uint32_t options = 0;
  int32_t present = 0;
  if (ovrGetCodingOptions(ref.ifd, &options, &present) != OVR_OK || !present) return std::nullopt;
  const uint64_t maskBytes = GetBandDataSize(page, layer - 1, band);
  std::optional<Block> strip = readStrip(ref);
  if (!strip || maskBytes == 0 || maskBytes >= strip->size()) return std::nullopt;
  return Block(strip->begin() + static_cast<ptrdiff_t>(maskBytes), strip->end());
}

}  // namespace ctl
