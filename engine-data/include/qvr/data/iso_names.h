#pragma once
// Identifier rules of the image: every entry gets one identifier per file
// system, each valid for its format and unique within its directory.
//
//  - ISO 9660: 8.3 names of d-characters (A-Z 0-9 _); files always carry a ".".
//  - ISO 9660:1999: the long name in UTF-8, at most 207 bytes.
//  - Joliet: the long name with * / : ; ? \ and control characters written as
//    "_", at most 110 UTF-16 units (a directory record holds 255 bytes).
//  - UDF: the long name, at most 127 UTF-16 units (OSTA compressed unicode).
// A name that collides after mapping or truncation gets "_N" before its extension.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace qvr::data {

constexpr std::size_t kJolietMaxUnits = 110;
constexpr std::size_t kUdfMaxUnits = 127;
constexpr std::size_t kIso1999MaxBytes = 207;

// Length limits of one identifier kind.
struct NameLimits {
  std::size_t base;   // characters before the dot
  std::size_t ext;    // characters after the dot
  std::size_t total;  // whole identifier, dot included
};

// Identifiers already used in one directory, compared without case and
// without trailing dots (readers drop the dot of "README."). Only 64-bit
// hashes of the keys are kept: a hash collision costs an unneeded "_N", never
// a duplicate.
template <typename S>
class UniqueNames {
 public:
  // base + "." + ext (the dot only when hasDot), truncated to limits and made
  // unique; the result is recorded as used.
  S Claim(S base, S ext, bool hasDot, const NameLimits& limits);
  bool Contains(const S& name) const;
  void Release(const S& name);
  void Clear();

 private:
  std::unordered_set<uint64_t> used_;
  std::unordered_map<uint64_t, unsigned> nextSuffix_;
};

extern template class UniqueNames<std::string>;
extern template class UniqueNames<std::u16string>;

// True when name is an acceptable ISO 9660 identifier as the caller gave it
// (upper-cased): up to 8 d-characters, for files optionally "." and up to 3.
bool IsValidIsoShortName(std::string_view name, bool isDirectory);

// The upper-case ASCII form of a caller's 8.3 name, or "" when it has
// characters outside ASCII.
std::string UpperAscii(std::u16string_view name);

// Claims the ISO 9660 identifier: the caller's short name when it is valid and
// free, otherwise one made from the long name.
std::string ClaimIsoShortName(UniqueNames<std::string>& used, std::u16string_view longName,
                              std::u16string_view callerShortName, bool isDirectory);
std::string ClaimIso1999Name(UniqueNames<std::string>& used, std::u16string_view longName,
                             bool isDirectory);
std::u16string ClaimJolietName(UniqueNames<std::u16string>& used, std::u16string_view longName,
                               bool isDirectory);
std::u16string ClaimUdfName(UniqueNames<std::u16string>& used, std::u16string_view longName,
                            bool isDirectory);

// The Joliet form of one character: * / : ; ? \ and controls become "_".
char16_t JolietChar(char16_t c);

}  // namespace qvr::data
