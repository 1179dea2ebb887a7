// The encoder state: every default of a fresh record, the three setters (each option, the order
// in which they depend on one another, clamping, and the refusal of values the encoder cannot
// work with, which changes nothing), and clean-up with what hangs on the record.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "enc_assembly.h"
#include "norv_enc.h"
#include "output_writer.h"
#include "qtz_internal.h"
#include "testkit_files.h"
#include "testkit_state.h"

namespace {

class EncStateTest : public norvtest::TrackedStateTest {
 protected:
  void SetUp() override {
    norvtest::TrackedStateTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(norv_initEncState(state_, &enc_), 0);
  }
  void TearDown() override {
    EXPECT_EQ(norv_cleanEncState(state_, &enc_), 0);
    norvtest::TrackedStateTest::TearDown();
  }

 public:
  // Sets one general option by its argument number (1 to 18).
  int32_t general(int number, const void *value) {
    const void *g[19] = {};
    g[number] = value;
    return norv_setGeneralEncOptions(
        enc_, static_cast<const uint8_t *>(g[1]), static_cast<const uint8_t *>(g[2]),
        static_cast<const int32_t *>(g[3]), static_cast<const int32_t *>(g[4]),
        static_cast<const char *const *>(g[5]), static_cast<const int32_t *>(g[6]),
        static_cast<const int32_t *>(g[7]), static_cast<const uint8_t *>(g[8]),
        static_cast<const uint8_t *>(g[9]), static_cast<const uint8_t *>(g[10]),
        static_cast<const int32_t *>(g[11]), static_cast<const uint8_t *>(g[12]),
        static_cast<const uint8_t *>(g[13]), static_cast<const int32_t *>(g[14]),
        static_cast<const int32_t *>(g[15]), static_cast<const uint8_t *>(g[16]),
        static_cast<const uint8_t *>(g[17]), static_cast<const uint8_t *>(g[18]));
  }

  // Sets one token option by its argument number (1 to 16).
  int32_t token(int number, const void *value) {
    const void *t[17] = {};
    t[number] = value;
    return norv_setTokenOptions(
        enc_, static_cast<const int32_t *>(t[1]), static_cast<const float *>(t[2]),
        static_cast<const int32_t *>(t[3]), static_cast<const int32_t *>(t[4]),
        static_cast<const int32_t *>(t[5]), static_cast<const int32_t *>(t[6]),
        static_cast<const int32_t *>(t[7]), static_cast<const int32_t *>(t[8]),
        static_cast<const int32_t *>(t[9]), static_cast<const int32_t *>(t[10]),
        static_cast<const int32_t *>(t[11]), static_cast<const int32_t *>(t[12]),
        static_cast<const float *>(t[13]), static_cast<const int32_t *>(t[14]),
        static_cast<const int32_t *>(t[15]), static_cast<const int32_t *>(t[16]));
  }

  NorvEncState *enc_ = nullptr;
};

TEST_F(EncStateTest, FreshRecordHoldsEveryDefault) {
  const NorvEncState &e = *enc_;
  EXPECT_EQ(e.encoder, nullptr);
  EXPECT_EQ(e.componentSizeLimit, 1);
  EXPECT_EQ(e.tokenOption1, 10);
  EXPECT_EQ(e.deskewPrecision, 3);
  EXPECT_EQ(e.orientation, 0);
  EXPECT_EQ(e.quarterTurns, 0);
  EXPECT_EQ(e.jbig2Halftones, 0);
  EXPECT_EQ(e.resolutionOverride, -1);
  EXPECT_EQ(e.spare[0], 0);
  EXPECT_EQ(e.spare[1], 0);
  EXPECT_EQ(e.deskewTokens, 0);
  EXPECT_EQ(e.pageDictFlagOff, 0);
  EXPECT_EQ(e.outputMode, 2);
  EXPECT_EQ(e.tenthLimit, 1);
  EXPECT_EQ(e.dictionaryMemoryLimit, -1);
  EXPECT_EQ(e.verbose, 0);
  EXPECT_EQ(e.writePdf, 0);
  EXPECT_EQ(e.matchFraction, 0.97f);
  EXPECT_EQ(e.maxClusterErrors, 3);
  EXPECT_EQ(e.widthRadius, 1);
  EXPECT_EQ(e.heightRadius, 1);
  EXPECT_EQ(e.freezeCount, 10000);
  EXPECT_EQ(e.accumulateLimit, 10000);
  EXPECT_EQ(e.countTemplateMinimum, 10);
  EXPECT_EQ(e.countImageMinimum, 0);
  EXPECT_EQ(e.shiftTrials, 8);
  EXPECT_EQ(e.errorOffset, 3);
  EXPECT_EQ(e.errorKnee, 6);
  EXPECT_EQ(e.smallTokenSize, 6);
  EXPECT_EQ(e.errorSlope, 2.0f);
  EXPECT_EQ(e.dilationRadius, 1);
  EXPECT_EQ(e.tokFlags, 0x18u);
  EXPECT_EQ(e.lossyState, state_);
  EXPECT_EQ(e.hook, nullptr);
  EXPECT_EQ(e.hookUserData, nullptr);
  EXPECT_EQ(e.docFirstWord, 0);
  EXPECT_EQ(e.docState, state_);
  EXPECT_EQ(e.docComponentSizeLimit, 1);
  EXPECT_EQ(e.docWords[0], -1);
  EXPECT_EQ(e.docWords[1], -1);
  EXPECT_EQ(e.docOption, 301);
  EXPECT_EQ(e.docOption2, 1);
  const uint8_t flags[4] = {0, 0, 0, 1};
  EXPECT_EQ(std::memcmp(e.docFlags, flags, 4), 0);
  EXPECT_EQ(e.docJbig2Halftones, 0);
  EXPECT_EQ(e.docVerbose, 0);
  EXPECT_EQ(e.docTrailingWords[0], 0);
  EXPECT_EQ(e.docTrailingWords[1], 0);
  EXPECT_EQ(e.quiet, 0);
  EXPECT_EQ(e.jpegScale, 1.0f);
  EXPECT_EQ(e.jpegQualityCopy, 90);
  EXPECT_EQ(e.jpegQuality, 90);
  EXPECT_EQ(e.backgroundDpi, 100);
  EXPECT_EQ(e.noSymbolMatching, 0);
  EXPECT_EQ(e.output.file, nullptr);
  EXPECT_EQ(e.output.seek, &std::fseek);
  EXPECT_EQ(e.output.tell, &std::ftell);
  EXPECT_EQ(e.output.eof, &std::feof);
  EXPECT_EQ(e.flushPages, 50);
  EXPECT_EQ(e.defaultDpi, 300);
  EXPECT_EQ(e.sectionPages, 100);
  EXPECT_EQ(e.greyTemplates, 0);
  EXPECT_EQ(e.writeRawJbig2, 0);
  EXPECT_EQ(e.writer, nullptr);
  EXPECT_EQ(e.pendingPages, nullptr);
  EXPECT_EQ(e.pageCount, 0);
}

TEST_F(EncStateTest, OutputFunctionsReachTheFile) {
  norvtest::TempFile file("enc_io");
  FILE *f = std::fopen(file.path(), "w+b");
  ASSERT_NE(f, nullptr);
  const char text[] = "abcdef";
  EXPECT_EQ(enc_->output.write(text, 1, 6, f), 6u);
  EXPECT_EQ(enc_->output.tell(f), 6);
  EXPECT_EQ(enc_->output.seek(f, 2, SEEK_SET), 0);
  char back[4] = {};
  EXPECT_EQ(enc_->output.read(back, 1, 4, f), 4u);
  EXPECT_EQ(std::string(back, 4), "cdef");
  EXPECT_EQ(enc_->output.read(back, 1, 1, f), 0u);
  EXPECT_NE(enc_->output.eof(f), 0);
  std::fclose(f);
}

TEST_F(EncStateTest, GeneralOptionsSetTheirFieldsAndCopies) {
  const uint8_t one = 1, zero = 0;
  const int32_t precision = 4, dpi = 200, turns = 2, mode = 1;
  const char *left = "left";
  ASSERT_EQ(general(1, &one), 0);
  EXPECT_EQ(enc_->jbig2Halftones, 1);
  EXPECT_EQ(enc_->docJbig2Halftones, 1);
  ASSERT_EQ(general(2, &one), 0);
  EXPECT_EQ(enc_->deskewTokens, 1);
  ASSERT_EQ(general(3, &precision), 0);
  EXPECT_EQ(enc_->deskewPrecision, 4);
  ASSERT_EQ(general(4, &dpi), 0);
  EXPECT_EQ(enc_->resolutionOverride, 200);
  EXPECT_EQ(enc_->defaultDpi, 200);
  ASSERT_EQ(general(5, &left), 0);
  EXPECT_EQ(enc_->orientation, 2);
  ASSERT_EQ(general(6, &turns), 0);
  EXPECT_EQ(enc_->quarterTurns, 2);
  ASSERT_EQ(general(7, &mode), 0);
  EXPECT_EQ(enc_->outputMode, 1);
  ASSERT_EQ(general(8, &one), 0);
  EXPECT_EQ(enc_->pageDictFlagOff, 1);
  ASSERT_EQ(general(9, &one), 0);  // stored inverted
  EXPECT_EQ(enc_->tenthLimit, 0);
  ASSERT_EQ(general(9, &zero), 0);
  EXPECT_EQ(enc_->tenthLimit, 1);
  ASSERT_EQ(general(10, &one), 0);
  EXPECT_EQ(enc_->verbose, 1);
  EXPECT_EQ(enc_->docVerbose, 1);
  ASSERT_EQ(general(12, &one), 0);
  EXPECT_EQ(enc_->quiet, 1);
  const int32_t flush = 7, section = 21;
  ASSERT_EQ(general(14, &flush), 0);
  EXPECT_EQ(enc_->flushPages, 7);
  ASSERT_EQ(general(15, &section), 0);
  EXPECT_EQ(enc_->sectionPages, 21);
  ASSERT_EQ(general(16, &one), 0);
  EXPECT_EQ(enc_->greyTemplates, 1);
  ASSERT_EQ(general(17, &one), 0);
  EXPECT_EQ(enc_->writeRawJbig2, 1);
  ASSERT_EQ(general(18, &one), 0);
  EXPECT_EQ(enc_->writePdf, 1);
  // -1 ends an override but is no resolution for pages without one.
  const int32_t none = -1;
  ASSERT_EQ(general(4, &none), 0);
  EXPECT_EQ(enc_->resolutionOverride, -1);
  EXPECT_EQ(enc_->defaultDpi, 200);
}

TEST_F(EncStateTest, OrientationLettersPrecisionClampAndQuarterTurns) {
  struct Letter {
    const char *text;
    int32_t orientation;
  };
  const Letter letters[] = {{"R", 3}, {"x", 3}, {"up", 1}, {"", 1}, {"D", 0}, {"l", 2}, {"r", 3}};
  for (const Letter &l : letters) {
    ASSERT_EQ(general(5, &l.text), 0);
    EXPECT_EQ(enc_->orientation, l.orientation) << l.text;
  }
  const char *none = nullptr;
  ASSERT_EQ(general(5, &none), 0);
  EXPECT_EQ(enc_->orientation, 3);

  const int32_t precisions[][2] = {{-3, 0}, {0, 0}, {5, 5}, {9, 5}};
  for (const auto &p : precisions) {
    ASSERT_EQ(general(3, &p[0]), 0);
    EXPECT_EQ(enc_->deskewPrecision, p[1]) << p[0];
  }
  const int32_t turns[][2] = {{-1, 3}, {-4, 0}, {-5, 3}, {5, 1}, {8, 0}, {3, 3}};
  for (const auto &t : turns) {
    ASSERT_EQ(general(6, &t[0]), 0);
    EXPECT_EQ(enc_->quarterTurns, t[1]) << t[0];
  }
}

TEST_F(EncStateTest, MemoryCodeSeesTheNewHalftoneFlagAndOutputModeInOneCall) {
  const int32_t code1 = 1, code2 = 2, other = 7, keep = -1, mode2 = 2, mode1 = 1;
  const uint8_t one = 1;
  ASSERT_EQ(norv_setGeneralEncOptions(enc_, &one, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      &mode2, nullptr, nullptr, nullptr, &code1, nullptr, nullptr,
                                      nullptr, nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(enc_->dictionaryMemoryLimit, 1014784);
  const uint8_t zero = 0;
  ASSERT_EQ(general(1, &zero), 0);
  ASSERT_EQ(general(11, &code1), 0);
  EXPECT_EQ(enc_->dictionaryMemoryLimit, 1015808);
  ASSERT_EQ(general(11, &keep), 0);  // the stored limit is lowered again
  EXPECT_EQ(enc_->dictionaryMemoryLimit, 1007616);
  ASSERT_EQ(general(11, &code2), 0);
  EXPECT_EQ(enc_->dictionaryMemoryLimit, 2048000 - 8192);
  ASSERT_EQ(general(7, &mode1), 0);
  ASSERT_EQ(general(11, &other), 0);
  EXPECT_EQ(enc_->dictionaryMemoryLimit, 32768000 - 9216);
}

TEST_F(EncStateTest, MemoryCodeKeepsNoLimit) {
  const int32_t keep = -1;
  ASSERT_EQ(general(11, &keep), 0);
  EXPECT_EQ(enc_->dictionaryMemoryLimit, -1);
}

TEST_F(EncStateTest, NoSymbolMatchingHoldsSmallTokenSize) {
  const int32_t four = 4;
  ASSERT_EQ(token(15, &four), 0);
  EXPECT_EQ(enc_->smallTokenSize, 4);
  const uint8_t one = 1;
  ASSERT_EQ(general(13, &one), 0);
  EXPECT_EQ(enc_->noSymbolMatching, 1);
  EXPECT_EQ(enc_->smallTokenSize, 0xFFFFFF);
  ASSERT_EQ(token(15, &four), 0);
  EXPECT_EQ(enc_->smallTokenSize, 0xFFFFFF);
}

TEST_F(EncStateTest, TokenAndJpegOptionsSetTheirFields) {
  const float fraction = 0.9f, slope = 1.5f;
  const int32_t v[17] = {0, 11, 0, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 0, 3, 7, 5};
  for (int n = 1; n <= 16; ++n) {
    if (n == 2 || n == 13) continue;
    ASSERT_EQ(token(n, &v[n]), 0) << n;
  }
  ASSERT_EQ(token(2, &fraction), 0);
  ASSERT_EQ(token(13, &slope), 0);
  const NorvEncState &e = *enc_;
  EXPECT_EQ(e.tokenOption1, 11);
  EXPECT_EQ(e.matchFraction, 0.9f);
  EXPECT_EQ(e.maxClusterErrors, 13);
  EXPECT_EQ(e.widthRadius, 14);
  EXPECT_EQ(e.heightRadius, 15);
  EXPECT_EQ(e.freezeCount, 16);
  EXPECT_EQ(e.accumulateLimit, 17);
  EXPECT_EQ(e.countTemplateMinimum, 18);
  EXPECT_EQ(e.countImageMinimum, 19);
  EXPECT_EQ(e.shiftTrials, 20);
  EXPECT_EQ(e.errorOffset, 21);
  EXPECT_EQ(e.errorKnee, 22);
  EXPECT_EQ(e.errorSlope, 1.5f);
  EXPECT_EQ(e.dilationRadius, 3);
  EXPECT_EQ(e.smallTokenSize, 7);
  EXPECT_EQ(e.componentSizeLimit, 5);
  EXPECT_EQ(e.docComponentSizeLimit, 5);

  const int32_t quality = 60, dpi = 150;
  const float scale = 0.5f;
  ASSERT_EQ(norv_setJpegOptions(enc_, &quality, &dpi, &scale), 0);
  EXPECT_EQ(e.jpegQuality, 60);
  EXPECT_EQ(e.jpegQualityCopy, 60);
  EXPECT_EQ(e.backgroundDpi, 150);
  EXPECT_EQ(e.jpegScale, 0.5f);
  ASSERT_EQ(norv_setJpegOptions(enc_, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(e.jpegQuality, 60);
}

// Every value the encoder cannot work with: the call gives 2, is reported once, and the record
// is byte for byte what it was, good values given beside the bad one included.
TEST_F(EncStateTest, BadValuesAreRefusedAndChangeNothing) {
  const int32_t zero = 0, minus = -1, minus2 = -2, big = 25, good = 9;
  const float fzero = 0.0f, fneg = -1.0f, fnan = std::nanf(""),
              finf = std::numeric_limits<float>::infinity();
  struct Case {
    const char *name;
    int32_t (*set)(EncStateTest *, const void *);
    const void *value;
  };
  auto generalWithGood = [](EncStateTest *t, int number, const void *bad) {
    static const uint8_t flag = 1;
    const void *g[19] = {};
    g[number] = bad;
    g[1] = &flag;  // a good value beside the bad one
    return norv_setGeneralEncOptions(
        t->enc_, static_cast<const uint8_t *>(g[1]), nullptr, nullptr,
        static_cast<const int32_t *>(g[4]), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        nullptr, nullptr, nullptr, static_cast<const int32_t *>(g[14]),
        static_cast<const int32_t *>(g[15]), nullptr, nullptr, nullptr);
  };
  const Case cases[] = {
      {"flushPages 0", [](EncStateTest *t, const void *v) { return t->general(14, v); }, &zero},
      {"flushPages -1", [](EncStateTest *t, const void *v) { return t->general(14, v); }, &minus},
      {"sectionPages 0", [](EncStateTest *t, const void *v) { return t->general(15, v); }, &zero},
      {"resolution override 0", [](EncStateTest *t, const void *v) { return t->general(4, v); },
       &zero},
      {"resolution override -2", [](EncStateTest *t, const void *v) { return t->general(4, v); },
       &minus2},
      {"backgroundDpi 0",
       [](EncStateTest *t, const void *v) {
         return norv_setJpegOptions(t->enc_, nullptr, static_cast<const int32_t *>(v), nullptr);
       },
       &zero},
      {"backgroundDpi -1",
       [](EncStateTest *t, const void *v) {
         return norv_setJpegOptions(t->enc_, nullptr, static_cast<const int32_t *>(v), nullptr);
       },
       &minus},
      {"jpegScale 0",
       [](EncStateTest *t, const void *v) {
         static const int32_t quality = 50;
         return norv_setJpegOptions(t->enc_, &quality, nullptr, static_cast<const float *>(v));
       },
       &fzero},
      {"jpegScale -1",
       [](EncStateTest *t, const void *v) {
         return norv_setJpegOptions(t->enc_, nullptr, nullptr, static_cast<const float *>(v));
       },
       &fneg},
      {"jpegScale NaN",
       [](EncStateTest *t, const void *v) {
         return norv_setJpegOptions(t->enc_, nullptr, nullptr, static_cast<const float *>(v));
       },
       &fnan},
      {"jpegScale infinite",
       [](EncStateTest *t, const void *v) {
         return norv_setJpegOptions(t->enc_, nullptr, nullptr, static_cast<const float *>(v));
       },
       &finf},
      {"shiftTrials 25", [](EncStateTest *t, const void *v) { return t->token(10, v); }, &big},
      {"shiftTrials -1", [](EncStateTest *t, const void *v) { return t->token(10, v); }, &minus},
      {"dilationRadius -1",
       [](EncStateTest *t, const void *v) {
         static const int32_t limit = 4;
         const int32_t *t14 = static_cast<const int32_t *>(v);
         return norv_setTokenOptions(t->enc_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     t14, nullptr, &limit);
       },
       &minus},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const NorvEncState before = *enc_;
    const std::string reportsBefore = errors_.text();
    EXPECT_EQ(c.set(this, c.value), 2);
    EXPECT_EQ(std::memcmp(&before, enc_, sizeof before), 0);
    EXPECT_EQ(errors_.text().size() > reportsBefore.size(), true);
  }
  for (int number : {4, 14, 15}) {
    const NorvEncState before = *enc_;
    EXPECT_EQ(generalWithGood(this, number, &zero), 2);
    EXPECT_EQ(std::memcmp(&before, enc_, sizeof before), 0);
  }
  // The bounds themselves are taken.
  const int32_t trials = 24;
  EXPECT_EQ(token(10, &trials), 0);
  EXPECT_EQ(token(14, &zero), 0);
  EXPECT_EQ(general(14, &good), 0);
  EXPECT_EQ(enc_->flushPages, 9);
}

TEST_F(EncStateTest, NullRecordIsRefused) {
  const int32_t v = 1;
  EXPECT_EQ(norv_setGeneralEncOptions(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      &v, nullptr, nullptr, nullptr, nullptr),
            2);
  EXPECT_EQ(norv_setJpegOptions(nullptr, &v, nullptr, nullptr), 2);
  EXPECT_EQ(norv_setTokenOptions(nullptr, &v, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, nullptr),
            2);
}

TEST_F(EncStateTest, CleanTwiceAndNullAddress) {
  EXPECT_EQ(norv_cleanEncState(state_, &enc_), 0);
  EXPECT_EQ(enc_, nullptr);
  EXPECT_EQ(norv_cleanEncState(state_, &enc_), 0);
  EXPECT_EQ(norv_cleanEncState(state_, nullptr), 2);
  EXPECT_EQ(norv_initEncState(state_, nullptr), 118);
  EXPECT_EQ(norv_initEncState(nullptr, &enc_), 118);
}

TEST_F(EncStateTest, CleanFreesPendingPagesAndClosesTheWriter) {
  norvtest::TempFile file("enc_clean");
  enc_->output.file = std::fopen(file.path(), "wb");
  ASSERT_NE(enc_->output.file, nullptr);
  enc_->writeRawJbig2 = 1;
  ASSERT_EQ(norvenc::openJbig2FileWriter(state_, &enc_->output, &enc_->writer), 0);
  ASSERT_EQ(QtzAdt_liNew(&enc_->pendingPages, state_), 0);
  for (int k = 0; k < 3; ++k)
    ASSERT_EQ(QtzAdt_liAdd(enc_->pendingPages, qtz::allocate(state_, 24), nullptr), 0);
  EXPECT_EQ(norv_cleanEncState(state_, &enc_), 0);
  EXPECT_EQ(enc_, nullptr);
  EXPECT_EQ(norvtest::readFile(file.name()).size(), 9u);  // the header, flushed by the close
}

TEST_F(EncStateTest, CleanDestroysTheEncoder) {
  // The encoder's own state over the tracking hooks: everything it made goes back.
  const NorvTokenGroup tokens = norvTokenGroupOf(*enc_);
  const TokOptions lossy = norvLossyGroupOf(*enc_);
  ASSERT_EQ(buildEncoder(&enc_->encoder, &norvtest::kTrackingHooks, nullptr, &tokens, &lossy,
                         nullptr, nullptr),
            0);
  ASSERT_EQ(startEncoderSection(enc_->encoder), 0);
  EXPECT_EQ(norv_cleanEncState(state_, &enc_), 0);
  EXPECT_EQ(enc_, nullptr);
}

TEST_F(EncStateTest, InitFailsCleanlyWithoutMemory) {
  NorvEncState *other = nullptr;
  norvtest::failEachRequest([&](long) {
    const int32_t status = norv_initEncState(state_, &other);
    if (status != 0) {
      EXPECT_EQ(status, 1);
      EXPECT_EQ(other, nullptr);
      return false;
    }
    EXPECT_EQ(norv_cleanEncState(state_, &other), 0);
    return true;
  });
}

}  // namespace
