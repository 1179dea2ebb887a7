// The viewer's main window: the frame of the document windows (a QMdiArea), sized 9000 by
// 12600 twips at the screen's resolution, with the menus "&File", "&Tools" and "&Help". Help
// opens the help page, puts the window in What's-This mode or shows the about box modally.
#include "main_window.h"

#include <QAction>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QWhatsThis>

#include "about_box.h"
#include "help.h"

namespace viewer {
namespace {

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
  addItem(file, "menuFileOpen", "&Open...");
  file->addSeparator()->setObjectName("menuFileSep");
  connect(addItem(file, "menuFileExit", "E&xit"), &QAction::triggered, this, &QWidget::close);

  QMenu *tools = menuBar()->addMenu("&Tools");
  tools->setObjectName("menuTools");
  addItem(tools, "menuToolsConverttifftonorv", "Convert Tiff to Norv");

  QMenu *help = menuBar()->addMenu("&Help");
  help->setObjectName("menuHelp");
  connect(addItem(help, "menuHelpContents", "&Contents..."), &QAction::triggered, this,
          [this] { menuHelpContents_Click(); });
  connect(addItem(help, "menuHelpWhatsthis", "&What's This?"), &QAction::triggered, this,
          [] { QWhatsThis::enterWhatsThisMode(); });
  help->addSeparator()->setObjectName("menuHelpSep");
  connect(addItem(help, "menuHelpAbout", "&About Norvview..."), &QAction::triggered, this,
          [this] { menuHelpAbout_Click(); });
}

void NorvviewApp::menuHelpContents_Click() {
  ShowHelpContents();
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

QString proposedOutputName(const QString &tiff) {
  const qsizetype dot = tiff.lastIndexOf('.');
  return (dot >= 0 ? tiff.left(dot) : tiff) + ".tfx";
}

}  // namespace viewer
