// PNG: chunks walked with their CRCs to IEND.
#include <cstring>

#include <zlib.h>

#include "recovery/carve_format.h"

namespace delvora {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uint64_t kMaxPngBytes = 256ull << 20;

bool IsLetter(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

/// The CRC of a chunk's type and data (length bytes from pos + 4).
bool CrcMatches(CarveInput& in, uint64_t pos, uint32_t length, uint32_t expected) {
    uLong crc = crc32(0, nullptr, 0);
    uint64_t done = 0;
    const uint64_t total = uint64_t{length} + 4;
    // Each step takes at least one byte or gives up.
    while (done < total) {
        const ByteSpan part = in.Get(pos + 4 + done, static_cast<size_t>(std::min<uint64_t>(total - done, CarveInput::kMaxGet)));
        if (part.empty()) return false;
        crc = crc32(crc, part.data(), static_cast<uInt>(part.size()));
        done += part.size();
    }
    return static_cast<uint32_t>(crc) == expected;
}

}  // namespace

bool PngHeader(ByteSpan head) { return Has(head, 0, 16) && std::memcmp(head.data(), kSignature, 8) == 0 && std::memcmp(head.data() + 12, "IHDR", 4) == 0; }

CarveWalk WalkPng(CarveInput& in) {
    using carve_type::kPng;
    uint64_t pos = 8;
    bool image = false;
    // Every step moves past one chunk (at least 12 bytes).
    while (pos < kMaxPngBytes) {
        const ByteSpan h = in.Get(pos, 8);
        const uint32_t length = Be32(h, 0);
        const bool sane = h.size() == 8 && length <= 0x7FFFFFFF && IsLetter(h[4]) && IsLetter(h[5]) && IsLetter(h[6]) && IsLetter(h[7]);
        const ByteSpan crc = sane ? in.Get(pos + 8 + length, 4) : ByteSpan{};
        if (!sane || crc.size() != 4 || !CrcMatches(in, pos, length, Be32(crc, 0))) {
            CarveWalk w = Carved(image ? CarveStatus::Truncated : CarveStatus::Rejected, pos, kPng, "PNG", "png");
            w.failedAt = pos;
            return w;
        }
        if (std::memcmp(h.data() + 4, "IDAT", 4) == 0) image = true;
        pos += 12 + uint64_t{length};
        if (std::memcmp(h.data() + 4, "IEND", 4) == 0)
            return Carved(image ? CarveStatus::Complete : CarveStatus::Rejected, pos, kPng, "PNG", "png");
    }
    return Carved(CarveStatus::Rejected, 0, kPng, "PNG", "png");
}

}  // namespace delvora
