#include "cli/console.hpp"

#include <unistd.h>

#include <algorithm>

namespace edbx::cli {

namespace {
std::string Line(u16v text) {
  const u16 t = trim_blank(text);
  return utf16_to_utf8(t);
}
}  // namespace

ConsoleReporter::ConsoleReporter(HeadlessDialog& dialog, bool quiet)
    : dialog_(dialog), quiet_(quiet), tty_(::isatty(STDERR_FILENO) != 0) {
  dialog_.SetListener([this](const HeadlessDialog::Event& e) { OnEvent(e); });
  if (tty_ && !quiet_) dialog_.SetProgressListener([this](int pos) { OnProgress(pos); });
}

ConsoleReporter::~ConsoleReporter() {
  dialog_.SetListener({});
  dialog_.SetProgressListener({});
  ClearBar();
}

void ConsoleReporter::ClearBar() {
  if (!bar_shown_) return;
  std::fputs("\r\033[K", stderr);
  bar_shown_ = false;
}

void ConsoleReporter::OnEvent(const HeadlessDialog::Event& e) {
  using Kind = HeadlessDialog::Event::Kind;
  switch (e.kind) {
    case Kind::kStatus:
      if (quiet_ || trim_blank(e.text).empty()) return;
      ClearBar();
      std::fprintf(stderr, "%s\n", Line(e.text).c_str());
      break;
    case Kind::kMessageBox:
      if (quiet_) return;
      ClearBar();
      std::fprintf(stderr, "%s\n", Line(e.text).c_str());
      break;
    case Kind::kDiagnostic:
      ClearBar();
      std::fprintf(stderr, "edbexport: %s\n", utf16_to_utf8(e.text).c_str());
      break;
    case Kind::kProgressRange:
      range_high_ = e.b > 0 ? e.b : 100;
      break;
    default:
      break;
  }
}

void ConsoleReporter::OnProgress(int pos) {
  if (pos <= 0) {
    ClearBar();
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  if (bar_shown_ && now - last_bar_ < std::chrono::milliseconds(50)) return;
  last_bar_ = now;
  constexpr int kWidth = 40;
  const int filled = std::min(kWidth, pos * kWidth / (range_high_ > 0 ? range_high_ : 100));
  std::fprintf(stderr, "\r[%.*s%*s] %d", filled, "########################################", kWidth - filled, "", pos);
  bar_shown_ = true;
}

}  // namespace edbx::cli
