// The residual searches' slot and inode tests and the single-record parse
// behind them, over the fuzzer's bytes: the first byte picks the slot size
// (512 to 4,096 bytes) and the volume's block count for the inode test;
// every slot of the rest goes through both tests, and a slot that passes
// the record test is parsed as a found record.
#include <cstdint>

#include "common/reporting.h"
#include "fs/file_item.h"
#include "fs/ntfs/ntfs_attribute_info.h"
#include "recovery/slot_tests.h"

using namespace delvora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t slotBytes = size_t{512} << (data[0] & 3);
    const uint64_t blockCount = uint64_t{1} << (data[0] >> 2);
    const ByteSpan bytes(data + 1, size - 1);
    NullLog log;
    for (size_t at = 0; at < bytes.size(); at += slotBytes) {
        const ByteSpan slot = bytes.subspan(at, std::min(slotBytes, bytes.size() - at));
        LooksLikeLostInode(slot, blockCount);
        if (slot.size() == slotBytes && LooksLikeLostRecord(slot)) {
            FileItem item;
            uint32_t parent = 0;
            GetAttributeInfo(slot, item, parent, log);
        }
    }
    return 0;
}
