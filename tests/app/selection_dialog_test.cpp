// The database selection dialog's rules: a valid file before "Next...", the working
// folder reset by every database choice, choices kept for the next selection.

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>

#include "app/browse_file.hpp"
#include "tests/app/app_tests.hpp"

namespace edbx::gui::test {

namespace fs = std::filesystem;

namespace {

struct Answers {
  QString file, folder;
  QStringList errors;
  browsefile::Choosers Choosers() {
    browsefile::Choosers c;
    c.database_file = [this](QWidget*) { return file; };
    c.folder = [this](QWidget*) { return folder; };
    c.error = [this](QWidget*, const QString& text, const QString& caption) { errors << text + "|" + caption; };
    return c;
  }
};

}  // namespace

class SelectionDialogTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QString db_;

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    db_ = dir_.filePath(QStringLiteral("priv1.edb"));
    std::ofstream(db_.toStdString()) << "x";
  }

  void NextWithoutAValidFileComplainsAndStaysOpen() {
    for (const QString& path : {QString(), dir_.filePath(QStringLiteral("missing.edb")), dir_.path()}) {
      DatabaseSelection sel;
      sel.database_path = path.toStdString();
      Answers a;
      browsefile dlg(sel, a.Choosers());
      dlg.show();
      dlg.next_button()->click();
      QCOMPARE(a.errors, QStringList{QStringLiteral("Please select valid file|Vestra Exchange Mailbox Recovery")});
      QVERIFY(dlg.isVisible());
      QCOMPARE(dlg.result(), int(QDialog::Rejected));
      QVERIFY(sel.confirmed);
      dlg.cancel_button()->click();  // and Cancel clears the flag again
      QVERIFY(!sel.confirmed);
      QVERIFY(!dlg.isVisible());
    }
  }

  void ChoosingADatabaseResetsTheWorkingFolder() {
    DatabaseSelection sel;
    Answers a;
    browsefile dlg(sel, a.Choosers());
    QCOMPARE(dlg.windowTitle(), QStringLiteral("File Open Dialog"));
    a.folder = dir_.filePath(QStringLiteral("chosen"));
    dlg.folder_button()->click();
    QCOMPARE(sel.working_folder, fs::path(a.folder.toStdString()) / "Vestra");
    QCOMPARE(dlg.folder_field()->text(), QString::fromStdString(sel.working_folder.string()));
    a.file = db_;
    dlg.browse_button()->click();
    QCOMPARE(sel.database_path, fs::path(db_.toStdString()));
    QCOMPARE(sel.working_folder, DefaultWorkingFolder());
    QCOMPARE(sel.working_folder.filename(), fs::path("Vestra"));
    // The default is a private folder of this user, never the shared temporary folder.
    QVERIFY(sel.working_folder.parent_path() != fs::temp_directory_path());
    QVERIFY(sel.working_folder.parent_path() != fs::path("/tmp"));
    // Cancelled choosers change nothing.
    a.file.clear();
    a.folder.clear();
    dlg.browse_button()->click();
    dlg.folder_button()->click();
    QCOMPARE(sel.database_path, fs::path(db_.toStdString()));
    QCOMPARE(sel.working_folder, DefaultWorkingFolder());
  }

  void ALaterSelectionKeepsThePreviousChoices() {
    DatabaseSelection sel;
    Answers a;
    a.file = db_;
    a.folder = dir_.filePath(QStringLiteral("work"));
    {
      browsefile first(sel, a.Choosers());
      first.browse_button()->click();
      first.folder_button()->click();
      first.next_button()->click();
      QCOMPARE(first.result(), int(QDialog::Accepted));
    }
    Answers none;
    browsefile second(sel, none.Choosers());
    QCOMPARE(second.database_field()->text(), db_);
    second.next_button()->click();
    QCOMPARE(second.result(), int(QDialog::Accepted));
    QVERIFY(none.errors.isEmpty());
    QVERIFY(sel.confirmed);
    QCOMPARE(sel.working_folder, fs::path(a.folder.toStdString()) / "Vestra");
  }
};

std::unique_ptr<QObject> MakeSelectionDialogTest() { return std::make_unique<SelectionDialogTest>(); }

}  // namespace edbx::gui::test

#include "selection_dialog_test.moc"
