#pragma once
// Text files for the savers and body writers: CStdioFileEx writes wide text as
// UTF-16LE with a byte-order mark or converted to a code page; CUTF16File
// recognises a UTF-16 mark when reading and always writes UTF-16LE with a mark.
// Both work on the file in binary mode, so line ends are never translated, and
// neither follows a symbolic link at the last path component.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.hpp"

namespace edbx {

/// Open flags. Combined flag words such as 0x1001 (create, write) and 0x201001
/// (create, write, Unicode text) keep these values.
inline constexpr std::uint32_t kFileModeRead = 0x0000;
inline constexpr std::uint32_t kFileModeWrite = 0x0001;
inline constexpr std::uint32_t kFileModeReadWrite = 0x0002;
inline constexpr std::uint32_t kFileModeCreate = 0x1000;  ///< create, or truncate an existing file
inline constexpr std::uint32_t kFileTypeText = 0x4000;    ///< accepted and ignored: always binary
inline constexpr std::uint32_t kFileTypeBinary = 0x8000;
inline constexpr std::uint32_t kFileModeUnicode = 0x200000;  ///< CStdioFileEx: UTF-16LE text

/// Code pages for narrow text. Any value other than UTF-8 means Windows-1252.
inline constexpr int kCodePageAnsi = -1;
inline constexpr int kCodePageUtf8 = 65001;

enum class SeekFrom { kBegin = 0, kCurrent = 1, kEnd = 2 };

namespace detail {

/// A binary FILE* with a logical byte position and a read-ahead buffer for line
/// reading. Raw reads take the read-ahead first; writes and seeks drop it and
/// reposition the stream, so everything happens at the logical position.
class BinaryFile {
 public:
  BinaryFile() = default;
  BinaryFile(const BinaryFile&) = delete;
  BinaryFile& operator=(const BinaryFile&) = delete;
  BinaryFile(BinaryFile&& other) noexcept;
  BinaryFile& operator=(BinaryFile&& other) noexcept;
  ~BinaryFile() { Close(); }

  bool Open(const std::filesystem::path& path, std::uint32_t flags);
  /// Closes; false when buffered data could not be written.
  bool Close();
  bool IsOpen() const { return f_ != nullptr; }

  bool Write(const void* data, std::size_t size);
  std::size_t Read(void* data, std::size_t size);
  /// New position, or -1 (position unchanged) on failure.
  std::int64_t Seek(std::int64_t offset, SeekFrom from);
  std::int64_t Position() const { return pos_; }
  /// Size in bytes including unflushed writes, or -1.
  std::int64_t Length();

  /// The byte `ahead` places after the logical position without consuming it;
  /// -1 past the end. Reads the file in 4096-byte blocks.
  int Peek(std::size_t ahead = 0);
  /// Consumes `count` bytes already seen through Peek.
  void Skip(std::size_t count);

 private:
  bool Fill(std::size_t wanted);

  std::FILE* f_ = nullptr;
  std::vector<unsigned char> ahead_;  // read-ahead bytes are ahead_[head_..]
  std::size_t head_ = 0;
  std::int64_t pos_ = 0;
  bool writing_ = false;
};

}  // namespace detail

/// Wide text file that writes UTF-16LE (with kFileModeUnicode) or code-page text.
class CStdioFileEx {
 public:
  /// Unicode text := flags contain kFileModeUnicode. When opened without create
  /// and without write access, Unicode text := the file starts with FF FE.
  bool Open(const std::filesystem::path& path, std::uint32_t flags);
  bool Close() { return file_.Close(); }
  bool IsOpen() const { return file_.IsOpen(); }

  /// Reads one line ended by LF; the LF and one CR before it are removed. At
  /// position 0 a mark (FF FE for Unicode text, EF BB BF for UTF-8) is skipped
  /// when present. With `max_chars` > 0 a longer line comes back in pieces of at
  /// most that many units of the file (bytes, or UTF-16 units). False, with an
  /// empty text, at the end of the file.
  bool ReadString(u16& text, std::size_t max_chars = 0);
  /// Writes the text without terminator, preceded at position 0 by the mark of
  /// its encoding when the write-mark flag is set. Code-page text gets "#" for
  /// every character the code page lacks.
  bool WriteString(u16v text);
  /// Writes raw bytes, never a mark.
  bool Write(const void* data, std::size_t size) { return file_.Write(data, size); }
  bool Write(std::string_view bytes) { return Write(bytes.data(), bytes.size()); }

  std::int64_t Seek(std::int64_t offset, SeekFrom from) { return file_.Seek(offset, from); }
  std::int64_t GetLength() { return file_.Length(); }
  std::int64_t GetPosition() const { return file_.Position(); }

  void SetCodePage(int code_page) { code_page_ = code_page; }
  int GetCodePage() const { return code_page_; }
  void SetWriteMark(bool write_mark) { write_mark_ = write_mark; }
  bool IsUnicodeText() const { return unicode_; }

  static constexpr char kDefaultChar = '#';

 private:
  detail::BinaryFile file_;
  bool unicode_ = false;
  int code_page_ = kCodePageAnsi;
  bool write_mark_ = true;
};

/// Text file that reads UTF-16 (either byte order, recognised by its mark) and
/// writes UTF-16LE with a mark.
class CUTF16File {
 public:
  /// Without write access, looks at the start of the file: FF FE or FE FF make
  /// it a UTF-16 file and are consumed; any other start stays unread.
  bool Open(const std::filesystem::path& path, std::uint32_t flags);
  bool Close() { return file_.Close(); }
  bool IsOpen() const { return file_.IsOpen(); }

  /// Reads one line; CR, LF and CR LF each end a line and are removed. With
  /// `max_chars` > 0 a longer line comes back in pieces of at most that many
  /// units of the file. False, with an empty text, when nothing is left.
  bool ReadString(u16& text, std::size_t max_chars = 0);
  /// Reads one line into `buffer`: at most `count` - 1 characters including the
  /// first character of the line break, then a NUL. A line that does not fit
  /// continues at the next call. Null at the end, or when `count` < 2.
  char16_t* ReadString(char16_t* buffer, std::size_t count);
  /// Writes FF FE when at position 0, then the text's UTF-16LE units.
  bool WriteString(u16v text);
  /// Writes raw bytes, never a mark.
  bool Write(const void* data, std::size_t size) { return file_.Write(data, size); }
  bool Write(std::string_view bytes) { return Write(bytes.data(), bytes.size()); }

  std::int64_t Seek(std::int64_t offset, SeekFrom from) { return file_.Seek(offset, from); }
  std::int64_t GetLength() { return file_.Length(); }
  std::int64_t GetPosition() const { return file_.Position(); }

  /// The file began with a UTF-16 mark; IsBigEndian: that mark was FE FF.
  bool IsUtf16() const { return utf16_; }
  bool IsBigEndian() const { return big_endian_; }

 private:
  enum class Encoding { kUtf16Le, kUtf16Be, kNarrow };
  void DetectEncoding();
  bool ReadLine(u16& text, std::size_t limit, bool keep_break);

  detail::BinaryFile file_;
  bool utf16_ = false;
  bool big_endian_ = false;
  Encoding encoding_ = Encoding::kNarrow;
};

}  // namespace edbx
