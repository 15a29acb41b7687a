#pragma once
// The About box and the export options dialog of "Save Mailbox".

#include <QDialog>

#include <functional>

class QRadioButton;
class QPushButton;

namespace edbx::gui {

class CAboutDlg : public QDialog {
  Q_OBJECT
 public:
  /// `confirm_close` runs for the Exit command (32773) while the box shows.
  explicit CAboutDlg(std::function<void()> confirm_close, QWidget* parent = nullptr);

 private:
  std::function<void()> confirm_close_;
};

/// Which items a save run exports.
enum class ExportChoice { kMail, kContacts, kCalendar, kAll };

class ExportOptionsDlg : public QDialog {
  Q_OBJECT
 public:
  explicit ExportOptionsDlg(QWidget* parent = nullptr);
  ExportChoice choice() const;
  QRadioButton* option(ExportChoice c) const;
  QPushButton* export_button() const { return export_; }
  QPushButton* cancel_button() const { return cancel_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QRadioButton* mail_;
  QRadioButton* contacts_;
  QRadioButton* calendar_;
  QRadioButton* all_;
  QPushButton* export_;
  QPushButton* cancel_;
};

}  // namespace edbx::gui
