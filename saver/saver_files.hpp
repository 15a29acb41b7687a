#pragma once
// What mailsaving reads and where it writes: the record files and the side file of
// real values, the working files they name, and safe, unique output files under the
// output root.

#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace mailsaving {

namespace fs = std::filesystem;

/// A record that cannot be used; its text goes to stderr.
struct RecordError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

/// One item's record: values by key (without the colon), as UTF-8.
struct Record {
  std::string kind;  ///< the launch parameter
  std::map<std::string, std::string> values;
  std::vector<std::string> card;  ///< contacts: the 50 card fields
  fs::path folder;                ///< where the record files were found

  /// The value of `key`; empty when the record lacks it.
  std::string Get(const std::string& key) const;
};

/// The folder holding the record files: $MAILSAVING_RECORDS, else this program's folder.
fs::path RecordFolder();

/// Reads "mailsaving.txt" (and for contacts "conatctsaving.txt") of the kind, applies the
/// side file's values when it belongs to this record. Throws RecordError.
Record ReadRecord(const fs::path& folder, const std::string& kind);

/// A working file the record names: accepted only as a regular file (no link) directly
/// in `working_folder` when that is given. Nullopt when it is missing; throws RecordError
/// when it lies elsewhere.
std::optional<fs::path> WorkingFile(const std::string& path_text, const std::optional<fs::path>& working_folder);
/// Reads a file, at most `limit` bytes (throws RecordError above that).
std::string ReadFileBytes(const fs::path& file, std::size_t limit);
/// The text of a body file as UTF-8: by its mark, else by the writer's encoding, which
/// its name tells ("textbody.txt" and "blank.*" are UTF-16LE, the others UTF-8).
std::string BodyText(const fs::path& file);

/// The output root: $MAILSAVING_OUT, else "./recovered".
fs::path OutputRoot();
/// The folder for an item: the root, then each part of the record's folder path
/// ("\"-separated) made a safe name; created, no link followed.
fs::path OutputFolder(const fs::path& root, const std::string& folder_path);
/// A safe file name from `title` (or `fallback` when it gives nothing) with `extension`.
std::string SafeFileName(const std::string& title, const std::string& fallback, const std::string& extension);
/// Creates a new file in `folder` named `name`, or "stem (2).ext" and so on, and writes
/// `bytes` to it. Returns its path. Throws RecordError when it cannot be written.
fs::path WriteNewFile(const fs::path& folder, const std::string& name, const std::string& bytes);
/// Appends `bytes` to `file` under an exclusive lock (creates it, no link followed).
void AppendLocked(const fs::path& file, const std::string& bytes);

/// A date text of the records ("Jan,05 2010 14:03:59", or with the month as a number)
/// as its parts; nullopt when it is not one.
struct DateParts {
  int year, month, day, hour, minute, second;
};
std::optional<DateParts> ParseDate(const std::string& text);

}  // namespace mailsaving
