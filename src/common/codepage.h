#pragma once
// Text conversion at the edges of the program. Inside, every string is UTF-8.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace delvora {

/// True when iconv converts between `codepage` and UTF-8 both ways; an
/// unknown name would leave text unconverted without a word.
bool IsKnownCodepage(const std::string& codepage);

/// Converts bytes in `codepage` (an iconv name such as "GBK", "CP437") to
/// UTF-8. Bytes that do not decode become U+FFFD; never fails.
std::string ToUtf8(std::string_view bytes, const std::string& codepage);

/// Converts UTF-8 text to `codepage`; characters the code page lacks become '?'.
std::string FromUtf8(std::string_view utf8, const std::string& codepage);

inline std::string GbkToUtf8(std::string_view gbk) { return ToUtf8(gbk, "GBK"); }
inline std::string Utf8ToGbk(std::string_view utf8) { return FromUtf8(utf8, "GBK"); }

/// UTF-16LE code units (unpaired surrogates become U+FFFD) to UTF-8.
std::string Utf16ToUtf8(std::span<const uint16_t> units);
/// Raw little-endian UTF-16 bytes (an odd last byte is ignored) to UTF-8.
std::string Utf16LeBytesToUtf8(std::span<const uint8_t> bytes);
/// UTF-8 to UTF-16LE code units.
std::u16string Utf8ToUtf16(std::string_view utf8);

/// Decodes the UTF-8 sequence at text[i] into cp; answers its length, or 0
/// when it is invalid (overlong, a surrogate, past U+10FFFF, cut short).
size_t DecodeUtf8(std::string_view text, size_t i, char32_t& cp);

/// Replaces invalid UTF-8 sequences by U+FFFD (names stored as raw bytes).
std::string SanitizeUtf8(std::string_view bytes);

/// Cuts UTF-8 text to at most maxBytes without splitting a character.
std::string CutUtf8(std::string_view utf8, size_t maxBytes);

}  // namespace delvora
