#pragma once
// The database selection dialog: the user chooses the database file and the working
// folder before every analysis. The chosen paths outlive the dialog (a later selection
// starts from them); the working folder always ends in "Vestra".

#include <QDialog>

#include <filesystem>
#include <functional>

class QLineEdit;
class QPushButton;

namespace edbx::gui {

/// What the selection dialogs of one program run share.
struct DatabaseSelection {
  std::filesystem::path database_path;
  std::filesystem::path working_folder;
  bool confirmed = false;
};

/// The default working folder: the private per-user base followed by "Vestra" (never a
/// folder other users can write); empty when no private base can be made.
std::filesystem::path DefaultWorkingFolder();

class browsefile : public QDialog {
  Q_OBJECT

 public:
  /// Choosers the dialog asks; tests replace them. An empty result is a cancel.
  struct Choosers {
    std::function<QString(QWidget*)> database_file;
    std::function<QString(QWidget*)> folder;
    std::function<void(QWidget*, const QString& text, const QString& caption)> error;
  };
  static Choosers SystemChoosers();

  browsefile(DatabaseSelection& selection, Choosers choosers, QWidget* parent = nullptr);

  QLineEdit* database_field() const { return database_field_; }
  QLineEdit* folder_field() const { return folder_field_; }
  QPushButton* browse_button() const { return browse_; }
  QPushButton* folder_button() const { return folder_button_; }
  QPushButton* next_button() const { return next_; }
  QPushButton* cancel_button() const { return cancel_; }

  void reject() override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void OnBrowse();
  void OnSelectFolder();
  void OnNext();

  DatabaseSelection& selection_;
  Choosers choosers_;
  QLineEdit* database_field_;
  QLineEdit* folder_field_;
  QPushButton* browse_;
  QPushButton* folder_button_;
  QPushButton* next_;
  QPushButton* cancel_;
};

}  // namespace edbx::gui
