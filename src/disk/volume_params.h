#pragma once
// Boot parameters typed in by hand: a volume the partition table does not
// offer, or whose boot sector is destroyed, is described by its start, its
// type and the values of its boot sector or superblock (a virtual volume).
// The values are shown and edited as rows; the rows go back into the
// parameter blocks a data source takes in place of what the disk holds.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"
#include "disk/data_source.h"
#include "disk/disk_device.h"

namespace delvora {

enum class VirtualType : int { Fat32 = 0, Fat16 = 1, Fat12 = 2, Ntfs = 3, Ext2 = 4, Exfat = 5 };
inline constexpr int kVirtualTypeCount = 6;

/// "FAT32", "FAT16", "FAT12", "NTFS", "EXT2", "EXFAT".
const char* VirtualTypeName(VirtualType type);
/// The type named (any letter case), if any.
std::optional<VirtualType> VirtualTypeFromName(std::string_view name);
/// The partition type byte the data item gets for a type.
uint8_t PartitionTypeOf(VirtualType type);

struct VolumeParamBlocks {
    FatBootParams fat{};
    NtfsBootParams ntfs{};
    Ext2Params ext2{};
};

/// Bytes read at the start sector by a pre-read.
inline constexpr uint32_t kPreReadBytes = 8192;

/// Fills the three blocks from the first bytes of a volume: FAT boot bytes
/// 3..61, NTFS boot bytes 0..83, the EXT2 superblock values and the first
/// group descriptor's inode table (left as it was for blocks above 4 KiB).
/// An exFAT volume has no NTFS values: its NTFS block carries the exFAT
/// boot bytes 32..115 instead (so its case-file entry and its source take
/// them where NTFS's would go), filled so when the head names "EXFAT   ".
void FillParamBlocks(ByteSpan head, VolumeParamBlocks& blocks);

struct ParamRow {
    std::string label;       // as the examiner reads it
    std::string field;       // the English name the command line also takes
    std::string value;       // as shown
    bool important = false;  // read back on finishing ("*")
};

/// The rows shown for a type, values from the blocks.
std::vector<ParamRow> ParamRows(VirtualType type, const VolumeParamBlocks& blocks);

/// Writes the edited row values of a type back into the blocks (the starred
/// rows and the size rows; text that is not a number gives 0) and checks
/// them in order. Answers the first failed check's message, or empty.
/// values holds one text per row of ParamRows, in its order.
std::string ReadBackRows(VirtualType type, const std::vector<std::string>& values, VolumeParamBlocks& blocks);

/// A size still 0 after editing (FAT total sectors, EXT2 block count) is
/// taken from the source's sectors past the start (512-byte units). Answers
/// true when it filled one.
bool FillMissingSize(VirtualType type, uint64_t sectorsPastStart, VolumeParamBlocks& blocks);

/// Opens a device or image by name with errors unreported. Answers 1 or 0.
int OpenParamDevice(DiskDevice& device, const std::string& name);

/// Reads kPreReadBytes at the start and fills the blocks. Answers false when
/// the read fails (the blocks are left as they were).
bool PreReadParams(DiskDevice& device, uint64_t startSector, VolumeParamBlocks& blocks);

/// Sectors examined by the marker search from its start.
inline constexpr uint64_t kMarkerSearchSectors = 50048;

/// Sectors in [start, start + 50048) whose first byte is 0xF8, the hard-disk
/// media descriptor a FAT begins with; never past the end of the device.
std::vector<uint64_t> FindFatMarkers(DiskDevice& device, uint64_t startSector);

/// The row label of a marker: "FAT(F8) %d".
std::string FatMarkerLabel(size_t index);

}  // namespace delvora
