#pragma once
// Test support: stores written by edbforge into a temporary folder, and an analysis
// of them with the headless dialog.

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

#include "pipeline/headless_dialog.hpp"
#include "pipeline/run_control.hpp"
#include "pipeline/session.hpp"
#include "tools/edbforge/store/description_json.hpp"
#include "tools/edbforge/store/store_builder.hpp"

namespace edbx::testing {

namespace fs = std::filesystem;

/// A fresh folder under the system temporary path, removed at the end of the test.
class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    path_ = fs::temp_directory_path() /
            ("edbx-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

/// Writes a store from a JSON description; `layout` overrides the description's.
inline fs::path WriteStore(const TempDir& dir, const std::string& json, const std::string& name = "store.edb",
                           std::optional<edbforge::store::Layout> layout = std::nullopt) {
  auto desc = edbforge::store::ParseDescription(json, dir.path());
  if (layout) desc.options.layout = *layout;
  const fs::path path = dir / name;
  edbforge::store::BuildStore(desc, path);
  return path;
}

/// A session over a headless dialog, its working files in the temporary folder.
struct Analysis {
  explicit Analysis(const TempDir& dir) : session(dialog) {
    dialog.RecordProgress(true);
    session.working_folder = dir / "Vestra";
    session.startup_directory = dir.path();
    session.current_page_path = dir / "temp.html";
    session.program_folder = dir.path();
    control = std::make_unique<RunControl>(session);
  }
  /// Runs the analysis of `database` and waits for its end.
  AnalysisOutcome Run(const fs::path& database) {
    session.database_path = database;
    control->StartAnalysis();
    control->Wait();
    return session.outcome;
  }
  /// The tree item reached from the database root through `names`; kNoTreeItem when absent.
  TreeItem Find(const std::vector<u16>& names) const {
    const auto roots = dialog.TopLevelItems();
    if (roots.empty()) return kNoTreeItem;
    TreeItem at = roots.back();
    for (const auto& name : names) {
      TreeItem next = kNoTreeItem;
      for (TreeItem child : dialog.Node(at).children)
        if (dialog.Node(child).name == name) next = child;
      if (next == kNoTreeItem) return kNoTreeItem;
      at = next;
    }
    return at;
  }
  /// Lists the folder at `names` and returns its rows.
  std::vector<ItemRow> List(const std::vector<u16>& names) {
    const TreeItem item = Find(names);
    if (item == kNoTreeItem) return {};
    control->OnFolderSelected(item);
    control->Wait();
    return dialog.Rows();
  }

  /// Clicks `row` and waits for its preview; the page the pane was sent to, or an
  /// empty path when nothing was shown.
  fs::path Preview(const ItemRow& row) {
    const std::size_t before = dialog.Navigations().size();
    control->OnItemClicked(row);
    control->Wait();
    const auto shown = dialog.Navigations();
    return shown.size() > before ? shown.back() : fs::path();
  }

  HeadlessDialog dialog;
  Session session;
  std::unique_ptr<RunControl> control;
};

}  // namespace edbx::testing
