// The control module's dialogs as the rest of the module sees them: no Qt type crosses this
// header, so the component and registration code stays free of the toolkit.
#ifndef GUI_DIALOGS_H
#define GUI_DIALOGS_H

namespace gui {

// The property page's caption.
inline constexpr const char *kPropertyPageCaption = "General";

// Shows the about box modally and returns when it is closed. Does nothing when the program has
// no Qt application object (a module loaded by a program without a user interface).
void runAboutBox();

// Shows the property frame of an object modally: caption "<objectName> Properties", the
// property page on its tab "General", and the buttons OK, Cancel and Apply (the page edits no
// property, so none of them changes anything). Does nothing without a Qt application object.
void runPropertyFrame(const char *objectName);

// Shows a window the module made (a QWidget) and gives it the keyboard focus.
void activateWindow(void *window);

}  // namespace gui

#endif
