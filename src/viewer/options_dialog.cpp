// The "Options" dialog (see options_dialog.h). The layout is in twips, the dialog units of the
// windows it was drawn for, converted at the screen's resolution. Nothing is validated: a field
// without a leading number applies 0, and a number too large for the control's 32-bit value is
// held at the largest one (the control clamps or accepts what it gets).
#include "options_dialog.h"

#include <QColorDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <algorithm>

#include "control_ids.h"
#include "dispatch_calls.h"
#include "document_access.h"
#include "help.h"
#include "util.h"

namespace viewer {
namespace {

int twips(const QWidget *widget, int value) {
  return value * widget->logicalDpiX() / 1440;
}

void place(QWidget *widget, int left, int top, int width, int height) {
  const QWidget *scale = widget->window();
  widget->setGeometry(twips(scale, left), twips(scale, top), twips(scale, width),
                      twips(scale, height));
}

QLineEdit *field(QWidget *panel, const char *name, const char *label, int row) {
  auto *text = new QLabel(label, panel);
  place(text, 0, 60 + row * 480, 2700, 315);
  auto *edit = new QLineEdit(panel);
  edit->setObjectName(name);
  setHelpText(edit, label);
  place(edit, 2760, row * 480, 1320, 315);
  return edit;
}

// The twips layout was drawn for a narrower font than the one at hand: each panel's labels
// widen to their texts, the fields beside them move right, and the panels grow by what the
// widest label lacked, which is given back (0 when every label fits).
int widenForLabels(const std::array<QWidget *, 2> &panels) {
  int lack = 0;
  for (QWidget *panel : panels)
    for (const QLabel *label : panel->findChildren<QLabel *>())
      lack = std::max(lack, label->sizeHint().width() - label->width());
  if (lack == 0) return 0;
  for (QWidget *panel : panels) {
    for (QWidget *child : panel->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
      if (qobject_cast<QLabel *>(child) != nullptr)
        child->resize(child->width() + lack, child->height());
      else
        child->move(child->x() + lack, child->y());
    }
    panel->resize(panel->width() + lack, panel->height());
  }
  return lack;
}

QString textOf(int32_t value) {
  return QString::number(value);
}

int32_t valueOf(const QLineEdit *edit) {
  return CLng(Val(edit->text().toStdString()));
}

}  // namespace

Options::Options(QWidget *parent) : QDialog(parent) {
  setObjectName("Options");
  setWindowTitle("Options");
  setModal(true);
  setAttribute(Qt::WA_DeleteOnClose, false);

  tbsOptions_ = new QTabBar(this);
  tbsOptions_->setObjectName("tbsOptions");
  tbsOptions_->addTab("Caching");
  tbsOptions_->setTabToolTip(0, "Caching Options");
  tbsOptions_->setTabWhatsThis(0, "Caching Options");
  tbsOptions_->addTab("Format");
  tbsOptions_->setTabToolTip(1, "Set Options for Group 2");
  tbsOptions_->setTabWhatsThis(1, "Set Options for Group 2");
  place(tbsOptions_, 120, 120, 4800, 400);

  for (size_t i = 0; i < picOptions_.size(); ++i) {
    picOptions_[i] = new QWidget(this);
    picOptions_[i]->setObjectName(QString("picOptions%1").arg(i));
    place(picOptions_[i], 315, 555, 4440, 1800);
  }
  ExtraPageCache_ = field(picOptions_[0], "ExtraPageCache", "Extra Page Cache Size (MB)", 0);
  FullPageCache_ = field(picOptions_[0], "FullPageCache", "Full-page Cache Threshold (MB)", 1);
  PageBreakSpace_ = field(picOptions_[1], "PageBreakSpace", "Pixels Between Pages", 0);
  auto *colourLabel = new QLabel("Background Color", picOptions_[1]);
  place(colourLabel, 0, 540, 2700, 315);
  AppBgColor_ = new QPushButton(picOptions_[1]);
  AppBgColor_->setObjectName("AppBgColor");
  setHelpText(AppBgColor_, "Background Color");
  place(AppBgColor_, 2760, 480, 1320, 375);

  auto *ok = new QPushButton("OK", this);
  ok->setObjectName("cmdOK");
  setHelpText(ok, "OK");
  ok->setDefault(true);
  place(ok, 1320, 2520, 1095, 375);
  auto *cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("cmdCancel");
  setHelpText(cancel, "Cancel");
  place(cancel, 2520, 2520, 1095, 375);
  cmdApply_ = new QPushButton("Apply", this);
  cmdApply_->setObjectName("cmdApply");
  setHelpText(cmdApply_, "Apply");
  place(cmdApply_, 3720, 2520, 1095, 375);

  for (QLineEdit *edit : {ExtraPageCache_, FullPageCache_, PageBreakSpace_})
    connect(edit, &QLineEdit::textChanged, this, &Options::markChanged);
  connect(AppBgColor_, &QPushButton::clicked, this, &Options::AppBgColor_Click);
  connect(tbsOptions_, &QTabBar::currentChanged, this, &Options::FixTabs);
  connect(cmdApply_, &QPushButton::clicked, this, &Options::DoApply);
  connect(ok, &QPushButton::clicked, this, [this] {
    DoApply();
    accept();
  });
  connect(cancel, &QPushButton::clicked, this, &Options::reject);

  // The dialog sees every key first, whichever field has the focus (for Ctrl+Tab).
  installEventFilter(this);
  for (QWidget *child : findChildren<QWidget *>()) child->installEventFilter(this);

  // Form_Load.
  cmdApply_->setEnabled(false);
  FixTabs();
  const int lack = widenForLabels(picOptions_);
  if (lack > 0)
    for (QPushButton *button : {ok, cancel, cmdApply_})
      button->move(button->x() + lack, button->y());
  setFixedSize(twips(this, 5055) + lack, twips(this, 3525));
  if (const QScreen *screen = this->screen(); screen != nullptr) {
    const QRect area = screen->geometry();
    move(area.left() + (area.width() - width()) / 2, area.top() + (area.height() - height()) / 2);
  }
}

void Options::Init(DocumentAccess &doc) {
  doc_ = &doc;
  comp::Dispatch &ctl = doc.control();
  ExtraPageCache_->setText(textOf(ctlGetI4(ctl, dispid::ExtraPageCacheSize)));
  FullPageCache_->setText(textOf(ctlGetI4(ctl, dispid::FullPageCacheThreshold)));
  PageBreakSpace_->setText(textOf(ctlGetI4(ctl, dispid::PageBreakSpace)));
  setButtonColour(doc.backColour());
  cmdApply_->setEnabled(false);
}

void Options::markChanged() {
  cmdApply_->setEnabled(true);
}

void Options::FixTabs() {
  for (int i = 0; i < static_cast<int>(picOptions_.size()); ++i) {
    QWidget *panel = picOptions_[static_cast<size_t>(i)];
    const bool selected = i == tbsOptions_->currentIndex();
    if (selected) panel->move(twips(this, 315), twips(this, 555));
    panel->setEnabled(selected);
    panel->setVisible(selected);
  }
}

void Options::DoApply() {
  if (!cmdApply_->isEnabled() || doc_ == nullptr) return;
  cmdApply_->setEnabled(false);
  comp::Dispatch &ctl = doc_->control();
  ctlPut(ctl, dispid::ExtraPageCacheSize, comp::Variant::i4(valueOf(ExtraPageCache_)));
  ctlPut(ctl, dispid::FullPageCacheThreshold, comp::Variant::i4(valueOf(FullPageCache_)));
  ctlPut(ctl, dispid::PageBreakSpace, comp::Variant::i4(valueOf(PageBreakSpace_)));
  ctlPut(ctl, dispid::BackColor, comp::Variant::i4(static_cast<int32_t>(oleColour(colour_))));
  doc_->setBackColour(colour_);
}

void Options::AppBgColor_Click() {
  const QColor chosen = QColorDialog::getColor(colour_, this, "Background Color");
  if (!chosen.isValid()) return;  // Cancel: nothing changes
  setButtonColour(chosen);
  markChanged();
}

void Options::setButtonColour(const QColor &colour) {
  colour_ = colour;
  AppBgColor_->setStyleSheet(QString("background-color: %1").arg(colour.name()));
}

bool Options::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == QEvent::KeyPress) {
    const auto *key = static_cast<QKeyEvent *>(event);
    // Ctrl+Tab, with no other shift key: the next tab, the last wrapping to the first.
    if (key->key() == Qt::Key_Tab && key->modifiers() == Qt::ControlModifier) {
      tbsOptions_->setCurrentIndex((tbsOptions_->currentIndex() + 1) % tbsOptions_->count());
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace viewer
