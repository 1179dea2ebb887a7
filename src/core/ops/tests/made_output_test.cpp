// Operations that make their output for the caller (the caller's pointer holds null), run with
// the progress poll aborting at every poll and with every allocation failing in turn: each
// failed run answers the abort or no-memory status, leaves the caller's pointer null (neither
// dangling at an image already destroyed nor holding one the caller does not expect to own)
// and leaks nothing (checked by the fixture at the end).
#include <functional>
#include <string>

#include "ops_support.h"
#include "pxl_fill.h"
#include "pxl_morph.h"
#include "pxl_pixops.h"
#include "pxl_reduce_gray.h"
#include "pxl_rotate.h"
#include "pxl_threshold.h"
#include "pxl_transfer.h"

namespace {

constexpr int32_t kAbort = PXL_ERR_ABORT;  // the raw rotation workers answer it for any abort

// The sources an operation may read: 1-bit, 4-bit, 8-bit grey, 8-bit three-channel.
struct Sources {
  Pixr *bits, *nibbles, *grey, *rgb;
  PxlStrel *brick;
};

struct MadeCase {
  const char *name;
  std::function<int32_t(PxlContext *, const Sources &, Pixr **)> run;
};

const MadeCase kCases[] = {
    {"dilate", [](PxlContext *c, const Sources &s,
                  Pixr **o) { return pxlDilateImage(c, s.bits, s.brick, o); }},
    {"erode", [](PxlContext *c, const Sources &s,
                 Pixr **o) { return pxlErodeImage(c, s.bits, s.brick, o); }},
    {"open",
     [](PxlContext *c, const Sources &s, Pixr **o) { return pxlOpenImage(c, s.bits, s.brick, o); }},
    {"thin", [](PxlContext *c, const Sources &s, Pixr **o) { return pxlThinImage(c, s.bits, o); }},
    {"fill holes",
     [](PxlContext *c, const Sources &s, Pixr **o) { return pxlFillHoles(c, s.bits, 3, o); }},
    {"seed fill", [](PxlContext *c, const Sources &s,
                     Pixr **o) { return pxlSeedFill(c, s.bits, s.bits, 2, o); }},
    {"grey mask op", [](PxlContext *c, const Sources &s,
                        Pixr **o) { return pxlGreyBinaryOp(c, s.grey, s.bits, PXL_ROP_OR, o); }},
    {"clamped difference", [](PxlContext *c, const Sources &s,
                              Pixr **o) { return pxlSubtractImagesClamped(c, s.grey, s.grey, o); }},
    {"sharpen",
     [](PxlContext *c, const Sources &s, Pixr **o) { return pxlSharpenImage(c, s.grey, 1, o); }},
    {"4 to 8",
     [](PxlContext *c, const Sources &s, Pixr **o) { return pxlConvert4To8(c, s.nibbles, o); }},
    {"1 to 8",
     [](PxlContext *c, const Sources &s, Pixr **o) { return pxlConvert1To8(c, s.bits, 1, o); }},
    {"1 to 16",
     [](PxlContext *c, const Sources &s, Pixr **o) { return pxlConvert1To16(c, s.bits, 0, o); }},
    {"rgb to grey",
     [](PxlContext *c, const Sources &s, Pixr **o) { return pxlRgbToGray(c, s.rgb, o); }},
    {"quarter turn",
     [](PxlContext *c, const Sources &s, Pixr **o) { return pxlRotate90(c, s.rgb, o); }},
    {"three quarter turn",
     [](PxlContext *c, const Sources &s, Pixr **o) { return pxlRotate270(c, s.bits, o); }},
    {"half turn",
     [](PxlContext *c, const Sources &s, Pixr **o) { return pxlRotate180(c, s.grey, o); }},
    {"two shears", [](PxlContext *c, const Sources &s,
                      Pixr **o) { return pxlRotateByTwoShears(c, s.bits, 0.05f, 0, o); }},
    {"three shears", [](PxlContext *c, const Sources &s,
                        Pixr **o) { return pxlRotateByThreeShears(c, s.grey, 0.3f, 0, o); }},
    {"shear keeping size", [](PxlContext *c, const Sources &s,
                              Pixr **o) { return pxlRotateByShear(c, s.grey, 0.2f, 1, 0, o); }},
    {"invert",
     [](PxlContext *c, const Sources &s, Pixr **o) { return pxlInvertImage(c, s.rgb, o); }},
    {"extract", [](PxlContext *c, const Sources &s,
                   Pixr **o) { return pxlExtractRect(c, s.grey, nullptr, o); }},
    {"framed copy",
     [](PxlContext *c, const Sources &s, Pixr **o) { return pxlCopyToFramedImage(c, s.rgb, o); }},
    {"threshold by map",
     [](PxlContext *c, const Sources &s,
        Pixr **o) { return pxlThresholdImageByMap(c, s.grey, s.grey, PXL_RANGE_INSIDE, o); }},
    {"grey halving",
     [](PxlContext *c, const Sources &s, Pixr **o) { return pxlReduceGrayBy2(c, s.grey, 1, o); }},
};

class MadeOutput : public opstest::OpsTest {
 protected:
  Sources sources() {
    Sources s{sparse(70, 45, 0.4), image(70, 45, 4), image(70, 45, 8), image(70, 45, 8, 3),
              nullptr};
    EXPECT_EQ(0, pxlCreateBrickStrel(ctx, 3, 3, &s.brick));
    return s;
  }

  // Runs the case once with whatever failure is armed; checks the caller's pointer.
  int32_t attempt(const MadeCase &c, const Sources &s, const std::string &what) {
    Pixr *out = nullptr;
    const int32_t status = c.run(ctx, s, &out);
    if (status != 0) EXPECT_EQ(nullptr, out) << c.name << ": " << what;
    pxlDestroyImage(ctx, &out);
    return status;
  }
};

TEST_P(MadeOutput, AbortsAndAllocationFailuresLeaveNoOutput) {
  const Sources s = sources();
  for (const MadeCase &c : kCases) {
    SCOPED_TRACE(c.name);
    const int aborted = norvtest::abortAtEveryPoll(
        tr, kAbort, [&] { return attempt(c, s, "poll " + std::to_string(tr.polls)); });
    EXPECT_GT(aborted, 1);
    const int failed = norvtest::failAtEveryAllocation(tr, PXL_ERR_NO_MEMORY, [&] {
      return attempt(c, s, "allocation " + std::to_string(tr.allocations));
    });
    EXPECT_GT(failed, 0);
  }
  PxlStrel *brick = s.brick;
  pxlDestroyStrel(ctx, &brick);
}

INSTANTIATE_TEST_SUITE_P(Units, MadeOutput, ::testing::Values(0, 1), norvtest::unitName);

}  // namespace
