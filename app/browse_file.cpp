#include "app/browse_file.hpp"

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QStandardPaths>

#include "app/dialog_units.hpp"
#include "app/gui_texts.hpp"
#include "app/look.hpp"
#include "common/paths.hpp"

namespace edbx::gui {

namespace fs = std::filesystem;

fs::path DefaultWorkingFolder() {
  const auto base = PrivateWorkBase();
  if (!base) return {};
  return *base / texts::kWorkingSubfolder;
}

browsefile::Choosers browsefile::SystemChoosers() {
  Choosers c;
  c.database_file = [](QWidget* owner) {
    return QFileDialog::getOpenFileName(owner, QString::fromLatin1(texts::kOpenFileTitle), QString(),
                                        QString::fromLatin1(texts::kOpenFileFilter));
  };
  c.folder = [](QWidget* owner) {
    return QFileDialog::getExistingDirectory(owner, QString::fromLatin1(texts::kFolderBrowserTitle),
                                             QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
  };
  c.error = [](QWidget* owner, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, owner);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
  };
  return c;
}

namespace {

template <typename W>
W* Place(W* widget, int x, int y, int w, int h) {
  widget->setGeometry(DluX(x), DluY(y), DluX(w), DluY(h));
  return widget;
}

QString Text(const fs::path& p) { return QString::fromStdString(p.string()); }

}  // namespace

browsefile::browsefile(DatabaseSelection& selection, Choosers choosers, QWidget* parent)
    : QDialog(parent), selection_(selection), choosers_(std::move(choosers)) {
  setObjectName(QStringLiteral("browsefile"));
  setWindowTitle(QString::fromLatin1(texts::kSelectTitle));
  setFont(DialogFont());
  setFixedSize(DluX(377), DluY(124));
  setModal(true);
  Place(new QLabel(QString::fromLatin1(texts::kSelectHeading), this), 9, 21, 221, 13);
  Place(new QLabel(QString::fromLatin1(texts::kSelectDatabase), this), 8, 45, 88, 11);
  database_field_ = Place(new QLineEdit(this), 98, 42, 190, 16);
  browse_ = Place(new QPushButton(QString::fromLatin1(texts::kBrowse), this), 290, 42, 73, 16);
  Place(new QLabel(QString::fromLatin1(texts::kTempLocation), this), 7, 73, 80, 12);
  folder_field_ = Place(new QLineEdit(this), 98, 71, 189, 16);
  folder_button_ = Place(new QPushButton(QString::fromLatin1(texts::kSelectTempFolder), this), 289, 71, 73, 16);
  next_ = Place(new QPushButton(QString::fromLatin1(texts::kNext), this), 112, 101, 66, 18);
  cancel_ = Place(new QPushButton(QString::fromLatin1(texts::kCancel), this), 190, 101, 67, 18);
  for (QLineEdit* field : {database_field_, folder_field_}) {
    field->setReadOnly(true);  // display only
    field->setEnabled(false);
  }
  next_->setDefault(true);
  next_->setAutoDefault(true);
  cancel_->setAutoDefault(false);
  database_field_->setObjectName(QStringLiteral("databasePath"));
  folder_field_->setObjectName(QStringLiteral("workingFolder"));
  database_field_->setText(Text(selection_.database_path));
  folder_field_->setText(Text(selection_.working_folder));
  connect(browse_, &QPushButton::clicked, this, &browsefile::OnBrowse);
  connect(folder_button_, &QPushButton::clicked, this, &browsefile::OnSelectFolder);
  connect(next_, &QPushButton::clicked, this, &browsefile::OnNext);
  connect(cancel_, &QPushButton::clicked, this, &browsefile::reject);
}

void browsefile::OnBrowse() {
  const QString file = choosers_.database_file(this);
  if (file.isEmpty()) return;
  selection_.database_path = fs::absolute(fs::path(file.toStdString()));
  database_field_->setText(Text(selection_.database_path));
  // Choosing a database always resets the working folder to the default.
  selection_.working_folder = DefaultWorkingFolder();
  folder_field_->setText(Text(selection_.working_folder));
}

void browsefile::OnSelectFolder() {
  const QString folder = choosers_.folder(this);
  if (folder.isEmpty()) return;
  selection_.working_folder = fs::path(folder.toStdString()) / texts::kWorkingSubfolder;
  folder_field_->setText(Text(selection_.working_folder));
}

void browsefile::OnNext() {
  selection_.confirmed = true;
  std::error_code ec;
  if (selection_.database_path.empty() || !fs::is_regular_file(selection_.database_path, ec)) {
    choosers_.error(this, QString::fromLatin1(texts::kInvalidFile), QString::fromLatin1(texts::kProductName));
    return;
  }
  accept();
}

void browsefile::reject() {
  selection_.confirmed = false;
  QDialog::reject();
}

void browsefile::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  p.fillRect(rect(), kBackground);
  QDialog::paintEvent(event);
}

}  // namespace edbx::gui
