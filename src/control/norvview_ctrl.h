// NorvviewCtrl: the view control. It shows one document at a time, holds the view state
// (current page, offsets, zoom, orientation, layer, view mode) and is driven through its
// dispatch interface by id; it fires its events to the sink its container gives it.
//
// Every member keeps to the dispatch contract: no member fails, out-of-range arguments are
// ignored and a setter that changes visible state marks the control modified and asks its site
// for a redraw (drawing happens later). The window that hosts the control is its site: it
// repaints on invalidate, sets the cursor the control names and shows the about box.
#ifndef CTL_NORVVIEW_CTRL_H
#define CTL_NORVVIEW_CTRL_H

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "comp_dispatch.h"
#include "comp_propbag.h"
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

enum EventId : int32_t {
  kEventMouseWheel = 1,
  kEventClick = -600,
  kEventDblClick = -601,
  kEventKeyDown = -602,
  kEventKeyPress = -603,
  kEventKeyUp = -604,
  kEventMouseDown = -605,
  kEventMouseMove = -606,
  kEventMouseUp = -607,
};

// Cursor resources of the control module; 0 is the system arrow.
enum CursorId : int32_t {
  kCursorArrow = 0,
  kCursorHand = 207,
  kCursorGrab = 208,
  kCursorZoomTool = 209
};

// The stock BackColor before a container sets it: the system's window colour, as an OLE colour.
constexpr uint32_t kDefaultBackColor = 0x80000005u;

// The window hosting the control.
class ControlSite {
 public:
  virtual ~ControlSite() = default;
  virtual void invalidate() = 0;
  virtual void setCursor(int32_t cursor) = 0;
  virtual void showAboutBox() = 0;
};

class NorvviewCtrl final : public comp::Dispatch {
 public:
  // One cache entry per document page; empty until the page is first drawn.
  struct Page {
    std::unique_ptr<DibImgBuf> bitmap;
  };

  NorvviewCtrl() = default;
  ~NorvviewCtrl() override { PurgeAllData(); }
  NorvviewCtrl(const NorvviewCtrl &) = delete;
  NorvviewCtrl &operator=(const NorvviewCtrl &) = delete;

  void setSite(ControlSite *site) { site_ = site; }
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
  int32_t GetXPosition() const;
  void PurgeAllData();
  int32_t GetModalXPosition() const { return GetXPosition(); }
  void SetCursor(int32_t cursor);
  int32_t GetPageX() const { return GetXPosition(); }
  int32_t GetPageY() const;
  int32_t LayersOnCurrentPage() { return LayersOnPage(GetCurrentPage()); }
  static std::string GetFileVersion() { return "0, 7, 6, 0"; }
  static std::string GetBuildDate();
  int32_t LayersOnPage(int32_t page);
  void AboutBox();

  // Persistence: version, stock properties, then the control's own in their fixed order; on
  // load the named document is opened again.
  void DoPropExchange(comp::PropExchange &exchange);

  // Events. The key events pass their key code by reference, so a handler may change it.
  void FireClick();
  void FireDblClick();
  void FireKeyDown(int16_t *keyCode, int16_t shift);
  void FireKeyPress(int16_t *keyAscii);
  void FireKeyUp(int16_t *keyCode, int16_t shift);
  void FireMouseDown(int16_t button, int16_t shift, int32_t x, int32_t y);
  void FireMouseMove(int16_t button, int16_t shift, int32_t x, int32_t y);
  void FireMouseUp(int16_t button, int16_t shift, int32_t x, int32_t y);
  // The mouse-wheel message: fires MouseWheel with the message's values. The control does not
  // scroll itself.
  void OnMouseWheel(int32_t keyFlags, int16_t delta, int32_t x, int32_t y);

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
