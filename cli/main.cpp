// edbexport: recovers mailboxes from Exchange databases on the command line.

#include <cstdio>
#include <cstring>
#include <string>

#include "cli/commands.hpp"

namespace {

struct Command {
  const char* name;
  const char* usage;
  const char* help;
  int (*run)(const edbx::cli::Args&);
};

const Command kCommands[] = {
    {"analyse", "DB [--work DIR] [--json] [--quiet]", "analyse the database and print its folder tree",
     edbx::cli::Analyse},
    {"list", "DB FOLDER [--work DIR] [--json] [--quiet]",
     "analyse, then print the item rows of FOLDER (a tree path such as \"Alice Example/Inbox\", or id:FOLDERID)",
     edbx::cli::List},
    {"preview", "DB FOLDER ITEMKEY [--work DIR] [--quiet]",
     "analyse, list FOLDER, write the preview files of the item ITEMKEY (the Key column of list) into the working "
     "folder and print the page to show",
     edbx::cli::Preview},
};

int Usage(FILE* out) {
  std::fprintf(out, "usage: edbexport COMMAND ARGS...\n\ncommands:\n");
  for (const auto& c : kCommands) std::fprintf(out, "  %s %s\n      %s\n", c.name, c.usage, c.help);
  std::fprintf(out,
               "\nStatus texts go to stderr, results to stdout. DIR/Vestra is the working folder "
               "(default: a private folder of the user).\nExit status: 0 success, 1 not recovered, 2 usage error.\n");
  return edbx::cli::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage(stderr);
  const std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    Usage(stdout);
    return edbx::cli::kExitOk;
  }
  for (const auto& c : kCommands)
    if (name == c.name) return c.run(edbx::cli::Args(argv + 2, argv + argc));
  std::fprintf(stderr, "edbexport: unknown command '%s'\n", name.c_str());
  return Usage(stderr);
}
