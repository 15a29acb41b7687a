#include "app/small_dialogs.hpp"

#include <QAction>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>

#include "app/artwork.hpp"
#include "app/dialog_units.hpp"
#include "app/gui_texts.hpp"
#include "app/look.hpp"

namespace edbx::gui {

CAboutDlg::CAboutDlg(std::function<void()> confirm_close, QWidget* parent)
    : QDialog(parent), confirm_close_(std::move(confirm_close)) {
  setObjectName(QStringLiteral("aboutBox"));
  setWindowTitle(QString::fromLatin1(texts::kAboutTitle));
  setFont(DialogFont());
  setFixedSize(DluX(310), DluY(177));
  auto* picture = new QLabel(this);
  picture->setGeometry(0, 0, width(), height());
  picture->setPixmap(QPixmap::fromImage(DrawAboutPicture(width(), height())));
  auto* ok = new QPushButton(QString::fromLatin1(texts::kOk), this);
  ok->setGeometry(DluX(106), DluY(150), DluX(50), DluY(17));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* exit = new QAction(this);
  exit->setShortcut(QKeySequence::Quit);
  connect(exit, &QAction::triggered, this, [this] {
    if (confirm_close_) confirm_close_();
  });
  addAction(exit);
}

ExportOptionsDlg::ExportOptionsDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("exportOptions"));
  setWindowTitle(QString::fromLatin1(texts::kExportTitle));
  setFont(DialogFont());
  setFixedSize(DluX(230), DluY(110));
  auto radio = [this](const char* text, int y) {
    auto* r = new QRadioButton(QString::fromLatin1(text), this);
    r->setGeometry(DluX(16), DluY(y), DluX(200), DluY(12));
    return r;
  };
  mail_ = radio(texts::kExportMail, 10);
  contacts_ = radio(texts::kExportContacts, 26);
  calendar_ = radio(texts::kExportCalendar, 42);
  all_ = radio(texts::kExportAll, 58);
  all_->setChecked(true);
  export_ = new QPushButton(QString::fromLatin1(texts::kExport), this);
  export_->setGeometry(DluX(50), DluY(84), DluX(60), DluY(18));
  export_->setDefault(true);
  cancel_ = new QPushButton(QString::fromLatin1(texts::kCancel), this);
  cancel_->setGeometry(DluX(120), DluY(84), DluX(60), DluY(18));
  connect(export_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

ExportChoice ExportOptionsDlg::choice() const {
  if (mail_->isChecked()) return ExportChoice::kMail;
  if (contacts_->isChecked()) return ExportChoice::kContacts;
  if (calendar_->isChecked()) return ExportChoice::kCalendar;
  return ExportChoice::kAll;
}

QRadioButton* ExportOptionsDlg::option(ExportChoice c) const {
  switch (c) {
    case ExportChoice::kMail: return mail_;
    case ExportChoice::kContacts: return contacts_;
    case ExportChoice::kCalendar: return calendar_;
    case ExportChoice::kAll: break;
  }
  return all_;
}

void ExportOptionsDlg::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  p.fillRect(rect(), kBackground);
  QDialog::paintEvent(event);
}

}  // namespace edbx::gui
