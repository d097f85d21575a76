#pragma once
// The source of one data item: a device, an image file or a remote disk,
// with the boot parameters of the volume found on it. Volumes read every
// sector through GetData.
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "common/archive.h"
#include "common/reporting.h"
#include "disk/block_backend.h"
#include "disk/disk_device.h"
#include "disk/remote_disk.h"

namespace delvora {

enum class SourceKind : uint8_t { Device = 2, ImageFile = 3, Remote = 4 };

/// Boot-sector bytes 3..61 of a FAT volume, as on disk.
using FatBootParams = std::array<uint8_t, 59>;
/// Boot-sector bytes 0..83 of an NTFS volume, as on disk.
using NtfsBootParams = std::array<uint8_t, 84>;
/// Eight little-endian 32-bit values typed in for an EXT2 virtual volume.
using Ext2Params = std::array<uint8_t, 32>;

class DataSource {
public:
    explicit DataSource(const CoreContext& context = DefaultContext());
    virtual ~DataSource();
    DataSource(const DataSource&) = delete;
    DataSource& operator=(const DataSource&) = delete;

    void SetKind(SourceKind kind) { m_kind = kind; }
    SourceKind Kind() const { return m_kind; }
    int IsLocal() const { return m_kind != SourceKind::Remote; }
    void SetPath(const std::string& path);
    const std::string& Path() const { return m_strPath; }
    int SetRemote(std::shared_ptr<RemoteDisk> remote);
    const std::shared_ptr<RemoteDisk>& Remote() const { return m_pRemote; }
    const CoreContext& Context() const { return *m_pContext; }

    int Open();
    /// Opens over a ready backend (an in-memory image for fuzzers and
    /// tests): reads then go through the same retry layer as any source.
    int OpenWithBackend(std::unique_ptr<BlockBackend> backend);
    int Close();
    int IsOpen() const { return m_bIsOpen; }
    /// Reads count bytes from a sector (512-byte sectors). Answers 1 or 0.
    /// Every kind reads through one DiskDevice, so a failed read is retried
    /// piece by piece and zero-filled the same way for devices, images and
    /// remote disks.
    int GetData(uint8_t* buffer, uint32_t count, uint64_t sector);
    /// Whether Prefetch pays (a remote disk): callers skip working out hints
    /// otherwise.
    bool TakesPrefetch() const;
    /// Says that GetData(count, sector) will follow soon, so a remote source
    /// can fetch several such ranges in one round trip. Only a hint: every
    /// read answers as it would without it.
    void Prefetch(uint32_t count, uint64_t sector);
    void SetReportErrors(int report);

    int ReadFat_BPB(uint64_t firstSector);
    int ReadNtfs_BPB(uint64_t firstSector);
    void SetFat_BPB(const FatBootParams& params);
    void SetNtfs_BPB(const NtfsBootParams& params);
    void SetExt2_Param(const Ext2Params& params);
    const FatBootParams& GetFat_BPB() const { return m_fatBootParams; }
    const NtfsBootParams& GetNtfs_BPB() const { return m_ntfsBootParams; }
    const Ext2Params& GetExt2_Param() const { return m_ext2Params; }
    int HasFixedParams() const { return m_bFixedParams; }

    /// Writes kind and path.
    void Save(ArchiveWriter& archive) const;
    /// Reads kind and path and opens the source; answers the open's result
    /// (0 also when the record is cut short).
    int Load(ArchiveReader& archive);

    /// Size of the opened device or image in bytes; 0 when unknown.
    uint64_t SizeBytes() const;
    /// The logical sector size the opened device reports (BLKSSZGET); 0
    /// for files and remote disks, whose size the partition table decides.
    uint32_t ReportedSectorSize() const { return m_bIsOpen ? m_device.ReportedSectorSize() : 0; }
    /// A descriptor of the opened image the bytes can be mapped from; -1 for
    /// remote sources and anything read through another backend.
    int MappableFd() const { return m_bIsOpen ? m_device.MappableFd() : -1; }
    /// Moves count bytes from a byte offset (512 × a GetData sector) to outFd
    /// without reading them into this process; answers the bytes moved, which
    /// are fewer than count (0 for sources that cannot) when the caller must
    /// read the rest through GetData. Nothing is filled or noted here.
    uint64_t SendBytes(int outFd, uint64_t offset, uint64_t count);
    /// Bytes per sector number of GetData.
    uint32_t SectorSize() const { return m_device.SectorSize(); }
    /// Text of the last failure to open or read, for the command line.
    std::string LastErrorText() const;

private:
    const CoreContext* m_pContext;
    std::shared_ptr<RemoteDisk> m_pRemote;
    SourceKind m_kind = SourceKind::Device;
    DiskDevice m_device;
    std::string m_strPath;
    std::string m_strOpenError;
    int m_bIsOpen = 0;
    FatBootParams m_fatBootParams{};
    NtfsBootParams m_ntfsBootParams{};
    Ext2Params m_ext2Params{};
    int m_bFixedParams = 0;
};

}  // namespace delvora
