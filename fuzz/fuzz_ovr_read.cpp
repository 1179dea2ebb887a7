// Runs the container library's reading interface over arbitrary bytes, in the order a viewer
// uses it: open through the FILE adapters, document info, then for every page (and the last one
// again) every layer merged over its stripes, every stripe with its values, global references
// and strip byte counts, every strip read (JPEG strips with their tables merged) and split as a
// referring strip, every global data block named, then every global data entry of the document;
// then close. Every block the library hands out is given back, so a block still allocated when
// the context is destroyed is a fault. The walk itself is not bounded: the reader bounds the
// pages, stripes, strips and table entries by the file, and the strip bytes it hands out over the
// document (a walk that hands out more than twice that bound, the last page being walked twice,
// is a fault). Only the bytes of global data copied out are capped (at a multiple of the input),
// since any number of table entries may name one large block.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ovr_document.h"
#include "ovr_file_hooks.h"

namespace {

const OvrFileHooks kStdio = {fread, fwrite, fseek, ftell};

// Bytes of global data that may still be copied out for this input.
uint64_t g_bytesLeft = 0;
// Strip bytes handed out so far, and the most the reader may hand out for this input.
uint64_t g_stripBytes = 0;
uint64_t g_stripBound = 0;
bool takeBytes(uint64_t bytes) {
  if (bytes > g_bytesLeft) return false;
  g_bytesLeft -= bytes;
  return true;
}

void give(OvrIoContext *ctx, void *block) {
  if (block != nullptr) ovrFreeData(ctx, &block);
}

void readGlobal(OvrIoContext *ctx, OvrDocHandle *doc, uint32_t index) {
  uint8_t *data = nullptr;
  uint32_t length = 0, size = 0, extra = 0;
  uint16_t word = 0;
  if (g_bytesLeft == 0) return;
  ovrReadGlobalData(doc, index, &data, &length, &size, &word, &extra);
  takeBytes(std::min<uint64_t>(size, g_bytesLeft));
  give(ctx, data);
}

void readStrips(OvrIoContext *ctx, OvrIfdHandle *ifd, uint32_t height, uint32_t rowsPerStrip) {
  if (ovrBeginRead(ifd, 0) != OVR_OK) return;
  uint8_t *buffer = nullptr;
  uint32_t capacity = 0;
  const uint32_t step = rowsPerStrip != 0 ? rowsPerStrip : height;
  for (uint64_t row = 0; step != 0 && row < height; row += step) {
    uint32_t bytes = 0, got = 0;
    // A row past the strip tables ends the IFD.
    if (ovrGetStripByteCount(ifd, static_cast<uint32_t>(row), &bytes) != OVR_OK) break;
    const uint32_t rows = static_cast<uint32_t>(std::min<uint64_t>(step, height - row));
    if (ovrReadStrip(ifd, static_cast<uint32_t>(row), rows, &buffer, &capacity, &got) != OVR_OK)
      continue;
    g_stripBytes += got;
    if (g_stripBytes > g_stripBound) std::abort();  // the reader's bound does not hold
    uint32_t count = 0, payloadSize = 0;
    uint32_t *indices = nullptr;
    const uint8_t *payload = nullptr;
    if (ovrParseStripHeader(ifd, buffer, got, &count, &indices, &payload, &payloadSize) == OVR_OK)
      give(ctx, indices);
  }
  give(ctx, buffer);
  ovrEndRead(ifd);
  ovrEndRead(ifd);  // out of sequence: 21
}

void readStripe(OvrIoContext *ctx, OvrDocHandle *doc, OvrPageHandle *page, uint32_t layer,
                uint32_t stripe) {
  uint32_t x, y, xRes, yRes, width, height, rowsPerStrip, bits, kind;
  uint8_t palette[768];
  OvrIfdHandle *ifd = nullptr;
  if (ovrGetStripeIfd(page, layer, stripe, &x, &y, &xRes, &yRes, &width, &height, &rowsPerStrip,
                      &bits, &kind, palette, &ifd) != OVR_OK)
    return;
  uint16_t photometric = 0;
  int32_t present = 0;
  ovrGetPhotometric(ifd, &photometric, &present);
  const int32_t *decode = nullptr;
  uint32_t count = 0, options = 0;
  ovrGetDecode(ifd, &decode, &count, &present);
  ovrGetCodingOptions(ifd, &options, &present);
  uint64_t total = 0;
  const uint32_t *indices = nullptr, *sizes = nullptr;
  if (ovrGetStripGlobalRefs(ifd, &total, &count, &indices, &sizes) == OVR_OK) {
    const std::vector<uint32_t> named(indices, indices + count);
    for (uint32_t index : named) readGlobal(ctx, doc, index);
  }
  readStrips(ctx, ifd, height, rowsPerStrip);
}

void readPage(OvrIoContext *ctx, OvrDocHandle *doc, int32_t index) {
  const uint32_t *counts = nullptr;
  uint32_t layers = 0;
  uint16_t attribute = 0;
  OvrPageHandle *page = nullptr;
  if (ovrGetPage(doc, index, &counts, &layers, &attribute, &page) != OVR_OK) return;
  const std::vector<uint32_t> stripes(counts, counts + layers);  // replaced by the next page
  for (uint32_t layer = 1; layer <= stripes.size(); ++layer) {
    uint32_t x, y, xRes, yRes, width, height, bits, kind;
    uint8_t palette[768];
    OvrIfdHandle *ifd = nullptr;
    ovrGetLayerInfo(page, layer, &x, &y, &xRes, &yRes, &width, &height, &bits, &kind, palette,
                    &ifd);
    const uint32_t n = stripes[layer - 1];
    for (uint32_t s = 0; s <= n; ++s) readStripe(ctx, doc, page, layer, s);  // s = n: past the end
  }
}

void readDocument(OvrIoContext *ctx, std::vector<uint8_t> &bytes) {
  FILE *file = fmemopen(bytes.data(), bytes.size(), "rb");
  if (file == nullptr) return;
  OvrHookedFile hooked{file, 0, &kStdio};
  OvrDocHandle *doc = nullptr;
  if (ovrOpenDocument(ctx, &hooked, 0, fileHookRead, fileHookWrite, fileHookSeek, fileHookSeekEnd,
                      fileHookTell, &doc) == OVR_OK &&
      doc != nullptr) {
    uint8_t kind = 0, sub = 0;
    uint16_t pages = 0;
    ovrGetDocumentInfo(doc, &kind, &sub, &pages);
    for (int32_t p = 0; p < pages; ++p) readPage(ctx, doc, p);
    readPage(ctx, doc, -1);
    // Every global data entry: the lookups stop at the first index past the table chain.
    for (uint32_t index = 0;; ++index) {
      uint8_t *data = nullptr;
      uint32_t length = 0, size = 0, extra = 0;
      uint16_t word = 0;
      const int32_t status = ovrReadGlobalData(doc, index, &data, &length, &size, &word, &extra);
      give(ctx, data);
      if (status != OVR_OK || !takeBytes(size)) break;
    }
    ovrCloseDocument(doc);
  }
  std::fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  std::vector<uint8_t> bytes(data, data + size);
  OvrIoContext *ctx = nullptr;
  if (ovrCreateIoContext(0, &ctx) != OVR_OK) return 0;
  g_bytesLeft = 16 * uint64_t{size} + (1u << 20);
  // Twice the document's strip budget: 8 times the file and 1 MB.
  g_stripBytes = 0;
  g_stripBound = 2 * (8 * uint64_t{size} + (1u << 20));
  readDocument(ctx, bytes);
  if (ovrDestroyIoContext(ctx) != OVR_OK) std::abort();  // a block was not given back
  return 0;
}
