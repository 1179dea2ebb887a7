// The document window's refresh rules over a scripted control (a dispatch object that answers
// from a table of values and records the calls it gets): scroll-bar scaling of a very tall
// document, the layer list and menu of a layered document, fitting the page's width, and a
// window without a control.
#include <gtest/gtest.h>

#include <QApplication>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "control_ids.h"
#include "control_loader.h"
#include "dispatch_calls.h"
#include "norv_doc.h"

namespace viewer {
namespace {

using comp::Variant;

// A control that answers every get (and argument-less method) from values, takes puts into
// values and records every call with arguments.
class ScriptedControl final : public comp::DispatchObject {
 public:
  std::map<int32_t, Variant> values;
  std::map<int32_t, Variant> results;  // of the methods with arguments
  struct Call {
    int32_t id;
    std::vector<Variant> args;
  };
  std::vector<Call> calls;

  int32_t queryInterface(const char *, void **out) override {
    *out = nullptr;
    return comp::E_NOINTERFACE;
  }
  uint32_t addRef() override { return ++refs_; }
  uint32_t release() override { return --refs_; }  // lives on the test's stack

  int32_t getIdsOfNames(const char *, int32_t *) const override { return comp::DISP_E_UNKNOWNNAME; }
  int32_t invoke(int32_t id, uint32_t flags, std::span<const Variant> args,
                 Variant *result) override {
    if ((flags & comp::kPropPut) != 0) {
      values[id] = args[0];
      return comp::S_OK;
    }
    if (!args.empty()) {
      calls.push_back({id, std::vector<Variant>(args.begin(), args.end())});
      if (const auto r = results.find(id); r != results.end() && result != nullptr)
        *result = r->second;
      return comp::S_OK;
    }
    const auto found = values.find(id);
    if (found == values.end()) return comp::DISP_E_MEMBERNOTFOUND;
    if (result != nullptr) *result = found->second;
    return comp::S_OK;
  }
  std::span<const comp::MemberInfo> members() const override { return {}; }

  // The calls of member id.
  std::vector<Call> callsOf(int32_t id) const {
    std::vector<Call> out;
    for (const Call &c : calls)
      if (c.id == id) out.push_back(c);
    return out;
  }

 private:
  uint32_t refs_ = 1;
};

class NorvDocRefreshTest : public QtAppTest {
 protected:
  void SetUp() override {
    script_.values = {
        {dispid::ZoomFactor, Variant::r8(1.0)},
        {dispid::PageBreakSpace, Variant::i4(10)},
        {dispid::ViewMode, Variant::i4(1)},
        {dispid::FileName, Variant::bstr("a.tfx")},
        {dispid::CurrentPage, Variant::i4(1)},
        {dispid::NumPages, Variant::i4(7)},
        {dispid::Layer, Variant::i4(0)},
        {dispid::Orientation, Variant::i4(0)},
        {dispid::IsNorv, Variant::boolean(true)},
        {dispid::LayersOnCurrentPage, Variant::i4(2)},
        {dispid::GetModalWidth, Variant::i4(100)},
        {dispid::GetModalHeight, Variant::i4(100)},
        {dispid::GetModalXPosition, Variant::i4(0)},
        {dispid::GetModalYPosition, Variant::i4(0)},
    };
    script_.addRef();  // the ViewControl's reference
    control_ = std::make_unique<ViewControl>(&script_, nullptr);
    doc_ = std::make_unique<NorvDoc>(*control_);
    doc_->resize(400, 300);
    doc_->show();
  }
  void TearDown() override {
    doc_.reset();
    control_.reset();
  }

  QStringList layerItems() const {
    QStringList items;
    for (int i = 0; i < doc_->Layer->count(); ++i) items << doc_->Layer->itemText(i);
    return items;
  }
  // Captions of the layer menu's elements, "(hidden)" after a hidden one, "*" after the checked.
  QStringList layerMenu() const {
    QStringList items;
    for (const QAction *a : doc_->menuViewLayerLayer)
      items << a->text() + (a->isVisible() ? "" : " (hidden)") + (a->isChecked() ? " *" : "");
    return items;
  }

  ScriptedControl script_;
  std::unique_ptr<ViewControl> control_;
  std::unique_ptr<NorvDoc> doc_;
};

// A document 100 000 pixels tall in a 700-pixel view: the bar's range is scaled into 32767.
TEST_F(NorvDocRefreshTest, ScrollBarRangesScaleIntoSixteenBits) {
  NorvDoc &d = *doc_;
  d.resize(400, d.ToolBar->height() + d.HScroll->height() + 700);
  const int visibleWidth = static_cast<int>(d.ViewableWidth());
  struct Case {
    const char *name;
    int32_t height, y;
    double zoom;
    double scale;
    int max, largeChange, smallChange, value;
  };
  const Case cases[] = {
      {"tall", 100000, 50000, 1.0, 99300.0 / 32767, 32767, 219, 1, CInt(50000 / (99300.0 / 32767))},
      {"exactly 32767", 32767 + 700, 40000, 3.0, 1.0, 32767, 665, 3, 32767},
      {"smaller than the view", 500, 0, 0.5, 1.0, 0, 665, 1, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    script_.values[dispid::GetModalHeight] = Variant::i4(c.height);
    script_.values[dispid::GetModalWidth] = Variant::i4(visibleWidth + 50);
    script_.values[dispid::GetModalYPosition] = Variant::i4(c.y);
    script_.values[dispid::ZoomFactor] = Variant::r8(c.zoom);
    d.UpdateAll();
    ASSERT_EQ(d.NorvCtlWindow->height(), 700);
    EXPECT_DOUBLE_EQ(d.vScrollScale, c.scale);
    EXPECT_EQ(d.VScroll->minimum(), 0);
    EXPECT_EQ(d.VScroll->maximum(), c.max);
    EXPECT_EQ(d.VScroll->pageStep(), c.largeChange);
    EXPECT_EQ(d.VScroll->singleStep(), c.smallChange);
    EXPECT_EQ(d.VScroll->value(), c.value);
    EXPECT_EQ(d.HScroll->maximum(), 50);
    EXPECT_EQ(d.hScrollScale, 1.0);
  }
}

// Layers show only for a layered document in one-page mode; the list and menu follow the
// current page's layer count, and a layer beyond it goes back to the composite.
TEST_F(NorvDocRefreshTest, LayerListAndMenuFollowTheCurrentPage) {
  NorvDoc &d = *doc_;
  d.UpdateInfo();
  EXPECT_TRUE(d.Layer->isVisible());
  EXPECT_TRUE(d.menuViewLayer->menuAction()->isVisible());
  EXPECT_EQ(layerItems(), QStringList({"Composite", "Layer  1", "Layer  2"}));
  EXPECT_EQ(layerMenu(), QStringList({"Composite *", "Layer  1", "Layer  2"}));
  EXPECT_EQ(d.Layer->currentIndex(), 0);

  script_.values[dispid::Layer] = Variant::i4(2);
  d.UpdateInfo();
  EXPECT_EQ(d.Layer->currentIndex(), 2);
  EXPECT_EQ(layerMenu(), QStringList({"Composite", "Layer  1", "Layer  2 *"}));

  // A page with one layer: layer 2 is gone, the control goes back to the composite; menu
  // elements are hidden, never removed.
  script_.values[dispid::LayersOnCurrentPage] = Variant::i4(1);
  d.UpdateInfo();
  EXPECT_EQ(script_.values[dispid::Layer], Variant::i4(0));
  EXPECT_EQ(layerItems(), QStringList({"Composite", "Layer  1"}));
  EXPECT_EQ(layerMenu(), QStringList({"Composite *", "Layer  1", "Layer  2 (hidden)"}));

  // Continuous mode or a plain document: hidden.
  script_.values[dispid::ViewMode] = Variant::i4(0);
  d.UpdateInfo();
  EXPECT_FALSE(d.Layer->isVisible());
  EXPECT_FALSE(d.menuViewLayer->menuAction()->isVisible());
  script_.values[dispid::ViewMode] = Variant::i4(1);
  script_.values[dispid::IsNorv] = Variant::boolean(false);
  d.UpdateInfo();
  EXPECT_FALSE(d.Layer->isVisible());

  // Other indicators: seven pages, zoom 1.
  EXPECT_EQ(d.NumPages->text(), "of  7");
  EXPECT_EQ(d.ZoomFactor->text(), " 100%");
  EXPECT_EQ(d.windowTitle(), "a.tfx");
}

// Fit to width: the page and one gap fill the view, the view goes to the left edge and stays
// inside the document; an already fitting zoom changes nothing; the zoom stays within 0.01..10.
TEST_F(NorvDocRefreshTest, FitToWidth) {
  NorvDoc &d = *doc_;
  const double w = d.ViewableWidthPix(), h = d.ViewableHeightPix();
  script_.values[dispid::ViewMode] = Variant::i4(0);
  script_.values[dispid::ZoomFactor] = Variant::r8(0.5);
  script_.values[dispid::GetModalWidth] = Variant::i4(210);  // a page of 400 and the gap
  script_.values[dispid::GetModalHeight] = Variant::i4(1000);
  script_.values[dispid::GetModalYPosition] = Variant::i4(900);
  d.FitToWidth();
  auto fits = script_.callsOf(dispid::SetZoomAndModalPosition);
  ASSERT_EQ(fits.size(), 1u);
  const double z1 = 0.5 * w / 200, z = Round(z1 * w / (w + 10), 4), r = z / 0.5;
  EXPECT_DOUBLE_EQ(fits[0].args[0].asR8(), z);
  EXPECT_EQ(fits[0].args[1].asI4(), 0);
  // 900 * r would show the page's end short of the view: the view ends with the document.
  EXPECT_EQ(fits[0].args[2].asI4(), CLng(Larger(1000 * r - h, 0)));

  // One-page mode (no gap) with the page exactly as wide as the view: nothing happens.
  script_.calls.clear();
  script_.values[dispid::ViewMode] = Variant::i4(1);
  script_.values[dispid::ZoomFactor] = Variant::r8(1.0);
  script_.values[dispid::GetModalWidth] = Variant::i4(static_cast<int32_t>(w));
  d.UpdateInfo();
  script_.values[dispid::NumPages] = Variant::i4(9);  // a refresh would show it
  d.FitToWidth();
  EXPECT_TRUE(script_.calls.empty());
  EXPECT_EQ(d.NumPages->text(), "of  7");
  script_.values[dispid::ViewMode] = Variant::i4(0);

  // A tiny page would need more than 10, a huge one less than 0.01.
  for (const auto &[width, zoom] : {std::pair{12, 10.0}, std::pair{900000, 0.01}}) {
    script_.calls.clear();
    script_.values[dispid::ZoomFactor] = Variant::r8(1.0);
    script_.values[dispid::GetModalWidth] = Variant::i4(width);
    d.FitToWidth();
    fits = script_.callsOf(dispid::SetZoomAndModalPosition);
    ASSERT_EQ(fits.size(), 1u);
    EXPECT_EQ(fits[0].args[0].asR8(), zoom);
  }
}

// Zoom about the centre in continuous mode: the gaps above the centre's page keep their size.
TEST_F(NorvDocRefreshTest, CentredZoomKeepsTheGapsAboveThePage) {
  NorvDoc &d = *doc_;
  const double vw = d.ViewableWidthPix(), vh = d.ViewableHeightPix();
  script_.values[dispid::ViewMode] = Variant::i4(0);
  script_.values[dispid::GetModalWidth] = Variant::i4(2000);
  script_.values[dispid::GetModalHeight] = Variant::i4(5000);
  script_.values[dispid::GetModalYPosition] = Variant::i4(1000);
  script_.results[dispid::GetPageForPosition] = Variant::i4(3);
  double zoom = 2.0;
  d.CenteredZoom(zoom);
  const auto asked = script_.callsOf(dispid::GetPageForPosition);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].args[1].asI4(), CLng(1000 + vh / 2));
  const auto set = script_.callsOf(dispid::SetZoomAndModalPosition);
  ASSERT_EQ(set.size(), 1u);
  EXPECT_EQ(set[0].args[0].asR8(), 2.0);
  EXPECT_EQ(set[0].args[1].asI4(), CLng(vw / 2 * 2 - vw / 2));
  EXPECT_EQ(set[0].args[2].asI4(), CLng((1000 + vh / 2 - 20) * 2 + 20 - vh / 2));
}

// A 200 x 100 box in an 800 x 800 view at zoom 1 zooms by 4 (the smaller ratio) and puts its
// corner at the view's corner; a box one pixel wide does nothing.
TEST_F(NorvDocRefreshTest, ZoomBoxTakesTheSmallerRatio) {
  NorvDoc &d = *doc_;
  d.resize(800 + d.VScroll->width(), d.ToolBar->height() + d.HScroll->height() + 800);
  ASSERT_EQ(d.ViewableWidthPix(), 800);
  ASSERT_EQ(d.ViewableHeightPix(), 800);
  script_.values[dispid::GetModalXPosition] = Variant::i4(30);
  script_.values[dispid::GetModalYPosition] = Variant::i4(40);
  d.ZoomBox(10, 10, 11, 300);
  EXPECT_TRUE(script_.callsOf(dispid::SetZoomAndModalPosition).empty());
  d.ZoomBox(210, 110, 10, 10);
  const auto set = script_.callsOf(dispid::SetZoomAndModalPosition);
  ASSERT_EQ(set.size(), 1u);
  EXPECT_EQ(set[0].args[0].asR8(), 4.0);
  EXPECT_EQ(set[0].args[1].asI4(), (10 + 30) * 4);
  EXPECT_EQ(set[0].args[2].asI4(), (10 + 40) * 4);
}

// Turns: the new corner is the old visible rectangle's image; absolute turns go clockwise from
// the current orientation.
TEST_F(NorvDocRefreshTest, TurnsKeepTheVisibleRegion) {
  NorvDoc &d = *doc_;
  const int32_t vw = CLng(d.ViewableWidthPix()), vh = CLng(d.ViewableHeightPix());
  script_.values[dispid::GetPageX] = Variant::i4(30);
  script_.values[dispid::GetPageY] = Variant::i4(70);
  script_.values[dispid::GetCurrentPageWidth] = Variant::i4(1000);
  script_.values[dispid::GetCurrentPageHeight] = Variant::i4(1500);
  script_.values[dispid::Orientation] = Variant::i4(90);
  struct Case {
    int16_t to, turn;
    int32_t orientation, x, y;
  };
  for (const Case &c : {Case{180, 90, 180, 1500 - (70 + vh), 30},
                        Case{270, 180, 270, 1000 - (30 + vw), 1500 - (70 + vh)},
                        Case{0, 270, 360, 70, 1000 - (30 + vw)}, Case{90, 0, 0, 0, 0}}) {
    SCOPED_TRACE(c.to);
    script_.calls.clear();
    int16_t angle = c.to;
    d.RotateTo(angle);
    EXPECT_EQ(angle, c.turn);
    const auto set = script_.callsOf(dispid::SetOrientationAndPagePosition);
    ASSERT_EQ(set.size(), c.turn == 0 ? 0u : 1u);
    if (c.turn == 0) continue;
    EXPECT_EQ(set[0].args[0].asI2(), c.orientation);
    EXPECT_EQ(set[0].args[1].asI4(), c.x);
    EXPECT_EQ(set[0].args[2].asI4(), c.y);
  }
}

// A page narrower than the view is centred and the control told of the margin.
TEST_F(NorvDocRefreshTest, NarrowPageIsCentred) {
  NorvDoc &d = *doc_;
  script_.values[dispid::GetModalWidth] = Variant::i4(101);
  script_.calls.clear();
  d.FixNorvCtlSize();
  const double margin = (d.ViewableWidth() - 101) / 2;
  EXPECT_EQ(d.NorvCtlWindow->geometry(),
            QRect(CLng(margin), d.ToolBar->height(), 101, int(d.ViewableHeight())));
  const auto pans = script_.callsOf(dispid::Pan);
  ASSERT_EQ(pans.size(), 1u);
  EXPECT_EQ(pans[0].args[0].asI4(), CLng(-margin));
  EXPECT_EQ(pans[0].args[1].asI4(), 0);
}

// The window reads the control's answers by the viewer's one conversion rule (the dialogs'
// typed calls): numbers and flags of any numeric kind convert, reals round half to even, text
// is no number and a number no text, a failed call reads as 0, false or "".
TEST_F(NorvDocRefreshTest, AnswersConvertAsInTheDialogs) {
  ControlCalls &ctl = doc_->control();
  struct Case {
    const char *name;
    int32_t id;
    Variant answer;  // empty: the member is missing
    std::function<Variant()> read;
    Variant expected;
  };
  const Case cases[] = {
      {"short page", dispid::CurrentPage, Variant::i2(7),
       [&] { return Variant::i4(ctl.CurrentPage()); }, Variant::i4(7)},
      {"real page rounds to even", dispid::CurrentPage, Variant::r8(2.5),
       [&] { return Variant::i4(ctl.CurrentPage()); }, Variant::i4(2)},
      {"whole zoom", dispid::ZoomFactor, Variant::i4(3),
       [&] { return Variant::r8(ctl.ZoomFactor()); }, Variant::r8(3.0)},
      {"flag as number", dispid::ViewMode, Variant::boolean(true),
       [&] { return Variant::i4(ctl.ViewMode()); }, Variant::i4(-1)},
      {"number as flag", dispid::IsNorv, Variant::i4(2),
       [&] { return Variant::boolean(ctl.IsNorv()); }, Variant::boolean(true)},
      {"text is no number", dispid::NumPages, Variant::bstr("3"),
       [&] { return Variant::i4(ctl.NumPages()); }, Variant::i4(0)},
      {"number is no text", dispid::FileName, Variant::i4(5),
       [&] { return Variant::bstr(ctl.FileName()); }, Variant::bstr("")},
      {"missing member", dispid::GetPageX, Variant(), [&] { return Variant::i4(ctl.GetPageX()); },
       Variant::i4(0)},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    script_.values.erase(c.id);
    if (c.answer.type() != comp::VarType::Empty) script_.values[c.id] = c.answer;
    EXPECT_EQ(c.read(), c.expected);
    // The dialogs' calls read the same answer alike.
    comp::Variant dialogs;
    switch (c.expected.type()) {
      case comp::VarType::I4:
        dialogs = Variant::i4(ctlGetI4(script_, c.id));
        break;
      case comp::VarType::R8:
        dialogs = Variant::r8(ctlGetR8(script_, c.id));
        break;
      case comp::VarType::Bool:
        dialogs = Variant::boolean(ctlGetBool(script_, c.id));
        break;
      default:
        dialogs = Variant::bstr(ctlGetText(script_, c.id));
    }
    EXPECT_EQ(dialogs, c.expected);
  }
}

// Without a control the window still lays itself out, and its procedures do nothing.
TEST_F(NorvDocRefreshTest, WindowWithoutAControl) {
  QString error;
  const char *saved = std::getenv("NORVVIEW_REGISTRY");
  const std::string keep = saved != nullptr ? saved : "";
  setenv("NORVVIEW_REGISTRY", "/nonexistent/registry.ini", 1);
  {
    // The program's module may already be loaded by another suite; only then is there a control.
    NorvDoc lone(nullptr, &error);
    lone.resize(300, 200);
    lone.UpdateAll();
    double zoom = 2;
    lone.CenteredZoom(zoom);
    int16_t layer = 0;
    lone.setPrintDialog([](QWidget *, QPrinter &, int, int) { return PrintChoice{true}; });
    lone.PrintLayer(layer);
    EXPECT_NE(lone.NorvCtlWindow, nullptr);
    if (lone.NorvCtl() == nullptr) {
      EXPECT_FALSE(error.isEmpty());
      EXPECT_EQ(lone.NumPages->text(), "of  0");
    }
  }
  if (saved != nullptr) {
    setenv("NORVVIEW_REGISTRY", keep.c_str(), 1);
  } else {
    unsetenv("NORVVIEW_REGISTRY");
  }
}

}  // namespace
}  // namespace viewer
