// The viewer's main window NorvviewApp: a multiple-document frame with no document of its own,
// its File, Tools and Help menus, opening documents (File menu, command line, dropped files),
// the TIFF-to-Norv conversion through a hidden control, and the name rules of these commands.
#pragma once

#include <QList>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

#include "comp_dispatch.h"

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;

namespace viewer {

class ViewControl;

class NorvviewApp : public QMainWindow {
 public:
  explicit NorvviewApp(QWidget *parent = nullptr);
  ~NorvviewApp() override;

  QMdiArea *mdiArea() const { return mdi_; }

  // Start-up: a command line that is not empty is opened as one document name.
  void MDIForm_Load(const QString &commandLine);
  // Asks for a document and opens it.
  void OpenFile();
  // Opens one document window on fileName (cleaned by cleanFileName, and written back); a name
  // the control finds no page in gets the message "... is not a valid Norv file." and leaves no
  // window. An empty name opens nothing.
  void OpenFileByName(QString &fileName);
  // Asks for a TIFF file and an output name, converts and opens the result.
  void Tiff2Norv();
  // Steps after the dialogs: the caption while the hidden control converts tiff into out, then
  // the result opened.
  void ConvertAndOpen(const QString &tiff, const QString &out);

 protected:
  void dragEnterEvent(QDragEnterEvent *event) override;
  void dragMoveEvent(QDragMoveEvent *event) override;
  void dropEvent(QDropEvent *event) override;

 private:
  void menuHelpContents_Click();
  void menuHelpAbout_Click();
  // The open dialog's chosen name (empty when cancelled).
  QString askFileName(const QString &filter, const QString &defaultSuffix, bool save,
                      const QString &proposal);
  // The hidden window's control that runs conversions (NorvForm's NorvCtl), made on first use.
  ViewControl *norvForm();
  // The menu bar of the active document window (its own menus), or the frame's without one.
  void showMenusOf(QMdiSubWindow *active);

  QMdiArea *mdi_;
  std::unique_ptr<ViewControl> norvForm_;
  QList<QAction *> frameMenus_;
  QMenu *menuWindows_;  // a document window's "&Windows" menu: the frame's window list
};

// A document name as the open command takes it: trimmed of blanks (spaces), then one leading and
// one trailing double quote removed, each only when present.
QString cleanFileName(const QString &fileName);
// The conversion's proposed output name: the TIFF name up to its last ".", then ".tfx".
QString proposedOutputName(const QString &tiff);
// A file dialog filter in "text|patterns|text|patterns" form as Qt's name filters: each text
// with its patterns in parentheses, separated by blanks ("*.*" matches every name).
QStringList nameFilters(const QString &filter);
// Converts the TIFF file into a TIFF-FX file through the control's ConvertTiff2Tfx; a failure
// is shown in a message box over parent, one sentence naming both files and what went wrong.
// True when the whole document was written.
bool convertTiff(comp::Dispatch &converter, const QString &tiff, const QString &out,
                 QWidget *parent);
// That sentence for the control's status (not 0).
QString conversionFailure(const QString &tiff, const QString &out, int32_t status);

}  // namespace viewer
