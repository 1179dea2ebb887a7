// The module's dialogs as Qt widgets: the about box and the property page.
#ifndef CTLGUI_DIALOGS_H
#define CTLGUI_DIALOGS_H

class QDialog;
class QWidget;

namespace gui {

// The about box: caption "About Norvview Control", the control's icon, the version line, one
// notice line and an OK button that accepts the dialog.
QDialog *createAboutBox(QWidget *parent);

// The property page: an empty page (it edits no property) captioned "General".
QWidget *createPropertyPage(QWidget *parent);

// The property frame of an object: the property page on a tab of its caption, OK, Cancel and
// Apply; OK and Cancel close the frame.
QDialog *createPropertyFrame(const char *objectName, QWidget *parent);

}  // namespace gui

#endif
