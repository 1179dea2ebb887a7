// Runs the container library's format decoders over arbitrary bytes. The bytes are read as a
// TIFF file through the library's FILE adapters: the header, the page chain and every SubIFD
// chain, each directory through the tag table, the strip tables, the first strips as referring
// strips or JPEG strips with merged tables, the page attribute record, the global parameters IFD
// and the global data table chain with its blocks. The bytes are also parsed directly as a
// referring strip and as JPEG tables. Every walk is bounded and remembers the offsets it visited;
// any block still allocated at the end is a fault.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <vector>

#include "ovr_file_hooks.h"
#include "ovr_format_internal.h"
#include "ovr_page_format_internal.h"
#include "ovr_records_internal.h"
#include "ovr_shared_data_internal.h"
#include "ovr_strips_internal.h"
#include "ovr_tags_internal.h"
#include "ovr_vocab_internal.h"

namespace {

const OvrFileHooks kStdio = {fread, fwrite, fseek, ftell};
constexpr size_t kMaxIfds = 32;
constexpr uint32_t kMaxStrips = 8;
constexpr size_t kMaxTables = 16;

struct Walk {
  const ovr::FileReader &reader;
  ovr::Allocator alloc;
  std::set<uint64_t> visited;
};

void exploreStrips(Walk &w, const ovr::Directory &dir) {
  ovr::StripLayout strips;
  if (ovr::resolveStrips(dir, w.reader.size, true, &strips) != OVR_OK) return;
  ovr::JpegTablesBody body;
  const bool tables =
      dir.has(ovr::Field::JpegTables) &&
      ovr::checkJpegTables(dir.jpegTables.data(), dir.jpegTables.size(), &body) == OVR_OK;
  for (uint32_t s = 0; s < strips.count && s < kMaxStrips; ++s) {
    std::vector<uint8_t> strip(strips.byteCounts[s]);
    if (w.reader.readAt(strips.offsets[s], strip.data(), strip.size()) != OVR_OK) continue;
    ovr::ReferringStrip refs;
    if (ovr::parseReferringStrip(strip.data(), strip.size(), w.reader.order, dir.codingOptions,
                                 &refs) == OVR_OK) {
      for (uint32_t i = 0; i < refs.count; ++i) ovr::referringIndex(refs, w.reader.order, i);
    }
    ovr::JpegMerge plan;
    if (tables && ovr::planJpegMerge(strip.data(), strip.size(), body, &plan) == OVR_OK) {
      std::vector<uint8_t> merged(plan.mergedSize);
      ovr::applyJpegMerge(plan, strip.data(), strip.size(), dir.jpegTables.data(), body,
                          merged.data());
    }
  }
}

void exploreGlobalTables(Walk &w, uint64_t offset) {
  for (size_t n = 0; offset != 0 && n < kMaxTables && w.visited.insert(offset).second; ++n) {
    ovr::GlobalTable table;
    if (ovr::readGlobalTable(w.reader, offset, &table) != OVR_OK) return;
    for (uint32_t i = 0; i < table.count && i < 64; ++i) {
      ovr::GlobalEntry entry;
      ovr::GlobalBlock block;
      if (ovr::readGlobalEntry(w.reader, table, i, &entry) != OVR_OK) return;
      if (ovr::locateGlobalBlock(w.reader, entry, &block) != OVR_OK) continue;
      std::vector<uint8_t> data(block.storedSize);
      w.reader.readAt(block.dataOffset, data.data(), data.size());
    }
    offset = table.next;
  }
}

void exploreChain(Walk &w, uint64_t offset, int depth);

void exploreDirectory(Walk &w, uint64_t offset, int depth, uint32_t *next) {
  ovr::Directory dir(w.alloc);
  ovr::IfdLayout layout;
  *next = 0;
  if (ovr::readIfdLayout(w.reader, offset, &layout) != OVR_OK) return;
  *next = layout.next;
  if (ovr::readEntries(w.reader, layout, dir) != OVR_OK) return;
  uint32_t t4 = dir.t4Options, bits = 0, kind = 0;
  ovr::compressionBitsFromValue(dir.compression, dir.codingOptions, &t4, &bits);
  if (ovr::colourKindFromSamples(dir.samplesPerPixel, dir.firstBitsPerSample(),
                                 dir.has(ovr::Field::ColorMap), &kind) == OVR_OK &&
      (kind == ovr::colour::kPalette4 || kind == ovr::colour::kPalette8)) {
    uint8_t palette[768];
    ovr::paletteFromColorMap(dir.colorMap.data(), dir.colorMap.size(), dir.firstBitsPerSample(),
                             palette);
  }
  ovr::stripeKeyOf(dir);
  ovr::PageAttributes attributes;
  ovr::readPageAttributes(w.reader, dir, &attributes);
  exploreStrips(w, dir);
  if (dir.globalTableOffset != 0) exploreGlobalTables(w, dir.globalTableOffset);
  if (depth < 2) {
    if (dir.globalParametersIfd != 0) exploreChain(w, dir.globalParametersIfd, depth + 1);
    for (uint64_t i = 0; i < dir.subIfds.size() && i < 4; ++i)
      exploreChain(w, dir.subIfds[i], depth + 1);
  }
}

void exploreChain(Walk &w, uint64_t offset, int depth) {
  for (size_t n = 0; offset != 0 && n < kMaxIfds && w.visited.insert(offset).second; ++n) {
    uint32_t next = 0;
    exploreDirectory(w, offset, depth, &next);
    offset = next;
  }
}

void exploreFile(OvrIoContext *ctx, std::vector<uint8_t> &bytes) {
  FILE *file = fmemopen(bytes.data(), bytes.size(), "rb");
  if (file == nullptr) return;
  OvrHookedFile hooked{file, 0, &kStdio};
  OvrStream stream{
      &stream, &hooked, fileHookRead, fileHookWrite, fileHookSeek, fileHookSeekEnd, fileHookTell,
      0,       0,       ctx};
  uint32_t kind = 0;
  ovr::FileHeader header;
  ovr::FileReader reader;
  if (ovr::classifyStream(stream, &kind, &header) == OVR_OK &&
      ovr::openFileReader(stream, &reader) == OVR_OK) {
    Walk walk{reader, ovr::contextAllocator(ctx), {}};
    exploreChain(walk, header.firstIfd, 0);
  }
  std::fclose(file);
}

void exploreRaw(const uint8_t *data, size_t size) {
  for (ovr::ByteOrder order : {ovr::ByteOrder::Little, ovr::ByteOrder::Big}) {
    for (uint32_t options : {0u, ovr::kOptionTailBytes}) {
      ovr::ReferringStrip refs;
      ovr::parseReferringStrip(data, size, order, options, &refs);
    }
  }
  ovr::JpegTablesBody body;
  ovr::checkJpegTables(data, size, &body);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  exploreRaw(bytes.data(), bytes.size());
  if (size == 0) return 0;
  OvrIoContext *ctx = nullptr;
  if (ovrCreateIoContext(0, &ctx) != OVR_OK) return 0;
  exploreFile(ctx, bytes);
  if (ovrDestroyIoContext(ctx) != OVR_OK) std::abort();  // a block was not given back
  return 0;
}
