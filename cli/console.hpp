#pragma once
// Console output of a headless run: status texts and messages on stderr as they
// happen, a progress bar when stderr is a terminal.

#include <chrono>
#include <cstdio>

#include "pipeline/headless_dialog.hpp"

namespace edbx::cli {

class ConsoleReporter {
 public:
  ConsoleReporter(HeadlessDialog& dialog, bool quiet);
  ~ConsoleReporter();

 private:
  void OnEvent(const HeadlessDialog::Event& e);
  void OnProgress(int pos);
  void ClearBar();

  HeadlessDialog& dialog_;
  bool quiet_;
  bool tty_;
  bool bar_shown_ = false;
  int range_high_ = 100;
  std::chrono::steady_clock::time_point last_bar_{};
};

}  // namespace edbx::cli
