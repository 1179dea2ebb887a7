// Compressor binding: the message table, the error model (an error destroys the object and
// every later step answers 5), the destination's blocks and its write failures, strip sizes,
// densities and quantisation tables as they reach the stream, and the error manager's life.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "jcxapi.h"
#include "jpeg_fixture.h"
#include "testkit_context.h"

namespace {

using jpegtest::decode;
using jpegtest::Sink;

TEST(JcxMessages, FixedCodesAndOneCodePerLibraryMessage) {
  const struct {
    int library;
    int32_t status;
  } fixed[] = {{JERR_BAD_IN_COLORSPACE, 8}, {JERR_BAD_J_COLORSPACE, 9},
               {JERR_BAD_STATE, 19},        {JERR_CONVERSION_NOTIMPL, 25},
               {JERR_FILE_WRITE, 36},       {JERR_NO_BACKING_STORE, 49},
               {JWRN_TOO_MUCH_DATA, 120}};
  for (const auto &f : fixed) EXPECT_EQ(jcxStatusOfMessage(f.library), f.status) << f.library;
  EXPECT_STREQ(jcxMessageText(5), "Invalid cinfo - probable abort");
  EXPECT_STREQ(jcxMessageText(8), "Bogus input colorspace");
  EXPECT_STREQ(jcxMessageText(14), "Invalid quality setting specified");
  EXPECT_STREQ(jcxMessageText(19), "Improper call to JPEG library in state %d");
  EXPECT_STREQ(jcxMessageText(36), "Output file write error --- out of disk space?");
  EXPECT_STREQ(jcxMessageText(43), "Memory alloc failure for error manager");
  EXPECT_STREQ(jcxMessageText(120), "Application transferred too many scanlines");
  EXPECT_EQ(jcxMessageText(121), nullptr);
  // Every error and warning of the library has its own code; the binding's own codes are
  // never given to a library message.
  std::set<int32_t> seen;
  int raisable = 0;
  for (int code = 1; code < JMSG_LASTMSGCODE; ++code) {
    const int32_t status = jcxStatusOfMessage(code);
    if (status < 0) continue;
    ++raisable;
    EXPECT_GE(status, 1);
    EXPECT_LE(status, 120);
    EXPECT_NE(status, 5);
    EXPECT_NE(status, 14);
    EXPECT_NE(status, 43);
    EXPECT_TRUE(seen.insert(status).second) << "code " << status << " given twice";
  }
  EXPECT_GT(raisable, 80);
  EXPECT_EQ(jcxStatusOfMessage(JTRC_SOF), -1);
}

struct Binding : ::testing::Test {
  norvtest::TrackedContext t;
  PxlContext *ctx = t.get();
  const size_t baseline = t.tracker.live.size();
  Sink sink;
  JcxCompressObject o{};
  int32_t create(int32_t w, int32_t h, int32_t comps, int32_t quality = 75, int32_t xd = 0,
                 int32_t yd = 0, int32_t progressive = 0) {
    return jcx_create(ctx, &o, w, h, comps, quality, progressive, xd, yd, Sink::write, &sink);
  }
  // Writes rows of a constant sample value, strip by strip.
  int32_t writeAll(int32_t value) {
    const int32_t stride = static_cast<int32_t>(o.cinfo.image_width) * o.cinfo.input_components;
    std::vector<uint8_t> row(static_cast<size_t>(stride), static_cast<uint8_t>(value));
    std::vector<JSAMPROW> rows(16, row.data());
    for (;;) {
      int32_t n = 0;
      jcx_strip_rows(ctx, &o, &n);
      if (n == 0) return 0;
      if (const int32_t s = jcx_write_rows(ctx, &o, rows.data(), n); s != 0) return s;
    }
  }
  void abandon() {
    jpeg_destroy_compress(&o.cinfo);
    jcx_free_error_mgr(ctx, &o.cinfo.err);
  }
  void TearDown() override { EXPECT_EQ(t.tracker.live.size(), baseline) << "blocks left"; }
};

TEST_F(Binding, CompressesAndFreesTheErrorManager) {
  ASSERT_EQ(create(40, 30, 3), 0);
  EXPECT_EQ(t.tracker.live.size(), baseline + 1);  // the error manager
  ASSERT_EQ(jcx_start(ctx, &o), 0);
  ASSERT_EQ(writeAll(90), 0);
  ASSERT_EQ(jcx_finish(ctx, &o), 0);
  EXPECT_EQ(o.cinfo.err, nullptr);
  EXPECT_EQ(o.cinfo.global_state, 0);
  const auto d = decode(sink.bytes, false);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.width, 40);
  EXPECT_EQ(d.height, 30);
  EXPECT_EQ(d.components, 3);
  EXPECT_NEAR(d.pixels[100], 90, 2);
  // A finished object takes no further step.
  EXPECT_EQ(jcx_finish(ctx, &o), 5);
}

TEST_F(Binding, AnErrorDestroysTheObjectAndLaterStepsGiveFive) {
  ASSERT_EQ(create(8, 8, 3), 0);
  EXPECT_EQ(jcx_set_quality(ctx, &o, 101), 14);
  EXPECT_EQ(o.cinfo.global_state, 0);
  EXPECT_EQ(jcx_set_width(ctx, &o, 10), 5);
  EXPECT_EQ(jcx_set_quality(ctx, &o, 50), 5);
  EXPECT_EQ(jcx_start(ctx, &o), 5);
  EXPECT_STREQ(reinterpret_cast<JcxErrorMgr *>(o.cinfo.err)->text,
               "Invalid cinfo - probable abort");
  abandon();
  abandon();  // destroying twice and freeing a null manager are harmless
}

TEST_F(Binding, ConfigurationErrors) {
  ASSERT_EQ(create(8, 8, 3), 0);
  EXPECT_EQ(jcx_set_components(ctx, &o, 2), 8);
  EXPECT_STREQ(reinterpret_cast<JcxErrorMgr *>(o.cinfo.err)->text, "Bogus input colorspace");
  abandon();
  ASSERT_EQ(create(8, 8, 4), 0);
  EXPECT_EQ(jcx_select_itulab(ctx, &o), 9);
  abandon();
  EXPECT_EQ(create(8, 8, 2), 8);
  abandon();
  // Rows before the start, and a second start, are calls in the wrong state.
  ASSERT_EQ(create(8, 8, 1), 0);
  std::vector<uint8_t> row(8);
  JSAMPROW rows[1] = {row.data()};
  EXPECT_EQ(jcx_write_rows(ctx, &o, rows, 1), 19);
  abandon();
  ASSERT_EQ(create(8, 8, 1), 0);
  ASSERT_EQ(jcx_start(ctx, &o), 0);
  EXPECT_EQ(jcx_start(ctx, &o), 19);
  abandon();
}

TEST_F(Binding, NoErrorManagerGivesFortyThree) {
  t.tracker.failAllocation(1);
  EXPECT_EQ(create(8, 8, 1), 43);
  EXPECT_EQ(o.cinfo.err, nullptr);
  EXPECT_EQ(jcx_set_width(ctx, &o, 8), 5);
  EXPECT_EQ(jcx_create(nullptr, &o, 8, 8, 1, 75, 0, 0, 0, Sink::write, &sink), 43);
}

TEST_F(Binding, StripRows) {
  ASSERT_EQ(create(16, 40, 3), 0);
  int32_t n = 0;
  jcx_strip_rows(ctx, &o, &n);
  EXPECT_EQ(n, 16);
  ASSERT_EQ(jcx_start(ctx, &o), 0);
  jcx_strip_rows(ctx, &o, &n);
  EXPECT_EQ(n, 16);
  std::vector<uint8_t> row(48);
  std::vector<JSAMPROW> rows(16, row.data());
  ASSERT_EQ(jcx_write_rows(ctx, &o, rows.data(), 16), 0);
  ASSERT_EQ(jcx_write_rows(ctx, &o, rows.data(), 16), 0);
  jcx_strip_rows(ctx, &o, &n);
  EXPECT_EQ(n, 8);  // the rows left
  abandon();
  ASSERT_EQ(create(16, 40, 1), 0);
  ASSERT_EQ(jcx_start(ctx, &o), 0);
  jcx_strip_rows(ctx, &o, &n);
  EXPECT_EQ(n, 8);
  abandon();
}

TEST_F(Binding, RowsBeyondTheHeightAreAWarning) {
  ASSERT_EQ(create(16, 10, 1), 0);
  ASSERT_EQ(jcx_start(ctx, &o), 0);
  std::vector<uint8_t> row(16, 200);
  std::vector<JSAMPROW> rows(16, row.data());
  EXPECT_EQ(jcx_write_rows(ctx, &o, rows.data(), 16), 0);
  EXPECT_EQ(jcx_write_rows(ctx, &o, rows.data(), 4), 0);
  EXPECT_GT(o.cinfo.err->num_warnings, 0);
  ASSERT_EQ(jcx_finish(ctx, &o), 0);
  EXPECT_EQ(decode(sink.bytes, false).height, 10);
}

TEST_F(Binding, OutputReachesTheCallbackInWholeBlocks) {
  // A small stream: one call, from the end of the stream, with its exact length.
  ASSERT_EQ(create(8, 8, 1), 0);
  ASSERT_EQ(jcx_start(ctx, &o), 0);
  ASSERT_EQ(writeAll(128), 0);
  ASSERT_EQ(jcx_finish(ctx, &o), 0);
  ASSERT_EQ(sink.calls.size(), 1u);
  EXPECT_EQ(sink.calls[0], static_cast<int32_t>(sink.bytes.size()));
  EXPECT_LT(sink.bytes.size(), 4096u);
  // A large one: blocks of 4096 and one short block; no empty call at the end.
  sink = Sink();
  ASSERT_EQ(create(600, 600, 3, 100), 0);
  ASSERT_EQ(jcx_start(ctx, &o), 0);
  std::vector<uint8_t> noise(600 * 3);
  uint32_t seed = 7;
  for (auto &v : noise) v = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
  std::vector<JSAMPROW> rows(16, noise.data());
  for (int32_t left = 600; left > 0; left -= 16)
    ASSERT_EQ(jcx_write_rows(ctx, &o, rows.data(), left < 16 ? left : 16), 0);
  ASSERT_EQ(jcx_finish(ctx, &o), 0);
  ASSERT_GT(sink.calls.size(), 3u);
  for (size_t i = 0; i + 1 < sink.calls.size(); ++i) EXPECT_EQ(sink.calls[i], 4096);
  EXPECT_GT(sink.calls.back(), 0);
  EXPECT_LE(sink.calls.back(), 4096);
  EXPECT_TRUE(decode(sink.bytes, false).ok);
}

TEST_F(Binding, WriteFailuresEndTheCompression) {
  const struct {
    int32_t status, shortCount, want;
  } cases[] = {{0, 100, 36}, {0, 0, 36}, {77, -1, 77}};
  for (const auto &c : cases) {
    sink = Sink();
    sink.status = c.status;
    sink.shortCount = c.shortCount;
    ASSERT_EQ(create(8, 8, 1), 0);
    ASSERT_EQ(jcx_start(ctx, &o), 0);
    ASSERT_EQ(writeAll(1), 0);
    EXPECT_EQ(jcx_finish(ctx, &o), c.want);
    EXPECT_EQ(o.cinfo.global_state, 0);
    abandon();
    // Mid-stream: the first full block fails.
    sink = Sink();
    sink.status = c.status;
    sink.shortCount = c.shortCount;
    ASSERT_EQ(create(600, 600, 1, 100), 0);
    ASSERT_EQ(jcx_start(ctx, &o), 0);
    std::vector<uint8_t> noise(600);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 37 + i / 3);
    std::vector<JSAMPROW> rows(8, noise.data());
    int32_t status = 0;
    for (int32_t y = 0; y < 600 && status == 0; y += 8)
      status = jcx_write_rows(ctx, &o, rows.data(), 8);
    EXPECT_EQ(status, c.want);
    EXPECT_EQ(sink.calls.size(), 1u);
    abandon();
  }
}

TEST_F(Binding, DensityOnlyAboveSix) {
  ASSERT_EQ(create(8, 8, 1, 75, 6, 300), 0);
  ASSERT_EQ(jcx_start(ctx, &o), 0);
  ASSERT_EQ(writeAll(0), 0);
  ASSERT_EQ(jcx_finish(ctx, &o), 0);
  auto d = decode(sink.bytes, false);
  EXPECT_TRUE(d.jfif);
  EXPECT_EQ(d.densityUnit, 0);
  EXPECT_EQ(d.xDensity, 1);
  EXPECT_EQ(d.yDensity, 1);
  sink = Sink();
  ASSERT_EQ(create(8, 8, 1, 75, 7, 7), 0);
  ASSERT_EQ(jcx_start(ctx, &o), 0);
  ASSERT_EQ(writeAll(0), 0);
  ASSERT_EQ(jcx_finish(ctx, &o), 0);
  d = decode(sink.bytes, false);
  EXPECT_EQ(d.densityUnit, 1);
  EXPECT_EQ(d.xDensity, 7);
  EXPECT_EQ(d.yDensity, 7);
}

TEST_F(Binding, QuantTablesInNaturalOrderAndUnlimited) {
  uint16_t luma[64], chroma[64];
  for (int i = 0; i < 64; ++i) {
    luma[i] = static_cast<uint16_t>(1 + i);  // row-major ramp
    chroma[i] = static_cast<uint16_t>(200 - 2 * i);
  }
  // Quality 50 scales by 100 %: the tables reach the stream as given, in natural order.
  ASSERT_EQ(create(16, 16, 3, 50), 0);
  ASSERT_EQ(jcx_set_luma_quant(ctx, &o, 50, luma), 0);
  ASSERT_EQ(jcx_set_chroma_quant(ctx, &o, 50, chroma), 0);
  ASSERT_EQ(jcx_start(ctx, &o), 0);
  ASSERT_EQ(writeAll(60), 0);
  ASSERT_EQ(jcx_finish(ctx, &o), 0);
  auto d = decode(sink.bytes, false);
  ASSERT_TRUE(d.ok);
  for (int i = 0; i < 64; ++i) {
    EXPECT_EQ(d.quant[0][i], luma[i]) << i;
    EXPECT_EQ(d.quant[1][i], chroma[i]) << i;
  }
  // Quality 10 scales by 500 % without the baseline limit of 255.
  sink = Sink();
  ASSERT_EQ(create(16, 16, 3, 10), 0);
  ASSERT_EQ(jcx_set_chroma_quant(ctx, &o, 10, chroma), 0);
  ASSERT_EQ(jcx_start(ctx, &o), 0);
  ASSERT_EQ(writeAll(60), 0);
  ASSERT_EQ(jcx_finish(ctx, &o), 0);
  d = decode(sink.bytes, false);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.quant[1][0], 1000);
}

// The library's working memory is bounded: by JPEGMEM when it is set (in thousands of bytes),
// else by the binding; a progressive image whose coefficient buffers exceed the bound fails
// with 49 and leaves nothing behind.
TEST_F(Binding, WorkingMemoryIsBounded) {
  const char *saved = std::getenv("JPEGMEM");
  const std::string kept = saved != nullptr ? saved : "";
  unsetenv("JPEGMEM");
  ASSERT_EQ(create(64, 48, 3, 75, 0, 0, 1), 0);
  EXPECT_GE(o.cinfo.mem->max_memory_to_use, 1L << 28);
  abandon();
  setenv("JPEGMEM", "20", 1);
  ASSERT_EQ(create(64, 48, 3, 75, 0, 0, 1), 0);
  EXPECT_EQ(o.cinfo.mem->max_memory_to_use, 20000);
  int32_t status = jcx_start(ctx, &o);
  if (status == 0) status = writeAll(30);
  EXPECT_EQ(status, 49);
  EXPECT_EQ(o.cinfo.global_state, 0);
  jcx_free_error_mgr(ctx, &o.cinfo.err);
  // Sequential coding needs no whole-image buffer and fits the same bound.
  ASSERT_EQ(create(64, 48, 3), 0);
  ASSERT_EQ(jcx_start(ctx, &o), 0);
  ASSERT_EQ(writeAll(30), 0);
  ASSERT_EQ(jcx_finish(ctx, &o), 0);
  if (saved != nullptr)
    setenv("JPEGMEM", kept.c_str(), 1);
  else
    unsetenv("JPEGMEM");
}

TEST_F(Binding, ProgressiveStreams) {
  ASSERT_EQ(create(64, 48, 3, 75, 0, 0, 1), 0);
  ASSERT_EQ(jcx_start(ctx, &o), 0);
  ASSERT_EQ(writeAll(30), 0);
  ASSERT_EQ(jcx_finish(ctx, &o), 0);
  const auto d = decode(sink.bytes, false);
  ASSERT_TRUE(d.ok);
  EXPECT_TRUE(d.progressive);
}

}  // namespace
