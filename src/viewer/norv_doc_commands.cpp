// The document window's commands (see norv_doc_commands.h): its menus, toolbar, fields, layer
// list and scroll bars. The page field saturates what it converts and the control clamps the
// page; the zoom commands go through the window's centred zoom, which keeps the zoom within
// 0.01 to 10 and rounds it to 4 decimals before the control gets it; a layer list with nothing
// selected (index -1) asks for the composite page.
#include "norv_doc_commands.h"

#include <QAction>
#include <QActionGroup>
#include <QEvent>
#include <QFileDialog>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QWhatsThis>
#include <algorithm>

#include "about_box.h"
#include "control_ids.h"
#include "dispatch_calls.h"
#include "help.h"
#include "main_window.h"
#include "norv_doc.h"
#include "options_dialog.h"
#include "page_export_dialog.h"
#include "util.h"

namespace viewer {
namespace {

QAction *item(QMenu *menu, const char *name, const QString &caption, bool checkable = false) {
  QAction *action = menu->addAction(caption);
  action->setObjectName(name);
  action->setCheckable(checkable);
  return action;
}

QMenu *menu(QWidget *parent, const char *name, const QString &caption) {
  auto *m = new QMenu(caption, parent);
  m->setObjectName(name);
  return m;
}

}  // namespace

NorvDocCommands::NorvDocCommands(NorvDoc &doc, MainWindowLink main)
    : QObject(&doc), doc_(doc), main_(std::move(main)) {
  setObjectName("NorvDocCommands");
  buildMenus();
  connectWindow();
  // The control's events come here until the control goes (its ViewControl ends the
  // connection) or its owner connects them elsewhere.
  if (ViewControl *ctl = doc.NorvCtl()) ctl->advise(this);
}

comp::Dispatch &NorvDocCommands::control() {
  ViewControl *ctl = doc_.NorvCtl();
  return ctl != nullptr ? *ctl->dispatch() : noControl();
}

QWidget *NorvDocCommands::window() {
  return &doc_;
}

void NorvDocCommands::repaintWindow() {
  doc_.repaint();
}

QColor NorvDocCommands::backColour() const {
  return doc_.palette().color(QPalette::Window);
}

void NorvDocCommands::setBackColour(const QColor &colour) {
  QPalette palette = doc_.palette();
  palette.setColor(QPalette::Window, colour);
  doc_.setPalette(palette);
  doc_.setAutoFillBackground(true);
  doc_.update();
}

int NorvDocCommands::layerListIndex() const {
  return doc_.Layer->currentIndex();
}

QString NorvDocCommands::saveFileName(const QString &filter, const QString &defaultSuffix,
                                      const QString &startName) {
  return runSaveDialog(&doc_, filter, defaultSuffix, startName);
}

QString NorvDocCommands::openFileName(const QString &filter, const QString &startName) {
  QFileDialog dialog(&doc_);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(filter);
  if (!startName.isEmpty()) dialog.selectFile(startName);
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList chosen = dialog.selectedFiles();
  return chosen.isEmpty() ? QString() : chosen.front();
}

void NorvDocCommands::buildMenus() {
  menuFile = menu(&doc_, "menuFile", "&File");
  menuFileOpen = item(menuFile, "menuFileOpen", "&Open...");
  menuFileOpen->setShortcut(QKeySequence("Ctrl+O"));
  menuFileSavepageasbmp = item(menuFile, "menuFileSavepageasbmp", "Save Page As .bmp...");
  menuClose = item(menuFile, "menuClose", "&Close");
  menuFile->addSeparator();
  menuFilePrint = item(menuFile, "menuFilePrint", "&Print...");
  menuFilePrint->setShortcut(QKeySequence("Ctrl+P"));
  menuFilePrintcurrentlayer = item(menuFile, "menuFilePrintcurrentlayer", "Print Current Layer...");
  menuFile->addSeparator();
  menuFileExit = item(menuFile, "menuFileExit", "E&xit");

  menuEdit = menu(&doc_, "menuEdit", "&Edit");
  menuEditCopy = item(menuEdit, "menuEditCopy", "&Copy");
  menuEditCopy->setShortcut(QKeySequence("Ctrl+C"));
  menuEditCopypage = item(menuEdit, "menuEditCopypage", "Copy Page");

  // The zoom items sit between the View menu's two separators.
  menuViewZoomin = new QAction("Zoom In", doc_.menuView);
  menuViewZoomin->setObjectName("menuViewZoomin");
  menuViewZoomout = new QAction("Zoom Out", doc_.menuView);
  menuViewZoomout->setObjectName("menuViewZoomout");
  menuViewFittowidth = new QAction("Fit To Width", doc_.menuView);
  menuViewFittowidth->setObjectName("menuViewFittowidth");
  doc_.menuView->insertActions(doc_.menuViewPageSeparator,
                               {menuViewZoomin, menuViewZoomout, menuViewFittowidth});

  menuTools = menu(&doc_, "menuTools", "&Tools");
  menuToolsConverttifftonorv =
      item(menuTools, "menuToolsConverttifftonorv", "Convert Tiff to Norv");
  menuToolsOptions = item(menuTools, "menuToolsOptions", "&Options...");
  menuToolsMouseaction = menuTools->addMenu("&Mouse Action");
  menuToolsMouseaction->setObjectName("menuToolsMouseaction");
  menuToolsMounseactionPan =
      item(menuToolsMouseaction, "menuToolsMounseactionPan", "&Pan Tool", true);
  menuToolsMounseactionPan->setChecked(true);
  menuToolsMouseactionZoom =
      item(menuToolsMouseaction, "menuToolsMouseactionZoom", "&ZoomTool", true);
  menuToolsMouseactionSelect =
      item(menuToolsMouseaction, "menuToolsMouseactionSelect", "&Selection Tool", true);
  // One tool at a time: the group unchecks the others.
  auto *tools = new QActionGroup(menuToolsMouseaction);
  for (QAction *a :
       {menuToolsMounseactionPan, menuToolsMouseactionZoom, menuToolsMouseactionSelect})
    tools->addAction(a);

  menuHelp = menu(&doc_, "menuHelp", "&Help");
  menuHelpContents = item(menuHelp, "menuHelpContents", "&Contents...");
  menuHelpWhatsthis = item(menuHelp, "menuHelpWhatsthis", "&What's This?");
  menuHelpWhatsthis->setShortcut(QKeySequence("Shift+F1"));
  menuHelp->addSeparator();
  menuHelpAbout = item(menuHelp, "menuHelpAbout", "&About Norvview...");

  menus_[0] = menuFile;
  menus_[1] = menuEdit;
  menus_[2] = doc_.menuView;
  menus_[3] = menuTools;
  menus_[4] = menuHelp;
  // The shortcuts work while the focus is anywhere in the window.
  for (QAction *a : {menuFileOpen, menuFilePrint, menuEditCopy, menuHelpWhatsthis}) {
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    doc_.addAction(a);
  }
}

void NorvDocCommands::connectWindow() {
  NorvDoc &d = doc_;
  const auto on = [this](QAction *a, void (NorvDocCommands::*handler)()) {
    connect(a, &QAction::triggered, this, handler);
  };
  const auto onButton = [this](QAbstractButton *b, void (NorvDocCommands::*handler)()) {
    connect(b, &QAbstractButton::clicked, this, handler);
  };
  onButton(d.FirstPage, &NorvDocCommands::FirstPage_Click);
  onButton(d.PreviousPage, &NorvDocCommands::PreviousPage_Click);
  onButton(d.NextPage, &NorvDocCommands::NextPage_Click);
  onButton(d.LastPage, &NorvDocCommands::LastPage_Click);
  onButton(d.ZoomIn, &NorvDocCommands::ZoomIn_Click);
  onButton(d.ZoomOut, &NorvDocCommands::ZoomOut_Click);
  onButton(d.RotateLeft, &NorvDocCommands::RotateLeft_Click);
  onButton(d.RotateRight, &NorvDocCommands::RotateRight_Click);
  onButton(d.WhatsThisButton, &NorvDocCommands::menuHelpWhatsthis_Click);
  // A right click on a navigation, zoom or rotate button asks what it is.
  for (QWidget *b : {d.FirstPage, d.PreviousPage, d.NextPage, d.LastPage, d.ZoomIn, d.ZoomOut,
                     d.RotateLeft, d.RotateRight})
    b->installEventFilter(this);

  on(d.menuViewFirstpage, &NorvDocCommands::FirstPage_Click);
  on(d.menuViewPreviouspage, &NorvDocCommands::PreviousPage_Click);
  on(d.menuViewNextpage, &NorvDocCommands::NextPage_Click);
  on(d.menuViewLastpage, &NorvDocCommands::LastPage_Click);
  on(menuViewZoomin, &NorvDocCommands::ZoomIn_Click);
  on(menuViewZoomout, &NorvDocCommands::ZoomOut_Click);
  on(menuViewFittowidth, &NorvDocCommands::menuViewFittowidth_Click);
  const std::pair<QAction *, int16_t> orientations[] = {{d.menuViewOrientation0, 0},
                                                        {d.menuViewOrientation90, 90},
                                                        {d.menuViewOrientation180, 180},
                                                        {d.menuViewOrientation270, 270}};
  // The items are exclusive in their groups (QActionGroup); the refresh after each command
  // checks the one that matches the control.
  for (const auto &orientation : orientations) {
    const int16_t angle = orientation.second;
    connect(orientation.first, &QAction::triggered, this,
            [this, angle] { menuViewOrientation_Click(angle); });
  }
  on(d.menuViewContinuous, &NorvDocCommands::menuViewContinuous_Click);
  on(d.menuViewOnepage, &NorvDocCommands::menuViewOnepage_Click);
  // The layer items are added as pages need them: find the index of the one chosen.
  connect(d.menuViewLayer, &QMenu::triggered, this, [this](QAction *action) {
    const auto &items = doc_.menuViewLayerLayer;
    const auto at = std::find(items.begin(), items.end(), action);
    if (at != items.end()) menuViewLayerLayer_Click(static_cast<int>(at - items.begin()));
  });
  // A choice of the user's, not the refresh setting the list.
  connect(d.Layer, &QComboBox::activated, this, &NorvDocCommands::Layer_Click);

  // The page and zoom fields act on Enter and when the user leaves them (see eventFilter).
  connect(d.PageNum, &QLineEdit::returnPressed, this, &NorvDocCommands::ApplyPageNum);
  connect(d.ZoomFactor, &QLineEdit::returnPressed, this, [this] { doc_.ApplyTypedZoom(); });
  pageField_ = d.PageNum;
  zoomField_ = d.ZoomFactor;
  d.PageNum->installEventFilter(this);
  d.ZoomFactor->installEventFilter(this);

  connect(d.HScroll, &QScrollBar::valueChanged, this, &NorvDocCommands::HScroll_Change);
  connect(d.HScroll, &QScrollBar::sliderMoved, this, &NorvDocCommands::HScroll_Scroll);
  connect(d.VScroll, &QScrollBar::valueChanged, this, &NorvDocCommands::VScroll_Change);
  connect(d.VScroll, &QScrollBar::sliderMoved, this, &NorvDocCommands::VScroll_Scroll);

  connect(menuFileOpen, &QAction::triggered, this, [this] {
    if (main_.openFile) main_.openFile();
  });
  on(menuClose, &NorvDocCommands::menuClose_Click);
  connect(menuFileExit, &QAction::triggered, this, [this] {
    if (main_.exit) main_.exit();
  });
  on(menuFilePrint, &NorvDocCommands::menuFilePrint_Click);
  on(menuFilePrintcurrentlayer, &NorvDocCommands::menuFilePrintcurrentlayer_Click);
  on(menuFileSavepageasbmp, &NorvDocCommands::menuFileSavepageasbmp_Click);
  on(menuEditCopy, &NorvDocCommands::menuEditCopy_Click);
  on(menuEditCopypage, &NorvDocCommands::menuEditCopypage_Click);
  on(menuToolsOptions, &NorvDocCommands::menuToolsOptions_Click);
  on(menuToolsConverttifftonorv, &NorvDocCommands::menuToolsConverttifftonorv_Click);
  connect(menuToolsMounseactionPan, &QAction::triggered, this,
          &NorvDocCommands::menuToolsMounseactionPan_Click);
  connect(menuToolsMouseactionZoom, &QAction::triggered, this,
          &NorvDocCommands::menuToolsMouseactionZoom_Click);
  connect(menuToolsMouseactionSelect, &QAction::triggered, this,
          &NorvDocCommands::menuToolsMouseactionSelect_Click);
  connect(menuHelpContents, &QAction::triggered, this, [this] { ShowHelpContents(&doc_); });
  on(menuHelpWhatsthis, &NorvDocCommands::menuHelpWhatsthis_Click);
  on(menuHelpAbout, &NorvDocCommands::menuHelpAbout_Click);

  // Closing the window lets the control's page data go.
  doc_.installEventFilter(this);
}

bool NorvDocCommands::eventFilter(QObject *watched, QEvent *event) {
  if (watched == &doc_) {
    if (event->type() == QEvent::Close) ctlCall(control(), dispid::PurgeAllData);
    return false;
  }
  if (watched == pageField_ || watched == zoomField_) {
    // The user moving to another control validates the field; the focus going elsewhere for
    // other reasons (another window, a menu, the window closing) does not.
    if (event->type() == QEvent::FocusOut) {
      const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
      if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
          reason == Qt::MouseFocusReason || reason == Qt::ShortcutFocusReason) {
        if (watched == pageField_) {
          ApplyPageNum();
        } else {
          doc_.ApplyTypedZoom();
        }
      }
    }
    return false;
  }
  // Toolbar buttons: a release of the right button enters What's-This mode.
  if (event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent *>(event)->button() == Qt::RightButton) {
    menuHelpWhatsthis_Click();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

void NorvDocCommands::refresh() {
  doc_.UpdateAll();
}

// ---- Navigation and view

void NorvDocCommands::FirstPage_Click() {
  ctlCall(control(), dispid::FirstPage);
  refresh();
}

void NorvDocCommands::PreviousPage_Click() {
  ctlCall(control(), dispid::PreviousPage);
  refresh();
}

void NorvDocCommands::NextPage_Click() {
  ctlCall(control(), dispid::NextPage);
  refresh();
}

void NorvDocCommands::LastPage_Click() {
  ctlCall(control(), dispid::LastPage);
  refresh();
}

void NorvDocCommands::ZoomIn_Click() {
  double zoom = ctlGetR8(control(), dispid::ZoomFactor) * 2;
  doc_.CenteredZoom(zoom);
}

void NorvDocCommands::ZoomOut_Click() {
  double zoom = ctlGetR8(control(), dispid::ZoomFactor) / 2;
  doc_.CenteredZoom(zoom);
}

void NorvDocCommands::menuViewFittowidth_Click() {
  doc_.FitToWidth();
}

void NorvDocCommands::RotateRight_Click() {
  doc_.Rotate90Relative();
}

void NorvDocCommands::RotateLeft_Click() {
  doc_.Rotate270Relative();
}

void NorvDocCommands::menuViewOrientation_Click(int16_t angle) {
  doc_.RotateTo(angle);
}

void NorvDocCommands::menuViewContinuous_Click() {
  // Nothing to do in the mode the window shows (the group has checked the item already).
  if (ctlGetI4(control(), dispid::ViewMode) == 0) return;
  ctlPut(control(), dispid::ViewMode, comp::Variant::i4(0));
  refresh();
}

void NorvDocCommands::menuViewOnepage_Click() {
  if (ctlGetI4(control(), dispid::ViewMode) != 0) return;
  ctlPut(control(), dispid::ViewMode, comp::Variant::i4(1));
  refresh();
}

void NorvDocCommands::Layer_Click() {
  ctlPut(control(), dispid::Layer, comp::Variant::i4(std::max(doc_.Layer->currentIndex(), 0)));
  refresh();
}

void NorvDocCommands::menuViewLayerLayer_Click(int index) {
  ctlPut(control(), dispid::Layer, comp::Variant::i4(index));
  refresh();
}

void NorvDocCommands::ApplyPageNum() {
  const std::string text = doc_.PageNum->text().toStdString();
  if (!IsNumeric(text)) {
    doc_.UpdateInfo();  // the current page number again
    return;
  }
  ctlPut(control(), dispid::CurrentPage, comp::Variant::i4(CLng(Val(text))));
  refresh();
}

void NorvDocCommands::HScroll_Change(int value) {
  if (doc_.scrollUpdating) return;
  HScroll_Scroll(value);
}

void NorvDocCommands::HScroll_Scroll(int position) {
  ctlCall(control(), dispid::SetXPosition, {comp::Variant::i4(CLng(position * doc_.hScrollScale))});
  doc_.UpdateInfo();
}

void NorvDocCommands::VScroll_Change(int value) {
  if (doc_.scrollUpdating) return;
  VScroll_Scroll(value);
}

void NorvDocCommands::VScroll_Scroll(int position) {
  ctlCall(control(), dispid::SetModalYPosition,
          {comp::Variant::i4(CLng(position * doc_.vScrollScale))});
  doc_.UpdateInfo();
}

// ---- File, edit, tools, help

void NorvDocCommands::menuClose_Click() {
  auto *frame = qobject_cast<QMdiSubWindow *>(doc_.parentWidget());
  if (frame != nullptr) {
    frame->close();
  } else {
    doc_.close();
  }
}

void NorvDocCommands::menuFilePrint_Click() {
  int16_t layer = 0;
  doc_.PrintLayer(layer);
}

void NorvDocCommands::menuFilePrintcurrentlayer_Click() {
  int16_t layer = CInt(ctlGetI4(control(), dispid::Layer));
  doc_.PrintLayer(layer);
}

void NorvDocCommands::menuFileSavepageasbmp_Click() {
  BmpOptions dialog(&doc_);
  dialog.Init(*this);
  dialog.exec();
}

void NorvDocCommands::menuEditCopy_Click() {
  const QWidget *view = doc_.NorvCtlWindow;
  const QWidget *box = doc_.SelectBox;
  int32_t top = 0, left = 0, bottom = 0, right = 0;
  if (currentTool() == Tool::Selection && box->isVisible()) {
    top = CLng(NorvDoc::toPixelsY(box->y() - view->y()));
    left = CLng(NorvDoc::toPixelsX(box->x() - view->x()));
    bottom = CLng(top + NorvDoc::toPixelsY(box->height()) - 1);
    right = CLng(left + NorvDoc::toPixelsX(box->width()) - 1);
  } else {
    bottom = CLng(NorvDoc::toPixelsY(view->height()) - 1);
    right = CLng(NorvDoc::toPixelsX(view->width()) - 1);
  }
  ctlCall(control(), dispid::CopyToClipboardTLBR,
          {comp::Variant::i4(top), comp::Variant::i4(left), comp::Variant::i4(bottom),
           comp::Variant::i4(right)});
  doc_.SelectBox->hide();
}

void NorvDocCommands::menuEditCopypage_Click() {
  ctlCall(control(), dispid::CopyPageToClipboard,
          {comp::Variant::i4(ctlGetI4(control(), dispid::CurrentPage))});
}

void NorvDocCommands::menuToolsOptions_Click() {
  Options dialog(&doc_);
  dialog.Init(*this);
  dialog.exec();
}

void NorvDocCommands::menuToolsConverttifftonorv_Click() {
  QString start;
  if (ctlGetBool(control(), dispid::IsTiff))
    start = QString::fromStdString(ctlGetText(control(), dispid::FileName));
  const QString input = openFileName("Tiff (*.tif *.tiff);;All Files (*)", start);
  if (input.isEmpty()) return;
  const QString output =
      saveFileName("Norv (*.tfx);;All Files (*)", "tfx", proposedOutputName(input));
  if (output.isEmpty()) return;
  const QString caption = doc_.windowTitle();
  doc_.setWindowTitle("Compressing \"" + input + "\" ... Please wait.");
  comp::Dispatch *converter = main_.converter ? main_.converter() : nullptr;
  const bool converted = converter != nullptr && convertTiff(*converter, input, output, &doc_);
  doc_.setWindowTitle(caption);
  if (converted && main_.openFileByName) main_.openFileByName(output);
}

NorvDocCommands::Tool NorvDocCommands::currentTool() const {
  if (menuToolsMouseactionZoom->isChecked()) return Tool::Zoom;
  if (menuToolsMouseactionSelect->isChecked()) return Tool::Selection;
  return Tool::Pan;
}

void NorvDocCommands::checkTool(Tool tool) {
  QAction *const items[] = {menuToolsMounseactionPan, menuToolsMouseactionZoom,
                            menuToolsMouseactionSelect};
  items[static_cast<int>(tool)]->setChecked(true);  // the group unchecks the others
}

void NorvDocCommands::menuToolsMounseactionPan_Click() {
  checkTool(Tool::Pan);
  ctlCall(control(), dispid::SetHandCursor);
}

void NorvDocCommands::menuToolsMouseactionZoom_Click() {
  checkTool(Tool::Zoom);
  ctlCall(control(), dispid::SetZoomToolCursor);
}

void NorvDocCommands::menuToolsMouseactionSelect_Click() {
  checkTool(Tool::Selection);
  ctlCall(control(), dispid::SetDefaultCursor);
}

void NorvDocCommands::menuHelpWhatsthis_Click() {
  QWhatsThis::enterWhatsThisMode();
}

void NorvDocCommands::menuHelpAbout_Click() {
  AboutBox about({QString::fromStdString(ctlCallText(control(), dispid::GetFileVersion)),
                  QString::fromStdString(ctlCallText(control(), dispid::GetBuildDate))},
                 &doc_);
  about.exec();
}

}  // namespace viewer
