#include "saver/saver_files.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>

#include "common/paths.hpp"
#include "common/text.hpp"
#include "export/save_records.hpp"

namespace mailsaving {

using edbx::u16;

std::string Record::Get(const std::string& key) const {
  const auto it = values.find(key);
  return it == values.end() ? std::string() : it->second;
}

fs::path RecordFolder() {
  if (const char* env = std::getenv("MAILSAVING_RECORDS"); env != nullptr && *env != '\0') return env;
  return edbx::ProgramFolder();
}

fs::path OutputRoot() {
  if (const char* env = std::getenv("MAILSAVING_OUT"); env != nullptr && *env != '\0') return env;
  return "recovered";
}

std::string ReadFileBytes(const fs::path& file, std::size_t limit) {
  auto bytes = edbx::ReadWholeFile(file, limit + 1);
  if (!bytes) throw RecordError("cannot read " + file.string() + ": " + std::strerror(errno));
  if (bytes->size() > limit) throw RecordError(file.string() + " is larger than " + std::to_string(limit) + " bytes");
  return std::move(*bytes);
}

namespace {

constexpr std::size_t kMaxRecordBytes = std::size_t{16} << 20;

/// Keys of each record layout, in file order.
const std::vector<std::string>& KeysOf(const std::string& kind) {
  static const std::map<std::string, std::vector<std::string>> keys = {
      {"mailimport", {"exFolderPath", "FolderPath", "ATTA", "SUBJECT", "TO", "CC", "BCC", "TYPE", "DATE", "PATH", "BPATH"}},
      {"appointment",
       {"exFolderPath", "FolderPath", "SUBJECT", "LOCATION", "STARTDATE", "ENDDATE", "ATTACHMENT", "TYPE", "timezone", "Body"}},
      {"notes", {"exFolderPath", "FolderPath", "SUBJECT", "FROM", "DATE", "TYPE", "Body"}},
      {"task", {"FolderPath", "SUBJECT", "FROM", "STARTDATE", "DUEDATE", "OWNER", "TYPE", "Body"}},
      {"contact", {"xxFolderPath", "FolderPath", "Body", "TYPE"}},
  };
  const auto it = keys.find(kind);
  if (it == keys.end()) throw RecordError("unknown kind '" + kind + "'");
  return it->second;
}

u16 Utf16RecordText(const std::string& bytes, const fs::path& file) {
  if (bytes.size() < 2 || bytes[0] != '\xFF' || bytes[1] != '\xFE')
    throw RecordError(file.string() + " is not a UTF-16LE text with a byte-order mark");
  return edbx::utf16le_from_bytes(std::string_view(bytes).substr(2));
}

}  // namespace

Record ReadRecord(const fs::path& folder, const std::string& kind) {
  Record record;
  record.kind = kind;
  record.folder = folder;
  const auto& keys = KeysOf(kind);
  const fs::path file = folder / edbx::kRecordFileName;
  const std::string bytes = ReadFileBytes(file, kMaxRecordBytes);
  const u16 text = Utf16RecordText(bytes, file);
  const std::string eol = kind == "task" ? "\n" : "\r\n";
  std::size_t expected = 0;
  for (const u16& raw : edbx::split(text, u'\n')) {
    u16 line = raw;
    if (eol == "\r\n" && !line.empty() && line.back() == u'\r') line.pop_back();
    if (line.empty()) continue;
    const std::string utf8 = edbx::utf16_to_utf8(line);
    if (expected >= keys.size()) throw RecordError(file.string() + ": unexpected line '" + utf8.substr(0, 60) + "'");
    const std::string& key = keys[expected];
    if (utf8.compare(0, key.size() + 1, key + ":") != 0)
      throw RecordError(file.string() + ": expected the line " + key + ": but found '" + utf8.substr(0, 60) + "'");
    record.values[key] = utf8.substr(key.size() + 1);
    ++expected;
  }
  if (expected != keys.size())
    throw RecordError(file.string() + ": the " + kind + " record lacks the line " + keys[expected] + ":");

  if (kind == "contact") {
    const fs::path card_file = folder / edbx::kContactCardFileName;
    const std::string card_bytes = ReadFileBytes(card_file, kMaxRecordBytes);
    u16 card = Utf16RecordText(card_bytes, card_file);
    auto fields = edbx::split(card, u16(u"<br>"));
    if (!fields.empty() && fields.back().empty()) fields.pop_back();
    for (u16& f : fields) {
      edbx::replace_all(f, u"<newlinebreak>", u"\n");
      edbx::replace_all(f, u"cama", u",");
      record.card.push_back(edbx::utf16_to_utf8(f));
    }
  }

  // The side file carries the values the record had to change; it counts only when it
  // was written for this very record.
  if (const auto side = edbx::ReadWholeFile(folder / edbx::kSideValuesFileName, kMaxRecordBytes * 4)) {
    const auto doc = nlohmann::json::parse(*side, nullptr, false);
    if (doc.is_object() && doc.value("kind", "") == kind && doc.value("record", "") == edbx::RecordDigest(bytes)) {
      if (const auto v = doc.find("values"); v != doc.end() && v->is_object()) {
        for (const auto& [key, value] : v->items()) {
          if (key == "CARD" && value.is_array()) {
            record.card.clear();
            for (const auto& f : value) record.card.push_back(f.is_string() ? f.get<std::string>() : std::string());
          } else if (value.is_string()) {
            record.values[key] = value.get<std::string>();
          }
        }
      }
    }
  }
  return record;
}

std::optional<fs::path> WorkingFile(const std::string& path_text, const std::optional<fs::path>& working_folder) {
  if (path_text.empty()) return std::nullopt;
  const fs::path path(path_text);
  if (!path.is_absolute()) throw RecordError("the record names a file by a relative path: " + path_text);
  if (working_folder && path.parent_path() != *working_folder)
    throw RecordError("the record names a file outside the working folder: " + path_text);
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
  if (!S_ISREG(st.st_mode)) throw RecordError("not a regular file: " + path_text);
  return path;
}

std::string BodyText(const fs::path& file) {
  const std::string bytes = ReadFileBytes(file, std::size_t{512} << 20);
  const std::string name = file.filename().string();
  const bool utf16 = name == "textbody.txt" || name.rfind("blank.", 0) == 0;
  return edbx::utf16_to_utf8(
      edbx::BodyFileText(bytes, utf16 ? edbx::BodyEncoding::kUtf16 : edbx::BodyEncoding::kUtf8));
}

namespace {

/// Creates `dir` as a real directory (an existing link is refused).
void MakeRealDirectory(const fs::path& dir) {
  if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST)
    throw RecordError("cannot create the folder " + dir.string() + ": " + std::strerror(errno));
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    throw RecordError("not a real folder: " + dir.string());
}

std::string SafeComponent(const std::string& text, std::size_t max_units) {
  u16 name = edbx::utf8_to_utf16(text);
  name = edbx::trim_blank(name);
  if (name.size() > max_units) name.resize(max_units);
  // No name ends in a dot or blank, and none starts with a dot (no hidden files).
  while (!name.empty() && (name.back() == u'.' || name.back() == u' ')) name.pop_back();
  while (!name.empty() && name.front() == u'.') name.erase(0, 1);
  return edbx::utf16_to_utf8(edbx::CleanAttachmentName(name));
}

}  // namespace

fs::path OutputFolder(const fs::path& root, const std::string& folder_path) {
  std::error_code ec;
  fs::create_directories(root, ec);
  struct stat st {};
  if (::stat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    throw RecordError("cannot use the output folder " + root.string());
  fs::path at = root;
  for (const u16& part : edbx::split(edbx::utf8_to_utf16(folder_path), u'\\')) {
    const std::string name = SafeComponent(edbx::utf16_to_utf8(part), 120);
    if (name.empty() || name == "_") continue;
    at /= name;
    MakeRealDirectory(at);
  }
  return at;
}

std::string SafeFileName(const std::string& title, const std::string& fallback, const std::string& extension) {
  std::string stem = SafeComponent(title, 100);
  if (stem.empty() || stem == "_") stem = SafeComponent(fallback, 100);
  if (stem.empty() || stem == "_") stem = "item";
  return stem + extension;
}

fs::path WriteNewFile(const fs::path& folder, const std::string& name, const std::string& bytes) {
  const auto dot = name.rfind('.');
  const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
  const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
  for (int n = 1; n < 100000; ++n) {
    const fs::path path = folder / (n == 1 ? name : stem + " (" + std::to_string(n) + ")" + ext);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      throw RecordError("cannot create " + path.string() + ": " + std::strerror(errno));
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        const int err = errno;
        ::close(fd);
        ::unlink(path.c_str());
        throw RecordError("cannot write " + path.string() + ": " + std::strerror(err));
      }
      done += static_cast<std::size_t>(w);
    }
    if (::close(fd) != 0) {
      ::unlink(path.c_str());
      throw RecordError("cannot write " + path.string());
    }
    return path;
  }
  throw RecordError("no free file name for " + name + " in " + folder.string());
}

void AppendLocked(const fs::path& file, const std::string& bytes) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) throw RecordError("cannot open " + file.string() + ": " + std::strerror(errno));
  while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
  }
  std::size_t done = 0;
  bool ok = true;
  while (done < bytes.size()) {
    const ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(w);
  }
  ::close(fd);
  if (!ok) throw RecordError("cannot append to " + file.string());
}

std::optional<DateParts> ParseDate(const std::string& text) {
  static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const auto comma = text.find(',');
  if (comma == std::string::npos || comma == 0) return std::nullopt;
  const std::string month_text = text.substr(0, comma);
  int month = 0;
  for (int m = 0; m < 12; ++m)
    if (month_text == kMonths[m]) month = m + 1;
  if (month == 0) {
    char* end = nullptr;
    const long m = std::strtol(month_text.c_str(), &end, 10);
    if (end == nullptr || *end != '\0' || m < 1 || m > 12) return std::nullopt;
    month = static_cast<int>(m);
  }
  DateParts d{0, month, 0, 0, 0, 0};
  char tail = 0;
  if (std::sscanf(text.c_str() + comma + 1, "%2d %4d %2d:%2d:%2d%c", &d.day, &d.year, &d.hour, &d.minute, &d.second,
                  &tail) < 5)
    return std::nullopt;
  if (d.day < 1 || d.day > 31 || d.year < 1601 || d.hour > 23 || d.minute > 59 || d.second > 60) return std::nullopt;
  return d;
}

}  // namespace mailsaving
