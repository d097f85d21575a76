#include "fs/ntfs/ntfs_run_list.h"

namespace delvora {

uint64_t DecodeRunList(ByteSpan bytes, ClusterRunList& runs) {
    runs.Clear();
    int64_t previous = 0;
    uint64_t total = 0;
    size_t pos = 0;
    // Each step advances by at least 2 bytes; the loop ends at the span's end.
    while (pos < bytes.size()) {
        const uint8_t header = bytes[pos];
        const uint32_t lengthBytes = header & 0x0F;
        const uint32_t offsetBytes = header >> 4;
        if (lengthBytes == 0 || lengthBytes > 8 || offsetBytes > 8) break;
        if (!Has(bytes, pos + 1, lengthBytes + offsetBytes)) break;
        uint64_t count = 0;
        for (uint32_t i = 0; i < lengthBytes; ++i) count |= uint64_t{bytes[pos + 1 + i]} << (8 * i);
        if (count == 0 || count > ntfs::kMaxClusters - total) break;
        if (offsetBytes == 0) {
            runs.Add(ntfs::kSparseRun, count);
        } else {
            uint64_t raw = 0;
            for (uint32_t i = 0; i < offsetBytes; ++i) raw |= uint64_t{bytes[pos + 1 + lengthBytes + i]} << (8 * i);
            if (offsetBytes < 8 && (raw >> (8 * offsetBytes - 1)) & 1) raw |= ~uint64_t{0} << (8 * offsetBytes);
            int64_t first = 0;
            if (__builtin_add_overflow(previous, static_cast<int64_t>(raw), &first) || first < 0 ||
                static_cast<uint64_t>(first) >= ntfs::kMaxCluster)
                break;
            previous = first;
            runs.Add(static_cast<uint64_t>(first), count);
        }
        total += count;
        pos += 1 + lengthBytes + offsetBytes;
    }
    return total;
}

}  // namespace delvora
