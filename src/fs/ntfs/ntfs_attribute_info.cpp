#include "fs/ntfs/ntfs_attribute_info.h"

#include <array>
#include <cstring>

#include "common/codepage.h"
#include "common/text_format.h"
#include "common/translation.h"
#include "fs/name_pool.h"
#include "fs/ntfs/ntfs_file_facts.h"
#include "fs/ntfs/ntfs_record.h"
#include "fs/ntfs/ntfs_time.h"

namespace delvora {
namespace {

constexpr uint32_t kNameLength = 0x58;
constexpr uint32_t kNamespace = 0x59;
constexpr uint32_t kNameStart = 0x5A;
constexpr uint8_t kDosNamespace = 2;

// True when a $FILE_NAME at offset holds its whole name inside the record.
bool FileNameFits(ByteSpan record, uint32_t offset) {
    if (!Has(record, offset, kNameStart)) return false;
    return Has(record, size_t{offset} + kNameStart, 2 * size_t{Le8(record, offset + kNameLength)});
}

const char* PooledName(ByteSpan record, uint32_t offset, NamePool& names) {
    const size_t units = Le8(record, offset + kNameLength);
    const ByteSpan bytes = Slice(record, size_t{offset} + kNameStart, 2 * units);
    // Nearly every name is ASCII: it goes to the pool without a string of
    // its own (a name has at most 255 units).
    std::array<char, 255> ascii;
    size_t i = 0;
    while (i < bytes.size() / 2 && bytes[2 * i + 1] == 0 && bytes[2 * i] < 0x80) {
        ascii[i] = static_cast<char>(bytes[2 * i]);
        ++i;
    }
    if (i == bytes.size() / 2) return names.Add(std::string_view(ascii.data(), i));
    return names.Add(Utf16LeBytesToUtf8(bytes));
}

// Times and attribute bits of a $FILE_NAME, for records without a
// $STANDARD_INFORMATION: modification time is the write date/time, last
// access the access date.
template <class Item>
void FillNameTimes(ByteSpan record, uint32_t offset, Item& item) {
    NtfsTimeToDos(Le64(record, offset + 0x20), item.createTime, item.createDate);
    NtfsTimeToDos(Le64(record, offset + 0x28), item.writeTime, item.writeDate);
    uint16_t accessTime = 0;
    NtfsTimeToDos(Le64(record, offset + 0x38), accessTime, item.accessDate);
    // The name's own copy of the file attributes: read-only, hidden, system.
    item.attributes = Le8(record, offset + 0x50) & 0x0F;
}

// The same from $STANDARD_INFORMATION, which the file system keeps current
// (a name's copy changes only when the name does). False when the value is
// too short to hold them.
template <class Item>
bool FillStandardTimes(ByteSpan value, Item& item) {
    if (value.size() < 0x24) return false;
    NtfsTimeToDos(Le64(value, 0x00), item.createTime, item.createDate);
    NtfsTimeToDos(Le64(value, 0x08), item.writeTime, item.writeDate);
    uint16_t accessTime = 0;
    NtfsTimeToDos(Le64(value, 0x18), accessTime, item.accessDate);
    item.attributes = Le8(value, 0x20) & 0x0F;
    return true;
}

bool IsStandardInformationAt(ByteSpan record, uint32_t offset) {
    return Le8(record, offset) == 0x10 && Le8(record, offset + 4) == 0x60;
}

// Where the attribute walk of a batch record starts, with the fallbacks for
// a damaged header; 0 when the record is to be skipped. A record that was
// never written (no signature) is not worth a log line.
uint32_t BatchStart(ByteSpan record, uint32_t number, Log& log) {
    uint32_t offset = FirstAttributeOffset(record);
    if (offset == 0) {
        if (IsStandardInformationAt(record, 0x30)) {
            log.AppendLog(Format(Tr("NtfsAttributeInfo", "取出第一个属性的偏移位置出错,位于 MFT %d , GetAttributeInfo函数,但强制设为 offsize = 48"), number));
            offset = 48;
        } else if (IsStandardInformationAt(record, 0x38)) {
            log.AppendLog(Format(Tr("NtfsAttributeInfo", "取出第一个属性的偏移位置出错,位于 MFT %d , GetAttributeInfo函数,但强制设为 offsize = 56"), number));
            offset = 56;
        } else {
            if (HasRecordSignature(record))
                log.AppendLog(Format(Tr("NtfsAttributeInfo", "取出第一个属性的偏移位置出错,位于 MFT %d , GetAttributeInfo函数,无法强制转换"), number));
            return 0;
        }
    }
    if (offset == 48 && Le8(record, 0x34) == 0) {
        if (IsStandardInformationAt(record, 0x30)) {
            log.AppendLog(Format(Tr("NtfsAttributeInfo", "取出第一个属性的偏移位置出错,位于 MFT %d , GetAttributeInfo函数,但强制设为 OffSize = 48"), number));
        } else if (IsStandardInformationAt(record, 0x38)) {
            log.AppendLog(Format(Tr("NtfsAttributeInfo", "取出第一个属性的偏移位置出错,位于 MFT %d , GetAttributeInfo函数,但强制设为 OffSize = 56"), number));
            offset = 56;
        }
    }
    return offset;
}

// Size (and the in-record flag) from an unnamed $DATA attribute. Residence
// is read from the attribute's non-resident flag: the name offset tells it
// only when a writer puts 0x18 there, and some writers put 0 for unnamed
// attributes. A resident size is what the record holds, whatever the length
// field claims; a non-resident piece gives sizes only when it starts the data.
template <class Item>
void FillSize(ByteSpan record, uint32_t offset, Item& item) {
    if (Le8(record, offset + 0x08) == 0) {
        item.flags |= item_flags::kInRecord;
        item.size = ResidentValue(record, offset).size();
    } else if (Le64(record, offset + 0x10) == 0) {
        item.size = Le64(record, offset + 0x30);
    }
}

// One record of the batch; record is a fixed-up copy.
void ParseBatchRecord(ByteSpan record, uint32_t number, NtfsLoadTables& tables, Log& log) {
    const size_t capacity = tables.items.size();
    if (number >= capacity) return;
    // An extension record holds overflow attributes of its base record, which
    // reaches them through its attribute list: it is no file of its own.
    if (BaseRecordOf(record) != 0) return;
    uint32_t offset = BatchStart(record, number, log);
    if (offset == 0) return;
    const uint16_t recordFlags = Le16(record, 0x16);
    NtfsRecordItem& item = tables.items[number];
    item.flags = 0;
    if (recordFlags & ntfs::kRecordDirectory) item.flags |= item_flags::kDirectory | item_flags::kInRecord;
    if (!(recordFlags & ntfs::kRecordInUse)) item.flags |= item_flags::kDeleted;
    bool timed = false;
    bool listed = false;
    // The offset only grows (by a length, or from 48 to 56) and the walk ends
    // at the record's end.
    while (Has(record, offset, 8)) {
        const uint32_t type = Le32(record, offset);
        if (type == ntfs::kEndOfAttributes) return;
        const uint32_t length = Le32(record, offset + 4);
        const bool stuck = length == 0 || uint64_t{offset} + length > UINT32_MAX;
        if (type == ntfs::kStandardInformation && !timed && !stuck) {
            timed = FillStandardTimes(ResidentValue(record, offset), item);
        } else if (type == ntfs::kAttributeList && !listed) {
            listed = true;
            tables.withList.push_back(number);
        } else if (type == ntfs::kFileName) {
            if (stuck) {
                log.AppendLog(Format(Tr("NtfsAttributeInfo", "文件名属性错 MFT:%d"), number));
                return;
            }
            if (FileNameFits(record, offset) && Le8(record, offset + kNamespace) != kDosNamespace) {
                const uint64_t parent = Le64(record, offset + 0x18) & ntfs::kReferenceMask;
                if (parent < capacity) {
                    if (!timed) FillNameTimes(record, offset, item);
                    tables.links.push_back(
                        {static_cast<uint32_t>(parent), number, PooledName(record, offset, *tables.names)});
                }
            }
        } else if (type == ntfs::kData && IsUnnamedAttribute(record, offset)) {
            if (!item.IsDirectory()) FillSize(record, offset, item);
            return;
        }
        if (stuck) {
            // A damaged first attribute at 48 hides one at 56: try there.
            if (offset != 48) return;
            offset = 56;
            continue;
        }
        offset += length;
    }
}

}  // namespace

FileItem NtfsRecordItem::ToItem(const char* name, uint32_t number) const {
    FileItem item;
    item.name = name;
    item.startCluster = number;
    item.size = size;
    item.createTime = createTime;
    item.createDate = createDate;
    item.accessDate = accessDate;
    item.writeTime = writeTime;
    item.writeDate = writeDate;
    item.flags = flags;
    item.attributes = attributes;
    return item;
}

size_t GetAttributeInfo(ByteSpan buffer, uint32_t firstRecord, uint32_t recordBytes,
                        NtfsLoadTables& tables, Log& log) {
    if (recordBytes == 0 || recordBytes > ntfs::kMaxRecordBytes) return buffer.size();
    std::array<uint8_t, ntfs::kMaxRecordBytes> copy;
    const std::span<uint8_t> record(copy.data(), recordBytes);
    const size_t count = buffer.size() / recordBytes;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t number = firstRecord + static_cast<uint32_t>(i);
        std::memcpy(copy.data(), buffer.data() + i * recordBytes, recordBytes);
        if (ApplyFixup(record) == FixupResult::Mismatch) {
            log.AppendLog(Format(Tr("NtfsAttributeInfo", "MFT %d 记录的更新序列号不符, 已跳过该记录"), number));
            continue;
        }
        ParseBatchRecord(ByteSpan(record.data(), record.size()), number, tables, log);
    }
    return buffer.size();
}

bool GetAttributeInfo(ByteSpan recordOnDisk, FileItem& item, uint32_t& parentRecord, Log& log, NamePool& names) {
    if (recordOnDisk.empty() || recordOnDisk.size() > ntfs::kMaxRecordBytes) return false;
    std::array<uint8_t, ntfs::kMaxRecordBytes> copy;
    std::memcpy(copy.data(), recordOnDisk.data(), recordOnDisk.size());
    const std::span<uint8_t> fixed(copy.data(), recordOnDisk.size());
    if (ApplyFixup(fixed) == FixupResult::Mismatch) return false;
    const ByteSpan record(fixed.data(), fixed.size());

    uint32_t offset = FirstAttributeOffset(record);
    if (offset == 0) {
        log.AppendLog(Tr("NtfsAttributeInfo", "取出第一个属性的偏移位置出错,位于 GetAttributeInfo"));
        return false;
    }
    const uint16_t recordFlags = Le16(record, 0x16);
    bool named = false;
    bool timed = false;
    // Strictly growing offset, bounded by the record.
    while (Has(record, offset, 8)) {
        const uint32_t type = Le32(record, offset);
        if (type == ntfs::kEndOfAttributes) break;
        const uint32_t length = Le32(record, offset + 4);
        const bool stuck = length == 0 || uint64_t{offset} + length > UINT32_MAX;
        if (type == ntfs::kStandardInformation && !timed && !stuck) {
            timed = FillStandardTimes(ResidentValue(record, offset), item);
        } else if (type == ntfs::kFileName) {
            if (stuck) {
                log.AppendLog(Format(Tr("NtfsAttributeInfo", "文件名属性错 MFT:%d"), 0));
                break;
            }
            if (FileNameFits(record, offset) && Le8(record, offset + kNamespace) != kDosNamespace) {
                item.startCluster = 0;
                const uint64_t parent = Le64(record, offset + 0x18) & ntfs::kReferenceMask;
                parentRecord = parent > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(parent);
                if (recordFlags & ntfs::kRecordDirectory)
                    item.flags |= item_flags::kDirectory | item_flags::kInRecord;
                if (!timed) FillNameTimes(record, offset, item);
                item.flags |= item_flags::kDeleted;
                item.name = PooledName(record, offset, names);
                named = true;
            }
        } else if (type == ntfs::kData && IsUnnamedAttribute(record, offset)) {
            if (named) FillSize(record, offset, item);
            break;
        }
        if (stuck) break;
        offset += length;
    }
    return named;
}

}  // namespace delvora
