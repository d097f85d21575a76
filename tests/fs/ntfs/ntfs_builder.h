#pragma once
// Small in-test builders for NTFS bytes: attributes, MFT records with their
// update-sequence array, and whole volumes whose MFT may be fragmented.
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

Bytes StandardInformation();
Bytes FileNameAttribute(uint32_t parent, const std::u16string& name, uint8_t nameSpace = 1,
                        uint64_t time = kSampleFileTime);
Bytes ResidentData(const Bytes& content);
Bytes NonResidentData(const Bytes& runList, uint64_t realSize);

/// A record of the given size: header, attributes from 0x38, end marker,
/// and a fix-up array (sequence 1) unless withFixup is false.
Bytes MakeRecord(uint16_t flags, const std::vector<Bytes>& attributes, uint32_t recordBytes = 1024,
                 bool withFixup = true);

/// Run-list bytes for {first cluster, count} runs, ending with a 0 header.
Bytes EncodeRuns(const std::vector<std::pair<uint32_t, uint32_t>>& runs);

/// A volume of 512-byte sectors with the MFT in the given cluster runs.
/// Records 0 (the MFT's own, describing the runs) and 5 (the root folder,
/// named "." under itself) are made unless set.
struct NtfsImage {
    uint32_t sectorsPerCluster = 8;
    uint64_t totalSectors = 4096;
    std::vector<std::pair<uint32_t, uint32_t>> mftRuns{{4, 4}};
    std::vector<std::pair<uint32_t, Bytes>> records;  // record number, bytes
    std::vector<std::pair<uint64_t, Bytes>> data;     // byte offset, bytes

    uint32_t ClusterBytes() const { return sectorsPerCluster * 512; }
    void SetRecord(uint32_t number, Bytes bytes) { records.emplace_back(number, std::move(bytes)); }
    Bytes Build() const;
};

/// A volume loaded from an image file, with its source and a recording context.
struct LoadedNtfs {
    RecordingContext rc;
    DataSource source{rc.context};
    NtfsVolume volume;
    bool prepared = false;
    bool loaded = false;
};

/// Opens path as a device source and runs Prepare and LoadTree.
std::unique_ptr<LoadedNtfs> LoadNtfs(const std::string& path, uint32_t startSector = 0);

/// The child of folder with a name, or null.
FileItem* ChildNamed(FileItem* folder, const std::string& name);

}  // namespace delvora::test
