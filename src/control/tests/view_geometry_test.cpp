// The control's position members against a model of their formulas, over a table of documents
// (pages of different sizes, an empty document, pages so large that a zoom of 10 passes the
// 32-bit range), zooms from 0.01 to 10, every orientation, both view modes and several page
// gaps: every getter from a reached state, and every setter's new state from its old one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "fake_document.h"
#include "norvview_ctrl.h"

namespace ctl {
namespace {

using ctl_test::FakeDocument;
using ctl_test::FakePageShape;

// The formulas, written out on 64-bit integers and doubles; results are held to 32 bits.
struct Model {
  std::vector<FakePageShape> pages;
  double z = 1;
  int64_t G = 0;
  int32_t o = 0, mode = 0;
  int64_t P = 0, x = 0, y = 0;

  int64_t count() const { return static_cast<int64_t>(pages.size()); }
  static int64_t nearest(double v) { return static_cast<int64_t>(std::floor(v + 0.5)); }
  static int64_t trunc(double v) { return static_cast<int64_t>(v); }
  static int32_t out(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
  }
  int64_t w(int64_t i, int32_t orientation) const {
    if (i < 0 || i >= count()) return 0;
    return orientation % 180 ? pages[i].height : pages[i].width;
  }
  int64_t w(int64_t i) const { return w(i, o); }
  int64_t h(int64_t i) const { return w(i, (o + 90) % 360); }
  int64_t Gz() const { return nearest(G / z); }
  // The walk of SetYPosition: (page, offset).
  std::pair<int64_t, int64_t> walk(int64_t modalY) const {
    int64_t r = std::max<int64_t>(modalY, 0), i = 0;
    while (i < count() && r >= trunc(h(i) * z + G)) {
      r -= trunc(h(i) * z + G);
      ++i;
    }
    if (i == count()) i = count() - 1;
    return {i, std::min(nearest(r / z), h(i) + Gz())};
  }
  std::pair<int64_t, int64_t> pageFromModalY(int64_t modalY) const {
    if (count() == 0) return {0, 0};
    if (mode == 0) return walk(modalY);
    if (mode == 1) return {P, std::max<int64_t>(std::min(nearest(modalY / z), h(P) + Gz()), 0)};
    return {0, 0};
  }

  int32_t getXPosition() const { return count() ? out(nearest(x * z)) : 0; }
  int32_t getPageY() const { return count() ? out(nearest(y * z)) : 0; }
  int32_t getYPosition() const {
    int64_t a = 0;
    for (int64_t i = 0; i < P; ++i) a = trunc(h(i) * z + a);
    return out(trunc(y * z + a) + G * P);
  }
  int32_t getModalYPosition() const {
    if (mode == 0) return getYPosition();
    return mode == 1 && count() ? getPageY() : 0;
  }
  int32_t getTotalHeight() const {
    if (!count()) return 0;
    int64_t a = 0;
    for (int64_t i = 0; i < count(); ++i) a = trunc(h(i) * z + a);
    return out(a + count() * G);
  }
  int32_t getTotalWidth() const { return count() ? out(trunc(w(P) * z) + G) : 0; }
  int32_t pageWidth() const { return count() ? out(trunc(w(P) * z)) : 0; }
  int32_t pageHeight() const { return count() ? out(trunc(h(P) * z)) : 0; }
  int32_t modalHeight() const {
    return mode == 0 ? getTotalHeight() : mode == 1 ? pageHeight() : 0;
  }
  int32_t modalWidth() const { return mode == 0 ? getTotalWidth() : mode == 1 ? pageWidth() : 0; }
  int32_t pageForPosition(int64_t modalY) const {
    if (!count()) return 0;
    return mode == 0 ? out(pageFromModalY(modalY).first + 1) : out(P + 1);
  }

  // Setters: the state after each.
  void setXPosition(int64_t v) {
    if (count()) x = std::min(nearest(std::max<int64_t>(v, 0) / z), w(P));
  }
  void setYPosition(int64_t v) {
    if (count()) std::tie(P, y) = walk(v);
  }
  void setPosition(int64_t vx, int64_t vy) {
    if (!count()) return;
    std::tie(P, y) = walk(vy);
    x = std::min(nearest(std::max<int64_t>(vx, 0) / z), w(P));
  }
  void setModalYPosition(int64_t v) {
    if (!count()) return;
    if (mode == 0) return setYPosition(v);
    y = std::min(std::max<int64_t>(nearest(v / z), 0), h(P) + Gz());
  }
  void setZoomAndModalPosition(double zoom, int64_t vx, int64_t vy) {
    if (!count()) return;
    z = std::clamp(std::fabs(zoom), 0.01, 10.0);
    auto [page, offset] = pageFromModalY(vy);
    x = std::min(std::max<int64_t>(nearest(vx / z), 0), w(page) + Gz());
    P = page;
    y = offset;
  }
  void setOrientationAndPagePosition(int32_t orientation, int64_t vx, int64_t vy) {
    if (!count()) return;
    int32_t n = ((orientation % 360) + 360) % 360;
    if (n % 90) return;
    x = std::max<int64_t>(std::min(nearest(vx / z), w(P, n) + G), 0);
    y = std::max<int64_t>(std::min(nearest(vy / z), w(P, (n + 90) % 360) + G), 0);
    o = n;
  }
  void pan(int64_t dx, int64_t dy) {
    if (!count()) return;
    const int64_t Dx = nearest(dx / z), Dy = nearest(dy / z);
    int64_t i = P, Y = y + Dy;
    while (Y < 0 && i > 0) {
      --i;
      Y += h(i) + Gz();
    }
    if (mode == 1 && i != P) {
      i = P;
      Y = 0;
    }
    Y = std::max<int64_t>(Y, 0);
    while (Y > h(i) + Gz() && i < count() - 1) {
      Y -= h(i) + Gz();
      ++i;
    }
    Y = std::min(Y, h(i) + Gz());
    x = std::min(std::max<int64_t>(x + Dx, 0), w(i));
    P = i;
    y = Y;
  }
};

struct CountingSite : ControlSite {
  int redraws = 0;
  void invalidate() override { ++redraws; }
  void setCursor(int32_t) override {}
  void showAboutBox() override {}
};

class GeometryTest : public ::testing::Test {
 protected:
  void open(const std::vector<FakePageShape> &pages) {
    control_.AttachDocument(std::make_unique<FakeDocument>(pages), "fake");
    control_.setSite(&site_);
    model_ = Model{};
    model_.pages = pages;
    model_.G = control_.PageBreakSpace();
  }
  void configure(double zoom, int32_t orientation, int32_t mode, int32_t gap) {
    control_.SetZoomFactor(zoom);
    control_.SetOrientation(orientation);
    control_.SetViewMode(mode);
    control_.SetPageBreakSpace(gap);
    model_.z = control_.GetZoomFactor();
    model_.o = orientation;
    model_.mode = mode;
    model_.G = gap;
  }
  // The model takes the control's reached state.
  void sync() {
    model_.P = control_.currentIndex();
    model_.x = control_.xOffset();
    model_.y = control_.yOffset();
    model_.z = control_.GetZoomFactor();
    model_.o = control_.GetOrientation();
  }
  void expectState(const char *what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(control_.currentIndex(), model_.P);
    EXPECT_EQ(control_.xOffset(), model_.x);
    EXPECT_EQ(control_.yOffset(), model_.y);
    EXPECT_EQ(control_.GetZoomFactor(), model_.z);
    EXPECT_EQ(control_.GetOrientation(), model_.o);
  }
  void expectGetters(int32_t probeY) {
    const Model &m = model_;
    EXPECT_EQ(control_.GetXPosition(), m.getXPosition());
    EXPECT_EQ(control_.GetModalXPosition(), m.getXPosition());
    EXPECT_EQ(control_.GetPageX(), m.getXPosition());
    EXPECT_EQ(control_.GetPageY(), m.getPageY());
    EXPECT_EQ(control_.GetYPosition(), m.getYPosition());
    EXPECT_EQ(control_.GetModalYPosition(), m.getModalYPosition());
    EXPECT_EQ(control_.GetTotalHeight(), m.getTotalHeight());
    EXPECT_EQ(control_.GetTotalWidth(), m.getTotalWidth());
    EXPECT_EQ(control_.GetCurrentPageWidth(), m.pageWidth());
    EXPECT_EQ(control_.GetCurrentPageHeight(), m.pageHeight());
    EXPECT_EQ(control_.GetModalHeight(), m.modalHeight());
    EXPECT_EQ(control_.GetModalWidth(), m.modalWidth());
    EXPECT_EQ(control_.GetPageForPosition(7, probeY), m.pageForPosition(probeY));
  }

  NorvviewCtrl control_;
  CountingSite site_;
  Model model_;
};

TEST_F(GeometryTest, EveryMemberAgainstTheModel) {
  const std::vector<std::vector<FakePageShape>> documents = {
      {{850, 1100}, {1100, 850}, {300, 2000}, {1, 1}, {640, 480}},
      {{5100, 6600}},  // a letter page at 600 dpi
      {},
  };
  const double zooms[] = {0.01, 0.0137, 0.1, 0.25, 0.333, 1.0, 1.5, 2.75, 10.0};
  for (size_t d = 0; d < documents.size(); ++d) {
    for (double zoom : zooms) {
      for (int32_t orientation : {0, 90, 180, 270}) {
        for (int32_t mode : {0, 1}) {
          for (int32_t gap : {0, 10, 33}) {
            SCOPED_TRACE(testing::Message() << "document " << d << " zoom " << zoom << " o "
                                            << orientation << " mode " << mode << " gap " << gap);
            open(documents[d]);
            configure(zoom, orientation, mode, gap);
            const int32_t total = model_.getTotalHeight();
            // Probes across the document, its page joints and past its end.
            const int32_t probes[] = {-5,        0,     1,           total / 3, total / 2 + 1,
                                      total - 1, total, total + 1000};
            for (int32_t p : probes) {
              model_.setPosition(p / 2, p);
              control_.SetPosition(p / 2, p);
              expectState("SetPosition");
              expectGetters(p);
              model_.setYPosition(p + 3);
              control_.SetYPosition(p + 3);
              expectState("SetYPosition");
              model_.setXPosition(p * 3);
              control_.SetXPosition(p * 3);
              expectState("SetXPosition");
              model_.setModalYPosition(p - 7);
              control_.SetModalYPosition(p - 7);
              expectState("SetModalYPosition");
              expectGetters(p / 3);
              for (auto [dx, dy] : {std::pair{-40, -900}, {13, 250}, {0, 5000}, {-3, 1}}) {
                model_.pan(dx, dy);
                control_.Pan(dx, dy);
                expectState("Pan");
              }
              expectGetters(total - p);
            }
            // Zoom changes keep the modal position's rules; orientation changes keep the page.
            for (auto [z, mx, my] : {std::tuple{zoom * 2, 40, total / 2},
                                     {-0.004, 9, 3},
                                     {zoom, 100000, -9},
                                     {77.0, 3, total}}) {
              model_.setZoomAndModalPosition(z, mx, my);
              control_.SetZoomAndModalPosition(z, mx, my);
              expectState("SetZoomAndModalPosition");
              expectGetters(my);
            }
            for (auto [o, mx, my] :
                 {std::tuple{-90, 50, 80}, {450, 10000, 10000}, {45, 1, 1}, {orientation, -3, 2}}) {
              model_.setOrientationAndPagePosition(o, mx, my);
              control_.SetOrientationAndPagePosition(o, mx, my);
              expectState("SetOrientationAndPagePosition");
              expectGetters(my);
            }
          }
        }
      }
    }
  }
}

// Pages so large that the zoomed document passes 2^31 device pixels: the results saturate
// instead of wrapping, and offsets stay page pixels.
TEST_F(GeometryTest, LargeDocumentsSaturate) {
  open(std::vector<FakePageShape>(40, FakePageShape{5100, 6600000}));
  configure(10.0, 0, 0, 10);
  EXPECT_EQ(control_.GetTotalHeight(), INT32_MAX);
  control_.SetYPosition(INT32_MAX);
  sync();
  EXPECT_EQ(model_.P, 32u);  // 2^31 - 1 device pixels reach page 33 of 66,000,010 each
  EXPECT_EQ(control_.GetYPosition(), model_.getYPosition());
  control_.LastPage();
  sync();
  EXPECT_EQ(control_.GetYPosition(), INT32_MAX);
  EXPECT_EQ(control_.GetCurrentPageHeight(), 66000000);
}

// Setters that change nothing neither redraw nor mark the control modified.
TEST_F(GeometryTest, UnchangedSettersDoNothing) {
  open({{100, 200}, {300, 100}});
  configure(0.5, 0, 0, 10);
  control_.SetPosition(20, 130);
  control_.SetModifiedFlag(false);
  site_.redraws = 0;
  control_.SetPosition(20, 130);
  control_.SetXPosition(20);
  control_.SetYPosition(130);
  control_.Pan(0, 0);
  control_.SetZoomAndModalPosition(0.5, control_.GetXPosition(), control_.GetYPosition());
  control_.SetOrientationAndPagePosition(360, control_.GetXPosition(), control_.GetPageY());
  EXPECT_EQ(site_.redraws, 0);
  EXPECT_FALSE(control_.IsModified());
  control_.Pan(0, 2);
  EXPECT_EQ(site_.redraws, 1);
  EXPECT_TRUE(control_.IsModified());
}

// The dispatch members reach the same operations with their arguments in order.
TEST_F(GeometryTest, DispatchReachesThePositionMembers) {
  using comp::Variant;
  const std::vector<FakePageShape> pages = {{300, 200}, {100, 400}, {250, 250}};
  NorvviewCtrl twin;
  twin.AttachDocument(std::make_unique<FakeDocument>(pages), "fake");
  open(pages);
  auto call = [&](int32_t id, std::vector<Variant> args) {
    Variant out;
    EXPECT_EQ(control_.invoke(id, comp::kMethod, args, &out), comp::S_OK) << id;
    return out;
  };
  auto i4 = [](int32_t v) { return Variant::i4(v); };
  call(kIdSetZoomAndModalPosition, {Variant::r8(0.5), i4(30), i4(140)});
  twin.SetZoomAndModalPosition(0.5, 30, 140);
  call(kIdSetOrientationAndPagePosition, {Variant::i2(270), i4(12), i4(21)});
  twin.SetOrientationAndPagePosition(270, 12, 21);
  call(kIdSetPosition, {i4(17), i4(190)});
  twin.SetPosition(17, 190);
  call(kIdPan, {i4(-5), i4(33)});
  twin.Pan(-5, 33);
  call(kIdSetXPosition, {i4(9)});
  twin.SetXPosition(9);
  call(kIdSetYPosition, {i4(77)});
  twin.SetYPosition(77);
  call(kIdSetModalYPosition, {i4(260)});
  twin.SetModalYPosition(260);
  EXPECT_EQ(control_.currentIndex(), twin.currentIndex());
  EXPECT_EQ(control_.xOffset(), twin.xOffset());
  EXPECT_EQ(control_.yOffset(), twin.yOffset());
  EXPECT_EQ(control_.GetOrientation(), 270);
  EXPECT_EQ(call(kIdGetPageForPosition, {i4(0), i4(300)}), i4(twin.GetPageForPosition(0, 300)));
  const std::pair<int32_t, int32_t> getters[] = {
      {kIdGetYPosition, twin.GetYPosition()},
      {kIdGetModalYPosition, twin.GetModalYPosition()},
      {kIdGetModalHeight, twin.GetModalHeight()},
      {kIdGetModalWidth, twin.GetModalWidth()},
      {kIdGetTotalHeight, twin.GetTotalHeight()},
      {kIdGetTotalWidth, twin.GetTotalWidth()},
      {kIdGetCurrentPageWidth, twin.GetCurrentPageWidth()},
      {kIdGetCurrentPageHeight, twin.GetCurrentPageHeight()},
  };
  for (auto [id, value] : getters) EXPECT_EQ(call(id, {}), i4(value)) << id;
}

}  // namespace
}  // namespace ctl
