#include "export/wide_text_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace edbx {

namespace {

constexpr std::size_t kBlockSize = 4096;

// --- Line reading -----------------------------------------------------------
// Both sources hand out code units without consuming them, so a line break of
// two units and the end of a bounded piece can be decided by looking ahead.

struct ByteUnits {
  detail::BinaryFile& file;
  int Peek(std::size_t ahead) { return file.Peek(ahead); }
  void Skip(std::size_t count) { file.Skip(count); }
  // Bytes of the UTF-8 sequence `unit` starts, so a bounded piece does not end
  // inside a character.
  static std::size_t Span(int unit) {
    if (unit >= 0xC2 && unit <= 0xDF) return 2;
    if (unit >= 0xE0 && unit <= 0xEF) return 3;
    if (unit >= 0xF0 && unit <= 0xF4) return 4;
    return 1;
  }
};

struct Utf16Units {
  detail::BinaryFile& file;
  bool big_endian;
  // An odd final byte is no unit: it ends the file.
  int Peek(std::size_t ahead) {
    const int second = file.Peek(2 * ahead + 1);
    if (second < 0) return -1;
    const int first = file.Peek(2 * ahead);
    return big_endian ? (first << 8) | second : first | (second << 8);
  }
  void Skip(std::size_t count) { file.Skip(2 * count); }
  static std::size_t Span(int unit) { return unit >= 0xD800 && unit <= 0xDBFF ? 2 : 1; }
};

// True when a bounded piece must end before `unit`.
template <class Source, class Text>
bool PieceFull(const Text& out, std::size_t limit, int unit) {
  if (limit == 0) return false;
  if (out.size() >= limit) return true;
  return !out.empty() && out.size() + Source::Span(unit) > limit;
}

// One line ended by CR, LF or CR LF (only CR followed by LF is a single break).
// With `keep_break` the first break unit is part of the text and counts toward
// `limit`. False when the source was already at its end.
template <class Source, class Text>
bool ReadBreakLine(Source source, Text& out, std::size_t limit, bool keep_break) {
  bool any = false;
  while (true) {
    const int unit = source.Peek(0);
    if (unit < 0) return any;
    if (unit == '\r' || unit == '\n') {
      if (keep_break && limit != 0 && out.size() >= limit) return true;
      source.Skip(1);
      if (unit == '\r' && source.Peek(0) == '\n') source.Skip(1);
      if (keep_break) out.push_back(static_cast<typename Text::value_type>(unit));
      return true;
    }
    if (PieceFull<Source>(out, limit, unit)) return true;
    out.push_back(static_cast<typename Text::value_type>(unit));
    source.Skip(1);
    any = true;
  }
}

// One line ended by LF; a CR right before the LF, or ending the file, is dropped.
template <class Source, class Text>
bool ReadLfLine(Source source, Text& out, std::size_t limit) {
  bool any = false;
  while (true) {
    const int unit = source.Peek(0);
    if (unit < 0) break;
    if (unit == '\n') {
      source.Skip(1);
      return true;
    }
    if (unit == '\r' && source.Peek(1) == '\n') {
      source.Skip(2);
      return true;
    }
    if (PieceFull<Source>(out, limit, unit)) return true;
    out.push_back(static_cast<typename Text::value_type>(unit));
    source.Skip(1);
    any = true;
  }
  if (!out.empty() && out.back() == '\r') out.pop_back();
  return any;
}

bool SkipMark(detail::BinaryFile& file, std::string_view mark) {
  for (std::size_t i = 0; i < mark.size(); ++i)
    if (file.Peek(i) != static_cast<unsigned char>(mark[i])) return false;
  file.Skip(mark.size());
  return true;
}

// --- Conversions --------------------------------------------------------------

bool IsValidUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
      ++i;
      continue;
    }
    std::size_t need = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      need = 1;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      need = 2;
      if (b0 == 0xE0) lo = 0xA0;  // overlong
      if (b0 == 0xED) hi = 0x9F;  // surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      need = 3;
      if (b0 == 0xF0) lo = 0x90;  // overlong
      if (b0 == 0xF4) hi = 0x8F;  // above U+10FFFF
    } else {
      return false;
    }
    if (s.size() - i <= need) return false;
    for (std::size_t k = 1; k <= need; ++k) {
      const auto b = static_cast<unsigned char>(s[i + k]);
      if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF)) return false;
    }
    i += need + 1;
  }
  return true;
}

// Base letter followed by a combining mark, for the letters Windows-1252 holds
// precomposed: the pair is written as the one precomposed character.
struct Composition {
  char16_t mark;
  u16v bases;
  u16v composed;
};
constexpr Composition kCompositions[] = {
    {0x0300, u"AEIOUaeiou", u"\u00C0\u00C8\u00CC\u00D2\u00D9\u00E0\u00E8\u00EC\u00F2\u00F9"},
    {0x0301, u"AEIOUYaeiouy",
     u"\u00C1\u00C9\u00CD\u00D3\u00DA\u00DD\u00E1\u00E9\u00ED\u00F3\u00FA\u00FD"},
    {0x0302, u"AEIOUaeiou", u"\u00C2\u00CA\u00CE\u00D4\u00DB\u00E2\u00EA\u00EE\u00F4\u00FB"},
    {0x0303, u"ANOano", u"\u00C3\u00D1\u00D5\u00E3\u00F1\u00F5"},
    {0x0308, u"AEIOUYaeiouy",
     u"\u00C4\u00CB\u00CF\u00D6\u00DC\u0178\u00E4\u00EB\u00EF\u00F6\u00FC\u00FF"},
    {0x030A, u"Aa", u"\u00C5\u00E5"},
    {0x030C, u"SZsz", u"\u0160\u017D\u0161\u017E"},
    {0x0327, u"Cc", u"\u00C7\u00E7"},
};

// Windows-1252 bytes of `text`: a letter with a combining mark becomes the
// precomposed letter where the code page has it; every character the code page
// lacks (a lone combining mark too) becomes `fallback`.
std::string ToCp1252Composed(u16v text, char fallback) {
  u16 composed;
  composed.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (i + 1 < text.size()) {
      for (const auto& comp : kCompositions) {
        if (comp.mark != text[i + 1]) continue;
        const auto at = comp.bases.find(c);
        if (at != u16v::npos) {
          c = comp.composed[at];
          ++i;
        }
        break;
      }
    }
    composed.push_back(c);
  }
  return utf16_to_cp1252(composed, fallback);
}

}  // namespace

// --- BinaryFile -----------------------------------------------------------------

namespace detail {

BinaryFile::BinaryFile(BinaryFile&& other) noexcept
    : f_(other.f_),
      ahead_(std::move(other.ahead_)),
      head_(other.head_),
      pos_(other.pos_),
      writing_(other.writing_) {
  other.f_ = nullptr;
  other.ahead_.clear();
  other.head_ = 0;
  other.pos_ = 0;
}

BinaryFile& BinaryFile::operator=(BinaryFile&& other) noexcept {
  if (this != &other) {
    Close();
    f_ = other.f_;
    ahead_ = std::move(other.ahead_);
    head_ = other.head_;
    pos_ = other.pos_;
    writing_ = other.writing_;
    other.f_ = nullptr;
    other.ahead_.clear();
    other.head_ = 0;
    other.pos_ = 0;
  }
  return *this;
}

bool BinaryFile::Open(const std::filesystem::path& path, std::uint32_t flags) {
  Close();
  const std::uint32_t access = flags & (kFileModeWrite | kFileModeReadWrite);
  const bool create = (flags & kFileModeCreate) != 0;
  int oflags = 0;
  const char* mode = nullptr;
  if (access == kFileModeWrite) {
    oflags = O_WRONLY;
    mode = "wb";
  } else if (access == kFileModeReadWrite || (access == kFileModeRead && create)) {
    oflags = O_RDWR;  // a created file is empty, so creating for reading reads nothing
    mode = "r+b";
  } else if (access == kFileModeRead) {
    oflags = O_RDONLY;
    mode = "rb";
  } else {
    return false;  // write and read/write together
  }
  if (create) oflags |= O_CREAT | O_TRUNC;
  // O_NONBLOCK keeps a planted FIFO from blocking the open; only regular files
  // are accepted, and for them the flag is cleared again.
  const int fd = ::open(path.c_str(), oflags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  const int fl = ::fcntl(fd, F_GETFL);
  if (fl < 0 || ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return false;
  }
  f_ = ::fdopen(fd, mode);
  if (f_ == nullptr) {
    ::close(fd);
    return false;
  }
  ahead_.clear();
  head_ = 0;
  pos_ = 0;
  writing_ = false;
  return true;
}

bool BinaryFile::Close() {
  if (f_ == nullptr) return true;
  const bool ok = std::fclose(f_) == 0;
  f_ = nullptr;
  ahead_.clear();
  head_ = 0;
  pos_ = 0;
  writing_ = false;
  return ok;
}

bool BinaryFile::Write(const void* data, std::size_t size) {
  if (f_ == nullptr) return false;
  if (!writing_) {
    ahead_.clear();
    head_ = 0;
    if (::fseeko(f_, static_cast<off_t>(pos_), SEEK_SET) != 0) return false;
    writing_ = true;
  }
  if (size == 0) return true;
  const std::size_t done = std::fwrite(data, 1, size, f_);
  pos_ += static_cast<std::int64_t>(done);
  return done == size;
}

bool BinaryFile::Fill(std::size_t wanted) {
  if (ahead_.size() - head_ >= wanted) return true;
  if (f_ == nullptr) return false;
  if (writing_) {
    if (::fseeko(f_, static_cast<off_t>(pos_), SEEK_SET) != 0) return false;
    writing_ = false;
  }
  ahead_.erase(ahead_.begin(), ahead_.begin() + static_cast<std::ptrdiff_t>(head_));
  head_ = 0;
  while (ahead_.size() < wanted) {
    const std::size_t old = ahead_.size();
    ahead_.resize(old + kBlockSize);
    const std::size_t got = std::fread(ahead_.data() + old, 1, kBlockSize, f_);
    ahead_.resize(old + got);
    if (got == 0) return false;
  }
  return true;
}

int BinaryFile::Peek(std::size_t ahead) {
  if (!Fill(ahead + 1)) return -1;
  return ahead_[head_ + ahead];
}

void BinaryFile::Skip(std::size_t count) {
  count = std::min(count, ahead_.size() - head_);
  head_ += count;
  pos_ += static_cast<std::int64_t>(count);
}

std::size_t BinaryFile::Read(void* data, std::size_t size) {
  if (f_ == nullptr || size == 0) return 0;
  auto* out = static_cast<unsigned char*>(data);
  const std::size_t buffered = std::min(size, ahead_.size() - head_);
  if (buffered > 0) std::memcpy(out, ahead_.data() + head_, buffered);
  Skip(buffered);
  if (buffered == size) return size;
  if (writing_) {
    if (::fseeko(f_, static_cast<off_t>(pos_), SEEK_SET) != 0) return buffered;
    writing_ = false;
  }
  const std::size_t got = std::fread(out + buffered, 1, size - buffered, f_);
  pos_ += static_cast<std::int64_t>(got);
  return buffered + got;
}

std::int64_t BinaryFile::Seek(std::int64_t offset, SeekFrom from) {
  if (f_ == nullptr) return -1;
  std::int64_t target = 0;
  int whence = SEEK_SET;
  switch (from) {
    case SeekFrom::kBegin:
      target = offset;
      break;
    case SeekFrom::kCurrent:
      if (__builtin_add_overflow(pos_, offset, &target)) return -1;
      break;
    case SeekFrom::kEnd:
      target = offset;
      whence = SEEK_END;
      break;
    default:
      return -1;
  }
  if (whence == SEEK_SET && target < 0) return -1;
  // Leave reading or writing cleanly before moving.
  if (writing_ && std::fflush(f_) != 0) return -1;
  ahead_.clear();
  head_ = 0;
  writing_ = false;
  if (::fseeko(f_, static_cast<off_t>(target), whence) != 0) {
    (void)::fseeko(f_, static_cast<off_t>(pos_), SEEK_SET);
    return -1;
  }
  const off_t now = ::ftello(f_);
  if (now < 0) {
    (void)::fseeko(f_, static_cast<off_t>(pos_), SEEK_SET);
    return -1;
  }
  pos_ = now;
  return pos_;
}

std::int64_t BinaryFile::Length() {
  if (f_ == nullptr) return -1;
  if (writing_ && std::fflush(f_) != 0) return -1;
  struct stat st {};
  if (::fstat(::fileno(f_), &st) != 0) return -1;
  return st.st_size;
}

}  // namespace detail

// --- CStdioFileEx -------------------------------------------------------------

bool CStdioFileEx::Open(const std::filesystem::path& path, std::uint32_t flags) {
  unicode_ = (flags & kFileModeUnicode) != 0;
  flags = (flags & ~kFileTypeText) | kFileTypeBinary;
  if (!file_.Open(path, flags)) return false;
  if ((flags & (kFileModeCreate | kFileModeWrite)) == 0)
    unicode_ = file_.Peek(0) == 0xFF && file_.Peek(1) == 0xFE;
  return true;
}

bool CStdioFileEx::ReadString(u16& text, std::size_t max_chars) {
  text.clear();
  if (!file_.IsOpen()) return false;
  // A mark is skipped only when it is really there, so a file without one keeps
  // its first characters.
  if (file_.Position() == 0) {
    if (unicode_)
      SkipMark(file_, "\xFF\xFE");
    else if (code_page_ == kCodePageUtf8)
      SkipMark(file_, "\xEF\xBB\xBF");
  }
  if (unicode_) return ReadLfLine(Utf16Units{file_, false}, text, max_chars);
  std::string bytes;
  const bool ok = ReadLfLine(ByteUnits{file_}, bytes, max_chars);
  text = code_page_ == kCodePageUtf8 ? utf8_to_utf16(bytes) : cp1252_to_utf16(bytes);
  return ok;
}

bool CStdioFileEx::WriteString(u16v text) {
  if (!file_.IsOpen()) return false;
  std::string bytes;
  if (write_mark_ && file_.Position() == 0) {
    if (unicode_)
      bytes = "\xFF\xFE";
    else if (code_page_ == kCodePageUtf8)
      bytes = "\xEF\xBB\xBF";
  }
  if (unicode_)
    bytes += utf16le_bytes(text);
  else if (code_page_ == kCodePageUtf8)
    bytes += utf16_to_utf8(text);
  else
    bytes += ToCp1252Composed(text, kDefaultChar);
  return file_.Write(bytes.data(), bytes.size());
}

// --- CUTF16File ----------------------------------------------------------------

bool CUTF16File::Open(const std::filesystem::path& path, std::uint32_t flags) {
  utf16_ = false;
  big_endian_ = false;
  encoding_ = Encoding::kNarrow;
  if (!file_.Open(path, flags | kFileTypeBinary)) return false;
  if ((flags & kFileModeWrite) == 0) DetectEncoding();
  return true;
}

// Called at position 0. A UTF-16 mark decides the byte order and is consumed.
// A file without one is decoded as follows:
//  - a zero byte within the first 4096 bytes: UTF-16LE units in file order (the
//    body files written without a mark hold such units, and text in an 8-bit
//    encoding has no zero bytes);
//  - otherwise 8-bit text, line by line: UTF-8 when the line is valid UTF-8 (an
//    EF BB BF mark at the start is skipped), else Windows-1252. Plain ASCII reads
//    the same either way.
void CUTF16File::DetectEncoding() {
  utf16_ = false;
  big_endian_ = false;
  encoding_ = Encoding::kNarrow;
  if (SkipMark(file_, "\xFF\xFE")) {
    utf16_ = true;
    encoding_ = Encoding::kUtf16Le;
    return;
  }
  if (SkipMark(file_, "\xFE\xFF")) {
    utf16_ = true;
    big_endian_ = true;
    encoding_ = Encoding::kUtf16Be;
    return;
  }
  for (std::size_t i = 0; i < kBlockSize; ++i) {
    const int b = file_.Peek(i);
    if (b < 0) break;
    if (b == 0) {
      encoding_ = Encoding::kUtf16Le;
      break;
    }
  }
}

bool CUTF16File::ReadLine(u16& text, std::size_t limit, bool keep_break) {
  text.clear();
  if (!file_.IsOpen()) return false;
  if (file_.Position() == 0) DetectEncoding();
  if (encoding_ != Encoding::kNarrow)
    return ReadBreakLine(Utf16Units{file_, encoding_ == Encoding::kUtf16Be}, text, limit,
                         keep_break);
  if (file_.Position() == 0) SkipMark(file_, "\xEF\xBB\xBF");
  std::string bytes;
  const bool ok = ReadBreakLine(ByteUnits{file_}, bytes, limit, keep_break);
  text = IsValidUtf8(bytes) ? utf8_to_utf16(bytes) : cp1252_to_utf16(bytes);
  return ok;
}

bool CUTF16File::ReadString(u16& text, std::size_t max_chars) {
  return ReadLine(text, max_chars, false);
}

char16_t* CUTF16File::ReadString(char16_t* buffer, std::size_t count) {
  if (buffer == nullptr || count < 2) return nullptr;
  u16 line;
  if (!ReadLine(line, count - 1, true)) return nullptr;
  // Each unit of the file gives at most one UTF-16 unit, so the line fits.
  std::copy(line.begin(), line.end(), buffer);
  buffer[line.size()] = u'\0';
  return buffer;
}

bool CUTF16File::WriteString(u16v text) {
  if (!file_.IsOpen()) return false;
  std::string bytes;
  if (file_.Position() == 0) bytes = "\xFF\xFE";
  bytes += utf16le_bytes(text);
  return file_.Write(bytes.data(), bytes.size());
}

}  // namespace edbx
