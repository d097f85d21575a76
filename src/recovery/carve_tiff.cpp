// TIFF: the IFD chain (and the EXIF and sub-IFDs) walked, bounded and with
// loops caught; the file ends past the furthest byte any entry's value, strip
// or tile reaches.
#include <algorithm>
#include <set>

#include "recovery/carve_format.h"
#include "recovery/carve_tiff_ifd.h"

namespace delvora {
namespace {

constexpr uint64_t kMaxTiffBytes = 1ull << 30;
constexpr size_t kMaxIfds = 256;
constexpr uint16_t kMaxEntries = 1024;
constexpr uint32_t kMaxArray = 1u << 16;
constexpr uint8_t kTypeBytes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};

struct Walk {
    TiffOrder order;
    uint64_t end = 8;
    std::set<uint32_t> seen;
    std::vector<uint32_t> pending;
    bool ok = true;
};

/// The values of an array entry (offsets or byte counts).
std::vector<uint32_t> Values(CarveInput& in, Walk& w, ByteSpan e) {
    const uint16_t type = w.order.U16(e, 2);
    const uint32_t count = w.order.U32(e, 4);
    std::vector<uint32_t> out;
    if ((type != 3 && type != 4 && type != 13) || count == 0 || count > kMaxArray) return out;
    const uint32_t width = type == 3 ? 2 : 4;
    ByteSpan b = e.subspan(8, 4);
    if (uint64_t{count} * width > 4) b = in.Get(w.order.U32(e, 8), count * width);
    for (uint32_t i = 0; i < count && (i + 1) * width <= b.size(); ++i)
        out.push_back(width == 2 ? w.order.U16(b, i * 2) : w.order.U32(b, i * 4));
    return out;
}

void WalkIfd(CarveInput& in, Walk& w, uint32_t at) {
    const ByteSpan n = in.Get(at, 2);
    const uint16_t entries = w.order.U16(n, 0);
    if (n.size() < 2 || entries == 0 || entries > kMaxEntries) {
        w.ok = false;
        return;
    }
    const ByteSpan b = in.Get(at, 2 + size_t{entries} * 12 + 4);
    if (b.size() != 2 + size_t{entries} * 12 + 4) {
        w.ok = false;
        return;
    }
    w.end = std::max<uint64_t>(w.end, at + b.size());
    std::vector<uint32_t> offsets[2], counts[2];  // strips, tiles
    for (uint16_t i = 0; i < entries; ++i) {
        const ByteSpan e = b.subspan(2 + size_t{i} * 12, 12);
        const uint16_t tag = w.order.U16(e, 0), type = w.order.U16(e, 2);
        const uint32_t count = w.order.U32(e, 4);
        if (type == 0 || type > 12) continue;
        const uint64_t bytes = uint64_t{count} * kTypeBytes[type];
        if (bytes > 4) w.end = std::max<uint64_t>(w.end, w.order.U32(e, 8) + bytes);
        if (tag == 273) offsets[0] = Values(in, w, e);
        else if (tag == 279) counts[0] = Values(in, w, e);
        else if (tag == 324) offsets[1] = Values(in, w, e);
        else if (tag == 325) counts[1] = Values(in, w, e);
        else if (tag == 330 || tag == 34665)
            for (uint32_t sub : Values(in, w, e)) w.pending.push_back(sub);
    }
    for (int k = 0; k < 2; ++k)
        for (size_t i = 0; i < offsets[k].size() && i < counts[k].size(); ++i)
            w.end = std::max<uint64_t>(w.end, uint64_t{offsets[k][i]} + counts[k][i]);
    if (const uint32_t next = w.order.U32(b, 2 + size_t{entries} * 12)) w.pending.push_back(next);
}

}  // namespace

bool TiffHeader(ByteSpan head) {
    TiffOrder o;
    return TiffHeaderOrder(head, o) && o.U32(head, 4) >= 8;
}

CarveWalk WalkTiff(CarveInput& in) {
    using carve_type::kTif;
    Walk w;
    const ByteSpan h = in.Get(0, 8);
    if (!TiffHeaderOrder(h, w.order)) return Carved(CarveStatus::Rejected, 0, kTif, "TIF", "tif");
    w.pending.push_back(w.order.U32(h, 4));
    // Each IFD is walked once (a loop ends at an IFD already seen).
    while (!w.pending.empty() && w.ok && w.seen.size() < kMaxIfds) {
        const uint32_t at = w.pending.back();
        w.pending.pop_back();
        if (at < 8 || !w.seen.insert(at).second) continue;
        WalkIfd(in, w, at);
    }
    if (!w.ok || w.end > kMaxTiffBytes) return Carved(CarveStatus::Rejected, 0, kTif, "TIF", "tif");
    if (w.end > in.Available()) {
        CarveWalk r = Carved(CarveStatus::Truncated, in.Available(), kTif, "TIF", "tif");
        r.failedAt = in.Available();
        return r;
    }
    return Carved(CarveStatus::Complete, w.end, kTif, "TIF", "tif");
}

}  // namespace delvora
