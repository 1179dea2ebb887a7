// The view control's dispatch ids and event ids, as the viewer calls them: fixed by the
// control's type library (custom members numbered from 1 in their declared order, stock members
// by their standard negative ids). The loader's tests check each against the control's own
// member table.
#pragma once

#include <cstdint>

namespace viewer {

namespace dispid {
enum : int32_t {
  FullPageCacheThreshold = 1,
  PageBreakSpace,
  ExtraPageCacheSize,
  ViewMode,
  FileName,
  ZoomFactor,
  CurrentPage,
  Layer,
  IsTiff,
  Orientation,
  IsNorv,
  FirstPage,
  LastPage,
  NextPage,
  PreviousPage,
  NumPages,
  SetPosition,
  GetYPosition,
  GetXPosition,
  PurgeAllData,
  SetXPosition,
  SetYPosition,
  GetModalHeight,
  GetModalWidth,
  GetTotalHeight,
  GetTotalWidth,
  GetCurrentPageWidth,
  GetCurrentPageHeight,
  Pan,
  GetModalXPosition,
  GetModalYPosition,
  SetHandCursor,
  SetGrabCursor,
  SetDefaultCursor,
  SetZoomToolCursor,
  CopyToClipboardTLBR,
  CopyPageToClipboard,
  SetModalYPosition,
  GetPageX,
  GetPageY,
  SetZoomAndModalPosition,
  GetPageForPosition,
  LayersOnCurrentPage,
  GetFileVersion,
  GetBuildDate,
  PrintLayerFromTo,
  SavePageAsBmp,
  LayersOnPage,
  ConvertTiff2Tfx,
  SetOrientationAndPagePosition,
  BackColor = -501,
  AboutBox = -552,
};
}  // namespace dispid

namespace eventid {
enum : int32_t {
  MouseWheel = 1,
  Click = -600,
  DblClick = -601,
  KeyDown = -602,
  KeyPress = -603,
  KeyUp = -604,
  MouseDown = -605,
  MouseMove = -606,
  MouseUp = -607,
};
}  // namespace eventid

}  // namespace viewer
