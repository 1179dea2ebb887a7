// Test support: the JBIG2 writer of jbig2_writer.h. The arithmetic integer coder is T.88
// Annex A.2 run backwards (sign, range prefix, value bits, each through the context the
// decoder's PREV names), symbol IDs Annex A.3; symbol bitmaps are generic regions of template
// 0 with the nominal AT pixels, coded pixel by pixel with contexts shared by the dictionary.
#include "jbig2_writer.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "ccitt_internal.h"
#include "mq_coder.h"
#include "qtz_state.h"

namespace ctl_test {
namespace {

using Bytes = std::vector<uint8_t>;

void put32(Bytes *out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<uint8_t>(v >> shift));
}

void put16(Bytes *out, uint32_t v) {
  out->push_back(static_cast<uint8_t>(v >> 8));
  out->push_back(static_cast<uint8_t>(v));
}

// A segment header (T.88 7.2) followed by data.
void segment(Bytes *out, uint32_t number, uint8_t type, const std::vector<uint32_t> &refs,
             uint8_t page, const Bytes &data) {
  put32(out, number);
  out->push_back(type);  // page association in one byte, not deferred
  out->push_back(static_cast<uint8_t>(refs.size() << 5));
  for (uint32_t r : refs) {
    if (number <= 256)
      out->push_back(static_cast<uint8_t>(r));
    else if (number <= 65536)
      put16(out, r);
    else
      put32(out, r);
  }
  out->push_back(page);
  put32(out, static_cast<uint32_t>(data.size()));
  out->insert(out->end(), data.begin(), data.end());
}

Bytes pageInfo(int32_t width, int32_t height) {
  Bytes d;
  put32(&d, static_cast<uint32_t>(width));
  put32(&d, static_cast<uint32_t>(height));
  put32(&d, 0);
  put32(&d, 0);
  d.push_back(0);  // default pixel 0, combination OR
  put16(&d, 0);    // not striped
  return d;
}

Bytes regionInfo(int32_t width, int32_t height) {
  Bytes d;
  put32(&d, static_cast<uint32_t>(width));
  put32(&d, static_cast<uint32_t>(height));
  put32(&d, 0);
  put32(&d, 0);
  d.push_back(0);  // OR
  return d;
}

class Mq {
 public:
  Mq() { mqEncInit(&enc_, jbtest::collectByte, &out_, nullptr); }
  void bit(uint8_t *cx, int d) { mqEncode(&enc_, cx, d); }
  Bytes finish() {
    mqFlush(&enc_);
    return out_;
  }

 private:
  Bytes out_;
  MqEncoder enc_;
};

// The contexts of one integer coder (IAx).
struct IntCoder {
  std::vector<uint8_t> cx = std::vector<uint8_t>(512, 0);

  void code(Mq &mq, bool oob, int64_t value) {
    uint32_t prev = 1;
    auto bit = [&](int d) {
      mq.bit(&cx[prev], d);
      prev = prev < 256 ? (prev << 1 | d) : (((prev << 1 | d) & 511) | 256);
    };
    auto bits = [&](int n, uint64_t v) {
      for (int i = n - 1; i >= 0; --i) bit(static_cast<int>((v >> i) & 1));
    };
    if (oob) {
      bit(1);
      bit(0);
      bits(2, 0);
      return;
    }
    const uint64_t v = static_cast<uint64_t>(value < 0 ? -value : value);
    bit(value < 0);
    if (v < 4) {
      bit(0);
      bits(2, v);
    } else if (v < 20) {
      bits(2, 2);
      bits(4, v - 4);
    } else if (v < 84) {
      bits(3, 6);
      bits(6, v - 20);
    } else if (v < 340) {
      bits(4, 14);
      bits(8, v - 84);
    } else if (v < 4436) {
      bits(5, 30);
      bits(12, v - 340);
    } else {
      bits(5, 31);
      bits(32, v - 4436);
    }
  }
};

int ceilLog2(uint32_t n) {
  int bits = 0;
  while ((uint64_t{1} << bits) < n) ++bits;
  return bits;
}

const Jbig2GenericTemplate kSymbolTemplate = {0, {3, -3, 2, -2}, {-1, -1, -2, -2}, 0};

}  // namespace

std::vector<uint8_t> jbig2MmrPage(const Bits &bitmap, uint32_t firstSegment) {
  QtzState *state = nullptr;
  EXPECT_EQ(Qtz_initQtzState(&state, nullptr, nullptr, nullptr, nullptr, 0, 0), 0);
  Bytes code(static_cast<size_t>(bitmap.width) * bitmap.height + 1024);
  int32_t size = static_cast<int32_t>(code.size());
  EXPECT_EQ(ccittEncodeG4(bitmap.words.data(), bitmap.width, bitmap.height, bitmap.wpr, code.data(),
                          &size, 1, state),
            0);
  Qtz_cleanupQtzState(&state);
  code.resize(static_cast<size_t>(size));

  Bytes region = regionInfo(bitmap.width, bitmap.height);
  region.push_back(1);  // MMR
  region.insert(region.end(), code.begin(), code.end());
  Bytes out;
  segment(&out, firstSegment, 48, {}, 1, pageInfo(bitmap.width, bitmap.height));
  segment(&out, firstSegment + 1, 38, {}, 1, region);
  segment(&out, firstSegment + 2, 49, {}, 1, {});
  return out;
}

std::vector<uint8_t> jbig2GenericClaim(uint32_t pageWidth, uint32_t pageHeight,
                                       uint32_t regionWidth, uint32_t regionHeight,
                                       uint32_t firstSegment) {
  const bool unknownHeight = pageHeight == 0xFFFFFFFFu;
  Bytes page = pageInfo(static_cast<int32_t>(pageWidth), static_cast<int32_t>(pageHeight));
  if (unknownHeight) page[page.size() - 2] = page[page.size() - 1] = 0xFF;  // striped, any size
  Bytes region = regionInfo(static_cast<int32_t>(regionWidth), static_cast<int32_t>(regionHeight));
  region.push_back(0x08);  // arithmetic, template 0, typical prediction
  for (const int8_t at : {3, -1, -3, -1, 2, -2, -2, -2}) region.push_back(static_cast<uint8_t>(at));
  for (int i = 0; i < 6; ++i) region.push_back(0x00);  // a few bytes of coded data
  Bytes out;
  segment(&out, firstSegment, 48, {}, 1, page);
  segment(&out, firstSegment + 1, 38, {}, 1, region);
  if (unknownHeight) {
    Bytes stripe;
    put32(&stripe, regionHeight - 1);
    segment(&out, firstSegment + 2, 50, {}, 1, stripe);
  }
  segment(&out, firstSegment + 3, 49, {}, 1, {});
  return out;
}

std::vector<uint8_t> jbig2SymbolDictionary(const std::vector<Bits> &symbols, uint32_t number) {
  Mq mq;
  IntCoder iadh, iadw, iaex;
  std::vector<uint8_t> gb(65536, 0);
  int32_t height = 0;
  for (const Bits &s : symbols) {
    iadh.code(mq, false, s.height - height);
    height = s.height;
    iadw.code(mq, false, s.width);
    for (int y = 0; y < s.height; ++y)
      for (int x = 0; x < s.width; ++x)
        mq.bit(&gb[jbtest::genericContext(s, kSymbolTemplate, x, y)], s.get(x, y));
    iadw.code(mq, true, 0);
  }
  iaex.code(mq, false, 0);
  iaex.code(mq, false, static_cast<int64_t>(symbols.size()));
  const Bytes coded = mq.finish();

  Bytes data;
  put16(&data, 0);  // arithmetic, no refinement, template 0
  for (int i = 0; i < 4; ++i) {
    data.push_back(static_cast<uint8_t>(kSymbolTemplate.atx[i]));
    data.push_back(static_cast<uint8_t>(kSymbolTemplate.aty[i]));
  }
  put32(&data, static_cast<uint32_t>(symbols.size()));
  put32(&data, static_cast<uint32_t>(symbols.size()));
  data.insert(data.end(), coded.begin(), coded.end());
  Bytes out;
  segment(&out, number, 0, {}, 0, data);
  return out;
}

std::vector<uint8_t> jbig2TextPage(int32_t width, int32_t height, uint32_t dictionary,
                                   uint32_t symbolCount, const std::vector<Placement> &placements,
                                   uint32_t firstSegment) {
  Mq mq;
  IntCoder iadt, iafs, iads;
  const int codeLength = ceilLog2(symbolCount);
  std::vector<uint8_t> iaid(size_t{2} << codeLength, 0);
  iadt.code(mq, false, 0);  // STRIPT starts at 0
  int64_t stripT = 0, firstS = 0;
  for (const Placement &p : placements) {
    iadt.code(mq, false, p.y - stripT);  // one strip per instance
    stripT = p.y;
    iafs.code(mq, false, p.x - firstS);
    firstS = p.x;
    uint32_t prev = 1;
    for (int i = codeLength - 1; i >= 0; --i) {
      const int d = static_cast<int>((p.symbol >> i) & 1);
      mq.bit(&iaid[prev], d);
      prev = prev << 1 | static_cast<uint32_t>(d);
    }
    iads.code(mq, true, 0);  // the strip ends
  }
  const Bytes coded = mq.finish();

  Bytes region = regionInfo(width, height);
  put16(&region, 0x0010);  // arithmetic, one strip, top-left corner, OR
  put32(&region, static_cast<uint32_t>(placements.size()));
  region.insert(region.end(), coded.begin(), coded.end());
  Bytes out;
  segment(&out, firstSegment, 48, {}, 1, pageInfo(width, height));
  segment(&out, firstSegment + 1, 6, {dictionary}, 1, region);
  segment(&out, firstSegment + 2, 49, {}, 1, {});
  return out;
}

std::vector<uint8_t> colourPayload(const std::vector<uint32_t> &colours) {
  Bytes out = {3, 1};
  put32(&out, static_cast<uint32_t>(colours.size()));
  for (size_t i = 0; i < colours.size();) {
    size_t run = 1;
    while (i + run < colours.size() && colours[i + run] == colours[i] && run < 65535) ++run;
    if (run <= 254) {
      out.push_back(static_cast<uint8_t>(run));
    } else {
      out.push_back(0);
      put16(&out, static_cast<uint32_t>(run));
    }
    out.push_back(static_cast<uint8_t>(colours[i] >> 16));
    out.push_back(static_cast<uint8_t>(colours[i] >> 8));
    out.push_back(static_cast<uint8_t>(colours[i]));
    i += run;
  }
  return out;
}

Bits drawPlacements(int32_t width, int32_t height, const std::vector<Bits> &symbols,
                    const std::vector<Placement> &placements) {
  Bits page(width, height);
  for (const Placement &p : placements) {
    const Bits &s = symbols.at(p.symbol);
    for (int y = 0; y < s.height; ++y)
      for (int x = 0; x < s.width; ++x)
        if (s.get(x, y) && p.x + x >= 0 && p.x + x < width && p.y + y >= 0 && p.y + y < height)
          page.set(p.x + x, p.y + y, 1);
  }
  return page;
}

}  // namespace ctl_test
