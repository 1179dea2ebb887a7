// The colour payload: the exact bytes of short and long runs and of splits at 65534; random
// colour lists (runs of equal colours, 0, 1 and 65535 tokens) round-trip; payloads of another
// kind decode to nothing; runs that do not add up to the count, or cut short, give 107 and no
// entries; failure at every allocation; verbose log lines.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "colour_payload.h"
#include "qtz_internal.h"
#include "testkit_state.h"

namespace {

class ColourPayloadTest : public norvtest::TrackedStateTest {
 protected:
  void SetUp() override {
    norvtest::TrackedStateTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(initColors(&colors_, 0, state_), 0);
  }
  void TearDown() override {
    cleanupColors(colors_);
    norvtest::TrackedStateTest::TearDown();
  }

  // Tokens with the given colours (three bytes each).
  struct Tokens {
    std::vector<std::array<uint8_t, 3>> colours;
    std::vector<QtzTokenBitmap> records;
    std::vector<const QtzTokenBitmap *> pointers;
    explicit Tokens(std::vector<std::array<uint8_t, 3>> c) : colours(std::move(c)) {
      records.resize(colours.size());
      for (size_t i = 0; i < colours.size(); ++i) {
        records[i].colour = colours[i].data();
        pointers.push_back(&records[i]);
      }
    }
  };

  std::vector<uint8_t> encode(const Tokens &t) {
    uint8_t *payload = nullptr;
    size_t size = 0;
    EXPECT_EQ(encodeColors(t.pointers.data(), uint32_t(t.pointers.size()), colors_, &payload, &size,
                           state_),
              0);
    std::vector<uint8_t> bytes(payload, payload + size);
    qtz::release(state_, payload);
    return bytes;
  }

  int32_t decode(const std::vector<uint8_t> &bytes, std::vector<std::array<uint8_t, 3>> *out) {
    QtzColorEntry *entries = nullptr;
    uint32_t count = 99;
    const int32_t status = decodeColors(colors_, bytes.data(), bytes.size(), &entries, &count);
    out->clear();
    for (uint32_t i = 0; i < count; ++i) {
      EXPECT_EQ(entries[i].set, 1);
      out->push_back({entries[i].rgb[0], entries[i].rgb[1], entries[i].rgb[2]});
    }
    if (status != 0) {
      EXPECT_EQ(entries, nullptr);
    }
    qtz::release(state_, entries);
    return status;
  }

  QtzColorState *colors_ = nullptr;
};

using Rgb = std::array<uint8_t, 3>;
const Rgb A = {1, 2, 3}, B = {9, 8, 7};

std::vector<Rgb> repeat(const Rgb &c, size_t n) {
  return std::vector<Rgb>(n, c);
}

TEST_F(ColourPayloadTest, RunsTakeTheirShortOrLongForm) {
  EXPECT_EQ(encode(Tokens({A, A, B})),
            (std::vector<uint8_t>{3, 1, 0, 0, 0, 3, 2, 1, 2, 3, 1, 9, 8, 7}));
  EXPECT_EQ(encode(Tokens(repeat(A, 300))),
            (std::vector<uint8_t>{3, 1, 0, 0, 1, 0x2C, 0, 1, 0x2C, 1, 2, 3}));
  EXPECT_EQ(encode(Tokens(repeat(A, 254))),
            (std::vector<uint8_t>{3, 1, 0, 0, 0, 254, 254, 1, 2, 3}));
  EXPECT_EQ(encode(Tokens(repeat(A, 255))),
            (std::vector<uint8_t>{3, 1, 0, 0, 0, 255, 0, 0, 255, 1, 2, 3}));
  // 70000 = 65534 + 4466, both long.
  EXPECT_EQ(encode(Tokens(repeat(B, 70000))),
            (std::vector<uint8_t>{3, 1, 0, 1, 0x11, 0x70, 0, 0xFF, 0xFE, 9, 8, 7, 0, 0x11, 0x72, 9,
                                  8, 7}));
  EXPECT_EQ(encode(Tokens({})), (std::vector<uint8_t>{3, 1, 0, 0, 0, 0}));
}

TEST_F(ColourPayloadTest, RandomColourListsRoundTrip) {
  std::mt19937 random(103);
  for (const size_t n : {size_t{0}, size_t{1}, size_t{2}, size_t{1000}, size_t{65535}}) {
    SCOPED_TRACE(n);
    std::vector<Rgb> colours;
    while (colours.size() < n) {
      const Rgb c = {uint8_t(random() % 3), uint8_t(random()), 0};
      const size_t run = random() % 4 == 0 ? random() % 70000 : 1 + random() % 5;
      for (size_t k = 0; k < run && colours.size() < n; ++k) colours.push_back(c);
    }
    std::vector<Rgb> back;
    ASSERT_EQ(decode(encode(Tokens(colours)), &back), 0);
    EXPECT_EQ(back, colours);
  }
}

TEST_F(ColourPayloadTest, OtherKindsAndBrokenRunsGiveNoColours) {
  struct Case {
    const char *name;
    std::vector<uint8_t> payload;
    int32_t status;
  };
  const Case cases[] = {
      {"another kind", {3, 2, 0, 0, 0, 1, 1, 1, 2, 3}, 0},
      {"short header", {3, 1, 0, 0}, 0},
      {"runs cover fewer than the count", {3, 1, 0, 0, 0, 5, 2, 1, 2, 3}, 107},
      {"runs cover more than the count", {3, 1, 0, 0, 0, 1, 2, 1, 2, 3}, 107},
      {"a huge count with no runs", {3, 1, 0xFF, 0xFF, 0xFF, 0xFF}, 107},
      {"last run cut short", {3, 1, 0, 0, 0, 3, 2, 1, 2, 3, 1, 9, 8}, 107},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Rgb> back;
    EXPECT_EQ(decode(c.payload, &back), c.status);
    EXPECT_TRUE(back.empty());
  }
  // A run of count 0 covers nothing and its colour is skipped.
  std::vector<Rgb> back;
  EXPECT_EQ(decode({3, 1, 0, 0, 0, 1, 0, 0, 0, 7, 7, 7, 1, 1, 2, 3}, &back), 0);
  EXPECT_EQ(back, std::vector<Rgb>{A});
  QtzColorEntry *entries = nullptr;
  uint32_t count = 0;
  EXPECT_EQ(decodeColors(colors_, nullptr, 0, &entries, &count), 118);
}

TEST_F(ColourPayloadTest, FailureAtEveryAllocationLeavesNothing) {
  const Tokens t({A, A, B, B, B});
  for (long n = 1;; ++n) {
    uint8_t *payload = nullptr;
    size_t size = 0;
    QtzColorEntry *entries = nullptr;
    uint32_t count = 0;
    norvtest::heap.failAt = norvtest::heap.requests + n;
    int32_t status = encodeColors(t.pointers.data(), 5, colors_, &payload, &size, state_);
    if (status == 0) status = decodeColors(colors_, payload, size, &entries, &count);
    norvtest::heap.failAt = -1;
    qtz::release(state_, payload);
    qtz::release(state_, entries);
    if (status == 0) {
      EXPECT_EQ(count, 5u);
      break;
    }
    EXPECT_EQ(status, 1);
    EXPECT_EQ(entries, nullptr);
  }
}

TEST_F(ColourPayloadTest, VerboseStateLogsItsSteps) {
  QtzColorState *loud = nullptr;
  ASSERT_EQ(initColors(&loud, 1, state_), 0);
  const Tokens t({A});
  uint8_t *payload = nullptr;
  size_t size = 0;
  ASSERT_EQ(encodeColors(t.pointers.data(), 1, loud, &payload, &size, state_), 0);
  qtz::release(state_, payload);
  cleanupColors(loud);
  const std::string log = errors_.text();
  EXPECT_NE(log.find("encodeColors() starts."), std::string::npos) << log;
  EXPECT_NE(log.find("encodeColors() ends (ok)."), std::string::npos);
  EXPECT_NE(log.find("cleanupColors() ends."), std::string::npos);
  EXPECT_EQ(initColors(nullptr, 0, state_), 118);
}

}  // namespace
