// edbexport: recovers mailboxes from Exchange databases on the command line.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>

#include "cli/commands.hpp"

namespace {

using edbx::cli::Options;

void AddCommon(CLI::App& command, Options& o, bool json) {
  command.add_option("--work", o.work, "working files go to DIR/Vestra (default: a private folder of the user)")
      ->type_name("DIR");
  if (json) command.add_flag("--json", o.json, "machine-readable output");
  command.add_flag("--quiet", o.quiet, "no status texts on stderr");
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"edbexport: recovers mailboxes from Exchange databases (.edb), read-only."};
  app.footer(
      "Status texts go to stderr, results to stdout. DIR/Vestra is the working folder (default: a private folder of "
      "the user).\nExit status: 0 success, 1 not recovered (or an item not saved), 2 usage error.");
  app.require_subcommand(1);
  app.set_help_all_flag("--help-all", "help of every command");
  Options o;
  std::string db, folder, key;

  CLI::App* analyse = app.add_subcommand("analyse", "analyse the database and print its folder tree");
  analyse->add_option("DB", db, "the database file")->required();
  AddCommon(*analyse, o, true);

  CLI::App* list = app.add_subcommand(
      "list", "analyse, then print the item rows of FOLDER (a tree path such as \"Alice Example/Inbox\", or id:FOLDERID)");
  list->add_option("DB", db, "the database file")->required();
  list->add_option("FOLDER", folder, "the folder")->required();
  AddCommon(*list, o, true);

  CLI::App* preview = app.add_subcommand(
      "preview",
      "analyse, list FOLDER, write the preview files of the item ITEMKEY (the Key column of list) into the working "
      "folder and print the page to show");
  preview->add_option("DB", db, "the database file")->required();
  preview->add_option("FOLDER", folder, "the folder")->required();
  preview->add_option("ITEMKEY", key, "the item's key")->required();
  AddCommon(*preview, o, false);

  CLI::App* save = app.add_subcommand(
      "save", "analyse, then save the items of the chosen kinds and folders as files (mail .eml, calendar and task "
              ".ics, contact .vcf, note .txt) under DIR");
  save->add_option("DB", db, "the database file")->required();
  save->add_option("--out", o.out, "the folder the saved files go to")->required()->type_name("DIR");
  save->add_option("--kinds", o.kinds, "what to save: mail, contact, calendar (appointments, tasks, notes), all")
      ->delimiter(',')
      ->check(CLI::IsMember({"mail", "contact", "calendar", "all"}))
      ->type_name("KIND,...");
  save->add_option("--folder", o.folders, "a folder to save (tree path or id:FOLDERID); repeat for more; default all")
      ->type_name("FOLDER");
  save->add_flag("--mbox", o.mbox, "also write one mbox file per folder");
  AddCommon(*save, o, false);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e);
    return status == 0 ? edbx::cli::kExitOk : edbx::cli::kExitUsage;
  }
  o.positional.push_back(db);
  if (!folder.empty() || list->parsed() || preview->parsed()) o.positional.push_back(folder);
  if (preview->parsed()) o.positional.push_back(key);
  if (analyse->parsed()) return edbx::cli::Analyse(o);
  if (list->parsed()) return edbx::cli::List(o);
  if (preview->parsed()) return edbx::cli::Preview(o);
  return edbx::cli::Save(o);
}
