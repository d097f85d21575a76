#include "recovery/slot_tests.h"

namespace delvora {

bool LooksLikeLostRecord(ByteSpan slot) {
    if (Le32(slot, 0) != 0x454C4946 || Le8(slot, 5) != 0) return false;
    const uint32_t first = Le16(slot, 0x14);
    if (first < 0x30 || first >= slot.size()) return false;
    return Has(slot, first, 8) && Le32(slot, first) == 0x10 && Le32(slot, first + 4) == 0x60;
}

bool LooksLikeLostInode(ByteSpan inode, uint64_t blockCount) {
    if (!Has(inode, 0, 128)) return false;
    if (Le32(inode, 4) == 0 || Le32(inode, 12) == 0 || Le32(inode, 104) != 0 || Le32(inode, 108) != 0) return false;
    if (Le16(inode, 2) >= 4096 || Le16(inode, 24) != 0 || Le16(inode, 26) >= 4096) return false;
    if (Le32(inode, 28) == 0 || Le32(inode, 40) == 0) return false;
    for (size_t k = 0; k < 15; ++k)
        if (Le32(inode, 40 + 4 * k) >= blockCount) return false;
    return true;
}

}  // namespace delvora
