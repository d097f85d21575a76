#pragma once
// What the scan looks for: each keyword turned into one byte-level term per
// encoding it is searched in — an exact byte string, a byte string with
// ASCII letters in either case, or a regular expression over bytes.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/reporting.h"

namespace delvora {

struct KeywordSpec;

/// Encodings a text keyword can be searched in at once (a bit mask).
enum TextEncodingBits : uint32_t {
    kEncodingGbk = 1,
    kEncodingUtf8 = 2,
    kEncodingUtf16Le = 4,
    kEncodingUtf16Be = 8,
};

/// A regular expression may match at most this many bytes; longer
/// matches are not reported. The default and the upper bound of the option.
inline constexpr uint32_t kDefaultMaxMatch = 1024;
inline constexpr uint32_t kMaxMatchLimit = 60000;

enum class TermKind : uint8_t { Exact, Caseless, Regex };

struct SearchTerm {
    uint32_t keyword = 0;       // index into the keywords searched
    std::string source;         // Regex: the expression as typed, for messages
    std::string encoding;       // "gbk", "utf8", "utf16le", "utf16be", "hex", or the code page's name
    TermKind kind = TermKind::Exact;
    std::vector<uint8_t> bytes; // Exact: the bytes; else the expression's text for the regex engine
    uint32_t length = 0;        // bytes of a fixed-length term (Exact, Caseless); 0 for Regex
    uint32_t maxMatch = kDefaultMaxMatch;
    std::vector<uint32_t> sourceAt; // Regex: for each expression byte, its byte in the keyword's text
};

/// A keyword item keeps its type in the low byte of its number and the
/// search options above it: bit 8 letters in either case, bits 9-12 the
/// TextEncodingBits.
inline constexpr uint32_t kKeywordTypeMask = 0xFF;
inline constexpr uint32_t kKeywordIgnoreCaseBit = 0x100;
inline constexpr uint32_t kKeywordEncodingShift = 9;

/// The keyword a keyword item's text and number stand for.
KeywordSpec KeywordOfItem(const std::string& text, uint32_t number);
/// The number a keyword item keeps for a type and its options.
uint32_t KeywordItemNumber(uint32_t type, bool ignoreCase, uint32_t encodings);

/// Parses "gbk,utf8,utf16le,utf16be" (any subset, any order) into a bit
/// mask; false on an unknown or empty name.
bool ParseEncodings(std::string_view text, uint32_t& bits);

/// The iconv name of an encoding label ("utf16le" → "UTF-16LE"); a code
/// page's own name for anything else.
std::string IconvName(const std::string& encoding);

/// Turns every keyword into its terms. Text keywords (ASCII, UNICODE) give
/// one term per encoding asked for (none asked: ASCII in codepage, UNICODE
/// as UTF-16LE); HEX gives its bytes; a regular expression gives one term
/// per byte encoding asked for (UTF-8 when none; UTF-16 is not offered for
/// expressions). Answers false after a message: the keyword messages of
/// KeywordToPattern, "关键字太长了!" for a pattern over 512 bytes, or a
/// message naming an expression and the place where it cannot be used.
bool ExpandKeywords(const std::vector<KeywordSpec>& keywords, const std::string& codepage,
                    std::vector<SearchTerm>& terms, Notifier& notifier);

}  // namespace delvora
