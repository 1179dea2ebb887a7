// Opening documents in the main window with the real control module loaded through the
// registry: the command line opens page 1 (the window's pixels are the control's own render of
// the page), names that are no document give the message and leave no window (and the other
// windows as they were), a TIFF-FX document named .tif shows its pages, the File menu's dialog
// and dropped file lists open their files in order, and the conversion command runs its
// dialogs, converts on the hidden control and opens the result, whose window shows the converted
// scan as the control renders it.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <QAction>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <algorithm>
#include <string>
#include <vector>

#include "control_fixture.h"
#include "control_ids.h"
#include "dispatch_calls.h"
#include "main_window.h"
#include "modal_watch.h"
#include "norv_doc.h"
#include "testkit_files.h"
#include "viewer_documents.h"

namespace viewer {
namespace {

class OpenDocumentsTest : public ControlTest {
 protected:
  void SetUp() override {
    ControlTest::SetUp();
    ASSERT_TRUE(dir_.made());
    // Wider than any document window: fitting the width zooms out, as the render does.
    ASSERT_TRUE(writeTestTiff(dir_.file("wide.tif"), {{1500, 400}, {100, 100}}));
    ASSERT_TRUE(writeTestTiff(dir_.file("small.tif"), {{90, 70}}));
    ASSERT_TRUE(norvtest::writeFile(dir_.file("notes.txt"), std::string("not a document\n")));
  }

  QString file(const char *name) const { return QString::fromStdString(dir_.file(name)); }

  // The captions of the open document windows, in the frame's creation order.
  static QStringList captions(const NorvviewApp &window) {
    QStringList list;
    for (const QMdiSubWindow *w : window.mdiArea()->subWindowList())
      list << w->widget()->windowTitle();
    return list;
  }
  static NorvDoc *doc(const NorvviewApp &window, int index) {
    const QList<QMdiSubWindow *> list = window.mdiArea()->subWindowList();
    return index < list.size() ? dynamic_cast<NorvDoc *>(list[index]->widget()) : nullptr;
  }
  static QString invalid(const QString &name) {
    return "Norvview|\"" + name + "\" is not a valid Norv file.|OK";
  }

  norvtest::TempDir dir_{"viewer_open"};
};

TEST_F(OpenDocumentsTest, CommandLineOpensPageOne) {
  NorvviewApp window;
  window.show();
  ModalWatch watch;
  // Quotes and blanks around the whole command line go.
  window.MDIForm_Load("  \"" + file("wide.tif") + "\" ");
  EXPECT_TRUE(watch.messages().isEmpty()) << watch.messages().join("\n").toStdString();
  ASSERT_EQ(captions(window), QStringList{file("wide.tif")});
  NorvDoc *document = doc(window, 0);
  ASSERT_NE(document, nullptr);
  ControlCalls &control = document->control();
  EXPECT_EQ(control.CurrentPage(), 1);
  const double zoom = control.ZoomFactor();
  EXPECT_LT(zoom, 1.0);  // fitted to the window's width
  QWidget *view = document->findChild<QWidget *>("NorvCtl");
  ASSERT_NE(view, nullptr);
  QCoreApplication::processEvents();  // the window's layout settles
  const QImage shot = view->grab().toImage();
  const QImage render = controlRender(*document->NorvCtl()->dispatch(), 1);
  EXPECT_EQ(render.width(), static_cast<int>(1500 * zoom));
  EXPECT_EQ(render.width(), std::min(shot.width(), render.width()));
  expectShowsRender(shot, render);
}

TEST_F(OpenDocumentsTest, NamesThatAreNoDocumentLeaveNoWindow) {
  const struct {
    QString commandLine;
    QString shown;  // the name inside the message
  } cases[] = {
      {file("notes.txt"), file("notes.txt")},
      {file("missing.tfx"), file("missing.tfx")},
      {"   ", ""},  // not empty: a window, an empty name, no pages
      {"\"", ""},
  };
  for (const auto &c : cases) {
    NorvviewApp window;
    window.show();
    ModalWatch watch;
    window.MDIForm_Load(c.commandLine);
    EXPECT_EQ(watch.messages(), QStringList{invalid(c.shown)}) << c.commandLine.toStdString();
    EXPECT_TRUE(window.mdiArea()->subWindowList().isEmpty()) << c.commandLine.toStdString();
    EXPECT_TRUE(window.isVisible());
  }
  // An empty command line opens nothing and says nothing.
  NorvviewApp window;
  ModalWatch watch;
  window.MDIForm_Load("");
  QString empty;
  window.OpenFileByName(empty);
  EXPECT_TRUE(window.mdiArea()->subWindowList().isEmpty());
  EXPECT_TRUE(watch.messages().isEmpty());
}

// A refused open leaves the open windows as they were: a maximised one stays maximised, the
// others keep their places and sizes, and the refused one never appears.
TEST_F(OpenDocumentsTest, RefusedOpenLeavesTheWindowsAsTheyWere) {
  NorvviewApp window;
  window.resize(900, 700);
  window.show();
  ModalWatch watch;
  for (const char *name : {"small.tif", "wide.tif"}) {
    QString path = file(name);
    window.OpenFileByName(path);
  }
  const QList<QMdiSubWindow *> frames = window.mdiArea()->subWindowList();
  ASSERT_EQ(frames.size(), 2);
  frames[0]->move(10, 20);
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  window.mdiArea()->setActiveSubWindow(frames[1]);
  frames[1]->showMaximized();
  QCoreApplication::processEvents();
  ASSERT_TRUE(frames[1]->isMaximized());
  const QRect first = frames[0]->geometry(), second = frames[1]->geometry();
  for (const char *refused : {"notes.txt", "missing.tfx"}) {
    SCOPED_TRACE(refused);
    QString path = file(refused);
    window.OpenFileByName(path);
    QCoreApplication::processEvents();
    EXPECT_EQ(watch.messages().last(), invalid(file(refused)));
    EXPECT_EQ(window.mdiArea()->subWindowList(), frames);
    EXPECT_TRUE(frames[1]->isMaximized());
    EXPECT_EQ(frames[1]->geometry(), second);
    EXPECT_EQ(frames[0]->geometry(), first);
    EXPECT_EQ(window.mdiArea()->activeSubWindow(), frames[1]);
  }
}

// A TIFF-FX document named .tif opens as the TIFF-FX document it is and shows its pages.
TEST_F(OpenDocumentsTest, TiffFxNamedTifShowsItsPages) {
  const std::string tfx = dir_.file("colour.tif");
  ASSERT_TRUE(QFile::copy(NORV_TEST_DATA "/two_colour_pages.tfx", QString::fromStdString(tfx)));
  NorvviewApp window;
  window.show();
  ModalWatch watch;
  QString name = QString::fromStdString(tfx);
  window.OpenFileByName(name);
  EXPECT_TRUE(watch.messages().isEmpty()) << watch.messages().join("\n").toStdString();
  NorvDoc *document = doc(window, 0);
  ASSERT_NE(document, nullptr);
  comp::Dispatch &ctl = *document->NorvCtl()->dispatch();
  EXPECT_TRUE(ctlGetBool(ctl, dispid::IsNorv));
  EXPECT_EQ(ctlCallI4(ctl, dispid::NumPages), 2);
  EXPECT_EQ(ctlCallI4(ctl, dispid::LayersOnCurrentPage), 3);
  // The page shows ink, not a blank page.
  const QImage render = controlRender(ctl, 1);
  ASSERT_FALSE(render.isNull());
  int dark = 0;
  for (int y = 0; y < render.height(); ++y)
    for (int x = 0; x < render.width(); ++x) dark += qGray(render.pixel(x, y)) < 128;
  EXPECT_GT(dark, 0);
}

TEST_F(OpenDocumentsTest, OpenFileByNameWritesTheCleanedNameBack) {
  NorvviewApp window;
  ModalWatch watch;
  QString name = " \"" + file("small.tif") + "\"";
  window.OpenFileByName(name);
  EXPECT_EQ(name, file("small.tif"));
  EXPECT_EQ(captions(window), QStringList{file("small.tif")});
}

TEST_F(OpenDocumentsTest, DroppedFilesOpenInOrder) {
  NorvviewApp window;
  window.show();
  ModalWatch watch;
  QMimeData files;
  files.setUrls({QUrl::fromLocalFile(file("small.tif")), QUrl::fromLocalFile(file("notes.txt")),
                 QUrl::fromLocalFile(file("wide.tif"))});
  QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&window, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&window, &drop);
  EXPECT_EQ(captions(window), QStringList({file("small.tif"), file("wide.tif")}));
  EXPECT_EQ(watch.messages(), QStringList{invalid(file("notes.txt"))});

  // Other data is ignored.
  QMimeData text;
  text.setText(file("small.tif"));
  QDragEnterEvent textEnter(QPoint(20, 20), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&window, &textEnter);
  EXPECT_FALSE(textEnter.isAccepted());
  QDropEvent textDrop(QPointF(20, 20), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&window, &textDrop);
  EXPECT_EQ(window.mdiArea()->subWindowList().size(), 2);
}

// Picks name in a file dialog (an empty name cancels it) and records what it proposed.
struct DialogAnswers {
  explicit DialogAnswers(std::vector<QString> given) : names(std::move(given)) {}

  std::vector<QString> names;
  QStringList seen;  // "filters|suffix|proposed name" of each dialog
  size_t next = 0;

  void operator()(QWidget *modal) {
    auto *dialog = qobject_cast<QFileDialog *>(modal);
    if (dialog == nullptr) return;
    const QStringList selected = dialog->selectedFiles();
    seen << dialog->nameFilters().join(";") + "|" + dialog->defaultSuffix() + "|" +
                (selected.isEmpty() ? QString() : QFileInfo(selected.first()).fileName());
    const QString name = next < names.size() ? names[next++] : QString();
    if (name.isEmpty()) {
      dialog->reject();
      return;
    }
    dialog->selectFile(name);
    static_cast<QDialog *>(dialog)->accept();
  }
};

TEST_F(OpenDocumentsTest, OpenCommandAsksThenOpens) {
  NorvviewApp window;
  window.show();
  DialogAnswers answers({file("small.tif"), ""});
  ModalWatch watch([&answers](QWidget *modal) { answers(modal); });
  window.findChild<QAction *>("menuFileOpen")->trigger();
  window.findChild<QAction *>("menuFileOpen")->trigger();  // cancelled: nothing opens
  EXPECT_EQ(captions(window), QStringList{file("small.tif")});
  const QString filters = "Norv (*.tfx);TIFF (*.tif *.tiff);All Files (*)|tfx|";
  EXPECT_EQ(answers.seen, QStringList({filters, filters}));
  EXPECT_TRUE(watch.messages().isEmpty());
}

TEST_F(OpenDocumentsTest, ConversionCancelledChangesNothing) {
  NorvviewApp window;
  window.show();
  const QString caption = window.windowTitle();
  const QString out = file("small.tfx");
  {
    // The input dialog cancelled.
    DialogAnswers answers({""});
    ModalWatch watch([&answers](QWidget *modal) { answers(modal); });
    window.findChild<QAction *>("menuToolsConverttifftonorv")->trigger();
    EXPECT_EQ(answers.seen.size(), 1);
  }
  {
    // The output dialog cancelled, after proposing the input's name with ".tfx".
    DialogAnswers answers({file("small.tif"), ""});
    ModalWatch watch([&answers](QWidget *modal) { answers(modal); });
    window.findChild<QAction *>("menuToolsConverttifftonorv")->trigger();
    EXPECT_EQ(answers.seen, QStringList({"Tiff (*.tif *.tiff);All Files (*)|tif|",
                                         "Norv (*.tfx);All Files (*)|tfx|small.tfx"}));
  }
  EXPECT_FALSE(QFileInfo::exists(out));
  EXPECT_TRUE(window.mdiArea()->subWindowList().isEmpty());
  EXPECT_EQ(window.windowTitle(), caption);
}

TEST_F(OpenDocumentsTest, ConversionOpensTheResult) {
  // The conversion member must be wired in the control module.
  std::unique_ptr<ViewControl> probe = newControl();
  ASSERT_NE(probe, nullptr);
  const comp::Variant args[] = {comp::Variant::bstr(dir_.file("none.tif")),
                                comp::Variant::bstr(dir_.file("none.tfx"))};
  if (probe->invoke(dispid::ConvertTiff2Tfx, comp::kMethod, args, nullptr) == comp::E_NOTIMPL)
    GTEST_SKIP() << "the control module does not convert yet (ConvertTiff2Tfx: E_NOTIMPL)";

  // A scanned text page (a bilevel G4 TIFF).
  const QString scan = file("scan_text300.tif");
  ASSERT_TRUE(QFile::copy(NORV_TEST_DATA "/scan_text300.tif", scan));
  NorvviewApp window;
  window.show();
  window.setWindowTitle("Norvview");
  DialogAnswers answers({scan, file("scan_text300.tfx")});
  ModalWatch watch([&answers](QWidget *modal) { answers(modal); });
  window.findChild<QAction *>("menuToolsConverttifftonorv")->trigger();
  EXPECT_EQ(answers.seen.size(), 2);
  EXPECT_TRUE(answers.seen.last().endsWith("|scan_text300.tfx"))
      << answers.seen.last().toStdString();
  EXPECT_TRUE(watch.messages().isEmpty()) << watch.messages().join("\n").toStdString();
  const QString out = file("scan_text300.tfx");
  ASSERT_TRUE(QFileInfo::exists(out));
  EXPECT_EQ(captions(window), QStringList{out});
  EXPECT_EQ(window.windowTitle(), "Norvview");  // the caption is back after converting
  NorvDoc *document = doc(window, 0);
  ASSERT_NE(document, nullptr);
  EXPECT_EQ(document->control().NumPages(), 1);
  EXPECT_TRUE(document->control().IsNorv());

  // The window shows the converted page as the control renders it: the part of the render
  // the view holds, pixel for pixel, with text on it, up to the page's last row and column.
  QWidget *view = document->findChild<QWidget *>("NorvCtl");
  ASSERT_NE(view, nullptr);
  QCoreApplication::processEvents();  // the window's layout settles
  const QImage shot = view->grab().toImage();
  const QImage render = controlRender(*document->NorvCtl()->dispatch(), 1);
  ASSERT_FALSE(render.isNull());
  const double zoom = document->control().ZoomFactor();
  ASSERT_GT(zoom, 0.0);
  // The scan is 801 x 401 pixels.
  EXPECT_EQ(render.width(), static_cast<int>(801 * zoom));
  EXPECT_EQ(render.height(), static_cast<int>(401 * zoom));
  const QImage visible = render.copy(0, 0, std::min(render.width(), shot.width()),
                                     std::min(render.height(), shot.height()));
  ASSERT_GT(visible.width(), 100);
  ASSERT_GT(visible.height(), 100);
  int dark = 0;
  for (int y = 0; y < visible.height(); ++y)
    for (int x = 0; x < visible.width(); ++x) dark += qGray(visible.pixel(x, y)) < 128;
  EXPECT_GT(dark, 100);
  EXPECT_LT(dark, visible.width() * visible.height() / 2);
  expectShowsRender(shot, visible);
}

// A conversion that fails says so in one sentence naming both files and the reason, and opens
// nothing: here the output's directory does not exist.
TEST_F(OpenDocumentsTest, FailedConversionShowsWhyAndOpensNothing) {
  std::unique_ptr<ViewControl> probe = newControl();
  ASSERT_NE(probe, nullptr);
  const QString scan = file("scan_text300.tif");
  ASSERT_TRUE(QFile::copy(NORV_TEST_DATA "/scan_text300.tif", scan));
  const QString out = file("none/scan_text300.tfx");
  NorvviewApp window;
  window.show();
  DialogAnswers answers({scan, out});
  ModalWatch watch([&answers](QWidget *modal) { answers(modal); });
  window.findChild<QAction *>("menuToolsConverttifftonorv")->trigger();
  EXPECT_EQ(watch.messages(),
            QStringList{"Norvview|Could not convert \"" + scan + "\" to \"" + out +
                        "\": " + QString::fromLocal8Bit(std::strerror(ENOENT)) + ".|OK"});
  EXPECT_TRUE(window.mdiArea()->subWindowList().isEmpty());
}

TEST(ConversionFailureTest, EachStatusGivesOneSentence) {
  struct Case {
    int32_t status;
    const char *reason;
  };
  for (const Case &c :
       {Case{12000 + EACCES, std::strerror(EACCES)}, Case{2000, "the scan could not be read"},
        Case{2001, "the converted file could not be written (is the disk full?)"},
        Case{-1, "the encoder stopped with status -1"}}) {
    EXPECT_EQ(conversionFailure("a.tif", "b.tfx", c.status),
              QString("Could not convert \"a.tif\" to \"b.tfx\": ") + c.reason + ".");
  }
}

}  // namespace
}  // namespace viewer
