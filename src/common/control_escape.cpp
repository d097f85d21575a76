#include "common/control_escape.h"

#include <cstdint>
#include <cstring>

namespace delvora {
namespace {

void AppendHexByte(std::string& out, const char* prefix, unsigned char c) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += prefix;
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 15]);
}

}  // namespace

void AppendEscapedControls(std::string& out, std::string_view text) {
    // Names are nearly always plain: runs without a byte to escape are
    // copied whole rather than byte by byte.
    size_t plain = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        // Eight bytes at a time while none is below 0x20, 0x7F or 0xC2.
        constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
        while (i + 8 <= text.size()) {
            uint64_t word;
            std::memcpy(&word, text.data() + i, sizeof(word));
            const uint64_t del = word ^ (kOnes * 0x7F), lead = word ^ (kOnes * 0xC2);
            const uint64_t flagged = ((word - kOnes * 0x20) & ~word) | ((del - kOnes) & ~del) | ((lead - kOnes) & ~lead);
            if (flagged & kHigh) break;
            i += 8;
        }
        if (i >= text.size()) break;
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != 0x7F && c != 0xC2) continue;
        if (c == 0xC2 && !(i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                           static_cast<unsigned char>(text[i + 1]) <= 0x9F))
            continue;
        out.append(text.data() + plain, i - plain);
        if (c == 0xC2) {
            // U+0080..U+009F: terminals take some of these (CSI) as controls too.
            AppendHexByte(out, "\\u00", static_cast<unsigned char>(text[++i]));
        } else {
            AppendHexByte(out, "\\x", c);
        }
        plain = i + 1;
    }
    out.append(text.data() + plain, text.size() - plain);
}

}  // namespace delvora
