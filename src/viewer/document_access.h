// What the viewer's dialogs ask of the document window they are opened from: its view control,
// the window itself (their parent, repainted on request), its background colour, the selection
// of its own layer list and its common dialog for saving a file. The document window gives
// itself this way; the tests give a window over a loaded control.
#pragma once

#include <QColor>
#include <QString>
#include <cstdint>

#include "comp_dispatch.h"

class QWidget;

namespace viewer {

class DocumentAccess {
 public:
  virtual ~DocumentAccess() = default;
  // The control's dispatch interface.
  virtual comp::Dispatch &control() = 0;
  virtual QWidget *window() = 0;
  // Paints the window again now.
  virtual void repaintWindow() = 0;
  virtual QColor backColour() const = 0;
  virtual void setBackColour(const QColor &colour) = 0;
  // The list index of the window's layer list (-1 when nothing is selected).
  virtual int layerListIndex() const = 0;
  // The common dialog asking for a file to save: filter in Qt's form, the suffix added to a name
  // typed without one, the name it starts with; the chosen path, empty on Cancel.
  virtual QString saveFileName(const QString &filter, const QString &defaultSuffix,
                               const QString &startName) = 0;
};

// The common save dialog over parent (asks before overwriting a file); empty on Cancel.
QString runSaveDialog(QWidget *parent, const QString &filter, const QString &defaultSuffix,
                      const QString &startName);

// The OLE colour (0x00BBGGRR) of a colour.
uint32_t oleColour(const QColor &colour);

}  // namespace viewer
