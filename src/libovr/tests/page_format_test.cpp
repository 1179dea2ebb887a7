// Page structure: stripe keys, placement of repeated stripes, renumbering, the primary IFD's
// layer, SubIFDs slots and the page attribute record.
#include <gtest/gtest.h>

#include <span>
#include <vector>

#include "ovr_page_format_internal.h"
#include "ovr_test_support.h"
#include "ovr_vocab_internal.h"

namespace {

using ovr::StripeKey;
using ovr_test::Bytes;
using ovr_test::MemoryFile;

StripeKey &keyOf(StripeKey &k) {
  return k;
}

std::vector<StripeKey> insert(std::vector<StripeKey> list, StripeKey key) {
  size_t at = ovr::placeStripe(std::span<StripeKey>(list), keyOf, key);
  list.insert(list.begin() + static_cast<std::ptrdiff_t>(at), key);
  return list;
}

bool same(const std::vector<StripeKey> &a, const std::vector<StripeKey> &b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].layer != b[i].layer || a[i].order != b[i].order) return false;
  }
  return true;
}

TEST(OvrPageStructure, StripePlacement) {
  struct Case {
    const char *name;
    std::vector<StripeKey> list;
    StripeKey key;
    std::vector<StripeKey> expected;
  } cases[] = {
      {"into an empty page", {}, {3, 0}, {{3, 0}}},
      {"between layers", {{2, 0}, {3, 0}}, {2, 1}, {{2, 0}, {2, 1}, {3, 0}}},
      {"in front of a later order", {{3, 0}, {3, 2}}, {3, 1}, {{3, 0}, {3, 1}, {3, 2}}},
      // A repeated (layer 3, order 1) goes after that layer's last stripe.
      {"a repeated key",
       {{2, 0}, {3, 0}, {3, 1}, {3, 4}},
       {3, 0},
       {{2, 0}, {3, 0}, {3, 1}, {3, 4}, {3, 5}}},
      {"a repeat in another layer does not count",
       {{2, 0}, {3, 1}},
       {3, 0},
       {{2, 0}, {3, 0}, {3, 1}}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(same(insert(c.list, c.key), c.expected));
  }
}

TEST(OvrPageStructure, Renumbering) {
  // The primary is on layer 2: that layer's listed stripes count from 1, others from 0.
  std::vector<StripeKey> list = {{1, 3}, {2, 4}, {2, 9}, {3, 1}, {3, 7}, {3, 8}};
  ovr::renumberStripes(std::span<StripeKey>(list), keyOf, 2);
  EXPECT_TRUE(same(list, {{1, 0}, {2, 1}, {2, 2}, {3, 0}, {3, 1}, {3, 2}}));
  std::vector<StripeKey> background = {{1, 5}, {3, 5}};
  ovr::renumberStripes(std::span<StripeKey>(background), keyOf, 1);
  EXPECT_TRUE(same(background, {{1, 1}, {3, 0}}));
}

TEST(OvrPageStructure, LayersAndSlots) {
  EXPECT_EQ(ovr::primaryLayer(1, ovr::colour::kBilevel), 2u);
  EXPECT_EQ(ovr::primaryLayer(3, ovr::colour::kBilevel), 2u);
  EXPECT_EQ(ovr::primaryLayer(2, ovr::colour::kBilevel), 2u);
  EXPECT_EQ(ovr::primaryLayer(1, ovr::colour::kColour8), 1u);
  EXPECT_EQ(ovr::primaryLayer(3, ovr::colour::kGrey8), 3u);
  EXPECT_EQ(ovr::subIfdSlot(1), 0u);
  EXPECT_EQ(ovr::subIfdSlot(2), 0u);
  EXPECT_EQ(ovr::subIfdSlot(3), 1u);

  ovr_test::TestContext ctx;
  ovr::Directory none(ctx.alloc());
  EXPECT_EQ(ovr::stripeKeyOf(none).layer, 1u);
  EXPECT_EQ(ovr::stripeKeyOf(none).order, 0u);
  ovr::Directory layered(ctx.alloc());
  layered.imageLayer[0] = 3;
  layered.imageLayer[1] = 2;
  layered.mark(ovr::Field::ImageLayer);
  EXPECT_EQ(ovr::stripeKeyOf(layered).layer, 3u);
  EXPECT_EQ(ovr::stripeKeyOf(layered).order, 1u);
}

// A file whose first IFD has tag 34730 (count `count`) pointing at `recordAt`, followed by
// the record's bytes.
std::vector<uint8_t> attributeFile(ovr::ByteOrder order, uint32_t count, uint32_t recordAt,
                                   const std::vector<uint16_t> &words, bool withLong) {
  std::vector<uint64_t> offsets(count, recordAt);
  std::vector<uint8_t> file =
      ovr_test::buildTiff(order, {{{ovr::tag::kPageAttributes, ovr::kTypeLong, count, offsets}}});
  Bytes b(order);
  for (uint16_t w : words) b.u16(w);
  if (withLong) b.u32(0x01020304);
  file.resize(64, 0);
  file.insert(file.end(), b.data().begin(), b.data().end());
  return file;
}

TEST(OvrPageStructure, PageAttributeRecord) {
  struct Case {
    const char *name;
    uint32_t count;
    uint32_t at;
    std::vector<uint16_t> words;
    bool withLong;
    int32_t status;
    ovr::PageAttributes expected;
  } cases[] = {
      {"third word 32 brings a fourth",
       1,
       64,
       {5, 6, 32, 9},
       true,
       OVR_OK,
       {5, 6, 32, 9, 0x01020304}},
      {"another third word moves to the fourth place",
       1,
       64,
       {5, 6, 7},
       true,
       OVR_OK,
       {5, 6, 28, 7, 0x01020304}},
      {"offset 0", 1, 0, {}, false, OVR_OK, {0, 20, 0, 0, 0}},
      {"two offsets", 2, 64, {5, 6, 7}, true, OVR_ERR_CORRUPT, {}},
      {"cut before the long", 1, 64, {5, 6, 32, 9}, false, OVR_ERR_CORRUPT, {}},
      {"cut before the fourth word", 1, 64, {5, 6, 32}, false, OVR_ERR_CORRUPT, {}},
      {"past the end", 1, 0xFFFFFFFE, {}, false, OVR_ERR_CORRUPT, {}},
  };
  for (ovr::ByteOrder order : {ovr::ByteOrder::Little, ovr::ByteOrder::Big}) {
    for (const auto &c : cases) {
      SCOPED_TRACE(c.name);
      ovr_test::TestContext ctx;
      MemoryFile mf(attributeFile(order, c.count, c.at, c.words, c.withLong), order);
      ovr::Directory dir(ctx.alloc());
      ovr::IfdLayout layout;
      ASSERT_EQ(ovr::readDirectory(mf.reader(), 8, dir, &layout), OVR_OK);
      ovr::PageAttributes got;
      ASSERT_EQ(ovr::readPageAttributes(mf.reader(), dir, &got), c.status);
      if (c.status != OVR_OK) continue;
      EXPECT_EQ(got.attribute, c.expected.attribute);
      EXPECT_EQ(got.second, c.expected.second);
      EXPECT_EQ(got.third, c.expected.third);
      EXPECT_EQ(got.fourth, c.expected.fourth);
      EXPECT_EQ(got.last, c.expected.last);
    }
  }
  ovr_test::TestContext ctx;
  MemoryFile mf(ovr_test::buildTiff(ovr::ByteOrder::Little, {{}}));
  ovr::Directory dir(ctx.alloc());
  ovr::PageAttributes got;
  got.second = 99;
  ASSERT_EQ(ovr::readPageAttributes(mf.reader(), dir, &got), OVR_OK);
  EXPECT_EQ(got.attribute, 0);
  EXPECT_EQ(got.second, 0);
}

}  // namespace
