#pragma once
// Page and header checksums as ESE computes them.

#include <cstddef>
#include <cstdint>

namespace edbforge::ese {

/// XOR of the little-endian 32-bit words of `data`, starting from `initial`.
uint32_t Xor32(const uint8_t* data, std::size_t size, uint32_t initial);

struct EccXor {
  uint32_t ecc = 0;
  uint32_t xor_ = 0;
};
/// The ECC-32 and XOR-32 pair of the new page format over `block[offset..size)`,
/// with the page number as the initial XOR value.
EccXor EccChecksum(const uint8_t* block, std::size_t size, std::size_t offset, uint32_t initial);

}  // namespace edbforge::ese
