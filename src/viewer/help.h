// The viewer's help: the help page lives in help/Norvview.html beside the installed program and
// is opened in the desktop's browser.
#pragma once

#include <QString>

namespace viewer {

// The help page of a viewer installed in programDir.
QString helpFilePath(const QString &programDir);
// Opens the help page beside the running program; false when it is missing or no browser
// takes it.
bool ShowHelpContents();

}  // namespace viewer
