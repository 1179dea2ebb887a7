// TIFF-FX profile rules on the engine's records: the resolution and width tables with their
// nearest-match warning, the layer of a page's first IFD, stripes clamped into the primary's
// area and cut to the primary's strips, compression and colour-space coercion by colour kind and
// profile code, a raw Compression value that the coercion keeps, default rows per strip (also
// for layers narrower than a byte per row), and documents read from a file (profile code 0),
// whose values only lose their zero resolutions.
#include <gtest/gtest.h>

#include <string>

#include "ovr_engine_internal.h"
#include "ovr_test_support.h"

namespace {

using ovr::ProfileValues;

// A document of a profile code with one page, and the page's primary IFD when asked for.
class ProfilePage {
 public:
  ProfilePage(OvrIoContext *ctx, uint32_t code) {
    EXPECT_EQ(ovr::createDocument(ctx, nullptr, code + 5, &doc_), OVR_OK);
    doc_->profileCode = code;
    EXPECT_EQ(ovr::createPage(doc_, 0, &page_), OVR_OK);
  }
  ~ProfilePage() { ovr::destroyDocument(doc_); }
  ProfilePage(const ProfilePage &) = delete;
  ProfilePage &operator=(const ProfilePage &) = delete;

  // A primary at 300 dpi of width x height with fixed strips of rowsPerStrip rows.
  OvrIfdRecord *addPrimary(uint32_t width, uint32_t height, uint32_t rowsPerStrip,
                           uint32_t res = 300) {
    EXPECT_EQ(ovr::createIfd(page_, ovr::kRolePrimary, &page_->primary), OVR_OK);
    ovr::LayerRecord &l = page_->primary->layer;
    l.key = ovr::StripeKey{1, 0};
    l.colourKind = 7;
    l.xRes = l.yRes = res;
    l.width = width;
    l.height = height;
    l.rowsPerStrip = rowsPerStrip;
    l.compressionBits = 16;
    return page_->primary;
  }
  OvrPageRecord *page() { return page_; }

 private:
  OvrDocument *doc_ = nullptr;
  OvrPageRecord *page_ = nullptr;
};

ProfileValues values(uint32_t kind, uint32_t res, uint32_t width, uint32_t height,
                     uint32_t bits = 0) {
  ProfileValues v;
  v.layer = 1;
  v.colourKind = kind;
  v.xRes = v.yRes = res;
  v.width = width;
  v.height = height;
  v.compressionBits = bits;
  return v;
}

class Profile : public testing::Test {
 protected:
  ovr_test::TestContext ctx_;
};

TEST_F(Profile, PrimaryAgainstTheResolutionAndWidthTables) {
  struct Case {
    uint32_t code;
    uint32_t xRes, yRes, width;
    int32_t status;
  };
  const Case cases[] = {
      {7, 300, 300, 2500, OVR_WARN_PROFILE},     // the nearest width is 2592
      {7, 300, 300, 2592, OVR_OK},               //
      {7, 204, 391, 1728, OVR_OK},               // a fax pair
      {8, 204, 391, 1728, OVR_WARN_PROFILE},     // not a pair of the colour profiles
      {8, 100, 100, 864, OVR_OK},                //
      {7, 100, 100, 864, OVR_WARN_PROFILE},      // nearest pair (200, 100), widths 1728...
      {7, 1200, 1200, 10363, OVR_OK},            //
      {7, 1200, 1200, 10368, OVR_WARN_PROFILE},  // the table's width is 10363
      {6, 408, 391, 3456, OVR_WARN_PROFILE},     // (408, 391) is no colour pair
      {13, 123, 45, 999, OVR_OK},                // no tables beyond code 8
  };
  for (const Case &c : cases) {
    ProfilePage p(ctx_.get(), c.code);
    ProfileValues v = values(1, c.xRes, c.width, 100, 8);
    v.yRes = c.yRes;
    EXPECT_EQ(ovrApplyProfile(p.page(), nullptr, &v), c.status)
        << "code " << c.code << ", " << c.xRes << " x " << c.yRes << ", width " << c.width;
    EXPECT_EQ(v.xRes, c.xRes) << "values stay";
    EXPECT_EQ(v.yRes, c.yRes);
    EXPECT_EQ(v.width, c.width);
  }
}

TEST_F(Profile, CompressionByColourKindAndProfile) {
  struct Case {
    uint32_t code, kind, given, taken;
    int32_t status;
  };
  const Case cases[] = {
      {13, 1, 16, 8, OVR_OK},
      {12, 1, 1024, 8, OVR_OK},
      {13, 1, 1024, 1024, OVR_OK},
      {13, 1, 0, 8, OVR_OK},
      {13, 7, 0, 16, OVR_OK},
      {13, 7, 8, 16, OVR_OK},
      {11, 1, 1, 1, OVR_OK},
      {12, 1, 1, 8, OVR_OK},
      {10, 1, 1, 1, OVR_OK},
      {2, 1, 1, 8, OVR_OK},
      {7, 1, 128, 128, OVR_OK},
      {8, 3, 1, 16, OVR_OK},
      {11, 3, 1, 1, OVR_OK},
      {11, 5, 16, 1, OVR_OK},
      {13, 7, 0x8000, 0x8000, OVR_OK},
      {2, 7, 16, 16, OVR_ERR_NOT_ALLOWED},
      {4, 1, 8, 8, OVR_ERR_NOT_ALLOWED},
      {8, 4, 1, 1, OVR_ERR_NOT_ALLOWED},
      {1, 1, 8, 8, OVR_ERR_UNSUPPORTED},
  };
  const uint8_t palette[768] = {};
  for (const Case &c : cases) {
    ProfilePage p(ctx_.get(), c.code);
    ProfileValues v = values(c.kind, 300, 2592, 100, c.given);
    v.palette = palette;
    const int32_t status = ovrApplyProfile(p.page(), nullptr, &v);
    EXPECT_EQ(status, c.status) << "code " << c.code << " kind " << c.kind << " bits " << c.given;
    if (status == OVR_OK) {
      EXPECT_EQ(v.compressionBits, c.taken)
          << "code " << c.code << " kind " << c.kind << " bits " << c.given;
    }
  }
}

TEST_F(Profile, PaletteKindsNeedAPalette) {
  ProfilePage p(ctx_.get(), 11);
  ProfileValues v = values(5, 300, 2592, 100, 1);
  EXPECT_EQ(ovrApplyProfile(p.page(), nullptr, &v), OVR_ERR_PARAM);
}

TEST_F(Profile, ARawCompressionValueKeepsTheGivenBits) {
  ProfilePage p(ctx_.get(), 13);
  OvrIfdRecord *primary = p.addPrimary(2592, 100, 100);
  primary->layer.colourKind = 1;
  ProfileValues v = values(1, 300, 2592, 100, 16);
  EXPECT_EQ(ovrApplyProfile(p.page(), primary, &v), OVR_OK);
  EXPECT_EQ(v.compressionBits, 8u);
  primary->rawCompression = 34715;
  v = values(1, 300, 2592, 100, 16);
  EXPECT_EQ(ovrApplyProfile(p.page(), primary, &v), OVR_OK);
  EXPECT_EQ(v.compressionBits, 16u);
}

TEST_F(Profile, DefaultRowsPerStrip) {
  struct Case {
    uint32_t kind, width, height, rows;
  };
  const Case cases[] = {
      {7, 2000, 1000, 16},   // 65536 / 6000 = 10, aligned up to 16
      {3, 2592, 1000, 32},   // 65536 / 2592 = 25, aligned up to 32
      {2, 2592, 1000, 56},   // 65536 / 1296 = 50, aligned up to 56
      {1, 2592, 1000, 202},  // 65536 / 324
      {1, 1, 100, 100},      // under a byte per row: 65536 rows, cut to the height
      {2, 1, 100, 100},      //
      {7, 70000, 9, 9},      // under one row of 64 KB: the height
  };
  for (const Case &c : cases) {
    ProfilePage p(ctx_.get(), 11);
    ProfileValues v = values(c.kind, 300, c.width, c.height);
    ovrApplyProfile(p.page(), nullptr, &v);
    EXPECT_EQ(v.rowsPerStrip, c.rows) << "kind " << c.kind << ", width " << c.width;
  }
}

TEST_F(Profile, FirstIfdLayerAndPrimaryPosition) {
  ProfilePage p(ctx_.get(), 13);
  ProfileValues v = values(1, 300, 2592, 100, 8);
  v.layer = 3;
  v.order = 4;
  v.x = v.y = 17;
  EXPECT_EQ(ovrApplyProfile(p.page(), nullptr, &v), OVR_OK);
  EXPECT_EQ(v.layer, 2u);
  EXPECT_EQ(v.order, 0u);
  EXPECT_EQ(v.x, 0u);
  EXPECT_EQ(v.y, 0u);
  v = values(7, 0, 2592, 100, 16);
  v.layer = 0;
  EXPECT_EQ(ovrApplyProfile(p.page(), nullptr, &v), OVR_OK);
  EXPECT_EQ(v.layer, 1u);
  EXPECT_EQ(v.xRes, 300u) << "zero resolutions become 300";
  EXPECT_EQ(v.yRes, 300u);
}

TEST_F(Profile, StripesAgainstThePrimary) {
  struct Case {
    const char *what;
    uint32_t res, x, y, width, height;
    int32_t status;
    uint32_t outX, outY, outWidth, outHeight;
  };
  // Primary: 1000 x 200 at 300 dpi, strips of 64 rows.
  const Case cases[] = {
      {"inside, one strip", 300, 10, 0, 100, 64, OVR_OK, 10, 0, 100, 64},
      {"x beyond the primary", 300, 1000, 0, 100, 10, OVR_OK, 0, 0, 100, 10},
      {"running past the right edge", 300, 950, 0, 100, 10, OVR_OK, 950, 0, 50, 10},
      {"running past at 100 dpi", 100, 900, 0, 100, 10, OVR_OK, 900, 0, 34, 10},
      {"across two primary strips", 300, 0, 0, 100, 100, OVR_OK, 0, 0, 100, 64},
      {"at 100 dpi: t = 3", 100, 0, 0, 100, 30, OVR_OK, 0, 0, 100, 22},
      {"at 200 dpi: t = 1, warned", 200, 0, 0, 100, 50, OVR_WARN_PROFILE, 0, 0, 100, 50},
      {"finer than the primary", 600, 0, 0, 100, 10, OVR_ERR_CORRUPT, 0, 0, 0, 0},
      {"resolution 0 takes the primary's", 0, 0, 64, 100, 10, OVR_OK, 0, 64, 100, 10},
  };
  for (const Case &c : cases) {
    ProfilePage p(ctx_.get(), 13);
    p.addPrimary(1000, 200, 64);
    ProfileValues v = values(7, c.res, c.width, c.height, 16);
    v.layer = 3;
    v.x = c.x;
    v.y = c.y;
    v.colourSpace = 8;
    EXPECT_EQ(ovrApplyProfile(p.page(), nullptr, &v), c.status) << c.what;
    if (c.status != OVR_ERR_CORRUPT) {
      EXPECT_EQ(v.x, c.outX) << c.what;
      EXPECT_EQ(v.y, c.outY) << c.what;
      EXPECT_EQ(v.width, c.outWidth) << c.what;
      EXPECT_EQ(v.height, c.outHeight) << c.what;
      EXPECT_EQ(v.rowsPerStrip, v.height) << c.what << ": a stripe is one strip";
      EXPECT_NE(v.xRes, 0u);
    }
  }
}

TEST_F(Profile, ColourSpaceByProfile) {
  struct Case {
    uint32_t code, kind, given, taken;
    int32_t status;
  };
  const Case cases[] = {
      {13, 7, 0, 8, OVR_OK}, {13, 7, 5, 5, OVR_OK},          {13, 7, 6, 8, OVR_OK},
      {11, 3, 3, 3, OVR_OK}, {11, 3, 9, 8, OVR_OK},          {8, 7, 8, 8, OVR_OK},
      {8, 7, 2, 8, OVR_OK},  {8, 7, 6, 6, OVR_WARN_PROFILE}, {13, 1, 8, 1, OVR_OK},
      {7, 1, 2, 2, OVR_OK},  {7, 1, 0, 1, OVR_OK},
  };
  for (const Case &c : cases) {
    ProfilePage p(ctx_.get(), c.code);
    ProfileValues v = values(c.kind, 300, 2592, 100);
    v.colourSpace = c.given;
    EXPECT_EQ(ovrApplyProfile(p.page(), nullptr, &v), c.status)
        << "code " << c.code << " kind " << c.kind << " space " << c.given;
    EXPECT_EQ(v.colourSpace, c.taken) << "code " << c.code << " kind " << c.kind;
  }
}

TEST_F(Profile, ReadingOnlyReplacesZeroResolutions) {
  ProfilePage p(ctx_.get(), 0);
  OvrIfdRecord *primary = p.addPrimary(100, 50, 0, 0);
  ProfileValues v = values(1, 0, 7, 50, 16);
  v.layer = 3;
  v.x = 500;
  EXPECT_EQ(ovrApplyProfile(p.page(), primary, &v), OVR_OK);
  EXPECT_EQ(v.xRes, 300u);
  EXPECT_EQ(v.yRes, 300u);
  EXPECT_EQ(v.compressionBits, 16u) << "the file's coding stays";
  EXPECT_EQ(v.rowsPerStrip, 0u) << "the file's strip layout stays";
  EXPECT_EQ(v.layer, 3u);
  EXPECT_EQ(v.x, 500u);
  ProfileValues empty = values(1, 0, 0, 50);
  EXPECT_EQ(ovrApplyProfile(p.page(), primary, &empty), OVR_OK);
  EXPECT_EQ(empty.xRes, 0u) << "a width of 0 changes nothing";
}

}  // namespace
