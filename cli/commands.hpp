#pragma once
// The subcommands of edbexport, each over the same pipeline as the desktop program.

#include <string>
#include <vector>

namespace edbx::cli {

using Args = std::vector<std::string>;

/// Exit statuses: 0 success, 1 the database could not be recovered or an item failed,
/// 2 a usage error.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

int Analyse(const Args& args);
int List(const Args& args);
int Preview(const Args& args);

}  // namespace edbx::cli
