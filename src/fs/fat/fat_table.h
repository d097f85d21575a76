#pragma once
// The first FAT of a volume: which cluster follows which. Only the entries
// of clusters the volume has are ever read. A FAT of up to kWholeFatBytes
// sits in memory whole during the tree load, so that the directory walk
// makes no FAT reads; a larger one, and every FAT after the load, is read
// on demand through a few windows kept in least-recently-used order.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/reporting.h"
#include "fs/fat/fat_medium.h"

namespace delvora {

class FatTable {
public:
    /// Largest FAT read whole for the load (8 M FAT32 entries).
    static constexpr uint64_t kWholeFatBytes = 32u << 20;
    /// Bytes of one window and how many windows are kept.
    static constexpr uint32_t kWindowBytes = 256u << 10;
    static constexpr size_t kWindows = 8;

    void SetKind(int kind) { m_nKind = kind; }
    int Kind() const { return m_nKind; }
    /// Where the FAT is: its first volume sector on the medium, and how many
    /// of its bytes are worth reading (the entries of the volume's clusters,
    /// never past the FAT itself). Drops whatever was held. log (may be
    /// null) takes the lines of unreadable FAT sectors.
    void Attach(const FatMedium& medium, uint64_t firstSector, uint64_t usefulBytes, Log* log);
    /// Reads the same FAT through another medium from now on (the volume
    /// was moved); drops whatever was held.
    void MoveMedium(const FatMedium& medium) {
        m_medium = medium;
        ReleaseAllBuffer();
    }

    /// Reads the FAT whole when it is at most kWholeFatBytes; an unreadable
    /// stretch is zero-filled and logged ("Read FAT Error %d", its first FAT
    /// sector). A larger FAT stays windowed. False when there is no FAT to
    /// read or memory fails.
    bool ReadAllBuffer();
    /// Drops the whole FAT and the windows; lookups then go through windows.
    void ReleaseAllBuffer();
    bool HasAllBuffer() const { return m_bAllBuffer; }
    /// Bytes of FAT held in memory now, whole or in windows.
    size_t HeldBytes() const;

    /// The FAT entry of cluster n (FAT32 unmasked), or 0 when it cannot be had.
    uint32_t NextCluster(uint32_t n);
    /// The cluster after n in a chain: the entry, FAT32's top four bits
    /// (reserved) left out.
    uint32_t NextInChain(uint32_t n) { return m_nKind == 3 ? NextCluster(n) & 0x0FFFFFFF : NextCluster(n); }

    /// Serves the FAT from memory (tests, fuzzing): the whole-FAT mode
    /// without a medium.
    void SetAllBuffer(std::vector<uint8_t> fat);

private:
    struct Window {
        uint64_t index = 0;
        uint64_t lastUse = 0;
        std::vector<uint8_t> bytes;
    };
    /// The window holding byte `offset` of the FAT, read when missing; null
    /// when memory fails.
    const Window* WindowAt(uint64_t offset);
    /// Reads FAT bytes [offset, offset + count) from the medium into dest,
    /// zero-filling and logging what cannot be read.
    void ReadFatBytes(uint64_t offset, uint8_t* dest, size_t count);
    uint32_t Decode(const uint8_t* p, uint32_t n) const;

    FatMedium m_medium;
    uint64_t m_nFirstSector = 0;
    uint64_t m_nUsefulBytes = 0;
    Log* m_pLog = nullptr;
    std::vector<uint8_t> m_allBuffer;
    std::vector<Window> m_windows;
    uint64_t m_nUseTick = 0;
    int m_nKind = 0;
    bool m_bAllBuffer = false;
};

}  // namespace delvora
