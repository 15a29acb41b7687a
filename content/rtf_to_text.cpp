#include "content/rtf_to_text.hpp"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace edbx {

namespace {

constexpr std::size_t kMaxGroupDepth = 10000;
constexpr std::size_t kMaxWordLength = 32;
constexpr std::uint32_t kWesternCodePage = 1252;
constexpr char16_t kReplacement = 0xFFFD;

// ---------------------------------------------------------------------------
// Code pages

struct CodePageName {
  std::uint32_t code_page;
  const char* iconv_name;
};

// Code pages an RTF document can name, with their glibc iconv names.
constexpr std::array<CodePageName, 40> kCodePages = {{
    {437, "CP437"},         {737, "CP737"},        {775, "CP775"},        {850, "CP850"},
    {852, "CP852"},         {855, "CP855"},        {857, "CP857"},        {860, "CP860"},
    {861, "CP861"},         {862, "CP862"},        {863, "CP863"},        {864, "CP864"},
    {865, "CP865"},         {866, "CP866"},        {869, "CP869"},        {874, "CP874"},
    {932, "CP932"},         {936, "CP936"},        {949, "CP949"},        {950, "CP950"},
    {1250, "CP1250"},       {1251, "CP1251"},      {1252, "CP1252"},      {1253, "CP1253"},
    {1254, "CP1254"},       {1255, "CP1255"},      {1256, "CP1256"},      {1257, "CP1257"},
    {1258, "CP1258"},       {1361, "CP1361"},      {10000, "MACINTOSH"},  {20866, "KOI8-R"},
    {21866, "KOI8-U"},      {28591, "ISO-8859-1"}, {28592, "ISO-8859-2"}, {28595, "ISO-8859-5"},
    {28605, "ISO-8859-15"}, {51932, "EUC-JP"},     {54936, "GB18030"},    {65001, "UTF-8"},
}};

const char* IconvName(std::uint32_t code_page) {
  for (const auto& entry : kCodePages) {
    if (entry.code_page == code_page) return entry.iconv_name;
  }
  return nullptr;
}

// Code page of a font character set (\fcharsetN); 0 means "the document's".
std::uint32_t CharsetCodePage(std::int64_t charset) {
  switch (charset) {
    case 0: return 1252;    // ANSI
    case 77: return 10000;  // Mac Roman
    case 128: return 932;   // Shift-JIS
    case 129: return 949;   // Hangul
    case 130: return 1361;  // Johab
    case 134: return 936;   // GB2312
    case 136: return 950;   // Big5
    case 161: return 1253;  // Greek
    case 162: return 1254;  // Turkish
    case 163: return 1258;  // Vietnamese
    case 177: return 1255;  // Hebrew
    case 178: return 1256;  // Arabic
    case 186: return 1257;  // Baltic
    case 204: return 1251;  // Cyrillic
    case 222: return 874;   // Thai
    case 238: return 1250;  // Eastern European
    case 254: return 437;   // PC 437
    case 255: return 850;   // OEM
    default: return 0;      // DEFAULT, SYMBOL and unknown sets use the document's
  }
}

// True when `b` starts a two-byte character in `code_page`.
bool IsLeadByte(std::uint32_t code_page, unsigned char b) {
  switch (code_page) {
    case 932: return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    case 936:
    case 949:
    case 950:
    case 54936: return b >= 0x81 && b <= 0xFE;
    case 1361: return (b >= 0x84 && b <= 0xD3) || (b >= 0xD8 && b <= 0xF9);
    default: return false;
  }
}

// The Windows-1252 byte that a literal character came from, or -1.
int WesternByte(char16_t c) {
  if (c == 0) return 0;
  const std::string b = utf16_to_cp1252(u16v(&c, 1), '\0');
  return b[0] == '\0' ? -1 : static_cast<unsigned char>(b[0]);
}

// Decodes byte runs through iconv; converters are opened once per code page.
class ByteDecoder {
 public:
  ByteDecoder() = default;
  ByteDecoder(const ByteDecoder&) = delete;
  ByteDecoder& operator=(const ByteDecoder&) = delete;
  ~ByteDecoder() {
    for (const auto& [code_page, cd] : open_) {
      if (cd != Invalid()) iconv_close(cd);
    }
  }

  void Decode(std::uint32_t code_page, std::string& bytes, u16& out) {
    const iconv_t cd = code_page == kWesternCodePage ? Invalid() : Converter(code_page);
    if (cd == Invalid()) {
      out += cp1252_to_utf16(bytes);
      return;
    }
    char* in = bytes.data();
    std::size_t in_left = bytes.size();
    std::array<char, 1024> buffer{};
    while (true) {
      char* next = buffer.data();
      std::size_t room = buffer.size();
      const std::size_t done = in_left == 0 ? iconv(cd, nullptr, nullptr, &next, &room)
                                            : iconv(cd, &in, &in_left, &next, &room);
      const int error = done == static_cast<std::size_t>(-1) ? errno : 0;
      Append(buffer.data(), next, out);
      if (error == E2BIG) continue;
      if (error == EILSEQ || error == EINVAL) {
        // An invalid or cut-off sequence: one replacement, then go on after it.
        out.push_back(kReplacement);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const std::size_t skip = error == EINVAL ? in_left : 1;
        in += skip;
        in_left -= skip;
        continue;
      }
      if (error != 0 || in_left == 0) break;
    }
    // Flush any shift state and reset for the next run.
    char* next = buffer.data();
    std::size_t room = buffer.size();
    iconv(cd, nullptr, nullptr, &next, &room);
    Append(buffer.data(), next, out);
  }

 private:
  static iconv_t Invalid() { return reinterpret_cast<iconv_t>(-1); }

  static void Append(const char* begin, const char* end, u16& out) {
    for (const char* p = begin; p + 1 < end; p += 2) {
      out.push_back(static_cast<char16_t>(static_cast<unsigned char>(p[0]) |
                                          (static_cast<unsigned char>(p[1]) << 8)));
    }
  }

  iconv_t Converter(std::uint32_t code_page) {
    const auto it = open_.find(code_page);
    if (it != open_.end()) return it->second;
    const char* name = IconvName(code_page);
    const iconv_t cd = name != nullptr ? iconv_open("UTF-16LE", name) : Invalid();
    open_.emplace(code_page, cd);
    return cd;
  }

  std::unordered_map<std::uint32_t, iconv_t> open_;
};

// ---------------------------------------------------------------------------
// Control words

enum class Action {
  kIgnore,
  kParagraph,     // \par, \sect, \page
  kLine,          // \line
  kTab,           // \tab
  kCell,          // \cell, \nestcell
  kRow,           // \row, \nestrow
  kCharacter,     // a fixed character
  kUnicode,       // \uN
  kUnicodeSkip,   // \ucN
  kBinary,        // \binN
  kFont,          // \fN
  kDefaultFont,   // \deffN
  kPlain,         // \plain
  kCharset,       // \fcharsetN
  kFontCodePage,  // \cpgN
  kCodePage,      // \ansicpgN
  kAnsi,
  kMac,
  kPc,
  kPca,
  kFontTable,  // \fonttbl
  kSkipGroup,  // destinations whose text is not shown
};

// Destinations whose text a reader never sees.
// clang-format off
constexpr std::string_view kHiddenDestinations[] = {
    "colortbl", "stylesheet", "info", "pict", "object", "header", "headerl", "headerr",
    "headerf", "footer", "footerl", "footerr", "footerf", "footnote", "fldinst", "pntext",
    "pn", "pntxta", "pntxtb", "listtext", "listtable", "listoverridetable", "revtbl",
    "rsidtbl", "filetbl", "generator", "xmlnstbl", "themedata", "colorschememapping",
    "datastore", "latentstyles", "bkmkstart", "bkmkend", "xe", "tc", "txe", "rxe",
    "nonshppict", "datafield", "template", "docvar", "userprops", "mmathPr", "pgdsctbl",
    "protusertbl", "ftnsep", "ftnsepc", "ftncn", "aftnsep", "aftnsepc", "aftncn",
    "annotation", "atnid", "atnauthor", "atrfstart", "atrfend",
};
// clang-format on

struct WordInfo {
  Action action;
  char16_t character;
};

const std::unordered_map<std::string_view, WordInfo>& Words() {
  static const std::unordered_map<std::string_view, WordInfo> words = [] {
    std::unordered_map<std::string_view, WordInfo> w = {
        {"par", {Action::kParagraph, 0}},
        {"sect", {Action::kParagraph, 0}},
        {"page", {Action::kParagraph, 0}},
        {"line", {Action::kLine, 0}},
        {"tab", {Action::kTab, 0}},
        {"cell", {Action::kCell, 0}},
        {"nestcell", {Action::kCell, 0}},
        {"row", {Action::kRow, 0}},
        {"nestrow", {Action::kRow, 0}},
        {"u", {Action::kUnicode, 0}},
        {"uc", {Action::kUnicodeSkip, 0}},
        {"bin", {Action::kBinary, 0}},
        {"f", {Action::kFont, 0}},
        {"deff", {Action::kDefaultFont, 0}},
        {"plain", {Action::kPlain, 0}},
        {"fcharset", {Action::kCharset, 0}},
        {"cpg", {Action::kFontCodePage, 0}},
        {"ansicpg", {Action::kCodePage, 0}},
        {"ansi", {Action::kAnsi, 0}},
        {"mac", {Action::kMac, 0}},
        {"pc", {Action::kPc, 0}},
        {"pca", {Action::kPca, 0}},
        {"fonttbl", {Action::kFontTable, 0}},
        {"emdash", {Action::kCharacter, 0x2014}},
        {"endash", {Action::kCharacter, 0x2013}},
        {"emspace", {Action::kCharacter, 0x2003}},
        {"enspace", {Action::kCharacter, 0x2002}},
        {"qmspace", {Action::kCharacter, 0x2005}},
        {"bullet", {Action::kCharacter, 0x2022}},
        {"lquote", {Action::kCharacter, 0x2018}},
        {"rquote", {Action::kCharacter, 0x2019}},
        {"ldblquote", {Action::kCharacter, 0x201C}},
        {"rdblquote", {Action::kCharacter, 0x201D}},
        {"zwj", {Action::kCharacter, 0x200D}},
        {"zwnj", {Action::kCharacter, 0x200C}},
        {"zwbo", {Action::kCharacter, 0x200B}},
        {"ltrmark", {Action::kCharacter, 0x200E}},
        {"rtlmark", {Action::kCharacter, 0x200F}},
    };
    for (std::string_view skipped : kHiddenDestinations) {
      w.emplace(skipped, WordInfo{Action::kSkipGroup, 0});
    }
    return w;
  }();
  return words;
}

bool IsLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// ---------------------------------------------------------------------------
// The converter

// Character properties that a group scopes.
struct GroupState {
  std::int64_t font = -1;     // -1: the document's default font
  std::int64_t fallback = 1;  // \uc: characters skipped after \uN
  bool font_table = false;    // inside \fonttbl: fonts are recorded, no text
};

struct ControlWord {
  std::string name;  // empty when longer than any known word
  bool has_parameter = false;
  std::int64_t parameter = 0;
};

class Converter {
 public:
  explicit Converter(u16v in) : in_(in) {}

  u16 Run() {
    while (pos_ < in_.size() && !done_) {
      const char16_t c = in_[pos_++];
      switch (c) {
        case u'{': OpenGroup(); break;
        case u'}': CloseGroup(); break;
        case u'\\': ControlSequence(); break;
        case u'\r':
        case u'\n':
        case u'\0': break;
        default: Text(c); break;
      }
    }
    FlushBytes();
    // The document's last paragraph mark is the view's own final mark, which its
    // window text does not include.
    if (ends_with_paragraph_) out_.resize(out_.size() - 2);
    return std::move(out_);
  }

 private:
  // Groups ------------------------------------------------------------------

  void OpenGroup() {
    pending_fallback_ = 0;
    if (stack_.size() < kMaxGroupDepth) {
      stack_.push_back(state_);
    } else {
      ++overflow_;
    }
  }

  void CloseGroup() {
    pending_fallback_ = 0;
    if (overflow_ > 0) {
      --overflow_;
      return;
    }
    if (stack_.empty()) {
      done_ = true;
      return;
    }
    state_ = stack_.back();
    stack_.pop_back();
    // The group that opened the document has ended.
    if (stack_.empty()) done_ = true;
  }

  // Passes over the rest of the current group without showing anything.
  void SkipGroup() {
    std::size_t depth = 1;
    while (pos_ < in_.size()) {
      const char16_t c = in_[pos_++];
      if (c == u'\\') {
        if (pos_ < in_.size() && IsLetter(in_[pos_])) {
          const ControlWord word = ReadWord();
          if (word.name == "bin") SkipBinary(word);
        } else if (pos_ < in_.size()) {
          ++pos_;  // escaped character, including \{ and \}
        }
      } else if (c == u'{') {
        ++depth;
      } else if (c == u'}' && --depth == 0) {
        CloseGroup();
        return;
      }
    }
  }

  // Control words and symbols -------------------------------------------------

  ControlWord ReadWord() {
    ControlWord word;
    const std::size_t start = pos_;
    while (pos_ < in_.size() && IsLetter(in_[pos_])) ++pos_;
    if (pos_ - start <= kMaxWordLength) {
      for (std::size_t k = start; k < pos_; ++k) word.name.push_back(static_cast<char>(in_[k]));
    }
    bool negative = false;
    if (pos_ + 1 < in_.size() && in_[pos_] == u'-' && IsDigit(in_[pos_ + 1])) {
      negative = true;
      ++pos_;
    }
    constexpr std::int64_t kLimit = std::numeric_limits<std::int32_t>::max();
    std::int64_t value = 0;
    while (pos_ < in_.size() && IsDigit(in_[pos_])) {
      word.has_parameter = true;
      value = std::min(value * 10 + (in_[pos_] - u'0'), kLimit + 1);
      ++pos_;
    }
    word.parameter = negative ? -value : std::min(value, kLimit);
    if (pos_ < in_.size() && in_[pos_] == u' ') ++pos_;  // the delimiting space
    return word;
  }

  void SkipBinary(const ControlWord& word) {
    if (word.parameter <= 0) return;
    const auto count = static_cast<std::uint64_t>(word.parameter);
    pos_ += static_cast<std::size_t>(std::min<std::uint64_t>(count, in_.size() - pos_));
  }

  void ControlSequence() {
    if (pos_ >= in_.size()) return;
    if (IsLetter(in_[pos_])) {
      Word(ReadWord());
      return;
    }
    const char16_t c = in_[pos_++];
    if (c == u'*') {
      SkipGroup();
      return;
    }
    int hex = -1;
    if (c == u'\'') {
      for (int k = 0; k < 2 && pos_ < in_.size(); ++k) {
        const int digit = HexValue(in_[pos_]);
        if (digit < 0) break;
        hex = (hex < 0 ? 0 : hex * 16) + digit;
        ++pos_;
      }
    }
    // Every control symbol counts as one fallback character of a preceding \uN.
    if (SkipsFallback()) return;
    switch (c) {
      case u'\'':
        if (hex >= 0) AppendByte(static_cast<unsigned char>(hex));
        return;
      case u'\r':
      case u'\n': Break(/*paragraph=*/true); return;
      case u'~': Show(0x00A0); return;
      case u'-': Show(0x00AD); return;
      case u'_': Show(0x2011); return;
      case u'\\':
      case u'{':
      case u'}':
        // Escaped, these may also be the trail byte of a double-byte character.
        if (expect_trail_) {
          AppendByte(static_cast<unsigned char>(c));
        } else {
          Show(c);
        }
        return;
      default: return;
    }
  }

  void Word(const ControlWord& word) {
    const auto& words = Words();
    const auto it = words.find(word.name);
    const WordInfo info = it == words.end() ? WordInfo{Action::kIgnore, 0} : it->second;
    const std::int64_t p = word.has_parameter ? word.parameter : 0;
    switch (info.action) {
      case Action::kSkipGroup: SkipGroup(); return;
      case Action::kFontTable:
        state_.font_table = true;
        table_font_ = -1;
        return;
      case Action::kUnicode:
        if (word.has_parameter) Unicode(p);
        return;
      case Action::kBinary: SkipBinary(word); break;
      default: break;
    }
    // Every other control word counts as one fallback character of a preceding \uN.
    if (SkipsFallback()) return;
    switch (info.action) {
      case Action::kParagraph: Break(true); break;
      case Action::kLine: Break(false); break;
      case Action::kTab: Show(u'\t'); break;
      case Action::kCell: Cell(); break;
      case Action::kRow: Row(); break;
      case Action::kCharacter: Show(info.character); break;
      case Action::kUnicodeSkip:
        state_.fallback = word.has_parameter ? std::max<std::int64_t>(p, 0) : 1;
        break;
      case Action::kFont:
        state_.font = p;
        if (state_.font_table) table_font_ = p;
        break;
      case Action::kDefaultFont: default_font_ = p; break;
      case Action::kPlain: state_.font = -1; break;
      case Action::kCharset:
        if (state_.font_table && table_font_ >= 0)
          font_code_page_[table_font_] = CharsetCodePage(p);
        break;
      case Action::kFontCodePage:
        if (state_.font_table && table_font_ >= 0 && Known(p)) {
          font_code_page_[table_font_] = static_cast<std::uint32_t>(p);
        }
        break;
      case Action::kCodePage:
        if (Known(p)) document_code_page_ = static_cast<std::uint32_t>(p);
        break;
      case Action::kAnsi: document_code_page_ = 1252; break;
      case Action::kMac: document_code_page_ = 10000; break;
      case Action::kPc: document_code_page_ = 437; break;
      case Action::kPca: document_code_page_ = 850; break;
      case Action::kIgnore:
      case Action::kUnicode:
      case Action::kBinary:
      case Action::kFontTable:
      case Action::kSkipGroup: break;
    }
  }

  static bool Known(std::int64_t code_page) {
    return code_page > 0 && code_page <= std::numeric_limits<std::uint32_t>::max() &&
           IconvName(static_cast<std::uint32_t>(code_page)) != nullptr;
  }

  void Unicode(std::int64_t value) {
    // \u takes a signed 16-bit value; negative values stand for units above 0x7FFF.
    const auto unit = static_cast<char16_t>(static_cast<std::uint64_t>(value) & 0xFFFFu);
    pending_fallback_ = state_.fallback;
    if (state_.font_table || unit == 0) return;
    Emit(unit);
  }

  // Consumes one fallback character of a preceding \uN, if any is pending.
  bool SkipsFallback() {
    if (pending_fallback_ == 0) return false;
    --pending_fallback_;
    return true;
  }

  // Text ----------------------------------------------------------------------

  void Text(char16_t c) {
    if (SkipsFallback() || state_.font_table) return;
    const std::uint32_t code_page = CodePage();
    if (expect_trail_ || (c >= 0x80 && code_page != kWesternCodePage)) {
      // The character is a byte of the RTF file: re-read it in the current code page.
      const int b = WesternByte(c);
      if (b >= 0) {
        AppendByte(static_cast<unsigned char>(b));
        return;
      }
    }
    Emit(c);
  }

  // Output of control words and symbols; fonts are named in the font table, nothing
  // in it is text.
  void Show(char16_t c) {
    if (!state_.font_table) Emit(c);
  }

  void Break(bool paragraph) {
    if (state_.font_table) return;
    FlushBytes();
    out_ += u"\r\n";
    ends_with_paragraph_ = paragraph;
    ends_with_cell_ = false;
  }

  void Cell() {
    if (state_.font_table) return;
    Emit(u'\t');
    ends_with_cell_ = true;
  }

  void Row() {
    if (state_.font_table) return;
    FlushBytes();
    if (ends_with_cell_) out_.pop_back();  // the tab of the row's last cell
    out_ += u"\r\n";
    ends_with_paragraph_ = true;
    ends_with_cell_ = false;
  }

  void Emit(char16_t c) {
    FlushBytes();
    out_.push_back(c);
    ends_with_paragraph_ = false;
    ends_with_cell_ = false;
  }

  std::uint32_t CodePage() const {
    const std::int64_t font = state_.font >= 0 ? state_.font : default_font_;
    if (font >= 0) {
      const auto it = font_code_page_.find(font);
      if (it != font_code_page_.end() && it->second != 0) return it->second;
    }
    return document_code_page_;
  }

  void AppendByte(unsigned char b) {
    if (state_.font_table) return;
    const std::uint32_t code_page = CodePage();
    if (!bytes_.empty() && code_page != bytes_code_page_) FlushBytes();
    bytes_code_page_ = code_page;
    bytes_.push_back(static_cast<char>(b));
    expect_trail_ = !expect_trail_ && IsLeadByte(code_page, b);
    ends_with_paragraph_ = false;
    ends_with_cell_ = false;
  }

  void FlushBytes() {
    if (bytes_.empty()) return;
    decoder_.Decode(bytes_code_page_, bytes_, out_);
    bytes_.clear();
    expect_trail_ = false;
  }

  u16v in_;
  std::size_t pos_ = 0;
  bool done_ = false;

  std::vector<GroupState> stack_;
  GroupState state_;
  std::size_t overflow_ = 0;  // groups opened beyond kMaxGroupDepth
  std::int64_t pending_fallback_ = 0;

  std::uint32_t document_code_page_ = kWesternCodePage;
  std::int64_t default_font_ = -1;
  std::int64_t table_font_ = -1;
  std::unordered_map<std::int64_t, std::uint32_t> font_code_page_;

  u16 out_;
  bool ends_with_paragraph_ = false;
  bool ends_with_cell_ = false;
  std::string bytes_;  // \'hh bytes not yet decoded
  std::uint32_t bytes_code_page_ = kWesternCodePage;
  bool expect_trail_ = false;
  ByteDecoder decoder_;
};

// Plain text as the view loads it: every line break becomes a paragraph.
u16 PlainText(u16v text) {
  u16 out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'\r' || c == u'\n') {
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      out += u"\r\n";
    } else if (c != u'\0') {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace

u16 RtfToText(u16v rtf) {
  if (!starts_with(rtf, u"{\\rtf")) return PlainText(rtf);
  return Converter(rtf).Run();
}

}  // namespace edbx
