// The layout manager's arithmetic, on the main dialog's own entries and rectangles
// (pixels of the dialog template at 8 pt).

#include <QTest>

#include <map>

#include "app/dialog_layout.hpp"
#include "app/dialog_units.hpp"
#include "tests/app/app_tests.hpp"

namespace edbx::gui::test {

namespace {

struct Control {
  int id;
  unsigned flags;
  int x, y, w, h;  // dialog units
};
// The entries of the main dialog, in the order the dialog adds them.
const Control kControls[] = {
    {1001, 0xD0, 151, 83, 483, 124}, {1000, 0x70, 3, 83, 146, 309}, {1042, 0xD0, 470, 0, 168, 57},
    {1007, 0x90, 359, 60, 66, 20},   {1006, 0xD0, 90, 62, 265, 17}, {1005, 0xE0, 4, 383, 36, 16},
    {1034, 0xE0, 0, 375, 8, 8},      {1003, 0x90, 429, 60, 86, 20}, {1043, 0x90, 518, 60, 62, 20},
    {2, 0x90, 582, 60, 52, 20},
};

IntRect Pixels(const Control& c) {
  return {DluX(c.x), DluY(c.y), DluX(c.x) + DluX(c.w), DluY(c.y) + DluY(c.h)};
}

DialogLayout MainLayout(const IntRect& window) {
  DialogLayout layout;
  for (const auto& c : kControls) layout.Add(c.id, c.flags);
  layout.Start(window, [](int id, IntRect& r) {
    for (const auto& c : kControls)
      if (c.id == id) {
        r = Pixels(c);
        return true;
      }
    return false;
  });
  return layout;
}

std::map<int, DialogLayout::Move> ById(const std::vector<DialogLayout::Move>& moves) {
  std::map<int, DialogLayout::Move> out;
  for (const auto& m : moves) out.emplace(m.id, m);
  return out;
}

const Control& Find(int id) {
  for (const auto& c : kControls)
    if (c.id == id) return c;
  return kControls[0];
}

}  // namespace

class LayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void DialogUnitsConvertAsTheDialogFontDoes() {
    QCOMPARE(DluX(638), 957);
    QCOMPARE(DluY(408), 663);
    QCOMPARE(DluX(151), 227);  // 226.5 rounds up
    QCOMPARE(DluY(83), 135);   // 134.875
  }

  void WiderWindowMovesTheButtonsAndWidensTheStretchingControls() {
    const IntRect window{100, 50, 1057, 713};
    DialogLayout layout = MainLayout(window);
    const auto moves = ById(layout.Apply({100, 50, 1157, 713}));
    for (int id : {1007, 1003, 1043, 2}) {  // follow the right edge
      const IntRect r = Pixels(Find(id));
      QVERIFY(moves.count(id));
      QCOMPARE(moves.at(id).x, r.left + 100);
      QCOMPARE(moves.at(id).width, r.width());
      QCOMPARE(moves.at(id).y, r.top);
    }
    for (int id : {1001, 1006, 1042, 1005, 1034}) {  // stretch
      const IntRect r = Pixels(Find(id));
      QVERIFY(moves.count(id));
      QCOMPARE(moves.at(id).x, r.left);
      QCOMPARE(moves.at(id).width, r.width() + 100);
    }
    QVERIFY(!moves.count(1000));  // the tree keeps its width
    QCOMPARE(layout.total_width_change(), 100);
    QCOMPARE(layout.total_height_change(), 0);
  }

  void TallerWindowGrowsTheTreeAndMovesTheBottomControls() {
    DialogLayout layout = MainLayout({0, 0, 957, 663});
    const auto moves = ById(layout.Apply({0, 0, 957, 763}));
    const IntRect tree = Pixels(Find(1000));
    QCOMPARE(moves.at(1000).height, tree.height() + 100);
    QCOMPARE(moves.at(1000).y, tree.top);
    for (int id : {1005, 1034}) {
      QCOMPARE(moves.at(id).y, Pixels(Find(id)).top + 100);
      QCOMPARE(moves.at(id).height, Pixels(Find(id)).height());
    }
    for (int id : {1001, 1007, 2}) QVERIFY(!moves.count(id));  // fixed vertically
  }

  void MovingWithoutResizingMovesNothing() {
    DialogLayout layout = MainLayout({0, 0, 957, 663});
    QVERIFY(layout.Apply({40, 30, 997, 693}).empty());
    // The moved window is the new reference: a resize after it counts from there.
    const auto moves = ById(layout.Apply({40, 30, 1007, 693}));
    QCOMPARE(moves.at(2).x, Pixels(Find(2)).left + 10);
  }

  void CentredModesKeepHalfPixels() {
    DialogLayout layout;
    layout.Add(7, anchor::kCentreX | anchor::kCentreY);
    layout.Start({0, 0, 100, 100}, [](int, IntRect& r) {
      r = {10, 10, 20, 20};
      return true;
    });
    auto first = layout.Apply({0, 0, 101, 100});
    QCOMPARE(first.size(), std::size_t{1});
    QCOMPARE(first[0].x, 10);  // 10.5 is placed at 10
    auto second = layout.Apply({0, 0, 102, 100});
    QCOMPARE(second[0].x, 11);  // two halves make one pixel
    QCOMPARE(second[0].width, 10);
    QCOMPARE(second[0].y, 10);
  }

  void MissingControlsAndEntriesBeyondTheLimitAreIgnored() {
    DialogLayout layout;
    for (int i = 0; i < 257; ++i) layout.Add(i, anchor::kRightX | anchor::kFixedY);
    QCOMPARE(layout.size(), DialogLayout::kMaxEntries);
    layout.AddPlaced(999, anchor::kRightX | anchor::kBottomY, {0, 0, 1, 1});
    QCOMPARE(layout.size(), DialogLayout::kMaxEntries);
    layout.Start({0, 0, 100, 100}, [](int id, IntRect& r) {
      r = {0, 0, 5, 5};
      return id % 2 == 0;  // odd ids name no control
    });
    QCOMPARE(layout.Apply({0, 0, 110, 100}).size(), std::size_t{128});
  }
};

std::unique_ptr<QObject> MakeLayoutTest() { return std::make_unique<LayoutTest>(); }

}  // namespace edbx::gui::test

#include "layout_test.moc"
