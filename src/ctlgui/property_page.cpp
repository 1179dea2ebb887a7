// The property page: an empty page captioned "General". The control has no property it edits
// here; the page exists so that containers find the one page the control lists.
#include <QWidget>

#include "dialogs.h"
#include "gui_dialogs.h"

namespace gui {

QWidget *createPropertyPage(QWidget *parent) {
  auto *page = new QWidget(parent);
  page->setWindowTitle(kPropertyPageCaption);
  page->setObjectName("propertyPage");
  return page;
}

}  // namespace gui
