#include "export/saver_launch.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "common/paths.hpp"
#include "pipeline/job_control.hpp"

extern char** environ;

namespace edbx {

namespace fs = std::filesystem;

std::optional<fs::path> RecordFolderFor(const fs::path& program_folder) {
  std::error_code ec;
  if (!program_folder.empty() && fs::is_directory(program_folder, ec) &&
      ::access(program_folder.c_str(), W_OK | X_OK) == 0)
    return program_folder;
  const auto base = PrivateWorkBase();
  if (!base) return std::nullopt;
  const fs::path folder = *base / "saver";
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return std::nullopt;
  struct stat st {};
  // Only a real directory of this user that nobody else may enter.
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return std::nullopt;
  if ((st.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) return std::nullopt;
  return folder;
}

RecordFolderLock::RecordFolderLock(const fs::path& record_folder) {
  fd_ = ::open((record_folder / "mailsaving.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

RecordFolderLock::~RecordFolderLock() {
  if (fd_ >= 0) ::close(fd_);
}

void RecordFolderLock::Lock() {
  if (fd_ < 0) return;
  while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
  }
}

void RecordFolderLock::Unlock() {
  if (fd_ >= 0) ::flock(fd_, LOCK_UN);
}

namespace {

/// The environment of this process with the saver's variables set.
std::vector<std::string> SaverEnvironment(const SaverSetup& setup) {
  std::vector<std::string> env;
  const std::string_view own[] = {kSaverOutEnv, kSaverRecordsEnv, kSaverMboxEnv};
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    const std::string_view entry(*e);
    bool replaced = false;
    for (std::string_view name : own)
      if (entry.size() > name.size() && entry.substr(0, name.size()) == name && entry[name.size()] == '=')
        replaced = true;
    if (!replaced) env.emplace_back(entry);
  }
  env.push_back(std::string(kSaverOutEnv) + "=" + setup.output_root.string());
  env.push_back(std::string(kSaverRecordsEnv) + "=" + setup.record_folder.string());
  env.push_back(std::string(kSaverMboxEnv) + "=" + (setup.mbox ? "1" : "0"));
  return env;
}

/// Waits for the child within `limit`; true with its wait status when it ended.
bool WaitWithin(pid_t pid, std::chrono::milliseconds limit, const JobControl* job, int& status) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  auto deadline = start + limit;
  bool cancel_seen = false;
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  auto sleep_step = std::chrono::microseconds(50);
  for (;;) {
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid || (r < 0 && errno != EINTR)) {
      if (pidfd >= 0) ::close(pidfd);
      return r == pid;
    }
    const auto now = Clock::now();
    if (job != nullptr && !cancel_seen && job->Cancelled()) {
      cancel_seen = true;
      deadline = std::min(deadline, now + std::chrono::seconds(5));
    }
    if (now >= deadline) {
      if (pidfd >= 0) ::close(pidfd);
      return false;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
    if (pidfd >= 0) {
      pollfd p{pidfd, POLLIN, 0};
      ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count() + 1, 200)));
    } else {
      std::this_thread::sleep_for(sleep_step);
      sleep_step = std::min(sleep_step * 2, std::chrono::microseconds(20000));
    }
  }
}

}  // namespace

SaverResult RunSaver(const SaverSetup& setup, const char* kind_parameter, const JobControl* job,
                     const std::function<void()>& on_started) {
  SaverResult result;
  const std::string saver = setup.saver.string();
  std::vector<std::string> env = SaverEnvironment(setup);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string arg0 = saver, arg1 = kind_parameter;
  char* argv[] = {arg0.data(), arg1.data(), nullptr};
  pid_t pid = -1;
  const int err = ::posix_spawn(&pid, saver.c_str(), nullptr, nullptr, argv, envp.data());
  if (err != 0) {
    result.detail = "the saver " + saver + " cannot be started: " + std::strerror(err);
    return result;
  }
  if (on_started) on_started();
  int status = 0;
  if (!WaitWithin(pid, setup.limit, job, status)) {
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.outcome = SaverOutcome::kTimedOut;
    result.detail = job != nullptr && job->Cancelled() ? "the saver was stopped with the run"
                                                       : "the saver did not end in time and was stopped";
    return result;
  }
  if (WIFEXITED(status)) {
    result.exit_status = WEXITSTATUS(status);
    if (result.exit_status == 0) {
      result.outcome = SaverOutcome::kSaved;
      return result;
    }
    result.outcome = SaverOutcome::kFailed;
    result.detail = "the saver ended with exit status " + std::to_string(result.exit_status);
    if (result.exit_status == 127) result.detail = "the saver " + saver + " cannot be run (exit status 127)";
    return result;
  }
  result.outcome = SaverOutcome::kFailed;
  result.detail = "the saver was ended by signal " + std::to_string(WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  return result;
}

void ClearWorkingFolder(const fs::path& working_folder) {
  if (working_folder.empty() || !working_folder.is_absolute()) return;
  fs::path folder = working_folder;
  if (folder.filename().empty()) folder = folder.parent_path();  // a trailing separator
  if (folder.filename() != "Vestra") return;
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const auto type = it->symlink_status(ec).type();
    if (ec) continue;
    if (type == fs::file_type::regular || type == fs::file_type::symlink) {
      std::error_code ignored;
      fs::remove(it->path(), ignored);
    }
  }
}

}  // namespace edbx
