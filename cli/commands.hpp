#pragma once
// The subcommands of edbexport, each over the same pipeline as the desktop program.

#include <string>
#include <vector>

namespace edbx::cli {

/// The options of a subcommand as the command line gave them (parsed and checked by
/// main.cpp); each handler reads the ones it defines.
struct Options {
  std::vector<std::string> positional;  // DB, then FOLDER and ITEMKEY where the command has them
  std::string work;
  bool json = false;
  bool quiet = false;
  // save
  std::string out;
  std::vector<std::string> kinds;
  std::vector<std::string> folders;
  bool mbox = false;
};

/// Exit statuses: 0 success, 1 the database could not be recovered or an item failed,
/// 2 a usage error.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

int Analyse(const Options& options);
int List(const Options& options);
int Preview(const Options& options);
/// Analyses, then saves the chosen kinds of the chosen folders through mailsaving; prints
/// per kind how many items were saved, skipped and failed. kExitFailed when any failed.
int Save(const Options& options);

}  // namespace edbx::cli
