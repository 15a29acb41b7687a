// test_app SUITE [Qt Test options]: runs one suite of the desktop program's tests.

#include <QApplication>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>

#include "tests/app/app_tests.hpp"

int main(int argc, char** argv) {
  using namespace edbx::gui::test;
  const std::map<std::string, std::function<std::unique_ptr<QObject>()>> suites = {
      {"layout", MakeLayoutTest},   {"tree", MakeTreeTest},       {"selection", MakeSelectionDialogTest},
      {"dialog", MakeMainDialogTest}, {"pane", MakePreviewPaneTest}};
  if (argc < 2 || suites.count(argv[1]) == 0) {
    std::fprintf(stderr, "usage: test_app layout|tree|selection|dialog|pane [Qt Test options]\n");
    return 2;
  }
  QApplication app(argc, argv);
  const auto suite = suites.at(argv[1])();
  // Qt Test sees the program name and the options after the suite's name.
  argv[1] = argv[0];
  return QTest::qExec(suite.get(), argc - 1, argv + 1);
}
