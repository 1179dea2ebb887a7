// The viewer's about dialog (caption "About Norvview"): the program's title and version, the
// view control's file version and build date, a notice, OK and a system-information button.
#pragma once

#include <QDialog>
#include <QString>

class QSettings;

namespace viewer {

// Version texts the about box asks of the view control.
struct ControlVersion {
  QString fileVersion;
  QString buildDate;
};

class AboutBox : public QDialog {
 public:
  AboutBox(const ControlVersion &control, QWidget *parent = nullptr);

 private:
  void cmdSysInfo_Click();
};

// A value of a key below a registry root: text as it stands, a whole number as hexadecimal
// text with the prefix "&h"; false when the key or value is missing or of another kind.
bool GetKeyValue(const QSettings &root, const QString &keyName, const QString &subKeyRef,
                 QString &keyVal);
// The system-information program named by the registry root; empty when there is none.
QString findSysInfoProgram(const QSettings &root);
// Starts the system-information program, or tells the user there is none.
void StartSysInfo(QWidget *parent, const QSettings &root);

}  // namespace viewer
