#include "fs/ntfs/ntfs_record.h"

#include "fs/ntfs/ntfs_run_list.h"

namespace delvora {

FixupResult ApplyFixup(std::span<uint8_t> record) {
    const ByteSpan bytes(record.data(), record.size());
    const uint32_t arrayOffset = Le16(bytes, 4);
    const uint32_t arrayCount = Le16(bytes, 6);
    const size_t strides = record.size() / 512;
    if (strides == 0 || arrayCount != strides + 1 || arrayOffset < 8 || arrayOffset % 2 != 0 ||
        !Has(bytes, arrayOffset, 2 * size_t{arrayCount}))
        return FixupResult::Absent;
    const uint16_t sequence = Le16(bytes, arrayOffset);
    for (size_t i = 0; i < strides; ++i)
        if (Le16(bytes, i * 512 + 510) != sequence) return FixupResult::Mismatch;
    for (size_t i = 0; i < strides; ++i) {
        record[i * 512 + 510] = record[arrayOffset + 2 + 2 * i];
        record[i * 512 + 511] = record[arrayOffset + 3 + 2 * i];
    }
    return FixupResult::Applied;
}

uint32_t FirstAttributeOffset(ByteSpan record) {
    const uint32_t offset = Le16(record, 0x14);
    return (offset >= ntfs::kMinFirstAttribute && offset < record.size()) ? offset : 0;
}

bool GetRunArray(ByteSpan record, ClusterRunList& runs, Log& log) {
    uint32_t offset = FirstAttributeOffset(record);
    if (offset == 0) {
        log.AppendLog("取出第一个属性的偏移位置出错!位于GetRunArray函数");
        return false;
    }
    // The offset grows by a non-zero length each step and the loop stops at
    // the record's end.
    while (offset < record.size()) {
        if (Le32(record, offset) == ntfs::kData) {
            const size_t runList = size_t{offset} + Le16(record, offset + 0x20);
            DecodeRunList(Slice(record, runList, record.size()), runs);
            return true;
        }
        const uint32_t length = Le32(record, offset + 4);
        if (length == 0) return false;
        if (length >= record.size() - offset) break;
        offset += length;
    }
    return true;
}

uint32_t GetAttrbuteByType(ByteSpan record, uint32_t type, Log& log) {
    uint32_t offset = FirstAttributeOffset(record);
    if (offset == 0) {
        log.AppendLog("取出第一个属性的偏移位置出错!位于GetAttrbuteByType函数");
        return 0;
    }
    // As above: strictly growing offset, bounded by the record.
    while (offset < record.size()) {
        if (Le32(record, offset) == type) return offset;
        const uint32_t length = Le32(record, offset + 4);
        if (length == 0 || length >= record.size() - offset) return 0;
        offset += length;
    }
    return 0;
}

}  // namespace delvora
