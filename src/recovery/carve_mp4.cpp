// MP4, QuickTime and 3GP: top-level boxes walked from "ftyp" while their
// sizes and types stay consistent; a movie needs its "moov" and "mdat".
#include <cstring>

#include "recovery/carve_format.h"

namespace delvora {
namespace {

constexpr uint32_t kMaxBoxes = 4096;

bool IsBoxType(ByteSpan b, size_t o) {
    static const char* const kTypes[] = {"ftyp", "moov", "mdat", "free", "skip", "wide", "uuid", "meta", "pdin",
                                         "moof", "mfra", "styp", "sidx", "pnot", "udta", "junk"};
    for (const char* t : kTypes)
        if (Has(b, o, 4) && std::memcmp(b.data() + o, t, 4) == 0) return true;
    return false;
}

}  // namespace

bool Mp4Header(ByteSpan head) {
    const uint32_t size = Be32(head, 0);
    return Has(head, 0, 12) && std::memcmp(head.data() + 4, "ftyp", 4) == 0 && size >= 16 && size <= 256 && size % 4 == 0;
}

CarveWalk WalkMp4(CarveInput& in) {
    using namespace carve_type;
    const ByteSpan f = in.Get(0, 12);
    const bool quicktime = Has(f, 8, 4) && std::memcmp(f.data() + 8, "qt  ", 4) == 0;
    const bool mobile = Has(f, 8, 3) && std::memcmp(f.data() + 8, "3g", 2) == 0;
    auto result = [&](CarveStatus status, uint64_t length) {
        if (quicktime) return Carved(status, length, kMov, "MOV", "mov");
        if (mobile) return Carved(status, length, kMp4, "3GP", "3gp");
        return Carved(status, length, kMp4, "MP4", "mp4");
    };
    uint64_t pos = 0;
    bool movie = false, data = false;
    // Every step moves past one box (at least 8 bytes).
    for (uint32_t n = 0; n < kMaxBoxes; ++n) {
        const ByteSpan b = in.Get(pos, 16);
        if (b.size() < 8 || !IsBoxType(b, 4)) break;
        uint64_t size = Be32(b, 0);
        // 1: a 64-bit size follows; 0 (to the end of the file) is no length a carver can use.
        if (size == 1) size = b.size() == 16 ? (uint64_t{Be32(b, 8)} << 32 | Be32(b, 12)) : 0;
        if (size < 8) break;
        if (size > in.Available() - pos) {
            CarveWalk w = result(movie || data ? CarveStatus::Truncated : CarveStatus::Rejected, in.Available());
            w.failedAt = pos;
            return w;
        }
        if (std::memcmp(b.data() + 4, "moov", 4) == 0) movie = true;
        if (std::memcmp(b.data() + 4, "mdat", 4) == 0) data = true;
        pos += size;
    }
    if (movie && data) return result(CarveStatus::Complete, pos);
    CarveWalk w = result(movie || data ? CarveStatus::Truncated : CarveStatus::Rejected, pos);
    w.failedAt = pos;
    return w;
}

}  // namespace delvora
