// NorvviewCtrl: the property rules, opening and closing documents, page navigation, the
// position getters of the current page, persistence and events.
//
// Opening (FileName put): an empty name is ignored; otherwise the control is purged, the
// extension (from the last "." to the end, lower-cased; ".tfx" when there is no ".") chooses a
// plain TIFF document for ".tif" and ".tiff" and a TIFF-FX document for anything else, except
// that a ".tif" or ".tiff" file whose first IFD has TIFF-FX's ImageLayer tag opens as the
// TIFF-FX document it is (read as plain TIFF, its pages would be blank); the page list gets one
// empty entry per page, and the name is stored. A file that cannot be read is a
// document of 0 pages, so every getter then gives 0.
#include <algorithm>
#include <cctype>
#include <cmath>

#include "mrc_file.h"
#include "norvview_ctrl.h"
#include "tif_file.h"

namespace ctl {

using comp::Variant;

void NorvviewCtrl::invalidate() {
  if (site_ != nullptr) site_->invalidate();
}

void NorvviewCtrl::changed() {
  SetModifiedFlag();
  invalidate();
}

void NorvviewCtrl::SetFullPageCacheThreshold(int32_t value) {
  fullPageCacheThreshold_ = std::max(value, 0);
  SetModifiedFlag();
}

void NorvviewCtrl::SetPageBreakSpace(int32_t value) {
  pageBreakSpace_ = std::max(value, 0);
  changed();
}

void NorvviewCtrl::SetExtraPageCacheSize(int32_t value) {
  extraPageCacheSize_ = std::max(value, 0);
  SetModifiedFlag();
}

void NorvviewCtrl::SetViewMode(int32_t value) {
  viewMode_ = value > 1 ? 0 : value;
  if (viewMode_ != 1) SetLayer(0);
  changed();
}

void NorvviewCtrl::SetFileName(const std::string &name) {
  if (name.empty()) return;
  std::string copy = name;
  std::string extension = ".tfx";
  if (const size_t dot = copy.rfind('.'); dot != std::string::npos) {
    extension = copy.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  }
  std::unique_ptr<TfxFile> document;
  if (extension == ".tiff" || extension == ".tif") {
    auto tiff = std::make_unique<TifFile>(copy.c_str());
    // The content decides where it contradicts the name.
    if (tiff->HasImageLayers())
      document = std::make_unique<MrcFile>(copy.c_str());
    else
      document = std::move(tiff);
  } else {
    document = std::make_unique<MrcFile>(copy.c_str());
  }
  AttachDocument(std::move(document), std::move(copy));
}

void NorvviewCtrl::AttachDocument(std::unique_ptr<TfxFile> document, std::string name) {
  PurgeAllData();
  document_ = std::move(document);
  if (document_ != nullptr)
    pageList_.resize(static_cast<size_t>(std::max(document_->GetPageCount(), 0)));
  invalidate();
  fileName_ = document_ != nullptr ? std::move(name) : std::string();
  SetModifiedFlag();
}

double NorvviewCtrl::ClampZoom(double zoom) {
  const double magnitude = std::fabs(zoom);
  if (magnitude >= 10.0) return 10.0;
  if (!(magnitude > 0.01)) return 0.01;  // also a NaN
  return magnitude;
}

void NorvviewCtrl::SetZoomFactor(double zoom) {
  const double clamped = ClampZoom(zoom);
  if (clamped == zoom_) return;
  zoom_ = clamped;
  releasePageBitmaps();
  changed();
}

int32_t NorvviewCtrl::GetCurrentPage() const {
  return pageList_.empty() ? 0 : static_cast<int32_t>(currentPage_) + 1;
}

void NorvviewCtrl::SetCurrentPage(int32_t page) {
  if (page < 1 || page > NumPages() || page == GetCurrentPage()) return;
  currentPage_ = static_cast<uint32_t>(page - 1);
  yOffset_ = 0;
  changed();
}

int32_t NorvviewCtrl::GetLayer() const {
  return pageList_.empty() ? 0 : layer_;
}

void NorvviewCtrl::SetLayer(int32_t layer) {
  layer = std::max(layer, 0);
  if (layer == layer_) return;
  layer_ = layer;
  changed();
}

bool NorvviewCtrl::GetIsTiff() const {
  return dynamic_cast<const TifFile *>(document_.get()) != nullptr;
}

bool NorvviewCtrl::GetIsNorv() const {
  return dynamic_cast<const MrcFile *>(document_.get()) != nullptr;
}

void NorvviewCtrl::SetOrientation(int32_t degrees) {
  int32_t normal = degrees % 360;
  if (normal < 0) normal += 360;
  if (normal % 90 != 0 || normal == orientation_) return;
  orientation_ = normal;
  changed();
}

void NorvviewCtrl::SetBackColor(uint32_t colour) {
  if (colour == backColor_) return;
  backColor_ = colour;
  changed();
}

int32_t NorvviewCtrl::FirstPage() {
  SetCurrentPage(1);
  return GetCurrentPage();
}

int32_t NorvviewCtrl::LastPage() {
  SetCurrentPage(NumPages());
  return GetCurrentPage();
}

int32_t NorvviewCtrl::NextPage() {
  SetCurrentPage(GetCurrentPage() + 1);
  return GetCurrentPage();
}

int32_t NorvviewCtrl::PreviousPage() {
  SetCurrentPage(GetCurrentPage() - 1);
  return GetCurrentPage();
}

void NorvviewCtrl::PurgeAllData() {
  pageList_.clear();
  fileName_.clear();
  document_.reset();
  currentPage_ = 0;
  xOffset_ = 0;
  yOffset_ = 0;
}

void NorvviewCtrl::SetCursor(int32_t cursor) {
  if (site_ != nullptr) site_->setCursor(cursor);
}

std::string NorvviewCtrl::GetBuildDate() {
  return std::string(__DATE__) + " " + __TIME__;
}

int32_t NorvviewCtrl::LayersOnPage(int32_t page) {
  if (page < 1 || page > NumPages()) return 0;
  TfxPage *object = document_->GetPage(page - 1);
  return object == nullptr ? 0 : object->GetLayerCount();
}

void NorvviewCtrl::AboutBox() {
  if (site_ != nullptr) site_->showAboutBox();
}

void NorvviewCtrl::DoPropExchange(comp::PropExchange &exchange) {
  uint32_t version = 0x10000;
  exchange.exchangeVersion(version);
  exchange.exchange("BackColor", backColor_);
  // The name and the page are read into locals: loading opens the named document as a put
  // would, which starts at page 1, and an empty name leaves the open document and its name.
  std::string name = fileName_;
  exchange.exchange("FileName", name);
  uint32_t page = currentPage_;
  exchange.exchange("CurrentPage", page);
  exchange.exchange("PageBreakSpace", pageBreakSpace_);
  exchange.exchange("ZoomFactor", zoom_);
  exchange.exchange("FullPageCacheThreshold", fullPageCacheThreshold_);
  exchange.exchange("ExtraPageCacheSize", extraPageCacheSize_);
  exchange.exchange("ViewMode", viewMode_);
  exchange.exchange("Layer", layer_);
  if (!exchange.isLoading()) return;
  // Loaded values keep the rules of their puts.
  zoom_ = ClampZoom(zoom_);
  pageBreakSpace_ = std::max(pageBreakSpace_, 0);
  fullPageCacheThreshold_ = std::max(fullPageCacheThreshold_, 0);
  extraPageCacheSize_ = std::max(extraPageCacheSize_, 0);
  if (viewMode_ > 1) viewMode_ = 0;
  layer_ = std::max(layer_, 0);
  SetFileName(name);
}

void NorvviewCtrl::fire(int32_t id, std::span<const Variant> args) {
  if (sink_ != nullptr) sink_->fire(id, args);
}

void NorvviewCtrl::fireMouse(int32_t id, int16_t button, int16_t shift, int32_t x, int32_t y) {
  const Variant args[] = {Variant::i2(button), Variant::i2(shift), Variant::i4(x), Variant::i4(y)};
  fire(id, args);
}

void NorvviewCtrl::FireClick() {
  fire(kEventClick, {});
}

void NorvviewCtrl::FireDblClick() {
  fire(kEventDblClick, {});
}

void NorvviewCtrl::FireKeyDown(int16_t *keyCode, int16_t shift) {
  const Variant args[] = {Variant::i2Ref(keyCode), Variant::i2(shift)};
  fire(kEventKeyDown, args);
}

void NorvviewCtrl::FireKeyPress(int16_t *keyAscii) {
  const Variant args[] = {Variant::i2Ref(keyAscii)};
  fire(kEventKeyPress, args);
}

void NorvviewCtrl::FireKeyUp(int16_t *keyCode, int16_t shift) {
  const Variant args[] = {Variant::i2Ref(keyCode), Variant::i2(shift)};
  fire(kEventKeyUp, args);
}

void NorvviewCtrl::FireMouseDown(int16_t button, int16_t shift, int32_t x, int32_t y) {
  fireMouse(kEventMouseDown, button, shift, x, y);
}

void NorvviewCtrl::FireMouseMove(int16_t button, int16_t shift, int32_t x, int32_t y) {
  fireMouse(kEventMouseMove, button, shift, x, y);
}

void NorvviewCtrl::FireMouseUp(int16_t button, int16_t shift, int32_t x, int32_t y) {
  fireMouse(kEventMouseUp, button, shift, x, y);
}

void NorvviewCtrl::OnMouseWheel(int32_t keyFlags, int16_t delta, int32_t x, int32_t y) {
  const Variant args[] = {Variant::i4(keyFlags), Variant::i2(delta), Variant::i4(x),
                          Variant::i4(y)};
  fire(kEventMouseWheel, args);
}

}  // namespace ctl
