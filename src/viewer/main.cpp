// norvview: the viewer program. Shows the main window and runs until it closes.
#include <QApplication>

#include "main_window.h"

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Norvview");
  viewer::NorvviewApp window;
  window.show();
  return QApplication::exec();
}
