// The viewer's help module: the help page's place beside the program and its opening in the
// desktop's browser. A missing page is not handed to the browser.
#include "help.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace viewer {

QString helpFilePath(const QString &programDir) {
  return QDir(programDir).filePath("help/Norvview.html");
}

bool ShowHelpContents() {
  const QString page = helpFilePath(QCoreApplication::applicationDirPath());
  if (!QFileInfo(page).isFile()) return false;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(page));
}

}  // namespace viewer
