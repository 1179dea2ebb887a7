// Hostile and edge-case streams built segment by segment: each gives its status (and message)
// under the sanitizers, with no read past the data, no oversized allocation and no leak; and
// the driver's page, stripe, retention and extension rules.
#include <gtest/gtest.h>

#include <random>

#include "jbig2_reference_encoder.h"
#include "jbig2_test_support.h"

namespace {

struct Stream {
  std::vector<uint8_t> bytes;
  void u8(uint32_t v) { bytes.push_back(uint8_t(v)); }
  void u16(uint32_t v) { u8(v >> 8), u8(v); }
  void u32(uint32_t v) { u16(v >> 16), u16(v); }
  void raw(const std::vector<uint8_t> &b) { bytes.insert(bytes.end(), b.begin(), b.end()); }
  // A segment with short-form references (own retention flag 0 unless retain; the referred-to
  // segments' retention flags, bit i for reference i, in refRetain) on page 1 unless given.
  void segment(uint32_t number, uint8_t type, const std::vector<uint8_t> &data,
               std::vector<uint32_t> refs = {}, bool retain = false, uint32_t length = ~0u,
               uint8_t refRetain = 0, uint8_t page = 1) {
    u32(number);
    u8(type);
    u8(uint32_t(refs.size()) << 5 | uint32_t(refRetain & 15) << 1 | (retain ? 1 : 0));
    for (uint32_t r : refs) u8(r);
    u8(page);
    u32(length == ~0u ? uint32_t(data.size()) : length);
    raw(data);
  }
};

std::vector<uint8_t> pageInfo(uint32_t w, uint32_t h, uint8_t flags = 0, uint16_t striping = 0) {
  Stream s;
  s.u32(w), s.u32(h), s.u32(0), s.u32(0), s.u8(flags), s.u16(striping);
  return s.bytes;
}

std::vector<uint8_t> regionInfo(uint32_t w, uint32_t h, uint32_t x, uint32_t y, uint8_t op = 0) {
  Stream s;
  s.u32(w), s.u32(h), s.u32(x), s.u32(y), s.u8(op);
  return s.bytes;
}

// A generic region (template 0, nominal AT) of a bitmap.
std::vector<uint8_t> genericRegion(const jbtest::Bits &b, uint32_t x, uint32_t y, uint8_t op = 0) {
  Jbig2GenericTemplate t{};
  t.atx[0] = 3, t.aty[0] = -1, t.atx[1] = -3, t.aty[1] = -1, t.atx[2] = 2, t.aty[2] = -2,
  t.atx[3] = -2, t.aty[3] = -2;
  std::vector<uint8_t> d = regionInfo(uint32_t(b.width), uint32_t(b.height), x, y, op);
  d.push_back(0);
  for (int i = 0; i < 4; ++i) d.push_back(uint8_t(t.atx[i])), d.push_back(uint8_t(t.aty[i]));
  const std::vector<uint8_t> coded = jbtest::encodeGeneric(b, t);
  d.insert(d.end(), coded.begin(), coded.end());
  return d;
}

// A refinement region (template 1, no TPGRON) of a bitmap against the region it refers to.
std::vector<uint8_t> refinementRegion(const jbtest::Bits &b, const jbtest::Bits &reference,
                                      uint32_t x, uint32_t y) {
  Jbig2RefineTemplate t{};
  t.tmpl = 1;
  std::vector<uint8_t> d = regionInfo(uint32_t(b.width), uint32_t(b.height), x, y);
  d.push_back(0x01);
  const std::vector<uint8_t> coded = jbtest::encodeRefinement(b, reference, 0, 0, t);
  d.insert(d.end(), coded.begin(), coded.end());
  return d;
}

struct HostileFixture : jbtest::DecoderFixture {
  int32_t run(const Stream &s, QtzImage **page = nullptr) {
    messages.clear();
    QtzImage *p = nullptr;
    const int32_t status = decode(s.bytes, &p);
    if (page != nullptr)
      *page = p;
    else
      QtzImage_free(p);
    return status;
  }
};

TEST_F(HostileFixture, SegmentHeaderFaults) {
  {
    // A long-form count claiming 2^29 - 1 referred-to segments in a short stream.
    Stream s;
    s.u32(5), s.u8(0), s.u32(0xFFFFFFFFu), s.u32(0);
    const size_t before = norvtest::heap.sizes.size();
    EXPECT_EQ(run(s), 2003);
    for (size_t i = before; i < norvtest::heap.sizes.size(); ++i)
      EXPECT_LT(norvtest::heap.sizes[i], size_t{1} << 20);  // pool chunks, not the count
  }
  {
    Stream s;  // a referred-to number equal to the segment's own
    s.segment(3, 53, {}, {3});
    EXPECT_EQ(run(s), 107);
    EXPECT_NE(messages.find("bad referenced segment number"), std::string::npos);
  }
  {
    Stream s;  // cut inside the data length
    s.u32(0), s.u8(48), s.u8(0), s.u8(1), s.u16(0);
    EXPECT_EQ(run(s), 2003);
  }
  {
    Stream s;  // a data length beyond the bytes present
    s.segment(0, 48, pageInfo(10, 10), {}, false, 1000);
    EXPECT_EQ(run(s), 2003);
  }
  {
    Stream s;  // a data length shorter than the fixed part of the type
    s.segment(0, 48, {0, 0, 0, 10}, {}, false, 4);
    EXPECT_EQ(run(s), 107);
  }
}

TEST_F(HostileFixture, RegionPositionsAndPageSizes) {
  const jbtest::Bits b(8, 4);
  struct Case {
    std::vector<uint8_t> page;
    uint32_t x, y;
    int32_t status;
    const char *message;
  };
  const Case cases[] = {
      {pageInfo(64, 64), 0x80000000u, 0, 107, "region size or position out of range"},
      {pageInfo(64, 64), 0xFFFFFFF8u, 0, 107, "region size or position out of range"},
      {pageInfo(64, 64), 57, 0, 107, "region extends off page"},
      {pageInfo(64, 64), 56, 60, 0, ""},
      {pageInfo(64, 0xFFFFFFFFu), 0, 0, 107, "page size"},
      {pageInfo(1u << 25, 1), 0, 0, 107, "page size"},
      {pageInfo(0, 5), 0, 0, 107, "page size"},
  };
  for (const Case &c : cases) {
    Stream s;
    s.segment(0, 48, c.page);
    s.segment(1, 38, genericRegion(b, c.x, c.y));
    s.segment(2, 49, {});
    EXPECT_EQ(run(s), c.status) << c.x << "," << c.y;
    EXPECT_NE(messages.find(c.message), std::string::npos) << messages;
  }
}

TEST_F(HostileFixture, SecondPageInformationReplacesThePage) {
  jbtest::Bits b(16, 3);
  b.set(1, 1, 1);
  Stream s;
  s.segment(0, 48, pageInfo(20, 10));
  s.segment(1, 38, genericRegion(b, 0, 0));
  s.segment(2, 48, pageInfo(30, 5));
  s.segment(3, 49, {});
  QtzImage *page = nullptr;
  EXPECT_EQ(run(s, &page), 0);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->hdr.width, 30);
  EXPECT_EQ(jbtest::pixelOf(page, 1, 1), 0);  // the old page and its region are gone
  QtzImage_free(page);
}

TEST_F(HostileFixture, StripesOfAPageOfUnknownHeight) {
  jbtest::Bits top(16, 8), bottom(16, 8);
  top.set(3, 2, 1), bottom.set(5, 7, 1);
  Stream s;
  s.segment(0, 48, pageInfo(16, 0xFFFFFFFFu, 0, 0x8000 | 7));
  s.segment(1, 38, genericRegion(top, 0, 0));
  Stream eos;
  eos.u32(7);
  s.segment(2, 50, eos.bytes);
  s.segment(3, 38, genericRegion(bottom, 0, 8));
  eos.bytes.clear(), eos.u32(15);
  s.segment(4, 50, eos.bytes);
  s.segment(5, 49, {});
  QtzImage *page = nullptr;
  ASSERT_EQ(run(s, &page), 0) << messages;
  EXPECT_EQ(page->hdr.height, 16);
  EXPECT_EQ(jbtest::pixelOf(page, 3, 2), 1);
  EXPECT_EQ(jbtest::pixelOf(page, 5, 15), 1);
  QtzImage_free(page);
  // A stripe of maximum stripe size + 2 rows is refused.
  Stream t;
  t.segment(0, 48, pageInfo(16, 100, 0, 0x8000 | 6));
  eos.bytes.clear(), eos.u32(7);
  t.segment(1, 50, eos.bytes);
  EXPECT_EQ(run(t), 15);
  EXPECT_NE(messages.find("stripe size is too large"), std::string::npos);
}

TEST_F(HostileFixture, Extensions) {
  struct Case {
    std::vector<uint8_t> data;
    int32_t status;
  };
  const Case cases[] = {
      // A comment with one pair and the closing empty name.
      {{0x20, 0, 0, 0, 'a', 0, 'b', 0, 0}, 0},
      // A comment whose string runs to the end of the segment: bounded by the segment.
      {{0x20, 0, 0, 0, 'a', 'b', 'c'}, 2003},
      // Unknown, necessary: refused; unknown, not necessary: passed over.
      {{0x80, 0, 0, 9, 1, 2}, 107},
      {{0x20, 0, 0, 2, 1, 2, 3}, 0},
      // This system's private extension, kept raw.
      {{0x00, 'K', 'V', 'J', 1, 2, 3}, 0},
  };
  for (const Case &c : cases) {
    Stream s;
    s.segment(0, 62, c.data);
    // A following segment whose bytes contain NULs must not be read into the comment.
    s.segment(1, 51, {});
    EXPECT_EQ(run(s), c.status) << messages;
  }
}

TEST_F(HostileFixture, CodeTableSegments) {
  struct Case {
    std::vector<uint8_t> data;
    const char *message;
  };
  // flags: HTOOB bit 0, HTPS - 1 bits 1-3, HTRS - 1 bits 4-6; HTLOW; HTHIGH; lines.
  const Case cases[] = {
      // prefix length 255 (HTPS 8)
      {{0x0E, 0, 0, 0, 0, 0, 0, 0, 1, 0xFF, 0x00, 0, 0}, "bad code table line"},
      // range length 40 (HTRS 8)
      {{0x72, 0, 0, 0, 0, 0, 0, 0, 10, 0x10, 40, 0, 0}, "bad code table line"},
      // HTLOW above HTHIGH
      {{0x00, 0, 0, 0, 5, 0, 0, 0, 1, 0, 0}, "HTLOW above HTHIGH"},
      // HTLOW the least 32-bit value: HTLOW - 1 does not exist
      {{0x00, 0x80, 0, 0, 0, 0x80, 0, 0, 0, 0, 0}, "HTLOW out of range"},
      // every prefix length 0: no codes (HTPS 1, HTRS 1: low 0 high 2, two lines)
      {{0x00, 0, 0, 0, 0, 0, 0, 0, 2, 0x00, 0x00}, "without codes"},
  };
  for (const Case &c : cases) {
    Stream s;
    s.segment(0, 53, c.data);
    EXPECT_EQ(run(s), 107) << c.message;
    EXPECT_NE(messages.find(c.message), std::string::npos) << messages;
  }
}

TEST_F(HostileFixture, ArithmeticDataIsBoundToItsSegment) {
  // A symbol dictionary whose arithmetic data has no marker, followed by a segment whose data
  // holds 0xFF 0xAC: the decoder must not find the marker in the next segment.
  Stream dict;
  dict.u16(0x0000);  // arithmetic, template 0
  for (int8_t v : {3, -1, -3, -1, 2, -2, -2, -2}) dict.u8(uint8_t(v));
  dict.u32(0), dict.u32(0);  // nothing exported, no new symbols
  dict.raw({0x12, 0x34});
  Stream s;
  s.segment(0, 0, dict.bytes);
  s.segment(1, 62, {0x20, 0, 0, 0, 0xFF, 0xAC, 0, 0});
  EXPECT_EQ(run(s), 107);
  EXPECT_NE(messages.find("does not end with a marker"), std::string::npos) << messages;
}

TEST_F(HostileFixture, KeepAllKeepsEverySegmentUntilFreed) {
  jbtest::Bits b(16, 3);
  Stream s;
  s.segment(0, 48, pageInfo(20, 10));
  s.segment(1, 38, genericRegion(b, 0, 0));
  s.segment(2, 49, {});
  Jbig2Decoder *d = nullptr;
  ASSERT_EQ(QtzJbig2_newDecoder(&d, 0, nullptr, nullptr, 1, 6500, 1, 0, nullptr, nullptr, state),
            0);
  ASSERT_EQ(QtzJbig2_decodePage(d, s.bytes.data(), s.bytes.size(), nullptr), 0);
  EXPECT_EQ(d->active->count, 3);
  EXPECT_EQ(d->page, nullptr);  // no composition
  QtzJbig2_freeDecoder(&d);
}

TEST_F(HostileFixture, GlobalsAreDecodedOnceAndShared) {
  Stream globals;
  Stream dict;
  dict.u16(0x0000);
  for (int8_t v : {3, -1, -3, -1, 2, -2, -2, -2}) dict.u8(uint8_t(v));
  dict.u32(0), dict.u32(0);
  dict.raw({0xFF, 0xAC});
  globals.segment(0, 0, dict.bytes, {}, true);
  Jbig2Decoder *g = nullptr, *p = nullptr;
  ASSERT_EQ(QtzJbig2_newDecoder(&g, 0, nullptr, nullptr, 1, 6500, 1, 0, nullptr, nullptr, state),
            0);
  ASSERT_EQ(QtzJbig2_decodeGlobals(g, globals.bytes.data(), globals.bytes.size()), 0);
  ASSERT_EQ(QtzJbig2_decodeGlobals(g, globals.bytes.data(), globals.bytes.size()), 0);
  EXPECT_EQ(g->active->count, 1);
  ASSERT_EQ(QtzJbig2_newDecoder(&p, 0, nullptr, nullptr, 1, 6500, 0, 1, nullptr, nullptr, state),
            0);
  ASSERT_EQ(QtzJbig2_attachGlobals(p, g), 0);
  EXPECT_EQ(static_cast<Jbig2Segment *>(g->active->head->data)->references, 2);
  QtzJbig2_freeDecoder(&p);
  EXPECT_EQ(static_cast<Jbig2Segment *>(g->active->head->data)->references, 1);
  QtzJbig2_freeDecoder(&g);
}

TEST_F(HostileFixture, PixelLimitBoundsTheWork) {
  // A 2^24 x 64 region from a few bytes of data: refused once the limit is spent.
  Stream s;
  s.segment(0, 48, pageInfo(1u << 24, 64));
  std::vector<uint8_t> d = regionInfo(1u << 24, 64, 0, 0);
  d.push_back(0);
  for (int8_t v : {3, -1, -3, -1, 2, -2, -2, -2}) d.push_back(uint8_t(v));
  d.push_back(0xFF), d.push_back(0xAC);
  s.segment(1, 38, d);
  Jbig2Decoder *dec = nullptr;
  ASSERT_EQ(QtzJbig2_newDecoder(&dec, 0, nullptr, nullptr, 1, 6500, 0, 1, nullptr, nullptr, state),
            0);
  dec->pixelLimit = 1 << 20;
  messages.clear();
  EXPECT_EQ(QtzJbig2_decodePage(dec, s.bytes.data(), s.bytes.size(), nullptr), 107);
  EXPECT_NE(messages.find("decoding work limit reached"), std::string::npos);
  QtzJbig2_freeDecoder(&dec);
}

// Regions and pages larger than their bytes can describe, or more work than the input pays
// for, are refused with 107 before anything of their size is allocated.
TEST_F(HostileFixture, WorkIsBoundByTheInput) {
  // Generic region data: region information, flags, nominal AT pixels (arithmetic), coded bytes.
  auto generic = [](uint32_t w, uint32_t h, uint8_t flags, size_t bytes) {
    std::vector<uint8_t> d = regionInfo(w, h, 0, 0);
    d.push_back(flags);
    if ((flags & 1) == 0)
      for (int8_t v : {3, -1, -3, -1, 2, -2, -2, -2}) d.push_back(uint8_t(v));
    d.insert(d.end(), bytes, 0x00);
    return d;
  };
  std::vector<uint8_t> refine = regionInfo(4096, 4096, 0, 0);
  refine.push_back(0x01);
  refine.insert(refine.end(), 10, 0x00);
  std::vector<uint8_t> unknownLength = generic(4096, 0xFFFFFFFFu, 0x00, 10);
  for (uint8_t b : {0xFF, 0xAC, 0x00, 0x00, 0x10, 0x00}) unknownLength.push_back(b);
  Stream eos;
  eos.u32(0x7FFF);
  struct Case {
    const char *name;
    std::vector<uint8_t> page;
    uint8_t type;
    std::vector<uint8_t> region;
    const char *message;
  };
  const Case cases[] = {
      {"arithmetic", pageInfo(4096, 4096), 38, generic(4096, 4096, 0x00, 10), "too large for its"},
      {"MMR", pageInfo(4096, 4096), 38, generic(4096, 4096, 0x01, 10), "too large for its"},
      {"unknown length", pageInfo(4096, 4096), 38, unknownLength, "too large for its"},
      {"refinement", pageInfo(4096, 4096, 0x02), 42, refine, "too large for its"},
      {"page", pageInfo(1u << 16, 1u << 15), 50, eos.bytes, "decoding work limit reached"},
      {"stripe of unknown height", pageInfo(1u << 16, 0xFFFFFFFFu, 0, 0x8000 | 0x7FFF), 38,
       generic(1u << 16, 0x8000, 0x08, 40), "decoding work limit reached"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Stream s;
    s.segment(0, 48, c.page);
    const size_t header = s.bytes.size();
    s.segment(1, c.type, c.region);
    if (c.region == unknownLength)  // data length 0xFFFFFFFF
      std::fill_n(s.bytes.begin() + header + 7, 4, 0xFF);
    s.segment(2, 49, {});
    const size_t before = norvtest::heap.sizes.size();
    EXPECT_EQ(run(s), 107);
    EXPECT_NE(messages.find(c.message), std::string::npos) << messages;
    for (size_t i = before; i < norvtest::heap.sizes.size(); ++i)
      EXPECT_LT(norvtest::heap.sizes[i], size_t{4} << 20);
  }
}

// An arithmetic symbol dictionary without symbols: flags, AT pixels, counts, marker.
std::vector<uint8_t> emptyDict(uint16_t flags, uint32_t exported = 0) {
  Stream d;
  d.u16(flags);
  const int pairs = ((flags >> 10) & 3) == 0 ? 4 : 1;
  const int8_t at[8] = {3, -1, -3, -1, 2, -2, -2, -2};
  for (int i = 0; i < 2 * pairs; ++i) d.u8(uint8_t(pairs == 1 && i == 0 ? 2 : at[i]));
  d.u32(exported), d.u32(0);
  d.raw({0xFF, 0xAC});
  return d.bytes;
}

TEST_F(HostileFixture, CountsAndSizesBeyondTheData) {
  {
    Stream s;  // a dictionary exporting symbols that do not exist
    s.segment(0, 0, emptyDict(0x0000, 5));
    EXPECT_EQ(run(s), 107);
    EXPECT_NE(messages.find("symbol counts out of range"), std::string::npos) << messages;
  }
  {
    Stream s;  // a text region claiming 2^32 - 1 instances
    s.segment(0, 0, emptyDict(0x0000), {}, true);
    Stream t;
    t.raw(regionInfo(10, 10, 0, 0));
    t.u16(0x0000);
    t.u32(0xFFFFFFFFu);
    t.raw({0xFF, 0xAC});
    s.segment(1, 4, t.bytes, {0});
    EXPECT_EQ(run(s), 107);
    EXPECT_NE(messages.find("instance count"), std::string::npos) << messages;
  }
  {
    Stream s;  // refining the page where the region reaches outside it
    s.segment(0, 48, pageInfo(16, 16, 0x42));  // refinements, operator override
    std::vector<uint8_t> r = regionInfo(8, 8, 12, 0, kOpReplace);
    r.push_back(0x01);  // template 1, no RAT pixels
    r.push_back(0xFF), r.push_back(0xAC);
    s.segment(1, 42, r);
    EXPECT_EQ(run(s), 107);
    EXPECT_NE(messages.find("region extends off page"), std::string::npos) << messages;
  }
  {
    Stream s;  // an arithmetic pattern dictionary of patterns 129 pixels wide
    s.segment(0, 16, {0x00, 129, 1, 0, 0, 0, 0, 0xFF, 0xAC});
    EXPECT_EQ(run(s), 107);
    EXPECT_NE(messages.find("pattern width above 128"), std::string::npos) << messages;
  }
}

TEST_F(HostileFixture, InheritedContextsMustMatchTheirCoding) {
  // Dictionary 0 retains its template-0 contexts; dictionary 1 uses them with template 1.
  Stream s;
  s.segment(0, 0, emptyDict(0x0200), {}, true);
  s.segment(1, 0, emptyDict(0x0100 | (1 << 10)), {0});
  EXPECT_EQ(run(s), 107);
  EXPECT_NE(messages.find("inherited contexts were coded differently"), std::string::npos)
      << messages;
  // With the same template they are taken over.
  Stream ok;
  ok.segment(0, 0, emptyDict(0x0200), {}, true);
  ok.segment(1, 0, emptyDict(0x0100), {0});
  EXPECT_EQ(run(ok), 0) << messages;
  // Without retention they cannot be used.
  Stream none;
  none.segment(0, 0, emptyDict(0x0000), {}, true);
  none.segment(1, 0, emptyDict(0x0100), {0});
  EXPECT_EQ(run(none), 107);
  EXPECT_NE(messages.find("non-retained contexts"), std::string::npos) << messages;
}

}  // namespace

namespace {

struct RetentionFixture : jbtest::DecoderFixture {};

// An intermediate region refined twice: whatever the retention flags and the page flags say,
// both refinements find it and the page is the same; page flags that deny what the page holds
// give one warning with the count.
TEST_F(RetentionFixture, ReferredSegmentsStayUntilTheEndOfThePage) {
  std::mt19937 rng(7);
  const jbtest::Bits base = jbtest::randomBits(rng, 24, 12);
  jbtest::Bits first = base, second = base;
  first.set(3, 3, !base.get(3, 3)), second.set(20, 9, !base.get(20, 9));
  struct Case {
    bool retainRegion;  // the intermediate region's own retention flag
    uint8_t firstRefs;  // the first refinement's retention flag for it
    uint8_t pageFlags;  // 0x02 refinements, 0x20 auxiliary buffers
    int denied;         // regions the page flags deny
  };
  const Case cases[] = {
      {true, 1, 0x22, 0},   // flags as T.88 has them
      {false, 1, 0x22, 0},  // not retained, yet referred to
      {true, 0, 0x22, 0},   // released by the first refinement, referred to by the second
      {false, 0, 0x22, 0},  //
      {true, 1, 0x02, 1},   // an intermediate region the page denies
      {true, 1, 0x20, 2},   // refinements the page denies
      {false, 0, 0x00, 3},  // both
  };
  QtzImage *expected = nullptr;
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.retainRegion << " " << int(c.firstRefs) << " " << int(c.pageFlags));
    Stream s;
    s.segment(0, 48, pageInfo(64, 32, c.pageFlags));
    s.segment(1, 36, genericRegion(base, 4, 4), {}, c.retainRegion);
    s.segment(2, 42, refinementRegion(first, base, 4, 4), {1}, false, ~0u, c.firstRefs);
    s.segment(3, 42, refinementRegion(second, base, 4, 4), {1});
    s.segment(4, 49, {});
    messages.clear();
    QtzImage *page = nullptr;
    ASSERT_EQ(decode(s.bytes, &page), 0) << messages;
    for (int y = 0; y < base.height; ++y)
      for (int x = 0; x < base.width; ++x) {
        ASSERT_EQ(jbtest::pixelOf(page, 4 + x, 4 + y), first.get(x, y) | second.get(x, y));
      }
    const std::string warning =
        std::to_string(c.denied) + " intermediate or refinement regions decoded on a page";
    EXPECT_EQ(messages.find(warning) != std::string::npos, c.denied != 0) << messages;
    EXPECT_EQ(messages.find("Error"), std::string::npos) << messages;
    if (expected == nullptr)
      expected = page;
    else
      QtzImage_free(page);
  }
  QtzImage_free(expected);
}

// The end of a page releases that page's segments; global segments (page 0) stay for the next
// page of the same decoder, which may refer to them whatever their retention flags say.
TEST_F(RetentionFixture, PageSegmentsGoAtTheEndOfTheirPageGlobalsStay) {
  const std::vector<uint8_t> dict = emptyDict(0x0000);
  Jbig2Decoder *d = nullptr;
  ASSERT_EQ(QtzJbig2_newDecoder(&d, 0, nullptr, nullptr, 1, 6500, 0, 1, nullptr, nullptr, state),
            0);
  for (uint32_t page : {1u, 2u}) {
    SCOPED_TRACE(page);
    const uint32_t n = 10 * page;
    Stream s;
    if (page == 1) s.segment(1, 0, dict, {}, false, ~0u, 0, 0);
    s.segment(n, 0, dict, {1}, false, ~0u, 0, uint8_t(page));
    s.segment(n + 1, 48, pageInfo(8, 8), {}, false, ~0u, 0, uint8_t(page));
    EXPECT_EQ(QtzJbig2_decodePage(d, s.bytes.data(), s.bytes.size(), nullptr), 0) << messages;
    EXPECT_EQ(d->active->count, 3);
    Stream end;
    end.segment(n + 2, 49, {}, {}, false, ~0u, 0, uint8_t(page));
    EXPECT_EQ(QtzJbig2_decodePage(d, end.bytes.data(), end.bytes.size(), nullptr), 0);
    EXPECT_EQ(d->active->count, 1);
    if (d->active->count != 1) break;
    EXPECT_EQ(static_cast<Jbig2Segment *>(d->active->head->data)->number, 1u);
  }
  QtzJbig2_freeDecoder(&d);
}

// Corrupt references and types are data errors (107 with a text of their own).
TEST_F(RetentionFixture, CorruptReferencesAndTypesAreDataErrors) {
  struct Case {
    uint32_t number;
    uint8_t type;
    std::vector<uint32_t> refs;
    const char *message;
  };
  const Case cases[] = {
      {5, 0, {2}, "referred-to segment 2 not found"},
      {5, 33, {}, "bad segment type"},
  };
  for (const Case &c : cases) {
    Stream s;
    s.segment(0, 48, pageInfo(8, 8));
    s.segment(c.number, c.type, emptyDict(0x0000), c.refs);
    messages.clear();
    QtzImage *page = nullptr;
    EXPECT_EQ(decode(s.bytes, &page), 107) << c.message;
    EXPECT_NE(messages.find(c.message), std::string::npos) << messages;
    QtzImage_free(page);
  }
}

}  // namespace
