#pragma once
// Little helpers for building little- and big-endian byte strings.

#include <cstdint>
#include <string>
#include <string_view>

namespace edbforge::ese {

using Bytes = std::string;

inline void put_u8(Bytes& out, uint32_t v) { out.push_back(static_cast<char>(v & 0xFF)); }
inline void put_u16le(Bytes& out, uint32_t v) {
  put_u8(out, v);
  put_u8(out, v >> 8);
}
inline void put_u32le(Bytes& out, uint32_t v) {
  put_u16le(out, v);
  put_u16le(out, v >> 16);
}
inline void put_u64le(Bytes& out, uint64_t v) {
  put_u32le(out, static_cast<uint32_t>(v));
  put_u32le(out, static_cast<uint32_t>(v >> 32));
}
inline void put_u16be(Bytes& out, uint32_t v) {
  put_u8(out, v >> 8);
  put_u8(out, v);
}
inline void put_u32be(Bytes& out, uint32_t v) {
  put_u16be(out, v >> 16);
  put_u16be(out, v);
}

inline void store_u16le(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void store_u32le(uint8_t* p, uint32_t v) {
  store_u16le(p, v);
  store_u16le(p + 2, v >> 16);
}
inline void store_u64le(uint8_t* p, uint64_t v) {
  store_u32le(p, static_cast<uint32_t>(v));
  store_u32le(p + 4, static_cast<uint32_t>(v >> 32));
}
inline uint32_t load_u32le(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline Bytes u32be(uint32_t v) {
  Bytes b;
  put_u32be(b, v);
  return b;
}

}  // namespace edbforge::ese
