// The directory writer below the writing calls: where an entry's value goes (inside the entry or
// at a padded, 4-aligned offset after it), the checks made before anything is written, and the
// strip tables of strips with varying heights, which no profile leaves to a caller (the profile
// rules always give a default strip height), driven here on the records directly.
#include <gtest/gtest.h>

#include <vector>

#include "ovr_vocab_internal.h"
#include "ovr_writer_internal.h"
#include "write_test_support.h"

namespace {

using ovr::EntryPatch;
using ovr_test::FileView;
using ovr_test::MemoryStream;

OvrStream streamOver(MemoryStream &m) {
  OvrStream s{};
  s.self = &s;
  s.client = &m;
  s.read = MemoryStream::read;
  s.write = MemoryStream::write;
  s.seek = MemoryStream::seek;
  s.seekEnd = MemoryStream::seekEnd;
  s.tell = MemoryStream::tell;
  return s;
}

struct EntryCase {
  uint16_t type;
  uint32_t count;
  std::vector<uint32_t> units;
  bool inlined;
};

// Values of at most 4 bytes lie in the entry, left-aligned; longer ones at the next multiple of 4
// after whatever the file holds, with the gap zero-filled.
TEST(IfdWriter, ValuesInlineOrAtAlignedOffsets) {
  const std::vector<EntryCase> cases = {
      {ovr::kTypeLong, 1, {0x11223344}, true},
      {ovr::kTypeShort, 2, {7, 9}, true},
      {ovr::kTypeByte, 4, {1, 2, 3, 4}, true},
      {ovr::kTypeByte, 5, {1, 2, 3, 4, 5}, false},
      {ovr::kTypeRational, 1, {300, 1}, false},
      {ovr::kTypeShort, 3, {8, 8, 8}, false},
      {ovr::kTypeIfd, 1, {1234}, true},
      {ovr::kTypeByte, 1, {0xAB}, true},
      {ovr::kTypeLong, 3, {5, 6, 0xFFFFFFFF}, false},
  };
  MemoryStream m;
  OvrStream s = streamOver(m);
  const uint8_t junk[3] = {0xEE, 0xEE, 0xEE};
  ASSERT_EQ(ovr::streamWrite(s, junk, 3), OVR_OK);
  uint32_t dir = 0;
  ASSERT_EQ(ovr::ovrPlaceDirectory(s, static_cast<uint32_t>(cases.size()), &dir), OVR_OK);
  EXPECT_EQ(dir, 4u);
  ASSERT_EQ(ovr::writeEntryCount(s, dir, static_cast<uint32_t>(cases.size())), OVR_OK);
  std::vector<EntryPatch> patches(cases.size());
  std::vector<uint64_t> endBefore(cases.size());
  uint32_t index = 0;
  for (size_t i = 0; i < cases.size(); ++i) {
    const EntryCase &c = cases[i];
    endBefore[i] = m.bytes.size();
    ASSERT_EQ(ovr::ovrWriteEntry(s, {dir, static_cast<uint32_t>(cases.size())},
                                 static_cast<uint16_t>(300 + i), c.type, c.count, c.units.data(),
                                 &index, &patches[i]),
              OVR_OK);
    // Leave the end odd, so that every out-of-line value needs padding.
    ASSERT_EQ(ovr::streamSeek(s, m.bytes.size()), OVR_OK);
    ASSERT_EQ(ovr::streamWrite(s, junk, 1), OVR_OK);
  }
  EXPECT_EQ(index, cases.size());

  FileView view(m.bytes);
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    const EntryCase &c = cases[i];
    const ovr::IfdEntry e = view.entry(dir, static_cast<uint32_t>(i));
    EXPECT_EQ(e.tag, 300 + i);
    EXPECT_EQ(e.type, c.type);
    EXPECT_EQ(e.count, c.count);
    const ovr::ValueSpan span = ovr::entryValueSpan(ovr::ByteOrder::Little, e);
    EXPECT_EQ(span.inlined, c.inlined);
    EXPECT_EQ(patches[i].entry, ovr::ifdEntryPos(dir, static_cast<uint32_t>(i)));
    EXPECT_EQ(patches[i].value, span.position);
    std::vector<uint32_t> got(c.units.size());
    ASSERT_EQ(ovr::loadEntryValues(view.reader(), e, ovr::Width::W32, got.size(), got.data()),
              OVR_OK);
    EXPECT_EQ(got, c.units);
    if (!c.inlined) {
      // The value starts at the next multiple of 4 after the junk byte that ended the file.
      EXPECT_EQ(span.position, (endBefore[i] + 3) / 4 * 4);
      EXPECT_EQ(m.bytes[endBefore[i] - 1], 0xEE);
      for (uint64_t at = endBefore[i]; at < span.position; ++at) EXPECT_EQ(m.bytes[at], 0);
    } else {
      // Unused bytes of the value field stay zero.
      const uint64_t used = ovr::fieldByteCount(c.type, c.count);
      for (uint64_t k = used; k < 4; ++k) EXPECT_EQ(e.field[k], 0);
    }
  }
}

// An entry beyond the directory's count is 12, a SHORT or BYTE unit that does not fit its type is
// 2; either way nothing is written, and the counting pass refuses the same value, so that no
// directory is placed for a list that cannot be written.
TEST(IfdWriter, EntryChecksComeBeforeWriting) {
  MemoryStream m;
  OvrStream s = streamOver(m);
  uint32_t dir = 0;
  ASSERT_EQ(ovr::ovrPlaceDirectory(s, 1, &dir), OVR_OK);
  const std::vector<uint8_t> placed = m.bytes;
  const uint32_t big[2] = {70000, 1};
  uint32_t index = 0;
  EXPECT_EQ(ovr::ovrWriteEntry(s, {dir, 1}, 258, ovr::kTypeShort, 2, big, &index, nullptr),
            OVR_ERR_PARAM);
  const uint32_t byteUnit = 256;
  EXPECT_EQ(ovr::ovrWriteEntry(s, {dir, 1}, 405, ovr::kTypeByte, 1, &byteUnit, &index, nullptr),
            OVR_ERR_PARAM);
  index = 1;
  EXPECT_EQ(ovr::ovrWriteEntry(s, {dir, 1}, 256, ovr::kTypeLong, 1, big, &index, nullptr),
            OVR_ERR_INTERNAL);
  EXPECT_EQ(m.bytes, placed);
  ovr::EntryPass counting(s);
  counting.add(256, ovr::kTypeLong, 2, big);
  EXPECT_EQ(counting.status(), OVR_OK);
  counting.add(258, ovr::kTypeShort, 2, big);
  EXPECT_EQ(counting.status(), OVR_ERR_PARAM);
  counting.add(257, ovr::kTypeLong, 1, big);
  EXPECT_EQ(counting.entries(), 1u);
  EXPECT_EQ(m.bytes, placed);
}

// A seek that fails while writing marks the stream failed like a failed write: later writes are
// refused (12) and the file cannot be finished as if complete.
TEST(IfdWriter, FailedSeekMarksTheStreamFailed) {
  MemoryStream m;
  OvrStream s = streamOver(m);
  m.seekBudget = 0;
  EXPECT_EQ(ovr::patch32(s, 4, 1), OVR_ERR_SEEK);
  EXPECT_EQ(s.failed, 1u);
  m.seekBudget = -1;
  uint32_t offset = 0;
  const ovr::ByteRange piece{"x", 1};
  EXPECT_EQ(ovr::appendAligned(s, std::span(&piece, 1), &offset), OVR_ERR_INTERNAL);
}

// ---- strips of varying height ----

// A document with one bilevel page IFD of the given height whose strips vary in height, coded
// and linked like ovrSetCoding does it (rows per strip 0 cannot come from the profile rules).
class VaryingStrips : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(w_.status, OVR_OK);
    ASSERT_EQ(ovrAddPage(w_.doc, -1, &page_), OVR_OK);
    ASSERT_EQ(ovrAddIfd(page_, 2, 1, 0, 0, 300, 300, 2592, kHeight, kHeight, nullptr, &ifd_),
              OVR_OK);
    OvrIfdRecord &r = *ifd_->ifd;
    r.layer.rowsPerStrip = 0;
    r.layer.compressionBits = ovr::bits::kMMR;
    ASSERT_EQ(ovr::prepareDirectoryTables(r), OVR_OK);
    ASSERT_EQ(ovr::ovrWriteDirectory(r), OVR_OK);
    ASSERT_EQ(ovr::ovrLinkPrimaryIfd(r), OVR_OK);
    r.writer->state = ovr::IfdState::Coded;
  }
  int32_t strip(uint32_t first, uint32_t rows, const std::vector<uint8_t> &data) {
    size_t written = 0;
    return ovrWriteStrip(ifd_, first, rows, data.data(), data.size(), &written);
  }
  // StripOffsets, StripByteCounts and StripRowCounts as the file holds them.
  void tables(std::vector<uint32_t> *offsets, std::vector<uint32_t> *counts,
              std::vector<uint32_t> *rows) {
    FileView view(w_.file.bytes);
    auto d = view.dir(view.firstIfd());
    for (auto [table, out] : {std::pair{&d->stripOffsets, offsets},
                              {&d->stripByteCounts, counts},
                              {&d->stripRowCounts, rows}}) {
      out->assign(table->data(), table->data() + table->size());
    }
    EXPECT_FALSE(d->has(ovr::Field::RowsPerStrip));
  }

  static constexpr uint32_t kHeight = 100;
  ovr_test::WrittenDocument w_;
  OvrPageHandle *page_ = nullptr;
  OvrIfdHandle *ifd_ = nullptr;
};

// A single strip that does not reach the height still gets its tables, when the IFD ends; they
// lie inside their entries.
TEST_F(VaryingStrips, OneShortStripIsWrittenAtEnd) {
  ASSERT_EQ(strip(0, 30, {1, 2, 3, 4, 5}), OVR_OK);
  ASSERT_EQ(ovrEndIfd(ifd_), OVR_OK);
  std::vector<uint32_t> offsets, counts, rows;
  tables(&offsets, &counts, &rows);
  ASSERT_EQ(offsets.size(), 1u);
  EXPECT_EQ(counts, std::vector<uint32_t>{5});
  EXPECT_EQ(rows, std::vector<uint32_t>{30});
  EXPECT_EQ(offsets[0] % 4, 0u);
  EXPECT_EQ(std::vector<uint8_t>(w_.file.bytes.begin() + offsets[0],
                                 w_.file.bytes.begin() + offsets[0] + 5),
            (std::vector<uint8_t>{1, 2, 3, 4, 5}));
  FileView view(w_.file.bytes);
  const ovr::IfdEntry e = view.find(view.firstIfd(), ovr::tag::kStripOffsets);
  EXPECT_TRUE(ovr::entryValueSpan(ovr::ByteOrder::Little, e).inlined);
  EXPECT_EQ(w_.close(), OVR_OK);
}

// Strips that cover the height write their tables at once, out of line; a strip that does not
// start where the last one ended, or leaves the image, is refused and changes nothing.
TEST_F(VaryingStrips, StripsCoveringTheHeightWriteTheTables) {
  ASSERT_EQ(strip(0, 40, {9, 9, 9}), OVR_OK);
  EXPECT_EQ(strip(50, 10, {1}), OVR_ERR_PARAM);  // a gap
  EXPECT_EQ(strip(40, 61, {1}), OVR_ERR_PARAM);  // beyond the height
  EXPECT_EQ(strip(40, 0, {}), OVR_ERR_PARAM);
  ASSERT_EQ(strip(40, 35, {7, 7}), OVR_OK);
  ASSERT_EQ(strip(75, 25, {5, 5, 5, 5, 5, 5}), OVR_OK);
  EXPECT_EQ(strip(0, 10, {1}), OVR_ERR_PARAM);  // the strips are complete
  std::vector<uint32_t> offsets, counts, rows;
  tables(&offsets, &counts, &rows);
  EXPECT_EQ(counts, (std::vector<uint32_t>{3, 2, 6}));
  EXPECT_EQ(rows, (std::vector<uint32_t>{40, 35, 25}));
  ASSERT_EQ(offsets.size(), 3u);
  for (uint32_t o : offsets) EXPECT_EQ(o % 4, 0u);
  EXPECT_EQ(w_.file.bytes[offsets[1]], 7);
  EXPECT_EQ(w_.file.bytes[offsets[2] + 5], 5);
  ASSERT_EQ(ovrEndIfd(ifd_), OVR_OK);
  EXPECT_EQ(w_.close(), OVR_OK);
}

}  // namespace
