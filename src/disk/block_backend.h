#pragma once
// Where a DiskDevice's bytes come from: a file descriptor on a block device
// or image, an NBD export, or a test double that fails chosen sectors.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace delvora {

class BlockBackend {
public:
    virtual ~BlockBackend() = default;
    /// Reads exactly count bytes at a byte offset. Answers 0, or an errno
    /// value; a short read is a failure (EIO).
    virtual int ReadAt(uint8_t* buffer, size_t count, uint64_t offset) = 0;
    /// Bytes the backend holds; 0 when unknown.
    virtual uint64_t Size() const { return 0; }
    /// A descriptor the bytes can be memory-mapped from, or -1.
    virtual int MappableFd() const { return -1; }
    /// Bytes per logical sector the medium records (an E01's, a VHDX's);
    /// 0 when it does not say.
    virtual uint32_t LogicalSectorSize() const { return 0; }
    /// True when Prefetch pays: reads wait for a network round trip each.
    virtual bool TakesPrefetch() const { return false; }
    /// A hint that [offset, offset + count) will be read soon; it changes no
    /// read's result.
    virtual void Prefetch(uint64_t offset, size_t count) {
        (void)offset;
        (void)count;
    }
    /// Moves count bytes from a byte offset straight to outFd in the kernel,
    /// when the bytes lie as they are in a file or device and wholly inside
    /// it. Answers the bytes moved: 0 from backends that cannot, fewer than
    /// count when a transfer stopped (the caller reads the rest).
    virtual uint64_t SendTo(int outFd, uint64_t offset, uint64_t count) {
        (void)outFd, (void)offset, (void)count;
        return 0;
    }
};

/// A read-only file descriptor (examined media are never opened for writing).
class FdBackend final : public BlockBackend {
public:
    /// Opens path read-only; on failure answers null and sets error to errno.
    static std::unique_ptr<FdBackend> Open(const std::string& path, int& error);
    ~FdBackend() override;
    int ReadAt(uint8_t* buffer, size_t count, uint64_t offset) override;
    /// Size in bytes of the file or block device; 0 when unknown.
    uint64_t Size() const override;
    /// BLKSSZGET of a block device; 0 for a file.
    uint32_t LogicalSectorSize() const override;
    int MappableFd() const override { return m_fd; }
    uint64_t SendTo(int outFd, uint64_t offset, uint64_t count) override;

private:
    explicit FdBackend(int fd) : m_fd(fd) {}
    int m_fd;
};

/// Bytes held in memory (fuzzers feed their input this way); a read past
/// the end fails as on a short image. The bytes must outlive the backend.
class BytesBackend final : public BlockBackend {
public:
    BytesBackend(const uint8_t* data, size_t size) : m_pData(data), m_nSize(size) {}
    int ReadAt(uint8_t* buffer, size_t count, uint64_t offset) override;
    uint64_t Size() const override { return m_nSize; }

private:
    const uint8_t* m_pData;
    size_t m_nSize;
};

/// strerror_r text of an errno value.
std::string ErrnoText(int error);

}  // namespace delvora
