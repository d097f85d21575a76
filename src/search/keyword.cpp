#include "search/keyword.h"

#include <cctype>

#include "common/codepage.h"
#include "common/text_format.h"
#include "common/translation.h"

namespace delvora {
namespace {

bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// HEX escapes are found in the UTF-8 text, where a backslash byte is always
// a backslash; in a double-byte code page it may be the second byte of a
// character. The literal stretches between escapes go to the code page.
bool DecodeHexText(std::string_view text, const std::string& codepage, std::vector<uint8_t>& out) {
    size_t literal = 0;
    auto flush = [&](size_t end) {
        const std::string bytes = FromUtf8(text.substr(literal, end - literal), codepage);
        out.insert(out.end(), bytes.begin(), bytes.end());
    };
    // Each round moves i forward by one byte or past one escape.
    for (size_t i = 0; i < text.size();) {
        if (text[i] != '\\' || i + 1 >= text.size() || (text[i + 1] != 'x' && text[i + 1] != 'X')) {
            ++i;
            continue;
        }
        if (i + 3 >= text.size() || !IsHexDigit(text[i + 2]) || !IsHexDigit(text[i + 3])) return false;
        flush(i);
        out.push_back(HexPairToByte(text.data() + i + 2));
        i += 4;
        literal = i;
    }
    flush(text.size());
    return true;
}

// The pattern without messages: 1 done, 0 format error, -1 text too long,
// -2 buffer too small, -3 unknown type.
int Convert(std::string_view text, uint32_t type, const std::string& codepage, uint32_t capacity,
            std::vector<uint8_t>& out) {
    out.clear();
    const std::string stored = FromUtf8(text, codepage);
    if (stored.size() >= kKeywordTextLimit) return -1;
    switch (type) {
        case kKeywordAscii:
            if (capacity < stored.size() + 1) return -2;
            out.assign(stored.begin(), stored.end());
            return 1;
        case kKeywordUnicode:
            for (char16_t unit : Utf8ToUtf16(text)) {
                out.push_back(static_cast<uint8_t>(unit & 0xFF));
                out.push_back(static_cast<uint8_t>(unit >> 8));
            }
            return 1;
        case kKeywordHex:
            if (DecodeHexText(text, codepage, out)) return 1;
            out.clear();
            return 0;
        default:
            return -3;
    }
}

int Report(int rc, Notifier& notifier) {
    if (rc == -1) notifier.Message(Tr("Keyword", kKeywordTooLong), "提示", MessageIcon::Error);
    if (rc == -2) notifier.Message(Tr("Keyword", kBufferTooSmall), "提示", MessageIcon::Error);
    if (rc == -3) notifier.Message(Tr("Keyword", kBadParameter), "提示", MessageIcon::Error);
    return rc == 1 ? 1 : 0;
}

}  // namespace

uint8_t HexPairToByte(const char* pair) {
    auto digit = [](char c) {
        const int upper = std::toupper(static_cast<unsigned char>(c));
        return upper <= '9' ? upper - '0' : upper - 'A' + 10;
    };
    return static_cast<uint8_t>(digit(pair[0]) * 16 + digit(pair[1]));
}

int KeywordToPattern(std::string_view text, uint32_t type, const std::string& codepage, uint32_t capacity,
                     std::vector<uint8_t>& out, Notifier& notifier) {
    try {
        return Report(Convert(text, type, codepage, capacity, out), notifier);
    } catch (const std::bad_alloc&) {
        out.clear();
        return 0;
    }
}

int FormatKeywordBytes(std::string_view text, uint32_t type, const std::string& codepage, std::string& out,
                       Notifier& notifier) {
    try {
        std::vector<uint8_t> pattern;
        const int rc = Convert(text, type, codepage, UINT32_MAX, pattern);
        if (rc != 1) {
            out.clear();
            return Report(rc, notifier);
        }
        const size_t step = type == kKeywordUnicode ? 2 : 1;
        // Each round appends one unit; a UNICODE pattern has an even length.
        for (size_t i = 0; i + step <= pattern.size(); i += step)
            out += step == 2 ? Format("[%02X%02X]", pattern[i], pattern[i + 1]) : Format("[%02X]", pattern[i]);
        return 1;
    } catch (const std::bad_alloc&) {
        out.clear();
        return 0;
    }
}

}  // namespace delvora
