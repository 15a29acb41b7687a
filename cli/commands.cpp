#include "cli/commands.hpp"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/console.hpp"
#include "common/paths.hpp"
#include "pipeline/headless_dialog.hpp"
#include "pipeline/run_control.hpp"
#include "pipeline/session.hpp"

namespace edbx::cli {

namespace {

using nlohmann::json;

struct Options {
  std::vector<std::string> positional;
  std::string work;
  bool json = false;
  bool quiet = false;
};

bool ParseOptions(const Args& args, Options& o, std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--json") o.json = true;
    else if (a == "--quiet") o.quiet = true;
    else if (a == "--work") {
      if (i + 1 >= args.size()) {
        error = "--work needs a folder";
        return false;
      }
      o.work = args[++i];
    } else if (a.size() > 1 && a[0] == '-' && a != "-") {
      error = "unknown option " + a;
      return false;
    } else {
      o.positional.push_back(a);
    }
  }
  return true;
}

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

int Analyse(const Args& args) {
  Options o;
  std::string error;
  if (!ParseOptions(args, o, error)) return UsageError("analyse", error);
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

int List(const Args& args) {
  Options o;
  std::string error;
  if (!ParseOptions(args, o, error)) return UsageError("list", error);
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

int Preview(const Args& args) {
  Options o;
  std::string error;
  if (!ParseOptions(args, o, error)) return UsageError("preview", error);
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

}  // namespace edbx::cli
