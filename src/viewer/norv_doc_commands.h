// The commands of a document window: its File, Edit, Tools and Help menus, the zoom items of
// its View menu, the toolbar buttons, the page and zoom fields, the layer list and the scroll
// bars, each calling the view control and the window's procedures; and the control's mouse,
// key and wheel events on the view (the pan, zoom-box and selection tools, paging and layer
// keys, wheel scrolling). The commands also give the window to its dialogs (DocumentAccess).
//
// NorvDocCommands is a child object of its NorvDoc, made once the window is. The control's
// events reach it as the control's event sink (its fire).
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <span>

#include "comp_dispatch.h"
#include "document_access.h"

class QAction;
class QMenu;

namespace viewer {

class NorvDoc;

// What the commands ask of the main window.
struct MainWindowLink {
  std::function<void()> openFile;                       // the open command
  std::function<void(const QString &)> openFileByName;  // a new document window for a file
  std::function<void()> exit;                           // closes the main window
  // The control that converts TIFF scans (the hidden form's); null when there is none.
  std::function<comp::Dispatch *()> converter;
};

class NorvDocCommands : public QObject, public comp::EventSink, public DocumentAccess {
 public:
  NorvDocCommands(NorvDoc &doc, MainWindowLink main);

  NorvDoc &doc() { return doc_; }
  // The window's menus in menu-bar order (File, Edit, View, Tools, Help).
  std::span<QMenu *const> menus() const { return menus_; }

  enum class Tool { Pan, Zoom, Selection };
  Tool currentTool() const;

  // Navigation and view.
  void FirstPage_Click();
  void PreviousPage_Click();
  void NextPage_Click();
  void LastPage_Click();
  void ZoomIn_Click();
  void ZoomOut_Click();
  void menuViewFittowidth_Click();
  void RotateRight_Click();
  void RotateLeft_Click();
  void menuViewOrientation_Click(int16_t angle);
  void menuViewContinuous_Click();
  void menuViewOnepage_Click();
  void Layer_Click();
  void menuViewLayerLayer_Click(int index);
  void ApplyPageNum();
  // The bars' new value (Change) or the dragged thumb's position (Scroll).
  void HScroll_Change(int value);
  void HScroll_Scroll(int position);
  void VScroll_Change(int value);
  void VScroll_Scroll(int position);

  // File, edit, tools, help.
  void menuClose_Click();
  void menuFilePrint_Click();
  void menuFilePrintcurrentlayer_Click();
  void menuFileSavepageasbmp_Click();
  void menuEditCopy_Click();
  void menuEditCopypage_Click();
  void menuToolsOptions_Click();
  void menuToolsConverttifftonorv_Click();
  void menuToolsMounseactionPan_Click();
  void menuToolsMouseactionZoom_Click();
  void menuToolsMouseactionSelect_Click();
  void menuHelpWhatsthis_Click();
  void menuHelpAbout_Click();

  // The control's events on the view (norv_doc_input.cpp). Positions are the control window's
  // pixels; key codes are virtual-key codes, set to 0 when the key is consumed.
  void NorvCtl_MouseDown(int16_t button, int16_t shift, float x, double y);
  void NorvCtl_MouseMove(int16_t button, int16_t shift, float x, double y);
  void NorvCtl_MouseUp(int16_t button, int16_t shift, float x, double y);
  void NorvCtl_KeyDown(int16_t &keyCode, int16_t shift);
  void NorvCtl_KeyPress(int16_t &keyAscii);
  void NorvCtl_MouseWheel(int32_t flags, int16_t zDelta, int32_t x, int32_t y);
  // comp::EventSink: the control's events, by event id.
  void fire(int32_t id, std::span<const comp::Variant> args) override;

  // DocumentAccess.
  comp::Dispatch &control() override;
  QWidget *window() override;
  void repaintWindow() override;
  QColor backColour() const override;
  void setBackColour(const QColor &colour) override;
  int layerListIndex() const override;
  QString saveFileName(const QString &filter, const QString &defaultSuffix,
                       const QString &startName) override;
  // The common dialog asking for an existing file; empty on Cancel.
  virtual QString openFileName(const QString &filter, const QString &startName);

  // Menu items.
  QMenu *menuFile;
  QAction *menuFileOpen;
  QAction *menuFileSavepageasbmp;
  QAction *menuClose;
  QAction *menuFilePrint;
  QAction *menuFilePrintcurrentlayer;
  QAction *menuFileExit;
  QMenu *menuEdit;
  QAction *menuEditCopy;
  QAction *menuEditCopypage;
  QAction *menuViewZoomin;
  QAction *menuViewZoomout;
  QAction *menuViewFittowidth;
  QMenu *menuTools;
  QAction *menuToolsConverttifftonorv;
  QAction *menuToolsOptions;
  QMenu *menuToolsMouseaction;
  QAction *menuToolsMounseactionPan;
  QAction *menuToolsMouseactionZoom;
  QAction *menuToolsMouseactionSelect;
  QMenu *menuHelp;
  QAction *menuHelpContents;
  QAction *menuHelpWhatsthis;
  QAction *menuHelpAbout;

 protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

 private:
  void buildMenus();
  void connectWindow();
  void refresh();
  void checkTool(Tool tool);

  NorvDoc &doc_;
  MainWindowLink main_;
  const QObject *pageField_ = nullptr;
  const QObject *zoomField_ = nullptr;
  QMenu *menus_[5];
};

}  // namespace viewer
