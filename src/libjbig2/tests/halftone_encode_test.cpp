// Pattern dictionaries and halftone regions: a halftoned photograph (clustered-dot patterns
// chosen per pixel of a grey image) encoded with every coding, template and grid placement,
// decoded by our decoder and by jbig2dec and compared pixel by pixel with a plain model of the
// halftone rendering; the Gray-coded planes and the collective bitmap read back with the MMR
// decoder; the fixed fields; refusals of records that do not fit their fields; failure at every
// allocation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "encode_support.h"
#include "jbig2_generic.h"
#include "jbig2_halftone_encode.h"
#include "jbig2_reference_encoder.h"
#include "jbig2_test_support.h"

namespace {

using jbtest::Bits;

// Patterns of a clustered-dot screen: pattern k of count blackens the k (cell pixels) /
// (count - 1) pixels nearest the cell's centre.
std::vector<Bits> clusteredDots(int width, int height, int count) {
  std::vector<int> order(static_cast<size_t>(width) * height);
  std::iota(order.begin(), order.end(), 0);
  auto distance = [&](int i) {
    const double dx = i % width + 0.5 - width / 2.0, dy = i / width + 0.5 - height / 2.0;
    return dx * dx + dy * dy;
  };
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return distance(a) < distance(b); });
  std::vector<Bits> patterns;
  for (int k = 0; k < count; ++k) {
    Bits p(width, height);
    const size_t black = count == 1 ? 0 : order.size() * k / (count - 1);
    for (size_t i = 0; i < black; ++i) p.set(order[i] % width, order[i] / width, 1);
    patterns.push_back(p);
  }
  return patterns;
}

// A grid of pattern indices from a grey image: darker pixels take denser patterns.
std::vector<uint16_t> gridOf(const norvtest::Pnm &grey, int count) {
  std::vector<uint16_t> grid;
  for (int y = 0; y < grey.height; ++y)
    for (int x = 0; x < grey.width; ++x)
      grid.push_back(static_cast<uint16_t>(((255 - grey.row(y)[x]) * (count - 1) + 127) / 255));
  return grid;
}

// One halftone region as the tests build it.
struct Screen {
  std::vector<Bits> patterns;
  std::vector<Jbig2Pattern> views;  // the patterns as the encoder takes them
  std::vector<uint16_t> grid;
  uint32_t gridWidth = 0, gridHeight = 0;
  int32_t hgx = 0, hgy = 0, hrx = 0, hry = 0;
  uint8_t combop = 0, defpixel = 0;
  Jbig2RegionInfo region{};

  Screen(std::vector<Bits> p, std::vector<uint16_t> g, uint32_t gw, uint32_t gh)
      : patterns(std::move(p)), grid(std::move(g)), gridWidth(gw), gridHeight(gh) {
    for (Bits &b : patterns) views.push_back({b.words.data(), b.wpr});
  }
  int patternWidth() const { return patterns[0].width; }
  int patternHeight() const { return patterns[0].height; }
};

// Pixel a combined into pixel d with a region combination operator.
int combine(uint8_t op, int a, int d) {
  const int v[5] = {a | d, a & d, a ^ d, 1 - (a ^ d), a};
  return v[op];
}

// The region as T.88 6.6.5 draws it, pixel by pixel.
Bits renderRegion(const Screen &s) {
  Bits r(s.region.width, s.region.height);
  for (int y = 0; y < r.height; ++y)
    for (int x = 0; x < r.width; ++x) r.set(x, y, s.defpixel);
  for (int64_t mg = 0; mg < s.gridHeight; ++mg)
    for (int64_t ng = 0; ng < s.gridWidth; ++ng) {
      const Bits &p = s.patterns[s.grid[mg * s.gridWidth + ng]];
      const int64_t x0 = (s.hgx + mg * s.hry + ng * s.hrx) >> 8;
      const int64_t y0 = (s.hgy + mg * s.hrx - ng * s.hry) >> 8;
      for (int j = 0; j < p.height; ++j)
        for (int i = 0; i < p.width; ++i) {
          const int64_t x = x0 + i, y = y0 + j;
          if (x < 0 || y < 0 || x >= r.width || y >= r.height) continue;
          r.set(int(x), int(y), combine(s.combop, p.get(i, j), r.get(x, y)));
        }
    }
  return r;
}

// The page: the region combined at its place into a white page of the given size.
Bits renderPage(const Screen &s, int width, int height) {
  const Bits region = renderRegion(s);
  Bits page(width, height);
  for (int y = 0; y < region.height; ++y)
    for (int x = 0; x < region.width; ++x)
      page.set(x + s.region.x, y + s.region.y, combine(s.region.op, region.get(x, y), 0));
  return page;
}

struct Coding {
  bool dictArith;
  int32_t dictTemplate;
  bool regionArith;
  int32_t regionTemplate;
};

void setCoding(Jb2File *stream, const Coding &c) {
  Jb2Options *o = jb2GetOptions(stream);
  o->bytes[18] = c.dictArith;
  o->bytes[13] = c.regionArith;
  std::memcpy(o->bytes + 20, &c.dictTemplate, 4);
  std::memcpy(o->bytes + 28, &c.regionTemplate, 4);
}

Jbig2PatternDictRecord dictRecord(const Screen &s) {
  Jbig2PatternDictRecord d{};
  d.header.page = 1;
  d.count = static_cast<int32_t>(s.patterns.size());
  d.width = static_cast<uint16_t>(s.patternWidth());
  d.height = static_cast<uint16_t>(s.patternHeight());
  d.patterns = s.views.data();
  return d;
}

Jbig2HalftoneRecord regionRecord(const Screen &s, uint8_t type) {
  Jbig2HalftoneRecord r{};
  r.header.type = type;
  r.header.page = 1;
  r.region = s.region;
  r.grid = s.grid.data();
  r.gridWidth = s.gridWidth;
  r.gridHeight = s.gridHeight;
  r.hgx = s.hgx, r.hgy = s.hgy, r.hrx = s.hrx, r.hry = s.hry;
  r.combop = s.combop;
  r.defpixel = s.defpixel;
  return r;
}

// Dictionary and region segments; the region refers to the dictionary.
int32_t writeHalftone(Jb2File *stream, const Screen &s, uint8_t type) {
  Jbig2PatternDictRecord dict = dictRecord(s);
  int32_t status = encodePatternDict(stream, &dict);
  if (status != 0) return status;
  Jbig2HalftoneRecord region = regionRecord(s, type);
  const Jbig2SegHeader *refs[] = {&dict.header};
  status = segAddReferences(stream, &region.header, refs, 1);
  if (status == 0) status = encodeHalftoneRegion(stream, &region, &dict);
  freeSegReferences(stream, &region.header);
  return status;
}

class HalftoneEncodeTest : public jbtest::SinkStreamTest {
 protected:
  // A whole page (page information, dictionary, region, end of page and file) of the screen.
  std::vector<uint8_t> encodePage(const Screen &s, const Coding &c, uint8_t type, int width,
                                  int height) {
    return writtenBy([&](Jb2File *stream) {
      setCoding(stream, c);
      Jbig2PageRecord page{};
      page.header.page = 1;
      page.info.width = static_cast<uint32_t>(width);
      page.info.height = static_cast<uint32_t>(height);
      page.info.opOverride = s.region.op != kOpOr;
      ASSERT_EQ(writePageInfo(stream, &page), 0);
      ASSERT_EQ(writeHalftone(stream, s, type), 0);
      Jbig2SegHeader end{};
      end.page = 1;
      ASSERT_EQ(writeEndOfPage(stream, &end), 0);
      Jbig2SegHeader eof{};
      ASSERT_EQ(writeEndOfFile(stream, &eof), 0);
    });
  }

  // The data part of segment index of a stream.
  std::vector<uint8_t> segmentData(const std::vector<uint8_t> &bytes, size_t index) {
    size_t at = 0;
    const std::vector<jbtest::ParsedHeader> headers = parseAll(bytes);
    for (size_t i = 0; i < headers.size(); ++i) {
      at += headers[i].headerBytes;
      if (i == index)
        return std::vector<uint8_t>(bytes.begin() + at, bytes.begin() + at + headers[i].dataLength);
      at += headers[i].dataLength;
    }
    ADD_FAILURE() << "no segment " << index;
    return {};
  }

  // Round trip of the page through our decoder and jbig2dec against the model.
  void expectRoundTrip(const Screen &s, const Coding &c, uint8_t type, int width, int height) {
    const std::vector<uint8_t> bytes = encodePage(s, c, type, width, height);
    ASSERT_FALSE(HasFatalFailure());
    const Bits model = renderPage(s, width, height);
    QtzImage *page = nullptr;
    ASSERT_EQ(jbtest::decodeStream(state_, bytes, &page), 0);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->hdr.width, width);
    EXPECT_EQ(page->hdr.height, height);
    long ours = 0;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) ours += jbtest::pixelOf(page, x, y) != model.get(x, y);
    QtzImage_free(page);
    EXPECT_EQ(ours, 0) << "pixels our decoder draws otherwise";
    // jbig2dec fills a region of HDEFPIXEL 1 with the byte 1 (one black pixel in eight), so its
    // page is compared only for HDEFPIXEL 0.
    if (s.defpixel != 0 || !norvtest::toolAvailable("jbig2dec")) return;
    const jbtest::OutsideDecode d = jbtest::decodeWithJbig2dec(bytes, true);
    // With one pattern jbig2dec still decodes a plane (arithmetically: from the empty code
    // stream), warns that the index it finds is out of range and draws the one pattern.
    if (s.patterns.size() > 1) {
      EXPECT_EQ(d.run.text().find("WARNING"), std::string::npos) << d.run.text();
    }
    ASSERT_EQ(d.page.kind, '4') << d.run.text();
    ASSERT_EQ(d.page.width, width);
    ASSERT_EQ(d.page.height, height);
    long outside = 0;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        outside += ((d.page.row(y)[x / 8] >> (7 - x % 8)) & 1) != model.get(x, y);
    EXPECT_EQ(outside, 0) << "pixels jbig2dec draws otherwise";
  }
};

norvtest::Pnm photo() {
  const norvtest::Pnm grey = norvtest::readPnm(jbtest::dataPath("retina96.pgm"));
  EXPECT_EQ(grey.kind, '5');
  return grey;
}

TEST_F(HalftoneEncodeTest, HalftonedPhotographRoundTripsInEveryCoding) {
  const norvtest::Pnm grey = photo();
  ASSERT_TRUE(grey.valid());
  struct Case {
    const char *name;
    int cellWidth, cellHeight, levels;
    Coding coding;
    uint8_t type;
    int32_t hgx, hgy, hrx, hry;  // placement in pixels x 256, relative to the cell size
    uint8_t combop, defpixel;
  };
  const Case cases[] = {
      {"MMR dictionary, MMR planes", 4, 4, 17, {false, 0, false, 0}, 22, 0, 0, 0, 0, 0, 0},
      {"template 0 dictionary, template 0 planes",
       4,
       4,
       17,
       {true, 0, true, 0},
       22,
       0,
       0,
       0,
       0,
       0,
       0},
      {"template 1 dictionary, template 2 planes",
       6,
       5,
       31,
       {true, 1, true, 2},
       23,
       0,
       0,
       0,
       0,
       0,
       0},
      {"template 2 dictionary, template 1 planes",
       3,
       3,
       10,
       {true, 2, true, 1},
       22,
       0,
       0,
       0,
       0,
       2,
       1},
      {"template 3 dictionary, template 3 planes",
       5,
       7,
       8,
       {true, 3, true, 3},
       22,
       0,
       0,
       0,
       0,
       1,
       1},
      {"template 3 dictionary, template 0 planes",
       5,
       7,
       8,
       {true, 3, true, 0},
       22,
       0,
       0,
       0,
       0,
       2,
       0},
      {"MMR dictionary, template 0 planes, turned grid",
       4,
       4,
       17,
       {false, 0, true, 0},
       22,
       -600,
       30 * 256,
       -40,
       60,
       3,
       0},
      {"template 0 dictionary, MMR planes, grid off the left edge",
       8,
       2,
       17,
       {true, 0, false, 0},
       23,
       -5 * 256 - 100,
       128,
       3,
       0,
       4,
       0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Screen s(clusteredDots(c.cellWidth, c.cellHeight, c.levels), gridOf(grey, c.levels),
             static_cast<uint32_t>(grey.width), static_cast<uint32_t>(grey.height));
    s.hgx = c.hgx, s.hgy = c.hgy;
    s.hrx = c.cellWidth * 256 + c.hrx;
    s.hry = c.hry;
    s.combop = c.combop, s.defpixel = c.defpixel;
    s.region = {grey.width * c.cellWidth + 7, grey.height * c.cellHeight + 40, 5, 3, 0};
    expectRoundTrip(s, c.coding, c.type, s.region.width + 9, s.region.height + 4);
  }
}

// Patterns wider than 128 cannot be coded arithmetically (the AT pixel -HDPW would wrap as a
// signed byte); the dictionary is coded with MMR instead and still round trips.
TEST_F(HalftoneEncodeTest, WidePatternsAreCodedWithMmrEvenWhenArithmeticIsAsked) {
  for (const int width : {128, 129, 255}) {
    SCOPED_TRACE(width);
    std::vector<Bits> patterns = clusteredDots(width, 3, 4);
    patterns[2].set(width - 1, 0, 1);  // a pixel at the far edge of a cell
    Screen s(std::move(patterns), {3, 2, 0, 1, 1, 2}, 3, 2);
    s.hrx = width * 256;
    s.region = {3 * width, 6, 0, 0, 0};
    const Coding c{true, 0, true, 0};
    const std::vector<uint8_t> bytes = encodePage(s, c, 22, s.region.width, s.region.height);
    ASSERT_FALSE(HasFatalFailure());
    const std::vector<uint8_t> dict = segmentData(bytes, 1);
    ASSERT_GE(dict.size(), 7u);
    EXPECT_EQ(dict[0], width <= 128 ? 0x00 : 0x01) << "flags: template 0 or MMR";
    EXPECT_EQ(dict[1], width);
    expectRoundTrip(s, c, 22, s.region.width, s.region.height);
  }
}

// Four 4 x 4 patterns: HDPW 4, HDPH 4, GRAYMAX 3 and one 16 x 4 collective bitmap, the patterns
// side by side.
TEST_F(HalftoneEncodeTest, PatternDictionaryWritesOneCollectiveBitmap) {
  const Screen s(clusteredDots(4, 4, 4), {0}, 1, 1);
  for (const bool arith : {false, true}) {
    SCOPED_TRACE(arith ? "template 2" : "MMR");
    const std::vector<uint8_t> bytes = writtenBy([&](Jb2File *stream) {
      setCoding(stream, {arith, 2, false, 0});
      Jbig2PatternDictRecord dict = dictRecord(s);
      ASSERT_EQ(encodePatternDict(stream, &dict), 0);
      EXPECT_EQ(dict.header.type, 16);
      EXPECT_EQ(dict.header.retainThis, 1);
    });
    const std::vector<jbtest::ParsedHeader> headers = parseAll(bytes);
    ASSERT_EQ(headers.size(), 1u);
    EXPECT_EQ(headers[0].type, 16);
    EXPECT_EQ(headers[0].retain, 1);
    EXPECT_TRUE(headers[0].refs.empty());
    const std::vector<uint8_t> data = segmentData(bytes, 0);
    ASSERT_GT(data.size(), 7u);
    EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.begin() + 7),
              (std::vector<uint8_t>{uint8_t(arith ? 0x04 : 0x01), 4, 4, 0, 0, 0, 3}));
    Bits collective(16, 4);
    for (int i = 0; i < 4; ++i)
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) collective.set(4 * i + x, y, s.patterns[i].get(x, y));
    Bits decoded(16, 4);
    if (arith) {
      EXPECT_EQ(std::vector<uint8_t>(data.end() - 2, data.end()),
                (std::vector<uint8_t>{0xFF, 0xAC}));
      Jbig2GenericTemplate t{};
      t.tmpl = 2;
      t.atx[0] = -4;
      MqDecoder mq;
      mqDecInit(&mq, data.data() + 7, data.size() - 7, nullptr, nullptr, state_);
      ASSERT_EQ(decodeGenericBitmap(decoded.words.data(), 16, 4, 1, &t, nullptr, &mq, state_), 0);
    } else {
      size_t left = 0;
      ASSERT_EQ(decodeMmrBuffer(decoded.words.data(), 16, 4, 1, data.data() + 7, data.size() - 7,
                                &left, state_),
                0);
    }
    EXPECT_EQ(decoded, collective);
  }
}

// The planes carry the Gray code of each index: 2 (Gray 3) sets its cell in both planes, 3 (Gray
// 2) only in plane 1. With MMR each plane ends with its end-of-block code, so the second starts
// where the first stopped.
TEST_F(HalftoneEncodeTest, MmrPlanesHoldTheGrayCodeOfEachIndex) {
  Screen s(clusteredDots(2, 2, 4), {0, 1, 2, 3, 3, 2, 1, 0, 2, 2}, 5, 2);
  s.hrx = 512;
  s.region = {10, 4, 0, 0, 0};
  const std::vector<uint8_t> bytes = writtenBy([&](Jb2File *stream) {
    setCoding(stream, {false, 0, false, 0});
    ASSERT_EQ(writeHalftone(stream, s, 22), 0);
  });
  const std::vector<uint8_t> data = segmentData(bytes, 1);
  ASSERT_GT(data.size(), 38u);
  EXPECT_EQ(data[17], 0x01) << "flags: HMMR, template 0, OR, default pixel 0";
  EXPECT_EQ(std::vector<uint8_t>(data.begin() + 18, data.begin() + 38),
            (std::vector<uint8_t>{0, 0, 0, 5, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0}));
  size_t offset = 38;
  std::vector<Bits> planes;
  for (int j = 1; j >= 0; --j) {
    Bits plane(5, 2);
    size_t left = 0;
    ASSERT_EQ(decodeMmrBuffer(plane.words.data(), 5, 2, 1, data.data() + offset,
                              data.size() - offset, &left, state_),
              0);
    offset = data.size() - left;
    planes.push_back(plane);
  }
  EXPECT_EQ(offset, data.size()) << "bytes after the second plane";
  for (int i = 0; i < 10; ++i) {
    const int gray = s.grid[i] ^ (s.grid[i] >> 1);
    EXPECT_EQ(planes[0].get(i % 5, i / 5), gray >> 1) << "plane 1, cell " << i;
    EXPECT_EQ(planes[1].get(i % 5, i / 5), gray & 1) << "plane 0, cell " << i;
  }
}

// A dictionary of one pattern needs no planes: the region data is the 38 bytes of fixed fields
// (and, arithmetically coded, an empty MQ code stream, which jbig2dec insists on reading), and
// every cell draws that pattern.
TEST_F(HalftoneEncodeTest, OnePatternWritesTheFixedFieldsOnly) {
  Screen s({clusteredDots(3, 3, 3)[1]}, {0, 0, 0, 0}, 2, 2);
  s.hgx = -256, s.hgy = 512, s.hrx = 3 * 256 + 1, s.hry = 0xFFFF;
  s.combop = 4;
  s.region = {6, 6, 1, 2, 3};
  for (const bool arith : {false, true}) {
    SCOPED_TRACE(arith ? "arithmetic" : "MMR");
    const std::vector<uint8_t> bytes = writtenBy([&](Jb2File *stream) {
      setCoding(stream, {arith, 0, arith, 1});
      ASSERT_EQ(writeHalftone(stream, s, 23), 0);
    });
    const std::vector<jbtest::ParsedHeader> headers = parseAll(bytes);
    ASSERT_EQ(headers.size(), 2u);
    EXPECT_EQ(headers[1].type, 23);
    EXPECT_EQ(headers[1].retain, 0);
    EXPECT_EQ(headers[1].refs, std::vector<int32_t>{0});
    const std::vector<uint8_t> expected = {
        0,
        0,
        0,
        6,
        0,
        0,
        0,
        6,
        0,
        0,
        0,
        1,
        0,
        0,
        0,
        2,
        3,                                           // region information
        uint8_t(arith ? 0x02 | 0x40 : 0x01 | 0x40),  // template 1 or MMR; REPLACE
        0,
        0,
        0,
        2,
        0,
        0,
        0,
        2,
        0xFF,
        0xFF,
        0xFF,
        0,
        0,
        0,
        2,
        0,  // HGW, HGH, HGX, HGY
        0x03,
        0x01,
        0xFF,
        0xFF};  // HRX, HRY
    const std::vector<uint8_t> data = segmentData(bytes, 1);
    ASSERT_GE(data.size(), expected.size());
    EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.begin() + 38), expected);
    if (arith) {
      // The MQ coder's flush of no decisions: its final bytes and the end marker.
      EXPECT_LE(data.size(), 38u + 4u);
      EXPECT_EQ(std::vector<uint8_t>(data.end() - 2, data.end()),
                (std::vector<uint8_t>{0xFF, 0xAC}));
    } else {
      EXPECT_EQ(data.size(), 38u);
    }
    expectRoundTrip(s, {arith, 0, arith, 1}, 23, 8, 9);
  }
}

TEST_F(HalftoneEncodeTest, RecordsThatDoNotFitTheirFieldsAreRefusedBeforeWriting) {
  struct Refusal {
    const char *name;
    void (*spoil)(Jbig2PatternDictRecord &, Jbig2HalftoneRecord &, Jb2Options &);
    bool dictionary;  // refused by the dictionary writer, else by the region writer
  };
  const Refusal refusals[] = {
      {"HDPW 256", [](auto &d, auto &, auto &) { d.width = 256; }, true},
      {"HDPH 0", [](auto &d, auto &, auto &) { d.height = 0; }, true},
      {"HDPH 300", [](auto &d, auto &, auto &) { d.height = 300; }, true},
      {"no patterns", [](auto &d, auto &, auto &) { d.count = 0; }, true},
      {"HDTEMPLATE 4",
       [](auto &, auto &, Jb2Options &o) {
         o.bytes[18] = 1;
         o.bytes[20] = 4;
       },
       true},
      {"HRX 65536", [](auto &, auto &r, auto &) { r.hrx = 65536; }, false},
      {"HRY -1", [](auto &, auto &r, auto &) { r.hry = -1; }, false},
      {"HCOMBOP 5", [](auto &, auto &r, auto &) { r.combop = 5; }, false},
      {"HTEMPLATE 4",
       [](auto &, auto &, Jb2Options &o) {
         o.bytes[13] = 1;
         o.bytes[28] = 4;
       },
       false},
      {"generic region type", [](auto &, auto &r, auto &) { r.header.type = 38; }, false},
      {"two referred-to segments", [](auto &, auto &r, auto &) { r.header.refCount = 2; }, false},
      {"referred-to segment not the dictionary",
       [](auto &, auto &r, auto &) { r.header.refs[0] = 7; }, false},
      {"dictionary of another type", [](auto &d, auto &, auto &) { d.header.type = 0; }, false},
      {"grid value not below the pattern count",
       [](auto &, auto &r, auto &) { const_cast<uint16_t *>(r.grid)[3] = 4; }, false},
  };
  for (const Refusal &x : refusals) {
    SCOPED_TRACE(x.name);
    Screen s(clusteredDots(4, 4, 4), {0, 1, 2, 3}, 2, 2);
    s.hrx = 1024;
    s.region = {8, 8, 0, 0, 0};
    const std::vector<uint8_t> bytes = writtenBy([&](Jb2File *stream) {
      Jbig2PatternDictRecord dict = dictRecord(s);
      dict.header.number = 5;
      dict.header.type = 16;
      int32_t refs[2] = {5, 5};
      uint8_t retain[2] = {0, 0};
      Jbig2HalftoneRecord region = regionRecord(s, 22);
      region.header.number = 6;
      region.header.refCount = 1;
      region.header.refs = refs;
      region.header.retain = retain;
      x.spoil(dict, region, *jb2GetOptions(stream));
      if (x.dictionary)
        EXPECT_EQ(encodePatternDict(stream, &dict), 10003);
      else
        EXPECT_EQ(encodeHalftoneRegion(stream, &region, &dict), 10003);
    });
    EXPECT_TRUE(bytes.empty());
  }
}

TEST_F(HalftoneEncodeTest, FailureAtEveryAllocationLeavesNothing) {
  const norvtest::Pnm grey = photo();
  ASSERT_TRUE(grey.valid());
  Screen s(clusteredDots(4, 4, 17), gridOf(grey, 17), static_cast<uint32_t>(grey.width),
           static_cast<uint32_t>(grey.height));
  s.hrx = 1024;
  s.region = {4 * grey.width, 4 * grey.height, 0, 0, 0};
  for (const Coding &c : {Coding{true, 0, true, 0}, Coding{false, 0, false, 0}}) {
    SCOPED_TRACE(c.dictArith ? "arithmetic" : "MMR");
    for (long n = 1;; ++n) {
      SCOPED_TRACE(n);
      int32_t status = 0;
      writtenBy([&](Jb2File *stream) {
        setCoding(stream, c);
        norvtest::heap.failAt = norvtest::heap.requests + n;
        status = writeHalftone(stream, s, 22);
        norvtest::heap.failAt = -1;
      });
      if (status == 0) break;
      ASSERT_EQ(status, 1);
    }
  }
}

}  // namespace
