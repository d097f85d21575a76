#include "fs/ntfs/ntfs_run_list.h"

namespace delvora {

bool DecodeRunList(ByteSpan bytes, ClusterRunList& runs) {
    runs.Clear();
    uint32_t previous = 0;
    size_t pos = 0;
    // Each step advances by at least 3 bytes; the loop ends at the span's end.
    while (pos < bytes.size()) {
        const uint8_t header = bytes[pos];
        const uint32_t lengthBytes = header & 0x0F;
        const uint32_t offsetBytes = header >> 4;
        // Runs are 32-bit {first, count}: wider fields do not fit and end the
        // list rather than being cut to a wrong cluster.
        if (lengthBytes == 0 || offsetBytes == 0 || lengthBytes > 4 || offsetBytes > 4) break;
        if (!Has(bytes, pos + 1, lengthBytes + offsetBytes)) break;
        uint32_t count = 0;
        for (uint32_t i = 0; i < lengthBytes; ++i) count |= uint32_t{bytes[pos + 1 + i]} << (8 * i);
        uint32_t offset = 0;
        for (uint32_t i = 0; i < offsetBytes; ++i)
            offset |= uint32_t{bytes[pos + 1 + lengthBytes + i]} << (8 * i);
        if (offsetBytes < 4 && (offset >> (8 * offsetBytes - 1)) & 1)
            offset |= ~uint32_t{0} << (8 * offsetBytes);  // sign-extend
        previous += offset;  // 32-bit arithmetic on purpose: offsets are signed deltas
        runs.Add(previous, count);
        pos += 1 + lengthBytes + offsetBytes;
    }
    return true;
}

}  // namespace delvora
