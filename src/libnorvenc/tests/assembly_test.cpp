// The encoder assembly driven directly: real pages (and small drawn ones) added to sections that
// end final, flush or roll back; each section's dictionary bytes and page bytes joined into one
// embedded stream per page (every dictionary a page may refer to, then the page) and decoded by
// the library's own decoder and by jbig2dec. With lossless settings every page comes back
// exactly; several sections carry their dictionaries; a page coded as two stripes ends its first
// stripe on the row above the split; the dictionary budget at 0.9 x L; restart after every kind
// of section end; a failed build leaves nothing behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "colour_payload.h"
#include "enc_assembly.h"
#include "jbig2_decoder.h"
#include "norv_enc.h"
#include "pxl_owners_internal.h"
#include "qtz_internal.h"
#include "tc_util.h"
#include "testkit_files.h"
#include "testkit_image.h"
#include "testkit_state.h"
#include "testkit_tools.h"

namespace {

using norvtest::Pnm;

// P4 raster of a decoded page (rows of packed 32-bit words, leftmost pixel in the top bit).
Pnm pnmOf(const QtzImage *page) {
  Pnm p;
  p.kind = '4';
  p.width = page->hdr.width;
  p.height = page->hdr.height;
  p.raster.assign(size_t(p.rowBytes()) * p.height, 0);
  for (int y = 0; y < p.height; ++y) {
    const auto *row = reinterpret_cast<const uint32_t *>(page->rows[y + page->hdr.yoff]);
    for (int x = 0; x < p.width; ++x)
      if ((row[x >> 5] >> (31 - (x & 31))) & 1) p.row(y)[x >> 3] |= uint8_t(0x80 >> (x & 7));
  }
  return p;
}

// The content of a 1-bit page with the bits past each row's last pixel cleared.
Pnm modelOf(Pixr *image) {
  Pnm p = norvtest::pnmFromImage(image, '4');
  if (p.width % 8 != 0)
    for (int y = 0; y < p.height; ++y)
      p.row(y)[p.rowBytes() - 1] &= uint8_t(0xFF00 >> (p.width % 8));
  return p;
}

long differingPixels(const Pnm &a, const Pnm &b) {
  if (a.width != b.width || a.height != b.height) return -1;
  long n = 0;
  for (size_t i = 0; i < a.raster.size(); ++i) n += __builtin_popcount(a.raster[i] ^ b.raster[i]);
  return n;
}

// One encoded page: the stream it decodes from and the page it should decode to.
struct CodedPage {
  std::vector<uint8_t> stream;
  Pnm model;
  int32_t splitRow;
};

// The segment headers of an embedded stream (T.88 7.2): number, type, page, data.
struct Segment {
  uint32_t number;
  int type;
  uint32_t page;
  std::vector<uint8_t> data;
};

std::vector<Segment> segmentsOf(const std::vector<uint8_t> &s) {
  std::vector<Segment> out;
  size_t at = 0;
  auto be32 = [&](size_t i) {
    return uint32_t{s[i]} << 24 | uint32_t{s[i + 1]} << 16 | uint32_t{s[i + 2]} << 8 | s[i + 3];
  };
  while (at + 11 <= s.size()) {
    Segment g;
    g.number = be32(at);
    const uint8_t flags = s[at + 4];
    g.type = flags & 63;
    size_t i = at + 5;
    const int referred = s[i] >> 5;  // short form only: the encoder refers to few segments
    if (referred == 7) return {};
    i += 1 + referred * (g.number <= 256 ? 1 : g.number <= 65536 ? 2 : 4);
    if ((flags & 0x40) != 0) {
      g.page = be32(i);
      i += 4;
    } else {
      g.page = s[i];
      i += 1;
    }
    const uint32_t length = be32(i);
    i += 4;
    if (i + length > s.size()) return {};
    g.data.assign(s.begin() + long(i), s.begin() + long(i + length));
    out.push_back(std::move(g));
    at = i + length;
  }
  return out;
}

class AssemblyTest : public norvtest::TrackedStateTest {
 protected:
  AssemblyTest() { wantContexts_ = true; }
  void TearDown() override {
    EXPECT_EQ(destroyEncoder(enc_), 0);
    for (TcImage *image : sources_) tc_freeImage(state_, image);
    for (Pixr *image : drawn_) pxlDestroyImage(state_->ipwContext, &image);
    norvtest::TrackedStateTest::TearDown();
  }

  // The encoder from a fresh encoder state changed by `options` (lossless by default: every
  // component a small token of the lossless classifier).
  template <typename Options>
  void build(Options options) {
    NorvEncState *e = nullptr;
    ASSERT_EQ(norv_initEncState(state_, &e), 0);
    options(e);
    const NorvTokenGroup tokens = norvTokenGroupOf(*e);
    const TokOptions lossy = norvLossyGroupOf(*e);
    const NorvDocGroup doc = norvDocGroupOf(*e);
    const NorvJpegGroup jpeg = norvJpegGroupOf(*e);
    ASSERT_EQ(norv_cleanEncState(state_, &e), 0);
    ASSERT_EQ(buildEncoder(&enc_, &norvtest::kTrackingHooks, nullptr, &tokens, &lossy, &doc, &jpeg),
              0);
    ASSERT_EQ(startEncoderSection(enc_), 0);
  }
  void buildLossless() {
    build([](NorvEncState *e) {
      const uint8_t on = 1;
      ASSERT_EQ(norv_setGeneralEncOptions(e, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                          nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &on,
                                          nullptr, nullptr, nullptr, nullptr, nullptr),
                0);
    });
  }

  // Source pages, read once per test.
  const TcImage *source(const char *name) {
    TcImage *image = nullptr;
    const std::string path = std::string(NORV_TEST_DATA) + "/" + name;
    EXPECT_EQ(tc_readTiffEx(state_, path.c_str(), 0, 1, &image), 0) << name;
    if (image != nullptr) sources_.push_back(image);
    return image;
  }
  // A small page drawn by `draw` (pixels set in content coordinates).
  template <typename Draw>
  Pixr *drawnPage(int width, int height, Draw draw) {
    Pixr *image = nullptr;
    EXPECT_EQ(
        pxlCreateImage(state_->ipwContext, width, height, 1, 300 << 16, 300 << 16, 32, &image), 0);
    if (image == nullptr) return nullptr;
    drawn_.push_back(image);
    draw(image);
    return image;
  }

  // Adds a page; whether the section took it (not refused, not flagged for the roll-back).
  bool add(Pixr *image, int32_t xdpi, uint8_t *overflow = nullptr) {
    const NorvPageSource page{image->framedData,  image->width, image->height,
                              image->bytesPerRow, xdpi,         xdpi};
    uint8_t flag = 7;
    const int32_t before = enc_->pageCount;
    EXPECT_EQ(addBilevelPage(enc_, &page, &flag), 0);
    EXPECT_LE(flag, 1);
    if (overflow != nullptr) *overflow = flag;
    const bool taken = enc_->pageCount == before + 1 && flag == 0;
    if (taken) pending_.push_back(modelOf(image));
    return taken;
  }
  bool add(const TcImage *image, uint8_t *overflow = nullptr) {
    return add(image->image, image->xResolution, overflow);
  }

  // Ends the open section, encodes it and opens the next; the section's pages join coded_.
  void endSection(int32_t mode) {
    ASSERT_EQ(closeSection(enc_, mode), 0);
    uint8_t *data = nullptr;
    size_t length = 0;
    ASSERT_EQ(encodeSectionGlobals(enc_, mode == NORV_CLOSE_FINAL, &data, &length), 0);
    if (lastFinal_) carried_.clear();
    carried_.insert(carried_.end(), data, data + length);
    qtz::release(enc_->state, data);
    ASSERT_EQ(size_t(enc_->section->pageCount), pending_.size());
    std::vector<int32_t> splits;
    for (int i = 0; i < enc_->section->pageCount; ++i)
      splits.push_back(enc_->section->pages[i].splitRow);
    for (size_t k = 0; k < pending_.size(); ++k) {
      size_t payload = 1;
      ASSERT_EQ(encodeSectionPages(enc_, &data, &length, &payload), 0);
      EXPECT_EQ(payload, 0u);
      CodedPage page{carried_, std::move(pending_[k]), splits[k]};
      page.stream.insert(page.stream.end(), data, data + length);
      qtz::release(enc_->state, data);
      coded_.push_back(std::move(page));
    }
    pending_.clear();
    lastFinal_ = enc_->sectionFinal != 0;
    ASSERT_EQ(startEncoderSection(enc_), 0);
  }

  // Decodes a page's stream with the library's decoder.
  Pnm decodeOwn(const std::vector<uint8_t> &stream) {
    Jbig2Decoder *d = nullptr;
    Pnm page;
    EXPECT_EQ(
        QtzJbig2_newDecoder(&d, 0, nullptr, nullptr, 1, 100000, 0, 1, nullptr, nullptr, state_), 0);
    if (d == nullptr) return page;
    EXPECT_EQ(QtzJbig2_decodePage(d, stream.data(), stream.size(), nullptr), 0);
    if (d->page != nullptr) page = pnmOf(d->page);
    QtzJbig2_freeDecoder(&d);
    return page;
  }
  static Pnm decodeJbig2dec(const std::vector<uint8_t> &stream) {
    norvtest::TempDir dir("assembly");
    const std::string in = dir.file("page.jb2"), out = dir.file("page.pbm");
    if (!norvtest::writeFile(in, stream)) return Pnm{};
    const norvtest::ToolRun run =
        norvtest::runTool("jbig2dec -q -e -t pbm -o " + norvtest::shellQuote(out) + " " +
                          norvtest::shellQuote(in) + " 2>&1");
    EXPECT_EQ(run.status, 0) << run.text();
    return norvtest::readPnm(out);
  }

  // Every coded page decodes to its model in the library's decoder (exactly, or within
  // `tolerance` pixels in a thousand) and, for every `outsideEvery`-th page, identically in
  // jbig2dec.
  void expectDecoded(int tolerance = 0, size_t outsideEvery = 1) {
    const bool outside = norvtest::toolAvailable("jbig2dec");
    for (size_t k = 0; k < coded_.size(); ++k) {
      SCOPED_TRACE("page " + std::to_string(k + 1));
      const CodedPage &page = coded_[k];
      const Pnm own = decodeOwn(page.stream);
      const long wrong = differingPixels(own, page.model);
      ASSERT_GE(wrong, 0) << "decoded page of another size";
      EXPECT_LE(wrong * 1000, long(tolerance) * page.model.width * page.model.height);
      if (tolerance == 0) {
        EXPECT_EQ(wrong, 0);
      }
      if (outside && (k % outsideEvery == 0 || k + 1 == coded_.size())) {
        EXPECT_TRUE(decodeJbig2dec(page.stream) == own) << "jbig2dec differs";
      }
    }
  }

  NorvEncoder *enc_ = nullptr;
  std::vector<TcImage *> sources_;
  std::vector<Pixr *> drawn_;
  std::vector<Pnm> pending_;
  std::vector<CodedPage> coded_;
  std::vector<uint8_t> carried_;
  bool lastFinal_ = true;
};

TEST_F(AssemblyTest, LosslessSectionsDecodeExactly) {
  // Ten pages of three sources: a flush (no memory limit: the classes carry over), then two
  // final sections; each section restarts from the one before.
  buildLossless();
  if (HasFatalFailure()) return;
  const TcImage *pages[] = {source("p13_t200_eqn-2.tif"), source("p14_t200_pic-2.tif"),
                            source("p12_t200_bash-64.tif")};
  ASSERT_TRUE(pages[0] && pages[1] && pages[2]);
  struct Step {
    int pages;
    int32_t mode;
    uint8_t final;
  };
  int next = 0;
  for (const Step s : {Step{4, NORV_CLOSE_FLUSH, 0}, Step{3, NORV_CLOSE_FINAL, 1},
                       Step{1, NORV_CLOSE_FLUSH, 0}, Step{2, NORV_CLOSE_FINAL, 1}}) {
    for (int i = 0; i < s.pages; ++i) ASSERT_TRUE(add(pages[next++ % 3]));
    endSection(s.mode);
    EXPECT_EQ(enc_->sectionFinal, s.final);
    EXPECT_EQ(enc_->section->pageCount, 0);  // restarted
  }
  ASSERT_EQ(coded_.size(), 10u);
  expectDecoded();
}

TEST_F(AssemblyTest, LossyTokensDecodeAlikeInBothDecoders) {
  // The default classifier: pages within a few pixels in a thousand of their sources, and the
  // two decoders agree; symbols shared by pages go to the section dictionary.
  build([](NorvEncState *) {});
  if (HasFatalFailure()) return;
  const TcImage *a = source("p13_t200_eqn-2.tif");
  const TcImage *b = source("p12_t200_bash-64.tif");
  ASSERT_TRUE(a && b);
  ASSERT_TRUE(add(a));
  ASSERT_TRUE(add(b));
  ASSERT_TRUE(add(a));
  endSection(NORV_CLOSE_FLUSH);
  ASSERT_TRUE(add(b));
  endSection(NORV_CLOSE_FINAL);
  ASSERT_EQ(coded_.size(), 4u);
  EXPECT_GT(carried_.size(), 0u);
  expectDecoded(5);
}

TEST_F(AssemblyTest, StrictClassifierDecodesExactly) {
  // Classes that take equal shapes only (no error allowed, no dilation): the lossy path (templates,
  // offsets, section and page dictionaries) gives the pages back exactly.
  build([](NorvEncState *e) {
    const float exact = 1.0f;
    const int32_t none = 0;
    ASSERT_EQ(
        norv_setTokenOptions(e, nullptr, &exact, &none, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr, &none, nullptr, nullptr),
        0);
  });
  if (HasFatalFailure()) return;
  const TcImage *a = source("p13_t200_eqn-2.tif");
  const TcImage *b = source("p12_t200_bash-64.tif");
  ASSERT_TRUE(a && b);
  ASSERT_TRUE(add(a));
  ASSERT_TRUE(add(b));
  endSection(NORV_CLOSE_FLUSH);
  ASSERT_TRUE(add(a));
  endSection(NORV_CLOSE_FINAL);
  expectDecoded();
}

TEST_F(AssemblyTest, ColourTokensDecodeWithTheirColoursBehindThePage) {
  // A colour page's text components: two shapes repeated in several colours and a dot kept as
  // a small token. The page is one text region; the colours follow the JBIG2 bytes.
  build([](NorvEncState *e) {
    const float exact = 1.0f;
    const int32_t none = 0;
    ASSERT_EQ(
        norv_setTokenOptions(e, nullptr, &exact, &none, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr, &none, nullptr, nullptr),
        0);
  });
  if (HasFatalFailure()) return;
  struct Placed {
    int shape;
    int32_t x, y;
    uint8_t r, g, b;
  };
  const Placed placed[] = {{0, 10, 10, 255, 0, 0},  {0, 40, 12, 255, 0, 0},  {1, 70, 30, 0, 0, 255},
                           {0, 100, 50, 0, 128, 0}, {1, 150, 70, 0, 0, 255}, {2, 190, 5, 9, 9, 9}};
  const int sizes[3][2] = {{8, 10}, {12, 9}, {3, 3}};
  auto on = [](int shape, int x, int y) { return shape == 2 || (x * 5 + y * 3 + shape) % 4 < 2; };
  Pnm model;
  model.kind = '4';
  model.width = 200;
  model.height = 100;
  model.raster.assign(size_t(model.rowBytes()) * model.height, 0);
  std::vector<QtzSCTextComponent> components;
  std::vector<std::array<uint8_t, 3>> colours;
  for (const Placed &p : placed) {
    const int w = sizes[p.shape][0], h = sizes[p.shape][1];
    QtzImage *bitmap = nullptr;
    ASSERT_EQ(QtzImage_new(state_, QTZ_IMAGE_PACKED, w, h, &bitmap), 0);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (on(p.shape, x, y)) {
          bitmap->rows[y][(x / 32) * 4 + 3 - (x % 32) / 8] |= uint8_t(0x80 >> (x % 8));
          model.row(p.y + y)[(p.x + x) / 8] |= uint8_t(0x80 >> ((p.x + x) % 8));
        }
    components.push_back(QtzSCTextComponent{bitmap, p.x, p.y, p.r, p.g, p.b});
    colours.push_back({p.r, p.g, p.b});
  }
  const NorvPageSource page{nullptr, 200, 100, 0, 300, 300};
  uint8_t overflow = 1;
  ASSERT_EQ(addColorTokensPagePlain(enc_, components.data(), int32_t(components.size()), &page,
                                    &overflow),
            0);
  EXPECT_EQ(overflow, 0);
  for (const QtzSCTextComponent &c : components) EXPECT_EQ(c.bitmap, nullptr);
  ASSERT_EQ(closeSection(enc_, NORV_CLOSE_FINAL), 0);
  uint8_t *data = nullptr;
  size_t length = 0, payload = 0;
  ASSERT_EQ(encodeSectionGlobals(enc_, 1, &data, &length), 0);
  std::vector<uint8_t> stream(data, data + length);
  qtz::release(enc_->state, data);
  ASSERT_EQ(encodeSectionPages(enc_, &data, &length, &payload), 0);
  ASSERT_GT(payload, 0u);
  ASSERT_LT(payload, length);
  stream.insert(stream.end(), data, data + (length - payload));
  const std::vector<uint8_t> tail(data + (length - payload), data + length);
  qtz::release(enc_->state, data);
  ASSERT_EQ(startEncoderSection(enc_), 0);
  coded_.push_back(CodedPage{stream, model, 0});
  expectDecoded();

  // The colours of the coded instances, one per component.
  QtzColorState *reader = nullptr;
  ASSERT_EQ(initColors(&reader, 0, state_), 0);
  QtzColorEntry *entries = nullptr;
  uint32_t count = 0;
  ASSERT_EQ(decodeColors(reader, tail.data(), tail.size(), &entries, &count), 0);
  std::vector<std::array<uint8_t, 3>> decoded;
  for (uint32_t i = 0; i < count; ++i)
    decoded.push_back({entries[i].rgb[0], entries[i].rgb[1], entries[i].rgb[2]});
  qtz::release(state_, entries);
  cleanupColors(reader);
  std::sort(decoded.begin(), decoded.end());
  std::sort(colours.begin(), colours.end());
  EXPECT_EQ(decoded, colours);
}

TEST_F(AssemblyTest, HalftonePagesDecodeInBothCodings) {
  // A screened picture: its regions as generic regions of their bilevel copies (lossless),
  // or as pattern dictionaries and halftone regions (the grey reduction is lossy: both
  // decoders agree and the page stays close to its source).
  struct Case {
    uint8_t jbig2Halftones;
    int tolerance;
  };
  for (const Case c : {Case{0, 0}, Case{1, 60}}) {
    SCOPED_TRACE(int(c.jbig2Halftones));
    build([&](NorvEncState *e) {
      const uint8_t on = 1;
      ASSERT_EQ(
          norv_setGeneralEncOptions(e, &c.jbig2Halftones, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    &on, nullptr, nullptr, nullptr, nullptr, nullptr),
          0);
    });
    if (HasFatalFailure()) return;
    const TcImage *page = source("p21_h300_ps2pdf-screen.tif");
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(add(page));
    ASSERT_NE(enc_->doc->section->pages[0].halftones, nullptr);
    EXPECT_GT(enc_->doc->section->pages[0].halftones->count, 0);
    endSection(NORV_CLOSE_FINAL);
    int patterns = 0, halftones = 0;
    for (const Segment &g : segmentsOf(coded_[0].stream)) {
      patterns += g.type == 16;
      halftones += g.type == 23;
    }
    EXPECT_EQ(patterns > 0, c.jbig2Halftones != 0);
    EXPECT_EQ(halftones, patterns);
    expectDecoded(c.tolerance);
    ASSERT_EQ(destroyEncoder(enc_), 0);
    enc_ = nullptr;
    coded_.clear();
    carried_.clear();
  }
}

TEST_F(AssemblyTest, BandedPagesDecodeExactly) {
  // Two pages fed in bands of 300 rows (the last band shorter), then a whole page; bands of a
  // page the budget refuses are passed over.
  buildLossless();
  if (HasFatalFailure()) return;
  const TcImage *pages[] = {source("p13_t200_eqn-2.tif"), source("p14_t200_pic-2.tif")};
  ASSERT_TRUE(pages[0] && pages[1]);
  auto feed = [&](const TcImage *page) {
    const Pixr *image = page->image;
    const int32_t before = enc_->pageCount;
    for (int32_t top = 0; top < image->height; top += 300) {
      const int32_t rows = std::min(300, image->height - top);
      uint8_t overflow = 9;
      ASSERT_EQ(addMonoBand(enc_, norvtest::rowOf(image, top), image->width, rows,
                            image->bytesPerRow, image->height, page->xResolution, page->yResolution,
                            top == 0, top + rows == image->height, &overflow),
                0);
      EXPECT_EQ(overflow, top + rows == image->height ? 0 : 9);
    }
    EXPECT_EQ(enc_->pageCount, before + 1);
    pending_.push_back(modelOf(page->image));
  };
  feed(pages[0]);
  feed(pages[1]);
  ASSERT_TRUE(add(pages[0]));
  endSection(NORV_CLOSE_FINAL);
  ASSERT_EQ(coded_.size(), 3u);
  EXPECT_EQ(coded_[0].splitRow, 1);
  expectDecoded();

  // A refused banded page: nothing reaches the token document.
  enc_->doc->memoryLimit = 1000;
  enc_->doc->section->runningEstimate = 950;
  const Pixr *image = pages[0]->image;
  for (int32_t top = 0; top < image->height; top += 1100) {
    uint8_t overflow = 9;
    ASSERT_EQ(
        addMonoBand(enc_, norvtest::rowOf(image, top), image->width, 1100, image->bytesPerRow,
                    image->height, 200, 200, top == 0, top + 1100 == image->height, &overflow),
        0);
    EXPECT_EQ(overflow, 0);
  }
  EXPECT_EQ(enc_->doc->section->pageCount, 0);
  enc_->doc->section->runningEstimate = 0;
}

TEST_F(AssemblyTest, StripesEndOnTheRowAboveTheSplit) {
  // Small pages are split at row 1: the first stripe is row 0 alone, and components on rows 1
  // and 2 belong to the second. Dots on rows 0, 1 and 2, a symbol ending on row 1, and tokens
  // larger than a small token on both sides of the split.
  buildLossless();
  if (HasFatalFailure()) return;
  Pixr *page = drawnPage(120, 40, [](Pixr *p) {
    for (int x = 0; x < 3; ++x) norvtest::setPixel(p, 10 + x, 0, 1);
    norvtest::setPixel(p, 20, 1, 1);
    for (int x = 0; x < 5; ++x) norvtest::setPixel(p, 30 + x, 2, 1);
    for (int y = 0; y < 2; ++y) norvtest::setPixel(p, 40, y, 1);
    for (int y = 1; y < 30; ++y)
      for (int x = 60; x < 70; ++x)
        if ((x + y) % 3 != 0) norvtest::setPixel(p, x, y, 1);
    for (int y = 35; y < 40; ++y) norvtest::setPixel(p, 119, y, 1);
  });
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(add(page, 300));
  const TcImage *real = source("p13_t200_eqn-2.tif");
  ASSERT_NE(real, nullptr);
  ASSERT_TRUE(add(real));
  endSection(NORV_CLOSE_FINAL);
  ASSERT_EQ(coded_.size(), 2u);
  EXPECT_EQ(coded_[0].splitRow, 1);
  EXPECT_GT(coded_[1].splitRow, 100);
  for (const CodedPage &p : coded_) {
    SCOPED_TRACE(p.splitRow);
    int stripes = 0;
    for (const Segment &s : segmentsOf(p.stream)) {
      if (s.type != 50) continue;
      ++stripes;
      ASSERT_EQ(s.data.size(), 4u);
      const uint32_t end = uint32_t{s.data[0]} << 24 | s.data[1] << 16 | s.data[2] << 8 | s.data[3];
      EXPECT_EQ(end, uint32_t(p.splitRow - 1));
    }
    EXPECT_EQ(stripes, 1);
  }
  expectDecoded();
}

TEST_F(AssemblyTest, BudgetRefusesAtNineTenthsAndOverflowsAtTheLimit) {
  // Code 1: 1024000 bytes lowered by 8192 = 1015808; 0.9 x L = 914227.2.
  build([](NorvEncState *e) {
    const int32_t code = 1;
    ASSERT_EQ(norv_setGeneralEncOptions(e, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                        nullptr, nullptr, nullptr, nullptr, &code, nullptr, nullptr,
                                        nullptr, nullptr, nullptr, nullptr, nullptr),
              0);
  });
  if (HasFatalFailure()) return;
  ASSERT_EQ(enc_->doc->memoryLimit, 1015808);
  struct Case {
    int32_t running;
    int32_t compressed;
    uint8_t refuse;
    uint8_t overflow;
  };
  const Case cases[] = {{914227, 0, 0, 0},     {914228, 0, 1, 0},      {900000, 14227, 0, 0},
                        {900000, 14228, 1, 0}, {1015807, 0, 1, 0},     {1015808, 0, 1, 1},
                        {0, 1015808, 1, 1},    {500000, 515808, 1, 1}, {0, 0, 0, 0}};
  TclySection *section = enc_->doc->section;
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.running) + " + " + std::to_string(c.compressed));
    section->runningEstimate = c.running;
    section->compressedEstimate = c.compressed;
    uint8_t refuse = 9;
    ASSERT_EQ(checkSectionBudget(enc_, &refuse), 0);
    EXPECT_EQ(refuse, c.refuse);
    EXPECT_EQ(enc_->overflow, c.overflow);
  }
  // A refused page is not added: 0 with the overflow byte clear, nothing stored.
  Pixr *page = drawnPage(64, 16, [](Pixr *p) { norvtest::setPixel(p, 3, 3, 1); });
  ASSERT_NE(page, nullptr);
  section->runningEstimate = 914228;
  section->compressedEstimate = 0;
  uint8_t overflow = 9;
  EXPECT_FALSE(add(page, 300, &overflow));
  EXPECT_EQ(overflow, 0);
  EXPECT_EQ(section->pageCount, 0);
  section->runningEstimate = 914227;
  EXPECT_TRUE(add(page, 300, &overflow));
  EXPECT_EQ(section->pageCount, 1);
  section->runningEstimate = 0;
  endSection(NORV_CLOSE_FINAL);
  expectDecoded();
  uint8_t refuse = 0;
  EXPECT_EQ(checkSectionBudget(nullptr, &refuse), 10003);
}

TEST_F(AssemblyTest, OverflowRollsTheLastPageBackAndItStartsTheNextSection) {
  // The estimates of two pages under a limit neither reaches, then a limit that the first page
  // stays below nine tenths of and the two together reach: the second page is stored and
  // flagged, the section ends with a roll-back that takes it out, and it opens the next section.
  const TcImage *a = source("p13_t200_eqn-2.tif");
  const TcImage *b = source("p14_t200_pic-2.tif");
  ASSERT_TRUE(a && b);
  auto withLimit = [](NorvEncState *e) {
    const uint8_t on = 1;
    const int32_t code = 1;
    ASSERT_EQ(norv_setGeneralEncOptions(e, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                        nullptr, nullptr, nullptr, nullptr, &code, nullptr, &on,
                                        nullptr, nullptr, nullptr, nullptr, nullptr),
              0);
  };
  build(withLimit);
  if (HasFatalFailure()) return;
  auto estimate = [&] {
    return int64_t{enc_->doc->section->runningEstimate} + enc_->doc->section->compressedEstimate;
  };
  ASSERT_TRUE(add(a));
  const int64_t one = estimate();
  ASSERT_TRUE(add(b));
  const int64_t two = estimate();
  ASSERT_GT(0.9 * double(two), double(one));
  ASSERT_EQ(destroyEncoder(enc_), 0);
  enc_ = nullptr;
  pending_.clear();

  build(withLimit);
  if (HasFatalFailure()) return;
  enc_->doc->memoryLimit = int32_t(two);
  ASSERT_TRUE(add(a));
  uint8_t overflow = 0;
  EXPECT_FALSE(add(b, &overflow));
  ASSERT_EQ(overflow, 1);
  EXPECT_EQ(enc_->doc->section->pageCount, 2);
  const int32_t pagesBefore = enc_->pageCount;
  endSection(NORV_CLOSE_FINAL);
  EXPECT_EQ(enc_->pageCount, pagesBefore - 1);
  EXPECT_EQ(enc_->overflow, 0);
  ASSERT_EQ(coded_.size(), 1u);
  ASSERT_TRUE(add(b));
  endSection(NORV_CLOSE_FINAL);
  ASSERT_EQ(coded_.size(), 2u);
  expectDecoded();
}

TEST_F(AssemblyTest, SixtyPagesFlushedAtFiftyThenEnded) {
  // The default rhythm of the driver: a flush after fifty pages and the end after sixty.
  buildLossless();
  if (HasFatalFailure()) return;
  const TcImage *pages[] = {source("p13_t200_eqn-2.tif"), source("p14_t200_pic-2.tif"),
                            source("p12_t200_bash-64.tif")};
  ASSERT_TRUE(pages[0] && pages[1] && pages[2]);
  for (int i = 0; i < 60; ++i) {
    ASSERT_TRUE(add(pages[i % 3]));
    if (i + 1 == 50) endSection(NORV_CLOSE_FLUSH);
  }
  endSection(NORV_CLOSE_FINAL);
  ASSERT_EQ(coded_.size(), 60u);
  expectDecoded(0, 7);
}

TEST_F(AssemblyTest, CallsOutOfTurnAreRefused) {
  buildLossless();
  if (HasFatalFailure()) return;
  uint8_t *data = nullptr;
  size_t length = 0, payload = 0;
  // No section has ended yet.
  EXPECT_EQ(encodeSectionGlobals(enc_, 1, &data, &length), 10003);
  EXPECT_EQ(encodeSectionPages(enc_, &data, &length, &payload), 10003);
  // A second start while a section is open changes nothing.
  EXPECT_EQ(startEncoderSection(enc_), 0);
  // A section without pages: no dictionary bytes, no page, and the next section opens.
  ASSERT_EQ(closeSection(enc_, NORV_CLOSE_FINAL), 0);
  EXPECT_EQ(closeSection(enc_, NORV_CLOSE_FINAL), 118);
  ASSERT_EQ(encodeSectionGlobals(enc_, 1, &data, &length), 0);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(encodeSectionPages(enc_, &data, &length, &payload), 10003);
  ASSERT_EQ(startEncoderSection(enc_), 0);
  // A record that does not point to itself.
  NorvEncoder copy = *enc_;
  uint8_t refuse = 0;
  EXPECT_EQ(startEncoderSection(&copy), 10003);
  EXPECT_EQ(closeSection(&copy, 0), 10003);
  EXPECT_EQ(checkSectionBudget(&copy, &refuse), 10003);
  EXPECT_EQ(destroyEncoder(&copy), 10003);
}

TEST_F(AssemblyTest, BuildFailsCleanlyWithoutMemory) {
  NorvEncState *e = nullptr;
  ASSERT_EQ(norv_initEncState(state_, &e), 0);
  const NorvTokenGroup tokens = norvTokenGroupOf(*e);
  ASSERT_EQ(norv_cleanEncState(state_, &e), 0);
  norvtest::failEachRequest([&](long) {
    NorvEncoder *made = nullptr;
    const int32_t status =
        buildEncoder(&made, &norvtest::kTrackingHooks, nullptr, &tokens, nullptr, nullptr, nullptr);
    if (status != 0) {
      EXPECT_EQ(made, nullptr);
      return false;
    }
    // The defaults of the missing groups.
    EXPECT_EQ(made->jpeg.quality, 75);
    EXPECT_EQ(made->jpeg.scale, 1.0f);
    EXPECT_EQ(made->lossy->flags, 0x18u);
    EXPECT_EQ(made->lossy->matchFraction, 0.97f);
    EXPECT_EQ(made->docOptions->option, 301);
    EXPECT_EQ(destroyEncoder(made), 0);
    return true;
  });
}

}  // namespace
