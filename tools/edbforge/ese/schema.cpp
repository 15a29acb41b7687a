#include "tools/edbforge/ese/schema.hpp"

#include <array>
#include <cstring>

#include "tools/edbforge/ese/bytes.hpp"

namespace edbforge::ese {

namespace {
struct TypeName {
  ColumnType type;
  std::string_view name;
};
constexpr std::array<TypeName, 16> kTypeNames{{
    {ColumnType::Bit, "Bit"},
    {ColumnType::UnsignedByte, "UnsignedByte"},
    {ColumnType::Short, "Short"},
    {ColumnType::Long, "Long"},
    {ColumnType::Currency, "Currency"},
    {ColumnType::IEEESingle, "IEEESingle"},
    {ColumnType::IEEEDouble, "IEEEDouble"},
    {ColumnType::DateTime, "DateTime"},
    {ColumnType::Binary, "Binary"},
    {ColumnType::Text, "Text"},
    {ColumnType::LongBinary, "LongBinary"},
    {ColumnType::LongText, "LongText"},
    {ColumnType::UnsignedLong, "UnsignedLong"},
    {ColumnType::LongLong, "LongLong"},
    {ColumnType::GUID, "GUID"},
    {ColumnType::UnsignedShort, "UnsignedShort"},
}};

template <typename T>
std::string Le(T v) {
  std::string s(sizeof(T), '\0');
  std::memcpy(s.data(), &v, sizeof(T));  // little-endian host
  return s;
}
}  // namespace

bool ParseColumnType(std::string_view name, ColumnType& out) {
  for (const auto& t : kTypeNames) {
    if (t.name == name) {
      out = t.type;
      return true;
    }
  }
  return false;
}

std::string_view ColumnTypeName(ColumnType t) {
  for (const auto& n : kTypeNames)
    if (n.type == t) return n.name;
  return "?";
}

Storage ColumnDef::effective_storage() const {
  if (storage) return *storage;
  if (IsLongType(type) || multi_valued) return Storage::Tagged;
  return IsVariableSizeType(type) ? Storage::Variable : Storage::Fixed;
}

namespace val {
Value Bit(bool b) { return Value::Raw(std::string(1, b ? '\xff' : '\0')); }
Value U8(uint8_t v) { return Value::Raw(Le(v)); }
Value I16(int16_t v) { return Value::Raw(Le(v)); }
Value U16(uint16_t v) { return Value::Raw(Le(v)); }
Value I32(int32_t v) { return Value::Raw(Le(v)); }
Value U32(uint32_t v) { return Value::Raw(Le(v)); }
Value I64(int64_t v) { return Value::Raw(Le(v)); }
Value F32(float v) { return Value::Raw(Le(v)); }
Value F64(double v) { return Value::Raw(Le(v)); }
Value Filetime(uint64_t v) { return Value::Raw(Le(v)); }
Value Bin(std::string bytes) { return Value::Raw(std::move(bytes)); }
Value Utf16(const std::u16string& text) {
  std::string s;
  s.reserve(text.size() * 2);
  for (char16_t c : text) put_u16le(s, c);
  return Value::Raw(std::move(s));
}
Value Ansi(std::string cp1252) { return Value::Raw(std::move(cp1252)); }
Value Id8(uint64_t v) {
  std::string s;
  put_u32be(s, static_cast<uint32_t>(v >> 32));
  put_u32be(s, static_cast<uint32_t>(v));
  return Value::Raw(std::move(s));
}
}  // namespace val

}  // namespace edbforge::ese
