// The viewer's about dialog and its system-information button. The button looks the program up
// in the registry root it is given: first the MSINFO key's PATH value, then the shared tools
// location's MSINFO value with MSINFO32.EXE inside it when that file exists; without a program
// it tells the user so and starts nothing.
#include "about_box.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace viewer {
namespace {

constexpr char kTitle[] = "Norvview";

QString settingsKey(const QString &keyName, const QString &subKeyRef) {
  QString key = keyName + "\\" + subKeyRef;
  return key.replace('\\', '/');
}

}  // namespace

AboutBox::AboutBox(const ControlVersion &control, QWidget *parent) : QDialog(parent) {
  setWindowTitle(QString("About ") + kTitle);
  auto *title = new QLabel(QString(kTitle) + " " + NORVVIEW_VERSION, this);
  title->setObjectName("lblTitle");
  auto *controlVersion =
      new QLabel("Norvview.ocx " + control.fileVersion + " built " + control.buildDate, this);
  controlVersion->setObjectName("Norvview_Ocx_Ver");
  auto *disclaimer = new QLabel("This is pre-alpha software!  Use at your own risk!", this);
  disclaimer->setObjectName("lblDisclaimer");
  auto *ok = new QPushButton("OK", this);
  ok->setObjectName("cmdOK");
  ok->setDefault(true);
  auto *sysInfo = new QPushButton("&System Info...", this);
  sysInfo->setObjectName("cmdSysInfo");
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(sysInfo, &QPushButton::clicked, this, [this] { cmdSysInfo_Click(); });

  auto *buttons = new QVBoxLayout;
  buttons->addWidget(ok);
  buttons->addWidget(sysInfo);
  buttons->addStretch();
  auto *texts = new QVBoxLayout;
  texts->addWidget(title);
  texts->addWidget(controlVersion);
  texts->addWidget(disclaimer);
  texts->addStretch();
  auto *layout = new QHBoxLayout(this);
  layout->addLayout(texts, 1);
  layout->addLayout(buttons);
}

void AboutBox::cmdSysInfo_Click() {
  const QSettings localMachine(QSettings::IniFormat, QSettings::SystemScope, kTitle,
                               "LocalMachine");
  StartSysInfo(this, localMachine);
}

bool GetKeyValue(const QSettings &root, const QString &keyName, const QString &subKeyRef,
                 QString &keyVal) {
  const QVariant value = root.value(settingsKey(keyName, subKeyRef));
  if (!value.isValid()) return false;
  if (value.typeId() == QMetaType::Int || value.typeId() == QMetaType::UInt ||
      value.typeId() == QMetaType::LongLong) {
    keyVal = "&h" + QString::number(value.toLongLong() & 0xFFFFFFFFLL, 16);
    return true;
  }
  if (value.typeId() != QMetaType::QString) return false;
  keyVal = value.toString();
  return true;
}

QString findSysInfoProgram(const QSettings &root) {
  QString path;
  if (GetKeyValue(root, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", path)) return path;
  QString folder;
  if (GetKeyValue(root, "SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO", folder)) {
    const QString program = folder + "/MSINFO32.EXE";
    if (QFileInfo::exists(program)) return program;
  }
  return {};
}

void StartSysInfo(QWidget *parent, const QSettings &root) {
  const QString program = findSysInfoProgram(root);
  if (program.isEmpty() || !QProcess::startDetached(program, {})) {
    QMessageBox::warning(parent, kTitle, "System Information Is Unavailable At This Time",
                         QMessageBox::Ok);
  }
}

}  // namespace viewer
