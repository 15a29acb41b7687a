#include "tools/edbforge/ese/compress.hpp"

#include <cstdint>
#include <vector>

#include "tools/edbforge/ese/bytes.hpp"

namespace edbforge::ese {

std::optional<std::string> Compress7Bit(std::string_view data, bool utf16) {
  if (utf16 && data.size() % 2 != 0) return std::nullopt;
  const std::size_t step = utf16 ? 2 : 1;
  const std::size_t count = data.size() / step;
  if (count == 0) return std::nullopt;
  std::string out;
  out.reserve(1 + (count * 7 + 7) / 8);
  out.push_back('\0');  // header, completed below
  uint32_t acc = 0;
  int bits = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const auto lo = static_cast<uint8_t>(data[i * step]);
    if (lo > 0x7f || (utf16 && data[i * step + 1] != '\0')) return std::nullopt;
    acc |= static_cast<uint32_t>(lo) << bits;
    bits += 7;
    while (bits >= 8) {
      out.push_back(static_cast<char>(acc & 0xff));
      acc >>= 8;
      bits -= 8;
    }
  }
  int last_bits = 8;
  if (bits > 0) {
    out.push_back(static_cast<char>(acc & 0xff));
    last_bits = bits;
  }
  out[0] = static_cast<char>((utf16 ? 0x10 : 0x08) | (last_bits - 1));
  return out;
}

std::string XpressCompress(std::string_view in) {
  const std::size_t n = in.size();
  const auto* src = reinterpret_cast<const uint8_t*>(in.data());
  std::string out;
  out.reserve(n + n / 8 + 8);
  constexpr std::size_t kWindow = 8192;
  constexpr int kHashBits = 14;
  constexpr int kMaxChain = 32;
  constexpr std::size_t kMaxMatch = 32000;
  std::vector<int32_t> head(1u << kHashBits, -1);
  std::vector<int32_t> prev(n, -1);
  auto hash = [&](std::size_t i) {
    const uint32_t v = src[i] | (static_cast<uint32_t>(src[i + 1]) << 8) |
                       (static_cast<uint32_t>(src[i + 2]) << 16);
    return (v * 2654435761u) >> (32 - kHashBits);
  };
  auto insert = [&](std::size_t i) {
    if (i + 3 > n) return;
    const uint32_t h = hash(i);
    prev[i] = head[h];
    head[h] = static_cast<int32_t>(i);
  };

  std::size_t flag_pos = out.size();
  out.append(4, '\0');
  uint32_t flags = 0;
  int flag_count = 0;
  std::size_t half_byte_pos = 0;  // position of a shared length nibble byte, 0 = none
  auto push_flag = [&](uint32_t bit) {
    flags = (flags << 1) | bit;
    if (++flag_count == 32) {
      store_u32le(reinterpret_cast<uint8_t*>(out.data()) + flag_pos, flags);
      flag_pos = out.size();
      out.append(4, '\0');
      flags = 0;
      flag_count = 0;
    }
  };

  std::size_t i = 0;
  while (i < n) {
    std::size_t best_len = 0;
    std::size_t best_off = 0;
    if (i + 3 <= n) {
      int32_t cand = head[hash(i)];
      for (int chain = 0; cand >= 0 && chain < kMaxChain; ++chain) {
        const auto c = static_cast<std::size_t>(cand);
        if (i - c > kWindow) break;
        // Matches stay below 32 KiB: libfwnt refuses longer ones (its length is signed).
        std::size_t len = 0;
        while (i + len < n && len < kMaxMatch && src[c + len] == src[i + len]) ++len;
        if (len > best_len) {
          best_len = len;
          best_off = i - c;
        }
        cand = prev[c];
      }
    }
    if (best_len < 3) {
      out.push_back(static_cast<char>(src[i]));
      insert(i);
      ++i;
      push_flag(0);
      continue;
    }
    std::size_t length = best_len - 3;
    const auto offset = static_cast<uint32_t>(best_off - 1);
    if (length < 7) {
      put_u16le(out, (offset << 3) | static_cast<uint32_t>(length));
    } else {
      put_u16le(out, (offset << 3) | 7u);
      length -= 7;
      const uint32_t nibble = length < 15 ? static_cast<uint32_t>(length) : 15u;
      if (half_byte_pos == 0) {
        half_byte_pos = out.size();
        out.push_back(static_cast<char>(nibble));
      } else {
        out[half_byte_pos] = static_cast<char>(static_cast<uint8_t>(out[half_byte_pos]) | (nibble << 4));
        half_byte_pos = 0;
      }
      if (length >= 15) {
        length -= 15;
        if (length < 255) {
          out.push_back(static_cast<char>(length));
        } else {
          out.push_back('\xff');
          const std::size_t total = best_len - 3;
          if (total < 0x10000) {
            put_u16le(out, static_cast<uint32_t>(total));
          } else {
            put_u16le(out, 0);
            put_u32le(out, static_cast<uint32_t>(total));
          }
        }
      }
    }
    for (std::size_t k = 0; k < best_len; ++k) insert(i + k);
    i += best_len;
    push_flag(1);
  }
  // Unused flag bits are set: a reader stops at the end of the input.
  const int unused = 32 - flag_count;
  flags = unused == 32 ? 0xffffffffu : ((flags << unused) | ((1u << unused) - 1));
  store_u32le(reinterpret_cast<uint8_t*>(out.data()) + flag_pos, flags);
  return out;
}

std::optional<std::string> CompressXpressValue(std::string_view data) {
  if (data.size() > 0xffff) return std::nullopt;
  std::string out;
  out.push_back('\x18');
  put_u16le(out, static_cast<uint32_t>(data.size()));
  out += XpressCompress(data);
  return out;
}

std::optional<std::string> CompressValue(std::string_view data, bool utf16_text) {
  if (data.size() < 1024) {
    if (auto packed = Compress7Bit(data, utf16_text); packed && packed->size() < data.size())
      return packed;
  }
  if (data.size() >= 64) {
    if (auto x = CompressXpressValue(data); x && x->size() < data.size()) return x;
  }
  return std::nullopt;
}

}  // namespace edbforge::ese
