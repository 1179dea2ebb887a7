// A three-page mixed raster content file (kind 13) written in the encoder's order: JBIG2 masks
// whose referring strips name the global data of two sections, colour payloads described by
// tail-strip IFDs, and foreground and background layers coded as JPEG by libjpeg. The file is read
// back through the library's reading interface (stripes, geometry, coding, coding options, strip
// bytes, global data references and blocks), through the format layer's decoders (every IFD and
// its entries, and the 4-byte alignment of everything the writer placed), through libtiff (pages,
// SubIFDs and their chains, the JPEG layers decoded to the pixels given), and by libtiff's
// tiffinfo and tiffdump.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "jpeg_maker.h"
#include "jpeg_probe.h"
#include "ovr_shared_data_internal.h"
#include "testkit_files.h"
#include "testkit_tools.h"
#include "write_scenario.h"
#include "write_test_support.h"

namespace {

namespace fs = std::filesystem;
using ovr_test::ColourLayer;
using ovr_test::FileView;
using ovr_test::PagePlan;

struct Image {
  unsigned width = 0;
  unsigned height = 0;
  std::vector<uint8_t> pixels;  // rows of three components
};

// Smooth ramps, which JPEG keeps within a few levels.
Image ramps(unsigned width, unsigned height, unsigned seed) {
  Image im{width, height, std::vector<uint8_t>(3ull * width * height)};
  for (unsigned y = 0; y < height; ++y) {
    for (unsigned x = 0; x < width; ++x) {
      uint8_t *p = &im.pixels[3ull * (y * width + x)];
      p[0] = static_cast<uint8_t>(x * 255 / width);
      p[1] = static_cast<uint8_t>((y * 255 / height + seed * 40) % 256);
      p[2] = static_cast<uint8_t>(128 + seed * 9);
    }
  }
  return im;
}

std::vector<uint8_t> bytes(size_t n, unsigned seed) {
  std::vector<uint8_t> b(n);
  uint32_t v = seed * 2654435761u + 1;
  for (auto &c : b) c = static_cast<uint8_t>((v = v * 1103515245u + 12345u) >> 16);
  return b;
}

// One IFD as the file must hold it.
struct Expected {
  uint32_t page = 0;
  uint32_t layer = 0;
  uint32_t order = 0;  // ImageLayer's, from 1
  uint32_t x = 0, y = 0, res = 300, width = 0, height = 0;
  uint16_t compression = 0;
  uint16_t photometric = 0;
  std::vector<uint8_t> strip;
  bool hasOptions = false;
  uint32_t options = 0;
  const Image *image = nullptr;  // the pixels of a JPEG layer
  uint32_t coded = 0;            // bytes of coded mask data in a referring strip
};

std::vector<uint8_t> referringHeader(const std::vector<uint32_t> &ids, uint32_t length) {
  std::vector<uint8_t> h = {0, static_cast<uint8_t>(ids.size()), 0};
  auto put32 = [&h](uint32_t v) {
    for (int i = 0; i < 4; ++i) h.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  for (uint32_t id : ids) put32(id);
  put32(length);
  return h;
}

class WriteRoundTrip : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    images_ = new std::vector<Image>{ramps(96, 64, 1), ramps(864, 40, 2), ramps(64, 48, 3),
                                     ramps(200, 30, 4), ramps(200, 30, 5)};
    std::vector<std::vector<uint8_t>> jpegs;
    for (const Image &im : *images_) {
      jpegs.push_back(ovr_test::encodeJpeg(im.pixels, im.width, im.height, 90));
    }
    globals_ = new std::vector<std::vector<uint8_t>>{bytes(301, 7), bytes(57, 8)};

    std::vector<PagePlan> pages(3);
    pages[0].height = 120;
    pages[0].mask = bytes(45, 1);
    pages[0].payload = bytes(33, 2);
    pages[0].globals = (*globals_)[0];
    pages[0].colours = {{3, 100, 20, 300, 96, 64, jpegs[0]}, {1, 0, 0, 100, 864, 40, jpegs[1]}};
    pages[1].height = 90;
    pages[1].mask = bytes(18, 3);
    pages[1].colours = {{3, 0, 0, 300, 64, 48, jpegs[2]}};
    pages[2].height = 60;
    pages[2].mask = bytes(27, 4);
    pages[2].payload = bytes(11, 5);
    pages[2].globals = (*globals_)[1];
    pages[2].colours = {{3, 40, 0, 300, 200, 30, jpegs[3]}, {3, 40, 30, 300, 200, 30, jpegs[4]}};

    expected_ = new std::vector<Expected>;
    std::vector<uint32_t> ids;
    const Image *next = images_->data();
    for (uint32_t p = 0; p < pages.size(); ++p) {
      const PagePlan &plan = pages[p];
      if (!plan.globals.empty()) ids.push_back(static_cast<uint32_t>(ids.size()));
      std::vector<uint8_t> strip = referringHeader(ids, static_cast<uint32_t>(plan.mask.size()));
      strip.insert(strip.end(), plan.mask.begin(), plan.mask.end());
      Expected mask{p, 2, 1, 0, 0, 300, plan.width, plan.height, 34715, 0, strip, true, 0};
      mask.coded = static_cast<uint32_t>(plan.mask.size());
      uint32_t layer3 = 0;
      if (!plan.payload.empty()) {
        mask.options = ovr::kOptionSharedTailStrip;
        Expected tail = mask;
        tail.layer = 3;
        tail.photometric = 2;
        tail.options = ovr::kOptionTailBytes;
        tail.strip.insert(tail.strip.end(), plan.payload.begin(), plan.payload.end());
        expected_->push_back(tail);
        layer3 = 1;
      }
      expected_->push_back(mask);
      for (const ColourLayer &c : plan.colours) {
        const uint32_t order = c.layer == 3 ? ++layer3 : 1;
        expected_->push_back(Expected{p, c.layer, order, c.x, c.y, c.res, c.width, c.height, 7, 10,
                                      c.jpeg, false, 0, next++});
      }
    }

    written_ = new norvtest::TempFile("ovr_written");
    path_ = new std::string(written_->name());
    FILE *file = std::fopen(path_->c_str(), "w+b");
    ASSERT_NE(file, nullptr);
    OvrHookedFile hooked{file, 0, &ovr_test::kStdioHooks};
    ovr_test::TestContext ctx;
    OvrDocHandle *doc = nullptr;
    ASSERT_EQ(ovrCreateDocument(ctx.get(), 13, &hooked, 0, 0, fileHookRead, fileHookWrite,
                                fileHookSeek, fileHookSeekEnd, fileHookTell, &doc),
              OVR_OK);
    for (const ovr_test::Call &c : ovr_test::writePages(doc, pages)) {
      EXPECT_EQ(c.status, OVR_OK) << c.name;
    }
    EXPECT_EQ(ovrCloseDocument(doc), OVR_OK);
    ASSERT_EQ(std::fclose(file), 0);
    file_ = new std::vector<uint8_t>(norvtest::readFile(*path_));
  }
  static void TearDownTestSuite() {
    delete written_;
    delete path_;
    delete file_;
    delete expected_;
    delete globals_;
    delete images_;
  }

  // Each IFD's offset with what it must hold, found by the format layer through its page and
  // ImageLayer.
  static std::map<uint64_t, const Expected *> ifdsByOffset() {
    FileView view(*file_);
    std::map<uint64_t, const Expected *> found;
    const auto pages = pageIfds(view);
    for (uint32_t p = 0; p < pages.size(); ++p) {
      for (uint32_t at : pages[p]) {
        auto d = view.dir(at);
        for (const Expected &x : *expected_) {
          if (x.page == p && x.layer == d->imageLayer[0] && x.order == d->imageLayer[1]) {
            found[at] = &x;
          }
        }
      }
    }
    return found;
  }

  // The IFDs of each page: its primary IFD, then every chain hanging from its SubIFDs.
  static std::vector<std::vector<uint32_t>> pageIfds(FileView &view) {
    std::vector<std::vector<uint32_t>> pages;
    for (uint32_t at = view.firstIfd(); at != 0 && pages.size() < 10;) {
      ovr::IfdLayout layout;
      auto primary = view.dir(at, &layout);
      std::vector<uint32_t> ifds = {at};
      for (uint64_t s = 0; s < primary->subIfds.size(); ++s) {
        for (uint32_t sub = primary->subIfds[s]; sub != 0 && ifds.size() < 10;) {
          ifds.push_back(sub);
          ovr::IfdLayout l;
          view.dir(sub, &l);
          sub = l.next;
        }
      }
      pages.push_back(ifds);
      at = layout.next;
    }
    return pages;
  }

  static std::vector<Image> *images_;
  static std::vector<std::vector<uint8_t>> *globals_;
  static std::vector<Expected> *expected_;
  static norvtest::TempFile *written_;
  static std::string *path_;
  static std::vector<uint8_t> *file_;
};
std::vector<Image> *WriteRoundTrip::images_ = nullptr;
std::vector<std::vector<uint8_t>> *WriteRoundTrip::globals_ = nullptr;
std::vector<Expected> *WriteRoundTrip::expected_ = nullptr;
norvtest::TempFile *WriteRoundTrip::written_ = nullptr;
std::string *WriteRoundTrip::path_ = nullptr;
std::vector<uint8_t> *WriteRoundTrip::file_ = nullptr;

// Every IFD of every page, found through the page chain and the SubIFDs chains, holds its layer,
// geometry, coding, coding options and strip bytes.
TEST_F(WriteRoundTrip, FormatLayerReadsEveryIfd) {
  std::map<uint64_t, const Expected *> byOffset = ifdsByOffset();
  FileView view(*file_);
  const auto pages = pageIfds(view);
  ASSERT_EQ(pages.size(), 3u);
  size_t found = 0;
  for (uint32_t p = 0; p < pages.size(); ++p) {
    for (uint32_t at : pages[p]) {
      auto d = view.dir(at);
      ASSERT_TRUE(d->has(ovr::Field::ImageLayer));
      const Expected *e = byOffset.count(at) ? byOffset[at] : nullptr;
      ASSERT_NE(e, nullptr) << "page " << p << " layer " << d->imageLayer[0] << " order "
                            << d->imageLayer[1];
      EXPECT_EQ(e->page, p);
      SCOPED_TRACE(testing::Message()
                   << "page " << p << " layer " << e->layer << " order " << e->order);
      ++found;
      EXPECT_EQ(d->width, e->width);
      EXPECT_EQ(d->height, e->height);
      EXPECT_EQ(d->xResolution.num, e->res);
      EXPECT_EQ(d->yResolution.num, e->res);
      EXPECT_EQ(d->compression, e->compression);
      EXPECT_EQ(d->photometric, e->photometric);
      EXPECT_EQ(d->has(ovr::Field::CodingOptions), e->hasOptions);
      EXPECT_EQ(d->codingOptions, e->options);
      if (at == pages[p][0]) {
        EXPECT_EQ(d->newSubfileType, 18u);
        EXPECT_EQ(d->pageNumber[0], p);
        EXPECT_EQ(d->has(ovr::Field::GlobalParametersIfd), p == 0);
      } else {
        EXPECT_EQ(d->newSubfileType, 16u);
        EXPECT_EQ(d->xPosition.num, e->x);
        EXPECT_EQ(d->yPosition.num, e->y);
        EXPECT_EQ(d->xPosition.den, 300u);
      }
      ASSERT_EQ(d->stripOffsets.size(), 1u);
      EXPECT_EQ(d->rowsPerStrip, e->height);
      EXPECT_EQ(view.bytes(d->stripOffsets[0], d->stripByteCounts[0]), e->strip);
    }
  }
  EXPECT_EQ(found, expected_->size());
}

// The global parameters IFD leads to the table chain and the blocks of both sections.
TEST_F(WriteRoundTrip, GlobalDataReadsBack) {
  FileView view(*file_);
  auto primary = view.dir(view.firstIfd());
  auto global = view.dir(primary->globalParametersIfd);
  EXPECT_EQ(global->faxProfile, 255u);
  uint64_t table = global->globalTableOffset;
  for (const std::vector<uint8_t> &block : *globals_) {
    ovr::GlobalTable t;
    ASSERT_EQ(ovr::readGlobalTable(view.reader(), table, &t), OVR_OK);
    ovr::GlobalEntry e;
    ASSERT_EQ(ovr::readGlobalEntry(view.reader(), t, 0, &e), OVR_OK);
    ovr::GlobalBlock b;
    ASSERT_EQ(ovr::locateGlobalBlock(view.reader(), e, &b), OVR_OK);
    EXPECT_EQ(view.bytes(b.dataOffset, b.length), block);
    table = t.next;
  }
  EXPECT_EQ(table, 0u);
}

// Every directory, out-of-line value, strip, global data table and block starts at a multiple of
// 4 (the file's last strip or value may end anywhere).
TEST_F(WriteRoundTrip, EverythingPlacedIsFourAligned) {
  FileView view(*file_);
  std::vector<uint64_t> placed;
  auto addIfd = [&](uint32_t at) {
    placed.push_back(at);
    ovr::IfdLayout layout;
    auto d = view.dir(at, &layout);
    for (uint32_t i = 0; i < layout.count; ++i) {
      const ovr::IfdEntry e = view.entry(at, i);
      const ovr::ValueSpan span = ovr::entryValueSpan(ovr::ByteOrder::Little, e);
      if (!span.inlined) placed.push_back(span.position);
    }
    for (uint64_t s = 0; s < d->stripOffsets.size(); ++s) placed.push_back(d->stripOffsets[s]);
    return d;
  };
  uint32_t global = 0;
  for (const auto &page : pageIfds(view)) {
    for (uint32_t at : page) {
      auto d = addIfd(at);
      if (d->has(ovr::Field::GlobalParametersIfd)) global = d->globalParametersIfd;
    }
  }
  ASSERT_NE(global, 0u);
  auto g = addIfd(global);
  for (uint64_t table = g->globalTableOffset; table != 0;) {
    ovr::GlobalTable t;
    ASSERT_EQ(ovr::readGlobalTable(view.reader(), table, &t), OVR_OK);
    ovr::GlobalEntry e;
    ASSERT_EQ(ovr::readGlobalEntry(view.reader(), t, 0, &e), OVR_OK);
    placed.push_back(table);
    placed.push_back(e.blockOffset);
    table = t.next;
  }
  EXPECT_GT(placed.size(), 40u);
  for (uint64_t at : placed) EXPECT_EQ(at % 4, 0u) << at;
}

// The reading interface finds every stripe of every layer with its geometry, coding and coding
// options, reads back the strip bytes, the global data indices that the referring strips name
// and the blocks they name.
TEST_F(WriteRoundTrip, ReadingInterfaceReadsItBack) {
  FILE *file = std::fopen(path_->c_str(), "rb");
  ASSERT_NE(file, nullptr);
  OvrHookedFile hooked{file, 0, &ovr_test::kStdioHooks};
  ovr_test::TestContext ctx;
  OvrDocHandle *doc = nullptr;
  ASSERT_EQ(ovrOpenDocument(ctx.get(), &hooked, 0, fileHookRead, fileHookWrite, fileHookSeek,
                            fileHookSeekEnd, fileHookTell, &doc),
            OVR_OK);
  ASSERT_NE(doc, nullptr);
  uint8_t headerKind = 0, subKind = 0;
  uint16_t pageCount = 0;
  ASSERT_EQ(ovrGetDocumentInfo(doc, &headerKind, &subKind, &pageCount), OVR_OK);
  EXPECT_EQ(headerKind, 7u);
  EXPECT_EQ(pageCount, 3u);
  size_t seen = 0;
  std::vector<uint32_t> ids;
  for (uint32_t p = 0; p < pageCount; ++p) {
    const uint32_t *counts = nullptr;
    uint32_t layers = 0;
    uint16_t attribute = 0;
    OvrPageHandle *page = nullptr;
    ASSERT_EQ(ovrGetPage(doc, static_cast<int32_t>(p), &counts, &layers, &attribute, &page),
              OVR_OK);
    ASSERT_EQ(layers, 3u);
    if (p != 1) ids.push_back(static_cast<uint32_t>(ids.size()));
    for (uint32_t layer = 1; layer <= layers; ++layer) {
      for (uint32_t stripe = 0; stripe < counts[layer - 1]; ++stripe) {
        SCOPED_TRACE(testing::Message()
                     << "page " << p << " layer " << layer << " stripe " << stripe);
        const Expected *e = nullptr;
        for (const Expected &x : *expected_) {
          if (x.page == p && x.layer == layer && x.order == stripe + 1) e = &x;
        }
        ASSERT_NE(e, nullptr);
        ++seen;
        uint32_t x, y, xRes, yRes, width, height, rowsPerStrip, bits, kind;
        OvrIfdHandle *ifd = nullptr;
        ASSERT_EQ(ovrGetStripeIfd(page, layer, stripe, &x, &y, &xRes, &yRes, &width, &height,
                                  &rowsPerStrip, &bits, &kind, nullptr, &ifd),
                  OVR_OK);
        EXPECT_EQ(x, e->x);
        EXPECT_EQ(y, e->y);
        EXPECT_EQ(xRes, e->res);
        EXPECT_EQ(yRes, e->res);
        EXPECT_EQ(width, e->width);
        EXPECT_EQ(height, e->height);
        EXPECT_EQ(rowsPerStrip, e->height);
        EXPECT_EQ(bits, e->compression == 7 ? ovr::bits::kJpeg : ovr::bits::kJbig2);
        EXPECT_EQ(kind, layer == 2 ? 1u : 7u);
        uint32_t options = 0;
        int32_t present = 0;
        ASSERT_EQ(ovrGetCodingOptions(ifd, &options, &present), OVR_OK);
        EXPECT_EQ(present != 0, e->hasOptions);
        EXPECT_EQ(options, e->options);
        ASSERT_EQ(ovrBeginRead(ifd, 0), OVR_OK);
        uint8_t *buffer = nullptr;
        uint32_t capacity = 0, got = 0;
        ASSERT_EQ(ovrReadStrip(ifd, 0, height, &buffer, &capacity, &got), OVR_OK);
        EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + got), e->strip);
        if (bits == ovr::bits::kJbig2) {
          uint32_t count = 0, payloadSize = 0;
          uint32_t *indices = nullptr;
          const uint8_t *payload = nullptr;
          ASSERT_EQ(ovrParseStripHeader(ifd, buffer, got, &count, &indices, &payload, &payloadSize),
                    OVR_OK);
          EXPECT_EQ(std::vector<uint32_t>(indices, indices + count), ids);
          EXPECT_EQ(payload, buffer + 7 + 4 * ids.size());
          EXPECT_EQ(payloadSize, e->coded);  // the tail's colour bytes follow the coded mask
          if (indices != nullptr) ovrFreeData(ctx.get(), reinterpret_cast<void **>(&indices));
          uint64_t total = 0;
          const uint32_t *refs = nullptr, *sizes = nullptr;
          ASSERT_EQ(ovrGetStripGlobalRefs(ifd, &total, &count, &refs, &sizes), OVR_OK);
          EXPECT_EQ(total, got);
          ASSERT_EQ(count, ids.size());
          for (uint32_t i = 0; i < count; ++i) {
            EXPECT_EQ(refs[i], ids[i]);
            EXPECT_EQ(sizes[i], (*globals_)[ids[i]].size() + 5);
          }
        }
        ovrFreeData(ctx.get(), reinterpret_cast<void **>(&buffer));
        ASSERT_EQ(ovrEndRead(ifd), OVR_OK);
      }
    }
  }
  EXPECT_EQ(seen, expected_->size());
  for (uint32_t i = 0; i < globals_->size(); ++i) {
    uint8_t *data = nullptr;
    uint32_t length = 0, size = 0, entryLong = 0;
    uint16_t entryWord = 0;
    ASSERT_EQ(ovrReadGlobalData(doc, i, &data, &length, &size, &entryWord, &entryLong), OVR_OK);
    EXPECT_EQ(std::vector<uint8_t>(data, data + length), (*globals_)[i]);
    EXPECT_EQ(size, length);
    EXPECT_EQ(entryWord, 0u);
    EXPECT_EQ(entryLong, 0u);
    ovrFreeData(ctx.get(), reinterpret_cast<void **>(&data));
  }
  EXPECT_EQ(ovrCloseDocument(doc), OVR_OK);
  std::fclose(file);
}

int countMessage(TIFF *, void *count, const char *, const char *, va_list) {
  ++*static_cast<int *>(count);
  return 1;
}

// libtiff sees three pages, follows each page's SubIFDs and their chains to every IFD, reads the
// strips raw, and decodes the JPEG layers to the pixels libjpeg decodes from the same data,
// close to the pixels given.
TEST_F(WriteRoundTrip, LibtiffFollowsSubIfdsAndDecodesJpegLayers) {
  std::map<uint64_t, const Expected *> byOffset = ifdsByOffset();
  int errors = 0, warnings = 0;  // warnings: the private tag 34690 is unknown to libtiff
  TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
  TIFFOpenOptionsSetErrorHandlerExtR(options, countMessage, &errors);
  TIFFOpenOptionsSetWarningHandlerExtR(options, countMessage, &warnings);
  TIFF *tif = TIFFOpenExt(path_->c_str(), "r", options);
  TIFFOpenOptionsFree(options);
  ASSERT_NE(tif, nullptr);
  EXPECT_EQ(TIFFNumberOfDirectories(tif), 3u);
  size_t seen = 0;
  size_t decoded = 0;
  for (uint16_t p = 0; p < 3; ++p) {
    ASSERT_EQ(TIFFSetDirectory(tif, p), 1);
    uint16_t slots = 0;
    uint64_t *offsets = nullptr;
    ASSERT_EQ(TIFFGetField(tif, TIFFTAG_SUBIFD, &slots, &offsets), 1);
    const std::vector<uint64_t> subIfds(offsets, offsets + slots);
    EXPECT_EQ(slots, 2u);
    std::vector<toff_t> ifds = {TIFFCurrentDirOffset(tif)};
    for (uint64_t sub : subIfds) {
      if (sub == 0 || !TIFFSetSubDirectory(tif, sub)) continue;
      do ifds.push_back(TIFFCurrentDirOffset(tif));
      while (TIFFReadDirectory(tif) && ifds.size() < 10);
    }
    for (toff_t at : ifds) {
      ASSERT_EQ(TIFFSetSubDirectory(tif, at), 1);
      ASSERT_EQ(byOffset.count(at), 1u) << "page " << p << " IFD at " << at;
      const Expected *e = byOffset[at];
      EXPECT_EQ(e->page, p);
      uint32_t width = 0, height = 0;
      uint16_t compression = 0, photometric = 0;
      TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
      TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
      TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
      TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
      EXPECT_EQ(width, e->width);
      EXPECT_EQ(height, e->height);
      EXPECT_EQ(compression, e->compression);
      EXPECT_EQ(photometric, e->photometric);
      ++seen;
      std::vector<uint8_t> raw(TIFFRawStripSize(tif, 0));
      ASSERT_EQ(TIFFReadRawStrip(tif, 0, raw.data(), raw.size()),
                static_cast<tmsize_t>(raw.size()));
      EXPECT_EQ(raw, e->strip);
      if (e->image == nullptr) continue;
      std::vector<uint8_t> pixels(TIFFStripSize(tif));
      ASSERT_EQ(TIFFReadEncodedStrip(tif, 0, pixels.data(), pixels.size()),
                static_cast<tmsize_t>(e->image->pixels.size()));
      unsigned w = 0, h = 0;
      std::vector<uint8_t> direct;
      ASSERT_TRUE(ovr_test::jpegDecodes(e->strip.data(), e->strip.size(), &w, &h, &direct));
      EXPECT_EQ(pixels, direct);
      long worst = 0;
      for (size_t i = 0; i < pixels.size(); ++i) {
        worst = std::max(worst, std::labs(long{pixels[i]} - e->image->pixels[i]));
      }
      EXPECT_LE(worst, 12);
      ++decoded;
    }
  }
  EXPECT_EQ(seen, expected_->size());
  EXPECT_EQ(decoded, images_->size());
  TIFFClose(tif);
  EXPECT_EQ(errors, 0);
}

// Runs a tool of libtiff on the written file; nothing when the tool is not installed.
std::optional<norvtest::ToolRun> runTool(const std::string &tool, const std::string &arguments) {
  if (!norvtest::toolAvailable(tool)) return std::nullopt;
  return norvtest::runTool(tool + " " + arguments);
}

size_t occurrences(const std::string &text, const std::string &what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// tiffinfo lists the three pages with their SubIFD chains, ImageLayer and the global parameters
// IFD's offset, and meets nothing worse than the unknown private tags.
TEST_F(WriteRoundTrip, TiffinfoListsPagesLayersAndSubIfds) {
  auto run = runTool("tiffinfo", "'" + *path_ + "'");
  if (run == std::nullopt) GTEST_SKIP() << "tiffinfo is not installed";
  EXPECT_EQ(run->status, 0);
  std::istringstream err(run->errors);
  for (std::string line; std::getline(err, line);) {
    EXPECT_NE(line.find("Warning, Unknown field with tag"), std::string::npos) << line;
  }
  for (int p = 0; p < 3; ++p) {
    EXPECT_EQ(occurrences(run->text(), "=== TIFF directory " + std::to_string(p) + " ==="), 1u);
  }
  EXPECT_EQ(occurrences(run->text(), "SubIFD Offsets:"), 3u);
  EXPECT_EQ(occurrences(run->text(), "ImageLayer: 2,1"), 3u);
  EXPECT_EQ(occurrences(run->text(), "ImageLayer: 3,1"), 3u);
  EXPECT_EQ(occurrences(run->text(), "ImageLayer: 3,2"), 2u);
  EXPECT_EQ(occurrences(run->text(), "ImageLayer: 1,1"), 1u);
  EXPECT_EQ(occurrences(run->text(), "Compression Scheme: JPEG"), 5u);
  EXPECT_EQ(occurrences(run->text(), "GlobalParametersIFD:"), 1u);
}

// tiffdump walks the page chain (SubIFDs, the global parameters IFD and ImageLayer in each
// primary IFD), and dumps the global parameters IFD at the offset the first page gives.
TEST_F(WriteRoundTrip, TiffdumpListsPagesAndTheGlobalParametersIfd) {
  auto run = runTool("tiffdump", "'" + *path_ + "'");
  if (run == std::nullopt) GTEST_SKIP() << "tiffdump is not installed";
  EXPECT_EQ(run->status, 0);
  EXPECT_EQ(run->errors, "");
  for (int p = 0; p < 3; ++p) {
    EXPECT_EQ(occurrences(run->text(), "Directory " + std::to_string(p) + ":"), 1u);
  }
  EXPECT_EQ(occurrences(run->text(), "SubIFD (330) IFD (13) 2<"), 3u);
  EXPECT_EQ(occurrences(run->text(), "34732 (0x87ac) LONG (4) 2<2 1>"), 3u);
  const size_t global = run->text().find("400 (0x190) IFD (13) 1<0x");
  ASSERT_NE(global, std::string::npos);
  const unsigned long offset = std::stoul(run->text().substr(global + 25), nullptr, 16);
  auto dump = runTool("tiffdump", "-o " + std::to_string(offset) + " '" + *path_ + "'");
  EXPECT_EQ(dump->status, 0);
  EXPECT_EQ(dump->errors, "");
  for (const char *entry : {"401 (0x191) LONG (4) 1<0>", "402 (0x192) BYTE (1) 1<0xff>",
                            "405 (0x195) BYTE (1) 1<0x2>", "34687 (0x877f) LONG (4) 1<20>",
                            "34688 (0x8780) LONG (4) 1<1952>", "34689 (0x8781) LONG (4) 1<"}) {
    EXPECT_EQ(occurrences(dump->text(), entry), 1u) << entry;
  }
}

}  // namespace
