#include "content/body_extraction.hpp"

#include "common/paths.hpp"
#include "content/rtf_decompress.hpp"
#include "content/rtf_to_text.hpp"
#include "export/wide_text_file.hpp"
#include "pipeline/session.hpp"
#include "store/decompress.hpp"
#include "store/esedb.hpp"
#include "store/value_text.hpp"

namespace edbx {

namespace {

/// The value of a body column: type, flags and stored bytes; nullopt when any of
/// them cannot be read or the value has no bytes.
struct StoredValue {
  uint32_t type = 0;
  uint8_t flags = 0;
  std::string data;
  bool compressed() const { return (flags & kValueCompressed) != 0 && (flags & kValueMultiValue) == 0; }
  bool long_value() const { return (flags & kValueLongValue) != 0 && (flags & kValueMultiValue) == 0; }
};

std::optional<StoredValue> ReadStored(const EseRecord& record, int column) {
  if (column < 0) return std::nullopt;
  const auto type = record.ColumnType(column);
  const auto flags = record.ValueFlags(column);
  auto data = record.ValueData(column);
  if (!type || !flags || !data || data->empty()) return std::nullopt;
  return StoredValue{*type, *flags, std::move(*data)};
}

/// Calls `sink` with each segment of the long value; false when a segment cannot be read.
template <typename Sink>
bool ForEachSegment(const EseRecord& record, int column, Sink&& sink) {
  EseLongValue lv;
  if (record.GetLongValue(column, lv) != 1) return false;
  const auto count = lv.SegmentCount();
  if (!count) return false;
  for (int i = 0; i < *count; ++i) {
    const auto segment = lv.Segment(i);
    if (!segment) return false;
    sink(*segment);
  }
  return true;
}

/// Calls `sink` with the stored bytes: the value, or each segment of its long value.
/// False when a segment cannot be read.
template <typename Sink>
bool ForEachStoredPiece(const EseRecord& record, int column, const StoredValue& v, Sink&& sink) {
  if (!v.long_value()) {
    sink(v.data);
    return true;
  }
  return ForEachSegment(record, column, sink);
}

/// A file of the working folder, written without following a planted link.
fs::path WorkFile(const Session& s, const char* name) { return s.working_folder / name; }

}  // namespace

std::string DecodeSegment(std::string_view segment) {
  if (segment.empty()) return {};
  const auto lead = static_cast<unsigned char>(segment[0]);
  // Xpress streams announce their size and are checked against it. 7-bit packing is only
  // used for short values, so a full-size segment whose first byte happens to look like
  // a 7-bit lead byte is taken as stored.
  const bool xpress = lead == 0x18;
  const bool seven_bit = lead >= 0x08 && lead <= 0x17 && segment.size() <= 1024 * 7 / 8 + 1;
  if (xpress || seven_bit)
    if (auto decoded = DecompressValue(segment)) return std::move(*decoded);
  return std::string(segment);
}

std::optional<u16> WriteHtmlBodyFile(Session& s, const EseRecord& record, int column) {
  const auto v = ReadStored(record, column);
  if (!v) return std::nullopt;
  const fs::path path = WorkFile(s, "blank.html");
  FileHandle f(OpenForWrite(path));
  if (!f) return u16();
  if (v->compressed()) {
    if (v->type == ese_type::kLargeBinary) {
      std::string bytes;
      if (record.GetBinaryData(column, bytes) != 1 || bytes.empty()) return std::nullopt;
      f.write(bytes);
    } else if (v->type == ese_type::kLargeText) {
      u16 text;
      if (record.GetUtf16String(column, text) != 1 || text.empty()) return std::nullopt;
      f.write(utf16le_bytes(text));
    } else {
      f.write(v->data);
    }
  } else if (v->long_value()) {
    if (!ForEachSegment(record, column, [&](const std::string& seg) { f.write(DecodeSegment(seg)); }))
      return std::nullopt;  // what was written stays
  } else if (v->data.size() > 4) {
    f.write(v->data);
  }
  f.close();
  return FromPath(path);
}

std::optional<u16> WriteTextBodyFile(Session& s, const EseRecord& record, int column) {
  const auto v = ReadStored(record, column);
  if (!v) return std::nullopt;
  const fs::path path = WorkFile(s, "blank.txt");
  CUTF16File f;
  if (!f.Open(path, kFileModeCreate | kFileModeWrite)) return std::nullopt;
  if (v->compressed()) {
    if (v->type == ese_type::kLargeBinary) {
      std::string bytes;
      if (record.GetBinaryData(column, bytes) != 1) return std::nullopt;
      f.Write(bytes);
    } else if (v->type == ese_type::kLargeText) {
      u16 text;
      if (record.GetUtf16String(column, text) != 1) return std::nullopt;
      f.WriteString(text);
    } else {
      f.Write(v->data);
    }
  } else if (!v->long_value()) {
    u16 text;
    if (v->type == ese_type::kLargeText && record.GetUtf16String(column, text) == 1) {
      f.WriteString(text);
    } else if (v->data.size() > 4) {
      f.Write(v->data);
    }
  } else if (!ForEachSegment(record, column, [&](const std::string& seg) { f.Write(DecodeSegment(seg)); })) {
    return std::nullopt;
  }
  f.Close();
  return FromPath(path);
}

std::optional<u16> WriteRtfBodyFile(Session& s, const EseRecord& record, int column) {
  const auto v = ReadStored(record, column);
  if (!v) return std::nullopt;
  const fs::path path = WorkFile(s, "rtfbody.txt");
  FileHandle f(OpenForWrite(path));
  if (!f) return decimal(static_cast<int64_t>(v->data.size()));
  s.item.body_kind = kBodyRtf;
  s.item.body_file = path;
  if (!v->long_value()) {
    f.write(v->data);
    return decimal(static_cast<int64_t>(v->data.size()));
  }
  if (!ForEachSegment(record, column, [&](const std::string& seg) { f.write(seg); })) return std::nullopt;
  return u16();
}

int ExtractTextBody(Session& s, const EseRecord& record, int column) {
  const auto v = ReadStored(record, column);
  if (!v) return 0;
  s.item.body_kind = kOlderBodyText;
  s.item.body_file = WorkFile(s, "textbody.txt");
  CUTF16File f;
  if (!f.Open(s.item.body_file, kFileModeCreate | kFileModeReadWrite)) return 0;
  ForEachStoredPiece(record, column, *v, [&](const std::string& piece) { f.Write(piece); });
  f.Close();
  return 0;
}

int ExtractHtmlBody(Session& s, const EseRecord& record, int column) {
  const auto v = ReadStored(record, column);
  if (!v) return 0;
  s.item.body_kind = kOlderBodyHtml;
  s.item.body_file = WorkFile(s, "htmlbody.html");
  CUTF16File f;
  if (!f.Open(s.item.body_file, kFileModeCreate | kFileModeReadWrite)) return 0;
  if (!v->long_value()) {
    // 8-bit text up to its first NUL, in the ANSI code page, kept as UTF-8.
    const std::string_view bytes(v->data.data(), std::min(v->data.size(), v->data.find('\0')));
    s.item.body_text = cp1252_to_utf16(bytes);
    const std::string utf8 = utf16_to_utf8(s.item.body_text);
    if (!utf8.empty()) f.Write(utf8);
  } else {
    ForEachSegment(record, column, [&](const std::string& seg) { f.Write(seg); });
  }
  f.Close();
  return 0;
}

int ExtractRtfBody(Session& s, const EseRecord& record, int column) {
  const auto v = ReadStored(record, column);
  if (!v) return 0;
  s.item.body_kind = kBodyRtf;
  s.item.body_file = WorkFile(s, "rtfbody.txt");
  {
    FileHandle f(OpenForWrite(s.item.body_file));
    if (!f) return 0;
    ForEachStoredPiece(record, column, *v, [&](const std::string& piece) { f.write(piece); });
  }
  const auto compressed = ReadWholeFile(s.item.body_file);
  if (!compressed || compressed->empty()) return 0;
  // A damaged stream gives no text: the file keeps the compressed bytes.
  const auto rtf = DecompressRtf(*compressed);
  if (!rtf) return 0;
  s.item.body_text = ConvertRtfToText(s, cp1252_to_utf16(*rtf));
  if (!s.item.body_text.empty()) WriteWholeFile(s.item.body_file, utf16_to_utf8(s.item.body_text));
  else WriteWholeFile(s.item.body_file, "");
  return 0;
}

int WriteAttachmentData(const EseRecord& record, int column, const std::filesystem::path& file) {
  const auto v = ReadStored(record, column);
  if (!v) return 0;
  FileHandle f(OpenForWrite(file));
  if (!f) return 0;
  ForEachStoredPiece(record, column, *v, [&](const std::string& piece) { f.write(piece); });
  return 0;
}

u16 WholeColumnText(Session& s, const EseRecord& record, int column, std::size_t max_units) {
  const auto flags = record.ValueFlags(column);
  if (!flags || (*flags & kValueLongValue) == 0 || (*flags & kValueMultiValue) != 0) {
    u16 text = RecordValueText(record, column, s.value_context()).value_or(u16());
    if (text.size() > max_units) text.resize(max_units);
    return text;
  }
  const auto type = record.ColumnType(column).value_or(0);
  const bool is_text = type == ese_type::kText || type == ese_type::kLargeText;
  const std::size_t max_bytes = is_text ? max_units * 2 : max_units;
  std::string bytes;
  EseLongValue lv;
  if (record.GetLongValue(column, lv) == 1)
    if (const auto count = lv.SegmentCount())
      for (int i = 0; i < *count && bytes.size() < max_bytes; ++i)
        if (const auto segment = lv.Segment(i)) bytes += DecodeSegment(*segment);
  if (bytes.size() > max_bytes) bytes.resize(max_bytes);
  if (!is_text) return PrintableBytes(bytes);
  u16 text = utf16le_from_bytes(bytes);
  erase_chars(text, u16(1, u'\0'));
  return text;
}

u16 ConvertRtfToText(Session& s, u16v rtf) {
  if (rtf.empty()) return u16();
  if (!WriteWholeFile(WorkFile(s, "temp.rtf"), utf16_to_utf8(rtf))) return u16();
  return RtfToText(rtf);
}

}  // namespace edbx
