#include "qvr/data/iso_names.h"

#include <algorithm>

#include "qvr/data/text.h"

namespace qvr::data {

namespace {

constexpr std::size_t kLongExtensionMax = 16;

std::string Fold(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return out;
}
std::u16string Fold(const std::u16string& s) { return FoldCase(s); }

template <typename S>
uint64_t Key(const S& name) {
  S key = Fold(name);
  while (!key.empty() && key.back() == '.') key.pop_back();
  return std::hash<S>{}(key);
}

// Cuts to at most n units without splitting a UTF-16 pair or a UTF-8 sequence.
void Trim(std::u16string& s, std::size_t n) {
  if (s.size() <= n) return;
  if (n > 0 && s[n - 1] >= 0xD800 && s[n - 1] < 0xDC00) --n;
  s.resize(n);
}
void Trim(std::string& s, std::size_t n) {
  if (s.size() <= n) return;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  s.resize(n);
}

template <typename S>
S Join(const S& base, const S& ext, bool hasDot) {
  S out = base;
  if (hasDot) {
    out.push_back('.');
    out += ext;
  }
  return out;
}

template <typename S>
S Digits(unsigned n) {
  const std::string text = "_" + std::to_string(n);
  return S(text.begin(), text.end());
}

// Latin-1 letters with their ASCII base letter, for readable 8.3 names.
char Transliterate(char16_t c) {
  static constexpr char kLatin1[] =
      "AAAAAAACEEEEIIII"  // C0-CF
      "DNOOOOO_OUUUUYTS"  // D0-DF
      "AAAAAAACEEEEIIII"  // E0-EF
      "DNOOOOO_OUUUUYTY";  // F0-FF
  if (c >= u'a' && c <= u'z') return static_cast<char>(c - 32);
  if ((c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_') return static_cast<char>(c);
  if (c >= 0xC0 && c <= 0xFF) return kLatin1[c - 0xC0];
  return '_';
}

std::string DCharacters(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xDC00 && c < 0xE000) continue;  // second half of a pair: one "_" per character
    out.push_back(Transliterate(c));
  }
  return out;
}

// Splits at the last dot that is not the first character.
std::size_t ExtensionDot(std::u16string_view name) {
  const std::size_t dot = name.rfind(u'.');
  return (dot == std::u16string_view::npos || dot == 0) ? std::u16string_view::npos : dot;
}

struct LongSplit {
  std::u16string base, ext;
  bool hasDot = false;
};

// Long identifiers keep the name whole; only a short extension is kept apart so
// that truncation and suffixes leave it intact.
LongSplit SplitLong(std::u16string_view name, bool isDirectory) {
  LongSplit split;
  const std::size_t dot = isDirectory ? std::u16string_view::npos : ExtensionDot(name);
  if (dot != std::u16string_view::npos && name.size() - dot - 1 <= kLongExtensionMax) {
    split.base = std::u16string(name.substr(0, dot));
    split.ext = std::u16string(name.substr(dot + 1));
    split.hasDot = true;
  } else {
    split.base = std::u16string(name);
  }
  return split;
}

bool IsDChar(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'; }

}  // namespace

template <typename S>
S UniqueNames<S>::Claim(S base, S ext, bool hasDot, const NameLimits& limits) {
  Trim(ext, limits.ext);
  const std::size_t extPart = hasDot ? ext.size() + 1 : 0;
  const std::size_t baseMax = std::min(limits.base, limits.total > extPart ? limits.total - extPart : 1);
  Trim(base, baseMax);
  S candidate = Join(base, ext, hasDot);
  const uint64_t key = Key(candidate);
  if (used_.insert(key).second) return candidate;
  unsigned& n = nextSuffix_[key];
  for (;;) {
    const S tail = Digits<S>(++n);
    S shortened = base;
    Trim(shortened, baseMax > tail.size() ? baseMax - tail.size() : 0);
    candidate = Join(shortened + tail, ext, hasDot);
    if (used_.insert(Key(candidate)).second) return candidate;
  }
}

template <typename S>
bool UniqueNames<S>::Contains(const S& name) const {
  return used_.count(Key(name)) != 0;
}

template <typename S>
void UniqueNames<S>::Release(const S& name) {
  used_.erase(Key(name));
}

template <typename S>
void UniqueNames<S>::Clear() {
  used_.clear();
  nextSuffix_.clear();
}

template class UniqueNames<std::string>;
template class UniqueNames<std::u16string>;

bool IsValidIsoShortName(std::string_view name, bool isDirectory) {
  const std::size_t dot = name.find('.');
  const std::string_view base = name.substr(0, dot);
  const std::string_view ext =
      dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
  if (base.empty() || base.size() > 8) return false;
  if (dot != std::string_view::npos && (isDirectory || ext.size() > 3)) return false;
  return std::all_of(base.begin(), base.end(), IsDChar) && std::all_of(ext.begin(), ext.end(), IsDChar);
}

std::string UpperAscii(std::u16string_view name) {
  std::string out;
  for (char16_t c : name) {
    if (c >= 0x80) return {};
    out.push_back(static_cast<char>(c >= u'a' && c <= u'z' ? c - 32 : c));
  }
  return out;
}

std::string ClaimIsoShortName(UniqueNames<std::string>& used, std::u16string_view longName,
                              std::u16string_view callerShortName, bool isDirectory) {
  const std::string given = UpperAscii(callerShortName);
  if (!given.empty() && IsValidIsoShortName(given, isDirectory)) {
    std::string name = given;
    if (!isDirectory && name.find('.') == std::string::npos) name.push_back('.');
    if (!used.Contains(name)) {
      const std::size_t dot = name.find('.');
      return used.Claim(name.substr(0, dot), dot == std::string::npos ? "" : name.substr(dot + 1),
                        !isDirectory, {8, 3, 12});
    }
  }
  const std::size_t dot = isDirectory ? std::u16string_view::npos : ExtensionDot(longName);
  std::string base = DCharacters(longName.substr(0, dot));
  std::string ext = dot == std::u16string_view::npos ? "" : DCharacters(longName.substr(dot + 1));
  if (base.empty()) base = "_";
  return isDirectory ? used.Claim(base, "", false, {8, 0, 8}) : used.Claim(base, ext, true, {8, 3, 12});
}

char16_t JolietChar(char16_t c) {
  switch (c) {
    case u'*': case u'/': case u':': case u';': case u'?': case u'\\':
      return u'_';
    default:
      return c < 0x20 ? u'_' : c;
  }
}

std::u16string ClaimJolietName(UniqueNames<std::u16string>& used, std::u16string_view longName,
                               bool isDirectory) {
  std::u16string mapped(longName);
  for (char16_t& c : mapped) c = JolietChar(c);
  LongSplit split = SplitLong(mapped, isDirectory);
  return used.Claim(split.base, split.ext, split.hasDot, {kJolietMaxUnits, kLongExtensionMax, kJolietMaxUnits});
}

std::string ClaimIso1999Name(UniqueNames<std::string>& used, std::u16string_view longName,
                             bool isDirectory) {
  std::u16string mapped(longName);
  for (char16_t& c : mapped) c = JolietChar(c);
  LongSplit split = SplitLong(mapped, isDirectory);
  return used.Claim(Utf16ToUtf8(split.base), Utf16ToUtf8(split.ext), split.hasDot,
                    {kIso1999MaxBytes, kLongExtensionMax * 3, kIso1999MaxBytes});
}

std::u16string ClaimUdfName(UniqueNames<std::u16string>& used, std::u16string_view longName,
                            bool isDirectory) {
  LongSplit split = SplitLong(longName, isDirectory);
  for (char16_t& c : split.base)
    if (c == u'/' || c == 0) c = u'_';
  return used.Claim(split.base, split.ext, split.hasDot, {kUdfMaxUnits, kLongExtensionMax, kUdfMaxUnits});
}

}  // namespace qvr::data
