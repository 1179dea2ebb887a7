// norvview: the viewer program. On its first start (no registry record of the view control yet)
// it registers the control module installed with it; then it shows the main window, opens the
// document its command line names (all arguments joined by blanks: one name) and runs until the
// main window closes.
#include <QApplication>
#include <QStringList>
#include <cstdio>

#include "control_loader.h"
#include "main_window.h"

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Norvview");
  QString error;
  if (!viewer::ensureControlRegistered(QApplication::applicationDirPath(), &error))
    std::fprintf(stderr, "norvview: %s\n", error.toLocal8Bit().constData());
  viewer::NorvviewApp window;
  window.show();
  window.MDIForm_Load(QApplication::arguments().mid(1).join(' '));
  return QApplication::exec();
}
