#pragma once
// Starting the external saver once per item and waiting for it, the folder its record
// files go to, and the per-item clearing of the working folder.

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace edbx {

class JobControl;

/// The saver's file name in the program folder.
inline constexpr const char* kSaverName = "mailsaving";
/// Environment the saver is given: where to write, where its record files are, and
/// whether mails also go to their folder's mbox file.
inline constexpr const char* kSaverOutEnv = "MAILSAVING_OUT";
inline constexpr const char* kSaverRecordsEnv = "MAILSAVING_RECORDS";
inline constexpr const char* kSaverMboxEnv = "MAILSAVING_MBOX";

/// The folder the record files go to: the program folder when this user may write
/// there, otherwise "saver" in the private per-user base (mode 0700). Nullopt when
/// neither can be used.
std::optional<std::filesystem::path> RecordFolderFor(const std::filesystem::path& program_folder);

struct SaverSetup {
  std::filesystem::path saver;          ///< program folder / "mailsaving"
  std::filesystem::path record_folder;  ///< where the record files are written
  std::filesystem::path output_root;    ///< MAILSAVING_OUT
  bool mbox = false;
  /// A saver still running after this long is stopped and its item counts as failed.
  std::chrono::milliseconds limit{std::chrono::minutes(10)};
};

enum class SaverOutcome { kSaved, kNotStarted, kFailed, kTimedOut };

struct SaverResult {
  SaverOutcome outcome = SaverOutcome::kNotStarted;
  int exit_status = -1;  ///< the saver's exit status, or -1 (not started, signalled, stopped)
  std::string detail;    ///< why it did not succeed
};

/// Serialises save runs that share a record folder: a second run waits at each item
/// until the first has handed its item over. Held while a record is written and read.
class RecordFolderLock {
 public:
  explicit RecordFolderLock(const std::filesystem::path& record_folder);
  ~RecordFolderLock();
  RecordFolderLock(const RecordFolderLock&) = delete;
  RecordFolderLock& operator=(const RecordFolderLock&) = delete;
  void Lock();
  void Unlock();

 private:
  int fd_ = -1;
};

/// Starts the saver with the kind parameter as its only argument (no shell, no
/// expansion, the current directory inherited) and waits for it. A cancelled job gives
/// the saver a few seconds more before it is stopped.
/// `on_started` runs once the saver process exists, before the wait.
SaverResult RunSaver(const SaverSetup& setup, const char* kind_parameter, const JobControl* job,
                     const std::function<void()>& on_started = {});

/// Deletes every regular file and symbolic link directly in the working folder (never
/// following a link, never descending). Does nothing unless the folder is an absolute
/// path ending in "Vestra" that is a real directory. Failures are ignored.
void ClearWorkingFolder(const std::filesystem::path& working_folder);

}  // namespace edbx
