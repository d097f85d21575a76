// PDF: from "%PDF-" to the last "%%EOF" whose startxref points inside the
// file at a cross-reference table or stream; incremental updates that follow
// an end are kept. The title is the first /Title string met.
#include <cstring>
#include <string>

#include "common/codepage.h"
#include "recovery/carve_format.h"

namespace delvora {
namespace {

constexpr uint64_t kMaxPdfBytes = 512ull << 20;
// A truncated file ends at its last object; one with no keyword of the
// format in this many bytes has left the PDF.
constexpr uint64_t kMaxQuietBytes = 8ull << 20;
constexpr size_t kLookBack = 64;
// A file cut short is kept only with this much behind it: a header and an
// object or two ahead of other data are no document worth handing on.
constexpr uint64_t kMinTruncatedBytes = 4096;
constexpr uint32_t kMinTruncatedObjects = 3;

bool IsSpace(uint8_t c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\f' || c == 0; }

/// The number after "startxref" that ends right before the %%EOF at eof;
/// UINT64_MAX when the text is not there.
uint64_t StartXref(CarveInput& in, uint64_t eof) {
    const uint64_t from = eof > kLookBack ? eof - kLookBack : 0;
    const ByteSpan b = in.Get(from, static_cast<size_t>(eof - from));
    const std::string text(b.begin(), b.end());
    const size_t k = text.rfind("startxref");
    if (k == std::string::npos) return UINT64_MAX;
    size_t i = k + 9;
    while (i < text.size() && IsSpace(static_cast<uint8_t>(text[i]))) ++i;
    uint64_t n = 0;
    size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 12) n = n * 10 + (text[i++] - '0'), ++digits;
    if (!digits) return UINT64_MAX;
    while (i < text.size() && IsSpace(static_cast<uint8_t>(text[i]))) ++i;
    return i == text.size() ? n : UINT64_MAX;
}

/// A cross-reference table ("xref") or stream ("N G obj") at offset.
bool XrefAt(CarveInput& in, uint64_t offset) {
    const ByteSpan b = in.Get(offset, 32);
    if (b.size() >= 4 && std::memcmp(b.data(), "xref", 4) == 0) return true;
    size_t i = 0;
    while (i < b.size() && b[i] >= '0' && b[i] <= '9') ++i;
    if (i == 0) return false;
    const std::string rest(b.begin() + i, b.end());
    return rest.find(" obj") != std::string::npos && rest.find(" obj") < 12;
}

/// A PDF string from its opening "(" or "<": literal with escapes, or hex;
/// UTF-16BE when it starts with a byte-order mark.
std::string PdfString(ByteSpan b, size_t i) {
    std::string raw;
    if (i < b.size() && b[i] == '(') {
        int depth = 1;
        for (++i; i < b.size() && raw.size() < 512; ++i) {
            uint8_t c = b[i];
            if (c == '\\' && i + 1 < b.size()) {
                c = b[++i];
                if (c == 'n') c = '\n';
                else if (c == 'r') c = '\r';
                else if (c == 't') c = '\t';
                else if (c >= '0' && c <= '7') {
                    unsigned v = c - '0';
                    for (int k = 0; k < 2 && i + 1 < b.size() && b[i + 1] >= '0' && b[i + 1] <= '7'; ++k) v = v * 8 + (b[++i] - '0');
                    c = static_cast<uint8_t>(v);
                }
            } else if (c == '(') {
                ++depth;
            } else if (c == ')' && --depth == 0) {
                break;
            }
            raw += static_cast<char>(c);
        }
    } else if (i < b.size() && b[i] == '<') {
        int nibble = -1;
        for (++i; i < b.size() && b[i] != '>' && raw.size() < 512; ++i) {
            const uint8_t c = b[i];
            int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (v < 0) continue;
            if (nibble < 0) nibble = v;
            else raw += static_cast<char>(nibble * 16 + v), nibble = -1;
        }
    }
    if (raw.size() >= 2 && static_cast<uint8_t>(raw[0]) == 0xFE && static_cast<uint8_t>(raw[1]) == 0xFF) {
        std::vector<uint16_t> units;
        for (size_t k = 2; k + 1 < raw.size(); k += 2)
            units.push_back(static_cast<uint16_t>(static_cast<uint8_t>(raw[k]) << 8 | static_cast<uint8_t>(raw[k + 1])));
        return Utf16ToUtf8(units);
    }
    return ToUtf8(raw, "CP1252");
}

}  // namespace

bool PdfHeader(ByteSpan head) { return Has(head, 0, 8) && std::memcmp(head.data(), "%PDF-", 5) == 0 && head[5] >= '1' && head[5] <= '2' && head[6] == '.'; }

CarveWalk WalkPdf(CarveInput& in) {
    using carve_type::kPdf;
    uint64_t end = 0, lastObject = 0, lastKeyword = 0;
    uint32_t objects = 0;
    std::string title;
    bool haveTitle = false;
    uint64_t pos = 0;
    // Each step moves through one read window; the cap and the quiet stretch
    // bound the pass.
    while (pos < kMaxPdfBytes && pos - lastKeyword <= kMaxQuietBytes) {
        const ByteSpan b = in.Get(pos, CarveInput::kMaxGet);
        if (b.size() < 16) break;
        // The window's last 15 bytes are looked at again with the next one.
        const size_t scan = b.size() == CarveInput::kMaxGet ? b.size() - 15 : b.size();
        for (size_t i = 0; i < scan; ++i) {
            const uint8_t c = b[i];
            if (c == '%' && i + 5 <= b.size() && std::memcmp(&b[i], "%%EOF", 5) == 0) {
                lastKeyword = pos + i;
                const uint64_t eof = pos + i;
                const uint64_t x = StartXref(in, eof);
                if (x < eof && XrefAt(in, x)) {
                    uint64_t e = eof + 5;
                    // The line break after the marker belongs to the file.
                    const ByteSpan tail = in.Get(e, 2);
                    if (!tail.empty() && tail[0] == '\r') e += tail.size() == 2 && tail[1] == '\n' ? 2 : 1;
                    else if (!tail.empty() && tail[0] == '\n') e += 1;
                    end = e;
                    // An incremental update follows at once: an object, a table or a comment.
                    const ByteSpan next = in.Get(end, 16);
                    size_t k = 0;
                    while (k < next.size() && IsSpace(next[k]) && next[k] != 0) ++k;
                    const bool more = k < next.size() && ((next[k] >= '0' && next[k] <= '9') || next[k] == 'x' || next[k] == '%');
                    if (!more) {
                        CarveWalk w = Carved(CarveStatus::Complete, end, kPdf, "PDF", "pdf");
                        w.title = title;
                        return w;
                    }
                }
            } else if (c == 'e' && i + 6 <= b.size() && std::memcmp(&b[i], "endobj", 6) == 0) {
                lastKeyword = pos + i;
                lastObject = pos + i + 6;
                ++objects;
            } else if (c == '/' && !haveTitle && i + 6 <= b.size() && std::memcmp(&b[i], "/Title", 6) == 0) {
                size_t k = i + 6;
                while (k < b.size() && IsSpace(b[k])) ++k;
                title = PdfString(b, k);
                haveTitle = true;
            }
        }
        pos += scan;
    }
    if (end) {
        CarveWalk w = Carved(CarveStatus::Complete, end, kPdf, "PDF", "pdf");
        w.title = title;
        return w;
    }
    const bool kept = lastObject >= kMinTruncatedBytes && objects >= kMinTruncatedObjects;
    CarveWalk w = Carved(kept ? CarveStatus::Truncated : CarveStatus::Rejected, lastObject, kPdf, "PDF", "pdf");
    w.title = title;
    w.failedAt = lastObject;
    return w;
}

}  // namespace delvora
