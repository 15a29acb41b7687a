// The desktop program under load: a worker sends 500 folders to the tree and 50,000
// rows to the item list through the dialog operations, as the analysis and a listing
// do, while a timer on the interface thread measures how long the window goes without
// a turn of its event loop. Prints the figures.

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include <QTreeWidgetItemIterator>

#include "app/main_dialog.hpp"

using namespace edbx;

/// The analysis of a real store in the window: how long it takes and how long the
/// window goes without a turn of its event loop meanwhile.
int AnalyseStore(QApplication& app, const char* db, const char* work) {
  gui::CEDBExportDlg dlg;
  dlg.SetMessageBoxHook([](const QString&, const QString&, unsigned) { return kAnswerOk; });
  dlg.resize(1600, 1000);
  dlg.show();
  QElapsedTimer settle;
  settle.start();
  while (settle.elapsed() < 1500) QApplication::processEvents(QEventLoop::AllEvents, 50);
  qint64 longest_gap = 0;
  QElapsedTimer since_tick, clock;
  QTimer tick;
  tick.setInterval(5);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    longest_gap = std::max(longest_gap, since_tick.restart());
    if (dlg.session().outcome != AnalysisOutcome::kNone && !dlg.run_control().Busy()) QApplication::exit(0);
  });
  since_tick.start();
  clock.start();
  tick.start();
  if (!dlg.OpenDatabase(db, work)) {
    std::fprintf(stderr, "cannot open %s\n", db);
    return 1;
  }
  app.exec();
  int folders = 0;
  for (QTreeWidgetItemIterator it(dlg.tree()); *it; ++it) ++folders;
  std::printf("analysis: %lld ms, %d tree items, longest interface-thread gap: %lld ms\n",
              static_cast<long long>(clock.elapsed()), folders, static_cast<long long>(longest_gap));
  return 0;
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc == 4 && std::string(argv[1]) == "--analyse") return AnalyseStore(app, argv[2], argv[3]);
  const int rows = argc > 1 ? std::atoi(argv[1]) : 50000;
  const int folders = argc > 2 ? std::atoi(argv[2]) : 500;
  gui::CEDBExportDlg dlg;
  dlg.resize(1600, 1000);
  dlg.show();
  DialogOps& ops = *dlg.session().dialog;

  // The window's own start (the web engine starting up) is not part of the figures.
  QElapsedTimer settle;
  settle.start();
  while (settle.elapsed() < 1500) QApplication::processEvents(QEventLoop::AllEvents, 50);
  qint64 longest_gap = 0;
  std::atomic<int> phase{0};  // 0 tree, 1 list
  qint64 gaps[2] = {0, 0};
  QElapsedTimer since_tick;
  since_tick.start();
  QTimer tick;
  tick.setInterval(5);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const qint64 gap = since_tick.restart();
    longest_gap = std::max(longest_gap, gap);
    gaps[phase.load()] = std::max(gaps[phase.load()], gap);
  });
  tick.start();

  std::atomic<bool> worker_done{false};
  QElapsedTimer clock;
  clock.start();
  qint64 tree_ms = 0, list_sent_ms = 0;
  std::thread worker([&] {
    const TreeItem root = ops.InsertTreeItem(u"bench.edb", kTreeRoot, 0);
    TreeItem parent = ops.InsertTreeItem(u"Mailbox", root, 1);
    for (int i = 0; i < folders; ++i) {
      const TreeItem f = ops.InsertTreeItem(u"Folder " + decimal(i), parent, 7);
      if (i % 50 == 0) parent = f;  // some depth
      ops.ExpandTreeItem(f);
    }
    tree_ms = clock.elapsed();
    phase = 1;
    ops.ClearItemList();
    for (int i = 0; i < rows; ++i) {
      ops.InsertItemRow(i, {decimal(100000 + i), u"mail", decimal(i), u"", u"Sender " + decimal(i % 97),
                            u"Subject of message " + decimal(i), u"Jan,05 2010 14:03:59", u"false", u"", u"", u""});
      ops.FocusItemList();
      ops.SetProgressPos(i * 100 / rows);
      if (i % 1000 == 0) ops.SetStatusText(u"Status: row " + decimal(i));
    }
    list_sent_ms = clock.elapsed();
    worker_done = true;
  });
  QTimer check;
  check.setInterval(1);
  qint64 shown_ms = 0;
  QObject::connect(&check, &QTimer::timeout, [&] {
    if (worker_done && dlg.list_model()->rowCount() == rows) {
      shown_ms = clock.elapsed();
      QApplication::exit(0);
    }
  });
  check.start();
  app.exec();
  worker.join();

  // Scrolling to the end and back of the full list.
  QElapsedTimer scroll;
  scroll.start();
  dlg.list()->scrollToBottom();
  QApplication::processEvents();
  dlg.list()->scrollToTop();
  QApplication::processEvents();
  std::printf("folders: %d inserted in %lld ms\n", folders, static_cast<long long>(tree_ms));
  std::printf("rows: %d sent by the worker in %lld ms, all shown after %lld ms\n", rows,
              static_cast<long long>(list_sent_ms - tree_ms), static_cast<long long>(shown_ms - tree_ms));
  std::printf("longest interface-thread gap: %lld ms (tree %lld ms, list %lld ms)\n",
              static_cast<long long>(longest_gap), static_cast<long long>(gaps[0]), static_cast<long long>(gaps[1]));
  std::printf("scroll to the end and back: %lld ms\n", static_cast<long long>(scroll.elapsed()));
  return 0;
}
