#include "fs/ntfs/ntfs_record.h"

#include <cstring>

namespace delvora {

FixupResult ApplyFixup(std::span<uint8_t> record) {
    const ByteSpan bytes(record.data(), record.size());
    const uint32_t arrayOffset = Le16(bytes, 4);
    const uint32_t arrayCount = Le16(bytes, 6);
    if (arrayCount < 2 || arrayOffset < 8 || arrayOffset % 2 != 0 || !Has(bytes, arrayOffset, 2 * size_t{arrayCount}))
        return FixupResult::Absent;
    const size_t strides = arrayCount - 1;
    const size_t stride = record.size() / strides;
    if (stride * strides != record.size() || stride < 512 || (stride & (stride - 1)) != 0)
        return FixupResult::Absent;
    const uint16_t sequence = Le16(bytes, arrayOffset);
    for (size_t i = 0; i < strides; ++i)
        if (Le16(bytes, i * stride + stride - 2) != sequence) return FixupResult::Mismatch;
    for (size_t i = 0; i < strides; ++i) {
        record[i * stride + stride - 2] = record[arrayOffset + 2 + 2 * i];
        record[i * stride + stride - 1] = record[arrayOffset + 3 + 2 * i];
    }
    return FixupResult::Applied;
}

bool HasRecordSignature(ByteSpan record) {
    return Has(record, 0, 4) && (std::memcmp(record.data(), "FILE", 4) == 0 || std::memcmp(record.data(), "BAAD", 4) == 0);
}

uint32_t FirstAttributeOffset(ByteSpan record) {
    const uint32_t offset = Le16(record, 0x14);
    return (offset >= ntfs::kMinFirstAttribute && offset < record.size()) ? offset : 0;
}

}  // namespace delvora
