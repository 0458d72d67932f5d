#pragma once
// Text helpers of the data engine. Names inside the image tree are UTF-16
// (what Joliet and UDF record); paths on disk stay native byte strings so that
// any file Linux can open can be burned.

#include <string>
#include <string_view>

namespace qvr::data {

// UTF-8 to UTF-16; malformed bytes become U+FFFD so a name is never lost.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// Upper-case folding used for case-insensitive name comparison: ASCII,
// Latin-1, Latin Extended-A pairs, Greek and Cyrillic basic letters.
char16_t FoldCase(char16_t c);
std::u16string FoldCase(std::u16string_view text);

}  // namespace qvr::data
