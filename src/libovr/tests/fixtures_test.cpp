// TIFF files made by libtiff's tools (see make_fixtures.sh): every IFD decodes to the entries
// that tiffdump prints, the directories give the codings, layouts and tags the files were made
// with, and JPEG strips with merged tables decode with libjpeg.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "jpeg_probe.h"
#include "ovr_page_format_internal.h"
#include "ovr_strips_internal.h"
#include "ovr_test_support.h"
#include "ovr_vocab_internal.h"
#include "testkit_tools.h"
#include "tiff_fixtures.h"

namespace {

using ovr::ByteOrder;

// ---- fixtures ----

class Fixtures : public testing::Test {
 protected:
  void SetUp() override { ovr_test::requireTiffFixtures(); }
  static std::string path(const std::string &name) { return ovr_test::fixturePath(name); }
};

const char *const kFiles[] = {
    "bilevel_none.tif", "bilevel_g4.tif",  "bilevel_g4_be_r8.tif", "bilevel_g3_be.tif",
    "grey_lzw_r7.tif",  "grey_jpeg.tif",   "grey_tiles_be.tif",    "rgb_narrow_tiles.tif",
    "rgb_jpeg.tif",     "rgb_jpeg_be.tif", "rgb_lzw_be.tif",       "palette_none.tif",
    "multipage.tif",    "tagged_be.tif",
};

// A fixture file opened through the stdio adapters.
class OpenFile {
 public:
  explicit OpenFile(const std::string &name) {
    file_.file = std::fopen(name.c_str(), "rb");
    file_.hooks = &ovr_test::kStdioHooks;
    stream_ = OvrStream{
        &stream_, &file_, fileHookRead, fileHookWrite, fileHookSeek, fileHookSeekEnd, fileHookTell,
        0,        0,      nullptr};
  }
  ~OpenFile() {
    if (file_.file) std::fclose(file_.file);
  }
  // Classifies the stream and makes the reader; returns the first IFD offset.
  uint32_t open() {
    uint32_t kind = 0;
    ovr::FileHeader header;
    EXPECT_EQ(ovr::classifyStream(stream_, &kind, &header), OVR_OK);
    EXPECT_EQ(kind, 11u);
    EXPECT_EQ(ovr::openFileReader(stream_, &reader_), OVR_OK);
    return header.firstIfd;
  }
  const ovr::FileReader &reader() const { return reader_; }

 private:
  OvrHookedFile file_{};
  OvrStream stream_{};
  ovr::FileReader reader_;
};

// The IFD offsets of the page chain.
std::vector<uint32_t> pageChain(OpenFile &f) {
  std::vector<uint32_t> offsets;
  for (uint32_t at = f.open(); at != 0 && offsets.size() < 16;) {
    offsets.push_back(at);
    ovr::IfdLayout layout;
    EXPECT_EQ(ovr::readIfdLayout(f.reader(), at, &layout), OVR_OK);
    at = layout.next;
  }
  return offsets;
}

// ---- tiffdump ----

struct DumpEntry {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint32_t count = 0;
  std::string values;  // between < and >
};
struct DumpDirectory {
  uint64_t offset = 0;
  uint64_t next = 0;
  std::vector<DumpEntry> entries;
};
struct Dump {
  bool bigEndian = false;
  std::vector<DumpDirectory> directories;
};

Dump runTiffdump(const std::string &file) {
  Dump dump;
  const norvtest::ToolRun run = norvtest::runTool("tiffdump " + norvtest::shellQuote(file));
  std::istringstream lines(run.text());
  for (std::string text; std::getline(lines, text);) {
    if (text.rfind("Magic: 0x4d4d", 0) == 0) dump.bigEndian = true;
    unsigned long long offset = 0, next = 0;
    long tag = 0;
    unsigned type = 0, count = 0;
    const size_t open = text.find('<');
    const size_t close = text.rfind('>');
    if (std::sscanf(text.c_str(), "Directory %*d: offset %llu (%*[^)]) next %llu", &offset,
                    &next) == 2) {
      dump.directories.push_back({offset, next, {}});
    } else if (std::sscanf(text.c_str(), "%*s (%li) %*s (%u) %u<", &tag, &type, &count) == 3 &&
               open != std::string::npos && close != std::string::npos && close > open &&
               !dump.directories.empty()) {
      dump.directories.back().entries.push_back({static_cast<uint16_t>(tag),
                                                 static_cast<uint16_t>(type), count,
                                                 text.substr(open + 1, close - open - 1)});
    }
  }
  return dump;
}

// tiffdump's ASCII text with its escapes undone; *truncated when it ends in " ...".
std::string unescape(std::string s, bool *truncated) {
  *truncated = s.size() >= 4 && s.compare(s.size() - 4, 4, " ...") == 0;
  if (*truncated) s.resize(s.size() - 4);
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    const char c = s[++i];
    if (c >= '0' && c <= '7') {
      int v = 0, n = 0;
      while (n < 3 && i < s.size() && s[i] >= '0' && s[i] <= '7') v = v * 8 + (s[i++] - '0'), ++n;
      --i;
      out += static_cast<char>(v);
    } else {
      const char *from = "ntrbfv", *to = "\n\t\r\b\f\v";
      const char *hit = std::strchr(from, c);
      out += hit ? to[hit - from] : c;
    }
  }
  return out;
}

// The value of each unit of an entry as a double, decoded at the type's own width.
std::vector<double> decodedUnits(const ovr::FileReader &reader, const ovr::IfdEntry &e) {
  const uint64_t units = ovr::fieldUnitCount(e.type, e.count);
  const uint32_t size = ovr::fieldUnitSize(e.type);
  ovr::Width width = size == 1   ? ovr::Width::W8
                     : size == 2 ? ovr::Width::W16
                     : size == 4 ? ovr::Width::W32
                                 : ovr::Width::Double;
  std::vector<uint8_t> raw(units * 8);
  EXPECT_EQ(ovr::loadEntryValues(reader, e, width, units, raw.data()), OVR_OK);
  std::vector<double> out;
  for (uint64_t i = 0; i < units; ++i) {
    const uint8_t *p = raw.data() + i * ovr::widthSize(width);
    switch (e.type) {
      case ovr::kTypeSByte:
        out.push_back(static_cast<int8_t>(p[0]));
        break;
      case ovr::kTypeSShort: {
        int16_t v;
        std::memcpy(&v, p, 2);
        out.push_back(v);
        break;
      }
      case ovr::kTypeShort: {
        uint16_t v;
        std::memcpy(&v, p, 2);
        out.push_back(v);
        break;
      }
      case ovr::kTypeSLong:
      case ovr::kTypeSRational: {
        int32_t v;
        std::memcpy(&v, p, 4);
        out.push_back(v);
        break;
      }
      case ovr::kTypeFloat: {
        float v;
        std::memcpy(&v, p, 4);
        out.push_back(v);
        break;
      }
      case ovr::kTypeDouble: {
        double v;
        std::memcpy(&v, p, 8);
        out.push_back(v);
        break;
      }
      default:
        if (size == 1) {
          out.push_back(p[0]);
        } else {
          uint32_t v;
          std::memcpy(&v, p, 4);
          out.push_back(v);
        }
    }
  }
  return out;
}

void compareValues(const ovr::FileReader &reader, const ovr::IfdEntry &e, const DumpEntry &d) {
  std::vector<double> units = decodedUnits(reader, e);
  if (e.type == ovr::kTypeAscii) {
    bool truncated = false;
    const std::string printed = unescape(d.values, &truncated);
    ASSERT_LE(printed.size(), units.size());
    if (!truncated) {
      EXPECT_EQ(printed.size(), units.size());
    }
    for (size_t i = 0; i < printed.size(); ++i) {
      EXPECT_EQ(static_cast<uint8_t>(printed[i]), units[i]) << "character " << i;
    }
    return;
  }
  std::vector<std::string> tokens;
  for (size_t at = 0; at < d.values.size();) {
    size_t end = d.values.find(' ', at);
    if (end == std::string::npos) end = d.values.size();
    tokens.push_back(d.values.substr(at, end - at));
    at = end + 1;
  }
  const bool truncated = !tokens.empty() && tokens.back() == "...";
  if (truncated) tokens.pop_back();
  const bool rational = e.type == ovr::kTypeRational || e.type == ovr::kTypeSRational;
  const size_t values = rational ? units.size() / 2 : units.size();
  ASSERT_LE(tokens.size(), values);
  if (!truncated) {
    EXPECT_EQ(tokens.size(), values);
  }
  for (size_t i = 0; i < tokens.size(); ++i) {
    const double printed = std::strtod(tokens[i].c_str(), nullptr);
    double mine = units[i];
    if (rational) mine = units[2 * i] / units[2 * i + 1];
    if (e.type == ovr::kTypeByte || e.type == ovr::kTypeUndefined) {
      EXPECT_EQ(std::strtoul(tokens[i].c_str(), nullptr, 0), mine) << "value " << i;
    } else {
      EXPECT_NEAR(printed, mine, std::fabs(mine) * 1e-5) << "value " << i;
    }
  }
}

TEST_F(Fixtures, EveryIfdDecodesToWhatTiffdumpPrints) {
  for (const char *name : kFiles) {
    SCOPED_TRACE(name);
    const Dump dump = runTiffdump(path(name));
    ASSERT_FALSE(dump.directories.empty());
    OpenFile f(path(name));
    const std::vector<uint32_t> chain = pageChain(f);
    EXPECT_EQ(f.reader().order == ByteOrder::Big, dump.bigEndian);
    ASSERT_EQ(chain.size(), dump.directories.size());
    for (size_t d = 0; d < chain.size(); ++d) {
      const DumpDirectory &expected = dump.directories[d];
      ovr::IfdLayout layout;
      ASSERT_EQ(ovr::readIfdLayout(f.reader(), chain[d], &layout), OVR_OK);
      EXPECT_EQ(layout.offset, expected.offset);
      EXPECT_EQ(layout.next, expected.next);
      ASSERT_EQ(layout.count, expected.entries.size());
      for (uint32_t i = 0; i < layout.count; ++i) {
        const DumpEntry &de = expected.entries[i];
        SCOPED_TRACE("tag " + std::to_string(de.tag));
        ovr::IfdEntry e;
        ASSERT_EQ(ovr::readIfdEntry(f.reader(), layout, i, &e), OVR_OK);
        EXPECT_EQ(e.tag, de.tag);
        EXPECT_EQ(e.type, de.type);
        EXPECT_EQ(e.count, de.count);
        compareValues(f.reader(), e, de);
      }
    }
  }
}

// ---- directories ----

struct PageExpect {
  uint32_t compressionBits;
  uint32_t colourKind;
  uint32_t rows;  // RowsPerStrip or TileLength the file was made with; 0: tiffcp's choice
  bool tiles;
  bool jpegTables;
  uint32_t xResolution, yResolution;
};
struct FixtureExpect {
  const char *file;
  ByteOrder order;
  std::vector<PageExpect> pages;
};

const PageExpect kBilevelG4{ovr::bits::kMMR, ovr::colour::kBilevel, 0, false, false, 200, 200};
const PageExpect kRgbJpeg{ovr::bits::kJpeg, ovr::colour::kColour8, 16, false, true, 150, 75};
const PageExpect kGreyLzw{ovr::bits::kOther, ovr::colour::kGrey8, 7, false, false, 300, 300};

TEST_F(Fixtures, DirectoriesGiveWhatTheFilesWereMadeWith) {
  const FixtureExpect cases[] = {
      {"bilevel_none.tif",
       ByteOrder::Little,
       {{ovr::bits::kNone, ovr::colour::kBilevel, 0, false, false, 200, 200}}},
      {"bilevel_g4.tif", ByteOrder::Little, {kBilevelG4}},
      {"bilevel_g4_be_r8.tif",
       ByteOrder::Big,
       {{ovr::bits::kMMR, ovr::colour::kBilevel, 8, false, false, 200, 200}}},
      {"bilevel_g3_be.tif",
       ByteOrder::Big,
       {{ovr::bits::kMR, ovr::colour::kBilevel, 0, false, false, 200, 200}}},
      {"grey_lzw_r7.tif", ByteOrder::Little, {kGreyLzw}},
      {"grey_jpeg.tif",
       ByteOrder::Little,
       {{ovr::bits::kJpeg, ovr::colour::kGrey8, 16, false, true, 300, 300}}},
      {"grey_tiles_be.tif",
       ByteOrder::Big,
       {{ovr::bits::kNone, ovr::colour::kGrey8, 16, true, false, 300, 300}}},
      {"rgb_jpeg.tif", ByteOrder::Little, {kRgbJpeg}},
      {"rgb_jpeg_be.tif",
       ByteOrder::Big,
       {{ovr::bits::kJpeg, ovr::colour::kColour8, 32, false, true, 150, 75}}},
      {"rgb_lzw_be.tif",
       ByteOrder::Big,
       {{ovr::bits::kOther, ovr::colour::kColour8, 0, false, false, 150, 75}}},
      {"palette_none.tif",
       ByteOrder::Little,
       {{ovr::bits::kNone, ovr::colour::kPalette8, 0, false, false, 300, 300}}},
      {"multipage.tif", ByteOrder::Little, {kBilevelG4, kRgbJpeg, kGreyLzw}},
  };
  for (const FixtureExpect &c : cases) {
    SCOPED_TRACE(c.file);
    ovr_test::TestContext ctx;
    OpenFile f(path(c.file));
    const std::vector<uint32_t> chain = pageChain(f);
    EXPECT_EQ(f.reader().order, c.order);
    ASSERT_EQ(chain.size(), c.pages.size());
    for (size_t p = 0; p < chain.size(); ++p) {
      const PageExpect &want = c.pages[p];
      ovr::Directory dir(ctx.alloc());
      ovr::IfdLayout layout;
      ASSERT_EQ(ovr::readDirectory(f.reader(), chain[p], dir, &layout), OVR_OK);
      uint32_t t4 = dir.t4Options, bits = 0, kind = 0;
      ASSERT_EQ(ovr::compressionBitsFromValue(dir.compression, dir.codingOptions, &t4, &bits),
                OVR_OK);
      EXPECT_EQ(bits, want.compressionBits);
      ASSERT_EQ(ovr::colourKindFromSamples(dir.samplesPerPixel, dir.firstBitsPerSample(),
                                           dir.has(ovr::Field::ColorMap), &kind),
                OVR_OK);
      EXPECT_EQ(kind, want.colourKind);
      EXPECT_EQ(dir.xResolution.num / dir.xResolution.den, want.xResolution);
      EXPECT_EQ(dir.yResolution.num / dir.yResolution.den, want.yResolution);
      EXPECT_EQ(dir.has(ovr::Field::JpegTables), want.jpegTables);
      ovr::StripLayout strips;
      ASSERT_EQ(ovr::resolveStrips(dir, f.reader().size, false, &strips), OVR_OK);
      EXPECT_EQ(strips.fromTiles, want.tiles);
      const uint32_t rows = want.tiles ? dir.tileLength : dir.rowsPerStrip;
      if (want.rows != 0) {
        EXPECT_EQ(rows, want.rows);
      }
      ASSERT_GT(rows, 0u);
      EXPECT_EQ(strips.count, (dir.height + rows - 1) / rows);
      if (kind == ovr::colour::kPalette8) {
        uint8_t palette[768];
        EXPECT_EQ(ovr::paletteFromColorMap(dir.colorMap.data(), dir.colorMap.size(),
                                           dir.firstBitsPerSample(), palette),
                  OVR_OK);
      }
    }
  }
}

TEST_F(Fixtures, NarrowTilesAreNotStrips) {
  ovr_test::TestContext ctx;
  OpenFile f(path("rgb_narrow_tiles.tif"));
  const std::vector<uint32_t> chain = pageChain(f);
  ASSERT_EQ(chain.size(), 1u);
  ovr::Directory dir(ctx.alloc());
  ovr::IfdLayout layout;
  ASSERT_EQ(ovr::readDirectory(f.reader(), chain[0], dir, &layout), OVR_OK);
  ovr::StripLayout strips;
  // Tiles several across are a layout the library does not read, not a corrupt file.
  EXPECT_EQ(ovr::resolveStrips(dir, f.reader().size, false, &strips), OVR_ERR_UNSUPPORTED);
}

TEST_F(Fixtures, TiffFxTagsInABigEndianFile) {
  ovr_test::TestContext ctx;
  OpenFile f(path("tagged_be.tif"));
  const std::vector<uint32_t> chain = pageChain(f);
  ASSERT_EQ(chain.size(), 1u);
  ovr::Directory dir(ctx.alloc());
  ovr::IfdLayout layout;
  ASSERT_EQ(ovr::readDirectory(f.reader(), chain[0], dir, &layout), OVR_OK);
  EXPECT_EQ(dir.pageNumber[0], 3);
  EXPECT_EQ(dir.pageNumber[1], 7);
  const ovr::StripeKey key = ovr::stripeKeyOf(dir);
  EXPECT_EQ(key.layer, 2u);
  EXPECT_EQ(key.order, 0u);
  EXPECT_EQ(dir.profileType, 1u);
  EXPECT_EQ(dir.faxProfile, 2);
  EXPECT_EQ(dir.codingMethods, 40u);
  EXPECT_EQ(std::vector<uint8_t>(dir.versionYear, dir.versionYear + 4),
            (std::vector<uint8_t>{1, 9, 9, 7}));
  EXPECT_EQ(dir.decodeCount, 2u);
  EXPECT_EQ(static_cast<double>(dir.decode[0]) / dir.decode[1], -1.0);
  EXPECT_EQ(static_cast<double>(dir.decode[2]) / dir.decode[3], 1.0);
}

// Each strip of a JPEG file with JPEGTables decodes once the tables are merged in, and not before.
TEST_F(Fixtures, JpegStripsDecodeWithMergedTables) {
  for (const char *name : {"grey_jpeg.tif", "rgb_jpeg.tif", "rgb_jpeg_be.tif"}) {
    SCOPED_TRACE(name);
    ovr_test::TestContext ctx;
    OpenFile f(path(name));
    const std::vector<uint32_t> chain = pageChain(f);
    ovr::Directory dir(ctx.alloc());
    ovr::IfdLayout layout;
    ASSERT_EQ(ovr::readDirectory(f.reader(), chain[0], dir, &layout), OVR_OK);
    ovr::JpegTablesBody body;
    ASSERT_EQ(ovr::checkJpegTables(dir.jpegTables.data(), dir.jpegTables.size(), &body), OVR_OK);
    ovr::StripLayout strips;
    ASSERT_EQ(ovr::resolveStrips(dir, f.reader().size, false, &strips), OVR_OK);
    ASSERT_GT(strips.count, 1u);
    for (uint32_t s = 0; s < strips.count; ++s) {
      std::vector<uint8_t> strip(strips.byteCounts[s]);
      ASSERT_EQ(f.reader().readAt(strips.offsets[s], strip.data(), strip.size()), OVR_OK);
      unsigned w = 0, h = 0;
      EXPECT_FALSE(ovr_test::jpegDecodes(strip.data(), strip.size(), &w, &h));
      ovr::JpegMerge plan;
      ASSERT_EQ(ovr::planJpegMerge(strip.data(), strip.size(), body, &plan), OVR_OK);
      std::vector<uint8_t> merged(plan.mergedSize);
      ovr::applyJpegMerge(plan, strip.data(), strip.size(), dir.jpegTables.data(), body,
                          merged.data());
      ASSERT_TRUE(ovr_test::jpegDecodes(merged.data(), merged.size(), &w, &h)) << "strip " << s;
      EXPECT_EQ(w, dir.width);
      EXPECT_EQ(h, std::min(dir.rowsPerStrip, dir.height - s * dir.rowsPerStrip));
    }
  }
}

}  // namespace
