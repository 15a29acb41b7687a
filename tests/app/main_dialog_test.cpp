// The main dialog: its texts, the states of its commands while jobs run, Stop and
// Resume, the close question, and a whole run on the demo store from the analysis to
// the preview of a clicked mail.

#include <QAction>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSizeGrip>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>
#include <QWebEnginePage>

#include <atomic>
#include <fstream>

#include "app/explorer.hpp"
#include "app/gui_texts.hpp"
#include "app/main_dialog.hpp"
#include "common/paths.hpp"
#include "tests/app/app_tests.hpp"

namespace edbx::gui::test {

namespace fs = std::filesystem;

namespace {

fs::path DemoStore() {
  const char* dir = std::getenv("EDBX_BINARY_DIR");
  return fs::path(dir != nullptr ? dir : "build") / "samples" / "demo-older.edb";
}

/// Records the message boxes and answers them.
struct Boxes {
  QStringList seen;
  int answer = kAnswerYes;
  CEDBExportDlg::MessageBoxHook Hook() {
    return [this](const QString& text, const QString& caption, unsigned) {
      seen << caption + "|" + text;
      return answer;
    };
  }
};

QString FileText(const fs::path& p) {
  const auto bytes = ReadWholeFile(p, 1 << 20);
  if (!bytes) return {};
  // The preview pages are UTF-16LE with a byte-order mark.
  if (bytes->size() >= 2 && static_cast<unsigned char>((*bytes)[0]) == 0xFF)
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes->data() + 2),
                              static_cast<qsizetype>((bytes->size() - 2) / 2));
  return QString::fromUtf8(bytes->data(), static_cast<qsizetype>(bytes->size()));
}

bool CommandsEnabled(CEDBExportDlg& d) {
  return d.button(Control::kBrowseButton)->isEnabled() || d.button(Control::kSaveButton)->isEnabled() ||
         d.action(Control::kOpenMenu)->isEnabled() || d.action(Control::kSaveMenu)->isEnabled();
}

bool AllCommandsEnabled(CEDBExportDlg& d) {
  return d.button(Control::kBrowseButton)->isEnabled() && d.button(Control::kSaveButton)->isEnabled() &&
         d.action(Control::kOpenMenu)->isEnabled() && d.action(Control::kSaveMenu)->isEnabled();
}

}  // namespace

class MainDialogTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;

 private slots:
  void initTestCase() { QVERIFY(dir_.isValid()); }

  void TextsAndTheCloseQuestion() {
    CEDBExportDlg d;
    QCOMPARE(d.windowTitle(), QStringLiteral("Vestra Exchange Mailbox Recovery 1.0"));
    QStringList menus;
    for (QAction* menu : d.menuBar()->actions()) {
      menus << menu->text();
      for (QAction* item : menu->menu()->actions()) menus << "  " + item->text();
    }
    QCOMPARE(menus, (QStringList{"File", "  Open Exchange EDB", "  Save Mailbox", "  Exit", "Help",
                                 "  About Vestra Exchange Mailbox Recovery", "  Software help topic"}));
    QCOMPARE(d.button(Control::kStopButton)->text(), QStringLiteral("Stop"));
    QCOMPARE(d.button(Control::kBrowseButton)->text(), QStringLiteral("Browse"));
    QCOMPARE(d.button(Control::kSaveButton)->text(), QStringLiteral("Save Mailbox"));
    QCOMPARE(d.exit_button()->text(), QStringLiteral("Exit"));
    QCOMPARE(d.status_text(1), QStringLiteral("Vestra IT Solutions"));
    QCOMPARE(d.status_text(3), QStringLiteral("Vestra Exchange Mailbox Recovery "));

    QString help;
    d.SetHelpOpener([&](const QString& path) { help = path; });
    d.menuBar()->actions()[1]->menu()->actions()[1]->trigger();
    QVERIFY(help.endsWith(QStringLiteral("/vestra-mailbox-recovery.html")));

    Boxes boxes;
    int ended = 0;
    d.SetMessageBoxHook(boxes.Hook());
    d.SetTerminate([&] { ++ended; });
    boxes.answer = kAnswerNo;
    d.exit_button()->click();
    QCOMPARE(ended, 0);
    d.close();  // the window's close box asks too
    QCOMPARE(ended, 0);
    boxes.answer = kAnswerYes;
    d.exit_button()->click();
    QCOMPARE(ended, 1);
    const QString question = QStringLiteral("  Vestra Exchange Mailbox Recovery             |"
                                            "Are you sure, you want to close..                       ");
    QCOMPARE(boxes.seen, (QStringList{question, question, question}));
  }

  void CancelledSelectionStartsNothingAndGripFollowsTheWindowState() {
    CEDBExportDlg d;
    browsefile::Choosers c = browsefile::SystemChoosers();
    c.database_file = [](QWidget*) { return QString(); };
    d.SetChoosers(c);
    QTimer::singleShot(0, [] {
      if (auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dlg->reject();
    });
    d.showMaximized();
    d.Start();
    QVERIFY(!d.run_control().Busy());
    QCOMPARE(d.tree()->topLevelItemCount(), 0);
    QCOMPARE(d.list_model()->rowCount(), 0);
    QVERIFY(AllCommandsEnabled(d));
    QTRY_VERIFY(d.isMaximized());
    QTRY_VERIFY(!d.size_grip()->isVisible());
    d.showNormal();
    QTRY_VERIFY(d.size_grip()->isVisible());
    // A client area smaller than the pane's margins leaves the pane no room, never a negative size.
    d.resize(200, 250);
    QTRY_COMPARE(d.explorer()->size(), QSize(0, 0));
    d.resize(1229, 965);
    QTRY_VERIFY(d.explorer()->width() > 900);
  }

  void StopPausesOnlyARunningJobAndCommandsWaitForIt() {
    CEDBExportDlg d;
    Boxes boxes;
    d.SetMessageBoxHook(boxes.Hook());
    d.show();
    // No job: the button asks nothing and changes nothing.
    d.button(Control::kStopButton)->click();
    QVERIFY(boxes.seen.isEmpty());
    QCOMPARE(d.button(Control::kStopButton)->text(), QStringLiteral("Stop"));

    std::atomic<bool> release{false};
    std::atomic<int> rounds{0};
    QVERIFY(d.run_control().StartJob(RunControl::Job::kSave, [&] {
      while (!release.load() && d.session().job.Checkpoint()) {
        ++rounds;
        QThread::msleep(5);
      }
    }));
    QTRY_VERIFY(!CommandsEnabled(d));  // a running job locks every command that starts another
    boxes.answer = kAnswerNo;
    d.button(Control::kStopButton)->click();
    QCOMPARE(d.button(Control::kStopButton)->text(), QStringLiteral("Stop"));
    QVERIFY(!d.session().job.Paused());
    boxes.answer = kAnswerYes;
    d.button(Control::kStopButton)->click();
    QCOMPARE(d.button(Control::kStopButton)->text(), QStringLiteral("Resume"));
    QVERIFY(d.session().job.Paused());
    QTest::qWait(100);
    const int paused_at = rounds.load();
    QTest::qWait(100);
    QCOMPARE(rounds.load(), paused_at);  // held between rounds
    d.button(Control::kStopButton)->click();
    QCOMPARE(d.button(Control::kStopButton)->text(), QStringLiteral("Stop"));
    QTRY_VERIFY(rounds.load() > paused_at);
    QCOMPARE(boxes.seen.size(), 3);
    QVERIFY(boxes.seen[1].startsWith(QStringLiteral("  Vestra Exchange Mailbox Recovery             |Do you want "
                                                     "to sure stop recovery process ?")));
    QVERIFY(boxes.seen[2].endsWith(QStringLiteral("|Do you want to sure resume recovery process ?")));
    release = true;
    QTRY_VERIFY(!d.run_control().Busy());
    QTRY_VERIFY(AllCommandsEnabled(d));
  }

  void AnalysisListingAndPreviewOfTheDemoStore() {
    const fs::path store = DemoStore();
    if (!fs::exists(store)) QSKIP("the demo store is not built");
    CEDBExportDlg d;
    Boxes boxes;
    d.SetMessageBoxHook(boxes.Hook());
    d.resize(1400, 900);
    d.show();
    const fs::path base = fs::path(dir_.path().toStdString()) / "run";
    QVERIFY(d.OpenDatabase(store, base));
    // Disabled before the worker ran a single step.
    QVERIFY(!CommandsEnabled(d));
    QVERIFY(!d.tree()->isEnabled());
    QCOMPARE(d.path_field()->text(), QString::fromStdString(store.string()));
    QCOMPARE(d.explorer()->last_page(), base / "temp.html");
    // The start page: its UTF-16LE code units behind a byte-order mark, so that the pane
    // reads them as such (without the mark it shows the markup as text).
    QCOMPARE(ReadWholeFile(base / "temp.html").value_or(""), "\xFF\xFE" + utf16le_bytes(texts::kStartPage));

    QTRY_VERIFY_WITH_TIMEOUT(d.session().outcome != AnalysisOutcome::kNone && !d.run_control().Busy(), 60000);
    QCOMPARE(boxes.seen.last(),
             QStringLiteral("  Vestra Exchange Mailbox Recovery  : Full Version v1.0             |"
                            "Analysis Completed successfully               "));
    QTRY_VERIFY(AllCommandsEnabled(d) && d.tree()->isEnabled());

    QTreeWidgetItem* inbox = d.FindFolder(QStringLiteral("Alice Example/Inbox"));
    QVERIFY(inbox != nullptr);
    QVERIFY(!inbox->icon(0).isNull());
    d.tree()->setCurrentItem(inbox);
    QTRY_VERIFY_WITH_TIMEOUT(!d.run_control().Busy() && d.list_model()->rowCount() > 0, 30000);
    QTRY_VERIFY(d.list()->isEnabled() && d.tree()->isEnabled());
    d.FlushPending();
    const int row = d.list_model()->Find(QStringLiteral("100000000100005"));
    QVERIFY(row >= 0);
    QCOMPARE(d.list_model()->RowAt(row)[5], QStringLiteral("Example News \u2013 January"));
    for (int c : {0, 1, 2, 3, 8, 9, 10}) QVERIFY(d.list()->isColumnHidden(c));
    QCOMPARE(d.list()->columnWidth(4), 300);

    // A click on the row: the preview worker writes the pages and the pane shows the frameset.
    const int before = d.navigations();
    d.list()->scrollTo(d.list_model()->index(row, 4));
    const QRect cell = d.list()->visualRect(d.list_model()->index(row, 5));
    QTest::mouseClick(d.list()->viewport(), Qt::LeftButton, {}, cell.center());
    QTRY_VERIFY_WITH_TIMEOUT(!d.run_control().Busy() && d.navigations() > before && d.explorer()->loaded(), 30000);
    const fs::path frameset = base / "Vestra" / "strEmlPath.html";
    QCOMPARE(d.explorer()->last_page(), frameset);
    QCOMPARE(d.explorer()->url(), QUrl::fromLocalFile(QString::fromStdString(frameset.string())));
    const QString written = FileText(frameset);
    QVERIFY(written.contains(QStringLiteral("<frameset")));
    QVERIFY(written.contains(QStringLiteral("htmlbody.html")));
    QVERIFY(FileText(base / "Vestra" / "header.html").contains(QStringLiteral("Example News")));
    // What the pane holds is that frameset.
    QString shown;
    d.explorer()->page()->toHtml([&](const QString& html) { shown = html; });
    QTRY_VERIFY(!shown.isEmpty());
    QVERIFY(shown.contains(QStringLiteral("<frameset"), Qt::CaseInsensitive));
    QVERIFY(shown.contains(QStringLiteral("header.html")));
    QTRY_VERIFY(d.tree()->isEnabled() && d.list()->isEnabled() && AllCommandsEnabled(d));

    // A folder without items leaves an empty list: the previous rows are gone.
    QTreeWidgetItem* empty = d.FindFolder(QStringLiteral("Alice Example/Sync Issues"));
    QVERIFY(empty != nullptr);
    d.tree()->setCurrentItem(empty);
    QTRY_VERIFY_WITH_TIMEOUT(!d.run_control().Busy(), 30000);
    d.FlushPending();
    QCOMPARE(d.list_model()->rowCount(), 0);
  }

  void ExportOptionsAndASaveRunOverTheCheckedFolders() {
    {
      ExportOptionsDlg options;
      QCOMPARE(options.windowTitle(), QStringLiteral("Choose Export Options.."));
      QStringList texts;
      for (ExportChoice c : {ExportChoice::kMail, ExportChoice::kContacts, ExportChoice::kCalendar, ExportChoice::kAll})
        texts << options.option(c)->text();
      QCOMPARE(texts, (QStringList{"  Export Email Items", "  Export Contact Items", "  Export Calendar Items",
                                   "  Export All Items (Email, Contact && Calender)"}));
      QCOMPARE(options.export_button()->text(), QStringLiteral("Export"));
      QCOMPARE(options.cancel_button()->text(), QStringLiteral("Cancel"));
      options.option(ExportChoice::kContacts)->setChecked(true);
      QCOMPARE(options.choice(), ExportChoice::kContacts);
    }
    const fs::path store = DemoStore();
    if (!fs::exists(store)) QSKIP("the demo store is not built");
    const fs::path saver_folder = store.parent_path().parent_path() / "bin";
    if (!fs::exists(saver_folder / "mailsaving")) QSKIP("mailsaving is not built");
    CEDBExportDlg d;
    Boxes boxes;
    d.SetMessageBoxHook(boxes.Hook());
    d.show();
    const fs::path base = fs::path(dir_.path().toStdString()) / "save";
    QVERIFY(d.OpenDatabase(store, base));
    QTRY_VERIFY_WITH_TIMEOUT(d.session().outcome != AnalysisOutcome::kNone && !d.run_control().Busy(), 60000);
    QTRY_VERIFY(AllCommandsEnabled(d));
    d.session().program_folder = saver_folder;
    d.tree()->ToggleCheck(d.FindFolder(QStringLiteral("Alice Example/Contacts")));
    std::optional<ExportChoice> answer = ExportChoice::kContacts;
    d.SetExportChooser([&](QWidget*) { return answer; });
    const fs::path out = fs::path(dir_.path().toStdString()) / "saved";
    d.SetSaveFolderChooser([&](QWidget*) { return QString::fromStdString(out.string()); });
    boxes.seen.clear();
    answer.reset();  // "Cancel" in the options starts nothing
    d.button(Control::kSaveButton)->click();
    QVERIFY(!d.run_control().Busy());
    answer = ExportChoice::kContacts;
    d.button(Control::kSaveButton)->click();
    QVERIFY(!CommandsEnabled(d));  // locked before the run's first item
    QVERIFY(!d.tree()->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!d.run_control().Busy() && !boxes.seen.isEmpty(), 120000);
    QCOMPARE(boxes.seen.size(), 1);
    QVERIFY2(boxes.seen[0].startsWith(QStringLiteral("Vestra Exchange Mailbox Recovery|Saving Status: ")),
             qPrintable(boxes.seen[0]));
    QVERIFY2(boxes.seen[0].contains(QStringLiteral(" 0 failed")), qPrintable(boxes.seen[0]));
    QVERIFY2(!boxes.seen[0].contains(QStringLiteral("Status: 0 item(s) saved")), qPrintable(boxes.seen[0]));
    // Only the checked folder's contacts were saved: one card each, nothing else.
    int cards = 0, others = 0;
    for (const auto& e : fs::recursive_directory_iterator(out))
      if (e.is_regular_file()) ++(e.path().extension() == ".vcf" ? cards : others);
    QVERIFY(cards > 0);
    QCOMPARE(others, 0);
    QTRY_VERIFY(AllCommandsEnabled(d) && d.tree()->isEnabled() && d.list()->isEnabled());
  }
};

std::unique_ptr<QObject> MakeMainDialogTest() { return std::make_unique<MainDialogTest>(); }

}  // namespace edbx::gui::test

#include "main_dialog_test.moc"
