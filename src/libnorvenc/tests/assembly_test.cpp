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
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "colour_payload.h"
#include "driver_support.h"
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

// The content of a 1-bit page with the bits past each row's last pixel cleared.
Pnm modelOf(Pixr *image) {
  Pnm p = norvtest::pnmFromImage(image, '4');
  if (p.width % 8 != 0)
    for (int y = 0; y < p.height; ++y)
      p.row(y)[p.rowBytes() - 1] &= uint8_t(0xFF00 >> (p.width % 8));
  return p;
}

// Classes that take equal shapes only: no error pixels allowed and no dilation.
void setExactClasses(NorvEncState *e) {
  const float exact = 1.0f;
  const int32_t none = 0;
  ASSERT_EQ(
      norv_setTokenOptions(e, nullptr, &exact, &none, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr, nullptr, nullptr, nullptr, &none, nullptr, nullptr),
      0);
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
  // The three test pages the document tests cycle through: 200 dpi equations, a picture page and
  // text.
  std::array<const TcImage *, 3> threeSources() {
    return {source("p13_t200_eqn-2.tif"), source("p14_t200_pic-2.tif"),
            source("p12_t200_bash-64.tif")};
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
    if (d->page != nullptr) page = enctest::pnmOfDecodedPage(d->page);
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
      const long wrong = norvtest::differingPixels(own, page.model);
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

  // A colour page's text components (two shapes in several colours and a dot), the page they
  // make as a bilevel model, their colours, and a grey image of the page dark where the ink is.
  struct ColourPage {
    Pnm model;
    std::vector<QtzSCTextComponent> components;
    std::vector<std::array<uint8_t, 3>> colours;
    QtzImage *grey = nullptr;
  };
  ColourPage colourPage();
  void expectColourPage(bool withGrey);

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
  const std::array<const TcImage *, 3> pages = threeSources();
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
  build(setExactClasses);
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

// A colour page's text components: two shapes repeated in several colours and a dot kept as a
// small token. The page is one text region; the colours follow the JBIG2 bytes. With a grey
// image (dark where the ink is) the class templates rebuilt from it are the shapes again.
TEST_F(AssemblyTest, ColourTokensDecodeWithTheirColoursBehindThePage) {
  for (const bool withGrey : {false, true}) {
    SCOPED_TRACE(withGrey ? "grey templates" : "plain");
    expectColourPage(withGrey);
    if (HasFatalFailure()) return;
    ASSERT_EQ(destroyEncoder(enc_), 0);
    enc_ = nullptr;
    coded_.clear();
  }
}

// Every allocation failing in turn while a colour page with a grey image is added: each failed
// run leaves nothing behind, the classes taken out for the grey samples included (put back, or
// freed when putting them back fails).
TEST_F(AssemblyTest, ColourTokensWithEveryAllocationFailingLeaveNothingBehind) {
  bool finished = false;
  for (long k = 1; k < 20000 && !finished; ++k) {
    SCOPED_TRACE(k);
    build(setExactClasses);
    if (HasFatalFailure()) return;
    ColourPage c = colourPage();
    ASSERT_NE(c.grey, nullptr);
    const NorvPageSource page{nullptr, 200, 100, 0, 300, 300};
    uint8_t overflow = 1;
    norvtest::heap.failAt = norvtest::heap.requests + k;
    const int32_t added = addColorTokensPage(
        enc_, c.components.data(), int32_t(c.components.size()), &page, c.grey, &overflow);
    finished = norvtest::heap.requests < norvtest::heap.failAt;
    norvtest::heap.failAt = -1;
    EXPECT_EQ(added == 0, finished);
    for (const QtzSCTextComponent &component : c.components)
      if (component.bitmap != nullptr) QtzImage_free(component.bitmap);
    QtzImage_free(c.grey);
    ASSERT_EQ(destroyEncoder(enc_), 0);
    enc_ = nullptr;
  }
  EXPECT_TRUE(finished);
}

AssemblyTest::ColourPage AssemblyTest::colourPage() {
  ColourPage c;
  struct Placed {
    int shape;
    int32_t x, y;
    uint8_t r, g, b;
  };
  const Placed placed[] = {{0, 10, 10, 255, 0, 0},  {0, 40, 12, 255, 0, 0},  {1, 70, 30, 0, 0, 255},
                           {0, 100, 50, 0, 128, 0}, {1, 150, 70, 0, 0, 255}, {2, 190, 5, 9, 9, 9}};
  const int sizes[3][2] = {{8, 10}, {12, 9}, {3, 3}};
  auto on = [](int shape, int x, int y) { return shape == 2 || (x * 5 + y * 3 + shape) % 4 < 2; };
  Pnm &model = c.model;
  model.kind = '4';
  model.width = 200;
  model.height = 100;
  model.raster.assign(size_t(model.rowBytes()) * model.height, 0);
  for (const Placed &p : placed) {
    const int w = sizes[p.shape][0], h = sizes[p.shape][1];
    QtzImage *bitmap = nullptr;
    EXPECT_EQ(QtzImage_new(state_, QTZ_IMAGE_PACKED, w, h, &bitmap), 0);
    if (bitmap == nullptr) continue;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (on(p.shape, x, y)) {
          bitmap->rows[y][(x / 32) * 4 + 3 - (x % 32) / 8] |= uint8_t(0x80 >> (x % 8));
          model.row(p.y + y)[(p.x + x) / 8] |= uint8_t(0x80 >> ((p.x + x) % 8));
        }
    c.components.push_back(QtzSCTextComponent{bitmap, p.x, p.y, p.r, p.g, p.b});
    c.colours.push_back({p.r, p.g, p.b});
  }
  EXPECT_EQ(QtzImage_new(state_, QTZ_IMAGE_GREY8, model.width, model.height, &c.grey), 0);
  if (c.grey != nullptr)
    for (int y = 0; y < model.height; ++y)
      for (int x = 0; x < model.width; ++x)
        c.grey->rows[y][x] = (model.row(y)[x / 8] >> (7 - x % 8)) & 1 ? 20 : 235;
  return c;
}

void AssemblyTest::expectColourPage(bool withGrey) {
  build(setExactClasses);
  if (HasFatalFailure()) return;
  ColourPage c = colourPage();
  ASSERT_NE(c.grey, nullptr);
  const Pnm &model = c.model;
  std::vector<QtzSCTextComponent> &components = c.components;
  std::vector<std::array<uint8_t, 3>> &colours = c.colours;
  QtzImage *grey = c.grey;
  const NorvPageSource page{nullptr, 200, 100, 0, 300, 300};
  uint8_t overflow = 1;
  const int32_t added = withGrey
                            ? addColorTokensPage(enc_, components.data(),
                                                 int32_t(components.size()), &page, grey, &overflow)
                            : addColorTokensPagePlain(enc_, components.data(),
                                                      int32_t(components.size()), &page, &overflow);
  QtzImage_free(grey);
  ASSERT_EQ(added, 0);
  EXPECT_EQ(overflow, 0);
  for (const QtzSCTextComponent &component : components) EXPECT_EQ(component.bitmap, nullptr);
  ASSERT_EQ(closeSection(enc_, NORV_CLOSE_FINAL), 0);
  if (withGrey) {
    ASSERT_EQ(refineClassTemplates(enc_), 0);
  }
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

TEST_F(AssemblyTest, DeskewedTokensComeOutLevel) {
  // Two pages whose rows of dashes, rule and large box rise by one degree: the tokens are
  // placed level, the rule and the box (larger than the page's threshold of about 114 pixels)
  // are turned, the box in a page dictionary of its own on each page. Both decoders agree and
  // the decoded page measures level.
  build([](NorvEncState *e) {
    const uint8_t on = 1;
    ASSERT_EQ(norv_setGeneralEncOptions(e, nullptr, &on, nullptr, nullptr, nullptr, nullptr,
                                        nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                        nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              0);
  });
  if (HasFatalFailure()) return;
  const double slope = std::tan(0.0174533);
  auto risingPage = [&](Pixr *p) {
    const int height = p->height;
    auto set = [&](int x, int y) {
      const int yy = y - int(std::lround(x * slope));
      if (yy >= 0 && yy < height) norvtest::setPixel(p, x, yy, 1);
    };
    for (int row = 0; row < 30; ++row)
      for (int x = 40; x + 12 < 1600; x += 16)
        for (int dy = 0; dy < 5; ++dy)
          for (int dx = 0; dx < 12; ++dx) set(x + dx, 100 + 25 * row + dy);
    for (int x = 100; x < 1300; ++x)
      for (int t = 0; t < 4; ++t) set(x, 900 + t);
    for (int i = 0; i < 150; ++i)
      for (int t = 0; t < 4; ++t) {
        set(1400 + i, 920 + t), set(1400 + i, 1066 + t);
        set(1400 + t, 920 + i), set(1546 + t, 920 + i);
      }
  };
  for (int k = 0; k < 2; ++k) {
    Pixr *page = drawnPage(1700, 1100, risingPage);
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(add(page, 200));
    EXPECT_NEAR(enc_->doc->section->pages[k].skewAngle, 0.0174533f, 0.002f);
  }
  endSection(NORV_CLOSE_FINAL);
  ASSERT_EQ(coded_.size(), 2u);
  TclyDeskewContext *context = nullptr;
  ASSERT_EQ(tclyCreateDeskewContext(state_, 3, 0, &context), 0);
  for (const CodedPage &page : coded_) {
    int pageDictionaries = 0;
    for (const Segment &g : segmentsOf(page.stream)) pageDictionaries += g.type == 0;
    EXPECT_GE(pageDictionaries, 1);
    const Pnm own = decodeOwn(page.stream);
    if (norvtest::toolAvailable("jbig2dec")) {
      EXPECT_TRUE(decodeJbig2dec(page.stream) == own);
    }
    pxl::OwnedImage decoded(state_->ipwContext,
                            norvtest::imageFromPnm(state_->ipwContext, own, 200));
    ASSERT_NE(decoded.get(), nullptr);
    float angle = 1.0f;
    ASSERT_EQ(measurePageSkew(context, decoded.get(), &angle), 0);
    EXPECT_LT(std::fabs(angle), 0.003f);
    // About as much ink as the source.
    long ink = 0, sourceInk = 0;
    for (uint8_t b : own.raster) ink += __builtin_popcount(b);
    for (uint8_t b : page.model.raster) sourceInk += __builtin_popcount(b);
    EXPECT_NEAR(double(ink), double(sourceInk), 0.05 * double(sourceInk));
  }
  tclyFreeDeskewContext(&context);
}

// The outline of a width x height box at (x0, y0), with a bar across its row `bar` (none when
// outside the box).
void drawBox(Pixr *p, int x0, int y0, int width, int height, int bar) {
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (x == 0 || x == width - 1 || y == 0 || y == height - 1 || y == bar)
        norvtest::setPixel(p, x0 + x, y0 + y, 1);
}

// A 9 x 12 box with a bar at a row of its kind (0, 1, 2, ...) drawn at (x0, y0).
void drawShape(Pixr *p, int kind, int x0, int y0) {
  drawBox(p, x0, y0, 9, 12, 3 + 3 * kind);
}

TEST_F(AssemblyTest, SymbolsOfOnePageGoToThatPagesDictionary) {
  // Shape A on both pages, shape B twice on the first page only, shape C once on the second.
  // A final end codes A in the section dictionary and B and C in their pages' dictionaries; a
  // flush carries its classes, so B (two members) joins the section dictionary. A section
  // whose symbols are all page-private writes no dictionary bytes. (Pages of 400 x 200: the
  // shapes stay below a tenth of the page, so they are tokens, not generic regions.)
  struct Case {
    int32_t mode;
    int32_t sectionSymbols;
    int32_t firstPageSymbols;
  };
  for (const Case c : {Case{NORV_CLOSE_FINAL, 1, 1}, Case{NORV_CLOSE_FLUSH, 2, 0}}) {
    SCOPED_TRACE(c.mode);
    build([](NorvEncState *e) {
      const float exact = 1.0f;
      const int32_t none = 0;
      ASSERT_EQ(norv_setTokenOptions(e, nullptr, &exact, &none, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &none,
                                     nullptr, nullptr),
                0);
    });
    if (HasFatalFailure()) return;
    Pixr *first = drawnPage(400, 200, [&](Pixr *p) {
      drawShape(p, 0, 5, 5);
      drawShape(p, 1, 30, 5);
      drawShape(p, 1, 50, 20);
    });
    Pixr *second = drawnPage(400, 200, [&](Pixr *p) {
      drawShape(p, 0, 60, 10);
      drawShape(p, 2, 10, 20);
    });
    ASSERT_TRUE(first && second);
    ASSERT_TRUE(add(first, 300));
    ASSERT_TRUE(add(second, 300));
    ASSERT_EQ(closeSection(enc_, c.mode), 0);
    uint8_t *data = nullptr;
    size_t length = 0;
    ASSERT_EQ(encodeSectionGlobals(enc_, 1, &data, &length), 0);
    EXPECT_GT(length, 0u);
    qtz::release(enc_->state, data);
    EXPECT_EQ(enc_->sectionSymbolCount, c.sectionSymbols);
    EXPECT_EQ(enc_->pageSymbols[0].count, c.firstPageSymbols);
    EXPECT_EQ(enc_->pageSymbols[1].count, 1);
    ASSERT_EQ(destroyEncoder(enc_), 0);
    enc_ = nullptr;
    pending_.clear();
  }
  buildLossless();
  if (HasFatalFailure()) return;
  ASSERT_TRUE(add(drawnPage(400, 200, [&](Pixr *p) { drawShape(p, 0, 5, 5); }), 300));
  ASSERT_EQ(closeSection(enc_, NORV_CLOSE_FINAL), 0);
  uint8_t *data = nullptr;
  size_t length = 1;
  ASSERT_EQ(encodeSectionGlobals(enc_, 1, &data, &length), 0);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(data, nullptr);
  pending_.clear();
}

// What a page (added by `addPage` to a fresh encoder with exact classes in the output mode; with
// `wholePageLimit` only components beyond the page size become generic regions, not those beyond
// a tenth of it) is coded as: the symbols of its dictionaries, the instances of its text
// regions and its generic regions; the page decodes exactly.
struct Coded {
  uint32_t symbols, instances, regions;
  bool operator==(const Coded &) const = default;
};

void PrintTo(const Coded &c, std::ostream *os) {
  *os << c.symbols << " symbols, " << c.instances << " instances, " << c.regions << " regions";
}

class FoldTest : public AssemblyTest {
 protected:
  Coded codedAs(int32_t outputMode, const std::function<bool()> &addPage,
                bool wholePageLimit = false) {
    build([&](NorvEncState *e) {
      setExactClasses(e);
      uint8_t noTenth = wholePageLimit ? 1 : 0;
      ASSERT_EQ(norv_setGeneralEncOptions(e, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                          &outputMode, nullptr, &noTenth, nullptr, nullptr, nullptr,
                                          nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
                0);
    });
    Coded coded{};
    if (HasFatalFailure() || !addPage()) {
      ADD_FAILURE() << "page not added";
      return coded;
    }
    endSection(NORV_CLOSE_FINAL);
    EXPECT_EQ(coded_.size(), 1u);
    for (const Segment &g : segmentsOf(coded_.at(0).stream)) {
      auto be32 = [&](size_t i) {
        return uint32_t{g.data.at(i)} << 24 | uint32_t{g.data.at(i + 1)} << 16 |
               uint32_t{g.data.at(i + 2)} << 8 | g.data.at(i + 3);
      };
      const bool huffman = outputMode != 3;
      if (g.type == 0) coded.symbols += be32(huffman ? 6 : 8);
      if (g.type == 6) coded.instances += be32(huffman ? 21 : 19);
      coded.regions += g.type == 38;
    }
    expectDecoded();
    EXPECT_EQ(destroyEncoder(enc_), 0);
    enc_ = nullptr;
    coded_.clear();
    carried_.clear();
    return coded;
  }
};

// With MMR coding, a symbol that one instance alone uses and whose box lies inside one of the
// page's generic regions is drawn into that region (it leaves the page dictionary and its
// instance the text regions): a frame larger than a tenth of the page is a generic region; of
// the shapes inside it, one used once folds and one used twice stays a symbol, and a single
// shape outside it stays a symbol (alone on its line, a region of its own would cost more).
// Arithmetic coding folds nothing.
TEST_F(FoldTest, SingleShapesInsideGenericRegionsFoldIntoThemWithMmr) {
  auto page = [&] {
    return add(drawnPage(400, 200,
                         [](Pixr *p) {
                           drawBox(p, 20, 20, 360, 161, -1);
                           drawShape(p, 0, 40, 40);
                           drawShape(p, 0, 100, 60);
                           drawShape(p, 1, 200, 100);
                           drawShape(p, 2, 390, 5);
                         }),
               300);
  };
  EXPECT_EQ(codedAs(2, page), (Coded{2, 3, 1}));
  EXPECT_EQ(codedAs(3, page), (Coded{3, 4, 1}));
}

// On scanned text most shapes are used once: with MMR coding the lines of a cut of a 100 dpi
// book page (its words are symbols, not generic regions, with the limit at the page size) code
// them in generic regions of their own, where MMR takes fewer bytes than their symbols would;
// the shapes used several times stay symbols. Arithmetic coding folds nothing.
TEST_F(FoldTest, SingleShapesOfScannedLinesGoToGenericRegionsWithMmr) {
  auto page = [&] {
    const TcImage *cut = source("s01_cavalerie-29-cut.tif");
    return cut != nullptr && add(cut);
  };
  const Coded arithmetic = codedAs(3, page, true);
  const Coded mmr = codedAs(2, page, true);
  EXPECT_EQ(arithmetic.regions, 0u);
  EXPECT_GE(mmr.regions, 1u);
  EXPECT_GT(mmr.symbols, 0u);
  EXPECT_LT(mmr.symbols * 2, arithmetic.symbols);
  EXPECT_LT(mmr.instances * 2, arithmetic.instances);
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
  const std::array<const TcImage *, 3> pages = threeSources();
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

TEST_F(AssemblyTest, EveryAllocationFailureOfAWholeRunIsUnwound) {
  // Build, two small pages (a shared shape, a page-private one, dots, a rule), a flush, one
  // more page, a final end, every page encoded, destroy: with the n-th allocation failing the
  // step that meets it fails and destroying the encoder leaves nothing behind.
  NorvEncState *e = nullptr;
  ASSERT_EQ(norv_initEncState(state_, &e), 0);
  const NorvTokenGroup tokens = norvTokenGroupOf(*e);
  const TokOptions lossy = norvLossyGroupOf(*e);
  ASSERT_EQ(norv_cleanEncState(state_, &e), 0);
  auto draw = [](int variant) {
    return [variant](Pixr *p) {
      for (int k = 0; k < 3; ++k)
        for (int y = 0; y < 9; ++y)
          for (int x = 0; x < 7; ++x)
            if (x == 0 || y == 8 || (x + y + variant * k) % 5 == 0)
              norvtest::setPixel(p, 5 + 12 * k, 3 + y, 1);
      for (int x = 0; x < 60; ++x) norvtest::setPixel(p, 50 + x, 20, 1);
      norvtest::setPixel(p, 2, 30, 1);
    };
  };
  Pixr *pages[] = {drawnPage(120, 40, draw(0)), drawnPage(120, 40, draw(1))};
  ASSERT_TRUE(pages[0] && pages[1]);
  auto run = [&](NorvEncoder *encoder) -> bool {
    auto addPage = [&](Pixr *image) {
      const NorvPageSource page{image->framedData,  image->width, image->height,
                                image->bytesPerRow, 300,          300};
      uint8_t overflow = 0;
      return addBilevelPage(encoder, &page, &overflow) == 0;
    };
    auto encode = [&](int32_t mode) {
      uint8_t *data = nullptr;
      size_t length = 0, payload = 0;
      if (closeSection(encoder, mode) != 0) return false;
      const int32_t pagesOfSection = encoder->section->pageCount;
      if (encodeSectionGlobals(encoder, 1, &data, &length) != 0) return false;
      qtz::release(encoder->state, data);
      for (int32_t k = 0; k < pagesOfSection; ++k) {
        if (encodeSectionPages(encoder, &data, &length, &payload) != 0) return false;
        qtz::release(encoder->state, data);
      }
      return startEncoderSection(encoder) == 0;
    };
    return startEncoderSection(encoder) == 0 && addPage(pages[0]) && addPage(pages[1]) &&
           encode(NORV_CLOSE_FLUSH) && addPage(pages[0]) && encode(NORV_CLOSE_FINAL);
  };
  const long attempts = norvtest::failEachRequest([&](long) {
    NorvEncoder *encoder = nullptr;
    if (buildEncoder(&encoder, &norvtest::kTrackingHooks, nullptr, &tokens, &lossy, nullptr,
                     nullptr) != 0)
      return false;
    const bool done = run(encoder);
    EXPECT_EQ(destroyEncoder(encoder), 0);
    return done;
  });
  EXPECT_GT(attempts, 50);
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
