#pragma once
// A raw device read by whole sectors, with a piece-by-piece retry that
// zero-fills what cannot be read. Opened read-only, always.
#include <cstdint>
#include <memory>
#include <string>

#include "common/reporting.h"
#include "disk/block_backend.h"

namespace delvora {

class DiskDevice {
public:
    explicit DiskDevice(const CoreContext& context = DefaultContext()) : m_pContext(&context) {}
    virtual ~DiskDevice() = default;
    DiskDevice(const DiskDevice&) = delete;
    DiskDevice& operator=(const DiskDevice&) = delete;

    void SetName(const std::string& name) { m_strName = name; }
    const std::string& Name() const { return m_strName; }
    void SetSectorSize(uint32_t bytes) { m_dwSectorSize = bytes; }
    uint32_t SectorSize() const { return m_dwSectorSize; }
    int SetReportErrors(int report) { return m_bReportErrors = report; }
    int ReportErrors() const { return m_bReportErrors; }
    void SetContext(const CoreContext& context) { m_pContext = &context; }

    /// Checks the name, resolves it through the device map and opens it
    /// read-only. Answers 1 or 0.
    int Open();
    /// Uses a ready backend instead of resolving the name (image files, NBD,
    /// tests); sizeBytes is what it holds (0: what the backend says).
    int OpenWithBackend(std::unique_ptr<BlockBackend> backend, uint64_t sizeBytes = 0);
    /// Reads count bytes starting at a sector. On failure the buffer is
    /// zero-filled and, for more than one 512-byte piece, re-read piece by
    /// piece; answers 1 when anything was read.
    int Read(uint8_t* buffer, uint32_t count, uint64_t sector);
    /// Whether the backend fetches hinted ranges ahead.
    bool TakesPrefetch() const { return m_pBackend && m_pBackend->TakesPrefetch(); }
    /// Passes a hint that Read(count, sector) follows soon to the backend.
    void Prefetch(uint32_t count, uint64_t sector) {
        if (m_pBackend && sector <= UINT64_MAX / m_dwSectorSize)
            m_pBackend->Prefetch(uint64_t{m_dwSectorSize} * sector, count);
    }
    int Close();
    int IsOpen() const { return m_bOpened; }
    /// System text of the last failed open or read.
    const std::string& LastErrorText() const { return m_strLastError; }
    /// Size of the opened device in bytes; 0 when unknown.
    uint64_t SizeBytes() const { return m_nSizeBytes; }
    /// The logical sector size the opened medium reports; 0 when none.
    uint32_t ReportedSectorSize() const { return m_pBackend ? m_pBackend->LogicalSectorSize() : 0; }
    /// The backend's descriptor for a memory map, or -1.
    int MappableFd() const { return m_pBackend ? m_pBackend->MappableFd() : -1; }
    /// BlockBackend::SendTo of the opened backend at a byte offset; 0 when closed.
    uint64_t SendTo(int outFd, uint64_t offset, uint64_t count) {
        return m_bOpened && m_pBackend ? m_pBackend->SendTo(outFd, offset, count) : 0;
    }

private:
    int ReadAtOffset(uint8_t* buffer, uint32_t count, uint64_t offset, int& error);

    const CoreContext* m_pContext;
    std::unique_ptr<BlockBackend> m_pBackend;
    int m_bOpened = 0;
    int m_bReportErrors = 0;
    uint32_t m_dwSectorSize = 512;
    std::string m_strName;
    std::string m_strLastError;
    uint64_t m_nSizeBytes = 0;
};

}  // namespace delvora
