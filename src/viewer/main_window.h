// The viewer's main window NorvviewApp: a multiple-document frame with no document of its own,
// its File, Tools and Help menus, and the name rules of its open and convert commands.
#pragma once

#include <QMainWindow>
#include <QString>

class QMdiArea;

namespace viewer {

class NorvviewApp : public QMainWindow {
 public:
  explicit NorvviewApp(QWidget *parent = nullptr);

  QMdiArea *mdiArea() const { return mdi_; }

 private:
  void menuHelpContents_Click();
  void menuHelpAbout_Click();

  QMdiArea *mdi_;
};

// A document name as the open command takes it: trimmed of blanks (spaces), then one leading and
// one trailing double quote removed, each only when present.
QString cleanFileName(const QString &fileName);
// The conversion's proposed output name: the TIFF name up to its last ".", then ".tfx".
QString proposedOutputName(const QString &tiff);

}  // namespace viewer
