// The viewer's help: the help page lives in help/Norvview.html beside the installed program and
// is opened in the desktop's browser.
#pragma once

#include <QString>

class QWidget;

namespace viewer {

// The help page of a viewer installed in programDir.
QString helpFilePath(const QString &programDir);
// Opens the help page beside the running program; false when it is missing or no browser
// takes it, which a message box over parent then says.
bool ShowHelpContents(QWidget *parent);
// Gives widget its help text: the tooltip, and the What's This text that What's This mode
// shows for a click on the widget (a widget without one would take the click and show nothing).
void setHelpText(QWidget *widget, const QString &text);

}  // namespace viewer
