#include "tools/edbforge/ese/checksum.hpp"

#include "tools/edbforge/ese/bytes.hpp"

namespace edbforge::ese {

namespace {
bool Parity(uint32_t v) { return (__builtin_popcount(v) & 1) != 0; }
}  // namespace

uint32_t Xor32(const uint8_t* data, std::size_t size, uint32_t initial) {
  uint32_t x = initial;
  std::size_t i = 0;
  for (; i + 4 <= size; i += 4) x ^= load_u32le(data + i);
  uint32_t tail = 0;
  for (std::size_t k = 0; i + k < size; ++k) tail |= static_cast<uint32_t>(data[i + k]) << (8 * k);
  return x ^ tail;
}

EccXor EccChecksum(const uint8_t* block, std::size_t size, std::size_t offset, uint32_t initial) {
  uint32_t ecc = 0;
  uint32_t bitmask = 0xff800000u;
  std::size_t align = offset % 16;
  uint32_t vertical[4] = {0, 0, 0, 0};
  uint32_t row = 0;
  for (std::size_t i = offset; i + 4 <= size; i += 4) {
    const uint32_t v = load_u32le(block + i);
    vertical[align / 4] ^= v;
    row ^= v;
    align += 4;
    if (align >= 16) {
      if (Parity(row)) ecc ^= bitmask;
      bitmask -= 0x007fff80u;
      align = 0;
      row = 0;
    }
  }
  if (row != 0 && Parity(row)) ecc ^= bitmask;
  if (Parity(vertical[0] ^ vertical[1])) ecc ^= 0x00400000u;
  if (Parity(vertical[0] ^ vertical[2])) ecc ^= 0x00200000u;
  if (Parity(vertical[1] ^ vertical[3])) ecc ^= 0x00000020u;
  if (Parity(vertical[2] ^ vertical[3])) ecc ^= 0x00000040u;
  const uint32_t all = vertical[0] ^ vertical[1] ^ vertical[2] ^ vertical[3];
  uint32_t final_mask = 0;
  uint32_t mask = 0xffff0000u;
  for (uint32_t bit = 1; bit != 0; bit <<= 1) {
    if ((all & bit) != 0) final_mask ^= mask;
    mask -= 0x0000ffffu;
  }
  if (size < 8192) ecc &= 0xffffffffu ^ static_cast<uint32_t>(size << 19);
  ecc ^= (ecc ^ final_mask) & 0x001f001fu;
  return {ecc, initial ^ all};
}

}  // namespace edbforge::ese
