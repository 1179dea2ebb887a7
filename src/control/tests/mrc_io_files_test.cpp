// MrcIo over files not written by the container library's writer: Decode values and JPEG
// tables set by libtiff, files that are no document, and truncated documents.
#include <gtest/gtest.h>
#include <tiffio.h>

#include "mrc_io.h"
#include "mrc_writer.h"
#include "testkit_files.h"

namespace ctl {
namespace {

using ctl_test::Bytes;
using ctl_test::pattern;
using norvtest::TempFile;

// An 8 x 4 ITULab page with one uncompressed strip and the given Decode values.
void writeItuLab(const std::string &path, const std::vector<float> &decode) {
  TIFF *tiff = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tiff, nullptr);
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, 8);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, 4);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_ITULAB);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 4);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  if (!decode.empty())
    TIFFSetField(tiff, TIFFTAG_DECODE, static_cast<uint16_t>(decode.size()), decode.data());
  const Bytes pixels = pattern(8 * 4 * 3, 40);
  ASSERT_EQ(TIFFWriteEncodedStrip(tiff, 0, const_cast<uint8_t *>(pixels.data()),
                                  static_cast<tmsize_t>(pixels.size())),
            static_cast<tmsize_t>(pixels.size()));
  TIFFClose(tiff);
}

TEST(MrcIoFilesTest, DecodeValuesInFileOrder) {
  TempFile path("itulab");
  const std::vector<float> decode = {0, 100, -85.5f, 84.5f, -75.25f, 124.75f};
  writeItuLab(path.name(), decode);
  FILE *f = fopen(path.path(), "rb");
  {
    MrcIo io(f);
    ASSERT_EQ(io.GetPageCount(), 1u);
    EXPECT_EQ(io.GetColourKind(0, 1), ColourKind::ItuLab);
    EXPECT_EQ(io.GetDecodeValues(0, 1), decode);
    EXPECT_TRUE(io.GetDecodeValues(0, 2).empty());
  }
  fclose(f);

  writeItuLab(path.name(), {});
  f = fopen(path.path(), "rb");
  {
    MrcIo io(f);
    EXPECT_TRUE(io.GetDecodeValues(0, 1).empty());
  }
  fclose(f);
}

// A JPEG strip of an IFD with JPEGTables is read with the tables merged in: more bytes than
// the strip stores, one whole JPEG stream.
TEST(MrcIoFilesTest, JpegStripComesWithItsTables) {
  FILE *f = fopen(NORV_TEST_DATA "/rgb_jpeg_be.tif", "rb");
  ASSERT_NE(f, nullptr);
  {
    MrcIo io(f);
    ASSERT_EQ(io.GetPageCount(), 1u);
    ASSERT_EQ(io.GetBandKind(0, 1), BandKind::Jpeg);
    ASSERT_GE(io.GetBandCount(0, 1), 1u);
    const uint64_t stored = io.GetBandDataSize(0, 1, 0);
    const std::optional<Block> data = io.ReadBandData(0, 1, 0);
    ASSERT_TRUE(data);
    EXPECT_GT(data->size(), stored);
    ASSERT_GE(data->size(), 4u);
    EXPECT_EQ((*data)[0], 0xFF);
    EXPECT_EQ((*data)[1], 0xD8);
    EXPECT_EQ((*data)[data->size() - 2], 0xFF);
    EXPECT_EQ((*data)[data->size() - 1], 0xD9);
  }
  fclose(f);
}

TEST(MrcIoFilesTest, NoDocumentHasNoPages) {
  TempFile path("not_tiff");
  for (const Bytes &bytes :
       {Bytes{}, Bytes{'I', 'I'}, Bytes{'P', '4', '\n', '1', ' ', '1', '\n', 0},
        Bytes{'I', 'I', 42, 0, 0xFF, 0xFF, 0xFF, 0x7F}}) {
    norvtest::writeFile(path.name(), bytes);
    FILE *f = fopen(path.path(), "rb");
    {
      MrcIo io(f);
      EXPECT_EQ(io.GetPageCount(), 0u);
      EXPECT_EQ(io.GetLayerCount(0), 0u);
      EXPECT_FALSE(io.ReadGlobalData(0));
      EXPECT_FALSE(io.ReadBandData(0, 1, 0));
      EXPECT_EQ(io.GetLayerSize(0, 1), kUnknownPair);
    }
    fclose(f);
  }
  MrcIo none(nullptr);
  EXPECT_FALSE(none.HasDocument());
  EXPECT_EQ(none.GetPageCount(), 0u);
}

// Asks every question of every page, layer and band; answers must stay inside what the file
// can hold.
void askEverything(MrcIo &io, uint64_t fileSize) {
  const uint32_t pages = std::min(io.GetPageCount(), 4u);
  for (uint32_t p = 0; p <= pages; ++p) {
    const uint32_t layers = io.GetLayerCount(p);
    for (uint32_t l = 0; l <= layers + 1; ++l) {
      io.GetBandKind(p, l);
      io.GetColourKind(p, l);
      io.GetLayerPosition(p, l);
      io.GetLayerSize(p, l);
      io.GetLayerResolution(p, l);
      io.GetDecodeValues(p, l);
      const uint32_t bands = std::min(io.GetBandCount(p, l), 8u);
      for (uint32_t b = 0; b <= bands; ++b) {
        io.GetBandPosition(p, l, b);
        io.GetBandSize(p, l, b);
        EXPECT_LE(io.GetBandDataSize(p, l, b), fileSize);
        GlobalRefs refs;
        if (io.GetBandGlobalRefs(p, l, b, &refs)) {
          for (uint32_t index : refs.indices) {
            const std::optional<Block> block = io.ReadGlobalData(index);
            if (block) {
              EXPECT_LE(block->size(), fileSize);
            }
          }
        }
        io.ReadBandData(p, l, b);
        io.ReadJbig2BandData(p, l, b);
        io.ReadColorTokenBandData(p, l, b);
      }
    }
  }
}

TEST(MrcIoFilesTest, TruncatedDocumentsAnswerNeutrally) {
  TempFile whole("whole"), cut("cut.tif");
  ctl_test::IfdPlan mask;
  mask.layer = 2;
  mask.colourKind = 1;
  mask.width = 64;
  mask.height = 32;
  mask.bits = ctl_test::kJbig2Bits;
  mask.globals = pattern(12, 50);
  mask.refs = {0};
  mask.coded = pattern(20, 51);
  mask.payload = pattern(9, 52);
  ctl_test::IfdPlan colour;
  colour.layer = 1;
  colour.width = 16;
  colour.height = 8;
  colour.res = 100;
  colour.strips = {pattern(25, 53)};
  ctl_test::writeMrc(whole.name(), 13, {{mask, colour}, {mask}});
  const Bytes bytes = norvtest::readFile(whole.name());
  ASSERT_GT(bytes.size(), 100u);
  // Every cut in the header and the first directory, then every fifth byte.
  for (size_t size = 0; size < bytes.size(); size += size < 64 ? 1 : 5) {
    SCOPED_TRACE(testing::Message() << "cut at " << size);
    norvtest::writeFile(cut.name(),
                        Bytes(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(size)));
    FILE *f = fopen(cut.path(), "rb");
    {
      MrcIo io(f);
      askEverything(io, size);
    }
    fclose(f);
  }
}

}  // namespace
}  // namespace ctl
