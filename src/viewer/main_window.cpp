// The viewer's main window: the frame of the document windows (a QMdiArea), sized 9000 by
// 12600 twips at the screen's resolution, with the menus "&File", "&Tools" and "&Help". Help
// opens the help page, puts the window in What's-This mode or shows the about box modally.
//
// Opening a document makes and shows its window first, then gives the cleaned name to the
// window's control; a document of no pages closes the window again and says so. Dropped file
// lists open file by file, in order. The conversion runs on a control of its own that no window
// shows, synchronously, with the caption as its only sign of progress.
#include "main_window.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QScreen>
#include <QUrl>
#include <QWhatsThis>
#include <cstring>
#include <span>

#include "about_box.h"
#include "control_ids.h"
#include "control_loader.h"
#include "dispatch_calls.h"
#include "help.h"
#include "norv_doc.h"
#include "norv_doc_commands.h"

namespace viewer {
namespace {

// A new document window over a new control of the program's module (the window owns it); null
// (and *error says why) when no control can be made.
NorvDoc *newDocument(QString *error) {
  auto doc = std::make_unique<NorvDoc>(nullptr, error);
  return doc->NorvCtl() != nullptr ? doc.release() : nullptr;
}

constexpr char kTitle[] = "Norvview";
constexpr int kWidthTwips = 9000;
constexpr int kHeightTwips = 12600;

int twipsToPixels(int twips, double dotsPerInch) {
  return static_cast<int>(twips * dotsPerInch / 1440.0 + 0.5);
}

QAction *addItem(QMenu *menu, const char *name, const char *caption) {
  QAction *action = menu->addAction(caption);
  action->setObjectName(name);
  return action;
}

}  // namespace

NorvviewApp::NorvviewApp(QWidget *parent) : QMainWindow(parent), mdi_(new QMdiArea(this)) {
  setObjectName("NorvviewApp");
  setWindowTitle("Norvview");
  setCentralWidget(mdi_);
  const QScreen *display = screen();
  const double dpiX = display != nullptr ? display->logicalDotsPerInchX() : 96.0;
  const double dpiY = display != nullptr ? display->logicalDotsPerInchY() : 96.0;
  resize(twipsToPixels(kWidthTwips, dpiX), twipsToPixels(kHeightTwips, dpiY));

  QMenu *file = menuBar()->addMenu("&File");
  file->setObjectName("menuFile");
  connect(addItem(file, "menuFileOpen", "&Open..."), &QAction::triggered, this,
          [this] { OpenFile(); });
  file->addSeparator()->setObjectName("menuFileSep");
  connect(addItem(file, "menuFileExit", "E&xit"), &QAction::triggered, this, &QWidget::close);

  QMenu *tools = menuBar()->addMenu("&Tools");
  tools->setObjectName("menuTools");
  connect(addItem(tools, "menuToolsConverttifftonorv", "Convert Tiff to Norv"), &QAction::triggered,
          this, [this] { Tiff2Norv(); });

  QMenu *help = menuBar()->addMenu("&Help");
  help->setObjectName("menuHelp");
  connect(addItem(help, "menuHelpContents", "&Contents..."), &QAction::triggered, this,
          [this] { menuHelpContents_Click(); });
  connect(addItem(help, "menuHelpWhatsthis", "&What's This?"), &QAction::triggered, this,
          [] { QWhatsThis::enterWhatsThisMode(); });
  help->addSeparator()->setObjectName("menuHelpSep");
  connect(addItem(help, "menuHelpAbout", "&About Norvview..."), &QAction::triggered, this,
          [this] { menuHelpAbout_Click(); });
  frameMenus_ = menuBar()->actions();
  menuWindows_ = new QMenu("&Windows", this);
  menuWindows_->setObjectName("menuWindows");
  connect(menuWindows_, &QMenu::aboutToShow, this, [this] {
    menuWindows_->clear();
    const QList<QMdiSubWindow *> windows = mdi_->subWindowList();
    for (qsizetype i = 0; i < windows.size(); ++i) {
      const QPointer<QMdiSubWindow> window = windows[i];
      QAction *item =
          menuWindows_->addAction(QString("&%1 %2").arg(i + 1).arg(window->windowTitle()));
      item->setCheckable(true);
      item->setChecked(window == mdi_->activeSubWindow());
      connect(item, &QAction::triggered, this, [this, window] {
        if (window != nullptr) mdi_->setActiveSubWindow(window);
      });
    }
  });
  connect(mdi_, &QMdiArea::subWindowActivated, this, &NorvviewApp::showMenusOf);
  setAcceptDrops(true);
}

void NorvviewApp::showMenusOf(QMdiSubWindow *active) {
  const NorvDocCommands *commands = nullptr;
  if (active != nullptr && active->widget() != nullptr) {
    commands = dynamic_cast<const NorvDocCommands *>(
        active->widget()->findChild<QObject *>("NorvDocCommands", Qt::FindDirectChildrenOnly));
  }
  menuBar()->clear();
  if (commands == nullptr) {
    menuBar()->addActions(frameMenus_);
    return;
  }
  // File, Edit and View, the window list, then Tools and Help.
  const std::span<QMenu *const> menus = commands->menus();
  for (size_t i = 0; i < menus.size(); ++i) {
    menuBar()->addMenu(menus[i]);
    if (i == 2) menuBar()->addMenu(menuWindows_);
  }
}

NorvviewApp::~NorvviewApp() {
  // The frame's children go after this: their last activations change no menu.
  disconnect(mdi_, nullptr, this, nullptr);
}

void NorvviewApp::MDIForm_Load(const QString &commandLine) {
  if (commandLine.isEmpty()) return;
  QString name = commandLine;
  OpenFileByName(name);
}

void NorvviewApp::OpenFile() {
  QString name = askFileName("Norv (*.tfx)|*.tfx|TIFF(*.tif;*.tiff)|*.tif;*.tiff|All Files|*.*",
                             "tfx", false, QString());
  OpenFileByName(name);
}

void NorvviewApp::OpenFileByName(QString &fileName) {
  if (fileName.isEmpty()) return;
  QString error;
  NorvDoc *doc = newDocument(&error);
  fileName = cleanFileName(fileName);
  if (doc == nullptr) {
    // Without a control the reason is the loader's, not the document's.
    QMessageBox box(QMessageBox::NoIcon, kTitle, error, QMessageBox::Ok, this);
    box.exec();
    return;
  }
  // The window's commands, with the main window's own open, exit and conversion.
  new NorvDocCommands(*doc, {[this] { OpenFile(); },
                             [this](const QString &name) {
                               QString copy = name;
                               OpenFileByName(copy);
                             },
                             [this] { close(); },
                             [this]() -> comp::Dispatch * {
                               ViewControl *control = norvForm();
                               return control != nullptr ? control->dispatch() : nullptr;
                             }});
  doc->setAttribute(Qt::WA_DeleteOnClose);
  ControlCalls &control = doc->control();
  ctlPut(control.dispatch(), dispid::FileName, comp::Variant::bstr(fileName.toStdString()));
  if (control.NumPages() == 0) {
    // The window goes before it is shown, so the other windows keep their places and states (a
    // maximised one stays maximised).
    delete doc;
    QMessageBox box(QMessageBox::NoIcon, kTitle, "\"" + fileName + "\" is not a valid Norv file.",
                    QMessageBox::Ok, this);
    box.exec();
    return;
  }
  QMdiSubWindow *frame = mdi_->addSubWindow(doc);
  frame->setAttribute(Qt::WA_DeleteOnClose);
  // A new document window takes three quarters of the frame's area, as the platform's default
  // for child windows would give it.
  frame->resize(mdi_->viewport()->size() * 3 / 4);
  frame->show();
  doc->setWindowTitle(fileName);
  doc->FitToWidth();
}

void NorvviewApp::Tiff2Norv() {
  const QString tiff =
      askFileName("Tiff (*.tif;*.tiff)|*.tif;*.tiff|All Files (*.*)|*.*", "tif", false, QString());
  if (tiff.isEmpty()) return;
  const QString out =
      askFileName("Norv (*.tfx)|*.tfx|All Files|*.*", "tfx", true, proposedOutputName(tiff));
  if (out.isEmpty()) return;
  ConvertAndOpen(tiff, out);
}

void NorvviewApp::ConvertAndOpen(const QString &tiff, const QString &out) {
  const QString caption = windowTitle();
  setWindowTitle("Compressing \"" + tiff + "\" ... Please wait.");
  ViewControl *control = norvForm();
  const bool converted = control != nullptr && convertTiff(*control->dispatch(), tiff, out, this);
  setWindowTitle(caption);
  if (!converted) return;
  QString result = out;
  OpenFileByName(result);
}

QString conversionFailure(const QString &tiff, const QString &out, int32_t status) {
  // The statuses a conversion gives: the C library's error numbers from 12000 on (the output
  // could not be made or take its name), the reader's and the writer's, and the rest.
  QString reason;
  if (status >= 12000 && status < 13000)
    reason = QString::fromLocal8Bit(std::strerror(status - 12000));
  else if (status == 2000)
    reason = "the scan could not be read";
  else if (status == 2001)
    reason = "the converted file could not be written (is the disk full?)";
  else
    reason = "the encoder stopped with status " + QString::number(status);
  return "Could not convert \"" + tiff + "\" to \"" + out + "\": " + reason + ".";
}

bool convertTiff(comp::Dispatch &converter, const QString &tiff, const QString &out,
                 QWidget *parent) {
  const int32_t status =
      ctlCallI4(converter, dispid::ConvertTiff2Tfx,
                {comp::Variant::bstr(tiff.toStdString()), comp::Variant::bstr(out.toStdString())});
  if (status == 0) return true;
  QMessageBox box(QMessageBox::NoIcon, kTitle, conversionFailure(tiff, out, status),
                  QMessageBox::Ok, parent);
  box.exec();
  return false;
}

ViewControl *NorvviewApp::norvForm() {
  if (norvForm_ == nullptr) {
    if (ControlModule *module = ControlModule::shared(nullptr); module != nullptr)
      norvForm_ = module->create(nullptr);
  }
  return norvForm_.get();
}

QString NorvviewApp::askFileName(const QString &filter, const QString &defaultSuffix, bool save,
                                 const QString &proposal) {
  // The flags of the commands: the file must exist and there is no read-only box when opening;
  // an overwrite prompt when saving.
  QFileDialog dialog(this);
  dialog.setObjectName("CmDlg");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setNameFilters(nameFilters(filter));
  dialog.setDefaultSuffix(defaultSuffix);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (!proposal.isEmpty()) dialog.selectFile(proposal);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

void NorvviewApp::dragEnterEvent(QDragEnterEvent *event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void NorvviewApp::dragMoveEvent(QDragMoveEvent *event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void NorvviewApp::dropEvent(QDropEvent *event) {
  if (!event->mimeData()->hasUrls()) return;
  event->acceptProposedAction();
  // The list is taken first: opening shows message boxes that run the event loop.
  const QList<QUrl> urls = event->mimeData()->urls();
  for (const QUrl &url : urls) {
    if (!url.isLocalFile()) continue;
    QString name = url.toLocalFile();
    OpenFileByName(name);
  }
}

void NorvviewApp::menuHelpContents_Click() {
  ShowHelpContents(this);
}

void NorvviewApp::menuHelpAbout_Click() {
  AboutBox about(ControlVersion{}, this);
  about.exec();
}

QString cleanFileName(const QString &fileName) {
  // Blanks only: other white space belongs to the name.
  qsizetype first = 0;
  qsizetype last = fileName.size();
  while (first < last && fileName[first] == ' ') ++first;
  while (last > first && fileName[last - 1] == ' ') --last;
  QString name = fileName.mid(first, last - first);
  if (name.startsWith('"')) name.remove(0, 1);
  if (name.endsWith('"')) name.chop(1);
  return name;
}

QStringList nameFilters(const QString &filter) {
  const QStringList parts = filter.split('|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString text = parts[i];
    if (const qsizetype paren = text.indexOf('('); paren >= 0) text = text.left(paren);
    QString patterns = parts[i + 1];
    patterns.replace(';', ' ');
    if (patterns == "*.*") patterns = "*";
    filters << text.trimmed() + " (" + patterns + ")";
  }
  return filters;
}

QString proposedOutputName(const QString &tiff) {
  const qsizetype dot = tiff.lastIndexOf('.');
  return (dot >= 0 ? tiff.left(dot) : tiff) + ".tfx";
}

}  // namespace viewer
