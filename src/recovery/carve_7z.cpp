// 7z archives: the start header (its CRC checked) gives the next header's
// offset and size, the archive's end; the next header's CRC confirms it.
#include <cstring>

#include <zlib.h>

#include "recovery/carve_format.h"

namespace delvora {
namespace {

constexpr uint8_t kSignature[6] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
constexpr uint64_t kMax7zBytes = 64ull << 30;
constexpr uint64_t kMaxNextHeader = 64ull << 20;

}  // namespace

bool SevenZipHeader(ByteSpan head) {
    if (!Has(head, 0, 32) || std::memcmp(head.data(), kSignature, 6) != 0 || head[6] != 0) return false;
    return static_cast<uint32_t>(crc32(0, head.data() + 12, 20)) == Le32(head, 8);
}

CarveWalk WalkSevenZip(CarveInput& in) {
    using carve_type::k7z;
    const ByteSpan h = in.Get(0, 32);
    CarveWalk fail = Carved(CarveStatus::Rejected, 0, k7z, "7Z", "7z");
    if (!SevenZipHeader(h)) return fail;
    const uint64_t offset = Le64(h, 12), size = Le64(h, 20);
    if (offset > kMax7zBytes || size == 0 || size > kMaxNextHeader) return fail;
    const uint64_t length = 32 + offset + size;
    if (length > in.Available()) {
        CarveWalk w = Carved(CarveStatus::Truncated, in.Available(), k7z, "7Z", "7z");
        w.failedAt = in.Available();
        return w;
    }
    uLong crc = crc32(0, nullptr, 0);
    uint64_t done = 0;
    // Each step takes at least one byte or gives up.
    while (done < size) {
        const ByteSpan part = in.Get(32 + offset + done, static_cast<size_t>(std::min<uint64_t>(size - done, CarveInput::kMaxGet)));
        if (part.empty()) return fail;
        crc = crc32(crc, part.data(), static_cast<uInt>(part.size()));
        done += part.size();
    }
    if (static_cast<uint32_t>(crc) != Le32(h, 28)) {
        fail.failedAt = 32 + offset;
        return fail;
    }
    return Carved(CarveStatus::Complete, length, k7z, "7Z", "7z");
}

}  // namespace delvora
