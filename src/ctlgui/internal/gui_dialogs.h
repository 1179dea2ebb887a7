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

}  // namespace gui

#endif
