#pragma once
// Keywords: a text the examiner types, turned into the exact bytes the
// search looks for, and a readable preview of those bytes.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/reporting.h"
#include "common/translation.h"

namespace delvora {

/// How a keyword's text becomes bytes (the number field of a keyword item).
enum KeywordType : uint32_t {
    kKeywordAscii = 0,    // the text's bytes in the examiner's code page
    kKeywordUnicode = 1,  // the text as UTF-16LE code units
    kKeywordHex = 2,      // code-page bytes with \xHH escapes replaced by the byte
    kKeywordRegex = 3,    // a regular expression over the bytes
};

/// A keyword's text (as the code page stores it) must stay below this many bytes.
inline constexpr size_t kKeywordTextLimit = 255;
/// The pattern buffer of a search.
inline constexpr uint32_t kPatternCapacity = 512;

inline constexpr const char* kKeywordTooLong = TrNoop("Keyword", "关键字太长!");
inline constexpr const char* kBufferTooSmall = TrNoop("Keyword", "缓冲太小!");
inline constexpr const char* kBadParameter = TrNoop("Keyword", "参数错!");

/// The byte that two hexadecimal digits give ("0a", "0A" → 10). The caller
/// has checked that both are hexadecimal digits.
uint8_t HexPairToByte(const char* pair);

/// Converts a keyword's text (UTF-8) of a type into its byte pattern, at
/// most capacity bytes. ASCII and HEX bytes are in codepage; UNICODE is
/// UTF-16LE. Answers 1 with the pattern in out; 0 on a format error (silent)
/// or after a message ("关键字太长!", "缓冲太小!", "参数错!") through
/// notifier. Does no I/O.
int KeywordToPattern(std::string_view text, uint32_t type, const std::string& codepage, uint32_t capacity,
                     std::vector<uint8_t>& out, Notifier& notifier);

/// The preview of the same conversion: "[%02X]" per byte, "[%02X%02X]" per
/// UTF-16 unit (bytes in stored order). Answers 1 with the preview appended
/// to out; 0 with out emptied on a format error or after a message.
int FormatKeywordBytes(std::string_view text, uint32_t type, const std::string& codepage, std::string& out,
                       Notifier& notifier);

}  // namespace delvora
