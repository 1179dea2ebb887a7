// MQ coder: the T.88 Annex H.2 test sequence both ways, the flush and marker rules, and random
// decisions over many contexts through the encoder, the inline decoder and the plain twin.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "mq_coder.h"
#include "mq_reference.h"

namespace {

bool collect(uint8_t byte, void *user) {
  static_cast<std::vector<uint8_t> *>(user)->push_back(byte);
  return true;
}

std::vector<uint8_t> encode(const std::vector<int> &bits, const std::vector<int> &contexts,
                            size_t contextCount) {
  std::vector<uint8_t> out;
  std::vector<uint8_t> cx(contextCount, 0);
  MqEncoder enc;
  mqEncInit(&enc, collect, &out, nullptr);
  for (size_t i = 0; i < bits.size(); ++i) EXPECT_TRUE(mqEncode(&enc, &cx[contexts[i]], bits[i]));
  EXPECT_TRUE(mqFlush(&enc));
  return out;
}

std::vector<int> decode(const std::vector<uint8_t> &data, const std::vector<int> &contexts,
                        size_t contextCount) {
  std::vector<uint8_t> cx(contextCount, 0);
  MqDecoder dec;
  mqDecInit(&dec, data.data(), data.size(), nullptr, nullptr, nullptr);
  std::vector<int> bits;
  for (int c : contexts) bits.push_back(mqDecode(dec, &cx[c]));
  return bits;
}

// T.88 Annex H.2: 256 decisions (the bits of these 32 bytes, most significant first) in one
// context code to these 30 bytes.
const std::vector<uint8_t> kH2Decisions = {
    0x00, 0x02, 0x00, 0x51, 0x00, 0x00, 0x00, 0xC0, 0x03, 0x52, 0x87, 0x2A, 0xAA, 0xAA, 0xAA, 0xAA,
    0x82, 0xC0, 0x20, 0x00, 0xFC, 0xD7, 0x9E, 0xF6, 0xBF, 0x7F, 0xED, 0x90, 0x4F, 0x46, 0xA3, 0xBF};
const std::vector<uint8_t> kH2Coded = {0x84, 0xC7, 0x3B, 0xFC, 0xE1, 0xA1, 0x43, 0x04, 0x02, 0x20,
                                       0x00, 0x00, 0x41, 0x0D, 0xBB, 0x86, 0xF4, 0x31, 0x7F, 0xFF,
                                       0x88, 0xFF, 0x37, 0x47, 0x1A, 0xDB, 0x6A, 0xDF, 0xFF, 0xAC};

std::vector<int> h2Bits() {
  std::vector<int> bits;
  for (uint8_t byte : kH2Decisions)
    for (int i = 7; i >= 0; --i) bits.push_back((byte >> i) & 1);
  return bits;
}

TEST(MqCoder, AnnexH2EncodesByteForByte) {
  const std::vector<int> bits = h2Bits();
  EXPECT_EQ(encode(bits, std::vector<int>(bits.size(), 0), 1), kH2Coded);
}

TEST(MqCoder, AnnexH2Decodes) {
  const std::vector<int> bits = h2Bits();
  EXPECT_EQ(decode(kH2Coded, std::vector<int>(bits.size(), 0), 1), bits);
  MqReferenceDecoder ref;
  ref.init(kH2Coded.data(), kH2Coded.size());
  uint8_t cx = 0;
  for (size_t i = 0; i < bits.size(); ++i) ASSERT_EQ(ref.decode(&cx), bits[i]) << i;
}

TEST(MqCoder, EmptyStreamIsTheMarkerAlone) {
  // FLUSH of an empty stream forms 0xFF 0x7F; the 0x7F after 0xFF is dropped for the marker.
  EXPECT_EQ(encode({}, {}, 1), (std::vector<uint8_t>{0xFF, 0xAC}));
}

TEST(MqCoder, LpsRunSwitchesMpsEveryTime) {
  // Alternating bits keep context 0 in state 0, where every LPS switches the MPS.
  std::vector<int> bits;
  for (int i = 0; i < 500; ++i) bits.push_back(i & 1 ? 0 : 1);
  const std::vector<int> ctx(bits.size(), 0);
  EXPECT_EQ(decode(encode(bits, ctx, 1), ctx, 1), bits);
}

TEST(MqCoder, RandomDecisionsRoundTripThroughBothDecoders) {
  std::mt19937 rng(7);
  for (int round = 0; round < 40; ++round) {
    const size_t n = 1 + rng() % 20000;
    const int contexts = 1 + static_cast<int>(rng() % 64);
    const unsigned skew = rng() % 16;
    std::vector<int> bits(n), ctx(n);
    for (size_t i = 0; i < n; ++i) {
      ctx[i] = static_cast<int>(rng() % contexts);
      bits[i] = (rng() % 16) < skew ? (ctx[i] & 1) : static_cast<int>(rng() & 1);
    }
    const std::vector<uint8_t> coded = encode(bits, ctx, contexts);
    ASSERT_EQ(coded[coded.size() - 2], 0xFF);
    ASSERT_EQ(coded.back(), 0xAC);
    ASSERT_EQ(decode(coded, ctx, contexts), bits) << round;
    // The marker rule: no 0xFF inside the data is followed by a byte above 0x8F.
    for (size_t i = 0; i + 2 < coded.size(); ++i) {
      if (coded[i] == 0xFF) {
        ASSERT_LE(coded[i + 1], 0x8F);
      }
    }
    MqReferenceDecoder ref;
    ref.init(coded.data(), coded.size());
    std::vector<uint8_t> cx(contexts, 0);
    for (size_t i = 0; i < n; ++i) ASSERT_EQ(ref.decode(&cx[ctx[i]]), bits[i]);
  }
}

TEST(MqCoder, DecoderReachesTheMarkerAndStopsThere) {
  std::vector<int> bits(3000), ctx(3000, 0);
  std::mt19937 rng(3);
  for (int &b : bits) b = rng() % 5 == 0;
  std::vector<uint8_t> coded = encode(bits, ctx, 1);
  const size_t codedSize = coded.size();
  coded.push_back(0x12);  // bytes after the marker are never read
  coded.push_back(0x34);
  std::vector<uint8_t> cx(1, 0);
  MqDecoder dec;
  mqDecInit(&dec, coded.data(), coded.size(), nullptr, nullptr, nullptr);
  for (size_t i = 0; i < bits.size(); ++i) ASSERT_EQ(mqDecode(dec, &cx[0]), bits[i]);
  EXPECT_EQ(mqFindMarker(&dec), coded.data() + codedSize);
}

TEST(MqCoder, FindMarkerWithoutMarkerGivesNone) {
  const uint8_t data[] = {0x12, 0x34, 0x56, 0x78, 0x9A};
  MqDecoder dec;
  uint8_t cx = 0;
  mqDecInit(&dec, data, sizeof data, nullptr, nullptr, nullptr);
  mqDecode(dec, &cx);
  EXPECT_EQ(mqFindMarker(&dec), nullptr);
  // Decoding on past the end feeds 1-bits and never reads beyond the window.
  for (int i = 0; i < 1000; ++i) mqDecode(dec, &cx);
  EXPECT_EQ(dec.cursor, data + sizeof data);
  EXPECT_EQ(mqFindMarker(&dec), nullptr);
}

TEST(MqCoder, FFThenNinetyIsDataNotMarker) {
  // 0xFF 0x90 is read as data by this decoder: the window is read to its end.
  const uint8_t data[] = {0x00, 0xFF, 0x90, 0x00, 0x00, 0x00};
  MqDecoder dec;
  uint8_t cx = 0;
  mqDecInit(&dec, data, sizeof data, nullptr, nullptr, nullptr);
  for (int i = 0; i < 200; ++i) mqDecode(dec, &cx);
  EXPECT_EQ(dec.input, kMqNoData);
  const uint8_t marked[] = {0x00, 0xFF, 0xA0, 0x00, 0x00, 0x00};
  mqDecInit(&dec, marked, sizeof marked, nullptr, nullptr, nullptr);
  for (int i = 0; i < 200; ++i) mqDecode(dec, &cx);
  EXPECT_EQ(dec.input, kMqMarker);
  EXPECT_EQ(mqFindMarker(&dec), marked + 3);
}

}  // namespace
