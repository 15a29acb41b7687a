#include "tools/edbforge/rtf_compress.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>

namespace edbforge {

namespace {

constexpr std::size_t kDictionarySize = 4096;
constexpr std::size_t kDictionaryMask = kDictionarySize - 1;
constexpr std::size_t kMaxMatch = 17;
constexpr std::size_t kMinMatch = 2;
constexpr std::uint32_t kTypeCompressed = 0x75465A4C;  // "LZFu"

constexpr std::string_view kInitialDictionary =
    "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman \\fswiss "
    "\\fmodern \\fscript \\fdecor MS Sans SerifSymbolArialTimes New RomanCourier"
    "{\\colortbl\\red0\\green0\\blue0\r\n\\par \\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx";
static_assert(kInitialDictionary.size() == 207);

// CRC-32 (reflected polynomial 0xEDB88320) started at 0 and not inverted at the end.
std::uint32_t StreamCrc(std::string_view bytes) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0;
  for (char ch : bytes) crc = table[(crc ^ static_cast<unsigned char>(ch)) & 0xFFu] ^ (crc >> 8);
  return crc;
}

void PutLe32(std::string& out, std::size_t at, std::uint32_t value) {
  for (std::size_t k = 0; k < 4; ++k) out[at + k] = static_cast<char>((value >> (8 * k)) & 0xFFu);
}

// The sliding dictionary as the decoder sees it, with an index of the positions
// that hold each byte value so that matches are searched only where they can start.
class Dictionary {
 public:
  Dictionary() {
    for (char ch : kInitialDictionary) Put(static_cast<unsigned char>(ch));
  }

  std::size_t write() const { return write_; }

  void Put(unsigned char b) {
    if (filled_ == kDictionarySize) Unmark(bytes_[write_], write_);
    bytes_[write_] = b;
    Mark(b, write_);
    write_ = (write_ + 1) & kDictionaryMask;
    filled_ = std::min(filled_ + 1, kDictionarySize);
  }

  struct Match {
    std::size_t offset = 0;
    std::size_t length = 0;
  };

  // Longest match for the start of `input`, lowest offset first. While a reference
  // is expanded the decoder writes each byte before reading the next, so a match may
  // run on into the bytes it produces itself.
  Match Longest(std::string_view input) const {
    Match best;
    const std::size_t wanted = std::min(input.size(), kMaxMatch);
    if (wanted < kMinMatch) return best;
    const auto& starts = positions_[static_cast<unsigned char>(input[0])];
    for (std::size_t word = 0; word < starts.size(); ++word) {
      std::uint64_t bits = starts[word];
      while (bits != 0) {
        const std::size_t start = word * 64 + static_cast<std::size_t>(std::countr_zero(bits));
        bits &= bits - 1;
        // A reference at the write position is the end marker.
        if (start == write_) continue;
        std::size_t length = 1;
        while (length < wanted &&
               At(start + length, input, length) == static_cast<unsigned char>(input[length])) {
          ++length;
        }
        if (length > best.length) {
          best = {start, length};
          if (length == wanted) return best;
        }
      }
    }
    return best;
  }

 private:
  // Byte the decoder reads at `position` after it has written `produced` bytes of
  // the current reference.
  unsigned char At(std::size_t position, std::string_view input, std::size_t produced) const {
    position &= kDictionaryMask;
    const std::size_t ahead = (position - write_) & kDictionaryMask;
    if (ahead < produced) return static_cast<unsigned char>(input[ahead]);
    return bytes_[position];
  }

  void Mark(unsigned char b, std::size_t position) {
    positions_[b][position / 64] |= std::uint64_t{1} << (position % 64);
  }
  void Unmark(unsigned char b, std::size_t position) {
    positions_[b][position / 64] &= ~(std::uint64_t{1} << (position % 64));
  }

  std::array<unsigned char, kDictionarySize> bytes_{};
  std::array<std::array<std::uint64_t, kDictionarySize / 64>, 256> positions_{};
  std::size_t write_ = 0;
  std::size_t filled_ = 0;
};

}  // namespace

std::string CompressRtf(std::string_view rtf) {
  constexpr std::size_t kMaxField = std::numeric_limits<std::uint32_t>::max();
  // RAWSIZE and COMPSIZE are 32-bit; incompressible input grows by 1/8.
  if (rtf.size() > kMaxField / 9 * 8 - 16) throw std::length_error("CompressRtf: input too large");
  std::string out(16, '\0');
  out.reserve(16 + rtf.size() + rtf.size() / 8 + 3);

  // The match index is 128 KiB: keep it off the stack.
  const auto dictionary_owner = std::make_unique<Dictionary>();
  Dictionary& dictionary = *dictionary_owner;
  std::size_t pos = 0;
  bool ended = false;
  while (!ended) {
    const std::size_t control_at = out.size();
    out.push_back('\0');
    unsigned control = 0;
    for (unsigned bit = 0; bit < 8; ++bit) {
      if (pos == rtf.size()) {
        // End marker: a reference to the write position (its length is not used).
        const std::size_t marker = dictionary.write() << 4;
        out.push_back(static_cast<char>(marker >> 8));
        out.push_back(static_cast<char>(marker & 0xFFu));
        control |= 1u << bit;
        ended = true;
        break;
      }
      const Dictionary::Match match = dictionary.Longest(rtf.substr(pos));
      if (match.length >= kMinMatch) {
        const std::size_t reference = (match.offset << 4) | (match.length - kMinMatch);
        out.push_back(static_cast<char>(reference >> 8));
        out.push_back(static_cast<char>(reference & 0xFFu));
        control |= 1u << bit;
        for (std::size_t k = 0; k < match.length; ++k) {
          dictionary.Put(static_cast<unsigned char>(rtf[pos + k]));
        }
        pos += match.length;
      } else {
        out.push_back(rtf[pos]);
        dictionary.Put(static_cast<unsigned char>(rtf[pos]));
        ++pos;
      }
    }
    out[control_at] = static_cast<char>(control);
  }

  PutLe32(out, 0, static_cast<std::uint32_t>(out.size() - 4));
  PutLe32(out, 4, static_cast<std::uint32_t>(rtf.size()));
  PutLe32(out, 8, kTypeCompressed);
  PutLe32(out, 12, StreamCrc(std::string_view(out).substr(16)));
  return out;
}

}  // namespace edbforge
