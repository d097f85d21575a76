#include "disk/volume_params.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <span>

#include "common/codepage.h"
#include "common/text_format.h"
#include "common/translation.h"
#include "disk/partition_types.h"

namespace delvora {
namespace {

enum class Block : uint8_t { Fat, Ntfs, Ext2 };

struct RowSpec {
    const char* label;
    const char* field;
    uint8_t offset;     // within the type's block
    uint8_t width;      // bytes: 1, 2, 4, 8, or the length of a text
    bool text;
    bool important;     // "*": read back on finishing
    bool size;          // read back too: a destroyed boot sector needs it
};

// FAT offsets are boot-sector offsets less 3: the block starts at byte 3.
constexpr std::array kFatRows{
    RowSpec{TrNoop("VolumeParams", "每扇区字节数"), "bytesPerSector", 11 - 3, 2, false, true, false},
    RowSpec{TrNoop("VolumeParams", "每簇扇区数"), "sectorsPerCluster", 13 - 3, 1, false, true, false},
    RowSpec{TrNoop("VolumeParams", "保留扇区数"), "reservedSectors", 14 - 3, 2, false, true, false},
    RowSpec{TrNoop("VolumeParams", "FAT备份数"), "fatCount", 16 - 3, 1, false, true, false},
    RowSpec{TrNoop("VolumeParams", "根目录项数"), "rootEntries", 17 - 3, 2, false, true, false},
    RowSpec{TrNoop("VolumeParams", "每FAT扇区数"), "sectorsPerFat", 22 - 3, 2, false, true, false},
    // On FAT32 these are the low 16 bits of the 32-bit FAT size.
    RowSpec{TrNoop("VolumeParams", "物理驱动器数"), "physicalDrive", 36 - 3, 2, false, true, false},
    RowSpec{TrNoop("VolumeParams", "总扇区数"), "totalSectors", 32 - 3, 4, false, false, true},
    RowSpec{TrNoop("VolumeParams", "磁盘总扇区数"), "totalSectors16", 19 - 3, 2, false, false, true},
    RowSpec{TrNoop("VolumeParams", "特殊隐含扇区数"), "hiddenSectors", 28 - 3, 4, false, false, true},
    RowSpec{TrNoop("VolumeParams", "OEM号"), "oemName", 3 - 3, 8, true, false, false},
    RowSpec{TrNoop("VolumeParams", "描述介质"), "media", 21 - 3, 1, false, false, false},
    RowSpec{TrNoop("VolumeParams", "磁头数"), "heads", 26 - 3, 2, false, false, false},
    RowSpec{TrNoop("VolumeParams", "每磁道扇区数"), "sectorsPerTrack", 24 - 3, 2, false, false, false},
    RowSpec{TrNoop("VolumeParams", "扩展引导签证"), "bootSignature", 38 - 3, 1, false, false, false},
    RowSpec{TrNoop("VolumeParams", "卷系列号"), "serialNumber", 39 - 3, 4, false, false, false},
    RowSpec{TrNoop("VolumeParams", "卷标号"), "volumeLabel", 43 - 3, 11, true, false, false},
    RowSpec{TrNoop("VolumeParams", "文件系统号"), "fileSystemType", 54 - 3, 8, true, false, false},
};

constexpr std::array kNtfsRows{
    RowSpec{TrNoop("VolumeParams", "每扇区字节数"), "bytesPerSector", 11, 2, false, true, false},
    RowSpec{TrNoop("VolumeParams", "每簇扇区数"), "sectorsPerCluster", 13, 1, false, true, false},
    RowSpec{TrNoop("VolumeParams", "扇区总数"), "totalSectors", 40, 8, false, true, false},
    RowSpec{TrNoop("VolumeParams", "主文件表的逻辑簇号"), "mftCluster", 48, 8, false, true, false},
};

// Offsets are index * 4 into the eight values of the EXT2 block.
constexpr std::array kExt2Rows{
    RowSpec{TrNoop("VolumeParams", "索引节点数"), "inodeCount", 0, 4, false, true, false},
    RowSpec{TrNoop("VolumeParams", "以块为单位的文件系统的大小"), "blockCount", 4, 4, false, true, false},
    RowSpec{TrNoop("VolumeParams", "块的大小"), "blockSizeCode", 8, 4, false, true, false},
    RowSpec{TrNoop("VolumeParams", "每组中的块数"), "blocksPerGroup", 16, 4, false, true, false},
    RowSpec{TrNoop("VolumeParams", "每组中的节点数"), "inodesPerGroup", 24, 4, false, true, false},
    RowSpec{TrNoop("VolumeParams", "第一个索引节点表的块号"), "inodeTableBlock", 28, 4, false, true, false},
};

// exFAT boot-sector offsets less 32: the NTFS block carries bytes 32..115.
constexpr std::array kExfatRows{
    RowSpec{TrNoop("VolumeParams", "每扇区字节数位移"), "bytesPerSectorShift", 108 - 32, 1, false, true, false},
    RowSpec{TrNoop("VolumeParams", "每簇扇区数位移"), "sectorsPerClusterShift", 109 - 32, 1, false, true, false},
    RowSpec{TrNoop("VolumeParams", "FAT偏移扇区数"), "fatOffset", 80 - 32, 4, false, true, false},
    RowSpec{TrNoop("VolumeParams", "每FAT扇区数"), "fatLength", 84 - 32, 4, false, true, false},
    RowSpec{TrNoop("VolumeParams", "簇堆偏移扇区数"), "clusterHeapOffset", 88 - 32, 4, false, true, false},
    RowSpec{TrNoop("VolumeParams", "簇数"), "clusterCount", 92 - 32, 4, false, true, false},
    RowSpec{TrNoop("VolumeParams", "根目录首簇号"), "rootCluster", 96 - 32, 4, false, true, false},
    RowSpec{TrNoop("VolumeParams", "FAT个数"), "fatCount", 110 - 32, 1, false, true, false},
    RowSpec{TrNoop("VolumeParams", "卷扇区总数"), "volumeLength", 72 - 32, 8, false, false, true},
    RowSpec{TrNoop("VolumeParams", "卷系列号"), "serialNumber", 100 - 32, 4, false, false, false},
};

std::span<const RowSpec> RowsOf(VirtualType type) {
    switch (type) {
        case VirtualType::Exfat: return kExfatRows;
        case VirtualType::Ntfs: return kNtfsRows;
        case VirtualType::Ext2: return kExt2Rows;
        default: return kFatRows;
    }
}

std::span<uint8_t> BlockOf(VirtualType type, VolumeParamBlocks& blocks) {
    switch (type) {
        case VirtualType::Exfat:
        case VirtualType::Ntfs: return blocks.ntfs;
        case VirtualType::Ext2: return blocks.ext2;
        default: return blocks.fat;
    }
}

uint64_t ReadField(ByteSpan block, const RowSpec& row) {
    switch (row.width) {
        case 1: return Le8(block, row.offset);
        case 2: return Le16(block, row.offset);
        case 4: return Le32(block, row.offset);
        default: return Le64(block, row.offset);
    }
}

void WriteField(std::span<uint8_t> block, const RowSpec& row, uint64_t value) {
    if (row.offset + size_t{row.width} > block.size()) return;
    for (uint8_t i = 0; i < row.width; ++i) block[row.offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

std::string ShowRow(ByteSpan block, const RowSpec& row) {
    if (row.text) {
        const ByteSpan bytes = Slice(block, row.offset, row.width);
        const auto* begin = reinterpret_cast<const char*>(bytes.data());
        const std::string_view raw(begin, strnlen(begin, bytes.size()));
        return SanitizeUtf8(GbkToUtf8(raw));
    }
    const uint64_t value = ReadField(block, row);
    // 32-bit values show signed as they always have; the 64-bit NTFS sizes
    // show whole, so that a volume past 2^31 sectors reads back right.
    if (row.width == 4) return Format("%d", static_cast<int32_t>(static_cast<uint32_t>(value)));
    return Format("%llu", static_cast<unsigned long long>(value));
}

// Decimal with an optional sign after leading blanks; anything else ends the
// number, and text without digits is 0. A negative value is kept in two's
// complement, so it sign-extends into any field width.
// fits: whether the value can be stored in a field of that width without
// being cut: 1- and 2-byte fields take 0 up to their largest value; the
// 32- and 64-bit ones also a negative value down to their signed least.
uint64_t ParseRowNumber(std::string_view text, uint8_t width, bool& fits) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    uint64_t value = 0;
    fits = true;
    // Ends at the first non-digit; a value past 64 bits does not fit anything.
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        const auto digit = static_cast<uint64_t>(text[i] - '0');
        if (value > (UINT64_MAX - digit) / 10) {
            fits = false;
            return 0;
        }
        value = value * 10 + digit;
    }
    const uint64_t most = width >= 8 ? UINT64_MAX : (uint64_t{1} << (8 * width)) - 1;
    if (negative && value != 0) fits = width >= 4 && value <= (uint64_t{1} << (8 * std::min<uint8_t>(width, 8) - 1));
    else fits = value <= most;
    return negative ? ~value + 1 : value;
}

std::string CheckFat(VirtualType type, ByteSpan b) {
    if (Le16(b, 11 - 3) == 0) return Tr("VolumeParams", "每扇区字节数错!");
    if (Le8(b, 13 - 3) == 0) return Tr("VolumeParams", "每簇扇区数错!");
    if (Le16(b, 14 - 3) == 0) return Tr("VolumeParams", "保留扇区数错!");
    if (Le8(b, 16 - 3) == 0) return Tr("VolumeParams", "FAT备份数错!");
    if (type != VirtualType::Fat32) {
        if (Le16(b, 17 - 3) == 0) return Tr("VolumeParams", "根目录项数错!");
        if (Le16(b, 22 - 3) == 0) return Tr("VolumeParams", "每FAT扇区数错!");
    } else if (Le16(b, 36 - 3) == 0) {
        return Tr("VolumeParams", "物理驱动器数错!");
    }
    return {};
}

std::string CheckNtfs(ByteSpan b) {
    if (Le16(b, 11) == 0) return Tr("VolumeParams", "每扇区字节数错!");
    if (Le8(b, 13) == 0) return Tr("VolumeParams", "每簇扇区数错!");
    if (Le64(b, 40) == 0) return Tr("VolumeParams", "总扇区数错!");
    if (Le64(b, 48) == 0) return Tr("VolumeParams", "主文件表的逻辑簇号错!");
    return {};
}

std::string CheckExfat(ByteSpan b) {
    const uint32_t sectorShift = Le8(b, 108 - 32), clusterShift = Le8(b, 109 - 32);
    if (sectorShift < 9 || sectorShift > 12) return Tr("VolumeParams", "每扇区字节数位移错!");
    if (clusterShift > 25 - sectorShift) return Tr("VolumeParams", "每簇扇区数位移错!");
    if (Le32(b, 80 - 32) == 0) return Tr("VolumeParams", "FAT偏移扇区数错!");
    if (Le32(b, 84 - 32) == 0) return Tr("VolumeParams", "每FAT扇区数错!");
    if (Le32(b, 88 - 32) == 0) return Tr("VolumeParams", "簇堆偏移扇区数错!");
    if (Le32(b, 92 - 32) == 0) return Tr("VolumeParams", "簇数错!");
    if (Le32(b, 96 - 32) < 2) return Tr("VolumeParams", "根目录首簇号错!");
    if (Le8(b, 110 - 32) != 1 && Le8(b, 110 - 32) != 2) return Tr("VolumeParams", "FAT个数错!");
    return {};
}

}  // namespace

const char* VirtualTypeName(VirtualType type) {
    static constexpr const char* kNames[kVirtualTypeCount] = {"FAT32", "FAT16", "FAT12", "NTFS", "EXT2", "EXFAT"};
    const int index = static_cast<int>(type);
    return index >= 0 && index < kVirtualTypeCount ? kNames[index] : "";
}

std::optional<VirtualType> VirtualTypeFromName(std::string_view name) {
    for (int i = 0; i < kVirtualTypeCount; ++i) {
        const std::string_view candidate = VirtualTypeName(static_cast<VirtualType>(i));
        if (candidate.size() == name.size() &&
            std::equal(name.begin(), name.end(), candidate.begin(),
                       [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) == b; }))
            return static_cast<VirtualType>(i);
    }
    return std::nullopt;
}

uint8_t PartitionTypeOf(VirtualType type) {
    switch (type) {
        case VirtualType::Fat32: return 0x0B;
        case VirtualType::Fat16: return 0x0E;
        case VirtualType::Fat12: return 0x01;
        case VirtualType::Ntfs: return 0x07;
        case VirtualType::Ext2: return 0x83;
        case VirtualType::Exfat: return kExfatTypeId;
    }
    return 0;
}

void FillParamBlocks(ByteSpan head, VolumeParamBlocks& blocks) {
    const ByteSpan fat = Slice(head, 3, blocks.fat.size());
    std::copy(fat.begin(), fat.end(), blocks.fat.begin());
    const bool exfat = Has(head, 3, 8) && std::memcmp(head.data() + 3, "EXFAT   ", 8) == 0;
    const ByteSpan ntfs = Slice(head, exfat ? 32 : 0, blocks.ntfs.size());
    std::fill(blocks.ntfs.begin(), blocks.ntfs.end(), 0);
    std::copy(ntfs.begin(), ntfs.end(), blocks.ntfs.begin());

    constexpr size_t kSuperblock = 1024;
    uint8_t* ext2 = blocks.ext2.data();
    // Superblock offsets of the first seven values, in block order.
    constexpr std::array<size_t, 7> kOffsets{0, 4, 24, 28, 32, 36, 40};
    for (size_t index = 0; index < kOffsets.size(); ++index)
        PutLe32(ext2 + index * 4, Le32(head, kSuperblock + kOffsets[index]));
    // The first group descriptor follows the superblock's block: byte 2048
    // for 1 KiB blocks, the second block for 2 and 4 KiB ones.
    const uint32_t code = Le32(head, kSuperblock + 24);
    if (code <= 2) {
        const size_t descriptor = code == 0 ? 2048 : size_t{1024} << code;
        PutLe32(ext2 + 7 * 4, Le32(head, descriptor + 8));
    }
}

std::vector<ParamRow> ParamRows(VirtualType type, const VolumeParamBlocks& blocks) {
    VolumeParamBlocks copy = blocks;
    const std::span<uint8_t> block = BlockOf(type, copy);
    std::vector<ParamRow> rows;
    for (const RowSpec& spec : RowsOf(type))
        rows.push_back({Tr("VolumeParams", spec.label), spec.field, ShowRow(ByteSpan(block.data(), block.size()), spec), spec.important});
    return rows;
}

std::string ReadBackRows(VirtualType type, const std::vector<std::string>& values, VolumeParamBlocks& blocks) {
    const std::span<uint8_t> block = BlockOf(type, blocks);
    const std::span<const RowSpec> rows = RowsOf(type);
    for (size_t i = 0; i < rows.size() && i < values.size(); ++i) {
        if (!(rows[i].important || rows[i].size) || rows[i].text) continue;
        bool fits = true;
        const uint64_t value = ParseRowNumber(values[i], rows[i].width, fits);
        // A value cut to its field would load a volume nobody typed in.
        if (!fits) return Format(Tr("VolumeParams", TrNoop("VolumeParams", "%s错!")), rows[i].label);
        WriteField(block, rows[i], value);
    }
    const ByteSpan bytes(block.data(), block.size());
    switch (type) {
        case VirtualType::Ntfs: return CheckNtfs(bytes);
        case VirtualType::Exfat: return CheckExfat(bytes);
        case VirtualType::Ext2: return {};
        default: return CheckFat(type, bytes);
    }
}

bool FillMissingSize(VirtualType type, uint64_t sectorsPastStart, VolumeParamBlocks& blocks) {
    const uint64_t bytes = sectorsPastStart * 512;
    if (type == VirtualType::Ext2) {
        const uint32_t code = Le32(blocks.ext2, 8);
        if (Le32(blocks.ext2, 4) != 0 || code >= 6) return false;
        PutLe32(blocks.ext2.data() + 4, static_cast<uint32_t>(std::min<uint64_t>(bytes / (1024u << code), UINT32_MAX)));
        return true;
    }
    if (type == VirtualType::Ntfs) return false;
    if (type == VirtualType::Exfat) {
        const uint32_t shift = Le8(blocks.ntfs, 108 - 32);
        if (Le64(blocks.ntfs, 72 - 32) != 0 || shift < 9 || shift > 12) return false;
        const uint64_t sectors = bytes >> shift;
        for (int i = 0; i < 8; ++i) blocks.ntfs[72 - 32 + i] = static_cast<uint8_t>(sectors >> (8 * i));
        return true;
    }
    const ByteSpan b(blocks.fat);
    if (Le16(b, 19 - 3) != 0 || Le32(b, 32 - 3) != 0) return false;
    uint32_t sectorBytes = Le16(b, 11 - 3);
    if (sectorBytes < 512 || sectorBytes % 512 != 0) sectorBytes = 512;
    PutLe32(blocks.fat.data() + (32 - 3), static_cast<uint32_t>(std::min<uint64_t>(bytes / sectorBytes, UINT32_MAX)));
    return true;
}

int OpenParamDevice(DiskDevice& device, const std::string& name) {
    device.SetName(name);
    device.SetReportErrors(0);
    return device.Open();
}

bool PreReadParams(DiskDevice& device, uint64_t startSector, VolumeParamBlocks& blocks) {
    std::vector<uint8_t> head(kPreReadBytes);
    if (!device.Read(head.data(), kPreReadBytes, startSector)) return false;
    FillParamBlocks(ByteSpan(head), blocks);
    return true;
}

std::vector<uint64_t> FindFatMarkers(DiskDevice& device, uint64_t startSector) {
    constexpr uint64_t kBlockSectors = 128;
    const uint64_t deviceSectors = device.SizeBytes() / 512;
    std::vector<uint8_t> block(kBlockSectors * 512);
    std::vector<uint64_t> found;
    // Offsets 0, 128, … while below 50000: 391 blocks, 50,048 sectors.
    for (uint64_t offset = 0; offset < 50000; offset += kBlockSectors) {
        const uint64_t first = startSector + offset;
        uint64_t count = kBlockSectors;
        if (deviceSectors != 0) {
            if (first >= deviceSectors) break;
            count = std::min(count, deviceSectors - first);
        }
        if (!device.Read(block.data(), static_cast<uint32_t>(count * 512), first)) continue;
        for (uint64_t i = 0; i < count; ++i)
            if (block[i * 512] == 0xF8) found.push_back(first + i);
    }
    return found;
}

std::string FatMarkerLabel(size_t index) { return Format("FAT(F8) %zu", index); }

}  // namespace delvora
