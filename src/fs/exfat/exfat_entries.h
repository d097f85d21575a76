#pragma once
// exFAT directory entries (32 bytes each): the file entry sets (a file
// entry, its stream extension and name entries) with their set checksum,
// and the volume's own entries (allocation bitmap, up-case table, label).
// Pure functions over a directory's bytes: the medium is read elsewhere.
#include <cstdint>
#include <functional>

#include "common/bytes.h"

namespace delvora {

inline constexpr size_t kExfatEntryBytes = 32;
inline constexpr uint8_t kExfatEndOfDirectory = 0x00;
inline constexpr uint8_t kExfatBitmapEntry = 0x81;
inline constexpr uint8_t kExfatUpcaseEntry = 0x82;
inline constexpr uint8_t kExfatLabelEntry = 0x83;
inline constexpr uint8_t kExfatFileEntry = 0x85;
inline constexpr uint8_t kExfatStreamEntry = 0xC0;
inline constexpr uint8_t kExfatNameEntry = 0xC1;
inline constexpr uint8_t kExfatInUse = 0x80;
/// Stream flag: the data is one run of clusters, the FAT holds no chain.
inline constexpr uint8_t kExfatNoFatChain = 0x02;
/// A set holds a stream and at most seventeen name entries (255 units).
inline constexpr uint32_t kExfatMaxSecondary = 18;
inline constexpr uint32_t kExfatMaxNameUnits = 255;

/// One file entry set as decoded from a directory.
struct ExfatEntrySet {
    size_t offset = 0;       // byte offset of the file entry in the buffer
    uint32_t entries = 0;    // entries the set takes, the file entry included
    bool inUse = true;
    uint16_t attributes = 0;
    uint32_t created = 0, modified = 0, accessed = 0;  // DOS date << 16 | DOS time
    uint8_t created10ms = 0, modified10ms = 0;
    uint8_t createdUtcOffset = 0, modifiedUtcOffset = 0, accessedUtcOffset = 0;
    uint8_t streamFlags = 0;
    uint32_t firstCluster = 0;
    uint64_t validLength = 0;
    uint64_t dataLength = 0;
    uint32_t nameUnits = 0;
    uint16_t name[kExfatMaxNameUnits] = {};

    bool IsDirectory() const { return attributes & 0x10; }
    bool NoFatChain() const { return streamFlags & kExfatNoFatChain; }
};

/// Why a run of entries that starts with a file entry was not taken.
enum class ExfatSetFault {
    None,
    BadChecksum,   // the set checksum does not match its bytes
    BadCount,      // secondary count outside 2..18, or past the buffer
    NoStream,      // the first secondary is no stream extension
    BadName,       // name length 0, or name entries missing
};

/// The 16-bit set checksum over count entries from bytes[0], bytes 2 and 3
/// (the checksum itself) left out. The in-use bit of every entry type is
/// counted as set, so a deleted set checks against the value it was
/// written with.
uint16_t ExfatSetChecksum(ByteSpan entries, uint32_t count);

/// Decodes the set whose file entry is at offset. Deleted sets (file entry
/// 0x05) are taken only when every entry of them is deleted too. The
/// answer is None with set filled, or the fault.
ExfatSetFault DecodeExfatSet(ByteSpan directory, size_t offset, ExfatEntrySet& set);

/// What a walk over one directory's bytes met.
struct ExfatDirectoryVisitor {
    /// A decoded set, live or deleted; answer false to stop the walk.
    std::function<bool(const ExfatEntrySet&)> onSet;
    /// A file entry whose set was rejected (offset of the file entry).
    std::function<void(size_t, ExfatSetFault)> onFault;
    /// A volume entry of the root (bitmap, up-case table, label): its bytes.
    std::function<void(uint8_t, ByteSpan)> onVolumeEntry;
};

/// Walks a directory's entries in order up to the end-of-directory entry.
/// A rejected set costs one entry: the walk resumes right after its file
/// entry, so one damaged set hides nothing that follows it.
void WalkExfatDirectory(ByteSpan directory, const ExfatDirectoryVisitor& visitor);

/// The 16-bit name hash over the up-cased name's bytes.
uint16_t ExfatNameHash(const uint16_t* upcasedName, uint32_t units);

/// The 32-bit checksum of the up-case table's bytes.
uint32_t ExfatTableChecksum(ByteSpan bytes);

}  // namespace delvora
