// Pages written the way the document encoder writes them: per page a JBIG2 mask IFD whose
// referring strip names every global data block written so far (a section's global data is
// written with its first mask), the coded mask followed by a colour payload that a tail-strip
// IFD describes, then JPEG colour layers of one strip each. Every call is made whatever the
// earlier ones returned, and each call's result is kept, so that failure tests can see them all.
#ifndef OVR_WRITE_SCENARIO_H
#define OVR_WRITE_SCENARIO_H

#include <array>
#include <string>
#include <vector>

#include "ovr_vocab_internal.h"
#include "ovr_write.h"

namespace ovr_test {

struct ColourLayer {
  uint32_t layer = 3;
  uint32_t x = 0;
  uint32_t y = 0;
  uint32_t res = 300;
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> jpeg;
};

struct PagePlan {
  uint32_t width = 2592;  // the mask, at 300 dpi
  uint32_t height = 0;
  std::vector<uint8_t> mask;     // coded mask data
  std::vector<uint8_t> payload;  // colour payload after it; empty: no tail-strip IFD
  std::vector<uint8_t> globals;  // the section's global data, written with this mask; or none
  std::vector<ColourLayer> colours;
};

struct Call {
  std::string name;
  int32_t status = 0;
  bool writes = false;  // the call writes to the file whatever state the IFD is in
};

inline std::vector<Call> writePages(OvrDocHandle *doc, const std::vector<PagePlan> &pages) {
  std::vector<Call> calls;
  auto note = [&calls](const char *name, int32_t status, bool writes = false) {
    calls.push_back(Call{name, status, writes});
  };
  std::array<uint32_t, 16> ids{};  // the encoder's slots of global data indices
  uint32_t idCount = 0;
  for (const PagePlan &p : pages) {
    OvrPageHandle *page = nullptr;
    note("ovrAddPage", ovrAddPage(doc, -1, &page));
    OvrIfdHandle *mask = nullptr;
    note("ovrAddIfd mask",
         ovrAddIfd(page, 2, 1, 0, 0, 300, 300, p.width, p.height, p.height, nullptr, &mask));
    note("ovrSetCompressionTag", ovrSetCompressionTag(mask, ovr::kCompressionJbig2Private));
    uint32_t bits = ovr::bits::kJbig2, quality = 0;
    const uint32_t space = 8;
    note("ovrSetCoding mask", ovrSetCoding(mask, 0, &bits, &quality, &space), true);
    if (!p.globals.empty()) {
      note("ovrAddGlobalData",
           ovrAddGlobalData(doc, p.globals.data(), p.globals.size(), p.globals.size(),
                            &ids[idCount]),
           true);
      ++idCount;
    }
    std::vector<uint8_t> strip = p.mask;
    strip.insert(strip.end(), p.payload.begin(), p.payload.end());
    note("ovrWriteReferringStrip",
         ovrWriteReferringStrip(mask, strip.data(), strip.size(), ids.data(), idCount), true);
    if (!p.payload.empty()) {
      OvrIfdHandle *tail = nullptr;
      note("ovrAddTailStripIfd",
           ovrAddTailStripIfd(mask, static_cast<uint32_t>(p.mask.size()), 7, &tail), true);
    }
    note("ovrEndIfd mask", ovrEndIfd(mask));
    for (const ColourLayer &c : p.colours) {
      OvrIfdHandle *ifd = nullptr;
      note("ovrAddIfd colour", ovrAddIfd(page, c.layer, 7, c.x, c.y, c.res, c.res, c.width,
                                         c.height, c.height, nullptr, &ifd));
      uint32_t jpeg = ovr::bits::kJpeg, q = 0;
      note("ovrSetCoding colour", ovrSetCoding(ifd, 0, &jpeg, &q, &space), true);
      size_t written = 0;
      note("ovrWriteStrip", ovrWriteStrip(ifd, 0, c.height, c.jpeg.data(), c.jpeg.size(), &written),
           true);
      note("ovrEndIfd colour", ovrEndIfd(ifd));
    }
    note("ovrEndPage", ovrEndPage(page));
  }
  return calls;
}

}  // namespace ovr_test

#endif
