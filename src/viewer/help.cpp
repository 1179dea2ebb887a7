// The viewer's help module: the help page's place beside the program and its opening in the
// desktop's browser, with a message when that cannot be done (a missing page is not handed to
// the browser); the help texts of the windows' controls.
#include "help.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>
#include <QWidget>

namespace viewer {

QString helpFilePath(const QString &programDir) {
  return QDir(programDir).filePath("help/Norvview.html");
}

bool ShowHelpContents(QWidget *parent) {
  const QString page = helpFilePath(QCoreApplication::applicationDirPath());
  if (!QFileInfo(page).isFile()) {
    QMessageBox::warning(parent, "Norvview", "The help page " + page + " is missing.");
    return false;
  }
  if (QDesktopServices::openUrl(QUrl::fromLocalFile(page))) return true;
  QMessageBox::warning(parent, "Norvview",
                       "The help page " + page +
                           " cannot be shown: no web browser could be started. Open it in a "
                           "browser of your choice.");
  return false;
}

void setHelpText(QWidget *widget, const QString &text) {
  widget->setToolTip(text);
  widget->setWhatsThis(text);
}

}  // namespace viewer
