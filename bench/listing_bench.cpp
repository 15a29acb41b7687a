// Times the listing of folders apart from the analysis.
//
//   listing_bench DATABASE.edb WORK_DIR [--preview-last] FOLDER...
//
// Runs the analysis once over a headless dialog, as the command line does, then lists
// each FOLDER (a tree path from the mailbox down, "Alice Example/Inbox") through the
// run control, the path a folder selection takes, and times each listing alone.
// Prints "analysis SECONDS s", then one line per folder:
// "folder NAME rows N time SECONDS s cpu SECONDS s" (wall clock, then CPU time).
// With --preview-last, the last row of each listing is then clicked and its preview
// timed alone: "preview NAME key KEY time SECONDS s cpu SECONDS s"; its files stay in
// WORK_DIR/Vestra (the next folder's preview replaces them).

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "bench/cpu_time.hpp"
#include "pipeline/headless_dialog.hpp"
#include "pipeline/run_control.hpp"
#include "pipeline/session.hpp"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

/// The tree item reached from a top-level item through the names of `path`.
edbx::TreeItem FindFolder(const edbx::HeadlessDialog& dialog, const std::string& path) {
  const auto names = edbx::split(edbx::utf8_to_utf16(path), u'/');
  for (edbx::TreeItem root : dialog.TopLevelItems()) {
    edbx::TreeItem at = root;
    for (const auto& name : names) {
      edbx::TreeItem next = edbx::kNoTreeItem;
      for (edbx::TreeItem child : dialog.Node(at).children)
        if (dialog.Node(child).name == name) {
          next = child;
          break;
        }
      at = next;
      if (at == edbx::kNoTreeItem) break;
    }
    if (at != edbx::kNoTreeItem) return at;
  }
  return edbx::kNoTreeItem;
}

}  // namespace

int main(int argc, char** argv) {
  const bool preview_last = argc > 3 && std::string(argv[3]) == "--preview-last";
  const int first_folder = preview_last ? 4 : 3;
  if (argc <= first_folder) {
    std::fprintf(stderr, "usage: listing_bench DATABASE.edb WORK_DIR [--preview-last] FOLDER...\n");
    return 2;
  }
  std::error_code ec;
  const fs::path work = fs::absolute(argv[2], ec);
  fs::create_directories(work, ec);

  edbx::HeadlessDialog dialog;
  edbx::Session session(dialog);
  session.database_path = fs::absolute(argv[1], ec);
  session.working_folder = work / "Vestra";
  session.startup_directory = work;
  session.current_page_path = work / "temp.html";
  session.program_folder = work;
  edbx::RunControl control(session);

  const auto analysis_start = Clock::now();
  control.StartAnalysis();
  control.Wait();
  const double analysis = Since(analysis_start);
  if (session.outcome != edbx::AnalysisOutcome::kSuccess) {
    std::fprintf(stderr, "%s: the analysis failed\n", argv[1]);
    return 1;
  }
  std::printf("analysis %.3f s\n", analysis);

  int status = 0;
  for (int i = first_folder; i < argc; ++i) {
    const edbx::TreeItem folder = FindFolder(dialog, argv[i]);
    if (folder == edbx::kNoTreeItem) {
      std::fprintf(stderr, "no folder '%s' in the tree\n", argv[i]);
      status = 1;
      continue;
    }
    // The events of the analysis and of earlier listings are not part of this one.
    dialog.ClearEvents();
    const auto start = Clock::now();
    const double cpu_start = edbx::bench::CpuSeconds();
    control.OnFolderSelected(folder);
    control.Wait();
    const double seconds = Since(start);
    std::printf("folder %s rows %zu time %.6f s cpu %.6f s\n", argv[i], dialog.Rows().size(), seconds,
                edbx::bench::CpuSeconds() - cpu_start);
    std::fflush(stdout);
    const auto rows = dialog.Rows();
    if (!preview_last || rows.empty()) continue;
    const std::size_t shown_before = dialog.Navigations().size();
    const auto preview_start = Clock::now();
    const double preview_cpu_start = edbx::bench::CpuSeconds();
    control.OnItemClicked(rows.back());
    control.Wait();
    const double preview_seconds = Since(preview_start);
    if (dialog.Navigations().size() == shown_before) {
      std::fprintf(stderr, "the preview of the last row of '%s' showed nothing\n", argv[i]);
      status = 1;
    }
    std::printf("preview %s key %s time %.6f s cpu %.6f s\n", argv[i], edbx::utf16_to_utf8(rows.back()[0]).c_str(),
                preview_seconds, edbx::bench::CpuSeconds() - preview_cpu_start);
    std::fflush(stdout);
  }
  return status;
}
