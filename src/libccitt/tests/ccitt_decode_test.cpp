// The fax decoder through its C entries: the conformance files and Ghostscript's fax pages
// against reference pixels, the clipping and placement arguments, end-of-data codes and the
// byte counts, uncompressed mode, corrupt data, and allocation failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "ccitt_decode.h"
#include "ccitt_internal.h"
#include "fax_support.h"
#include "testkit_files.h"
#include "testkit_state.h"
#include "testkit_tools.h"

namespace {

using faxtest::Bitmap;
using faxtest::bits;

const std::string kData = std::string(NORV_TEST_DATA) + "/";

using DecodeFn = decltype(&g4DecodeC);

// Row y of a decoded bitmap, '#' for black.
std::string rowText(const Bitmap &b, int32_t y) {
  std::string row;
  for (int32_t x = 0; x < b.width; ++x) row += b.get(x, y) ? '#' : '.';
  return row;
}

class FaxDecode : public norvtest::TrackedStateTest {
 protected:
  void SetUp() override {
    TrackedStateTest::SetUp();
    if (HasFailure()) return;
    ASSERT_EQ(0, ccittNewDecoder(&decoder_, state_, nullptr));
  }
  void TearDown() override {
    ccittFreeDecoder(&decoder_);
    TrackedStateTest::TearDown();
  }

  // Decodes every strip of a TIFF page into a bitmap with the entry its coding names.
  int32_t decodePage(const faxtest::TiffPage &page, Bitmap *out) {
    *out = Bitmap(page.width, page.height);
    const DecodeFn decode = page.compression == COMPRESSION_CCITTFAX4 ? g4DecodeC
                            : (page.t4Options & GROUP3OPT_2DENCODING) ? g3_2DDecodeC
                                                                      : g3_1DDecodeC;
    for (const faxtest::TiffStrip &s : page.strips) {
      const int32_t status = decode(decoder_, out->row(s.firstRow), page.width, s.rows,
                                    out->wordsPerRow, 0, page.width - 1, s.rows - 1, s.raw.data(),
                                    static_cast<int32_t>(s.raw.size()), 0, nullptr);
      if (status != 0) return status;
    }
    return 0;
  }

  CcittDecoder *decoder_ = nullptr;
};

struct CorpusCase {
  const char *file;
  const char *reference;
  bool libtiffAgrees = true;  // libtiff's own decode equals the reference too
};

TEST_F(FaxDecode, ConformanceFilesMatchTheirReferences) {
  const CorpusCase cases[] = {
      {"ccitt3.tiff", "ccitt3.ref.pbm"},
      {"ccitt3_2d.tiff", "ccitt3.ref.pbm"},
      {"ccitt3_2d_fill.tiff", "ccitt3.ref.pbm"},
      {"ccitt4.tiff", "ccitt3.ref.pbm"},
      {"ccitt3_1d_fill.tiff", "ccitt3_1d_fill.ref.pbm"},
      {"ccitt_group3_2d_lsb2msb.tif", "ccitt_group3_2d_lsb2msb.ref.pbm"},
      {"ccitt-too-many-changes.tif", "ccitt-too-many-changes.ref.pbm"},
      {"contrib_multipage.tif", "contrib_multipage.ref.pbm"},
      {"hopper_g4_500.tif", "hopper_g4_500.oracle.pbm"},
      {"g4-fillorder-test.tif", "g4-fillorder-test.oracle.pbm"},
      // libtiff stops on this file's first line ("buffer overflow"); the oracle is the image.
      {"testfax3_bug_513.tiff", "testfax3_bug_513.oracle.pbm", false},
  };
  for (const CorpusCase &c : cases) {
    const std::vector<faxtest::TiffPage> pages = faxtest::readTiffPages(kData + c.file);
    const std::vector<uint8_t> pbm = norvtest::readFile(kData + c.reference);
    ASSERT_FALSE(pages.empty()) << c.file;
    // A multi-page reference is several P4 images one after the other.
    size_t offset = 0;
    for (size_t p = 0; p < pages.size(); ++p) {
      const norvtest::Pnm ref = norvtest::parsePnm(
          std::vector<uint8_t>(pbm.begin() + static_cast<long>(offset), pbm.end()));
      ASSERT_TRUE(ref.valid()) << c.file << " page " << p;
      offset += norvtest::formatPnm(ref).size();
      while (offset < pbm.size() && isspace(pbm[offset])) ++offset;
      Bitmap got;
      ASSERT_EQ(0, decodePage(pages[p], &got)) << c.file << " page " << p;
      EXPECT_EQ(0, faxtest::differences(got, faxtest::fromPnm(ref))) << c.file << " page " << p;
      if (c.libtiffAgrees) {
        EXPECT_EQ(0, faxtest::differences(got, pages[p].reference)) << c.file << " page " << p;
      }
    }
  }
}

TEST_F(FaxDecode, GhostscriptFaxPagesMatchLibtiff) {
  if (!norvtest::toolAvailable("gs")) GTEST_SKIP() << "gs not installed";
  for (const char *device : {"tiffg3", "tiffg32d", "tiffg4"}) {
    for (int dpi : {100, 200}) {
      const std::string path =
          norvtest::renderPage(kData + "page.ps", device, dpi, "-dMaxStripSize=8000");
      ASSERT_FALSE(path.empty()) << device;
      const std::vector<faxtest::TiffPage> pages = faxtest::readTiffPages(path);
      ASSERT_EQ(1u, pages.size()) << device;
      Bitmap got;
      ASSERT_EQ(0, decodePage(pages[0], &got)) << device << " " << dpi;
      EXPECT_EQ(0, faxtest::differences(got, pages[0].reference)) << device << " " << dpi;
    }
  }
}

// A T.6 stream of a bitmap, made by the encoder (its own tests check it against libtiff).
std::vector<uint8_t> encodeG4(const Bitmap &b, bool endOfBlock, QtzState *state) {
  std::vector<uint8_t> out(static_cast<size_t>(b.width + 2) * b.height * 2 + 64);
  int32_t size = static_cast<int32_t>(out.size());
  EXPECT_EQ(0, ccittEncodeG4(b.words.data(), b.width, b.height, b.wordsPerRow, out.data(), &size,
                             endOfBlock, state));
  out.resize(static_cast<size_t>(size));
  return out;
}

TEST_F(FaxDecode, PlacementAndClipping) {
  const Bitmap source = faxtest::randomBitmap(77, 40, 4.0, 7);
  const std::vector<uint8_t> code = encodeG4(source, false, state_);
  struct Case {
    int32_t x, rightClip, bottomClip, extraWords;
  };
  const Case cases[] = {
      {0, 76, 39, 0},      // plain
      {5, 200, 39, 1},     // column 0 lands on bit 5
      {37, 150, 39, 2},    // across words
      {0, 40, 39, 0},      // right clip cuts runs
      {0, 76, 9, 0},       // 10 lines only
      {-9, 76, 39, 0},     // nothing left of the row's start
      {100, 1000, 20, 0},  // runs past the row's last word are dropped
  };
  for (const Case &c : cases) {
    Bitmap target(source.width + 64, source.height, c.extraWords);
    // A pattern where the decoder writes nothing must survive: white pixels are not written.
    for (int32_t y = 0; y < target.height; y += 7) target.set(target.width - 1, y, true);
    const Bitmap before = target;
    ASSERT_EQ(0, g4DecodeC(decoder_, target.words.data(), source.width, source.height,
                           target.wordsPerRow, c.x, c.rightClip, c.bottomClip, code.data(),
                           static_cast<int32_t>(code.size()), 0, nullptr));
    const int32_t lastColumn = std::min(c.rightClip, target.wordsPerRow * 32 - 1);
    for (int32_t y = 0; y < target.height; ++y)
      for (int32_t tx = 0; tx < target.wordsPerRow * 32; ++tx) {
        const int32_t sx = tx - c.x;
        const bool decoded = y <= c.bottomClip && tx <= lastColumn && sx >= 0 &&
                             sx < source.width && source.get(sx, y);
        const bool old = tx < target.width && before.get(tx, y);
        const bool got = target.row(y)[tx >> 5] >> (31 - (tx & 31)) & 1;
        ASSERT_EQ(decoded || old, got) << "x " << c.x << " clip " << c.rightClip << ","
                                       << c.bottomClip << " at " << tx << "," << y;
      }
  }
}

TEST_F(FaxDecode, AllWhiteLinesWriteNothing) {
  const std::vector<uint8_t> code = encodeG4(Bitmap(100, 30), true, state_);
  Bitmap target(100, 30);
  std::fill(target.words.begin(), target.words.end(), 0x0F0F0F0Fu);
  const Bitmap before = target;
  ASSERT_EQ(0, g4DecodeC(decoder_, target.words.data(), 100, 30, target.wordsPerRow, 0, 99, 29,
                         code.data(), static_cast<int32_t>(code.size()), 1, nullptr));
  EXPECT_EQ(before.words, target.words);
}

TEST_F(FaxDecode, BytesUsedAndLeftOver) {
  const Bitmap source = faxtest::randomBitmap(64, 100, 6.0, 3);
  std::vector<uint8_t> code = encodeG4(source, true, state_);
  const int32_t coded = static_cast<int32_t>(code.size());
  code.insert(code.end(), {0xAA, 0xBB, 0xCC});  // what follows the coded data
  const auto length = static_cast<int32_t>(code.size());
  Bitmap target(64, 100);
  // With the end codes counted, everything up to the EOFB is used.
  int32_t offset = -1;
  ASSERT_EQ(0, g4DecodeIntoBitmap(target.words.data(), 64, 100, target.wordsPerRow, 0, 63, 99,
                                  code.data(), length, 1, &offset, state_));
  EXPECT_EQ(coded, offset);
  EXPECT_EQ(0, faxtest::differences(target, source));
  int32_t left = -1;
  ASSERT_EQ(0, g4DecodeC(decoder_, target.words.data(), 64, 100, target.wordsPerRow, 0, 63, 99,
                         code.data(), length, 1, &left));
  EXPECT_EQ(3, left);
  // Without them, the bytes used end at the last line's last bit, before the EOFB.
  ASSERT_EQ(0, g4DecodeIntoBitmap(target.words.data(), 64, 100, target.wordsPerRow, 0, 63, 99,
                                  code.data(), length, 0, &offset, state_));
  EXPECT_LT(offset, coded);
  EXPECT_GE(offset, coded - 3);
  // A bottom clip of 9 reads no further than the tenth line needs.
  std::vector<uint8_t> tenLines = encodeG4(
      [&] {
        Bitmap b = source;
        b.height = 10;
        b.words.resize(static_cast<size_t>(b.wordsPerRow) * 10);
        return b;
      }(),
      false, state_);
  ASSERT_EQ(0, g4DecodeIntoBitmap(target.words.data(), 64, 100, target.wordsPerRow, 0, 63, 9,
                                  code.data(), length, 0, &offset, state_));
  EXPECT_LE(offset, static_cast<int32_t>(tenLines.size()));
}

// Hand-made code: T.4 one-dimensional lines with and without EOLs, RTC, the tag bit of
// two-dimensional T.4, uncompressed mode. Rows are 8 pixels wide, given as strings.
struct HandCase {
  const char *name;
  DecodeFn decode;
  const char *code;
  std::vector<const char *> rows;  // expected, '#' black
};

TEST_F(FaxDecode, HandMadeCode) {
  const HandCase cases[] = {
      // white 8 = 10011; white 4 (1011) black 4 (011). Without EOLs a line that follows an
      // all-white line and starts with a 1 bit is still one-dimensional.
      {"MH without EOLs", g3_1DDecodeC, "10011 1011 011", {"........", "....####"}},
      {"MH with EOLs and fill",
       g3_1DDecodeC,
       "0000 000000000001 10011 00000000000001 1011 011",
       {"........", "....####"}},
      // Six EOLs end the data: the third line stays blank.
      {"RTC",
       g3_1DDecodeC,
       "10011 1011 011 000000000001 000000000001 000000000001 000000000001 000000000001 "
       "000000000001 1011 011",
       {"........", "....####", "........"}},
      // T.4 two-dimensional: EOL+1 gives a one-dimensional line, EOL+0 a two-dimensional one
      // (V0 V0: the same as the line above).
      {"MR tag bits",
       g3_2DDecodeC,
       "000000000001 1 1011 011 000000000001 0 1 1",
       {"....####", "....####"}},
      // Uncompressed mode (T.4 Annex A) from a two-dimensional line: extension 0000001111,
      // then "01" (.#), "1" (#),
      // then "0001" (...#), exit 00000001 with one white pixel and the tag 0.
      {"uncompressed 2D", g4DecodeC, "0000001111 01 1 0001 00000001 0", {".##...#."}},
      // From a one-dimensional line: white 2 (0111), extension 000000001111, "000001" (five
      // whites), exit 0000001 with the tag 1: black 1 (010).
      {"uncompressed 1D", g3_1DDecodeC, "0111 000000001111 000001 0000001 1 010", {".......#"}},
  };
  for (const HandCase &c : cases) {
    const std::vector<uint8_t> code = bits(c.code);
    const auto height = static_cast<int32_t>(c.rows.size());
    Bitmap target(8, height);
    ASSERT_EQ(0, c.decode(decoder_, target.words.data(), 8, height, 1, 0, 7, height - 1,
                          code.data(), static_cast<int32_t>(code.size()), 0, nullptr))
        << c.name;
    for (int32_t y = 0; y < height; ++y)
      EXPECT_EQ(c.rows[y], rowText(target, y)) << c.name << " line " << y;
  }
}

// Empty runs stay in a line's changes: the next line's pass and vertical codes land where
// libtiff puts them.
TEST_F(FaxDecode, EmptyRunsCountForTheNextLine) {
  for (const norvtest::EmptyRunCode &c : norvtest::kEmptyRunCodes) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> code = bits(c.code);
    const std::vector<std::string> expected =
        norvtest::libtiffFaxRows(code, 8, 3, COMPRESSION_CCITTFAX4);
    ASSERT_EQ(3u, expected.size());
    Bitmap target(8, 3);
    ASSERT_EQ(0, g4DecodeC(decoder_, target.words.data(), 8, 3, 1, 0, 7, 2, code.data(),
                           static_cast<int32_t>(code.size()), 0, nullptr));
    for (int32_t y = 0; y < 3; ++y) EXPECT_EQ(expected[y], rowText(target, y)) << "line " << y;
  }
}

// T.4 lines without an EOL before them are decoded where they begin; zeros before an EOL are
// fill; a two-dimensional line without an EOL keeps the last tag's coding.
TEST_F(FaxDecode, T4LinesWithoutEols) {
  for (const norvtest::LinesWithoutEolsCode &c : norvtest::kLinesWithoutEols) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> code = bits(c.code);
    const DecodeFn decode = c.t4Options ? g3_2DDecodeC : g3_1DDecodeC;
    Bitmap target(8, 3);
    ASSERT_EQ(0, decode(decoder_, target.words.data(), 8, 3, 1, 0, 7, 2, code.data(),
                        static_cast<int32_t>(code.size()), 0, nullptr));
    for (int32_t y = 0; y < 3; ++y) EXPECT_EQ(c.rows[y], rowText(target, y)) << "line " << y;
  }
}

TEST_F(FaxDecode, CorruptDataEndsWithAStatus) {
  // A code that matches nothing in the middle of data: 0000 0000 1 is no mode code.
  const std::vector<uint8_t> bad = bits("1 1 000000001 1111111111111111");
  Bitmap target(8, 4);
  EXPECT_EQ(107, g4DecodeC(decoder_, target.words.data(), 8, 4, 1, 0, 7, 3, bad.data(),
                           static_cast<int32_t>(bad.size()), 0, nullptr));
  EXPECT_NE(std::string::npos, errors_.text().find("invalid code in fax data"));
  // Below a line that starts black, VL3 at the start points left of the line.
  const std::vector<uint8_t> left = bits("001 00110101 000101 0000010");
  EXPECT_EQ(107, g4DecodeC(decoder_, target.words.data(), 8, 4, 1, 0, 7, 3, left.data(),
                           static_cast<int32_t>(left.size()), 0, nullptr));
  // Data that simply ends leaves the rest blank and succeeds.
  const std::vector<uint8_t> cut = bits("1 1");
  EXPECT_EQ(0, g4DecodeC(decoder_, target.words.data(), 8, 4, 1, 0, 7, 3, cut.data(),
                         static_cast<int32_t>(cut.size()), 0, nullptr));
}

TEST_F(FaxDecode, RandomBytesTerminate) {
  std::mt19937 random(11);
  Bitmap target(300, 50);
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint8_t> data(1 + random() % 200);
    for (uint8_t &b : data) b = static_cast<uint8_t>(random());
    const DecodeFn decode = round % 3 == 0   ? g4DecodeC
                            : round % 3 == 1 ? g3_1DDecodeC
                                             : g3_2DDecodeC;
    int32_t left = -1;
    const int32_t status =
        decode(decoder_, target.words.data(), 300, 50, target.wordsPerRow, 0, 299, 49, data.data(),
               static_cast<int32_t>(data.size()), round & 1, &left);
    ASSERT_TRUE(status == 0 || status == 107) << status;
    if (status == 0) {
      ASSERT_TRUE(left >= 0 && left <= static_cast<int32_t>(data.size()));
    }
  }
}

TEST_F(FaxDecode, BadArguments) {
  uint32_t row[4] = {};
  const std::vector<uint8_t> code = bits("1");
  struct Case {
    int32_t width, height, wordsPerLine, length;
  };
  for (const Case &c : {Case{0, 1, 1, 1}, Case{8, -1, 1, 1}, Case{8, 1, 0, 1}, Case{8, 1, 1, -1},
                        Case{(1 << 24) + 1, 1, 1, 1}})
    EXPECT_EQ(2, g4DecodeC(decoder_, row, c.width, c.height, c.wordsPerLine, 0, 7, 0, code.data(),
                           c.length, 0, nullptr));
  EXPECT_EQ(118, g4DecodeC(nullptr, row, 8, 1, 1, 0, 7, 0, code.data(), 1, 0, nullptr));
}

TEST_F(FaxDecode, EveryAllocationFailureIsReportedAndUnwound) {
  const std::vector<uint8_t> code = encodeG4(faxtest::randomBitmap(40, 5, 3.0, 1), false, state_);
  Bitmap target(40, 5);
  for (long n = 1;; ++n) {
    norvtest::heap.failAt = norvtest::heap.requests + n;
    CcittDecoder *d = nullptr;
    int32_t status = ccittNewDecoder(&d, state_, nullptr);
    if (status == 0)
      status = g4DecodeC(d, target.words.data(), 40, 5, 2, 0, 39, 4, code.data(),
                         static_cast<int32_t>(code.size()), 0, nullptr);
    ccittFreeDecoder(&d);
    norvtest::heap.failAt = -1;
    if (status == 0) break;
    ASSERT_EQ(1, status) << n;
    ASSERT_LT(n, 10);
  }
}

}  // namespace
