#pragma once
// Small in-test builders for NTFS bytes: attributes, MFT records with their
// update-sequence array, attribute lists, and whole volumes (any sector and
// record size) whose MFT may be fragmented.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "disk/data_source.h"
#include "fs/ntfs/ntfs_volume.h"
#include "support/recorders.h"

namespace delvora::test {

using Bytes = std::vector<uint8_t>;

/// 2021-06-01 12:34:56 UTC as a FILETIME.
inline constexpr uint64_t kSampleFileTime = 132670244960000000ull;
/// The first cluster of a hole in EncodeRuns.
inline constexpr uint64_t kHole = UINT64_MAX;

/// $STANDARD_INFORMATION with all four times set to time, or each its own.
Bytes StandardInformation(uint64_t time = kSampleFileTime);
Bytes StandardInformation(const ItemTimes& times);
Bytes FileNameAttribute(uint32_t parent, const std::u16string& name, uint8_t nameSpace = 1,
                        uint64_t time = kSampleFileTime);
Bytes ResidentData(const Bytes& content);
/// A non-resident $DATA piece starting at firstVcn; sizes are those of the
/// whole data (a writer leaves them 0 in later pieces). initialized defaults
/// to realSize.
Bytes NonResidentData(const Bytes& runList, uint64_t realSize, uint64_t firstVcn = 0,
                      uint64_t initialized = UINT64_MAX);

/// One entry of an attribute list: an attribute of a type (unnamed) starting
/// at firstVcn, held in a record.
struct ListEntry {
    uint32_t type = 0;
    uint64_t record = 0;
    uint64_t firstVcn = 0;
};
Bytes AttributeListBytes(const std::vector<ListEntry>& entries);
Bytes ResidentAttributeList(const std::vector<ListEntry>& entries);

/// A record of the given size: header, attributes from 0x38, end marker,
/// a base reference (non-zero for an extension record), and a fix-up array
/// of 512-byte strides (sequence 1) unless withFixup is false.
Bytes MakeRecord(uint16_t flags, const std::vector<Bytes>& attributes, uint32_t recordBytes = 1024,
                 bool withFixup = true, uint64_t baseRecord = 0);

/// Run-list bytes for {first cluster, count} runs (first kHole for a hole),
/// ending with a 0 header.
Bytes EncodeRuns(const std::vector<std::pair<uint64_t, uint64_t>>& runs);

/// A volume with the MFT in the given cluster runs. Records 0 (the MFT's
/// own, describing the runs) and 5 (the root folder, named "." under itself)
/// are made unless set.
struct NtfsImage {
    uint32_t bytesPerSector = 512;
    uint32_t sectorsPerCluster = 8;   // in the volume's own sectors
    uint32_t recordBytes = 1024;
    uint64_t totalSectors = 4096;     // in the volume's own sectors
    std::vector<std::pair<uint64_t, uint64_t>> mftRuns{{4, 4}};
    std::vector<std::pair<uint32_t, Bytes>> records;  // record number, bytes
    std::vector<std::pair<uint64_t, Bytes>> data;     // byte offset, bytes

    uint32_t ClusterBytes() const { return sectorsPerCluster * bytesPerSector; }
    void SetRecord(uint32_t number, Bytes bytes) { records.emplace_back(number, std::move(bytes)); }
    Bytes Build() const;
};

/// A loaded volume with its source and a recording context.
struct LoadedNtfs {
    RecordingContext rc;
    DataSource source{rc.context};
    NtfsVolume volume;
    Bytes image;  // the bytes an in-memory source reads
    bool prepared = false;
    bool loaded = false;
};

/// Opens path as a device source and runs Prepare and LoadTree.
std::unique_ptr<LoadedNtfs> LoadNtfs(const std::string& path, uint32_t startSector = 0);
/// The same over image bytes held in memory.
std::unique_ptr<LoadedNtfs> LoadNtfsBytes(Bytes image);

/// The child of folder with a name, or null.
FileItem* ChildNamed(FileItem* folder, const std::string& name);

}  // namespace delvora::test
