// The module's type library, its "TYPELIB" resource 1: the library NORVVIEWLib 1.0, the
// control's dispatch interface _DNorvview (every member with its dispatch id, kind, result and
// argument types) and its event interface _DNorvviewEvents, in the text form that
// comp::parseTypeLibrary reads (comp_typelib.h). It is kept in the section
// ".norvview.typelib.1" of the shared object, where containers read it without loading the
// module; registration reads it back before it records the library.
#include "module_resources.h"

namespace ctlmod {

[[gnu::used, gnu::section(".norvview.typelib.1")]] extern const char kTypeLibResource[] =
    R"(library NORVVIEWLib {6B1F3C20-7A4E-4D2B-9C51-3E8A0F6D2B10} 1.0

dispinterface _DNorvview {6B1F3C21-7A4E-4D2B-9C51-3E8A0F6D2B10}
stored 1 FullPageCacheThreshold I4
stored 2 PageBreakSpace I4
stored 3 ExtraPageCacheSize I4
stored 4 ViewMode I4
property 5 FileName BSTR
property 6 ZoomFactor R8
property 7 CurrentPage I4
property 8 Layer I4
readonly 9 isTiff BOOL
property 10 Orientation I4
readonly 11 IsNorv BOOL
method 12 FirstPage I4
method 13 LastPage I4
method 14 NextPage I4
method 15 PreviousPage I4
method 16 NumPages I4
method 17 SetPosition EMPTY I4 I4
method 18 GetYPosition I4
method 19 GetXPosition I4
method 20 PurgeAllData EMPTY
method 21 SetXPosition EMPTY I4
method 22 SetYPosition EMPTY I4
method 23 GetModalHeight I4
method 24 GetModalWidth I4
method 25 GetTotalHeight I4
method 26 GetTotalWidth I4
method 27 GetCurrentPageWidth I4
method 28 GetCurrentPageHeight I4
method 29 Pan EMPTY I4 I4
method 30 GetModalXPosition I4
method 31 GetModalYPosition I4
method 32 SetHandCursor EMPTY
method 33 SetGrabCursor EMPTY
method 34 SetDefaultCursor EMPTY
method 35 SetZoomToolCursor EMPTY
method 36 CopyToClipboardTLBR I4 I4 I4 I4 I4
method 37 CopyPageToClipboard I4 I4
method 38 SetModalYPosition EMPTY I4
method 39 GetPageX I4
method 40 GetPageY I4
method 41 SetZoomAndModalPosition EMPTY R8 I4 I4
method 42 GetPageForPosition I4 I4 I4
method 43 LayersOnCurrentPage I4
method 44 GetFileVersion BSTR
method 45 GetBuildDate BSTR
method 46 PrintLayerFromTo I4 I4 I4 I4 I4
method 47 SavePageAsBmp I4 BSTR I4 I4 R8
method 48 LayersOnPage I4 I4
method 49 ConvertTiff2Tfx I4 BSTR BSTR
method 50 SetOrientationAndPagePosition EMPTY I2 I4 I4
property -501 BackColor I4
method -552 AboutBox EMPTY

dispinterface _DNorvviewEvents {6B1F3C22-7A4E-4D2B-9C51-3E8A0F6D2B10}
event 1 MouseWheel EMPTY I4 I2 I4 I4
event -600 Click EMPTY
event -601 DblClick EMPTY
event -602 KeyDown EMPTY I2REF I2
event -603 KeyPress EMPTY I2REF
event -604 KeyUp EMPTY I2REF I2
event -605 MouseDown EMPTY I2 I2 I4 I4
event -606 MouseMove EMPTY I2 I2 I4 I4
event -607 MouseUp EMPTY I2 I2 I4 I4
)";

}  // namespace ctlmod
