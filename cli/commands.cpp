#include "cli/commands.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/console.hpp"
#include "export/save_run.hpp"
#include "common/paths.hpp"
#include "pipeline/headless_dialog.hpp"
#include "pipeline/run_control.hpp"
#include "pipeline/session.hpp"

namespace edbx::cli {

namespace {

using nlohmann::json;

int UsageError(const std::string& command, const std::string& message) {
  std::fprintf(stderr, "edbexport %s: %s\n", command.c_str(), message.c_str());
  return kExitUsage;
}

/// A headless session with its console output and run control.
struct Run {
  HeadlessDialog dialog;
  std::unique_ptr<ConsoleReporter> reporter;
  std::unique_ptr<Session> session;
  std::unique_ptr<RunControl> control;

  /// Sets up the paths; an error text when the database or the working folder is unusable.
  std::string Prepare(const std::string& db, const std::string& work, bool quiet) {
    std::error_code ec;
    if (!fs::is_regular_file(db, ec)) return "no such database file: " + db;
    reporter = std::make_unique<ConsoleReporter>(dialog, quiet);
    session = std::make_unique<Session>(dialog);
    session->database_path = fs::absolute(db, ec);
    fs::path base;
    if (!work.empty()) {
      base = fs::absolute(work, ec);
      fs::create_directories(base, ec);
      if (!fs::is_directory(base, ec)) return "cannot use the working folder " + work;
    } else {
      const auto priv = PrivateWorkBase();
      if (!priv) return "no private folder for working files (give --work DIR)";
      base = *priv;
    }
    session->working_folder = base / "Vestra";
    session->startup_directory = base;
    session->current_page_path = base / "temp.html";
    session->program_folder = ProgramFolder();
    control = std::make_unique<RunControl>(*session);
    return {};
  }

  bool Analyse() {
    control->StartAnalysis();
    control->Wait();
    return session->outcome == AnalysisOutcome::kSuccess;
  }
};

/// What the lists say about a tree item.
struct ItemInfo {
  u16 kind;
  u16 folder_id;
  bool is_folder = false;
};

std::map<TreeItem, ItemInfo> TreeInfo(const Session& s) {
  std::map<TreeItem, ItemInfo> info;
  for (const auto& f : s.lists.tree_folders) info[f.tree_item] = {f.kind, f.folder_id, true};
  for (const auto& f : s.lists.folders_2010) info[f.tree_item] = {f.kind, f.folder_id, true};
  return info;
}

/// Number of rows the listing of every folder yields, by tree item.
std::map<TreeItem, std::size_t> ItemCounts(Run& run, const std::map<TreeItem, ItemInfo>& info) {
  std::map<TreeItem, std::size_t> counts;
  for (const auto& [item, i] : info) {
    if (!i.is_folder) continue;
    run.session->lists.listed_bodies.clear();
    ListSelectedFolder(*run.session, item);
    counts[item] = run.dialog.Rows().size();
  }
  return counts;
}

json TreeJson(const HeadlessDialog& d, TreeItem item, const std::map<TreeItem, ItemInfo>& info,
              const std::map<TreeItem, std::size_t>* counts) {
  const auto node = d.Node(item);
  json j;
  j["name"] = utf16_to_utf8(node.name);
  j["icon"] = node.icon;
  const auto it = info.find(item);
  j["kind"] = it == info.end() ? "" : utf16_to_utf8(it->second.kind);
  j["folder_id"] = it == info.end() ? "" : utf16_to_utf8(it->second.folder_id);
  if (counts != nullptr && it != info.end() && it->second.is_folder) {
    const auto c = counts->find(item);
    j["items"] = c == counts->end() ? 0 : c->second;
  }
  j["children"] = json::array();
  for (TreeItem child : node.children) j["children"].push_back(TreeJson(d, child, info, counts));
  return j;
}

void PrintTree(const HeadlessDialog& d, TreeItem item, const std::map<TreeItem, ItemInfo>& info, int depth) {
  const auto node = d.Node(item);
  std::string line(static_cast<std::size_t>(depth) * 2, ' ');
  line += utf16_to_utf8(node.name);
  if (const auto it = info.find(item); it != info.end() && !it->second.kind.empty())
    line += "  [" + utf16_to_utf8(it->second.kind) + "]";
  std::printf("%s\n", line.c_str());
  for (TreeItem child : node.children) PrintTree(d, child, info, depth + 1);
}

/// The tree item a FOLDER argument names: "Mailbox/Folder/Sub" or "id:FOLDERID".
TreeItem FindFolder(const HeadlessDialog& d, const Session& s, const std::string& spec) {
  const auto info = TreeInfo(s);
  if (spec.rfind("id:", 0) == 0) {
    const u16 id = utf8_to_utf16(spec.substr(3));
    for (const auto& [item, i] : info)
      if (i.is_folder && !id.empty() && i.folder_id == id) return item;
    return kNoTreeItem;
  }
  const auto names = split(utf8_to_utf16(spec), u'/');
  for (TreeItem root : d.TopLevelItems()) {
    TreeItem at = root;
    for (const auto& name : names) {
      TreeItem next = kNoTreeItem;
      for (TreeItem child : d.Node(at).children)
        if (d.Node(child).name == name) {
          next = child;
          break;
        }
      at = next;
      if (at == kNoTreeItem) break;
    }
    if (at != kNoTreeItem && info.count(at) != 0) return at;
  }
  return kNoTreeItem;
}

/// Analyses the database (first argument) and lists the folder (second argument) as a
/// selection of it would. kExitOk with the folder's rows, else the exit status.
int AnalyseAndList(const char* command, const Options& o, Run& run, std::vector<ItemRow>& rows) {
  if (const std::string problem = run.Prepare(o.positional[0], o.work, o.quiet); !problem.empty())
    return UsageError(command, problem);
  if (!run.Analyse()) return kExitFailed;
  const TreeItem folder = FindFolder(run.dialog, *run.session, o.positional[1]);
  if (folder == kNoTreeItem) return UsageError(command, "no folder '" + o.positional[1] + "' in the tree");
  run.control->OnFolderSelected(folder);
  run.control->Wait();
  rows = run.dialog.Rows();
  return kExitOk;
}

}  // namespace

int Analyse(const Options& o) {
  if (o.positional.size() != 1) return UsageError("analyse", "expected one database file");
  Run run;
  if (const std::string problem = run.Prepare(o.positional[0], o.work, o.quiet); !problem.empty())
    return UsageError("analyse", problem);
  const bool ok = run.Analyse();
  const Session& s = *run.session;
  const auto info = TreeInfo(s);
  const auto roots = run.dialog.TopLevelItems();
  if (o.json) {
    const auto counts = ItemCounts(run, info);
    json j;
    j["store_type"] = utf16_to_utf8(s.store_type);
    j["layout"] = s.format_revision > 16 ? "newer" : "older";
    j["format_version"] = s.format_version;
    j["format_revision"] = s.format_revision;
    j["attachment_table"] = utf16_to_utf8(s.attachment_table_name);
    j["tables"] = json::array();
    for (const auto& t : s.catalog)
      j["tables"].push_back({{"name", utf16_to_utf8(t.table_name)}, {"key", utf16_to_utf8(t.table_key)}});
    j["tree"] = roots.empty() ? json() : TreeJson(run.dialog, roots.front(), info, &counts);
    std::printf("%s\n", j.dump(2).c_str());
  } else {
    for (TreeItem root : roots) PrintTree(run.dialog, root, info, 0);
  }
  return ok ? kExitOk : kExitFailed;
}

int List(const Options& o) {
  if (o.positional.size() != 2) return UsageError("list", "expected a database file and a folder");
  Run run;
  std::vector<ItemRow> rows;
  if (const int status = AnalyseAndList("list", o, run, rows); status != kExitOk) return status;
  if (o.json) {
    json j = json::array();
    for (const auto& row : rows) {
      json r = json::array();
      for (const auto& text : row) r.push_back(utf16_to_utf8(text));
      j.push_back(r);
    }
    std::printf("%s\n", j.dump(1).c_str());
  } else {
    std::printf("%-16s %-12s %-40s %-50s %-21s %s\n", "Key", "Kind", "From", "Subject", "Date", "Att");
    for (const auto& row : rows)
      std::printf("%-16s %-12s %-40s %-50s %-21s %s\n", utf16_to_utf8(row[0]).c_str(), utf16_to_utf8(row[1]).c_str(),
                  utf16_to_utf8(row[4]).c_str(), utf16_to_utf8(row[5]).c_str(), utf16_to_utf8(row[6]).c_str(),
                  utf16_to_utf8(row[7]).c_str());
  }
  return kExitOk;
}

int Preview(const Options& o) {
  if (o.positional.size() != 3) return UsageError("preview", "expected a database file, a folder and an item key");
  Run run;
  std::vector<ItemRow> rows;
  if (const int status = AnalyseAndList("preview", o, run, rows); status != kExitOk) return status;
  const u16 key = utf8_to_utf16(o.positional[2]);
  const auto row = std::find_if(rows.begin(), rows.end(), [&](const ItemRow& r) { return r[0] == key; });
  if (row == rows.end() || key.empty())
    return UsageError("preview", "no item '" + o.positional[2] + "' in folder '" + o.positional[1] + "'");
  const std::size_t shown_before = run.dialog.Navigations().size();
  run.control->OnItemClicked(*row);
  run.control->Wait();
  const auto shown = run.dialog.Navigations();
  if (shown.size() == shown_before) {
    std::fprintf(stderr, "edbexport preview: the item's record could not be read; nothing to show\n");
    return kExitFailed;
  }
  std::printf("%s\n", shown.back().c_str());
  return kExitOk;
}

namespace {

/// Console output of a save run: the per-folder progress line ("items done of items to
/// do") on a terminal, each folder's start otherwise, every problem on its own line.
class SaveReporter {
 public:
  SaveReporter(HeadlessDialog& dialog, bool quiet) : dialog_(dialog), quiet_(quiet), tty_(::isatty(STDERR_FILENO) != 0) {
    dialog_.KeepEvents(false);
    dialog_.SetListener([this](const HeadlessDialog::Event& e) { OnEvent(e); });
  }
  ~SaveReporter() {
    dialog_.SetListener({});
    EndLine();
  }

 private:
  void EndLine() {
    if (!line_open_) return;
    std::fputs("\n", stderr);
    line_open_ = false;
  }
  void OnEvent(const HeadlessDialog::Event& e) {
    using Kind = HeadlessDialog::Event::Kind;
    if (e.kind == Kind::kDiagnostic) {
      EndLine();
      std::fprintf(stderr, "edbexport: %s\n", utf16_to_utf8(e.text).c_str());
      return;
    }
    if (e.kind != Kind::kStatus || quiet_) return;
    // "Saving FOLDER: N of M items" is the progress; the per-item texts are not shown.
    const std::string text = utf16_to_utf8(e.text);
    if (text.rfind("Saving ", 0) != 0 || text.rfind("Saving Status: ", 0) == 0) return;
    const auto colon = text.rfind(": ");
    const std::string folder = colon == std::string::npos ? text : text.substr(0, colon);
    if (tty_) {
      std::fprintf(stderr, "\r\033[K%s", text.c_str());
      line_open_ = true;
      if (folder != folder_) {
        folder_ = folder;
      }
    } else if (folder != folder_) {
      folder_ = folder;
      std::fprintf(stderr, "%s\n", text.c_str());
    }
  }

  HeadlessDialog& dialog_;
  bool quiet_;
  bool tty_;
  bool line_open_ = false;
  std::string folder_;
};

}  // namespace

int Save(const Options& o) {
  Run run;
  if (const std::string problem = run.Prepare(o.positional[0], o.work, o.quiet); !problem.empty())
    return UsageError("save", problem);
  std::error_code ec;
  const fs::path out = fs::absolute(o.out, ec);
  fs::create_directories(out, ec);
  if (!fs::is_directory(out, ec)) return UsageError("save", "cannot use the output folder " + o.out);
  if (!run.Analyse()) return kExitFailed;

  SaveRequest request;
  request.output_root = out;
  request.mbox = o.mbox;
  for (const std::string& k : o.kinds) {
    if (k == "mail") request.kinds.push_back(SaveKind::kMail);
    else if (k == "contact") request.kinds.push_back(SaveKind::kContact);
    else if (k == "calendar") request.kinds.push_back(SaveKind::kCalendar);
    else request.kinds.push_back(SaveKind::kAll);
  }
  for (const std::string& f : o.folders) {
    const TreeItem item = FindFolder(run.dialog, *run.session, f);
    if (item == kNoTreeItem) return UsageError("save", "no folder '" + f + "' in the tree");
    request.folders.push_back(item);
  }

  SaveTotals totals;
  {
    run.reporter.reset();  // the save run has its own console output
    SaveReporter reporter(run.dialog, o.quiet);
    run.control->StartJob(RunControl::Job::kSave, [&] { totals = RunSaveJob(*run.session, request); });
    run.control->Wait();
  }
  const SaveCounts sum = totals.Sum();
  std::printf("%-12s %7s %7s %7s\n", "kind", "saved", "skipped", "failed");
  for (const auto& [kind, c] : totals.by_kind)
    std::printf("%-12s %7d %7d %7d\n", kind.c_str(), c.saved, c.skipped, c.failed);
  std::printf("%-12s %7d %7d %7d\n", "total", sum.saved, sum.skipped, sum.failed);
  std::printf("saved under %s\n", out.c_str());
  if (totals.stopped) std::fprintf(stderr, "edbexport save: the run was stopped before every item was saved\n");
  return sum.failed > 0 || totals.stopped ? kExitFailed : kExitOk;
}

}  // namespace edbx::cli
