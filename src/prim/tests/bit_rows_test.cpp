// The word-parallel 1-bit row combination against its plain reference walk: every bit phase of
// the destination and of up to three sources, spans of 1 to 400 bits, a plain copy, a masked
// copy and a three-source combination; rows sized exactly to their spans, so a read or write
// past a span's last byte shows under the address sanitizer, and destination bits outside
// the span must keep their values.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "bit_rows_internal.h"

namespace {

struct Row {
  std::vector<uint8_t> bytes;
  int64_t offset;
};

// A random row holding bits [offset, offset + n) exactly (nothing after the span's last byte).
Row randomRow(std::mt19937 &rng, int64_t offset, int64_t n) {
  Row r{std::vector<uint8_t>(size_t((offset + n + 7) / 8)), offset};
  for (uint8_t &b : r.bytes) b = uint8_t(rng());
  return r;
}

TEST(BitRows, CombineEqualsThePlainWalk) {
  std::mt19937 rng(7);
  const auto copy = [](uint64_t, uint64_t a, uint64_t, uint64_t) { return a; };
  const auto masked = [](uint64_t d, uint64_t a, uint64_t, uint64_t m) {
    return (d & ~m) | (a & m);
  };
  const auto three = [](uint64_t d, uint64_t a, uint64_t b, uint64_t m) {
    return (d ^ a) | (b & ~m);
  };
  for (int64_t n : {1, 7, 8, 9, 63, 64, 65, 127, 128, 129, 200, 400})
    for (int dp = 0; dp < 8; ++dp)
      for (int trial = 0; trial < 12; ++trial) {
        const int ap = trial < 8 ? (dp + trial) % 8 : int(rng() % 8);
        const int bp = trial % 2 == 0 ? dp : int(rng() % 8), mp = trial % 3 == 0 ? ap : dp;
        SCOPED_TRACE(testing::Message()
                     << "n " << n << " phases " << dp << " " << ap << " " << bp << " " << mp);
        const Row d = randomRow(rng, dp, n), a = randomRow(rng, ap + 8 * (trial % 2), n);
        const Row b = randomRow(rng, bp, n), m = randomRow(rng, mp, n);
        auto check = [&](auto f, bool withB, bool withM) {
          Row fast = d, plain = d;
          const uint8_t *pb = withB ? b.bytes.data() : nullptr;
          const uint8_t *pm = withM ? m.bytes.data() : nullptr;
          imp::combineBitRow(fast.bytes.data(), d.offset, n, a.bytes.data(), a.offset, pb, b.offset,
                             pm, m.offset, f);
          imp::combineBitRowPlain(plain.bytes.data(), d.offset, n, a.bytes.data(), a.offset, pb,
                                  b.offset, pm, m.offset, f);
          EXPECT_EQ(fast.bytes, plain.bytes);
        };
        check(copy, false, false);
        check(masked, false, true);
        check(three, true, true);
      }
}

// The plain walk itself against bit-by-bit arithmetic: a copy keeps every destination bit
// outside the span.
TEST(BitRows, PlainWalkCopiesTheSpanOnly) {
  std::mt19937 rng(11);
  auto bit = [](const std::vector<uint8_t> &r, int64_t i) {
    return (r[size_t(i / 8)] >> (7 - i % 8)) & 1;
  };
  for (int64_t n : {1, 5, 64, 99, 130})
    for (int dp = 0; dp < 8; ++dp)
      for (int ap = 0; ap < 8; ++ap) {
        Row d = randomRow(rng, dp, n + 9), a = randomRow(rng, ap, n);
        const std::vector<uint8_t> before = d.bytes;
        imp::combineBitRowPlain(d.bytes.data(), dp, n, a.bytes.data(), ap, nullptr, 0, nullptr, 0,
                                [](uint64_t, uint64_t v, uint64_t, uint64_t) { return v; });
        for (int64_t i = 0; i < int64_t(d.bytes.size()) * 8; ++i) {
          const bool inside = i >= dp && i < dp + n;
          ASSERT_EQ(bit(d.bytes, i), inside ? bit(a.bytes, ap + i - dp) : bit(before, i))
              << "n " << n << " phases " << dp << " " << ap << " bit " << i;
        }
      }
}

}  // namespace
