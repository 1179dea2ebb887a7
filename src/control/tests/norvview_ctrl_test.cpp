// The view control through its dispatch interface: the member table (ids, names, kinds and
// types of the contract with the viewer), every property rule driven by id and by name, opening
// documents by extension, navigation, PurgeAllData, persistence through the property bag, the
// site calls (redraws, cursors, about box) and the events a sink receives.
#include <gtest/gtest.h>

#include <regex>
#include <vector>

#include "norvview_ctrl.h"
#include "page_fixtures.h"
#include "tiff_writer.h"

namespace comp {

void PrintTo(const Variant &v, std::ostream *os) {
  *os << "type " << static_cast<int>(v.type()) << " i " << v.asI4() << " r " << v.asR8() << " s \""
      << v.asBstr() << "\"";
}

}  // namespace comp

namespace ctl {
namespace {

using comp::kMethod;
using comp::kPropGet;
using comp::kPropPut;
using comp::MemberKind;
using comp::Variant;
using comp::VarType;
using norvtest::TempDir;

// A site that counts redraws and remembers the cursors and about boxes asked for.
struct RecordingSite : ControlSite {
  int redraws = 0, aboutBoxes = 0;
  std::vector<int32_t> cursors;
  void invalidate() override { ++redraws; }
  void setCursor(int32_t cursor) override { cursors.push_back(cursor); }
  void showAboutBox() override { ++aboutBoxes; }
};

// A sink that records every event; a key event's code is doubled through its reference.
struct RecordingSink : comp::EventSink {
  std::vector<std::pair<int32_t, std::vector<Variant>>> events;
  void fire(int32_t id, std::span<const Variant> args) override {
    events.emplace_back(id, std::vector<Variant>(args.begin(), args.end()));
    if (!args.empty() && args[0].type() == VarType::I2Ref) *args[0].asI2Ref() *= 2;
  }
};

Variant get(NorvviewCtrl &c, int32_t id) {
  Variant out;
  EXPECT_EQ(c.invoke(id, kPropGet, {}, &out), comp::S_OK) << id;
  return out;
}

void put(NorvviewCtrl &c, int32_t id, const Variant &value) {
  EXPECT_EQ(c.invoke(id, kPropPut, std::array{value}, nullptr), comp::S_OK) << id;
}

Variant call(NorvviewCtrl &c, int32_t id, std::vector<Variant> args = {}) {
  Variant out;
  EXPECT_EQ(c.invoke(id, kMethod, args, &out), comp::S_OK) << id;
  return out;
}

// The id getIdsOfNames gives for the name the member table lists for id.
int32_t idByName(const NorvviewCtrl &c, int32_t id) {
  for (const comp::MemberInfo &m : c.members()) {
    int32_t found = 0;
    if (m.id == id && c.getIdsOfNames(m.name, &found) == comp::S_OK) return found;
  }
  return 0;
}

// Documents in a temporary directory: a TIFF-FX document of three pages (a mask over a
// background, a colour layer alone, a mask alone) and a plain TIFF of two pages, each under
// several names.
class ControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.made());
    using ctl_test::jbig2Mask;
    using ctl_test::jpegLayer;
    using ctl_test::pattern;
    for (const char *name : {"doc", "doc.tfx", "doc.Tif.mrc", "doc.dat", "doc.tif", "doc.TIFF"}) {
      ctl_test::writeMrc(file(name), 13,
                         {{jbig2Mask(0, 600, 300, pattern(8, 600), {0}, pattern(30, 300)),
                           jpegLayer(1, 0, 100, 200, 100, {pattern(40, 1)})},
                          {jpegLayer(1, 0, 300, 320, 160, {pattern(40, 2)})},
                          {jbig2Mask(0, 500, 250, pattern(8, 500), {0}, pattern(31, 250))}});
    }
    for (const char *name : {"scan.TIF", "scan.tiff", "scan.tif"}) {
      ctl_test::writeTiff(file(name),
                          {{64, 32, 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_NONE},
                           {48, 16, 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE}},
                          false);
    }
    control_.setSite(&site_);
    control_.setEventSink(&sink_);
  }

  std::string file(const std::string &name) const { return dir_.file(name); }

  void open(const std::string &name) {
    put(control_, kIdFileName, Variant::bstr(file(name)));
    control_.SetModifiedFlag(false);
    site_.redraws = 0;
  }

  TempDir dir_{"ctl"};
  RecordingSite site_;
  RecordingSink sink_;
  NorvviewCtrl control_;
};

TEST(ControlDispatchTest, MemberTableIsTheContract) {
  const VarType I2 = VarType::I2, I4 = VarType::I4, R8 = VarType::R8, S = VarType::Bstr,
                B = VarType::Bool, N = VarType::Empty;
  const MemberKind P = MemberKind::Property, SP = MemberKind::StoredProperty,
                   RO = MemberKind::ReadOnlyProperty, M = MemberKind::Method;
  struct Row {
    int32_t id;
    const char *name;
    MemberKind kind;
    VarType result;
    std::vector<VarType> args;
  };
  const Row rows[] = {
      {1, "FullPageCacheThreshold", SP, I4, {}},
      {2, "PageBreakSpace", SP, I4, {}},
      {3, "ExtraPageCacheSize", SP, I4, {}},
      {4, "ViewMode", SP, I4, {}},
      {5, "FileName", P, S, {}},
      {6, "ZoomFactor", P, R8, {}},
      {7, "CurrentPage", P, I4, {}},
      {8, "Layer", P, I4, {}},
      {9, "isTiff", RO, B, {}},
      {10, "Orientation", P, I4, {}},
      {11, "IsNorv", RO, B, {}},
      {12, "FirstPage", M, I4, {}},
      {13, "LastPage", M, I4, {}},
      {14, "NextPage", M, I4, {}},
      {15, "PreviousPage", M, I4, {}},
      {16, "NumPages", M, I4, {}},
      {17, "SetPosition", M, N, {I4, I4}},
      {18, "GetYPosition", M, I4, {}},
      {19, "GetXPosition", M, I4, {}},
      {20, "PurgeAllData", M, N, {}},
      {21, "SetXPosition", M, N, {I4}},
      {22, "SetYPosition", M, N, {I4}},
      {23, "GetModalHeight", M, I4, {}},
      {24, "GetModalWidth", M, I4, {}},
      {25, "GetTotalHeight", M, I4, {}},
      {26, "GetTotalWidth", M, I4, {}},
      {27, "GetCurrentPageWidth", M, I4, {}},
      {28, "GetCurrentPageHeight", M, I4, {}},
      {29, "Pan", M, N, {I4, I4}},
      {30, "GetModalXPosition", M, I4, {}},
      {31, "GetModalYPosition", M, I4, {}},
      {32, "SetHandCursor", M, N, {}},
      {33, "SetGrabCursor", M, N, {}},
      {34, "SetDefaultCursor", M, N, {}},
      {35, "SetZoomToolCursor", M, N, {}},
      {36, "CopyToClipboardTLBR", M, I4, {I4, I4, I4, I4}},
      {37, "CopyPageToClipboard", M, I4, {I4}},
      {38, "SetModalYPosition", M, N, {I4}},
      {39, "GetPageX", M, I4, {}},
      {40, "GetPageY", M, I4, {}},
      {41, "SetZoomAndModalPosition", M, N, {R8, I4, I4}},
      {42, "GetPageForPosition", M, I4, {I4, I4}},
      {43, "LayersOnCurrentPage", M, I4, {}},
      {44, "GetFileVersion", M, S, {}},
      {45, "GetBuildDate", M, S, {}},
      {46, "PrintLayerFromTo", M, I4, {I4, I4, I4, I4}},
      {47, "SavePageAsBmp", M, I4, {S, I4, I4, R8}},
      {48, "LayersOnPage", M, I4, {I4}},
      {49, "ConvertTiff2Tfx", M, I4, {S, S}},
      {50, "SetOrientationAndPagePosition", M, N, {I2, I4, I4}},
      {-501, "BackColor", P, I4, {}},
      {-552, "AboutBox", M, N, {}},
  };
  NorvviewCtrl control;
  const auto members = control.members();
  ASSERT_EQ(members.size(), std::size(rows));
  for (size_t i = 0; i < members.size(); ++i) {
    const Row &r = rows[i];
    const comp::MemberInfo &m = members[i];
    SCOPED_TRACE(r.name);
    EXPECT_EQ(m.id, r.id);
    EXPECT_STREQ(m.name, r.name);
    EXPECT_EQ(m.kind, r.kind);
    EXPECT_EQ(m.result, r.result);
    ASSERT_EQ(m.argCount, r.args.size());
    for (size_t a = 0; a < r.args.size(); ++a) EXPECT_EQ(m.args[a], r.args[a]);
    int32_t id = 0;
    EXPECT_EQ(control.getIdsOfNames(r.name, &id), comp::S_OK);
    EXPECT_EQ(id, r.id);
  }
  int32_t id = 0;
  EXPECT_EQ(control.getIdsOfNames("zoomfactor", &id), comp::S_OK);
  EXPECT_EQ(id, kIdZoomFactor);
  EXPECT_EQ(control.getIdsOfNames("Zoom", &id), comp::DISP_E_UNKNOWNNAME);
  EXPECT_EQ(control.invoke(51, kMethod, {}, nullptr), comp::DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(control.invoke(kIdIsTiff, kPropPut, std::array{Variant::boolean(true)}, nullptr),
            comp::DISP_E_MEMBERNOTFOUND);
}

TEST_F(ControlTest, EveryGetterIsZeroWithoutPages) {
  for (const char *name : {"", "missing.tif", "missing"}) {
    SCOPED_TRACE(name);
    if (*name != '\0') put(control_, kIdFileName, Variant::bstr(file(name)));
    for (int32_t id : {kIdCurrentPage, kIdLayer}) EXPECT_EQ(get(control_, id), Variant::i4(0));
    for (int32_t id :
         {kIdNumPages, kIdGetXPosition, kIdGetModalXPosition, kIdGetPageX, kIdGetPageY,
          kIdLayersOnCurrentPage, kIdFirstPage, kIdLastPage, kIdNextPage, kIdPreviousPage,
          kIdGetYPosition, kIdGetModalYPosition, kIdGetModalHeight, kIdGetModalWidth,
          kIdGetTotalHeight, kIdGetTotalWidth, kIdGetCurrentPageWidth, kIdGetCurrentPageHeight}) {
      EXPECT_EQ(call(control_, id), Variant::i4(0)) << id;
    }
    EXPECT_EQ(call(control_, kIdLayersOnPage, {Variant::i4(1)}), Variant::i4(0));
    EXPECT_EQ(call(control_, kIdGetFileVersion), Variant::bstr("0, 7, 6, 0"));
    EXPECT_EQ(get(control_, kIdZoomFactor), Variant::r8(0.25));
  }
  // A file that cannot be read still makes a document of its kind, and keeps its name.
  EXPECT_EQ(get(control_, kIdFileName), Variant::bstr(file("missing")));
  EXPECT_EQ(get(control_, kIdIsNorv), Variant::boolean(true));
  EXPECT_EQ(get(control_, kIdIsTiff), Variant::boolean(false));
}

TEST_F(ControlTest, PropertyRules) {
  struct Step {
    int32_t id;
    Variant value;
  };
  struct Case {
    const char *what;
    std::vector<Step> before;  // puts made first
    Step put;
    std::vector<Step> after;  // values then read
    bool modified;
    int redraws;
  };
  const Variant i4_0 = Variant::i4(0);
  const Case cases[] = {
      {"zoom -2", {}, {kIdZoomFactor, Variant::r8(-2)}, {{kIdZoomFactor, Variant::r8(2)}}, true, 1},
      {"zoom 0",
       {},
       {kIdZoomFactor, Variant::r8(0)},
       {{kIdZoomFactor, Variant::r8(0.01)}},
       true,
       1},
      {"zoom 50",
       {},
       {kIdZoomFactor, Variant::r8(50)},
       {{kIdZoomFactor, Variant::r8(10)}},
       true,
       1},
      {"zoom as int",
       {},
       {kIdZoomFactor, Variant::i4(3)},
       {{kIdZoomFactor, Variant::r8(3)}},
       true,
       1},
      {"zoom same after clamp",
       {{kIdZoomFactor, Variant::r8(10)}},
       {kIdZoomFactor, Variant::r8(-80)},
       {{kIdZoomFactor, Variant::r8(10)}},
       false,
       0},
      {"threshold -5",
       {},
       {kIdFullPageCacheThreshold, Variant::i4(-5)},
       {{kIdFullPageCacheThreshold, i4_0}},
       true,
       0},
      {"threshold 7",
       {},
       {kIdFullPageCacheThreshold, Variant::i4(7)},
       {{kIdFullPageCacheThreshold, Variant::i4(7)}},
       true,
       0},
      {"break space -1",
       {},
       {kIdPageBreakSpace, Variant::i4(-1)},
       {{kIdPageBreakSpace, i4_0}},
       true,
       1},
      {"extra cache -3",
       {},
       {kIdExtraPageCacheSize, Variant::i4(-3)},
       {{kIdExtraPageCacheSize, i4_0}},
       true,
       0},
      {"orientation -90",
       {},
       {kIdOrientation, Variant::i4(-90)},
       {{kIdOrientation, Variant::i4(270)}},
       true,
       1},
      {"orientation 45",
       {{kIdOrientation, Variant::i4(180)}},
       {kIdOrientation, Variant::i4(45)},
       {{kIdOrientation, Variant::i4(180)}},
       false,
       0},
      {"orientation 450",
       {},
       {kIdOrientation, Variant::i4(450)},
       {{kIdOrientation, Variant::i4(90)}},
       true,
       1},
      {"orientation -720",
       {},
       {kIdOrientation, Variant::i4(-720)},
       {{kIdOrientation, i4_0}},
       false,
       0},
      {"view mode 5",
       {{kIdViewMode, Variant::i4(1)}, {kIdLayer, Variant::i4(3)}},
       {kIdViewMode, Variant::i4(5)},
       {{kIdViewMode, i4_0}, {kIdLayer, i4_0}},
       true,
       2},
      {"view mode 1 keeps the layer",
       {{kIdLayer, Variant::i4(3)}},
       {kIdViewMode, Variant::i4(1)},
       {{kIdViewMode, Variant::i4(1)}, {kIdLayer, Variant::i4(3)}},
       true,
       1},
      {"view mode 0 resets the layer",
       {{kIdViewMode, Variant::i4(1)}, {kIdLayer, Variant::i4(2)}},
       {kIdViewMode, i4_0},
       {{kIdViewMode, i4_0}, {kIdLayer, i4_0}},
       true,
       2},
      {"view mode -1 stays",
       {{kIdLayer, Variant::i4(2)}},
       {kIdViewMode, Variant::i4(-1)},
       {{kIdViewMode, Variant::i4(-1)}, {kIdLayer, i4_0}},
       true,
       2},
      {"layer -4",
       {{kIdLayer, Variant::i4(2)}},
       {kIdLayer, Variant::i4(-4)},
       {{kIdLayer, i4_0}},
       true,
       1},
      {"layer 99", {}, {kIdLayer, Variant::i4(99)}, {{kIdLayer, Variant::i4(99)}}, true, 1},
      {"layer same",
       {{kIdLayer, Variant::i4(5)}},
       {kIdLayer, Variant::i4(5)},
       {{kIdLayer, Variant::i4(5)}},
       false,
       0},
      {"current page 0", {}, {kIdCurrentPage, i4_0}, {{kIdCurrentPage, Variant::i4(1)}}, false, 0},
      {"current page past the end",
       {},
       {kIdCurrentPage, Variant::i4(4)},
       {{kIdCurrentPage, Variant::i4(1)}},
       false,
       0},
      {"current page -1",
       {},
       {kIdCurrentPage, Variant::i4(-1)},
       {{kIdCurrentPage, Variant::i4(1)}},
       false,
       0},
      {"current page 3",
       {},
       {kIdCurrentPage, Variant::i4(3)},
       {{kIdCurrentPage, Variant::i4(3)}},
       true,
       1},
      {"current page again",
       {{kIdCurrentPage, Variant::i4(2)}},
       {kIdCurrentPage, Variant::i4(2)},
       {{kIdCurrentPage, Variant::i4(2)}},
       false,
       0},
      {"back colour",
       {},
       {kIdBackColor, Variant::i4(0x00FF00)},
       {{kIdBackColor, Variant::i4(0x00FF00)}},
       true,
       1},
      {"empty file name",
       {},
       {kIdFileName, Variant::bstr("")},
       {{kIdNumPages, Variant::i4(3)}, {kIdIsNorv, Variant::boolean(true)}},
       false,
       0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    NorvviewCtrl control;
    control.setSite(&site_);
    put(control, kIdFileName, Variant::bstr(file("doc")));
    for (const Step &s : c.before) put(control, s.id, s.value);
    control.SetModifiedFlag(false);
    site_.redraws = 0;
    put(control, idByName(control, c.put.id), c.put.value);
    for (const Step &s : c.after) {
      EXPECT_EQ(s.id == kIdNumPages ? call(control, s.id) : get(control, s.id), s.value) << s.id;
    }
    EXPECT_EQ(control.IsModified(), c.modified);
    EXPECT_EQ(site_.redraws, c.redraws);
  }
}

TEST_F(ControlTest, OpeningByExtension) {
  struct Case {
    const char *name;
    bool tiff;
    int32_t pages, layersOnFirst;
  };
  const Case cases[] = {
      {"scan.TIF", true, 2, 1},
      {"scan.tiff", true, 2, 1},
      {"scan.tif", true, 2, 1},
      {"doc", false, 3, 3},
      {"doc.tfx", false, 3, 3},
      {"doc.Tif.mrc", false, 3, 3},
      {"missing.TIFF", true, 0, 0},
      {"doc.dat", false, 3, 3},
      // The content decides where the name says plain TIFF and the pages have TIFF-FX layers.
      {"doc.tif", false, 3, 3},
      {"doc.TIFF", false, 3, 3},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    control_.SetModifiedFlag(false);
    site_.redraws = 0;
    put(control_, kIdFileName, Variant::bstr(file(c.name)));
    EXPECT_EQ(get(control_, kIdFileName), Variant::bstr(file(c.name)));
    EXPECT_EQ(get(control_, kIdIsTiff), Variant::boolean(c.tiff));
    EXPECT_EQ(get(control_, kIdIsNorv), Variant::boolean(!c.tiff));
    EXPECT_EQ(call(control_, kIdNumPages), Variant::i4(c.pages));
    EXPECT_EQ(control_.pageList().size(), static_cast<size_t>(c.pages));
    EXPECT_EQ(get(control_, kIdCurrentPage), Variant::i4(c.pages > 0 ? 1 : 0));
    EXPECT_EQ(call(control_, kIdLayersOnCurrentPage), Variant::i4(c.layersOnFirst));
    EXPECT_TRUE(control_.IsModified());
    EXPECT_EQ(site_.redraws, 1);
  }
  // Other names are TIFF-FX: a TIFF named without an extension opens as TIFF-FX.
  std::rename(file("scan.tif").c_str(), file("scan").c_str());
  put(control_, kIdFileName, Variant::bstr(file("scan")));
  EXPECT_EQ(get(control_, kIdIsNorv), Variant::boolean(true));
  EXPECT_EQ(get(control_, kIdIsTiff), Variant::boolean(false));
}

TEST_F(ControlTest, NavigationAndLayersOnPage) {
  open("doc");
  EXPECT_EQ(call(control_, kIdPreviousPage), Variant::i4(1));
  EXPECT_FALSE(control_.IsModified());
  EXPECT_EQ(call(control_, kIdNextPage), Variant::i4(2));
  EXPECT_EQ(call(control_, kIdLayersOnCurrentPage), Variant::i4(1));
  EXPECT_EQ(call(control_, kIdLastPage), Variant::i4(3));
  EXPECT_EQ(call(control_, kIdNextPage), Variant::i4(3));
  EXPECT_EQ(call(control_, kIdFirstPage), Variant::i4(1));
  EXPECT_EQ(site_.redraws, 3);
  struct Case {
    Variant page;
    int32_t layers;
  };
  for (const Case &c :
       {Case{Variant::i4(1), 3}, Case{Variant::i4(2), 1}, Case{Variant::r8(3.0), 3},
        Case{Variant::i4(0), 0}, Case{Variant::i4(4), 0}, Case{Variant::i4(-1), 0}}) {
    EXPECT_EQ(call(control_, kIdLayersOnPage, {c.page}), Variant::i4(c.layers));
  }
  // Opening again starts at page 1; PurgeAllData empties the control and keeps the view settings.
  put(control_, kIdCurrentPage, Variant::i4(3));
  put(control_, kIdZoomFactor, Variant::r8(1.5));
  put(control_, kIdFileName, Variant::bstr(file("doc.tfx")));
  EXPECT_EQ(get(control_, kIdCurrentPage), Variant::i4(1));
  site_.redraws = 0;
  EXPECT_EQ(call(control_, kIdPurgeAllData), Variant());
  EXPECT_EQ(site_.redraws, 0);
  EXPECT_EQ(call(control_, kIdNumPages), Variant::i4(0));
  EXPECT_EQ(get(control_, kIdFileName), Variant::bstr(""));
  EXPECT_EQ(get(control_, kIdIsNorv), Variant::boolean(false));
  EXPECT_EQ(get(control_, kIdZoomFactor), Variant::r8(1.5));
}

TEST_F(ControlTest, PersistenceRoundTrip) {
  open("doc");
  put(control_, kIdCurrentPage, Variant::i4(3));
  put(control_, kIdZoomFactor, Variant::r8(0.5));
  put(control_, kIdPageBreakSpace, Variant::i4(6));
  put(control_, kIdFullPageCacheThreshold, Variant::i4(30));
  put(control_, kIdExtraPageCacheSize, Variant::i4(4));
  put(control_, kIdViewMode, Variant::i4(1));
  put(control_, kIdLayer, Variant::i4(2));
  put(control_, kIdBackColor, Variant::i4(0x123456));
  comp::PropertyBag bag;
  comp::PropExchange save(bag, false);
  control_.DoPropExchange(save);
  const char *order[] = {"_Version",
                         "BackColor",
                         "FileName",
                         "CurrentPage",
                         "PageBreakSpace",
                         "ZoomFactor",
                         "FullPageCacheThreshold",
                         "ExtraPageCacheSize",
                         "ViewMode",
                         "Layer"};
  ASSERT_EQ(bag.values().size(), std::size(order));
  for (size_t i = 0; i < std::size(order); ++i) EXPECT_EQ(bag.values()[i].name, order[i]);
  EXPECT_EQ(bag.values()[0].integer, 0x10000);
  EXPECT_EQ(bag.values()[3].integer, 2);  // the 0-based index

  NorvviewCtrl loaded;
  loaded.setSite(&site_);
  comp::PropExchange load(bag, true);
  loaded.DoPropExchange(load);
  EXPECT_EQ(get(loaded, kIdFileName), Variant::bstr(file("doc")));
  EXPECT_EQ(call(loaded, kIdNumPages), Variant::i4(3));
  EXPECT_EQ(get(loaded, kIdCurrentPage), Variant::i4(1));
  EXPECT_EQ(call(loaded, kIdGetPageY), Variant::i4(0));
  const std::pair<int32_t, Variant> values[] = {{kIdZoomFactor, Variant::r8(0.5)},
                                                {kIdPageBreakSpace, Variant::i4(6)},
                                                {kIdFullPageCacheThreshold, Variant::i4(30)},
                                                {kIdExtraPageCacheSize, Variant::i4(4)},
                                                {kIdViewMode, Variant::i4(1)},
                                                {kIdLayer, Variant::i4(2)},
                                                {kIdBackColor, Variant::i4(0x123456)}};
  for (const auto &[id, value] : values) EXPECT_EQ(get(loaded, id), value) << id;
}

TEST_F(ControlTest, LoadedValuesKeepThePutRules) {
  // A bag written elsewhere: out-of-range values, a page index and no file name.
  comp::PropertyBag bag;
  using K = comp::PropValue::Kind;
  bag.append({K::UI4, "CurrentPage", 7, 0.0, {}});
  bag.append({K::R8, "ZoomFactor", 0, -0.0, {}});
  bag.append({K::I4, "PageBreakSpace", -4, 0.0, {}});
  bag.append({K::I4, "ViewMode", 9, 0.0, {}});
  bag.append({K::I4, "Layer", -2, 0.0, {}});
  open("doc");
  put(control_, kIdCurrentPage, Variant::i4(2));
  comp::PropExchange load(bag, true);
  control_.DoPropExchange(load);
  // No name in the bag: the name held is opened again, at page 1; the stored index is not taken.
  EXPECT_EQ(get(control_, kIdFileName), Variant::bstr(file("doc")));
  EXPECT_EQ(call(control_, kIdNumPages), Variant::i4(3));
  EXPECT_EQ(get(control_, kIdCurrentPage), Variant::i4(1));
  EXPECT_EQ(get(control_, kIdZoomFactor), Variant::r8(0.01));
  EXPECT_EQ(get(control_, kIdPageBreakSpace), Variant::i4(0));
  EXPECT_EQ(get(control_, kIdViewMode), Variant::i4(0));
  EXPECT_EQ(get(control_, kIdLayer), Variant::i4(0));
  EXPECT_EQ(get(control_, kIdFullPageCacheThreshold), Variant::i4(20));  // absent: unchanged
}

TEST_F(ControlTest, SiteCallsAndBuildDate) {
  for (int32_t id : {kIdSetHandCursor, kIdSetGrabCursor, kIdSetDefaultCursor, kIdSetZoomToolCursor,
                     kIdAboutBox}) {
    EXPECT_EQ(call(control_, id), Variant());
  }
  EXPECT_EQ(site_.cursors, (std::vector<int32_t>{207, 208, 0, 209}));
  EXPECT_EQ(site_.aboutBoxes, 1);
  const Variant date = call(control_, kIdGetBuildDate);
  EXPECT_TRUE(std::regex_match(
      date.asBstr(), std::regex("(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 123][0-9] "
                                "[0-9]{4} [0-2][0-9]:[0-5][0-9]:[0-5][0-9]")))
      << date.asBstr();
}

TEST_F(ControlTest, EventsReachTheSink) {
  int16_t key = 13, ascii = 65, up = 40;
  control_.FireClick();
  control_.FireDblClick();
  control_.FireKeyDown(&key, 1);
  control_.FireKeyPress(&ascii);
  control_.FireKeyUp(&up, 2);
  control_.FireMouseDown(1, 0, 10, 20);
  control_.FireMouseMove(0, 4, -3, 7);
  control_.FireMouseUp(2, 1, 5, 6);
  control_.OnMouseWheel(8, -120, 300, 400);
  const std::vector<std::pair<int32_t, std::vector<Variant>>> expected = {
      {kEventClick, {}},
      {kEventDblClick, {}},
      {kEventKeyDown, {Variant::i2Ref(&key), Variant::i2(1)}},
      {kEventKeyPress, {Variant::i2Ref(&ascii)}},
      {kEventKeyUp, {Variant::i2Ref(&up), Variant::i2(2)}},
      {kEventMouseDown, {Variant::i2(1), Variant::i2(0), Variant::i4(10), Variant::i4(20)}},
      {kEventMouseMove, {Variant::i2(0), Variant::i2(4), Variant::i4(-3), Variant::i4(7)}},
      {kEventMouseUp, {Variant::i2(2), Variant::i2(1), Variant::i4(5), Variant::i4(6)}},
      {kEventMouseWheel, {Variant::i4(8), Variant::i2(-120), Variant::i4(300), Variant::i4(400)}},
  };
  EXPECT_EQ(sink_.events, expected);
  // The key codes came back through their references.
  EXPECT_EQ(key, 26);
  EXPECT_EQ(ascii, 130);
  EXPECT_EQ(up, 80);
  EXPECT_EQ(site_.redraws, 0);
  EXPECT_FALSE(control_.IsModified());
}

}  // namespace
}  // namespace ctl
