// The control's dispatch map: every member of its dispatch interface with its id (its position
// in the map, counted from 1; the stock members BackColor -501 and AboutBox -552), name, kind,
// argument and result types. These are the contract with the viewer, which drives the control
// by id alone: never reorder, rename or retype a member.
#include <array>

#include "norvview_ctrl.h"

namespace ctl {
namespace {

using comp::DispatchEntry;
using comp::MemberKind;
using comp::Variant;
using comp::VarType;
using Entry = DispatchEntry<NorvviewCtrl>;
using Ctl = NorvviewCtrl;

constexpr VarType kI2 = VarType::I2;
constexpr VarType kI4 = VarType::I4;
constexpr VarType kR8 = VarType::R8;
constexpr VarType kStr = VarType::Bstr;
constexpr VarType kBool = VarType::Bool;
constexpr VarType kNone = VarType::Empty;

Entry stored(int32_t id, const char *name, Variant (*get)(Ctl &),
             void (*put)(Ctl &, const Variant &)) {
  return {{id, name, MemberKind::StoredProperty, kI4, 0, {}}, get, put, nullptr};
}

Entry property(int32_t id, const char *name, VarType type, Variant (*get)(Ctl &),
               void (*put)(Ctl &, const Variant &)) {
  return {
      {id, name, put == nullptr ? MemberKind::ReadOnlyProperty : MemberKind::Property, type, 0, {}},
      get,
      put,
      nullptr};
}

Entry method(int32_t id, const char *name, VarType result, std::initializer_list<VarType> args,
             Variant (*call)(Ctl &, const Variant *)) {
  Entry e{{id, name, MemberKind::Method, result, static_cast<uint8_t>(args.size()), {}},
          nullptr,
          nullptr,
          call};
  size_t i = 0;
  for (VarType t : args) e.info.args[i++] = t;
  return e;
}

Variant none() {
  return Variant();
}

const std::array<Entry, 52> &dispatchMap() {
  static const std::array<Entry, 52> map = {
      stored(
          kIdFullPageCacheThreshold, "FullPageCacheThreshold",
          [](Ctl &c) { return Variant::i4(c.FullPageCacheThreshold()); },
          [](Ctl &c, const Variant &v) { c.SetFullPageCacheThreshold(v.asI4()); }),
      stored(
          kIdPageBreakSpace, "PageBreakSpace",
          [](Ctl &c) { return Variant::i4(c.PageBreakSpace()); },
          [](Ctl &c, const Variant &v) { c.SetPageBreakSpace(v.asI4()); }),
      stored(
          kIdExtraPageCacheSize, "ExtraPageCacheSize",
          [](Ctl &c) { return Variant::i4(c.ExtraPageCacheSize()); },
          [](Ctl &c, const Variant &v) { c.SetExtraPageCacheSize(v.asI4()); }),
      stored(
          kIdViewMode, "ViewMode", [](Ctl &c) { return Variant::i4(c.ViewMode()); },
          [](Ctl &c, const Variant &v) { c.SetViewMode(v.asI4()); }),
      property(
          kIdFileName, "FileName", kStr, [](Ctl &c) { return Variant::bstr(c.GetFileName()); },
          [](Ctl &c, const Variant &v) { c.SetFileName(v.asBstr()); }),
      property(
          kIdZoomFactor, "ZoomFactor", kR8, [](Ctl &c) { return Variant::r8(c.GetZoomFactor()); },
          [](Ctl &c, const Variant &v) { c.SetZoomFactor(v.asR8()); }),
      property(
          kIdCurrentPage, "CurrentPage", kI4,
          [](Ctl &c) { return Variant::i4(c.GetCurrentPage()); },
          [](Ctl &c, const Variant &v) { c.SetCurrentPage(v.asI4()); }),
      property(
          kIdLayer, "Layer", kI4, [](Ctl &c) { return Variant::i4(c.GetLayer()); },
          [](Ctl &c, const Variant &v) { c.SetLayer(v.asI4()); }),
      property(
          kIdIsTiff, "isTiff", kBool, [](Ctl &c) { return Variant::boolean(c.GetIsTiff()); },
          nullptr),
      property(
          kIdOrientation, "Orientation", kI4,
          [](Ctl &c) { return Variant::i4(c.GetOrientation()); },
          [](Ctl &c, const Variant &v) { c.SetOrientation(v.asI4()); }),
      property(
          kIdIsNorv, "IsNorv", kBool, [](Ctl &c) { return Variant::boolean(c.GetIsNorv()); },
          nullptr),
      method(kIdFirstPage, "FirstPage", kI4, {},
             [](Ctl &c, const Variant *) { return Variant::i4(c.FirstPage()); }),
      method(kIdLastPage, "LastPage", kI4, {},
             [](Ctl &c, const Variant *) { return Variant::i4(c.LastPage()); }),
      method(kIdNextPage, "NextPage", kI4, {},
             [](Ctl &c, const Variant *) { return Variant::i4(c.NextPage()); }),
      method(kIdPreviousPage, "PreviousPage", kI4, {},
             [](Ctl &c, const Variant *) { return Variant::i4(c.PreviousPage()); }),
      method(kIdNumPages, "NumPages", kI4, {},
             [](Ctl &c, const Variant *) { return Variant::i4(c.NumPages()); }),
      method(kIdSetPosition, "SetPosition", kNone, {kI4, kI4},
             [](Ctl &c, const Variant *a) {
               c.SetPosition(a[0].asI4(), a[1].asI4());
               return none();
             }),
      method(kIdGetYPosition, "GetYPosition", kI4, {},
             [](Ctl &c, const Variant *) { return Variant::i4(c.GetYPosition()); }),
      method(kIdGetXPosition, "GetXPosition", kI4, {},
             [](Ctl &c, const Variant *) { return Variant::i4(c.GetXPosition()); }),
      method(kIdPurgeAllData, "PurgeAllData", kNone, {},
             [](Ctl &c, const Variant *) {
               c.PurgeAllData();
               return none();
             }),
      method(kIdSetXPosition, "SetXPosition", kNone, {kI4},
             [](Ctl &c, const Variant *a) {
               c.SetXPosition(a[0].asI4());
               return none();
             }),
      method(kIdSetYPosition, "SetYPosition", kNone, {kI4},
             [](Ctl &c, const Variant *a) {
               c.SetYPosition(a[0].asI4());
               return none();
             }),
      method(kIdGetModalHeight, "GetModalHeight", kI4, {},
             [](Ctl &c, const Variant *) { return Variant::i4(c.GetModalHeight()); }),
      method(kIdGetModalWidth, "GetModalWidth", kI4, {},
             [](Ctl &c, const Variant *) { return Variant::i4(c.GetModalWidth()); }),
      method(kIdGetTotalHeight, "GetTotalHeight", kI4, {},
             [](Ctl &c, const Variant *) { return Variant::i4(c.GetTotalHeight()); }),
      method(kIdGetTotalWidth, "GetTotalWidth", kI4, {},
             [](Ctl &c, const Variant *) { return Variant::i4(c.GetTotalWidth()); }),
      method(kIdGetCurrentPageWidth, "GetCurrentPageWidth", kI4, {},
             [](Ctl &c, const Variant *) { return Variant::i4(c.GetCurrentPageWidth()); }),
      method(kIdGetCurrentPageHeight, "GetCurrentPageHeight", kI4, {},
             [](Ctl &c, const Variant *) { return Variant::i4(c.GetCurrentPageHeight()); }),
      method(kIdPan, "Pan", kNone, {kI4, kI4},
             [](Ctl &c, const Variant *a) {
               c.Pan(a[0].asI4(), a[1].asI4());
               return none();
             }),
      method(kIdGetModalXPosition, "GetModalXPosition", kI4, {},
             [](Ctl &c, const Variant *) { return Variant::i4(c.GetModalXPosition()); }),
      method(kIdGetModalYPosition, "GetModalYPosition", kI4, {},
             [](Ctl &c, const Variant *) { return Variant::i4(c.GetModalYPosition()); }),
      method(kIdSetHandCursor, "SetHandCursor", kNone, {},
             [](Ctl &c, const Variant *) {
               c.SetCursor(kCursorHand);
               return none();
             }),
      method(kIdSetGrabCursor, "SetGrabCursor", kNone, {},
             [](Ctl &c, const Variant *) {
               c.SetCursor(kCursorGrab);
               return none();
             }),
      method(kIdSetDefaultCursor, "SetDefaultCursor", kNone, {},
             [](Ctl &c, const Variant *) {
               c.SetCursor(kCursorArrow);
               return none();
             }),
      method(kIdSetZoomToolCursor, "SetZoomToolCursor", kNone, {},
             [](Ctl &c, const Variant *) {
               c.SetCursor(kCursorZoomTool);
               return none();
             }),
      method(kIdCopyToClipboardTLBR, "CopyToClipboardTLBR", kI4, {kI4, kI4, kI4, kI4},
             [](Ctl &c, const Variant *a) {
               return Variant::i4(
                   c.CopyToClipboardTLBR(a[0].asI4(), a[1].asI4(), a[2].asI4(), a[3].asI4()));
             }),
      method(
          kIdCopyPageToClipboard, "CopyPageToClipboard", kI4, {kI4},
          [](Ctl &c, const Variant *a) { return Variant::i4(c.CopyPageToClipboard(a[0].asI4())); }),
      method(kIdSetModalYPosition, "SetModalYPosition", kNone, {kI4},
             [](Ctl &c, const Variant *a) {
               c.SetModalYPosition(a[0].asI4());
               return none();
             }),
      method(kIdGetPageX, "GetPageX", kI4, {},
             [](Ctl &c, const Variant *) { return Variant::i4(c.GetPageX()); }),
      method(kIdGetPageY, "GetPageY", kI4, {},
             [](Ctl &c, const Variant *) { return Variant::i4(c.GetPageY()); }),
      method(kIdSetZoomAndModalPosition, "SetZoomAndModalPosition", kNone, {kR8, kI4, kI4},
             [](Ctl &c, const Variant *a) {
               c.SetZoomAndModalPosition(a[0].asR8(), a[1].asI4(), a[2].asI4());
               return none();
             }),
      method(kIdGetPageForPosition, "GetPageForPosition", kI4, {kI4, kI4},
             [](Ctl &c, const Variant *a) {
               return Variant::i4(c.GetPageForPosition(a[0].asI4(), a[1].asI4()));
             }),
      method(kIdLayersOnCurrentPage, "LayersOnCurrentPage", kI4, {},
             [](Ctl &c, const Variant *) { return Variant::i4(c.LayersOnCurrentPage()); }),
      method(kIdGetFileVersion, "GetFileVersion", kStr, {},
             [](Ctl &, const Variant *) { return Variant::bstr(Ctl::GetFileVersion()); }),
      method(kIdGetBuildDate, "GetBuildDate", kStr, {},
             [](Ctl &, const Variant *) { return Variant::bstr(Ctl::GetBuildDate()); }),
      method(kIdPrintLayerFromTo, "PrintLayerFromTo", kI4, {kI4, kI4, kI4, kI4},
             [](Ctl &c, const Variant *a) {
               return Variant::i4(
                   c.PrintLayerFromTo(a[0].asI4(), a[1].asI4(), a[2].asI4(), a[3].asI4()));
             }),
      method(kIdSavePageAsBmp, "SavePageAsBmp", kI4, {kStr, kI4, kI4, kR8},
             [](Ctl &c, const Variant *a) {
               return Variant::i4(
                   c.SavePageAsBmp(a[0].asBstr(), a[1].asI4(), a[2].asI4(), a[3].asR8()));
             }),
      method(kIdLayersOnPage, "LayersOnPage", kI4, {kI4},
             [](Ctl &c, const Variant *a) { return Variant::i4(c.LayersOnPage(a[0].asI4())); }),
      method(kIdConvertTiff2Tfx, "ConvertTiff2Tfx", kI4, {kStr, kStr},
             [](Ctl &c, const Variant *a) {
               return Variant::i4(c.ConvertTiff2Tfx(a[0].asBstr(), a[1].asBstr()));
             }),
      method(
          kIdSetOrientationAndPagePosition, "SetOrientationAndPagePosition", kNone, {kI2, kI4, kI4},
          [](Ctl &c, const Variant *a) {
            c.SetOrientationAndPagePosition(a[0].asI2(), a[1].asI4(), a[2].asI4());
            return none();
          }),
      // Stock members.
      property(
          kIdBackColor, "BackColor", kI4,
          [](Ctl &c) { return Variant::i4(static_cast<int32_t>(c.GetBackColor())); },
          [](Ctl &c, const Variant &v) { c.SetBackColor(static_cast<uint32_t>(v.asI4())); }),
      method(kIdAboutBox, "AboutBox", kNone, {},
             [](Ctl &c, const Variant *) {
               c.AboutBox();
               return none();
             }),
  };
  return map;
}

// The member table, made once from the map.
const std::array<comp::MemberInfo, 52> &memberTable() {
  static const std::array<comp::MemberInfo, 52> table = [] {
    std::array<comp::MemberInfo, 52> out{};
    for (size_t i = 0; i < out.size(); ++i) out[i] = dispatchMap()[i].info;
    return out;
  }();
  return table;
}

}  // namespace

int32_t NorvviewCtrl::getIdsOfNames(const char *name, int32_t *id) const {
  return comp::findId<Ctl>(dispatchMap(), name, id);
}

int32_t NorvviewCtrl::invoke(int32_t id, uint32_t flags, std::span<const Variant> args,
                             Variant *result) {
  return comp::invokeMap<Ctl>(dispatchMap(), *this, id, flags, args, result);
}

std::span<const comp::MemberInfo> NorvviewCtrl::members() const {
  return memberTable();
}

}  // namespace ctl
