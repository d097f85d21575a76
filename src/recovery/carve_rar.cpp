// RAR archives, versions 4 and 5: blocks walked (each header's CRC checked)
// to the end-of-archive block.
#include <cstring>

#include <zlib.h>

#include "recovery/carve_format.h"

namespace delvora {
namespace {

constexpr uint8_t kRar4[7] = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x00};
constexpr uint8_t kRar5[8] = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x01, 0x00};
constexpr uint32_t kMaxBlocks = 1u << 20;
constexpr uint64_t kMaxRarBytes = 64ull << 30;

/// A RAR5 variable-length number at pos (advanced); false past 10 bytes.
bool Vint(ByteSpan b, size_t& pos, uint64_t& value) {
    value = 0;
    for (int shift = 0; shift < 70 && pos < b.size(); shift += 7) {
        const uint8_t c = b[pos++];
        value |= uint64_t{c & 0x7Fu} << shift;
        if (!(c & 0x80)) return true;
    }
    return false;
}

CarveWalk Stop(CarveStatus status, uint64_t at) {
    CarveWalk w = Carved(status, at, carve_type::kRar, "RAR", "rar");
    w.failedAt = at;
    return w;
}

CarveWalk WalkRar5(CarveInput& in) {
    uint64_t pos = 8;
    bool any = false;
    // Every step moves past one block (at least its CRC and size).
    for (uint32_t n = 0; n < kMaxBlocks && pos < kMaxRarBytes; ++n) {
        const ByteSpan b = in.Get(pos, 16);
        size_t p = 4;
        uint64_t headerSize = 0;
        if (b.size() < 6 || !Vint(b, p, headerSize) || headerSize == 0 || headerSize > (2u << 20)) break;
        const ByteSpan header = in.Get(pos + 4, static_cast<size_t>(p - 4 + headerSize));
        if (header.size() != p - 4 + headerSize || static_cast<uint32_t>(crc32(0, header.data(), static_cast<uInt>(header.size()))) != Le32(b, 0)) break;
        size_t q = p - 4;
        uint64_t type = 0, flags = 0, extra = 0, data = 0;
        if (!Vint(header, q, type) || !Vint(header, q, flags)) break;
        if ((flags & 1) && !Vint(header, q, extra)) break;
        if ((flags & 2) && !Vint(header, q, data)) break;
        if (type == 0 || type > 5) break;
        pos += 4 + header.size() + data;
        any = true;
        if (type == 5) return pos <= in.Available() ? Carved(CarveStatus::Complete, pos, carve_type::kRar, "RAR", "rar") : Stop(CarveStatus::Truncated, in.Available());
    }
    return Stop(any ? CarveStatus::Truncated : CarveStatus::Rejected, std::min(pos, in.Available()));
}

CarveWalk WalkRar4(CarveInput& in) {
    uint64_t pos = 7;
    bool any = false;
    // Every step moves past one block (at least its seven header bytes).
    for (uint32_t n = 0; n < kMaxBlocks && pos < kMaxRarBytes; ++n) {
        const ByteSpan b = in.Get(pos, 11);
        if (b.size() < 7) break;
        const uint8_t type = b[2];
        const uint16_t flags = Le16(b, 3), size = Le16(b, 5);
        if (type < 0x72 || type > 0x7B || size < 7) break;
        const ByteSpan header = in.Get(pos, size);
        if (header.size() != size || (crc32(0, header.data() + 2, size - 2) & 0xFFFF) != Le16(b, 0)) break;
        uint64_t add = 0;
        if ((flags & 0x8000) && b.size() == 11) add = Le32(b, 7);
        pos += size + add;
        any = true;
        if (type == 0x7B) return pos <= in.Available() ? Carved(CarveStatus::Complete, pos, carve_type::kRar, "RAR", "rar") : Stop(CarveStatus::Truncated, in.Available());
    }
    return Stop(any ? CarveStatus::Truncated : CarveStatus::Rejected, std::min(pos, in.Available()));
}

}  // namespace

bool RarHeader(ByteSpan head) {
    return Has(head, 0, 8) && (std::memcmp(head.data(), kRar4, 7) == 0 || std::memcmp(head.data(), kRar5, 8) == 0);
}

CarveWalk WalkRar(CarveInput& in) {
    const ByteSpan h = in.Get(0, 8);
    if (h.size() == 8 && std::memcmp(h.data(), kRar5, 8) == 0) return WalkRar5(in);
    return WalkRar4(in);
}

}  // namespace delvora
