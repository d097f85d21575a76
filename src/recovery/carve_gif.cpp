// GIF: the screen descriptor, then extension and image blocks with their
// sub-blocks to the trailer.
#include <cstring>

#include "recovery/carve_format.h"

namespace delvora {
namespace {

constexpr uint64_t kMaxGifBytes = 64ull << 20;

/// Past a chain of sub-blocks from pos; 0 when the input ends first.
uint64_t SkipSubBlocks(CarveInput& in, uint64_t pos) {
    // Each step moves past one sub-block (at least its size byte).
    while (pos < kMaxGifBytes) {
        const ByteSpan n = in.Get(pos, 1);
        if (n.empty()) return 0;
        if (n[0] == 0) return pos + 1;
        pos += 1 + uint64_t{n[0]};
    }
    return 0;
}

uint64_t ColourTable(uint8_t flags) { return (flags & 0x80) ? 3ull << ((flags & 7) + 1) : 0; }

}  // namespace

bool GifHeader(ByteSpan head) {
    return Has(head, 0, 13) && (std::memcmp(head.data(), "GIF87a", 6) == 0 || std::memcmp(head.data(), "GIF89a", 6) == 0) &&
           Le16(head, 6) > 0 && Le16(head, 8) > 0;
}

CarveWalk WalkGif(CarveInput& in) {
    using carve_type::kGif;
    const ByteSpan screen = in.Get(0, 13);
    uint64_t pos = 13 + ColourTable(Le8(screen, 10));
    bool image = false;
    // Every step moves past one block.
    while (pos < kMaxGifBytes) {
        const ByteSpan b = in.Get(pos, 10);
        uint64_t next = 0;
        if (!b.empty() && b[0] == 0x3B)
            return Carved(image ? CarveStatus::Complete : CarveStatus::Rejected, pos + 1, kGif, "GIF", "gif");
        if (b.size() >= 2 && b[0] == 0x21) {
            next = SkipSubBlocks(in, pos + 2);
        } else if (b.size() == 10 && b[0] == 0x2C) {
            const uint64_t data = pos + 10 + ColourTable(b[9]);
            const ByteSpan code = in.Get(data, 1);
            if (!code.empty() && code[0] >= 1 && code[0] <= 12) next = SkipSubBlocks(in, data + 1);
            if (next) image = true;
        }
        if (!next) {
            CarveWalk w = Carved(image ? CarveStatus::Truncated : CarveStatus::Rejected, pos, kGif, "GIF", "gif");
            w.failedAt = pos;
            return w;
        }
        pos = next;
    }
    return Carved(CarveStatus::Rejected, 0, kGif, "GIF", "gif");
}

}  // namespace delvora
