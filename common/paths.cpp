#include "common/paths.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace edbx {

namespace {

constexpr std::size_t kMaxNameBytes = 200;  // well under NAME_MAX (255) for suffixes

bool IsPrivateDirOfMine(const fs::path& dir) {
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) return false;
  if (st.st_uid != ::geteuid()) return false;
  return (st.st_mode & 077) == 0;
}

bool MakePrivateDir(const fs::path& dir) {
  std::error_code ec;
  fs::create_directories(dir.parent_path(), ec);
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
    return false;
  if ((st.st_mode & 077) != 0 && ::chmod(dir.c_str(), 0700) != 0) return false;
  return IsPrivateDirOfMine(dir);
}

std::FILE* OpenWith(const fs::path& path, int flags, const char* mode) {
  const int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  std::FILE* f = ::fdopen(fd, mode);
  if (f == nullptr) ::close(fd);
  return f;
}

}  // namespace

u16 CleanAttachmentName(u16v name) {
  u16 out(name);
  for (auto& c : out) {
    switch (c) {
      case u'\\': case u'/': case u':': case u'?': case u'*':
      case u'<': case u'>': case u'|': case u'"':
        c = u'_';
        break;
      default:
        if (c < 0x20 || c == 0x7F) c = u'_';
    }
  }
  if (out.empty() || out == u"." || out == u"..") return u"_";
  // Shorten names whose UTF-8 form the file system would refuse, keeping the extension.
  if (utf16_to_utf8(out).size() > kMaxNameBytes) {
    u16 ext;
    const auto dot = out.rfind(u'.');
    if (dot != u16::npos && out.size() - dot <= 16) ext = out.substr(dot);
    u16 stem = out.substr(0, dot != u16::npos && !ext.empty() ? dot : out.size());
    while (!stem.empty() && utf16_to_utf8(stem + ext).size() > kMaxNameBytes) stem.pop_back();
    // Never end on half a surrogate pair.
    if (!stem.empty() && stem.back() >= 0xD800 && stem.back() <= 0xDBFF) stem.pop_back();
    out = stem + ext;
    if (out.empty() || out == u"." || out == u"..") out = u"_";
  }
  return out;
}

std::optional<fs::path> FileInFolder(const fs::path& folder, u16v name) {
  if (name.empty() || name == u"." || name == u"..") return std::nullopt;
  for (char16_t c : name)
    if (c == u'/' || c == 0) return std::nullopt;
  fs::path p = folder / ToPath(name);
  if (p.parent_path() != folder) return std::nullopt;
  return p;
}

fs::path ToPath(u16v text) { return fs::path(utf16_to_utf8(text)); }

u16 FromPath(const fs::path& path) { return utf8_to_utf16(path.native()); }

std::FILE* OpenForWrite(const fs::path& path, bool append) {
  return append ? OpenWith(path, O_WRONLY | O_CREAT | O_APPEND, "ab")
                : OpenWith(path, O_WRONLY | O_CREAT | O_TRUNC, "wb");
}

std::FILE* OpenForRewrite(const fs::path& path) { return OpenWith(path, O_WRONLY | O_CREAT, "wb"); }

std::FILE* OpenForRead(const fs::path& path) { return OpenWith(path, O_RDONLY, "rb"); }

bool FileHandle::write(const void* data, std::size_t size) {
  if (f_ == nullptr) return false;
  if (size == 0) return true;
  return std::fwrite(data, 1, size, f_) == size;
}

bool FileHandle::close() {
  if (f_ == nullptr) return true;
  const bool ok = std::fclose(f_) == 0;
  f_ = nullptr;
  return ok;
}

bool FileHandle::close_truncated() {
  if (f_ == nullptr) return true;
  bool ok = std::fflush(f_) == 0;
  const off_t end = ::ftello(f_);
  ok = ok && end >= 0 && ::ftruncate(::fileno(f_), end) == 0;
  return close() && ok;
}

bool WriteWholeFile(const fs::path& path, std::string_view bytes) {
  FileHandle f(OpenForWrite(path));
  if (!f) return false;
  const bool ok = f.write(bytes);
  return f.close() && ok;
}

std::optional<std::string> ReadWholeFile(const fs::path& path, std::size_t limit) {
  FileHandle f(OpenForRead(path));
  if (!f) return std::nullopt;
  std::string out;
  char buf[65536];
  while (out.size() < limit) {
    const std::size_t want = std::min(sizeof buf, limit - out.size());
    const std::size_t got = std::fread(buf, 1, want, f.get());
    out.append(buf, got);
    if (got < want) break;
  }
  return out;
}

std::optional<fs::path> PrivateWorkBase() {
  if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run != nullptr && run[0] == '/') {
    if (IsPrivateDirOfMine(run)) {
      const fs::path p = fs::path(run) / "edbexport";
      if (MakePrivateDir(p)) return p;
    }
  }
  fs::path cache;
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && xdg[0] == '/') {
    cache = xdg;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
    cache = fs::path(home) / ".cache";
  }
  if (!cache.empty()) {
    const fs::path p = cache / "edbexport";
    if (MakePrivateDir(p)) return p;
  }
  const fs::path p = fs::path("/tmp") / ("edbexport-" + std::to_string(::geteuid()));
  if (MakePrivateDir(p)) return p;
  return std::nullopt;
}

fs::path ProgramFolder() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return fs::current_path(ec);
  return exe.parent_path();
}

}  // namespace edbx
