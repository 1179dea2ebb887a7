// MrcIo over documents written by the container library: page and layer counts, band counts,
// kinds, geometry, strip bytes, global data and the two payload readers, checked against the
// plan each document was written from and, for the strips of a page's main IFD, against
// libtiff's raw strips.
#include <gtest/gtest.h>
#include <tiffio.h>

#include "mrc_io.h"
#include "mrc_writer.h"
#include "testkit_files.h"

namespace ctl {
namespace {

using ctl_test::Bytes;
using ctl_test::IfdPlan;
using ctl_test::pattern;
using norvtest::TempFile;

// An open stream with an adapter over it.
class OpenIo {
 public:
  explicit OpenIo(const std::string &path) : stream_(fopen(path.c_str(), "rb")) {
    EXPECT_NE(stream_, nullptr);
    io_ = std::make_unique<MrcIo>(stream_);
  }
  ~OpenIo() {
    io_.reset();
    if (stream_ != nullptr) fclose(stream_);
  }
  MrcIo &operator*() { return *io_; }
  MrcIo *operator->() { return io_.get(); }

 private:
  FILE *stream_;
  std::unique_ptr<MrcIo> io_;
};

IfdPlan jbig2Mask(uint32_t width, uint32_t height, Bytes globals, std::vector<uint32_t> refs,
                  Bytes coded, Bytes payload) {
  IfdPlan p;
  p.layer = 2;
  p.colourKind = 1;
  p.width = width;
  p.height = height;
  p.bits = ctl_test::kJbig2Bits;
  p.globals = std::move(globals);
  p.refs = std::move(refs);
  p.coded = std::move(coded);
  p.payload = std::move(payload);
  return p;
}

IfdPlan jpegLayer(uint32_t layer, uint32_t x, uint32_t y, uint32_t res, uint32_t width,
                  uint32_t height, Bytes data) {
  IfdPlan p;
  p.layer = layer;
  p.x = x;
  p.y = y;
  p.res = res;
  p.width = width;
  p.height = height;
  p.strips = {std::move(data)};
  return p;
}

// The three pages of an encoder's kind-13 document: a JBIG2 mask sharing global data with the
// next page and carrying a colour payload, over a 100 dpi background; a mask naming two global
// blocks with a 150 dpi foreground placed inside the page; a page of one colour layer.
class EncoderPagesTest : public testing::Test {
 protected:
  void SetUp() override {
    ids = ctl_test::writeMrc(path.name(), 13,
                             {{jbig2Mask(640, 200, g0, {0}, coded0, payload0),
                               jpegLayer(1, 0, 0, 100, 214, 67, background0)},
                              {jbig2Mask(640, 200, g1, {0, 1}, coded1, {}),
                               jpegLayer(3, 32, 48, 150, 100, 50, foreground1)},
                              {jpegLayer(1, 0, 0, 300, 640, 200, background2)}});
    ASSERT_EQ(ids.size(), 2u);
  }

  TempFile path{"encoder_pages"};
  const Bytes g0 = pattern(40, 1), g1 = pattern(23, 2);
  const Bytes coded0 = pattern(120, 3), payload0 = pattern(30, 4), background0 = pattern(300, 5);
  const Bytes coded1 = pattern(77, 6), foreground1 = pattern(99, 7), background2 = pattern(500, 8);
  std::vector<uint32_t> ids;
};

TEST_F(EncoderPagesTest, LayersAndTheirKindsAndGeometry) {
  OpenIo io(path.name());
  ASSERT_TRUE(io->HasDocument());
  EXPECT_EQ(io->GetPageCount(), 3u);
  struct Row {
    uint32_t page, layer, bands;
    BandKind kind;
    ColourKind colour;
    LongPair position, size, resolution;
  };
  const Row rows[] = {
      {0, 1, 1, BandKind::Jpeg, ColourKind::ItuLab, {0, 0}, {214, 67}, {100, 100}},
      {0, 2, 1, BandKind::Jbig2, ColourKind::WhiteIsZero, {0, 0}, {640, 200}, {300, 300}},
      {0, 3, 1, BandKind::Jbig2, ColourKind::Rgb, {0, 0}, {640, 200}, {300, 300}},
      // Page 1 has no background: layer 1 is there without an IFD.
      {1, 1, 0, BandKind::None, ColourKind::None, kUnknownPair, kUnknownPair, kUnknownPair},
      {1, 2, 1, BandKind::Jbig2, ColourKind::WhiteIsZero, {0, 0}, {640, 200}, {300, 300}},
      {1, 3, 1, BandKind::Jpeg, ColourKind::ItuLab, {32, 48}, {100, 50}, {150, 150}},
      {2, 1, 1, BandKind::Jpeg, ColourKind::ItuLab, {0, 0}, {640, 200}, {300, 300}},
      // Outside the document.
      {2, 2, 0, BandKind::None, ColourKind::None, kUnknownPair, kUnknownPair, kUnknownPair},
      {3, 1, 0, BandKind::None, ColourKind::None, kUnknownPair, kUnknownPair, kUnknownPair},
      {0, 0, 0, BandKind::None, ColourKind::None, kUnknownPair, kUnknownPair, kUnknownPair},
  };
  EXPECT_EQ(io->GetLayerCount(0), 3u);
  EXPECT_EQ(io->GetLayerCount(1), 3u);
  EXPECT_EQ(io->GetLayerCount(2), 1u);
  EXPECT_EQ(io->GetLayerCount(3), 0u);
  for (const Row &r : rows) {
    SCOPED_TRACE(testing::Message() << "page " << r.page << " layer " << r.layer);
    EXPECT_EQ(io->GetBandCount(r.page, r.layer), r.bands);
    EXPECT_EQ(io->GetBandKind(r.page, r.layer), r.kind);
    EXPECT_EQ(io->GetColourKind(r.page, r.layer), r.colour);
    EXPECT_EQ(io->GetLayerPosition(r.page, r.layer), r.position);
    EXPECT_EQ(io->GetLayerSize(r.page, r.layer), r.size);
    EXPECT_EQ(io->GetLayerResolution(r.page, r.layer), r.resolution);
    if (r.bands == 1) {
      EXPECT_EQ(io->GetBandPosition(r.page, r.layer, 0), r.position);
      EXPECT_EQ(io->GetBandSize(r.page, r.layer, 0), r.size);
    }
    // A layer of one band has no band 1.
    EXPECT_EQ(io->GetBandPosition(r.page, r.layer, 1), kUnknownPair);
    EXPECT_EQ(io->GetBandSize(r.page, r.layer, 1), kUnknownPair);
    EXPECT_FALSE(io->ReadBandData(r.page, r.layer, 1));
    EXPECT_EQ(io->GetBandDataSize(r.page, r.layer, 1), 0u);
  }
}

TEST_F(EncoderPagesTest, BandBytesGlobalDataAndPayloads) {
  OpenIo io(path.name());
  // Plain JPEG strips come back as written, with their stored byte count.
  EXPECT_EQ(io->ReadBandData(0, 1, 0), background0);
  EXPECT_EQ(io->GetBandDataSize(0, 1, 0), background0.size());
  EXPECT_EQ(io->ReadBandData(1, 3, 0), foreground1);
  EXPECT_EQ(io->GetBandDataSize(1, 3, 0), foreground1.size());
  EXPECT_EQ(io->ReadBandData(2, 1, 0), background2);

  // JBIG2 masks: the data after the strip's global data indices, and the blocks they name.
  EXPECT_EQ(io->ReadJbig2BandData(0, 2, 0), coded0);
  EXPECT_EQ(io->ReadJbig2BandData(1, 2, 0), coded1);
  GlobalRefs refs;
  ASSERT_TRUE(io->GetBandGlobalRefs(0, 2, 0, &refs));
  EXPECT_EQ(refs.indices, std::vector<uint32_t>{ids[0]});
  // The sizes the strip's references report count each block's 5-byte header; the block read
  // is its data alone.
  EXPECT_EQ(refs.sizes, std::vector<uint32_t>{40 + 5});
  ASSERT_TRUE(io->GetBandGlobalRefs(1, 2, 0, &refs));
  EXPECT_EQ(refs.indices, ids);
  EXPECT_EQ(refs.sizes, (std::vector<uint32_t>{40 + 5, 23 + 5}));
  EXPECT_EQ(io->ReadGlobalData(ids[0]), g0);
  EXPECT_EQ(io->ReadGlobalData(ids[1]), g1);
  EXPECT_FALSE(io->ReadGlobalData(ids[1] + 1));
  // A JPEG layer names no global data.
  ASSERT_TRUE(io->GetBandGlobalRefs(0, 1, 0, &refs));
  EXPECT_TRUE(refs.indices.empty());
  EXPECT_FALSE(io->GetBandGlobalRefs(1, 1, 0, &refs));

  // The colour payload shares the mask's strip and is what follows the mask's bytes.
  EXPECT_EQ(io->ReadColorTokenBandData(0, 3, 0), payload0);
  EXPECT_FALSE(io->ReadColorTokenBandData(1, 3, 0));  // a JPEG layer has no coding options
  EXPECT_FALSE(io->ReadColorTokenBandData(0, 1, 0));
  EXPECT_FALSE(io->ReadJbig2BandData(2, 2, 0));
}

// Layers of one IFD cut into strips, in the single-IFD kinds: one band per strip, the last cut
// to the height; the strips equal libtiff's raw strips of the same directory.
TEST(MrcIoTest, StripsOfOneIfdAreBands) {
  struct Case {
    uint32_t kind, layer, colourKind, bits;
  };
  for (const Case c : {Case{7, 2, 1, ctl_test::kG4Bits}, Case{11, 2, 1, ctl_test::kG4Bits},
                       Case{16, 1, 7, ctl_test::kJpegBits}}) {
    SCOPED_TRACE(testing::Message() << "kind " << c.kind);
    TempFile path("strips");
    IfdPlan p;
    p.layer = c.layer;
    p.colourKind = c.colourKind;
    p.width = 300;
    p.height = 100;
    p.rowsPerStrip = 32;
    p.bits = c.bits;
    for (uint32_t s = 0; s < 4; ++s) p.strips.push_back(pattern(10 + s * 7, s + 20));
    ctl_test::writeMrc(path.name(), c.kind, {{p}});
    OpenIo io(path.name());
    ASSERT_EQ(io->GetBandCount(0, c.layer), 4u);
    EXPECT_EQ(io->GetBandKind(0, c.layer),
              c.bits == ctl_test::kG4Bits ? BandKind::G4 : BandKind::Jpeg);
    EXPECT_EQ(io->GetBandPosition(0, c.layer, 3), (LongPair{0, 96}));
    EXPECT_EQ(io->GetBandSize(0, c.layer, 3), (LongPair{300, 4}));
    EXPECT_EQ(io->GetBandSize(0, c.layer, 1), (LongPair{300, 32}));
    EXPECT_EQ(io->GetBandPosition(0, c.layer, 4), kUnknownPair);
    EXPECT_FALSE(io->ReadBandData(0, c.layer, 4));

    TIFF *tiff = TIFFOpen(path.path(), "r");
    ASSERT_NE(tiff, nullptr);
    ASSERT_EQ(TIFFNumberOfStrips(tiff), 4u);
    for (uint32_t b = 0; b < 4; ++b) {
      Bytes raw(TIFFRawStripSize(tiff, b));
      ASSERT_EQ(TIFFReadRawStrip(tiff, b, raw.data(), static_cast<tmsize_t>(raw.size())),
                static_cast<tmsize_t>(raw.size()));
      EXPECT_EQ(raw, p.strips[b]);
      EXPECT_EQ(io->ReadBandData(0, c.layer, b), raw) << "band " << b;
      EXPECT_EQ(io->GetBandDataSize(0, c.layer, b), raw.size());
    }
    TIFFClose(tiff);
  }
}

// A layer of several IFDs (stripes) has one band per IFD, each at its own place.
TEST(MrcIoTest, StripesOfALayerAreBands) {
  TempFile path("stripes");
  const Bytes top = pattern(64, 30), bottom = pattern(65, 31);
  ctl_test::writeMrc(
      path.name(), 13,
      {{jbig2Mask(640, 200, pattern(10, 32), {0}, pattern(50, 33), {}),
        jpegLayer(3, 64, 0, 300, 320, 100, top), jpegLayer(3, 64, 100, 300, 320, 100, bottom)}});
  OpenIo io(path.name());
  ASSERT_EQ(io->GetBandCount(0, 3), 2u);
  EXPECT_EQ(io->GetBandPosition(0, 3, 0), (LongPair{64, 0}));
  EXPECT_EQ(io->GetBandPosition(0, 3, 1), (LongPair{64, 100}));
  EXPECT_EQ(io->GetBandSize(0, 3, 1), (LongPair{320, 100}));
  EXPECT_EQ(io->GetLayerSize(0, 3), (LongPair{320, 200}));
  EXPECT_EQ(io->ReadBandData(0, 3, 0), top);
  EXPECT_EQ(io->ReadBandData(0, 3, 1), bottom);
  EXPECT_EQ(io->GetBandPosition(0, 3, 2), kUnknownPair);
  EXPECT_FALSE(io->ReadBandData(0, 3, 2));
}

}  // namespace
}  // namespace ctl
