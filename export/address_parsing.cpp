#include "export/address_parsing.hpp"

#include <locale.h>
#include <regex.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

namespace edbx {

namespace {

// Tried in this order: name@host<address>, name<address>, address, @address.
constexpr std::size_t kPatternCount = 4;
constexpr std::array<const char*, kPatternCount> kPatterns = {
    "(\\w+)(\\.|_)?(\\w*)@(\\w+)(\\.|_)?(\\w*)<(\\w+)(\\.|_)?(\\w*)@(\\w+)(\\.(\\w+))+",
    "(\\w+)(\\.|_)?(\\w*)<(\\w+)(\\.|_)?(\\w*)@(\\w+)(\\.(\\w+))+",
    kAddressPattern,
    "(\\w*)@(\\w+)(\\.(\\w+))+",
};
// Matches of the first two patterns end before the closing bracket.
constexpr std::size_t kBracketedPatterns = 2;

locale_t CLocale() {
  static const locale_t c_locale = ::newlocale(LC_ALL_MASK, "C", locale_t{});
  return c_locale;
}

// Compiling and matching run in the "C" locale on this thread, so "\w" and the
// byte handling do not depend on the process locale.
class CLocaleScope {
 public:
  CLocaleScope() {
    if (const locale_t c_locale = CLocale(); c_locale != locale_t{})
      previous_ = ::uselocale(c_locale);
  }
  ~CLocaleScope() {
    if (previous_ != locale_t{}) ::uselocale(previous_);
  }
  CLocaleScope(const CLocaleScope&) = delete;
  CLocaleScope& operator=(const CLocaleScope&) = delete;

 private:
  locale_t previous_{};
};

struct Span {
  std::size_t begin;
  std::size_t end;
};

std::optional<Span> Execute(const regex_t& re, const char* text) {
  CLocaleScope scope;
  regmatch_t match[1];
  if (::regexec(&re, text, 1, match, 0) != 0) return std::nullopt;
  if (match[0].rm_so < 0 || match[0].rm_eo < match[0].rm_so) return std::nullopt;
  return Span{static_cast<std::size_t>(match[0].rm_so), static_cast<std::size_t>(match[0].rm_eo)};
}

// The fixed patterns, compiled once and then shared: matching does not change a
// compiled pattern.
class KnownPatterns {
 public:
  KnownPatterns() {
    CLocaleScope scope;
    for (std::size_t i = 0; i < kPatternCount; ++i)
      compiled_[i] = ::regcomp(&re_[i], kPatterns[i], REG_EXTENDED) == 0;
  }
  const regex_t* Get(std::size_t i) const { return compiled_[i] ? &re_[i] : nullptr; }

 private:
  std::array<regex_t, kPatternCount> re_{};
  std::array<bool, kPatternCount> compiled_{};
};

const KnownPatterns& Known() {
  // Never destroyed, so a worker still matching while the process exits is safe.
  static const KnownPatterns* const patterns = new KnownPatterns();
  return *patterns;
}

// --- Normalisation ---------------------------------------------------------------
//
// The loop works on tokens: maximal runs of the characters a match can hold
// (letters, digits, "_", ".", "@", "<"). A match never crosses a token boundary
// and the patterns have no anchors, so the first match in the whole text is the
// first match in the first token that has one, and deleting a match from the
// text changes only the tokens that contain it. A token without a match of a
// pattern cannot contain a match of that pattern either, so it stays out of
// that pattern's search until it changes. Each token is thus matched about once
// per change instead of once per found address.

bool IsKept(char16_t c) {
  return c == 32 || c == 45 || c == 46 || (c >= 48 && c <= 90) || (c >= 95 && c <= 122);
}

bool IsTokenChar(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         c == '_' || c == '.' || c == '@' || c == '<';
}

// "__" becomes two spaces, scanning from the left without overlap.
void BlankDoubleUnderscores(std::string& text) {
  for (std::size_t i = 0; i + 1 < text.size();) {
    if (text[i] == '_' && text[i + 1] == '_') {
      text[i] = ' ';
      text[i + 1] = ' ';
      i += 2;
    } else {
      ++i;
    }
  }
}

void DeleteAll(std::string& text, std::string_view part) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (true) {
    const std::size_t hit = text.find(part, pos);
    if (hit == std::string::npos) break;
    out.append(text, pos, hit - pos);
    pos = hit + part.size();
  }
  out.append(text, pos, std::string::npos);
  text.swap(out);
}

// Characters that end an entry, where an over-long text is cut.
constexpr u16v kEntryEnds = u" ,;";

}  // namespace

std::optional<std::string> RegexFirstMatch(const char* pattern, std::string_view text) {
  if (pattern == nullptr) pattern = kAddressPattern;
  const std::string subject(text.substr(0, text.find('\0')));
  for (std::size_t i = 0; i < kPatternCount; ++i) {
    if (std::strcmp(pattern, kPatterns[i]) != 0) continue;
    const regex_t* re = Known().Get(i);
    if (re == nullptr) return std::nullopt;
    const auto span = Execute(*re, subject.c_str());
    if (!span) return std::nullopt;
    return subject.substr(span->begin, span->end - span->begin);
  }
  regex_t re;
  {
    CLocaleScope scope;
    if (::regcomp(&re, pattern, REG_EXTENDED) != 0) return std::nullopt;
  }
  const auto span = Execute(re, subject.c_str());
  ::regfree(&re);
  if (!span) return std::nullopt;
  return subject.substr(span->begin, span->end - span->begin);
}

u16 NormalizeAddressText(u16v text) {
  if (text.size() > kMaxAddressTextLength) {
    text = text.substr(0, kMaxAddressTextLength);
    const std::size_t cut = text.find_last_of(kEntryEnds);
    if (cut != u16v::npos && cut > 0) text = text.substr(0, cut);
  }
  u16 work(text);
  replace_all(work, u" SMTP ", u"<");
  replace_all(work, u"@ ", u"");
  work = trim_spaces(work);
  erase_chars(work, u"^\"+)(`{}[]");
  replace_all(work, u"-", u"ZZZZZZZ");

  // Filtered copy: kept characters are ASCII, every other one becomes a space.
  std::string filtered(work.size(), ' ');
  for (std::size_t i = 0; i < work.size(); ++i)
    if (IsKept(work[i])) filtered[i] = static_cast<char>(work[i]);
  BlankDoubleUnderscores(filtered);

  std::vector<std::string> tokens;
  for (std::size_t i = 0; i < filtered.size();) {
    if (!IsTokenChar(filtered[i])) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < filtered.size() && IsTokenChar(filtered[end])) ++end;
    tokens.emplace_back(filtered, i, end - i);
    i = end;
  }

  // candidates[k]: tokens, in text order, that may hold a match of pattern k.
  std::array<std::set<std::uint32_t>, kPatternCount> candidates;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const std::string& token = tokens[i];
    if (token.size() > kMaxAddressTokenLength || token.find('@') == std::string::npos) continue;
    for (auto& set : candidates) set.insert(set.end(), static_cast<std::uint32_t>(i));
  }

  const KnownPatterns& known = Known();
  u16 result;
  while (true) {
    std::size_t pattern = kPatternCount;
    std::string match;
    for (std::size_t k = 0; k < kPatternCount && pattern == kPatternCount; ++k) {
      const regex_t* re = known.Get(k);
      auto& set = candidates[k];
      for (auto it = set.begin(); it != set.end();) {
        const std::string& token = tokens[*it];
        if (re != nullptr) {
          if (const auto span = Execute(*re, token.c_str())) {
            match = token.substr(span->begin, span->end - span->begin);
            pattern = k;
            break;
          }
        }
        it = set.erase(it);
      }
    }
    if (pattern == kPatternCount || match.empty()) break;

    result += widen(match);
    if (pattern < kBracketedPatterns) result += u'>';
    result += u',';

    // Delete every occurrence. Only tokens that may hold a match of the pattern
    // can contain it; the token it was found in always does, so the text shrinks.
    std::vector<std::uint32_t> changed;
    for (const std::uint32_t i : candidates[pattern]) {
      std::string& token = tokens[i];
      if (token.size() < match.size() || token.find(match) == std::string::npos) continue;
      DeleteAll(token, match);
      BlankDoubleUnderscores(token);
      changed.push_back(i);
    }
    if (changed.empty()) break;
    for (const std::uint32_t i : changed) {
      const bool live = tokens[i].find('@') != std::string::npos;
      for (auto& set : candidates) {
        if (live)
          set.insert(i);
        else
          set.erase(i);
      }
    }
  }

  replace_all(result, u",,", u"");
  replace_all(result, u",_", u",");
  replace_all(result, u"ZZZZZZZ", u"-");
  return result;
}

u16 FormatSmtpAddressList(u16v text) {
  const std::vector<u16> pieces = split(trim_spaces(text), u',');
  u16 result;
  for (std::size_t i = 0; i + 1 < pieces.size(); ++i) {
    const u16& piece = pieces[i];
    if (piece.empty()) continue;
    const std::vector<u16> parts = split(piece, u"SMTP");
    if (parts.size() == 2) {
      result += trim_spaces(parts[0]);
      result += u'<';
      result += trim_spaces(parts[1]);
      result += u">,";
    } else if (parts.size() == 1) {
      result += piece;
      result += u", ";
    }
  }
  return result;
}

bool LooksLikeAddressList(u16v text) {
  std::size_t marks = 0;
  for (const char16_t c : text)
    if (c == u'.' || c == u'@') ++marks;
  return marks > 1;
}

std::optional<u16> HeaderAddressMatch(u16v header_text, u16v field) {
  if (field.empty()) return std::nullopt;
  std::size_t line_start = 0;
  while (true) {
    std::size_t line_end = header_text.find_first_of(u"\r\n", line_start);
    if (line_end == u16v::npos) line_end = header_text.size();
    const u16v line = header_text.substr(line_start, line_end - line_start);
    if (starts_with(line, field) && line.substr(field.size(), 2) == u": ") {
      const std::size_t after = field.size() + 2;
      std::size_t start = after;
      while (start < line.size() && (line[start] == u' ' || line[start] == u'\t')) ++start;
      // The run takes at least one character, so the ">" ending it comes later.
      if (start < line.size()) {
        const std::size_t close = line.find(u'>', start + 1);
        if (close != u16v::npos) return u16(line.substr(start, close - start));
      }
      // Otherwise the run can only be the last blank, directly before a ">".
      if (start > after && start < line.size() && line[start] == u'>')
        return u16(line.substr(start - 1, 1));
    }
    if (line_end == header_text.size()) return std::nullopt;
    line_start = line_end + 1;
  }
}

}  // namespace edbx
