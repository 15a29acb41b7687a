#include "content/rtf_decompress.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace edbx {

namespace {

constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kDictionarySize = 4096;
constexpr std::size_t kDictionaryMask = kDictionarySize - 1;
constexpr std::uint32_t kTypeUncompressed = 0x414C454D;  // "MELA"

// Room kept at the end of the output for "}}" and the terminating NUL.
constexpr std::uint64_t kTailRoom = 3;
// Slack above RAWSIZE that the output may use.
constexpr std::uint64_t kOutputSlack = 100;
// One 17-byte run (control byte and eight 2-byte references) expands to at most
// 136 bytes: no stream yields more than 8 output bytes per input byte. The output
// capacity is capped at 17 per input byte, safely above that.
constexpr std::uint64_t kRealExpansion = 8;
constexpr std::uint64_t kMaxExpansion = 17;
// Output beyond RAWSIZE that ends decoding at the next control byte.
constexpr std::uint64_t kOverrunAllowance = 18;
// A token is decoded only while its position j satisfies j + 17 < COMPSIZE.
constexpr std::uint64_t kTokenStop = 17;
// Decoding starts only from this COMPSIZE on (and decodes a token only from 19 on).
constexpr std::uint64_t kMinDecodable = 18;

constexpr std::string_view kInitialDictionary =
    "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman \\fswiss "
    "\\fmodern \\fscript \\fdecor MS Sans SerifSymbolArialTimes New RomanCourier"
    "{\\colortbl\\red0\\green0\\blue0\r\n\\par \\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx";
static_assert(kInitialDictionary.size() == 207);

std::uint32_t ReadLe32(std::string_view data, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t k = 0; k < 4; ++k) {
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + k])) << (8 * k);
  }
  return value;
}

// The output as a C string reads it.
std::string UpToNul(std::string text) {
  const std::size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  return text;
}

}  // namespace

std::optional<std::string> DecompressRtf(std::string_view data) {
  const std::uint64_t length = data.size();
  if (length < kHeaderSize) return std::nullopt;
  const std::uint64_t comp_size = ReadLe32(data, 0);
  const std::uint64_t raw_size = ReadLe32(data, 4);
  const std::uint32_t comp_type = ReadLe32(data, 8);
  if (comp_size > length) return std::nullopt;

  if (comp_type == kTypeUncompressed) {
    const std::uint64_t count = std::min<std::uint64_t>(raw_size, length - kHeaderSize);
    std::string out(data.substr(kHeaderSize, static_cast<std::size_t>(count)));
    out += "}}";
    return UpToNul(std::move(out));
  }

  // RAWSIZE comes from the file: it may be 0 or 4 GiB. The capacity follows it but
  // never exceeds what the input can expand to.
  const std::uint64_t capacity = std::min(raw_size, kMaxExpansion * length) + kOutputSlack;
  const std::uint64_t limit = capacity - kTailRoom;
  std::string out;
  out.reserve(static_cast<std::size_t>(std::min(capacity, kRealExpansion * length + kOutputSlack)));

  std::array<unsigned char, kDictionarySize> dictionary{};
  std::copy(kInitialDictionary.begin(), kInitialDictionary.end(), dictionary.begin());
  std::size_t write = kInitialDictionary.size();

  const std::string_view tokens = data.substr(kHeaderSize);
  auto byte_at = [&](std::uint64_t j) {
    return static_cast<unsigned char>(tokens[static_cast<std::size_t>(j)]);
  };
  // Adds one output byte; false once the output is full.
  auto emit = [&](unsigned char b) {
    if (out.size() >= limit) return false;
    dictionary[write] = b;
    write = (write + 1) & kDictionaryMask;
    out.push_back(static_cast<char>(b));
    return true;
  };

  // Every read below stays inside the stream: a token at j is decoded only when
  // j + 17 < COMPSIZE <= length, so bytes 16 + j and 16 + j + 1 exist.
  if (comp_size >= kMinDecodable) {
    std::uint64_t j = 0;
    bool full = false;
    while (!full) {
      const unsigned control = byte_at(j++);
      for (unsigned bit = 0; bit < 8 && !full; ++bit) {
        if (j + kTokenStop >= comp_size) break;
        if (((control >> bit) & 1u) == 0) {
          full = !emit(byte_at(j));
          ++j;
          continue;
        }
        const unsigned reference = (static_cast<unsigned>(byte_at(j)) << 8) | byte_at(j + 1);
        j += 2;
        std::size_t offset = reference >> 4;
        const unsigned count = (reference & 0xFu) + 2;
        for (unsigned n = 0; n < count && !full; ++n) {
          full = !emit(dictionary[offset & kDictionaryMask]);
          ++offset;
        }
      }
      if (out.size() > raw_size + kOverrunAllowance || j + kTokenStop >= comp_size) break;
    }
  }

  out += "}}";
  return UpToNul(std::move(out));
}

}  // namespace edbx
