// The document window NorvDoc: one open document in the main window's multiple-document frame.
// It arranges its toolbar, the view control's window and two scroll bars, maps the control's
// pixel geometry onto the scroll bars' 16-bit ranges, refreshes its page, zoom, layer and menu
// indicators from the control after every change, and turns zoom, rotation, panning, selection
// and print requests into calls of the control.
//
// The window reaches the control only through its dispatch interface (by member id) and the
// window its module makes to host it. The window's scale unit is the pixel, so the control's pixel
// values and the window's sizes meet without conversion; the conversions are still written out
// where the two meet.
#pragma once

#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QToolButton>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "control_ids.h"
#include "control_loader.h"
#include "dispatch_calls.h"
#include "util.h"

class QActionGroup;
class QPagedPaintDevice;
class QPrinter;

namespace viewer {

// The view control as the document window calls it: its members by name, through the viewer's
// one set of typed dispatch calls (dispatch_calls.h), so a failed call (no control, a member
// the control lacks, a refused argument) reads as 0, false or "" as everywhere in the viewer.
class ControlCalls {
 public:
  // control (may be null: then every call fails) must outlive the wrapper.
  explicit ControlCalls(ViewControl *control);

  ViewControl *control() const { return control_; }
  // The control's dispatch interface (one whose members are all missing when there is none).
  comp::Dispatch &dispatch() { return dispatch_; }

  double ZoomFactor() { return ctlGetR8(dispatch_, dispid::ZoomFactor); }
  int32_t PageBreakSpace() { return ctlGetI4(dispatch_, dispid::PageBreakSpace); }
  int32_t ViewMode() { return ctlGetI4(dispatch_, dispid::ViewMode); }
  std::string FileName() { return ctlGetText(dispatch_, dispid::FileName); }
  int32_t CurrentPage() { return ctlGetI4(dispatch_, dispid::CurrentPage); }
  int32_t Layer() { return ctlGetI4(dispatch_, dispid::Layer); }
  void SetLayer(int32_t layer) { ctlPut(dispatch_, dispid::Layer, comp::Variant::i4(layer)); }
  int32_t Orientation() { return ctlGetI4(dispatch_, dispid::Orientation); }
  bool IsNorv() { return ctlGetBool(dispatch_, dispid::IsNorv); }
  int32_t NumPages() { return ctlCallI4(dispatch_, dispid::NumPages); }
  int32_t GetModalWidth() { return ctlCallI4(dispatch_, dispid::GetModalWidth); }
  int32_t GetModalHeight() { return ctlCallI4(dispatch_, dispid::GetModalHeight); }
  int32_t GetModalXPosition() { return ctlCallI4(dispatch_, dispid::GetModalXPosition); }
  int32_t GetModalYPosition() { return ctlCallI4(dispatch_, dispid::GetModalYPosition); }
  int32_t GetCurrentPageWidth() { return ctlCallI4(dispatch_, dispid::GetCurrentPageWidth); }
  int32_t GetCurrentPageHeight() { return ctlCallI4(dispatch_, dispid::GetCurrentPageHeight); }
  int32_t GetPageX() { return ctlCallI4(dispatch_, dispid::GetPageX); }
  int32_t GetPageY() { return ctlCallI4(dispatch_, dispid::GetPageY); }
  int32_t LayersOnCurrentPage() { return ctlCallI4(dispatch_, dispid::LayersOnCurrentPage); }
  int32_t GetPageForPosition(int32_t x, int32_t y);
  void Pan(int32_t dx, int32_t dy);
  void SetZoomAndModalPosition(double zoom, int32_t x, int32_t y);
  void SetOrientationAndPagePosition(int16_t orientation, int32_t x, int32_t y);
  int32_t PrintLayerFromTo(int32_t hdc, int32_t layer, int32_t first, int32_t last);

 private:
  ViewControl *control_;
  comp::Dispatch &dispatch_;
};

// The print dialog's answer: accepted, and whether a page range was chosen (then from/to hold
// it). The default shows Qt's print dialog on the printer; tests replace it.
struct PrintChoice {
  bool accepted = false;
  bool pageRange = false;
  int fromPage = 1;
  int toPage = 1;
};
using PrintDialogFn =
    std::function<PrintChoice(QWidget *parent, QPrinter &printer, int minPage, int maxPage)>;

class NorvDoc : public QWidget {
 public:
  // The window over control, which must outlive it; the control's window is made as a child.
  explicit NorvDoc(ViewControl &control, QWidget *parent = nullptr);
  // The window over a new control of the program's module (ControlModule::shared), which it
  // owns; NorvCtl() is null when none could be made (*error says why).
  NorvDoc(QWidget *parent, QString *error);
  ~NorvDoc() override;

  // The control, and its members as typed calls.
  ViewControl *NorvCtl() const { return ctl_.control(); }
  ControlCalls &control() { return ctl_; }

  // Layout and refresh.
  double ViewableWidth() const;
  double ViewableHeight() const;
  float ViewableWidthPix() const;
  float ViewableHeightPix() const;
  void FixSize();
  void FixNorvCtlSize();
  void FixScrollBarSize();
  void FixScrollBars();
  void FixHScrollBar();
  void FixVScrollBar();
  void UpdateAll();
  void UpdateInfo();
  void FitToWidth();

  // Zoom, rotation, panning, selection, printing.
  void ApplyTypedZoom();
  void CenteredZoom(double &newZoom);
  void ZoomBox(double x1, double y1, double x2, double y2);
  void RotateTo(int16_t &angle);
  void Rotate90Relative();
  void Rotate180Relative();
  void Rotate270Relative();
  void PanMouseMove(float &x, float &y);
  void SelectionMouseMove(float &x, float &y);
  void PrintLayer(int16_t &Layer);
  // What PrintLayer shows as its print dialog.
  void setPrintDialog(PrintDialogFn dialog) { printDialog_ = std::move(dialog); }

  // Window units (pixels) to device pixels and back, one rule for both axes.
  static double toPixelsX(double units) { return units; }
  static double toPixelsY(double units) { return units; }
  static double fromPixelsX(double pixels) { return pixels; }
  static double fromPixelsY(double pixels) { return pixels; }

  // Window state (start values as the window loads).
  double hScrollScale = 1.0;
  double vScrollScale = 1.0;
  int16_t scrollUpdating = 0;
  bool leftDragging = false;
  bool middleDown = false;
  bool rightDown = false;
  float lastX = 0;
  double lastY = 0;
  float pressX = 0;
  double pressY = 0;

  // Children.
  QFrame *ToolBar;
  QToolButton *FirstPage;
  QToolButton *PreviousPage;
  QToolButton *NextPage;
  QToolButton *LastPage;
  QToolButton *ZoomIn;
  QToolButton *ZoomOut;
  QToolButton *RotateLeft;
  QToolButton *RotateRight;
  QToolButton *WhatsThisButton;
  QLabel *PageLabel;
  QLineEdit *PageNum;
  QLabel *NumPages;
  QLabel *ZoomLabel;
  QLineEdit *ZoomFactor;
  QComboBox *Layer;
  QWidget *NorvCtlWindow;  // the control's window
  QScrollBar *HScroll;
  QScrollBar *VScroll;
  QFrame *SelectBox;

  // Menu items the refresh keeps in step with the control (the menus that hold them belong to
  // the window; the frame shows them while the window is active).
  QMenu *menuView;
  QMenu *menuViewMode;
  QMenu *menuViewOrientation;
  QMenu *menuViewLayer;
  QAction *menuViewContinuous;
  QAction *menuViewOnepage;
  QAction *menuViewOrientation0;
  QAction *menuViewOrientation90;
  QAction *menuViewOrientation180;
  QAction *menuViewOrientation270;
  QAction *menuViewFirstpage;
  QAction *menuViewPreviouspage;
  QAction *menuViewNextpage;
  QAction *menuViewLastpage;
  // The separators after the layer menu and before the page items.
  QAction *menuViewZoomSeparator;
  QAction *menuViewPageSeparator;
  // The item array of layers; element 0 is "Composite". Elements are added, never removed.
  std::vector<QAction *> menuViewLayerLayer;
  // The exclusive group the layer items join as they are added.
  QActionGroup *menuViewLayerGroup;

 protected:
  void resizeEvent(QResizeEvent *event) override;
  void showEvent(QShowEvent *event) override;

 private:
  NorvDoc(std::unique_ptr<ViewControl> owned, QWidget *parent);
  void build();
  void buildToolBar();
  void buildViewMenu();

  std::unique_ptr<ViewControl> owned_;  // when the window made its control
  ControlCalls ctl_;
  PrintDialogFn printDialog_;
};

}  // namespace viewer
