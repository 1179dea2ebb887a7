// NorvviewCtrl: the view control. It shows one document at a time, holds the view state
// (current page, offsets, zoom, orientation, layer, view mode) and is driven through its
// dispatch interface by id; it fires its events to the sink its container gives it.
//
// Every member keeps to the dispatch contract: no member fails, out-of-range arguments are
// ignored and a setter that changes visible state marks the control modified and asks its site
// for a redraw (drawing happens later, in OnDraw, on whatever drawing device the host gives).
// The window that hosts the control is its site: it repaints on invalidate, sets the cursor the
// control names and shows the about box. Each page has a cache entry with its last rendering.
#ifndef CTL_NORVVIEW_CTRL_H
#define CTL_NORVVIEW_CTRL_H

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "comp_dispatch.h"
#include "comp_propbag.h"
#include "ctl_host.h"
#include "gfx_device.h"
#include "image_buf.h"
#include "tfx_file.h"

namespace ctl {

// Ids of the control's dispatch members (their positions in the dispatch map) and events.
enum DispatchId : int32_t {
  kIdFullPageCacheThreshold = 1,
  kIdPageBreakSpace,
  kIdExtraPageCacheSize,
  kIdViewMode,
  kIdFileName,
  kIdZoomFactor,
  kIdCurrentPage,
  kIdLayer,
  kIdIsTiff,
  kIdOrientation,
  kIdIsNorv,
  kIdFirstPage,
  kIdLastPage,
  kIdNextPage,
  kIdPreviousPage,
  kIdNumPages,
  kIdSetPosition,
  kIdGetYPosition,
  kIdGetXPosition,
  kIdPurgeAllData,
  kIdSetXPosition,
  kIdSetYPosition,
  kIdGetModalHeight,
  kIdGetModalWidth,
  kIdGetTotalHeight,
  kIdGetTotalWidth,
  kIdGetCurrentPageWidth,
  kIdGetCurrentPageHeight,
  kIdPan,
  kIdGetModalXPosition,
  kIdGetModalYPosition,
  kIdSetHandCursor,
  kIdSetGrabCursor,
  kIdSetDefaultCursor,
  kIdSetZoomToolCursor,
  kIdCopyToClipboardTLBR,
  kIdCopyPageToClipboard,
  kIdSetModalYPosition,
  kIdGetPageX,
  kIdGetPageY,
  kIdSetZoomAndModalPosition,
  kIdGetPageForPosition,
  kIdLayersOnCurrentPage,
  kIdGetFileVersion,
  kIdGetBuildDate,
  kIdPrintLayerFromTo,
  kIdSavePageAsBmp,
  kIdLayersOnPage,
  kIdConvertTiff2Tfx,
  kIdSetOrientationAndPagePosition,
  kIdBackColor = -501,
  kIdAboutBox = -552,
};

// The event ids, as the host interface names them.
using comp::kEventClick;
using comp::kEventDblClick;
using comp::kEventKeyDown;
using comp::kEventKeyPress;
using comp::kEventKeyUp;
using comp::kEventMouseDown;
using comp::kEventMouseMove;
using comp::kEventMouseUp;
using comp::kEventMouseWheel;

// The stock BackColor before a container sets it: the system's window colour, as an OLE colour.
constexpr uint32_t kDefaultBackColor = 0x80000005u;

class NorvviewCtrl final : public comp::Dispatch, public HostedControl {
 public:
  // The cache entry of one document page: its last rendering and what that rendering holds.
  class Page {
   public:
    Page(int32_t index, TfxFile *document) : document(document), index(index) {}
    virtual ~Page() = default;
    Page(const Page &) = delete;
    Page &operator=(const Page &) = delete;

    // The document's page object; null without a document.
    TfxPage *GetTfxPage() const;
    // The unrotated page size, (0, 0) without a document or for an unknown size.
    LongPair GetSize() const;
    // Bytes of pixel data the bitmap holds now.
    uint64_t GetBitmapBytes() const { return bitmap.length(); }
    // Frees the bitmap's pixels and empties the held rectangle; the entry stays.
    void ReleaseBitmap();
    // Bytes a rendering of the whole page at zoom and depth would take (rows not aligned).
    uint64_t EstimateBitmapBytes(double zoom, int32_t depth) const;

    DibImgBuf bitmap;
    double heldZoom = 1.0;
    Rect held;  // part of the zoomed, unrotated page the bitmap holds
    int32_t heldLayer = 0;
    int32_t heldDepth = 0;
    TfxFile *document;
    int32_t index;
  };

  NorvviewCtrl() = default;
  ~NorvviewCtrl() override { PurgeAllData(); }
  NorvviewCtrl(const NorvviewCtrl &) = delete;
  NorvviewCtrl &operator=(const NorvviewCtrl &) = delete;

  void setSite(ControlSite *site) override { site_ = site; }
  void setEventSink(comp::EventSink *sink) { sink_ = sink; }

  // comp::Dispatch over the control's dispatch map.
  int32_t getIdsOfNames(const char *name, int32_t *id) const override;
  int32_t invoke(int32_t id, uint32_t flags, std::span<const comp::Variant> args,
                 comp::Variant *result) override;
  std::span<const comp::MemberInfo> members() const override;

  // Stored properties with their change notifications.
  int32_t FullPageCacheThreshold() const { return fullPageCacheThreshold_; }
  void SetFullPageCacheThreshold(int32_t value);
  int32_t PageBreakSpace() const { return pageBreakSpace_; }
  void SetPageBreakSpace(int32_t value);
  int32_t ExtraPageCacheSize() const { return extraPageCacheSize_; }
  void SetExtraPageCacheSize(int32_t value);
  int32_t ViewMode() const { return viewMode_; }
  void SetViewMode(int32_t value);

  // Properties with get and put functions.
  const std::string &GetFileName() const { return fileName_; }
  void SetFileName(const std::string &name);
  double GetZoomFactor() const { return zoom_; }
  void SetZoomFactor(double zoom);
  int32_t GetCurrentPage() const;
  void SetCurrentPage(int32_t page);
  int32_t GetLayer() const;
  void SetLayer(int32_t layer);
  bool GetIsTiff() const;
  int32_t GetOrientation() const { return orientation_; }
  void SetOrientation(int32_t degrees);
  bool GetIsNorv() const;
  uint32_t GetBackColor() const { return backColor_; }
  void SetBackColor(uint32_t colour);

  // Methods.
  int32_t FirstPage();
  int32_t LastPage();
  int32_t NextPage();
  int32_t PreviousPage();
  int32_t NumPages() const { return static_cast<int32_t>(pageList_.size()); }
  void SetPosition(int32_t x, int32_t y);
  int32_t GetYPosition() const;
  int32_t GetXPosition() const;
  void PurgeAllData();
  void SetXPosition(int32_t x);
  void SetYPosition(int32_t y);
  int32_t GetModalHeight() const;
  int32_t GetModalWidth() const;
  int32_t GetTotalHeight() const;
  int32_t GetTotalWidth() const;
  int32_t GetCurrentPageWidth() const;
  int32_t GetCurrentPageHeight() const;
  void Pan(int32_t dx, int32_t dy);
  int32_t GetModalXPosition() const { return GetXPosition(); }
  int32_t GetModalYPosition() const;
  void SetCursor(int32_t cursor);
  void SetModalYPosition(int32_t y);
  int32_t GetPageX() const { return GetXPosition(); }
  int32_t GetPageY() const;
  void SetZoomAndModalPosition(double zoom, int32_t x, int32_t y);
  int32_t GetPageForPosition(int32_t x, int32_t y) const;
  void SetOrientationAndPagePosition(int32_t orientation, int32_t x, int32_t y);
  int32_t LayersOnCurrentPage() { return LayersOnPage(GetCurrentPage()); }
  static std::string GetFileVersion() { return "0, 7, 6, 0"; }
  static std::string GetBuildDate();
  int32_t LayersOnPage(int32_t page);
  void AboutBox();
  // Writes page (1-based) of the layer at the zoom (clamped, at most 1.0) as a BMP file: 0, or
  // -1 when the file cannot be created; a page outside the document writes nothing.
  // Prints pages fromPage ... toPage (1-based, held within the document) of the layer on the
  // device registered under the handle hdc: 0, -1 without pages or device, or the negative
  // result of the print job's call that failed.
  // Put the selection (pixels of the view, bottom and right inclusive) or the whole page
  // (1-based, at the view's zoom, orientation and layer) on the clipboard through the site.
  int32_t CopyToClipboardTLBR(int32_t top, int32_t left, int32_t bottom, int32_t right);
  int32_t CopyPageToClipboard(int32_t page);
  int32_t PrintLayerFromTo(int32_t hdc, int32_t layer, int32_t fromPage, int32_t toPage);
  int32_t SavePageAsBmp(const std::string &fileName, int32_t page, int32_t layer, double zoom);
  // Converts the TIFF scan file into a TIFF-FX file through the document encoder: 0 when the
  // whole document was written, else the failure's status (the output name is left as it was;
  // one sentence on the standard error stream). The open document is not changed.
  int32_t ConvertTiff2Tfx(const std::string &tiffFile, const std::string &tfxFile);

  // Persistence: version, stock properties, then the control's own in their fixed order; on
  // load the named document is opened again.
  void DoPropExchange(comp::PropExchange &exchange);

  // Events. The key events pass their key code by reference, so a handler may change it.
  void FireClick() override;
  void FireDblClick() override;
  void FireKeyDown(int16_t *keyCode, int16_t shift) override;
  void FireKeyPress(int16_t *keyAscii) override;
  void FireKeyUp(int16_t *keyCode, int16_t shift) override;
  void FireMouseDown(int16_t button, int16_t shift, int32_t x, int32_t y) override;
  void FireMouseMove(int16_t button, int16_t shift, int32_t x, int32_t y) override;
  void FireMouseUp(int16_t button, int16_t shift, int32_t x, int32_t y) override;
  // The mouse-wheel message: fires MouseWheel with the message's values. The control does not
  // scroll itself.
  void OnMouseWheel(int32_t keyFlags, int16_t delta, int32_t x, int32_t y) override;

  // Painting. OnDraw paints the whole bounds from the view state; DrawPages paints with the
  // values its caller gives (printing and the clipboard give their own).
  void OnDraw(gfx::Device *device, const gfx::Rect &bounds, const gfx::Rect &invalid) override;
  void DrawPages(gfx::Device *device, const Rect &bounds, const Rect &update, uint32_t first,
                 int32_t x, int32_t y, double zoom, int32_t orientation, bool fill, int32_t layer,
                 int32_t viewMode);
  // Fills the rectangle with BackColor.
  void FillBackground(gfx::Device *device, const Rect &rect) const;

  // The page cache.
  Page *GetCachedPage(int32_t index);
  bool IsPageCached(int32_t index) const;
  void ReleasePageBitmap(int32_t index);
  // The page's size as oriented: width and height swapped at 90 and 270; (0, 0) outside the
  // document.
  LongPair GetOrientedPageSize(int32_t index, int32_t orientation) const;
  // Releases bitmaps outside the painted pages first ... end beyond the extra cache budget.
  void TrimPageCache(uint32_t first, uint32_t end);

  // Replaces the document with an open one (the FileName put after making the object).
  void AttachDocument(std::unique_ptr<TfxFile> document, std::string name);

  bool IsModified() const { return modified_; }
  void SetModifiedFlag(bool modified = true) { modified_ = modified; }

  // View state not exposed as properties.
  TfxFile *document() const { return document_.get(); }
  uint32_t currentIndex() const { return currentPage_; }
  int32_t xOffset() const { return xOffset_; }
  int32_t yOffset() const { return yOffset_; }
  const std::vector<std::unique_ptr<Page>> &pageList() const { return pageList_; }

  // Clamps a zoom request: its absolute value, at least 0.01 and at most 10.
  static double ClampZoom(double zoom);

 private:
  void invalidate();
  void changed();  // modified and redraw
  void fire(int32_t id, std::span<const comp::Variant> args);
  void fireMouse(int32_t id, int16_t button, int16_t shift, int32_t x, int32_t y);
  void releasePageBitmaps();

  // Geometry (view_geometry.cpp).
  struct PagePosition {
    uint32_t page;
    int32_t offset;
  };
  PagePosition PageFromModalY(int32_t y) const;
  PagePosition walkToModalY(int32_t y, double zoom) const;
  int64_t gapInPagePixels(double zoom) const;
  void storePosition(uint32_t page, int32_t x, int32_t y);

  // Painting (paint_pages.cpp).
  struct PaintArgs {
    int32_t x, y;
    double zoom;
    int32_t orientation;
    bool fill;
    int32_t layer, viewMode;
    bool stretched, monochrome;
  };
  void PaintPages(gfx::Device &device, const Rect &bounds, uint32_t first, PaintArgs args);
  Rect PaintPage(gfx::Device &device, const Rect &bounds, uint32_t index, const PaintArgs &args);
  bool renderInto(Page &page, const PaintArgs &args, int32_t depth, Rect part, Rect whole);
  void drawCached(gfx::Device &device, const Page &page, const Rect &bounds, Rect part,
                  const PaintArgs &args, int32_t sw, int32_t sh);

  int32_t fullPageCacheThreshold_ = 20;
  int32_t pageBreakSpace_ = 10;
  int32_t extraPageCacheSize_ = 10;
  int32_t viewMode_ = 0;
  std::unique_ptr<TfxFile> document_;
  std::string fileName_;
  int32_t orientation_ = 0;
  double zoom_ = 0.25;
  uint32_t currentPage_ = 0;
  int32_t xOffset_ = 0;
  int32_t yOffset_ = 0;
  std::vector<std::unique_ptr<Page>> pageList_;
  int32_t layer_ = 0;
  uint32_t backColor_ = kDefaultBackColor;
  bool modified_ = false;
  ControlSite *site_ = nullptr;
  comp::EventSink *sink_ = nullptr;
};

}  // namespace ctl

#endif
