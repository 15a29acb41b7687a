// Check boxes of the folder tree: checking propagates down, ancestors follow their
// children, bold marks what is checked or holds something checked.

#include <QSignalSpy>
#include <QTest>

#include <set>

#include "app/artwork.hpp"
#include "app/folder_tree.hpp"
#include "tests/app/app_tests.hpp"

namespace edbx::gui::test {

namespace {

/// database / mailbox / {Inbox / {Projects}, Sent Items, Calendar}
struct Fixture {
  CFolderTreeCtrl1 tree;
  QTreeWidgetItem *root, *mailbox, *inbox, *projects, *sent, *calendar;
  Fixture() {
    const auto r = tree.InsertItem(QStringLiteral("db.edb"), 0, kIconFolder);
    const auto m = tree.InsertItem(QStringLiteral("Alice"), r, kIconFolder);
    const auto i = tree.InsertItem(QStringLiteral("Inbox"), m, kIconInbox);
    const auto p = tree.InsertItem(QStringLiteral("Projects"), i, kIconFolder);
    const auto s = tree.InsertItem(QStringLiteral("Sent Items"), m, kIconSent);
    const auto c = tree.InsertItem(QStringLiteral("Calendar"), m, kIconCalendar);
    root = tree.ItemOf(r), mailbox = tree.ItemOf(m), inbox = tree.ItemOf(i), projects = tree.ItemOf(p);
    sent = tree.ItemOf(s), calendar = tree.ItemOf(c);
    tree.expandAll();
  }
  bool Checked(QTreeWidgetItem* i) const { return CFolderTreeCtrl1::IsChecked(i); }
  bool Bold(QTreeWidgetItem* i) const { return CFolderTreeCtrl1::IsBold(i); }
};

}  // namespace

class TreeTest : public QObject {
  Q_OBJECT

 private slots:
  void CheckingAMailboxChecksItsFoldersAndUncheckingOneUnchecksTheAncestors() {
    Fixture f;
    f.tree.ToggleCheck(f.mailbox);
    for (auto* i : {f.mailbox, f.inbox, f.projects, f.sent, f.calendar}) {
      QVERIFY(f.Checked(i));
      QVERIFY(f.Bold(i));
    }
    QVERIFY(f.Checked(f.root));  // its only child is checked
    f.tree.ToggleCheck(f.sent);
    QVERIFY(!f.Checked(f.sent));
    QVERIFY(!f.Bold(f.sent));
    QVERIFY(!f.Checked(f.mailbox));
    QVERIFY(!f.Checked(f.root));
    QVERIFY(f.Bold(f.mailbox));  // still holds checked folders
    QVERIFY(f.Bold(f.root));
    for (auto* i : {f.inbox, f.projects, f.calendar}) QVERIFY(f.Checked(i));
    QCOMPARE(f.tree.CheckedItems().size(), std::size_t{3});
  }

  void CheckingTheLastUncheckedChildChecksTheParent() {
    Fixture f;
    f.tree.ToggleCheck(f.inbox);
    f.tree.ToggleCheck(f.sent);
    QVERIFY(!f.Checked(f.mailbox));
    QVERIFY(f.Bold(f.mailbox));
    f.tree.ToggleCheck(f.calendar);
    QVERIFY(f.Checked(f.mailbox));
    QVERIFY(f.Checked(f.root));
    // Unchecking everything below clears the bold marks up the tree.
    f.tree.ToggleCheck(f.mailbox);
    for (auto* i : {f.root, f.mailbox, f.inbox, f.projects}) {
      QVERIFY(!f.Checked(i));
      QVERIFY(!f.Bold(i));
    }
  }

  void OnlyAClickOnTheCheckBoxToggles() {
    Fixture f;
    f.tree.resize(300, 300);
    f.tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.tree));
    const QRect box = f.tree.CheckBoxRect(f.inbox);
    QVERIFY(box.isValid());
    QTest::mouseClick(f.tree.viewport(), Qt::LeftButton, {}, box.center());
    QVERIFY(f.Checked(f.inbox));
    QVERIFY(f.Checked(f.projects));
    QVERIFY(f.tree.currentItem() != f.inbox);  // the check box does not select
    // A click on the name selects the folder and leaves its check alone.
    QSignalSpy selected(&f.tree, &CFolderTreeCtrl1::FolderSelected);
    const QRect name = f.tree.visualItemRect(f.sent);
    QTest::mouseClick(f.tree.viewport(), Qt::LeftButton, {}, QPoint(name.right() - 4, name.center().y()));
    QCOMPARE(f.tree.currentItem(), f.sent);
    QVERIFY(!f.Checked(f.sent));
    QCOMPARE(selected.count(), 1);
    QCOMPARE(selected.at(0).at(0).value<CFolderTreeCtrl1::Handle>(), f.tree.HandleOf(f.sent));
  }

  void SixteenDistinctIcons() {
    std::set<QByteArray> seen;
    for (int i = 0; i < kTreeIconCount; ++i) {
      const QImage icon = DrawTreeIcon(i);
      QCOMPARE(icon.size(), QSize(16, 16));
      seen.insert(QByteArray(reinterpret_cast<const char*>(icon.constBits()), icon.sizeInBytes()));
    }
    QCOMPARE(seen.size(), std::size_t{kTreeIconCount});
  }
};

std::unique_ptr<QObject> MakeTreeTest() { return std::make_unique<TreeTest>(); }

}  // namespace edbx::gui::test

#include "tree_test.moc"
