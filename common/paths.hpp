#pragma once
// File-system helpers: names from the database become safe file names, working
// files are written without following planted symbolic links, and the default
// working folder lives in a private per-user directory.

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/text.hpp"

namespace edbx {

namespace fs = std::filesystem;

/// Attachment-name cleaning: each of \ / : ? * < > | and the double quote becomes
/// "_"; control characters become "_"; "", "." and ".." become "_"; names too long
/// for the file system are shortened keeping their extension.
u16 CleanAttachmentName(u16v name);

/// `folder` / `name` when `name` is a single safe component (no separator, not
/// "." or ".."); nullopt otherwise. Use after CleanAttachmentName.
std::optional<fs::path> FileInFolder(const fs::path& folder, u16v name);

/// A UTF-16 path text as a file-system path (UTF-8 bytes).
fs::path ToPath(u16v text);
/// A file-system path as UTF-16 text.
u16 FromPath(const fs::path& path);

/// Opens `path` for writing (create or truncate), never following a symbolic link
/// at the last component. Returns null on failure.
std::FILE* OpenForWrite(const fs::path& path, bool append = false);
/// Opens `path` for writing over its old bytes, created if missing (no symbolic link
/// followed); end with FileHandle::close_truncated(), which cuts off the rest of the old
/// bytes. For a file rewritten for every item: ext4 writes a file truncated to zero and
/// rewritten to disk as soon as it is closed, where this one stays in the page cache.
std::FILE* OpenForRewrite(const fs::path& path);
/// Opens `path` for reading, never following a symbolic link at the last component.
std::FILE* OpenForRead(const fs::path& path);

/// Owning FILE handle.
class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(std::FILE* f) : f_(f) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  FileHandle(FileHandle&& o) noexcept : f_(o.f_) { o.f_ = nullptr; }
  FileHandle& operator=(FileHandle&& o) noexcept {
    if (this != &o) {
      close();
      f_ = o.f_;
      o.f_ = nullptr;
    }
    return *this;
  }
  ~FileHandle() { close(); }
  std::FILE* get() const { return f_; }
  explicit operator bool() const { return f_ != nullptr; }
  /// Writes all bytes; false on a short write.
  bool write(const void* data, std::size_t size);
  bool write(std::string_view bytes) { return write(bytes.data(), bytes.size()); }
  /// Closes, reporting whether buffered data reached the file.
  bool close();
  /// Cuts the file at the position written up to, then closes it.
  bool close_truncated();

 private:
  std::FILE* f_ = nullptr;
};

/// Writes `bytes` to `path` (create or truncate, no symlink following).
bool WriteWholeFile(const fs::path& path, std::string_view bytes);
/// Reads a whole file, at most `limit` bytes; nullopt when it cannot be opened.
std::optional<std::string> ReadWholeFile(const fs::path& path,
                                         std::size_t limit = static_cast<std::size_t>(-1));

/// The private per-user base for working folders: $XDG_RUNTIME_DIR when it is a
/// private directory of this user, else $XDG_CACHE_HOME/edbexport or
/// ~/.cache/edbexport, else /tmp/edbexport-<uid>. Created with mode 0700; nullopt
/// when no such directory can be made safe.
std::optional<fs::path> PrivateWorkBase();

/// The folder of the running executable (from /proc/self/exe).
fs::path ProgramFolder();

}  // namespace edbx
