#include "common/codepage.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <memory>
#include <mutex>
#include <tuple>
#include <vector>

namespace delvora {
namespace {

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

const char kReplacement[] = "\xEF\xBF\xBD";

// iconv descriptors are costly to open; conversions are short and frequent.
// One cached descriptor per direction and code page, used under a lock.
class Converter {
public:
    Converter(const std::string& to, const std::string& from)
        : m_cd(iconv_open(to.c_str(), from.c_str())) {}
    ~Converter() { if (m_cd != reinterpret_cast<iconv_t>(-1)) iconv_close(m_cd); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as possible; on an undecodable input byte calls onBad
    // and skips one byte. Bounded: every round consumes input or ends.
    template <typename OnBad>
    void Run(std::string_view in, std::string& out, OnBad onBad) {
        std::lock_guard lock(m_mutex);
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        size_t left = in.size();
        std::vector<char> buf(4 * in.size() + 16);
        while (left > 0) {
            char* dst = buf.data();
            size_t room = buf.size();
            const size_t rc = iconv(m_cd, &src, &left, &dst, &room);
            out.append(buf.data(), static_cast<size_t>(dst - buf.data()));
            if (rc != static_cast<size_t>(-1)) break;
            if (errno == E2BIG) continue;
            // EILSEQ or EINVAL (truncated sequence): skip one byte.
            onBad(out);
            ++src;
            --left;
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        }
    }

private:
    iconv_t m_cd;
    std::mutex m_mutex;
};

Converter& Get(const std::string& to, const std::string& from) {
    static std::mutex s_mutex;
    static std::vector<std::unique_ptr<std::pair<std::string, Converter>>> s_cache;
    const std::string key = to + "<" + from;
    std::lock_guard lock(s_mutex);
    for (auto& entry : s_cache)
        if (entry->first == key) return entry->second;
    s_cache.push_back(std::make_unique<std::pair<std::string, Converter>>(
        std::piecewise_construct, std::forward_as_tuple(key), std::forward_as_tuple(to, from)));
    return s_cache.back()->second;
}

bool IsAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

}  // namespace

size_t DecodeUtf8(std::string_view s, size_t i, char32_t& cp) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t len;
    if (c < 0x80) { cp = c; return 1; }
    if (c >= 0xC2 && c <= 0xDF) { len = 2; cp = c & 0x1F; }
    else if (c >= 0xE0 && c <= 0xEF) { len = 3; cp = c & 0x0F; }
    else if (c >= 0xF0 && c <= 0xF4) { len = 4; cp = c & 0x07; }
    else return 0;
    if (i + len > s.size()) return 0;
    for (size_t k = 1; k < len; ++k) {
        const auto cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (cc & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

bool IsKnownCodepage(const std::string& codepage) {
    return Get("UTF-8", codepage).Valid() && Get(codepage, "UTF-8").Valid();
}

std::string ToUtf8(std::string_view bytes, const std::string& codepage) {
    if (IsAscii(bytes)) return std::string(bytes);
    Converter& conv = Get("UTF-8", codepage);
    if (!conv.Valid()) return SanitizeUtf8(bytes);
    std::string out;
    conv.Run(bytes, out, [](std::string& o) { o += kReplacement; });
    return out;
}

std::string FromUtf8(std::string_view utf8, const std::string& codepage) {
    if (IsAscii(utf8)) return std::string(utf8);
    Converter& conv = Get(codepage, "UTF-8");
    if (!conv.Valid()) return std::string(utf8);
    // Convert character by character so that one unmappable character
    // becomes '?' rather than derailing the rest.
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        char32_t cp;
        size_t len = DecodeUtf8(utf8, i, cp);
        if (len == 0) { out.push_back('?'); ++i; continue; }
        if (len == 1) { out.push_back(utf8[i]); ++i; continue; }
        std::string piece;
        bool bad = false;
        conv.Run(utf8.substr(i, len), piece, [&](std::string&) { bad = true; });
        out += bad ? std::string("?") : piece;
        i += len;
    }
    return out;
}

std::string Utf16ToUtf8(std::span<const uint16_t> units) {
    std::string out;
    out.reserve(units.size());
    // An ASCII stretch is copied unit by unit without the encoder.
    size_t i = 0;
    while (i < units.size() && units[i] < 0x80) out.push_back(static_cast<char>(units[i++]));
    for (; i < units.size(); ++i) {
        char32_t cp = units[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::string Utf16LeBytesToUtf8(std::span<const uint8_t> bytes) {
    // Names (at most 255 units) are gathered on the stack, longer texts in
    // a vector.
    const size_t count = bytes.size() / 2;
    std::array<uint16_t, 256> small;
    std::vector<uint16_t> large;
    uint16_t* units = small.data();
    if (count > small.size()) {
        large.resize(count);
        units = large.data();
    }
    for (size_t i = 0; i < count; ++i) units[i] = static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return Utf16ToUtf8(std::span<const uint16_t>(units, count));
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        char32_t cp;
        size_t len = DecodeUtf8(utf8, i, cp);
        if (len == 0) { cp = 0xFFFD; len = 1; }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

std::string SanitizeUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        // ASCII stretches are copied whole.
        size_t plain = i;
        while (plain < bytes.size() && static_cast<unsigned char>(bytes[plain]) < 0x80) ++plain;
        out.append(bytes.substr(i, plain - i));
        i = plain;
        if (i == bytes.size()) break;
        char32_t cp;
        const size_t len = DecodeUtf8(bytes, i, cp);
        if (len == 0) { out += kReplacement; ++i; continue; }
        out.append(bytes.substr(i, len));
        i += len;
    }
    return out;
}

std::string CutUtf8(std::string_view utf8, size_t maxBytes) {
    if (utf8.size() <= maxBytes) return std::string(utf8);
    size_t end = maxBytes;
    // Step back over continuation bytes so the cut lands on a boundary.
    while (end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) --end;
    return std::string(utf8.substr(0, end));
}

}  // namespace delvora
