// The options dialog and the page export dialog over a loaded view control: fields filled from
// the control, edits reaching it only through Apply or OK, the colour dialog, Ctrl+Tab; the
// export's refusals, its default name and a written bitmap equal to the control's own at the
// chosen page, zoom and layer; whole labels in any font and the controls' help texts.
#include <gtest/gtest.h>

#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "control_fixture.h"
#include "control_ids.h"
#include "dialog_support.h"
#include "dispatch_calls.h"
#include "modal_watch.h"
#include "options_dialog.h"
#include "page_export_dialog.h"
#include "testkit_files.h"
#include "viewer_documents.h"

namespace viewer {
namespace {

using comp::Variant;

class DialogTest : public ControlTest {
 protected:
  // A document window over a new control showing path.
  std::unique_ptr<TestDocument> open(const std::string &path) {
    std::unique_ptr<ViewControl> control = newControl();
    if (control == nullptr) return nullptr;
    ctlPut(*control->dispatch(), dispid::FileName, Variant::bstr(path));
    return std::make_unique<TestDocument>(std::move(control));
  }
  // The two-page TIFF-FX document of the test data.
  std::unique_ptr<TestDocument> openNorv() {
    return open(std::string(NORV_TEST_DATA) + "/two_colour_pages.tfx");
  }
  // A plain TIFF of two RGB pages, 40 x 30 and 24 x 16, in the test's directory.
  std::unique_ptr<TestDocument> openTiff(const std::string &name = "scan.tif") {
    const std::string path = dir_.file(name);
    EXPECT_TRUE(writeTestTiff(path, {{40, 30}, {24, 16}}));
    return open(path);
  }

  norvtest::TempDir dir_{"viewer_dialogs"};
};

template <class T>
T *child(const QWidget &parent, const char *name) {
  T *found = parent.findChild<T *>(name);
  EXPECT_NE(found, nullptr) << name;
  return found;
}

int32_t getI4(TestDocument &doc, int32_t id) {
  return ctlGetI4(doc.control(), id);
}

// ---- Options

struct OptionsValues {
  int32_t extra, full, gap, back;
};

OptionsValues optionsOf(TestDocument &doc) {
  return {getI4(doc, dispid::ExtraPageCacheSize), getI4(doc, dispid::FullPageCacheThreshold),
          getI4(doc, dispid::PageBreakSpace), getI4(doc, dispid::BackColor)};
}

void expectSame(const OptionsValues &a, const OptionsValues &b) {
  EXPECT_EQ(a.extra, b.extra);
  EXPECT_EQ(a.full, b.full);
  EXPECT_EQ(a.gap, b.gap);
  EXPECT_EQ(a.back, b.back);
}

TEST_F(DialogTest, OptionsShowTheControlsValuesAndOkWithoutEditsChangesNothing) {
  auto doc = openTiff();
  ASSERT_NE(doc, nullptr);
  ctlPut(doc->control(), dispid::ExtraPageCacheSize, Variant::i4(7));
  ctlPut(doc->control(), dispid::FullPageCacheThreshold, Variant::i4(3));
  ctlPut(doc->control(), dispid::PageBreakSpace, Variant::i4(12));
  const OptionsValues before = optionsOf(*doc);

  Options options;
  options.Init(*doc);
  EXPECT_EQ(options.windowTitle(), "Options");
  EXPECT_EQ(child<QLineEdit>(options, "ExtraPageCache")->text(), "7");
  EXPECT_EQ(child<QLineEdit>(options, "FullPageCache")->text(), "3");
  EXPECT_EQ(child<QLineEdit>(options, "PageBreakSpace")->text(), "12");
  auto *apply = child<QPushButton>(options, "cmdApply");
  EXPECT_FALSE(apply->isEnabled());

  QTimer::singleShot(0, child<QPushButton>(options, "cmdOK"), &QPushButton::click);
  EXPECT_EQ(options.exec(), QDialog::Accepted);
  expectSame(optionsOf(*doc), before);
  EXPECT_EQ(doc->colour, QColor(10, 20, 30));
}

// Each field's text as the control receives it: its leading number, rounded, saturated; the
// control keeps no negative size or gap.
TEST_F(DialogTest, OptionsFieldsReachTheControlOnApply) {
  struct Case {
    const char *field;
    const char *text;
    int32_t dispid;
    int32_t expected;
  };
  const Case cases[] = {
      {"ExtraPageCache", "25", dispid::ExtraPageCacheSize, 25},
      {"ExtraPageCache", " 12.5 MB", dispid::ExtraPageCacheSize, 12},
      {"FullPageCache", "13.5", dispid::FullPageCacheThreshold, 14},
      {"FullPageCache", "no number", dispid::FullPageCacheThreshold, 0},
      {"PageBreakSpace", "40px", dispid::PageBreakSpace, 40},
      {"PageBreakSpace", "1e30", dispid::PageBreakSpace, 2147483647},
      {"PageBreakSpace", "-5", dispid::PageBreakSpace, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.field) + " '" + c.text + "'");
    auto doc = openTiff();
    ASSERT_NE(doc, nullptr);
    ctlPut(doc->control(), c.dispid, Variant::i4(9));
    Options options;
    options.Init(*doc);
    auto *apply = child<QPushButton>(options, "cmdApply");
    child<QLineEdit>(options, c.field)->setText(c.text);
    EXPECT_TRUE(apply->isEnabled());
    EXPECT_EQ(getI4(*doc, c.dispid), 9) << "nothing reaches the control before Apply";
    apply->click();
    EXPECT_FALSE(apply->isEnabled());
    EXPECT_EQ(getI4(*doc, c.dispid), c.expected);
  }
}

TEST_F(DialogTest, OptionsCancelKeepsWhatWasAppliedAndDropsTheRest) {
  auto doc = openTiff();
  ASSERT_NE(doc, nullptr);
  ctlPut(doc->control(), dispid::PageBreakSpace, Variant::i4(8));
  ctlPut(doc->control(), dispid::ExtraPageCacheSize, Variant::i4(4));
  Options options;
  options.Init(*doc);
  child<QLineEdit>(options, "PageBreakSpace")->setText("30");
  child<QPushButton>(options, "cmdApply")->click();
  child<QLineEdit>(options, "ExtraPageCache")->setText("99");
  QTimer::singleShot(0, child<QPushButton>(options, "cmdCancel"), &QPushButton::click);
  EXPECT_EQ(options.exec(), QDialog::Rejected);
  EXPECT_EQ(getI4(*doc, dispid::PageBreakSpace), 30);
  EXPECT_EQ(getI4(*doc, dispid::ExtraPageCacheSize), 4);
}

TEST_F(DialogTest, OptionsColourComesFromTheColourDialog) {
  auto doc = openTiff();
  ASSERT_NE(doc, nullptr);
  const OptionsValues before = optionsOf(*doc);
  Options options;
  options.Init(*doc);
  auto *apply = child<QPushButton>(options, "cmdApply");
  auto *colourButton = child<QPushButton>(options, "AppBgColor");
  EXPECT_FALSE(colourButton->isEnabled()) << "on the second tab";
  child<QTabBar>(options, "tbsOptions")->setCurrentIndex(1);
  ASSERT_TRUE(colourButton->isEnabled());

  {  // Cancel in the colour dialog: nothing changes.
    QColor offered;
    int answered = 0;
    ModalWatch cancel([&](QWidget *modal) {
      ++answered;
      auto *dialog = qobject_cast<QColorDialog *>(modal);
      ASSERT_NE(dialog, nullptr);
      offered = dialog->currentColor();
      dialog->reject();
    });
    colourButton->click();
    EXPECT_EQ(answered, 1);
    EXPECT_EQ(offered, QColor(10, 20, 30)) << "the dialog starts at the window's colour";
    EXPECT_FALSE(apply->isEnabled());
  }
  {
    int answered = 0;
    ModalWatch pick([&](QWidget *modal) {
      ++answered;
      auto *dialog = qobject_cast<QColorDialog *>(modal);
      ASSERT_NE(dialog, nullptr);
      dialog->setCurrentColor(QColor(0x12, 0x34, 0x56));
      dialog->accept();
    });
    colourButton->click();
    EXPECT_EQ(answered, 1);
  }
  EXPECT_TRUE(apply->isEnabled());
  expectSame(optionsOf(*doc), before);  // not yet applied
  EXPECT_EQ(doc->colour, QColor(10, 20, 30));

  QTimer::singleShot(0, child<QPushButton>(options, "cmdOK"), &QPushButton::click);
  EXPECT_EQ(options.exec(), QDialog::Accepted);
  EXPECT_EQ(getI4(*doc, dispid::BackColor), 0x563412);
  EXPECT_EQ(doc->colour, QColor(0x12, 0x34, 0x56));
  EXPECT_EQ(getI4(*doc, dispid::PageBreakSpace), before.gap);
}

TEST_F(DialogTest, OptionsCtrlTabCyclesTheTabs) {
  auto doc = openTiff();
  ASSERT_NE(doc, nullptr);
  Options options;
  options.Init(*doc);
  options.show();
  auto *tabs = child<QTabBar>(options, "tbsOptions");
  ASSERT_EQ(tabs->count(), 2);
  EXPECT_EQ(tabs->tabText(0), "Caching");
  EXPECT_EQ(tabs->tabText(1), "Format");
  auto *caching = child<QWidget>(options, "picOptions0");
  auto *format = child<QWidget>(options, "picOptions1");
  auto *extra = child<QLineEdit>(options, "ExtraPageCache");

  struct Step {
    Qt::KeyboardModifiers modifiers;
    int tab;
  };
  const Step steps[] = {{Qt::ControlModifier, 1},
                        {Qt::ControlModifier, 0},  // the last tab wraps to the first
                        {Qt::ControlModifier | Qt::ShiftModifier, 0},
                        {Qt::AltModifier | Qt::ControlModifier, 0},
                        {Qt::ControlModifier, 1}};
  EXPECT_TRUE(caching->isVisible() && caching->isEnabled());
  EXPECT_FALSE(format->isVisible() || format->isEnabled());
  for (const Step &step : steps) {
    // Keys go to whatever has the focus; the dialog sees them first.
    QWidget *target = tabs->currentIndex() == 0 ? static_cast<QWidget *>(extra) : &options;
    QTest::keyClick(target, Qt::Key_Tab, step.modifiers);
    EXPECT_EQ(tabs->currentIndex(), step.tab);
    EXPECT_EQ(caching->isVisible(), step.tab == 0);
    EXPECT_EQ(caching->isEnabled(), step.tab == 0);
    EXPECT_EQ(format->isVisible(), step.tab == 1);
    EXPECT_EQ(format->isEnabled(), step.tab == 1);
  }
}

// ---- Page export

std::vector<uint8_t> fileBytes(const std::string &path) {
  return norvtest::readFile(path);
}

// In fonts of several sizes every label of the options dialog shows its whole text (the twips
// layout cut "(MB)" off), no control of a panel covers another, and the dialog holds its
// panels and buttons.
TEST_F(DialogTest, OptionsLabelsShowTheirWholeText) {
  const QFont saved = QApplication::font();
  for (const int pixels : {11, 12, 16}) {
    SCOPED_TRACE(pixels);
    QFont font("DejaVu Sans");
    font.setPixelSize(pixels);
    QApplication::setFont(font);
    Options options;
    const QList<QLabel *> labels = options.findChildren<QLabel *>();
    ASSERT_EQ(labels.size(), 4);
    for (const QLabel *label : labels)
      EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
    for (int i = 0; i < 2; ++i) {
      auto *panel = child<QWidget>(options, QString("picOptions%1").arg(i).toLatin1().constData());
      EXPECT_TRUE(options.rect().contains(panel->geometry()));
      const QList<QWidget *> parts = panel->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
      for (qsizetype a = 0; a < parts.size(); ++a) {
        for (qsizetype b = a + 1; b < parts.size(); ++b)
          EXPECT_FALSE(parts[a]->geometry().intersects(parts[b]->geometry()))
              << parts[a]->objectName().toStdString() << " / "
              << parts[b]->objectName().toStdString();
      }
    }
    for (const QPushButton *button : options.findChildren<QPushButton *>())
      EXPECT_TRUE(options.rect().contains(button->geometry())) << button->text().toStdString();
  }
  QApplication::setFont(saved);
}

// Every control of both dialogs has a help text for What's This: the texts the dialogs give as
// tooltips, labels or captions.
TEST_F(DialogTest, DialogControlsHaveHelpTexts) {
  Options options;
  BmpOptions bmp;
  const std::pair<QWidget *, const char *> controls[] = {
      {child<QWidget>(options, "ExtraPageCache"), "Extra Page Cache Size (MB)"},
      {child<QWidget>(options, "FullPageCache"), "Full-page Cache Threshold (MB)"},
      {child<QWidget>(options, "PageBreakSpace"), "Pixels Between Pages"},
      {child<QWidget>(options, "AppBgColor"), "Background Color"},
      {child<QWidget>(options, "cmdOK"), "OK"},
      {child<QWidget>(options, "cmdCancel"), "Cancel"},
      {child<QWidget>(options, "cmdApply"), "Apply"},
      {child<QWidget>(bmp, "Page"), "Page to be Saved"},
      {child<QWidget>(bmp, "Zoom"), "Zoom to be Saved at"},
      {child<QWidget>(bmp, "Layer"), "View Individual MRC Layers"},
      {child<QWidget>(bmp, "SaveButton"), "Save to .bmp"},
      {child<QWidget>(bmp, "CancelButton"), "Exit Dialog Without Saving"},
      {child<QWidget>(bmp, "helpButton"), "Show Help"}};
  for (const auto &[widget, text] : controls)
    EXPECT_EQ(widget->whatsThis(), text) << widget->objectName().toStdString();
  auto *tabs = child<QTabBar>(options, "tbsOptions");
  EXPECT_EQ(tabs->tabWhatsThis(0), "Caching Options");
  EXPECT_EQ(tabs->tabWhatsThis(1), "Set Options for Group 2");
}

bool fileExists(const std::string &path) {
  return std::filesystem::exists(path);
}

TEST_F(DialogTest, ExportInitFromTheDocumentWindow) {
  auto doc = openNorv();
  ASSERT_NE(doc, nullptr);
  comp::Dispatch &ctl = doc->control();
  ASSERT_TRUE(ctlGetBool(ctl, dispid::IsNorv));
  ctlPut(ctl, dispid::CurrentPage, Variant::i4(2));
  ctlPut(ctl, dispid::ZoomFactor, Variant::r8(0.25));
  const int32_t layers = ctlCallI4(ctl, dispid::LayersOnPage, {Variant::i4(2)});
  ASSERT_GE(layers, 2);
  doc->layerIndex = 2;

  BmpOptions dialog;
  dialog.Init(*doc);
  EXPECT_EQ(dialog.windowTitle(), "Save Page as .bmp");
  EXPECT_EQ(child<QLineEdit>(dialog, "Page")->text(), "2");
  EXPECT_EQ(child<QLineEdit>(dialog, "Zoom")->text(), "25%");
  auto *layer = child<QComboBox>(dialog, "Layer");
  EXPECT_FALSE(layer->isHidden());
  ASSERT_EQ(layer->count(), layers + 1);
  EXPECT_EQ(layer->itemText(0), "Composite");
  EXPECT_EQ(layer->itemText(layers), QString("Layer %1").arg(layers));
  EXPECT_EQ(layer->currentIndex(), 2);

  // Another page with as many layers keeps the list and its selection; a page out of range or
  // no number leaves it as it is.
  for (const char *text : {"1", "9", "x", "0"}) {
    child<QLineEdit>(dialog, "Page")->setText(text);
    EXPECT_EQ(layer->count(), layers + 1) << text;
    EXPECT_EQ(layer->currentIndex(), 2) << text;
  }

  auto tiff = openTiff();
  ASSERT_NE(tiff, nullptr);
  for (const auto &[zoom, text] : {std::pair{1.0, "100%"}, std::pair{0.3333, "33.33%"}}) {
    ctlPut(tiff->control(), dispid::ZoomFactor, Variant::r8(zoom));
    BmpOptions plain;
    plain.Init(*tiff);
    EXPECT_TRUE(child<QComboBox>(plain, "Layer")->isHidden());
    EXPECT_EQ(child<QLineEdit>(plain, "Zoom")->text().toStdString(), text);
  }
}

TEST_F(DialogTest, ExportRefusesFieldsOutOfRange) {
  struct Case {
    const char *page;
    const char *zoom;
    const char *message;  // null: accepted
  };
  const Case cases[] = {
      {"abc", "50%", "Page must be a number!"},
      {"", "50%", "Page must be a number!"},
      {"0", "50%", "Page must be in range [1, 2]"},
      {"3", "50%", "Page must be in range [1, 2]"},
      {"99999999999", "50%", "Page must be in range [1, 2]"},
      {"2", "0.5%", "Zoom must be a percentage between 1% and 100%."},
      {"2", "101%", "Zoom must be a percentage between 1% and 100%."},
      {"2", "half", "Zoom must be a percentage between 1% and 100%."},
      {"2", "100%", nullptr},
      {"1", "1%", nullptr},
      {" 2.4 ", "50", nullptr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.page) + " / " + c.zoom);
    auto doc = openTiff();
    ASSERT_NE(doc, nullptr);
    const std::string out = dir_.file("out.bmp");
    std::remove(out.c_str());
    doc->savePath = QString::fromStdString(out);
    BmpOptions dialog;
    dialog.Init(*doc);
    dialog.show();
    child<QLineEdit>(dialog, "Page")->setText(c.page);
    child<QLineEdit>(dialog, "Zoom")->setText(c.zoom);
    ModalWatch messages;  // message boxes recorded and closed with OK
    child<QPushButton>(dialog, "SaveButton")->click();
    if (c.message != nullptr) {
      EXPECT_EQ(messages.messages(), QStringList{QString("Norvview|") + c.message + "|OK"});
      EXPECT_TRUE(dialog.isVisible()) << "the dialog stays open";
      EXPECT_EQ(child<QLineEdit>(dialog, "Page")->text(), c.page);
      EXPECT_TRUE(doc->saveCalls.isEmpty());
      EXPECT_FALSE(fileExists(out));
    } else {
      EXPECT_TRUE(messages.messages().isEmpty()) << messages.messages().join("\n").toStdString();
      EXPECT_FALSE(dialog.isVisible());
      EXPECT_EQ(dialog.result(), QDialog::Accepted);
      EXPECT_TRUE(fileExists(out));
    }
  }
}

// The written bitmap is the control's own at the chosen page, zoom and layer.
TEST_F(DialogTest, ExportWritesTheControlsBitmap) {
  auto doc = openNorv();
  ASSERT_NE(doc, nullptr);
  comp::Dispatch &ctl = doc->control();
  const std::string out = dir_.file("chosen.bmp");
  doc->savePath = QString::fromStdString(out);
  doc->layerIndex = 0;

  struct Case {
    const char *page, *zoom;
    int32_t layer;
    double zoomValue;
  };
  const Case cases[] = {{"2", "50%", 2, 0.5}, {"1", " 50 %", 0, 0.5}, {"1", "100%", 3, 1.0}};
  std::vector<std::vector<uint8_t>> written;
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.page) + " " + c.zoom);
    BmpOptions dialog;
    dialog.Init(*doc);
    child<QLineEdit>(dialog, "Page")->setText(c.page);
    child<QLineEdit>(dialog, "Zoom")->setText(c.zoom);
    child<QComboBox>(dialog, "Layer")->setCurrentIndex(c.layer);
    const int repaints = doc->repaints;
    child<QPushButton>(dialog, "SaveButton")->click();
    EXPECT_EQ(doc->repaints, repaints + 1);
    const std::string expected = dir_.file("expected.bmp");
    ctlCall(ctl, dispid::SavePageAsBmp,
            {Variant::bstr(expected), Variant::i4(std::stoi(c.page)), Variant::i4(c.layer),
             Variant::r8(c.zoomValue)});
    const std::vector<uint8_t> bytes = fileBytes(out);
    ASSERT_GT(bytes.size(), 54u);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes, fileBytes(expected));
    written.push_back(bytes);
    std::remove(out.c_str());
  }
  // Each case gives its own picture: the choices reach the control.
  EXPECT_NE(written[0], written[1]);
  EXPECT_NE(written[1], written[2]);
  EXPECT_TRUE(doc->saveCalls.size() == 3 &&
              doc->saveCalls[0] == "Windows Bitmap (*.bmp)|bmp|" +
                                       QString::fromStdString(std::string(NORV_TEST_DATA) +
                                                              "/two_colour_pages_page2.bmp"))
      << doc->saveCalls.join("\n").toStdString();
}

// A layer list with nothing selected (index -1) saves the composite page, not layer -1.
TEST_F(DialogTest, ExportWithNoLayerSelectedSavesTheComposite) {
  auto doc = openNorv();
  ASSERT_NE(doc, nullptr);
  doc->layerIndex = -1;
  const std::string out = dir_.file("none.bmp");
  doc->savePath = QString::fromStdString(out);
  BmpOptions dialog;
  dialog.Init(*doc);
  child<QLineEdit>(dialog, "Zoom")->setText("50%");
  auto *layer = child<QComboBox>(dialog, "Layer");
  layer->setCurrentIndex(-1);
  child<QPushButton>(dialog, "SaveButton")->click();
  const std::string expected = dir_.file("composite.bmp");
  ctlCall(doc->control(), dispid::SavePageAsBmp,
          {Variant::bstr(expected), Variant::i4(1), Variant::i4(0), Variant::r8(0.5)});
  const std::vector<uint8_t> bytes = fileBytes(out);
  ASSERT_GT(bytes.size(), 54u);
  EXPECT_EQ(bytes, fileBytes(expected));
}

TEST_F(DialogTest, ExportOfAPlainTiffSavesTheCompositeAndCancelSavesNothing) {
  auto doc = openTiff();
  ASSERT_NE(doc, nullptr);
  ctlPut(doc->control(), dispid::ZoomFactor, Variant::r8(0.25));
  doc->layerIndex = -1;
  BmpOptions cancelled;
  cancelled.Init(*doc);
  cancelled.show();
  child<QPushButton>(cancelled, "SaveButton")->click();  // the save dialog answers Cancel
  EXPECT_EQ(doc->saveCalls, QStringList{"Windows Bitmap (*.bmp)|bmp|" +
                                        QString::fromStdString(dir_.file("scan")) + "_page1.bmp"});
  EXPECT_EQ(doc->repaints, 0);
  EXPECT_FALSE(cancelled.isVisible());

  const std::string out = dir_.file("plain.bmp");
  doc->savePath = QString::fromStdString(out);
  BmpOptions dialog;
  dialog.Init(*doc);
  child<QPushButton>(dialog, "SaveButton")->click();
  const std::string expected = dir_.file("expected.bmp");
  ctlCall(doc->control(), dispid::SavePageAsBmp,
          {Variant::bstr(expected), Variant::i4(1), Variant::i4(0), Variant::r8(0.25)});
  EXPECT_EQ(fileBytes(out), fileBytes(expected));
  // The first page (40 x 30) at the window's zoom of 25%.
  const std::vector<uint8_t> bytes = fileBytes(out);
  ASSERT_GE(bytes.size(), 54u);
  EXPECT_EQ(bytes[18] | bytes[19] << 8, 10);
  EXPECT_EQ(bytes[22] | bytes[23] << 8, 7);
}

TEST_F(DialogTest, DefaultBitmapNames) {
  EXPECT_EQ(defaultBmpName("/docs/scan.tfx", 3), "/docs/scan_page3.bmp");
  EXPECT_EQ(defaultBmpName("/docs/scan.old.tif", 12), "/docs/scan.old_page12.bmp");
  EXPECT_EQ(defaultBmpName("scan", 1), "scan_page1.bmp");
}

TEST_F(DialogTest, SaveDialogStartsAtTheNameAndAddsTheSuffix) {
  QWidget parent;
  const QString folder = QDir::cleanPath(QString::fromStdString(dir_.path()));
  {
    QString offered;
    int answered = 0;
    ModalWatch answer([&](QWidget *modal) {
      ++answered;
      auto *dialog = qobject_cast<QFileDialog *>(modal);
      ASSERT_NE(dialog, nullptr);
      offered = dialog->selectedFiles().value(0);
      dialog->selectFile(folder + "/typed");
      static_cast<QDialog *>(dialog)->accept();  // the file dialog's own accept
    });
    const QString chosen =
        runSaveDialog(&parent, "Windows Bitmap (*.bmp)", "bmp", folder + "/doc_page1.bmp");
    EXPECT_EQ(answered, 1);
    EXPECT_EQ(offered, folder + "/doc_page1.bmp");
    EXPECT_EQ(chosen, folder + "/typed.bmp");
  }

  ModalWatch cancel([](QWidget *modal) { static_cast<QDialog *>(modal)->reject(); });
  EXPECT_EQ(runSaveDialog(&parent, "Windows Bitmap (*.bmp)", "bmp", folder + "/x.bmp"), "");
}

}  // namespace
}  // namespace viewer
