// The document window's commands and the control's input events on its view, over a loaded
// control in a shown window: each command or key read back through the control's dispatch
// getters and the window's indicators; the page and zoom fields' bounds; the layer list and
// menu; the scroll bars; the three mouse tools; the wheel; copies to the clipboard compared with
// the control's render; the options and export dialogs opened from the menus.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QWhatsThis>
#include <QWheelEvent>
#include <functional>
#include <memory>
#include <string>

#include "control_fixture.h"
#include "control_ids.h"
#include "dialog_support.h"
#include "dispatch_calls.h"
#include "main_window.h"
#include "modal_watch.h"
#include "norv_doc.h"
#include "norv_doc_commands.h"
#include "options_dialog.h"
#include "page_export_dialog.h"
#include "testkit_files.h"
#include "util.h"
#include "viewer_documents.h"

namespace viewer {
namespace {

using comp::Variant;

// The view state the commands change, as the control's getters give it.
struct ViewState {
  int32_t page = 0;
  double zoom = 0;
  int32_t orientation = 0;
  int32_t viewMode = 0;
  int32_t layer = 0;
  bool operator==(const ViewState &) const = default;
};

std::ostream &operator<<(std::ostream &out, const ViewState &s) {
  return out << "{page " << s.page << ", zoom " << s.zoom << ", orientation " << s.orientation
             << ", mode " << s.viewMode << ", layer " << s.layer << "}";
}

class DocCommandsTest : public ControlTest {
 protected:
  void TearDown() override { close(); }

  void close() {
    if (control_ != nullptr) control_->advise(nullptr);
    doc_.reset();
    control_.reset();
  }

  // The window over a new control showing path, 420 x 360, shown, with its commands.
  void open(const std::string &path) {
    close();
    control_ = newControl();
    ASSERT_NE(control_, nullptr);
    doc_ = std::make_unique<NorvDoc>(*control_);
    cmd_ = new NorvDocCommands(*doc_, main_);  // it takes the control's events
    doc_->resize(420, 360);
    doc_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(doc_.get()));
    ASSERT_EQ(control_->put(dispid::FileName, Variant::bstr(path)), comp::S_OK);
    doc_->UpdateAll();
  }
  // Three RGB pages of 600 x 700.
  void openTiff() {
    const std::string path = dir_.file("doc.tif");
    ASSERT_TRUE(writeTestTiff(path, {{600, 700}, {600, 700}, {600, 700}}));
    open(path);
  }
  // The two-page colour TIFF-FX document (3 layers a page).
  void openNorv() { open(std::string(NORV_TEST_DATA) + "/two_colour_pages.tfx"); }

  int32_t i4(int32_t id) { return ctlGetI4(*control_->dispatch(), id); }
  int32_t callI4(int32_t id) { return ctlCallI4(*control_->dispatch(), id); }
  double zoom() { return ctlGetR8(*control_->dispatch(), dispid::ZoomFactor); }
  ViewState state() {
    return {i4(dispid::CurrentPage), zoom(), i4(dispid::Orientation), i4(dispid::ViewMode),
            i4(dispid::Layer)};
  }
  // Puts the view at a page, zoom, mode and orientation, refreshed.
  void start(const ViewState &s) {
    control_->put(dispid::ViewMode, Variant::i4(s.viewMode));
    double z = s.zoom;
    doc_->CenteredZoom(z);
    control_->put(dispid::Orientation, Variant::i4(s.orientation));
    control_->put(dispid::CurrentPage, Variant::i4(s.page));
    control_->put(dispid::Layer, Variant::i4(s.layer));
    doc_->UpdateAll();
  }
  // The window's indicators show the control's state.
  void expectIndicators() {
    NorvDoc &d = *doc_;
    EXPECT_EQ(d.PageNum->text().toStdString(), std::to_string(i4(dispid::CurrentPage)));
    EXPECT_EQ(d.ZoomFactor->text().toStdString(), Str(zoom() * 100) + "%");
    EXPECT_EQ(d.menuViewContinuous->isChecked(), i4(dispid::ViewMode) == 0);
    EXPECT_EQ(d.menuViewOnepage->isChecked(), i4(dispid::ViewMode) == 1);
    const int32_t o = i4(dispid::Orientation);
    EXPECT_EQ(d.menuViewOrientation0->isChecked(), o == 0);
    EXPECT_EQ(d.menuViewOrientation90->isChecked(), o == 90);
    EXPECT_EQ(d.menuViewOrientation180->isChecked(), o == 180);
    EXPECT_EQ(d.menuViewOrientation270->isChecked(), o == 270);
  }
  // A key of the control's window, through the control's events.
  int16_t keyDown(int16_t code) {
    cmd_->NorvCtl_KeyDown(code, 0);
    return code;
  }
  void typeInto(QLineEdit *field, const char *text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
  }

  norvtest::TempDir dir_{"doc_commands"};
  MainWindowLink main_;
  std::unique_ptr<ViewControl> control_;
  std::unique_ptr<NorvDoc> doc_;
  NorvDocCommands *cmd_ = nullptr;  // a child of doc_
};

TEST_F(DocCommandsTest, CommandsChangeTheControlAndTheIndicatorsFollow) {
  openTiff();
  using Act = std::function<void(NorvDoc &, NorvDocCommands &)>;
  struct Case {
    const char *name;
    ViewState before;
    Act act;
    ViewState after;
  };
  const ViewState p3{3, 0.25, 0, 0, 0};
  const Case cases[] = {
      {"FirstPage button", p3, [](NorvDoc &d, auto &) { d.FirstPage->click(); }, {1, 0.25}},
      {"PreviousPage button", p3, [](NorvDoc &d, auto &) { d.PreviousPage->click(); }, {2, 0.25}},
      {"NextPage item",
       {1, 0.25},
       [](NorvDoc &d, auto &) { d.menuViewNextpage->trigger(); },
       {2, 0.25}},
      {"LastPage item",
       {1, 0.25},
       [](NorvDoc &d, auto &) { d.menuViewLastpage->trigger(); },
       {3, 0.25}},
      {"NextPage button",
       {2, 0.25, 0, 1},
       [](NorvDoc &d, auto &) { d.NextPage->click(); },
       {3, 0.25, 0, 1}},
      {"ZoomIn button", {1, 0.25}, [](NorvDoc &d, auto &) { d.ZoomIn->click(); }, {1, 0.5}},
      {"ZoomOut item",
       {1, 0.5},
       [](auto &, NorvDocCommands &c) { c.menuViewZoomout->trigger(); },
       {1, 0.25}},
      {"ZoomIn item at 8",
       {1, 8},
       [](auto &, NorvDocCommands &c) { c.menuViewZoomin->trigger(); },
       {1, 10}},
      {"ZoomOut button at 0.015",
       {1, 0.015},
       [](NorvDoc &d, auto &) { d.ZoomOut->click(); },
       {1, 0.01}},
      {"RotateRight button",
       {1, 1},
       [](NorvDoc &d, auto &) { d.RotateRight->click(); },
       {1, 1, 90}},
      {"RotateLeft button", {1, 1}, [](NorvDoc &d, auto &) { d.RotateLeft->click(); }, {1, 1, 270}},
      {"Orientation 180 item",
       {1, 1, 90},
       [](NorvDoc &d, auto &) { d.menuViewOrientation180->trigger(); },
       {1, 1, 180}},
      {"Orientation 0 item at 0",
       {1, 1},
       [](NorvDoc &d, auto &) { d.menuViewOrientation0->trigger(); },
       {1, 1, 0}},
      {"One Page item",
       {2, 0.5},
       [](NorvDoc &d, auto &) { d.menuViewOnepage->trigger(); },
       {2, 0.5, 0, 1}},
      {"Continuous item",
       {2, 0.5, 0, 1},
       [](NorvDoc &d, auto &) { d.menuViewContinuous->trigger(); },
       {2, 0.5, 0, 0}},
      {"Continuous item when continuous",
       {2, 0.5},
       [](NorvDoc &d, auto &) { d.menuViewContinuous->trigger(); },
       {2, 0.5}},
      {"One Page item when one page",
       {2, 0.5, 0, 1},
       [](NorvDoc &d, auto &) { d.menuViewOnepage->trigger(); },
       {2, 0.5, 0, 1}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    start(c.before);
    ASSERT_EQ(state(), c.before);
    c.act(*doc_, *cmd_);
    EXPECT_EQ(state(), c.after);
    expectIndicators();
  }
}

TEST_F(DocCommandsTest, ContinuousWhenContinuousDoesNotRefresh) {
  openTiff();
  start({2, 0.5});
  doc_->PageNum->setText("stale");
  doc_->menuViewContinuous->trigger();
  EXPECT_EQ(doc_->PageNum->text(), "stale");
  EXPECT_TRUE(doc_->menuViewContinuous->isChecked());
  doc_->menuViewOnepage->trigger();
  EXPECT_EQ(doc_->PageNum->text(), "2");
}

TEST_F(DocCommandsTest, FitToWidthFillsTheViewsWidth) {
  openTiff();
  start({1, 0.25, 0, 1});
  cmd_->menuViewFittowidth->trigger();
  EXPECT_NE(zoom(), 0.25);
  EXPECT_NEAR(callI4(dispid::GetModalWidth), doc_->ViewableWidthPix(), 2);
  expectIndicators();
}

TEST_F(DocCommandsTest, PageAndZoomFieldsAreBoundedAndWrittenBack) {
  openTiff();
  struct Case {
    const char *field;  // "page" or "zoom"
    const char *text;
    int32_t page;
    double zoom;
  };
  const Case cases[] = {
      {"page", "2", 2, 0.25},           {"page", " 3 ", 3, 0.25},
      {"page", "2.5", 2, 0.25},  // halves to even
      {"page", "abc", 1, 0.25},         {"page", "0", 1, 0.25},
      {"page", "99999999999", 1, 0.25}, {"page", "-99999999999", 1, 0.25},
      {"zoom", "200%", 1, 2.0},         {"zoom", "33.333333", 1, 0.3333},
      {"zoom", "1e9", 1, 10.0},         {"zoom", "0.0001%", 1, 0.01},
      {"zoom", "abc", 1, 0.25},         {"zoom", "-50%", 1, 0.25},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.field) + " '" + c.text + "'");
    start({1, 0.25});
    typeInto(std::string(c.field) == "page" ? doc_->PageNum : doc_->ZoomFactor, c.text);
    EXPECT_EQ(i4(dispid::CurrentPage), c.page);
    EXPECT_EQ(zoom(), c.zoom);
    expectIndicators();  // a refused entry shows the control's value again
  }
}

TEST_F(DocCommandsTest, LayerListAndMenuChooseTheLayer) {
  openNorv();
  start({1, 0.5, 0, 1});
  NorvDoc &d = *doc_;
  ASSERT_EQ(callI4(dispid::LayersOnCurrentPage), 3);
  ASSERT_EQ(d.Layer->count(), 4);
  ASSERT_TRUE(d.Layer->isVisible());

  d.Layer->setCurrentIndex(2);
  emit d.Layer->activated(2);
  EXPECT_EQ(i4(dispid::Layer), 2);
  EXPECT_TRUE(d.menuViewLayerLayer[2]->isChecked());

  d.Layer->setCurrentIndex(-1);  // nothing selected: the composite page
  cmd_->Layer_Click();
  EXPECT_EQ(i4(dispid::Layer), 0);
  EXPECT_EQ(d.Layer->currentIndex(), 0);

  ASSERT_GE(d.menuViewLayerLayer.size(), 4u);
  d.menuViewLayerLayer[3]->trigger();
  EXPECT_EQ(i4(dispid::Layer), 3);
  EXPECT_EQ(d.Layer->currentIndex(), 3);
  EXPECT_TRUE(d.menuViewLayerLayer[3]->isChecked());
  d.menuViewLayerLayer[3]->trigger();  // the item already checked stays checked
  EXPECT_TRUE(d.menuViewLayerLayer[3]->isChecked());
  EXPECT_EQ(i4(dispid::Layer), 3);
}

TEST_F(DocCommandsTest, KeysPageAndChooseLayers) {
  openNorv();
  NorvDoc &d = *doc_;
  // One-page view: whole pages; Home and End are not consumed.
  start({1, 0.5, 0, 1});
  struct Case {
    int16_t key;
    int32_t page;
    int16_t left;  // the key code after the handler
  };
  for (const Case &c : {Case{34, 2, 0}, Case{34, 2, 0}, Case{33, 1, 0}, Case{35, 2, 35},
                        Case{36, 1, 36}, Case{65, 1, 65}}) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(keyDown(c.key), c.left);
    EXPECT_EQ(i4(dispid::CurrentPage), c.page);
    EXPECT_EQ(d.PageNum->text().toStdString(), std::to_string(c.page));
  }
  // Digits choose a layer up to the page's count.
  struct Digit {
    char key;
    int32_t layer;
  };
  for (const Digit &k :
       {Digit{'2', 2}, Digit{'5', 2}, Digit{'x', 2}, Digit{'3', 3}, Digit{'0', 0}}) {
    SCOPED_TRACE(k.key);
    int16_t code = k.key;
    cmd_->NorvCtl_KeyPress(code);
    EXPECT_EQ(i4(dispid::Layer), k.layer);
    EXPECT_EQ(d.Layer->currentIndex(), k.layer);
  }
}

TEST_F(DocCommandsTest, KeysMoveTheScrollBarInContinuousView) {
  openTiff();
  start({1, 1.0});
  NorvDoc &d = *doc_;
  QScrollBar *bar = d.VScroll;
  ASSERT_GT(bar->maximum(), 2 * bar->pageStep());
  const auto expectAt = [&](int value) {
    EXPECT_EQ(bar->value(), value);
    EXPECT_EQ(callI4(dispid::GetModalYPosition), CLng(value * d.vScrollScale));
  };
  EXPECT_EQ(keyDown(36), 0);
  expectAt(bar->minimum());
  EXPECT_EQ(keyDown(34), 0);
  expectAt(bar->pageStep());
  EXPECT_EQ(keyDown(34), 0);
  expectAt(2 * bar->pageStep());
  EXPECT_EQ(keyDown(33), 0);
  expectAt(bar->pageStep());
  EXPECT_EQ(keyDown(35), 0);
  expectAt(bar->maximum());
  EXPECT_EQ(keyDown(34), 0);  // at the bottom the bar stays at its maximum
  expectAt(bar->maximum());
  EXPECT_EQ(keyDown(36), 0);
  expectAt(bar->minimum());
  EXPECT_EQ(keyDown(33), 0);
  expectAt(bar->minimum());
  EXPECT_EQ(keyDown(65), 65);
}

TEST_F(DocCommandsTest, ScrollBarsMoveTheView) {
  openTiff();
  start({1, 1.0});
  NorvDoc &d = *doc_;
  d.VScroll->setValue(300);
  EXPECT_EQ(callI4(dispid::GetModalYPosition), CLng(300 * d.vScrollScale));
  ASSERT_GT(d.HScroll->maximum(), 50);
  d.HScroll->setValue(50);
  EXPECT_EQ(callI4(dispid::GetModalXPosition), CLng(50 * d.hScrollScale));
  // While the window sets its bars, their changes do not move the view.
  ++d.scrollUpdating;
  d.VScroll->setValue(100);
  --d.scrollUpdating;
  EXPECT_EQ(callI4(dispid::GetModalYPosition), CLng(300 * d.vScrollScale));
  // Dragging the thumb moves it whatever the window is doing.
  ++d.scrollUpdating;
  d.VScroll->setSliderDown(true);
  d.VScroll->setSliderPosition(120);
  d.VScroll->setSliderDown(false);
  --d.scrollUpdating;
  EXPECT_EQ(callI4(dispid::GetModalYPosition), CLng(120 * d.vScrollScale));
  EXPECT_EQ(d.PageNum->text(), "1");
}

TEST_F(DocCommandsTest, WheelScrollsFourUnitsANotchTimesTheZoom) {
  openTiff();
  struct Case {
    double zoom;
    int16_t delta;
    int32_t moved;
  };
  // A turn away from the user (positive delta) scrolls toward the top, toward the user down.
  for (const Case &c :
       {Case{1.0, 120, -4}, Case{2.0, 120, -8}, Case{1.0, -120, 4}, Case{0.5, 120, -4},
        Case{1.5, 60, -3}, Case{2.0, 240, -16}, Case{1.25, 120, -5}, Case{2.0, -120, 8}}) {
    SCOPED_TRACE(std::to_string(c.zoom) + " " + std::to_string(c.delta));
    start({1, c.zoom});
    control_->call(dispid::SetModalYPosition, {Variant::i4(100)});
    doc_->UpdateAll();
    const int32_t y = callI4(dispid::GetModalYPosition);
    cmd_->NorvCtl_MouseWheel(0, c.delta, 0, 0);
    EXPECT_EQ(callI4(dispid::GetModalYPosition), y + c.moved);
    EXPECT_EQ(doc_->VScroll->value(), CInt((y + c.moved) / doc_->vScrollScale));
  }
}

TEST_F(DocCommandsTest, MouseToolsFromTheMenuAndTheMiddleButton) {
  openTiff();
  NorvDocCommands &c = *cmd_;
  using Tool = NorvDocCommands::Tool;
  const auto expectTool = [&](Tool tool) {
    EXPECT_EQ(c.currentTool(), tool);
    EXPECT_EQ(c.menuToolsMounseactionPan->isChecked(), tool == Tool::Pan);
    EXPECT_EQ(c.menuToolsMouseactionZoom->isChecked(), tool == Tool::Zoom);
    EXPECT_EQ(c.menuToolsMouseactionSelect->isChecked(), tool == Tool::Selection);
  };
  expectTool(Tool::Pan);
  c.menuToolsMouseactionSelect->trigger();
  expectTool(Tool::Selection);
  c.menuToolsMouseactionSelect->trigger();  // choosing the checked tool keeps it checked
  expectTool(Tool::Selection);
  c.menuToolsMouseactionZoom->trigger();
  expectTool(Tool::Zoom);
  c.menuToolsMounseactionPan->trigger();
  expectTool(Tool::Pan);
  for (Tool next : {Tool::Zoom, Tool::Selection, Tool::Pan}) {
    c.NorvCtl_MouseDown(4, 0, 10, 10);
    EXPECT_TRUE(doc_->middleDown);
    c.NorvCtl_MouseUp(4, 0, 10, 10);
    EXPECT_FALSE(doc_->middleDown);
    expectTool(next);
  }
}

TEST_F(DocCommandsTest, PanToolDragsTheView) {
  openTiff();
  start({1, 1.0});
  control_->call(dispid::SetModalYPosition, {Variant::i4(200)});
  control_->call(dispid::SetXPosition, {Variant::i4(20)});
  doc_->UpdateAll();
  const int32_t x0 = callI4(dispid::GetModalXPosition), y0 = callI4(dispid::GetModalYPosition);
  cmd_->NorvCtl_MouseDown(1, 0, 100, 100);
  EXPECT_TRUE(doc_->leftDragging);
  EXPECT_FALSE(doc_->SelectBox->isVisible());
  cmd_->NorvCtl_MouseMove(1, 0, 90, 60);
  cmd_->NorvCtl_MouseUp(1, 0, 90, 60);
  EXPECT_FALSE(doc_->leftDragging);
  EXPECT_EQ(callI4(dispid::GetModalXPosition), x0 + 10);
  EXPECT_EQ(callI4(dispid::GetModalYPosition), y0 + 40);
  EXPECT_EQ(doc_->VScroll->value(), CInt((y0 + 40) / doc_->vScrollScale));
  // A move without the left button held drags nothing.
  cmd_->NorvCtl_MouseMove(0, 0, 10, 10);
  EXPECT_EQ(callI4(dispid::GetModalYPosition), y0 + 40);
}

TEST_F(DocCommandsTest, ZoomToolZoomsToTheDraggedBox) {
  openTiff();
  start({1, 1.0});
  cmd_->menuToolsMouseactionZoom->trigger();
  // A drag of no size reaches the zoom box, which leaves the zoom alone.
  cmd_->NorvCtl_MouseDown(1, 0, 50, 40);
  EXPECT_TRUE(doc_->SelectBox->isVisible());
  cmd_->NorvCtl_MouseUp(1, 0, 50, 40);
  EXPECT_FALSE(doc_->SelectBox->isVisible());
  EXPECT_EQ(zoom(), 1.0);

  cmd_->NorvCtl_MouseDown(1, 0, 50, 40);
  cmd_->NorvCtl_MouseMove(1, 0, 150, 90);
  EXPECT_EQ(doc_->SelectBox->geometry().size(), QSize(100, 50));
  cmd_->NorvCtl_MouseUp(1, 0, 150, 90);
  EXPECT_FALSE(doc_->SelectBox->isVisible());
  const double f = Smaller(doc_->ViewableWidthPix() / 100.0, doc_->ViewableHeightPix() / 50.0);
  EXPECT_EQ(zoom(), Round(Smaller(f, 10.0), 4));
  expectIndicators();
}

// The clipboard's image, waiting for it to arrive.
QImage clipboardImage() {
  return QApplication::clipboard()->image();
}

TEST_F(DocCommandsTest, SelectionToolKeepsBoxesOfEightPixelsAndCopiesThem) {
  openTiff();
  start({1, 1.0});
  cmd_->menuToolsMouseactionSelect->trigger();
  QWidget *view = doc_->NorvCtlWindow;
  struct Case {
    int w, h;
    bool kept;
  };
  for (const Case &c :
       {Case{7, 100, false}, Case{100, 7, false}, Case{8, 8, true}, Case{60, 30, true}}) {
    SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h));
    cmd_->NorvCtl_MouseDown(1, 0, 20, 30);
    cmd_->NorvCtl_MouseMove(1, 0, 20 + c.w, 30 + c.h);
    cmd_->NorvCtl_MouseUp(1, 0, 20 + c.w, 30 + c.h);
    EXPECT_EQ(doc_->SelectBox->isVisible(), c.kept);
    if (c.kept) {
      EXPECT_EQ(doc_->SelectBox->geometry(), QRect(view->x() + 20, view->y() + 30, c.w, c.h));
    }
  }
  // Copy: the selected rectangle of the view, as the control renders it.
  const QImage shown = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
  QApplication::clipboard()->clear();
  cmd_->menuEditCopy->trigger();
  EXPECT_FALSE(doc_->SelectBox->isVisible());
  const QImage copied = clipboardImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(copied.size(), QSize(60, 30));
  EXPECT_EQ(copied, shown.copy(20, 30, 60, 30));

  // Without a selection Copy takes the whole view.
  QApplication::clipboard()->clear();
  cmd_->menuEditCopy->trigger();
  const QImage whole = clipboardImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(whole.size(), view->size());
  EXPECT_EQ(whole, shown);
}

TEST_F(DocCommandsTest, CopyPageCopiesTheCurrentPage) {
  openTiff();
  start({2, 0.5});
  QApplication::clipboard()->clear();
  cmd_->menuEditCopypage->trigger();
  const QImage page = clipboardImage();
  EXPECT_FALSE(page.isNull());
  EXPECT_EQ(page.width() * 7, page.height() * 6) << "a 600 x 700 page";
}

TEST_F(DocCommandsTest, RightClickOnAToolbarButtonAsksWhatItIs) {
  openTiff();
  start({2, 0.25});
  QTest::mouseClick(doc_->NextPage, Qt::RightButton);
  EXPECT_TRUE(QWhatsThis::inWhatsThisMode());
  QWhatsThis::leaveWhatsThisMode();
  EXPECT_EQ(i4(dispid::CurrentPage), 2) << "the button's own action does not run";
  QTest::mouseClick(doc_->NextPage, Qt::LeftButton);
  EXPECT_EQ(i4(dispid::CurrentPage), 3);
  EXPECT_FALSE(QWhatsThis::inWhatsThisMode());
}

// Every toolbar button and field carries its help text, so What's This (Shift+F1 or the
// toolbar's "?") shows it for a click instead of taking the click and showing nothing.
TEST_F(DocCommandsTest, WhatsThisShowsEachToolbarControlsHelp) {
  openTiff();
  NorvDoc &d = *doc_;
  const std::pair<QWidget *, const char *> controls[] = {{d.FirstPage, "First Page"},
                                                         {d.PreviousPage, "Previous Page"},
                                                         {d.NextPage, "Next Page"},
                                                         {d.LastPage, "Last Page"},
                                                         {d.ZoomIn, "Zoom In"},
                                                         {d.ZoomOut, "Zoom Out"},
                                                         {d.RotateLeft, "Rotate Left"},
                                                         {d.RotateRight, "Rotate Right"},
                                                         {d.PageNum, "Current Page"},
                                                         {d.NumPages, "Pages in This Document"},
                                                         {d.ZoomFactor, "Zoom Factor"},
                                                         {d.Layer, "View Individual MRC Layers"},
                                                         {d.WhatsThisButton, "\"What's This?\""}};
  for (const auto &[widget, text] : controls) {
    EXPECT_EQ(widget->whatsThis(), text) << widget->objectName().toStdString();
    EXPECT_EQ(widget->toolTip(), text) << widget->objectName().toStdString();
  }
  // From the toolbar's button and from the menu item (Shift+F1): a click on the page field shows
  // its text and ends the mode; the page stays.
  const auto popupShown = [] {
    for (QWidget *w : QApplication::topLevelWidgets())
      if (w->inherits("QWhatsThat") && w->isVisible()) return true;
    return false;
  };
  for (int entry = 0; entry < 2; ++entry) {
    SCOPED_TRACE(entry == 0 ? "toolbar button" : "menu item");
    if (entry == 0)
      d.WhatsThisButton->click();
    else
      cmd_->menuHelpWhatsthis->trigger();
    ASSERT_TRUE(QWhatsThis::inWhatsThisMode());
    QTest::mouseClick(d.PageNum, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(QWhatsThis::inWhatsThisMode());
    EXPECT_TRUE(QTest::qWaitFor(popupShown, 1000));
    QWhatsThis::hideText();
    EXPECT_EQ(i4(dispid::CurrentPage), 1);
  }
}

TEST_F(DocCommandsTest, OptionsFromTheToolsMenuRepaintTheWindow) {
  openTiff();
  start({1, 0.25});
  // The page is narrower than the view: the window's background shows beside it.
  QWidget *view = doc_->NorvCtlWindow;
  ASSERT_GT(view->x(), 4);
  int answered = 0;
  ModalWatch watch([&](QWidget *modal) {
    auto *options = dynamic_cast<Options *>(modal);
    ASSERT_NE(options, nullptr);
    ++answered;
    options->findChild<QTabBar *>("tbsOptions")->setCurrentIndex(1);
    options->findChild<QLineEdit *>("PageBreakSpace")->setText("40");
    ModalWatch colour([](QWidget *m) {
      if (auto *dialog = qobject_cast<QColorDialog *>(m)) {
        dialog->setCurrentColor(QColor(200, 30, 60));
        dialog->accept();
      }
    });
    options->findChild<QPushButton *>("AppBgColor")->click();
    options->findChild<QPushButton *>("cmdOK")->click();
  });
  cmd_->menuToolsOptions->trigger();
  EXPECT_EQ(answered, 1);
  EXPECT_EQ(i4(dispid::PageBreakSpace), 40);
  EXPECT_EQ(i4(dispid::BackColor), 0x3C1EC8);
  const QImage window = doc_->grab().toImage();
  EXPECT_EQ(window.pixelColor(2, view->y() + 10), QColor(200, 30, 60));
  // The toolbar keeps its own colours: no pixel of it takes the background colour.
  const QImage toolbar = doc_->ToolBar->grab().toImage();
  int taken = 0;
  for (int y = 0; y < toolbar.height(); ++y)
    for (int x = 0; x < toolbar.width(); ++x)
      taken += toolbar.pixelColor(x, y) == QColor(200, 30, 60);
  EXPECT_EQ(taken, 0);
  // The gap between pages 1 and 2 in the control's own drawing has the new size and colour.
  const QImage shown = view->grab().toImage();
  const int pageBottom = CLng(700 * 0.25) - callI4(dispid::GetModalYPosition);
  ASSERT_LT(pageBottom + 40, shown.height());
  EXPECT_EQ(shown.pixelColor(shown.width() / 2, pageBottom + 20), QColor(200, 30, 60));
}

TEST_F(DocCommandsTest, SavePageFromTheFileMenu) {
  openNorv();
  start({2, 0.5, 0, 1});
  doc_->Layer->setCurrentIndex(2);
  emit doc_->Layer->activated(2);
  const std::string out = dir_.file("saved.bmp");
  QString startName;
  int answered = 0;
  ModalWatch watch([&](QWidget *modal) {
    auto *dialog = dynamic_cast<BmpOptions *>(modal);
    ASSERT_NE(dialog, nullptr);
    ++answered;
    EXPECT_EQ(dialog->findChild<QComboBox *>("Layer")->currentIndex(), 2);
    ModalWatch save([&](QWidget *m) {
      if (auto *files = qobject_cast<QFileDialog *>(m)) {
        startName = files->selectedFiles().value(0);
        files->selectFile(QString::fromStdString(out));
        static_cast<QDialog *>(files)->accept();
      }
    });
    dialog->findChild<QPushButton *>("SaveButton")->click();
  });
  cmd_->menuFileSavepageasbmp->trigger();
  EXPECT_EQ(answered, 1);
  EXPECT_TRUE(startName.endsWith("two_colour_pages_page2.bmp")) << startName.toStdString();
  const std::string expected = dir_.file("expected.bmp");
  control_->call(dispid::SavePageAsBmp,
                 {Variant::bstr(expected), Variant::i4(2), Variant::i4(2), Variant::r8(0.5)});
  EXPECT_EQ(norvtest::readFile(out), norvtest::readFile(expected));
}

// Input on the control's own window reaches the commands through the control's events.
TEST_F(DocCommandsTest, InputOnTheControlsWindowReachesTheCommands) {
  openTiff();
  start({1, 1.0});
  QWidget *view = doc_->NorvCtlWindow;
  control_->call(dispid::SetModalYPosition, {Variant::i4(200)});
  doc_->UpdateAll();
  const int32_t y0 = callI4(dispid::GetModalYPosition);

  // The pan tool: press, drag, release.
  QTest::mousePress(view, Qt::LeftButton, {}, QPoint(100, 100));
  EXPECT_TRUE(doc_->leftDragging);
  QMouseEvent move(QEvent::MouseMove, QPointF(100, 70), view->mapToGlobal(QPointF(100, 70)),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view, &move);
  QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(100, 70));
  EXPECT_FALSE(doc_->leftDragging);
  EXPECT_EQ(callI4(dispid::GetModalYPosition), y0 + 30);

  // Paging keys, consumed by the window.
  QTest::keyClick(view, Qt::Key_Home);
  EXPECT_EQ(callI4(dispid::GetModalYPosition), 0);
  QTest::keyClick(view, Qt::Key_PageDown);
  EXPECT_EQ(doc_->VScroll->value(), doc_->VScroll->pageStep());

  // The wheel at the top: a notch towards the user (a negative delta) scrolls down by 4 at zoom
  // 1, a notch away from the user back up.
  QTest::keyClick(view, Qt::Key_Home);
  ASSERT_EQ(callI4(dispid::GetModalYPosition), 0);
  for (const int delta : {-120, 120}) {
    QWheelEvent wheel(QPointF(50, 50), view->mapToGlobal(QPointF(50, 50)), QPoint(),
                      QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &wheel);
    EXPECT_EQ(callI4(dispid::GetModalYPosition), delta < 0 ? 4 : 0) << delta;
  }

  // The middle button changes the tool; the right button's release pops up the tool menu.
  QTest::mouseClick(view, Qt::MiddleButton, {}, QPoint(30, 30));
  EXPECT_EQ(cmd_->currentTool(), NorvDocCommands::Tool::Zoom);
  QTest::mouseClick(view, Qt::RightButton, {}, QPoint(30, 30));
  EXPECT_TRUE(cmd_->menuToolsMouseaction->isVisible());
  cmd_->menuToolsMouseaction->close();
  EXPECT_FALSE(doc_->rightDown);
}

TEST_F(DocCommandsTest, DigitKeysOnTheControlsWindowChooseLayers) {
  openNorv();
  start({1, 0.5, 0, 1});
  QTest::keyClick(doc_->NorvCtlWindow, Qt::Key_2);
  EXPECT_EQ(i4(dispid::Layer), 2);
  QTest::keyClick(doc_->NorvCtlWindow, Qt::Key_7);
  EXPECT_EQ(i4(dispid::Layer), 2);
}

TEST_F(DocCommandsTest, ConvertAsksForBothFilesAndOpensTheOutput) {
  const std::string input = dir_.file("scan.tif");
  ASSERT_TRUE(writeTestTiff(input, {{40, 30}}));
  QString opened, captionWhileConverting;
  bool converted = false;
  main_.openFileByName = [&](const QString &name) { opened = name; };
  std::unique_ptr<ViewControl> converter = newControl();
  main_.converter = [&]() -> comp::Dispatch * {
    converted = true;
    captionWhileConverting = doc_->windowTitle();
    return converter->dispatch();
  };
  openTiff();
  const QString caption = doc_->windowTitle();
  const QString output = QString::fromStdString(dir_.file("out.tfx"));
  QStringList offered;
  {
    ModalWatch files([&](QWidget *modal) {
      auto *dialog = qobject_cast<QFileDialog *>(modal);
      ASSERT_NE(dialog, nullptr);
      offered << dialog->selectedFiles().value(0);
      if (dialog->acceptMode() == QFileDialog::AcceptOpen) {
        dialog->selectFile(QString::fromStdString(input));
      } else {
        dialog->selectFile(output);
      }
      static_cast<QDialog *>(dialog)->accept();
    });
    cmd_->menuToolsConverttifftonorv->trigger();
  }
  // The open dialog starts at the open TIFF, the save dialog at the input's name as .tfx.
  ASSERT_EQ(offered.size(), 2);
  EXPECT_EQ(offered[0].toStdString(), dir_.file("doc.tif"));
  EXPECT_EQ(offered[1].toStdString(), dir_.file("scan.tfx"));
  EXPECT_TRUE(converted);
  EXPECT_EQ(captionWhileConverting.toStdString(), "Compressing \"" + input + "\" ... Please wait.");
  EXPECT_EQ(doc_->windowTitle(), caption);
  EXPECT_EQ(opened, output);

  // Cancel in the first dialog ends the command.
  converted = false;
  opened.clear();
  {
    ModalWatch cancel([](QWidget *modal) { static_cast<QDialog *>(modal)->reject(); });
    cmd_->menuToolsConverttifftonorv->trigger();
  }
  EXPECT_FALSE(converted);
  EXPECT_TRUE(opened.isEmpty());
  close();  // before the converting control goes
}

TEST_F(DocCommandsTest, MenusCarryTheirCaptionsAndShortcuts) {
  openTiff();
  NorvDocCommands &c = *cmd_;
  QStringList bar;
  for (QMenu *m : c.menus()) bar << m->title();
  EXPECT_EQ(bar, (QStringList{"&File", "&Edit", "&View", "&Tools", "&Help"}));
  struct Item {
    QAction *action;
    const char *caption;
    const char *shortcut;
  };
  for (const Item &i :
       {Item{c.menuFileOpen, "&Open...", "Ctrl+O"},
        Item{c.menuFileSavepageasbmp, "Save Page As .bmp...", ""}, Item{c.menuClose, "&Close", ""},
        Item{c.menuFilePrint, "&Print...", "Ctrl+P"},
        Item{c.menuFilePrintcurrentlayer, "Print Current Layer...", ""},
        Item{c.menuFileExit, "E&xit", ""}, Item{c.menuEditCopy, "&Copy", "Ctrl+C"},
        Item{c.menuEditCopypage, "Copy Page", ""}, Item{c.menuViewZoomin, "Zoom In", ""},
        Item{c.menuViewZoomout, "Zoom Out", ""}, Item{c.menuViewFittowidth, "Fit To Width", ""},
        Item{c.menuToolsConverttifftonorv, "Convert Tiff to Norv", ""},
        Item{c.menuToolsOptions, "&Options...", ""},
        Item{c.menuToolsMounseactionPan, "&Pan Tool", ""},
        Item{c.menuToolsMouseactionZoom, "&ZoomTool", ""},
        Item{c.menuToolsMouseactionSelect, "&Selection Tool", ""},
        Item{c.menuHelpContents, "&Contents...", ""},
        Item{c.menuHelpWhatsthis, "&What's This?", "Shift+F1"},
        Item{c.menuHelpAbout, "&About Norvview...", ""}}) {
    EXPECT_EQ(i.action->text().toStdString(), i.caption);
    EXPECT_EQ(i.action->shortcut().toString().toStdString(), i.shortcut) << i.caption;
  }
  // The View menu: Layer, a separator, the zoom items, a separator, the page items.
  const QList<QAction *> view = doc_->menuView->actions();
  const qsizetype zoomAt = view.indexOf(c.menuViewZoomin);
  ASSERT_GT(zoomAt, 0);
  EXPECT_TRUE(view[zoomAt - 1]->isSeparator());
  EXPECT_EQ(view[zoomAt + 1], c.menuViewZoomout);
  EXPECT_EQ(view[zoomAt + 2], c.menuViewFittowidth);
  EXPECT_TRUE(view[zoomAt + 3]->isSeparator());
  EXPECT_EQ(view[zoomAt + 4], doc_->menuViewFirstpage);

  // Exit and Open go to the main window.
  int opens = 0, exits = 0;
  close();
  main_.openFile = [&] { ++opens; };
  main_.exit = [&] { ++exits; };
  openTiff();
  cmd_->menuFileOpen->trigger();
  cmd_->menuFileExit->trigger();
  EXPECT_EQ(opens, 1);
  EXPECT_EQ(exits, 1);
}

TEST_F(DocCommandsTest, ResizingRefreshesTheScrollBars) {
  openTiff();
  start({1, 1.0});
  NorvDoc &d = *doc_;
  for (const QSize size : {QSize(420, 300), QSize(500, 450), QSize(300, 200)}) {
    d.resize(size);
    // A window system may confirm the new size later.
    for (int i = 0; i < 200 && d.size() != size; ++i) QTest::qWait(5);
    ASSERT_EQ(d.size(), size);
    EXPECT_EQ(d.VScroll->maximum(), callI4(dispid::GetModalHeight) - d.NorvCtlWindow->height());
    EXPECT_EQ(d.HScroll->maximum(), callI4(dispid::GetModalWidth) - d.NorvCtlWindow->width());
    EXPECT_EQ(d.VScroll->pageStep(), CInt(d.NorvCtlWindow->height() * 0.95));
  }
}

QStringList menuTitles(const QMenuBar *bar) {
  QStringList titles;
  for (const QAction *a : bar->actions()) titles << a->text();
  return titles;
}

// The main window's documents carry their commands, and the frame shows the active one's menus.
TEST_F(DocCommandsTest, TheFrameShowsTheActiveDocumentsMenus) {
  const std::string path = dir_.file("doc.tif");
  ASSERT_TRUE(writeTestTiff(path, {{60, 80}, {60, 80}}));
  NorvviewApp app;
  app.show();
  const QStringList frameMenus = menuTitles(app.menuBar());
  QString name = QString::fromStdString(path);
  app.OpenFileByName(name);
  const QList<QMdiSubWindow *> windows = app.mdiArea()->subWindowList();
  ASSERT_EQ(windows.size(), 1);
  app.mdiArea()->setActiveSubWindow(windows[0]);
  auto *doc = dynamic_cast<NorvDoc *>(windows[0]->widget());
  ASSERT_NE(doc, nullptr);
  auto *commands = dynamic_cast<NorvDocCommands *>(
      doc->findChild<QObject *>("NorvDocCommands", Qt::FindDirectChildrenOnly));
  ASSERT_NE(commands, nullptr);
  EXPECT_EQ(menuTitles(app.menuBar()),
            (QStringList{"&File", "&Edit", "&View", "&Windows", "&Tools", "&Help"}));
  // The window list names the open window, checked as the active one.
  auto *list = app.findChild<QMenu *>("menuWindows");
  ASSERT_NE(list, nullptr);
  emit list->aboutToShow();
  ASSERT_EQ(list->actions().size(), 1);
  EXPECT_EQ(list->actions()[0]->text(), "&1 " + name);
  EXPECT_TRUE(list->actions()[0]->isChecked());
  // The commands reach the window's control: its events included.
  doc->NextPage->click();
  EXPECT_EQ(doc->control().CurrentPage(), 2);
  QTest::keyClick(doc->NorvCtlWindow, Qt::Key_Home);
  EXPECT_EQ(doc->VScroll->value(), 0);
  commands->menuClose->trigger();
  QApplication::processEvents();
  EXPECT_TRUE(app.mdiArea()->subWindowList().isEmpty());
  EXPECT_EQ(menuTitles(app.menuBar()), frameMenus);
}

}  // namespace
}  // namespace viewer
