// Test support: TIFF-FX documents written to a temporary file through the container library's
// writer, from a plan of pages and IFDs, the way an encoder lays them out (JBIG2 masks with
// referring strips, global data and colour payloads in a tail IFD; JPEG and Group 4 layers cut
// into strips). A plan keeps the bytes it wrote, so that tests compare what they read back
// with it. The file is removed at the end of the test.
#ifndef CTL_TEST_MRC_WRITER_H
#define CTL_TEST_MRC_WRITER_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "ovr_document.h"
#include "ovr_file_hooks.h"
#include "ovr_write.h"

namespace ctl_test {

using Bytes = std::vector<uint8_t>;

inline const OvrFileHooks kStdio = {fread, fwrite, fseek, ftell};

// Compression bits of the container library.
constexpr uint32_t kJpegBits = 16;
constexpr uint32_t kG4Bits = 8;
constexpr uint32_t kJbig2Bits = 1024;

struct IfdPlan {
  uint32_t layer = 1;
  uint32_t colourKind = 7;  // the library's colour kinds: 1 bilevel, 7 RGB-like JPEG colour
  uint32_t x = 0, y = 0, res = 300;
  uint32_t width = 0, height = 0;
  uint32_t rowsPerStrip = 0;  // 0: the height
  uint32_t bits = kJpegBits;
  uint32_t colourSpace = 8;  // numbered like the photometric kinds: 8 ITULab
  // Plain strips, one per rowsPerStrip rows (JPEG, G4).
  std::vector<Bytes> strips;
  // JBIG2: global data written before the strip, the indices its strip names (indices into
  // the document's global data written so far), its coded data and a colour payload after it
  // (a tail IFD on the next layer when not empty).
  Bytes globals;
  std::vector<uint32_t> refs;
  Bytes coded;
  Bytes payload;
};

using PagePlan = std::vector<IfdPlan>;

// Bytes that tell strips apart: a byte pattern from a seed.
inline Bytes pattern(size_t size, uint32_t seed) {
  Bytes out(size);
  uint32_t v = seed * 2654435761u + 1;
  for (auto &b : out) {
    v = v * 1103515245u + 12345u;
    b = static_cast<uint8_t>(v >> 16);
  }
  return out;
}

// Writes the plan as a document of kind; every library call must succeed. The global data
// indices the library hands out are returned in order.
inline std::vector<uint32_t> writeMrc(const std::string &path, uint32_t kind,
                                      const std::vector<PagePlan> &pages) {
  std::vector<uint32_t> globalIds;
  FILE *f = fopen(path.c_str(), "w+b");
  EXPECT_NE(f, nullptr);
  if (f == nullptr) return globalIds;
  OvrHookedFile hooked{f, 0, &kStdio};
  OvrIoContext *ctx = nullptr;
  EXPECT_EQ(ovrCreateIoContext(0, &ctx), OVR_OK);
  OvrDocHandle *doc = nullptr;
  EXPECT_EQ(ovrCreateDocument(ctx, kind, &hooked, 0, 0, fileHookRead, fileHookWrite, fileHookSeek,
                              fileHookSeekEnd, fileHookTell, &doc),
            OVR_OK);
  for (const PagePlan &plan : pages) {
    OvrPageHandle *page = nullptr;
    EXPECT_EQ(ovrAddPage(doc, -1, &page), OVR_OK);
    for (const IfdPlan &p : plan) {
      const uint32_t rps = p.rowsPerStrip != 0 ? p.rowsPerStrip : p.height;
      OvrIfdHandle *ifd = nullptr;
      EXPECT_EQ(ovrAddIfd(page, p.layer, p.colourKind, p.x, p.y, p.res, p.res, p.width, p.height,
                          rps, nullptr, &ifd),
                OVR_OK)
          << "layer " << p.layer;
      if (p.bits == kJbig2Bits) {
        EXPECT_EQ(ovrSetCompressionTag(ifd, 34715), OVR_OK);
      }
      uint32_t bits = p.bits, quality = 0;
      EXPECT_EQ(ovrSetCoding(ifd, 0, &bits, &quality, &p.colourSpace), OVR_OK);
      if (p.bits == kJbig2Bits) {
        if (!p.globals.empty()) {
          uint32_t id = 0;
          EXPECT_EQ(
              ovrAddGlobalData(doc, p.globals.data(), p.globals.size(), p.globals.size(), &id),
              OVR_OK);
          globalIds.push_back(id);
        }
        std::vector<uint32_t> named;
        for (uint32_t r : p.refs) named.push_back(globalIds.at(r));
        Bytes strip = p.coded;
        strip.insert(strip.end(), p.payload.begin(), p.payload.end());
        const uint32_t none = 0;  // the writer takes a list pointer even for no indices
        EXPECT_EQ(ovrWriteReferringStrip(ifd, strip.data(), strip.size(),
                                         named.empty() ? &none : named.data(),
                                         static_cast<uint32_t>(named.size())),
                  OVR_OK);
        if (!p.payload.empty()) {
          OvrIfdHandle *tail = nullptr;
          EXPECT_EQ(ovrAddTailStripIfd(ifd, static_cast<uint32_t>(p.coded.size()), 7, &tail),
                    OVR_OK);
        }
      } else {
        for (size_t s = 0; s < p.strips.size(); ++s) {
          const uint32_t row = static_cast<uint32_t>(s * rps);
          const uint32_t rows = std::min(rps, p.height - row);
          size_t written = 0;
          EXPECT_EQ(ovrWriteStrip(ifd, row, rows, p.strips[s].data(), p.strips[s].size(), &written),
                    OVR_OK)
              << "strip " << s;
        }
      }
      EXPECT_EQ(ovrEndIfd(ifd), OVR_OK);
    }
    EXPECT_EQ(ovrEndPage(page), OVR_OK);
  }
  EXPECT_EQ(ovrCloseDocument(doc), OVR_OK);
  EXPECT_EQ(ovrDestroyIoContext(ctx), OVR_OK);
  fclose(f);
  return globalIds;
}

}  // namespace ctl_test

#endif
