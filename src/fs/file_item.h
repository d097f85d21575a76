#pragma once
// One folder or file of a loaded volume, live, deleted or found by a search.
// Records are fixed-size; a folder's children are one contiguous array that
// the folder owns, and names live in the process-wide NamePool.
#include <cstdint>

namespace delvora {

class ClusterRunList;

namespace item_flags {
inline constexpr uint8_t kDeleted = 0x01;
inline constexpr uint8_t kDirectory = 0x02;
inline constexpr uint8_t kWideAddress = 0x04;  // startCluster and link hold one 64-bit address
inline constexpr uint8_t kCurrent = 0x08;      // the item selected in the case
inline constexpr uint8_t kInRecord = 0x10;     // NTFS data held inside its record
inline constexpr uint8_t kVolumePosition = 0x20;
inline constexpr uint8_t kPlaced = 0x40;
inline constexpr uint8_t kFound = 0x80;        // made by a search or carving
}  // namespace item_flags

// FAT directory-entry attribute bits (the NTFS loader stores its low four).
namespace item_attributes {
inline constexpr uint8_t kReadOnly = 0x01;
inline constexpr uint8_t kHidden = 0x02;
inline constexpr uint8_t kSystem = 0x04;
inline constexpr uint8_t kVolumeLabel = 0x08;
inline constexpr uint8_t kDirectory = 0x10;
inline constexpr uint8_t kArchive = 0x20;
}  // namespace item_attributes

// Fields are ordered for alignment (64 bytes a record); childCount is 32-bit
// so that a folder with more than 65,535 entries is not cut short.
struct FileItem {
    const char* name = nullptr;           // UTF-8, NUL-terminated, in the NamePool
    ClusterRunList* runs = nullptr;       // explicit data runs of found items; owned by the tree
    FileItem* children = nullptr;         // childCount records, owned by this item
    FileItem* parent = nullptr;           // null for the two top-level items
    uint64_t size = 0;                    // bytes
    uint32_t childCount = 0;
    uint32_t startCluster = 0;            // first cluster, record or inode; see Address()
    uint32_t link = 0;                    // EXT2: 1 + index of its first data block; FAT: 0x100 | creation 10-ms byte
    uint16_t createTime = 0;              // DOS time
    uint16_t createDate = 0;              // DOS date
    uint16_t accessDate = 0;
    uint16_t writeTime = 0;
    uint16_t writeDate = 0;
    uint8_t flags = 0;
    uint8_t attributes = 0;

    bool IsDeleted() const { return flags & item_flags::kDeleted; }
    bool IsDirectory() const { return flags & item_flags::kDirectory; }
    bool IsFound() const { return flags & item_flags::kFound; }
    /// Where the item was read from: its first cluster (FAT), record (NTFS)
    /// or inode (EXT2); for records found by a search and carved items, whose
    /// record slot or first sector needs 64 bits on a large volume, the
    /// address kept across startCluster (low half) and link (high half),
    /// which such items use for nothing else.
    uint64_t Address() const {
        return flags & item_flags::kWideAddress ? (uint64_t{link} << 32 | startCluster) : startCluster;
    }
    void SetWideAddress(uint64_t address) {
        flags |= item_flags::kWideAddress;
        startCluster = static_cast<uint32_t>(address);
        link = static_cast<uint32_t>(address >> 32);
    }
};

}  // namespace delvora
