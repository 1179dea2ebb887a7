// The document window: its children and menu items, the calls of the view control by dispatch
// id, and the layout and refresh procedures (sizes of the toolbar, the control's window and the
// scroll bars; the scroll bars' 16-bit ranges over the control's pixel geometry; the page,
// zoom, layer and menu indicators).
#include "norv_doc.h"

#include <QActionGroup>
#include <QHBoxLayout>
#include <QIcon>
#include <QResizeEvent>
#include <algorithm>

#include "help.h"
#include "util.h"

namespace viewer {
namespace {

using comp::Variant;

// The toolbar's pictures are resources of the program (icons/*.png, 16 by 16 pixels, dark grey
// on transparent), named by the picture's file name.
QToolButton *toolButton(QWidget *parent, QHBoxLayout *row, const char *name, const char *tip,
                        const char *picture) {
  auto *button = new QToolButton(parent);
  button->setObjectName(name);
  setHelpText(button, tip);
  button->setIcon(QIcon(QString(":/icons/") + picture + ".png"));
  button->setAutoRaise(true);
  button->setFixedSize(24, 24);
  row->addWidget(button);
  return button;
}

// A group of menu's items of which one at most is checked (Qt unchecks the others).
QActionGroup *exclusive(QMenu *menu, std::initializer_list<QAction *> items) {
  auto *group = new QActionGroup(menu);
  for (QAction *item : items) group->addAction(item);
  return group;
}

QAction *menuItem(QMenu *menu, const char *name, const QString &caption, bool checkable = false) {
  QAction *action = menu->addAction(caption);
  action->setObjectName(name);
  action->setCheckable(checkable);
  return action;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// ControlCalls

ControlCalls::ControlCalls(ViewControl *control)
    : control_(control), dispatch_(control != nullptr ? *control->dispatch() : noControl()) {}

int32_t ControlCalls::GetPageForPosition(int32_t x, int32_t y) {
  return ctlCallI4(dispatch_, dispid::GetPageForPosition, {Variant::i4(x), Variant::i4(y)});
}

void ControlCalls::Pan(int32_t dx, int32_t dy) {
  ctlCall(dispatch_, dispid::Pan, {Variant::i4(dx), Variant::i4(dy)});
}

void ControlCalls::SetZoomAndModalPosition(double zoom, int32_t x, int32_t y) {
  ctlCall(dispatch_, dispid::SetZoomAndModalPosition,
          {Variant::r8(zoom), Variant::i4(x), Variant::i4(y)});
}

void ControlCalls::SetOrientationAndPagePosition(int16_t orientation, int32_t x, int32_t y) {
  ctlCall(dispatch_, dispid::SetOrientationAndPagePosition,
          {Variant::i2(orientation), Variant::i4(x), Variant::i4(y)});
}

int32_t ControlCalls::PrintLayerFromTo(int32_t hdc, int32_t layer, int32_t first, int32_t last) {
  return ctlCallI4(dispatch_, dispid::PrintLayerFromTo,
                   {Variant::i4(hdc), Variant::i4(layer), Variant::i4(first), Variant::i4(last)});
}

// ---------------------------------------------------------------------------------------------
// NorvDoc: children

NorvDoc::NorvDoc(ViewControl &control, QWidget *parent) : QWidget(parent), ctl_(&control) {
  build();
}

namespace {

std::unique_ptr<ViewControl> newControl(QString *error) {
  ControlModule *module = ControlModule::shared(error);
  return module != nullptr ? module->create(error) : nullptr;
}

}  // namespace

NorvDoc::NorvDoc(QWidget *parent, QString *error) : NorvDoc(newControl(error), parent) {}

NorvDoc::NorvDoc(std::unique_ptr<ViewControl> owned, QWidget *parent)
    : QWidget(parent), owned_(std::move(owned)), ctl_(owned_.get()) {
  build();
}

NorvDoc::~NorvDoc() {
  delete NorvCtlWindow;  // the control's window first: it draws from the control
}

void NorvDoc::build() {
  setObjectName("NorvDoc");
  buildToolBar();
  // Without a window of the module's the view stays an empty child of the same place.
  NorvCtlWindow = ctl_.control() != nullptr ? ctl_.control()->createWindow(this) : nullptr;
  if (NorvCtlWindow == nullptr) NorvCtlWindow = new QWidget(this);
  NorvCtlWindow->setObjectName("NorvCtl");
  HScroll = new QScrollBar(Qt::Horizontal, this);
  HScroll->setObjectName("HScroll");
  VScroll = new QScrollBar(Qt::Vertical, this);
  VScroll->setObjectName("VScroll");
  HScroll->resize(HScroll->width(), HScroll->sizeHint().height());
  VScroll->resize(VScroll->sizeHint().width(), VScroll->height());
  SelectBox = new QFrame(this);
  SelectBox->setObjectName("SelectBox");
  SelectBox->setFrameStyle(QFrame::Box | QFrame::Plain);
  SelectBox->setAttribute(Qt::WA_TransparentForMouseEvents);
  SelectBox->hide();
  buildViewMenu();
}

void NorvDoc::buildToolBar() {
  ToolBar = new QFrame(this);
  ToolBar->setObjectName("ToolBar");
  ToolBar->setFrameStyle(QFrame::Panel | QFrame::Raised);
  // The toolbar keeps the system's window colour whatever background the document takes.
  QPalette own = ToolBar->palette();
  own.setColor(QPalette::Window, own.color(QPalette::Window));
  ToolBar->setPalette(own);
  ToolBar->setAutoFillBackground(true);
  auto *row = new QHBoxLayout(ToolBar);
  row->setContentsMargins(3, 2, 3, 2);
  row->setSpacing(2);
  FirstPage = toolButton(ToolBar, row, "FirstPage", "First Page", "first");
  PreviousPage = toolButton(ToolBar, row, "PreviousPage", "Previous Page", "previous");
  PageLabel = new QLabel("Page:", ToolBar);
  PageLabel->setObjectName("PageLabel");
  row->addWidget(PageLabel);
  PageNum = new QLineEdit(ToolBar);
  PageNum->setObjectName("PageNum");
  setHelpText(PageNum, "Current Page");
  PageNum->setFixedWidth(44);
  row->addWidget(PageNum);
  NumPages = new QLabel("of 0", ToolBar);
  NumPages->setObjectName("NumPages");
  setHelpText(NumPages, "Pages in This Document");
  NumPages->setMinimumWidth(48);
  row->addWidget(NumPages);
  NextPage = toolButton(ToolBar, row, "NextPage", "Next Page", "next");
  LastPage = toolButton(ToolBar, row, "LastPage", "Last Page", "last");
  row->addSpacing(8);
  ZoomIn = toolButton(ToolBar, row, "ZoomIn", "Zoom In", "zoom_in");
  ZoomOut = toolButton(ToolBar, row, "ZoomOut", "Zoom Out", "zoom_out");
  ZoomLabel = new QLabel("Zoom", ToolBar);
  ZoomLabel->setObjectName("ZoomLabel");
  row->addWidget(ZoomLabel);
  ZoomFactor = new QLineEdit(ToolBar);
  ZoomFactor->setObjectName("ZoomFactor");
  setHelpText(ZoomFactor, "Zoom Factor");
  ZoomFactor->setFixedWidth(56);
  row->addWidget(ZoomFactor);
  row->addSpacing(8);
  RotateLeft = toolButton(ToolBar, row, "RotateLeft", "Rotate Left", "rotate_left");
  RotateRight = toolButton(ToolBar, row, "RotateRight", "Rotate Right", "rotate_right");
  row->addSpacing(8);
  Layer = new QComboBox(ToolBar);
  Layer->setObjectName("Layer");
  setHelpText(Layer, "View Individual MRC Layers");
  Layer->setMinimumWidth(96);
  Layer->addItem("Composite");
  row->addWidget(Layer);
  WhatsThisButton = toolButton(ToolBar, row, "WhatsThisButton", "\"What's This?\"", "help");
  row->addStretch(1);
  ToolBar->resize(ToolBar->sizeHint());
}

void NorvDoc::buildViewMenu() {
  menuView = new QMenu("&View", this);
  menuView->setObjectName("menuView");
  menuViewMode = menuView->addMenu("View Mode");
  menuViewMode->setObjectName("menuViewMode");
  menuViewContinuous = menuItem(menuViewMode, "menuViewContinuous", "Continuous", true);
  menuViewContinuous->setChecked(true);
  menuViewOnepage = menuItem(menuViewMode, "menuViewOnepage", "One Page", true);
  exclusive(menuViewMode, {menuViewContinuous, menuViewOnepage});
  menuViewOrientation = menuView->addMenu("Orientation");
  menuViewOrientation->setObjectName("menuViewOrientation");
  menuViewOrientation0 = menuItem(menuViewOrientation, "menuViewOrientation0", "0", true);
  menuViewOrientation0->setChecked(true);
  menuViewOrientation90 = menuItem(menuViewOrientation, "menuViewOrientation90", "90", true);
  menuViewOrientation180 = menuItem(menuViewOrientation, "menuViewOrientation180", "180", true);
  menuViewOrientation270 = menuItem(menuViewOrientation, "menuViewOrientation270", "270", true);
  exclusive(menuViewOrientation, {menuViewOrientation0, menuViewOrientation90,
                                  menuViewOrientation180, menuViewOrientation270});
  menuViewLayer = menuView->addMenu("Layer");
  menuViewLayer->setObjectName("menuViewLayer");
  menuViewLayerGroup = exclusive(menuViewLayer, {});
  menuViewLayerLayer.push_back(menuItem(menuViewLayer, "menuViewLayerLayer", "Composite", true));
  menuViewLayerGroup->addAction(menuViewLayerLayer.back());
  // The zoom commands' items go between these two separators.
  menuViewZoomSeparator = menuView->addSeparator();
  menuViewPageSeparator = menuView->addSeparator();
  menuViewFirstpage = menuItem(menuView, "menuViewFirstpage", "First Page");
  menuViewPreviouspage = menuItem(menuView, "menuViewPreviouspage", "Previous Page");
  menuViewNextpage = menuItem(menuView, "menuViewNextpage", "Next Page");
  menuViewLastpage = menuItem(menuView, "menuViewLastpage", "Last Page");
}

void NorvDoc::resizeEvent(QResizeEvent *event) {
  QWidget::resizeEvent(event);
  FixSize();
  UpdateAll();  // the bars' ranges and the indicators for the new size
}

void NorvDoc::showEvent(QShowEvent *event) {
  QWidget::showEvent(event);
  // The toolbar's controls take their final sizes when the window is first shown.
  FixSize();
}

// ---------------------------------------------------------------------------------------------
// Layout

double NorvDoc::ViewableWidth() const {
  return width() - VScroll->width();
}

double NorvDoc::ViewableHeight() const {
  return height() - (ToolBar->height() + HScroll->height());
}

float NorvDoc::ViewableWidthPix() const {
  return static_cast<float>(toPixelsX(ViewableWidth()));
}

float NorvDoc::ViewableHeightPix() const {
  return static_cast<float>(toPixelsY(ViewableHeight()));
}

void NorvDoc::FixSize() {
  // Never narrower than its controls side by side: a narrow window cuts the toolbar off at its
  // right edge instead of laying the controls over each other.
  ToolBar->setGeometry(0, 0, std::max(width(), ToolBar->minimumSizeHint().width()),
                       ToolBar->height());
  FixNorvCtlSize();
  FixScrollBarSize();
}

void NorvDoc::FixNorvCtlSize() {
  double left = 0;
  const double top = ToolBar->height();
  double w = Larger(ViewableWidth(), 0);
  const double h = Larger(ViewableHeight(), 0);
  const double pageWidth = fromPixelsX(ctl_.GetModalWidth());
  if (pageWidth < w) {
    const double margin = (w - pageWidth) / 2;
    left += margin;
    w = pageWidth;
    ctl_.Pan(CLng(-margin), 0);
  }
  NorvCtlWindow->setGeometry(CLng(left), CLng(top), CLng(w), CLng(h));
}

void NorvDoc::FixScrollBarSize() {
  ++scrollUpdating;
  VScroll->setGeometry(width() - VScroll->width(), ToolBar->height(), VScroll->width(),
                       CLng(Larger(height() - (ToolBar->height() + HScroll->height()), 0)));
  HScroll->setGeometry(0, height() - HScroll->height(), CLng(Larger(width() - VScroll->width(), 0)),
                       HScroll->height());
  --scrollUpdating;
}

void NorvDoc::FixScrollBars() {
  ++scrollUpdating;
  FixHScrollBar();
  FixVScrollBar();
  --scrollUpdating;
}

namespace {

// One scroll bar over a document extent of modal pixels of which visible pixels show, the view
// at position; gives the pixels per bar unit. A range beyond the bar's 32767 is scaled down.
double fitScrollBar(QScrollBar *bar, double zoom, double visible, int32_t modal, int32_t position) {
  bar->setMinimum(0);
  bar->setSingleStep(CInt(Larger(zoom, 1.0)));
  double scale = 1.0;
  double range = static_cast<double>(modal) - visible;
  if (range > 32767) {
    scale = range / 32767;
    range = 32767;
  } else if (range < 0) {
    range = 0;
  }
  const int16_t max = CInt(range);
  bar->setMaximum(max);
  bar->setPageStep(CInt(Larger(1.0, visible / scale * 0.95)));
  bar->setValue(CInt(Smaller(position / scale, max)));
  return scale;
}

}  // namespace

void NorvDoc::FixHScrollBar() {
  hScrollScale = 1.0;
  hScrollScale = fitScrollBar(HScroll, ctl_.ZoomFactor(), toPixelsX(NorvCtlWindow->width()),
                              ctl_.GetModalWidth(), ctl_.GetModalXPosition());
}

void NorvDoc::FixVScrollBar() {
  vScrollScale = 1.0;
  vScrollScale = fitScrollBar(VScroll, ctl_.ZoomFactor(), toPixelsY(NorvCtlWindow->height()),
                              ctl_.GetModalHeight(), ctl_.GetModalYPosition());
}

// ---------------------------------------------------------------------------------------------
// Refresh

void NorvDoc::UpdateAll() {
  FixNorvCtlSize();
  UpdateInfo();
  FixScrollBars();
}

void NorvDoc::UpdateInfo() {
  const int32_t pages = ctl_.NumPages();
  NumPages->setText(QString::fromStdString("of " + Str(pages)));
  PageNum->setText(QString::number(ctl_.CurrentPage()));
  setWindowTitle(QString::fromStdString(ctl_.FileName()));
  const double shown = Val(PageNum->text().toStdString());
  const bool atFirst = shown == 1;
  for (QWidget *w : {static_cast<QWidget *>(FirstPage), static_cast<QWidget *>(PreviousPage)})
    w->setEnabled(!atFirst);
  menuViewFirstpage->setEnabled(!atFirst);
  menuViewPreviouspage->setEnabled(!atFirst);
  const bool atLast = shown == pages;
  for (QWidget *w : {static_cast<QWidget *>(LastPage), static_cast<QWidget *>(NextPage)})
    w->setEnabled(!atLast);
  menuViewLastpage->setEnabled(!atLast);
  menuViewNextpage->setEnabled(!atLast);
  ZoomFactor->setText(QString::fromStdString(Str(ctl_.ZoomFactor() * 100) + "%"));
  // Checking an item of an exclusive group unchecks the others.
  (ctl_.ViewMode() == 0 ? menuViewContinuous : menuViewOnepage)->setChecked(true);
  const int16_t o = CInt(ctl_.Orientation());
  // Each orientation item's caption is its angle.
  for (QAction *item : {menuViewOrientation0, menuViewOrientation90, menuViewOrientation180,
                        menuViewOrientation270}) {
    if (item->text().toInt() == o) item->setChecked(true);
  }

  if (!ctl_.IsNorv() || menuViewContinuous->isChecked()) {
    Layer->setVisible(false);
    menuViewLayer->menuAction()->setVisible(false);
    return;
  }
  Layer->setVisible(true);
  menuViewLayer->menuAction()->setVisible(true);
  const int16_t n = CInt(ctl_.LayersOnCurrentPage());
  int16_t cur = CInt(ctl_.Layer());
  if (cur > n) {
    ctl_.SetLayer(0);
    cur = 0;
  }
  while (static_cast<int64_t>(menuViewLayerLayer.size()) <= n) {
    const size_t k = menuViewLayerLayer.size();
    menuViewLayerLayer.push_back(menuItem(menuViewLayer, "menuViewLayerLayer",
                                          QString::fromStdString("Layer " + Str(double(k))), true));
    menuViewLayerGroup->addAction(menuViewLayerLayer.back());
  }
  for (size_t i = 0; i < menuViewLayerLayer.size(); ++i)
    menuViewLayerLayer[i]->setVisible(static_cast<int64_t>(i) <= n);
  if (cur >= 0) menuViewLayerLayer[cur]->setChecked(true);
  if (Layer->count() != n + 1) {
    Layer->clear();
    Layer->addItem("Composite");
    for (int i = 1; i <= n; ++i) Layer->addItem(QString::fromStdString("Layer " + Str(i)));
  }
  Layer->setCurrentIndex(cur);
}

void NorvDoc::FitToWidth() {
  const double zoom = ctl_.ZoomFactor();
  const double gap = ctl_.ViewMode() == 0 ? ctl_.PageBreakSpace() : 0;
  const double w = ViewableWidthPix();
  const double z1 = zoom * w / (ctl_.GetModalWidth() - gap);
  const double z2 = z1 * w / (w + gap);
  const double z = Round(Larger(Smaller(z2, 10.0), 0.01), 4);
  const double r = z / zoom;
  if (r == 1 || r == 0) return;
  double y = ctl_.GetModalYPosition() * r;
  const double h = ViewableHeightPix();
  const double total = ctl_.GetModalHeight() * r;
  if (total - y < h) y = Larger(total - h, 0);
  ctl_.SetZoomAndModalPosition(z, 0, CLng(y));
  UpdateAll();
}

}  // namespace viewer
