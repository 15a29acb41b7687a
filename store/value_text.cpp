#include "store/value_text.hpp"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdio>
#include <string>
#include <utility>

#include "common/paths.hpp"

namespace edbx {

namespace {

// The two renderings share every rule but a few; see
// export_handle_export_binary_record_value.
enum class Variant { kRecord, kExport };

constexpr std::uint32_t kNewerLayoutAbove = 16;
constexpr std::uint32_t kStoreIdWordRevision = 17;
constexpr std::size_t kDateCut = 21;
constexpr std::size_t kDateCutAbove = 22;

// 1 / 0 / -1 of a getter to text / empty / null.
template <typename Render>
std::optional<u16> ByStatus(int rc, Render&& render) {
  if (rc == 1) return render();
  if (rc == 0) return u16();
  return std::nullopt;
}

u16 Decimal(std::uint64_t value) { return widen(std::to_string(value)); }
u16 Decimal(std::int64_t value) { return widen(std::to_string(value)); }

u16 Fixed(double value) {
  // "%f" of the largest double has 316 characters.
  std::array<char, 400> buffer{};
  const int n = std::snprintf(buffer.data(), buffer.size(), "%f", value);
  if (n < 0) return {};
  return widen(std::string_view(buffer.data(), std::min<std::size_t>(static_cast<std::size_t>(n), buffer.size() - 1)));
}

u16 WithoutNuls(u16 text) {
  std::erase(text, u'\0');
  return text;
}

// A text as a C string reads it.
u16 UpToNul(u16 text) {
  const auto nul = text.find(u'\0');
  if (nul != u16::npos) text.resize(nul);
  return text;
}

std::optional<u16> StoredPrintable(const EseRecord& record, int entry) {
  const auto data = record.ValueData(entry);
  if (!data) return std::nullopt;
  return PrintableBytes(*data);
}

std::optional<u16> PlainText(const EseRecord& record, int entry, std::uint32_t type, Variant variant) {
  switch (type) {
    case ese_type::kBoolean: {
      bool v = false;
      return ByStatus(record.GetBoolean(entry, v), [&] { return widen(v ? "true" : "false"); });
    }
    case ese_type::kUnsigned8: {
      std::uint8_t v = 0;
      return ByStatus(record.Get8Bit(entry, v), [&] { return Decimal(std::uint64_t{v}); });
    }
    case ese_type::kSigned16: {
      std::uint16_t v = 0;
      return ByStatus(record.Get16Bit(entry, v), [&] { return Decimal(std::int64_t{static_cast<std::int16_t>(v)}); });
    }
    case ese_type::kUnsigned16: {
      std::uint16_t v = 0;
      return ByStatus(record.Get16Bit(entry, v), [&] { return Decimal(std::uint64_t{v}); });
    }
    case ese_type::kSigned32: {
      std::uint32_t v = 0;
      return ByStatus(record.Get32Bit(entry, v), [&] { return Decimal(std::int64_t{static_cast<std::int32_t>(v)}); });
    }
    case ese_type::kUnsigned32: {
      std::uint32_t v = 0;
      return ByStatus(record.Get32Bit(entry, v), [&] { return Decimal(std::uint64_t{v}); });
    }
    case ese_type::kCurrency: {
      std::uint64_t v = 0;
      return ByStatus(record.Get64Bit(entry, v), [&] { return Decimal(v); });
    }
    case ese_type::kSigned64: {
      std::uint64_t v = 0;
      return ByStatus(record.Get64Bit(entry, v), [&] { return Decimal(static_cast<std::int64_t>(v)); });
    }
    case ese_type::kFloat32: {
      float v = 0;
      return ByStatus(record.GetFloat32(entry, v), [&] { return Fixed(static_cast<double>(v)); });
    }
    case ese_type::kFloat64: {
      double v = 0;
      return ByStatus(record.GetFloat64(entry, v), [&] { return Fixed(v); });
    }
    case ese_type::kDateTime: {
      std::uint64_t v = 0;
      return ByStatus(record.GetFiletime(entry, v), [&] { return DateText(v); });
    }
    case ese_type::kText:
    case ese_type::kLargeText: {
      u16 v;
      return ByStatus(record.GetUtf16String(entry, v),
                      [&] { return variant == Variant::kRecord ? WithoutNuls(std::move(v)) : UpToNul(std::move(v)); });
    }
    case ese_type::kLargeBinary: {
      std::string v;
      const int rc = record.GetBinaryData(entry, v);
      if (rc == 1 && v.empty()) return std::nullopt;
      return ByStatus(rc, [&] { return PrintableBytes(v); });
    }
    default: {
      const auto data = record.ValueData(entry);
      if (!data) return std::nullopt;
      return variant == Variant::kRecord ? PrintableBytes(*data) : HexBytes(*data);
    }
  }
}

std::optional<u16> CompressedText(const EseRecord& record, int entry, std::uint32_t type) {
  if (type == ese_type::kLargeBinary) {
    std::string v;
    return ByStatus(record.GetBinaryData(entry, v), [&] { return PrintableBytes(v); });
  }
  if (type == ese_type::kLargeText) {
    u16 v;
    return ByStatus(record.GetUtf16String(entry, v), [&] { return UpToNul(std::move(v)); });
  }
  return StoredPrintable(record, entry);
}

std::optional<u16> MultiValueText(const EseRecord& record, int entry, Variant variant) {
  EseMultiValue values;
  const int rc = record.GetMultiValue(entry, values);
  if (rc != 1) return rc == 0 ? std::optional<u16>(u16()) : std::nullopt;
  const auto count = values.Count();
  const auto type = values.Type();
  if (!count || !type) return std::nullopt;
  const bool text = *type == ese_type::kText || *type == ese_type::kLargeText;
  u16 out;
  for (int i = 0; i < *count; ++i) {
    const auto data = values.Data(i);
    if (!data) return std::nullopt;
    if (data->empty()) continue;
    if (!text) {
      out += PrintableBytes(*data);
      continue;
    }
    auto entry_text = values.Utf16String(i);
    if (!entry_text) return std::nullopt;
    if (variant == Variant::kExport) {
      out += UpToNul(std::move(*entry_text));
    } else {
      // Each NUL, the terminator included, becomes one space.
      std::replace(entry_text->begin(), entry_text->end(), u'\0', u' ');
      out += *entry_text;
      out += u' ';
    }
  }
  return out;
}

// Writes every segment of a long value to `path`; with `header_filter`, only the bytes
// 0x01..0x7D are kept (the ASCII characters of UTF-16 header text). False when the file
// cannot be created or a segment cannot be read or written.
bool WriteLongValue(const EseLongValue& value, const fs::path& path, bool header_filter) {
  FileHandle file(OpenForRewrite(path));
  if (!file) return false;
  const auto write_segments = [&] {
    const auto count = value.SegmentCount();
    if (!count) return false;
    for (int i = 0; i < *count; ++i) {
      auto segment = value.Segment(i);
      if (!segment) return false;
      if (header_filter)
        std::erase_if(*segment, [](char c) {
          const auto b = static_cast<unsigned char>(c);
          return b < 0x01 || b > 0x7D;
        });
      if (!file.write(*segment)) return false;
    }
    return true;
  };
  const bool written = write_segments();
  return file.close_truncated() && written;
}

// What WriteLongValue with the header filter would write, kept in `capture` (cut at its
// limit). False when a segment cannot be read.
bool CaptureHeader(const EseLongValue& value, HeaderCapture& capture) {
  capture.reached = true;
  capture.bytes.clear();
  const auto count = value.SegmentCount();
  if (!count) return false;
  for (int i = 0; i < *count; ++i) {
    const auto segment = value.Segment(i);
    if (!segment) return false;
    for (char c : *segment) {
      const auto b = static_cast<unsigned char>(c);
      if (b >= 0x01 && b <= 0x7D && capture.bytes.size() < capture.limit) capture.bytes.push_back(c);
    }
  }
  return true;
}

std::optional<u16> LongValueText(const EseRecord& record, int entry, const ValueContext& context) {
  const bool newer = context.format_revision > kNewerLayoutAbove;
  const bool header = !newer && context.header_column >= 0 && entry == context.header_column;
  if (!newer && !header) return u16();
  EseLongValue value;
  if (record.GetLongValue(entry, value) != 1) return u16();
  if (newer) {
    WriteLongValue(value, context.working_folder / "ccc.txt", false);
    return u16();
  }
  if (context.header_capture != nullptr) {
    if (!CaptureHeader(value, *context.header_capture)) return u16();
  } else if (!WriteLongValue(value, context.working_folder / "m_S7d.txt", true)) {
    return u16();
  }
  if (context.header_file_flag != nullptr) *context.header_file_flag = true;
  return widen("true");
}

std::optional<u16> DiscardedLongValue(const EseRecord& record, int entry) {
  EseLongValue value;
  if (record.GetLongValue(entry, value) == 1)
    if (const auto count = value.SegmentCount())
      for (int i = 0; i < *count; ++i)
        if (!value.Segment(i)) break;
  return u16();
}

std::optional<u16> ValueText(const EseRecord& record, int entry, const ValueContext* context, Variant variant) {
  const auto type = record.ColumnType(entry);
  const auto flags = record.ValueFlags(entry);
  if (!type || !flags) return std::nullopt;
  const std::uint8_t f = *flags;
  if (f == 0 || f == kValueVariableSize) return PlainText(record, entry, *type, variant);
  if ((f & kValueCompressed) != 0 && (f & kValueMultiValue) == 0) return CompressedText(record, entry, *type);
  if ((f & (kValueLongValue | kValueMultiValue)) == 0) return StoredPrintable(record, entry);
  if ((f & kValueMultiValue) != 0) {
    if ((f & (kValueLongValue | kValueFlag10)) != 0) return StoredPrintable(record, entry);
    return MultiValueText(record, entry, variant);
  }
  if (variant == Variant::kExport || context == nullptr) return DiscardedLongValue(record, entry);
  return LongValueText(record, entry, *context);
}

std::uint64_t BigEndian(std::string_view bytes) {
  std::uint64_t value = 0;
  for (char c : bytes) value = (value << 8) | static_cast<unsigned char>(c);
  return value;
}

std::uint64_t LittleEndian(std::string_view bytes) {
  std::uint64_t value = 0;
  for (auto it = bytes.rbegin(); it != bytes.rend(); ++it) value = (value << 8) | static_cast<unsigned char>(*it);
  return value;
}

u16 Hex(std::uint64_t value, bool upper) {
  char buffer[32];
  const int n = upper ? std::snprintf(buffer, sizeof buffer, "%" PRIX64, value)
                      : std::snprintf(buffer, sizeof buffer, "%" PRIx64, value);
  return widen(std::string_view(buffer, n > 0 ? static_cast<std::size_t>(n) : 0));
}

// An 8-byte binary or currency value through `render`.
template <typename Render>
std::optional<u16> EightByteText(const EseRecord& record, int entry, Render&& render) {
  const auto type = record.ColumnType(entry);
  if (!type || (*type != ese_type::kBinary && *type != ese_type::kCurrency)) return std::nullopt;
  const auto flags = record.ValueFlags(entry);
  const auto data = record.ValueData(entry);
  if (!flags || !data) return std::nullopt;
  if (*flags > kValueVariableSize) return PrintableBytes(*data);
  if (data->size() != 8) return std::nullopt;
  return render(*data);
}

}  // namespace

std::optional<u16> RecordValueText(const EseRecord& record, int entry, const ValueContext& context) {
  return ValueText(record, entry, &context, Variant::kRecord);
}

std::optional<u16> export_handle_export_binary_record_value(const EseRecord& record, int entry) {
  return ValueText(record, entry, nullptr, Variant::kExport);
}

std::optional<u16> RecordTextValue(const EseRecord& record, int entry) {
  const auto type = record.ColumnType(entry);
  const auto flags = record.ValueFlags(entry);
  if (!type || !flags) return std::nullopt;
  const std::uint8_t f = *flags;
  if (f == 0 || f == kValueVariableSize) {
    if (*type == ese_type::kText || *type == ese_type::kLargeText) {
      u16 v;
      return ByStatus(record.GetUtf16String(entry, v), [&] { return UpToNul(std::move(v)); });
    }
    if (*type == ese_type::kLargeBinary) {
      std::string v;
      return ByStatus(record.GetBinaryData(entry, v), [&] { return PrintableBytes(v); });
    }
    return std::nullopt;
  }
  if ((f & kValueCompressed) != 0 && (f & kValueMultiValue) == 0 && *type == ese_type::kLargeText) {
    u16 v;
    return ByStatus(record.GetUtf16String(entry, v), [&] { return UpToNul(std::move(v)); });
  }
  return std::nullopt;
}

std::optional<u16> IdText(const EseRecord& record, int entry) {
  return EightByteText(record, entry, [](std::string_view bytes) { return IdentifierText(bytes); });
}

std::optional<u16> StoreIdText(const EseRecord& record, int entry, const ValueContext& context) {
  return EightByteText(record, entry,
                       [&](std::string_view bytes) { return StoreIdentifierText(bytes, context.format_revision); });
}

std::optional<u16> FiletimeText(const EseRecord& record, int entry) {
  return EightByteText(record, entry,
                       [](std::string_view bytes) { return std::optional<u16>(DateText(LittleEndian(bytes))); });
}

u16 PrintableBytes(std::string_view bytes) {
  u16 out;
  out.reserve(bytes.size());
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    const bool keep = b == ' ' || b == '#' || b == '&' || b == '\\' || (b >= 0x2D && b <= 0x5A) || (b >= 0x5F && b <= 0x7A);
    out.push_back(keep ? static_cast<char16_t>(b) : u' ');
  }
  return out;
}

u16 HexBytes(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  u16 out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out.push_back(static_cast<char16_t>(kDigits[b >> 4]));
    out.push_back(static_cast<char16_t>(kDigits[b & 0x0F]));
  }
  return out;
}

u16 DateText(std::uint64_t filetime) {
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::uint64_t seconds = filetime / 10'000'000u;
  const std::uint64_t time_of_day = seconds % 86'400u;
  // Days since 1970-01-01 (1601-01-01 is 134774 days before), then the proleptic
  // Gregorian date of that day count.
  const std::int64_t z = static_cast<std::int64_t>(seconds / 86'400u) - 134'774 + 719'468;
  const std::int64_t era = z / 146'097;  // z >= 0 from 1601 on
  const std::int64_t doe = z - era * 146'097;
  const std::int64_t yoe = (doe - doe / 1'460 + doe / 36'524 - doe / 146'096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);

  char buffer[64];
  int n = 0;
  if (year > 9999) {
    n = std::snprintf(buffer, sizeof buffer, "(0x%08" PRIx32 " 0x%08" PRIx32 ")",
                      static_cast<std::uint32_t>(filetime >> 32), static_cast<std::uint32_t>(filetime & 0xFFFFFFFFu));
  } else {
    n = std::snprintf(buffer, sizeof buffer, "%s,%02d %04d %02d:%02d:%02d", kMonths[month - 1], static_cast<int>(day),
                      static_cast<int>(year), static_cast<int>(time_of_day / 3600), static_cast<int>(time_of_day / 60 % 60),
                      static_cast<int>(time_of_day % 60));
  }
  std::string text(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
  // Only the hex form is long enough to be cut; it loses its last digit and ")".
  if (text.size() > kDateCutAbove) text.resize(kDateCut);
  return widen(text);
}

std::optional<u16> IdentifierText(std::string_view bytes) {
  if (bytes.size() != 8) return std::nullopt;
  return Hex(BigEndian(bytes), false);
}

std::optional<u16> StoreIdentifierText(std::string_view bytes, std::uint32_t format_revision) {
  if (bytes.size() != 8) return std::nullopt;
  if (format_revision != kStoreIdWordRevision) return Hex(BigEndian(bytes), false);
  u16 word = Hex(LittleEndian(bytes.substr(0, 2)), false);
  while (!word.empty() && word.back() == u'0') word.pop_back();
  return word + u'-' + Hex(BigEndian(bytes.substr(2)), true);
}

}  // namespace edbx
