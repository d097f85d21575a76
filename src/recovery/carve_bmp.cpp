// BMP: the file size the header states, checked against the picture's own
// dimensions.
#include "recovery/carve_format.h"

namespace delvora {
namespace {

constexpr uint64_t kMaxBmpBytes = 512ull << 20;

}  // namespace

bool BmpHeader(ByteSpan head) {
    if (!Has(head, 0, 30) || head[0] != 'B' || head[1] != 'M' || Le32(head, 6) != 0) return false;
    const uint32_t dib = Le32(head, 14);
    return (dib == 12 || dib == 40 || dib == 52 || dib == 56 || dib == 108 || dib == 124);
}

CarveWalk WalkBmp(CarveInput& in) {
    using carve_type::kBmp;
    const ByteSpan h = in.Get(0, 54);
    CarveWalk fail = Carved(CarveStatus::Rejected, 0, kBmp, "BMP", "bmp");
    if (h.size() < 30) return fail;
    const uint64_t size = Le32(h, 2), dataAt = Le32(h, 10), dib = Le32(h, 14);
    uint64_t width, height;
    uint16_t planes, bits;
    uint32_t compression = 0;
    if (dib == 12) {
        width = Le16(h, 18);
        height = Le16(h, 20);
        planes = Le16(h, 22);
        bits = Le16(h, 24);
    } else {
        if (h.size() < 54) return fail;
        width = Le32(h, 18);
        const int32_t hs = static_cast<int32_t>(Le32(h, 22));
        height = hs < 0 ? uint64_t(-int64_t{hs}) : uint64_t(hs);
        planes = Le16(h, 26);
        bits = Le16(h, 28);
        compression = Le32(h, 30);
    }
    if (planes != 1 || width == 0 || height == 0 || width > 65536 || height > 65536) return fail;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return fail;
    if (size > kMaxBmpBytes || dataAt < 14 + dib || dataAt >= size) return fail;
    // Uncompressed rows are padded to four bytes; the stated size must hold them.
    const uint64_t rowBytes = (width * bits + 31) / 32 * 4;
    if ((compression == 0 || compression == 3) && dataAt + rowBytes * height > size) return fail;
    if (compression > 6) return fail;
    if (size > in.Available()) {
        CarveWalk w = Carved(CarveStatus::Truncated, in.Available(), kBmp, "BMP", "bmp");
        w.failedAt = in.Available();
        return w;
    }
    return Carved(CarveStatus::Complete, size, kBmp, "BMP", "bmp");
}

}  // namespace delvora
