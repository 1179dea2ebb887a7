// The resumable decoder contract and corrupt data: line counts, resume checks, the EOFB,
// data that end early, decoding without painting, image checks, hostile code sequences, and
// thousands of mutated strips that must end with a status in bounded time.
#include <random>

#include "ccitt_support.h"

namespace {

using ccitttest::Coding;
using iotest::Context;

const std::string kData = std::string(NORV_TEST_DATA) + "/ccitt/";

struct Decoder {
  std::vector<uint64_t> buffer;
  PxlCcittDecoderState *state = nullptr;
  Decoder(PxlContext *ctx, int32_t width, int32_t twoD, int32_t alignment) {
    int32_t size = 0;
    EXPECT_EQ(0, pxlGetCcittDecoderSize(ctx, width, &size));
    buffer.resize((static_cast<size_t>(size) + 7) / 8);
    state = reinterpret_cast<PxlCcittDecoderState *>(buffer.data());
    EXPECT_EQ(0, pxlInitCcittDecoder(ctx, state, width, twoD, alignment, size));
  }
};

struct Outs {
  int32_t done = -1, usedUp = -1, percent = -1, consumed = -1;
};

// Bytes from a string of 0 and 1 (padded with zeros to a byte).
std::vector<uint8_t> bits(const std::string &s) {
  std::vector<uint8_t> out((s.size() + 7) / 8, 0);
  for (size_t i = 0; i < s.size(); ++i)
    if (s[i] == '1') out[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
  return out;
}

TEST(CcittContract, LineCountsResumesAndTheEofb) {
  Context c;
  // Two all-white lines of width 8 in T.6 (V0, V0), then an EOFB.
  const std::vector<uint8_t> data = bits(
      "11"
      "000000000001"
      "000000000001");
  iotest::OwnedImage image(c.ctx);
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 8, 3, 1, 0, 0, 32, &image.pix));
  Decoder d(c.ctx, 8, 1, 2);
  Outs o;
  // A resume on a fresh record.
  EXPECT_EQ(PXL_ERR_PARAM, pxlDecodeMmr(c.ctx, d.state, 0, 2, 0, data.data(), 4, 1, 1, 1, image.pix,
                                        &o.done, &o.usedUp, &o.percent, &o.consumed));
  EXPECT_EQ(0, o.done);
  // No lines asked: done at once.
  EXPECT_EQ(0, pxlDecodeMmr(c.ctx, d.state, 0, 0, 0, data.data(), 4, 0, 0, 1, image.pix, &o.done,
                            &o.usedUp, &o.percent, &o.consumed));
  EXPECT_EQ(1, o.done);
  EXPECT_EQ(0, o.consumed);
  // The coded lines, the EOFB left unread.
  EXPECT_EQ(0, pxlDecodeMmr(c.ctx, d.state, 0, 2, 0, data.data(), 4, 0, 0, 1, image.pix, &o.done,
                            &o.usedUp, &o.percent, &o.consumed));
  EXPECT_EQ(1, o.done);
  EXPECT_EQ(100, o.percent);
  // One line more than coded runs into the EOFB.
  EXPECT_EQ(PXL_ERR_DECODE, pxlDecodeMmr(c.ctx, d.state, 0, 3, 0, data.data(), 4, 0, 0, 1,
                                         image.pix, &o.done, &o.usedUp, &o.percent, &o.consumed));
  EXPECT_EQ(0, o.done);
  // Data ending right after the coded lines with a line more asked: 7, and the record closes.
  EXPECT_EQ(PXL_ERR_OVERFLOW, pxlDecodeMmr(c.ctx, d.state, 0, 3, 0, data.data(), 1, 0, 0, 1,
                                           image.pix, &o.done, &o.usedUp, &o.percent, &o.consumed));
  EXPECT_EQ(0, o.done);
  EXPECT_EQ(1, o.usedUp);
  EXPECT_EQ(66, o.percent);
  EXPECT_EQ(PXL_ERR_PARAM, pxlDecodeMmr(c.ctx, d.state, 0, 3, 0, data.data(), 4, 1, 1, 1, image.pix,
                                        &o.done, &o.usedUp, &o.percent, &o.consumed));
}

TEST(CcittContract, ImageChecksAndDecodingWithoutPainting) {
  Context c;
  const std::vector<ccitttest::TiffPage> pages =
      ccitttest::readTiffPages(c.ctx, kData + "hopper_g4_500.tif");
  ASSERT_EQ(1u, pages.size());
  const std::vector<uint8_t> &strip = pages[0].strips[0];
  Decoder d(c.ctx, 500, 1, 2);
  Outs withImage, without;
  iotest::OwnedImage image(c.ctx), narrow(c.ctx), unframed(c.ctx);
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 500, 500, 1, 0, 0, 32, &image.pix));
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 499, 500, 1, 0, 0, 32, &narrow.pix));
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 500, 500, 1, 0, 0, 0, &unframed.pix));
  const auto n = static_cast<int32_t>(strip.size());
  EXPECT_EQ(
      0, pxlDecodeMmr(c.ctx, d.state, 0, 500, 0, strip.data(), n, 0, 0, 1, image.pix,
                      &withImage.done, &withImage.usedUp, &withImage.percent, &withImage.consumed));
  EXPECT_EQ(0, pxlDecodeMmr(c.ctx, d.state, 0, 500, 0, strip.data(), n, 0, 0, 1, nullptr,
                            &without.done, &without.usedUp, &without.percent, &without.consumed));
  EXPECT_EQ(withImage.done, without.done);
  EXPECT_EQ(withImage.consumed, without.consumed);
  EXPECT_EQ(withImage.usedUp, without.usedUp);
  Outs o;
  EXPECT_EQ(PXL_ERR_PARAM, pxlDecodeMmr(c.ctx, d.state, 0, 500, 0, strip.data(), n, 0, 0, 1,
                                        narrow.pix, &o.done, &o.usedUp, &o.percent, &o.consumed));
  EXPECT_EQ(PXL_ERR_PARAM, pxlDecodeMmr(c.ctx, d.state, 1, 500, 0, strip.data(), n, 0, 0, 1,
                                        image.pix, &o.done, &o.usedUp, &o.percent, &o.consumed));
  EXPECT_EQ(PXL_ERR_FRAME_REQUIRED,
            pxlDecodeMmr(c.ctx, d.state, 0, 500, 0, strip.data(), n, 0, 0, 1, unframed.pix, &o.done,
                         &o.usedUp, &o.percent, &o.consumed));
  EXPECT_EQ(PXL_ERR_NULL, pxlDecodeMmr(c.ctx, d.state, 0, 500, 0, nullptr, n, 0, 0, 1, image.pix,
                                       &o.done, &o.usedUp, &o.percent, &o.consumed));
  long reports = 0;
  for (const std::string &line : c.lines) reports += line.find("File:mmrd") != std::string::npos;
  EXPECT_EQ(4, reports);  // each failure reported once by the entry
}

TEST(CcittContract, HostileCodesGiveStatuses) {
  Context c;
  struct Case {
    const char *name;
    Coding coding;
    int32_t width;
    std::string data;
    int32_t status;
  } cases[] = {
      // Line 1 is black at 0-1; line 2 starts with VL3 against b1 = 0.
      {"VL3 left of the line start", Coding::Mmr, 16,
       "001"
       "00110101"
       "11"
       "1"
       "0000010",
       PXL_ERR_DECODE},
      {"VR3 past the width", Coding::Mmr, 2, "0000011", PXL_ERR_DECODE},
      {"white run past the width", Coding::Mmr, 10,
       "001"
       "11011"
       "0011",
       PXL_ERR_DECODE},
      {"make-up codes past the width", Coding::Mmr, 3000,
       "001" + std::string("000000011111") + "000000011111", PXL_ERR_DECODE},
      // H: white 2, black 2 (runs 2-3, a0 = 4), then VL3 against the white reference
      // (b1 = 16): a1 = 13 is fine; VL3 again in the black phase: b1 = 16, a1 = 13 = a0 is
      // allowed, then pass to the end.
      {"horizontal then vertical modes", Coding::Mmr, 16,
       "001"
       "0111"
       "11"
       "0000010"
       "0000010"
       "0001",
       PXL_ERR_OVERFLOW},
      {"extension code", Coding::Mmr, 16, "0000001111", PXL_ERR_DECODE},
      {"only zeros", Coding::Mmr, 16, "00000000000000000000", PXL_ERR_OVERFLOW},
      {"MH run past the width", Coding::Mh, 10, "11011", PXL_ERR_DECODE},
      {"MH zeros only", Coding::Mh, 10, "0000000000000000", PXL_ERR_OVERFLOW},
      {"MR without any EOL", Coding::Mr, 10, "", PXL_ERR_OVERFLOW},
  };
  for (const Case &k : cases) {
    iotest::OwnedImage image(c.ctx);
    ASSERT_EQ(0, pxlCreateImage(c.ctx, k.width, 4, 1, 0, 0, 32, &image.pix));
    EXPECT_EQ(k.status,
              ccitttest::decodeStrip(c.ctx, k.coding, bits(k.data), 0, image.pix, k.width, 0, 4))
        << k.name;
  }
  // Horizontal modes with two empty runs (never stored) and zero-length makes no progress:
  // the data end and the decode stops.
  std::string empties;
  for (int i = 0; i < 2000; ++i)
    empties +=
        "001"
        "00110101"
        "0000110111";
  iotest::OwnedImage image(c.ctx);
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 16, 4, 1, 0, 0, 32, &image.pix));
  const int32_t status =
      ccitttest::decodeStrip(c.ctx, Coding::Mmr, bits(empties), 0, image.pix, 16, 0, 4);
  EXPECT_TRUE(status == PXL_ERR_OVERFLOW || status == PXL_ERR_DECODE) << status;
}

// Flips, truncates and inserts bytes of real strips; every decode must end with 0, 7 or 15,
// having consumed no more than its data. The work is bounded by construction: each chunk
// call but the last takes in its whole chunk (decodeStrip checks it), and no call decodes
// more rows than asked for.
void mutate(Context &c, const ccitttest::TiffPage &page, int count, uint32_t seed) {
  std::mt19937 random(seed);
  const std::vector<uint8_t> &original = page.strips[0];
  const auto width = static_cast<int32_t>(page.width);
  const auto rows = static_cast<int32_t>(page.rowsPerStrip);
  iotest::OwnedImage image(c.ctx);
  ASSERT_EQ(0, pxlCreateImage(c.ctx, width, rows, 1, 0, 0, 32, &image.pix));
  for (int i = 0; i < count; ++i) {
    std::vector<uint8_t> data = original;
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits && !data.empty(); ++e) {
      const size_t at = random() % data.size();
      switch (random() % 4) {
        case 0:
          data[at] ^= static_cast<uint8_t>(1u << (random() % 8));
          break;
        case 1:
          data[at] = static_cast<uint8_t>(random());
          break;
        case 2:
          data.resize(at);
          break;
        default:
          data.insert(data.begin() + static_cast<long>(at), static_cast<uint8_t>(random()));
      }
    }
    int32_t consumed = -1;
    const int32_t status = ccitttest::decodeStrip(c.ctx, ccitttest::codingOf(page), data,
                                                  (i % 3) ? 0 : 1 + random() % 64, image.pix, width,
                                                  0, rows, &consumed);
    ASSERT_TRUE(status == 0 || status == PXL_ERR_OVERFLOW || status == PXL_ERR_DECODE)
        << "mutation " << i << " status " << status;
    ASSERT_TRUE(consumed >= 0 && consumed <= static_cast<int32_t>(data.size()))
        << "mutation " << i << " consumed " << consumed;
  }
}

TEST(CcittContract, MutatedStripsEndWithAStatus) {
  Context c(false);
  struct Source {
    const char *file;
    int count;
  } sources[] = {{"ccitt4.tiff", 10000},
                 {"ccitt3_2d.tiff", 2000},
                 {"ccitt3.tiff", 2000},
                 {"ccitt_rle.tiff", 2000}};
  for (const Source &s : sources) {
    const std::vector<ccitttest::TiffPage> pages = ccitttest::readTiffPages(c.ctx, kData + s.file);
    ASSERT_FALSE(pages.empty());
    mutate(c, pages[0], s.count, 12345);
  }
}

}  // namespace

namespace {

TEST(CcittContract, MmrIntoPlainWordRows) {
  iotest::Context c;
  const std::vector<ccitttest::TiffPage> pages =
      ccitttest::readTiffPages(c.ctx, std::string(NORV_TEST_DATA) + "/ccitt/hopper_g4_500.tif");
  ASSERT_EQ(1u, pages.size());
  const std::vector<uint8_t> &strip = pages[0].strips[0];
  iotest::OwnedImage framed(c.ctx);
  ASSERT_EQ(0, ccitttest::decodePage(c.ctx, pages[0], 0, &framed.pix));
  const int32_t words = (500 + 31) / 32;
  std::vector<uint32_t> rows(static_cast<size_t>(words) * 500, 0);
  int32_t size = 0;
  ASSERT_EQ(0, pxlGetCcittDecoderSize(c.ctx, 500, &size));
  std::vector<uint64_t> buffer((size + 7) / 8);
  auto *state = reinterpret_cast<PxlCcittDecoderState *>(buffer.data());
  ASSERT_EQ(0, pxlInitCcittDecoder(c.ctx, state, 500, 1, 2, size));
  int32_t used = -1;
  ASSERT_EQ(0, pxlDecodeMmrToWords(c.ctx, state, rows.data(), words, 500, strip.data(),
                                   static_cast<int32_t>(strip.size()), &used));
  for (int32_t y = 0; y < 500; ++y)
    for (int32_t x = 0; x < 500; ++x)
      ASSERT_EQ(ccitttest::corePixel(framed.pix, x, y),
                (rows[static_cast<size_t>(y) * words + x / 32] >> (31 - x % 32) & 1) != 0)
          << x << "," << y;
  // The data end with an EOFB (24 bits) and padding, which are not read.
  EXPECT_GE(used, static_cast<int32_t>(strip.size()) - 4);
  EXPECT_LE(used, static_cast<int32_t>(strip.size()) - 3);
  EXPECT_EQ(PXL_ERR_PARAM, pxlDecodeMmrToWords(c.ctx, state, rows.data(), words - 1, 500,
                                               strip.data(), 10, &used));
}

}  // namespace
