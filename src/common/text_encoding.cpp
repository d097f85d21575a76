#include "common/text_encoding.h"

#include <algorithm>
#include <string_view>

#include "common/codepage.h"

namespace delvora {
namespace {

constexpr uint8_t kUtf8Mark[] = {0xEF, 0xBB, 0xBF};
constexpr uint8_t kUtf16LeMark[] = {0xFF, 0xFE};

std::string_view AsChars(std::span<const uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

bool StartsWith(std::span<const uint8_t> bytes, std::span<const uint8_t> mark) {
    return bytes.size() >= mark.size() && std::equal(mark.begin(), mark.end(), bytes.begin());
}

// True when the bytes from i on are the start of a UTF-8 sequence that the
// end of the bytes cut: a lead byte followed by continuation bytes only.
bool IsCutSequence(std::string_view text, size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t need = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xC2 && lead <= 0xDF ? 2 : 0;
    if (need == 0 || i + need <= text.size()) return false;
    for (size_t k = i + 1; k < text.size(); ++k)
        if ((static_cast<unsigned char>(text[k]) & 0xC0) != 0x80) return false;
    return true;
}

}  // namespace

std::optional<TextEncoding> SniffTextEncoding(std::span<const uint8_t> head, bool more) {
    if (StartsWith(head, kUtf8Mark)) return TextEncoding::kUtf8;
    if (StartsWith(head, kUtf16LeMark)) return TextEncoding::kUtf16Le;
    const std::string_view text = AsChars(head);
    bool bWide = false;
    // Every step moves at least one byte on.
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '\0') return TextEncoding::kGbk;
        char32_t cp = 0;
        const size_t len = DecodeUtf8(text, i, cp);
        if (len == 0) {
            if (!more || !IsCutSequence(text, i)) return TextEncoding::kGbk;
            break;  // the rest of the character is in bytes not seen here
        }
        bWide = bWide || len > 1;
        i += len;
    }
    if (bWide) return TextEncoding::kUtf8;
    return std::nullopt;
}

size_t ByteOrderMarkLength(std::span<const uint8_t> head, TextEncoding encoding) {
    if (encoding == TextEncoding::kUtf8 && StartsWith(head, kUtf8Mark)) return sizeof kUtf8Mark;
    if (encoding == TextEncoding::kUtf16Le && StartsWith(head, kUtf16LeMark)) return sizeof kUtf16LeMark;
    return 0;
}

size_t TextCharLength(std::span<const uint8_t> bytes, size_t i, TextEncoding encoding) {
    if (i >= bytes.size()) return 0;
    const size_t left = bytes.size() - i;
    switch (encoding) {
    case TextEncoding::kGbk:
        return bytes[i] >= 0x81 && bytes[i] <= 0xFE && left >= 2 ? 2 : 1;
    case TextEncoding::kUtf8: {
        char32_t cp = 0;
        const size_t len = DecodeUtf8(AsChars(bytes), i, cp);
        return len ? len : 1;
    }
    case TextEncoding::kUtf16Le: {
        if (left < 2) return 1;
        const unsigned unit = bytes[i] | (bytes[i + 1] << 8);
        if (unit >= 0xD800 && unit <= 0xDBFF && left >= 4) {
            const unsigned next = bytes[i + 2] | (bytes[i + 3] << 8);
            if (next >= 0xDC00 && next <= 0xDFFF) return 4;
        }
        return 2;
    }
    }
    return 1;
}

bool IsLineFeedAt(std::span<const uint8_t> bytes, size_t i, TextEncoding encoding) {
    if (i >= bytes.size() || bytes[i] != '\n') return false;
    return encoding != TextEncoding::kUtf16Le || (i + 1 < bytes.size() && bytes[i + 1] == 0);
}

std::string DecodeText(std::span<const uint8_t> bytes, TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::kUtf8:
        return SanitizeUtf8(AsChars(bytes));
    case TextEncoding::kUtf16Le:
        return Utf16LeBytesToUtf8(bytes);
    case TextEncoding::kGbk:
        break;
    }
    return GbkToUtf8(AsChars(bytes));
}

}  // namespace delvora
