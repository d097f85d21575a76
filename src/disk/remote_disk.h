#pragma once
// The interface of a disk service on another machine. The NBD client
// implements it; tests use a fake. Statuses follow the usual convention:
// negative is a failure.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace delvora {

class RemoteDisk {
public:
    virtual ~RemoteDisk() = default;

    /// Opens a device of the remote machine by name with a sector size.
    virtual int32_t Open(const std::u16string& deviceName, uint32_t sectorSize) = 0;
    /// Reads count bytes from a sector; fills data with what arrived.
    virtual int32_t Read(uint64_t sector, uint32_t count, std::vector<uint8_t>& data) = 0;
    /// Reads exactly count bytes into buffer; a short delivery is a failure.
    /// Services that can fill the buffer in place save a copy.
    virtual int32_t ReadInto(uint64_t sector, uint32_t count, uint8_t* buffer) {
        std::vector<uint8_t> data;
        const int32_t status = Read(sector, count, data);
        if (status < 0) return status;
        if (data.size() != count) return -1;
        std::copy(data.begin(), data.end(), buffer);
        return status;
    }
    /// Why the last Open or read failed; empty when the service cannot say.
    virtual std::string LastErrorText() const { return {}; }
    /// Bytes of the opened device; 0 when the service does not say.
    virtual uint64_t SizeBytes() const { return 0; }
    /// Whether the service fetches hinted ranges ahead (see Prefetch).
    virtual bool TakesPrefetch() const { return false; }
    /// A hint that count bytes from a sector will be read soon; a service
    /// may start fetching them. Changes no read's result.
    virtual void Prefetch(uint64_t sector, uint32_t count) {
        (void)sector;
        (void)count;
    }

    // Scan support: which drives the remote machine has.
    virtual int32_t AddRef() { return 0; }
    virtual int32_t Release() { return 0; }
    virtual int32_t SetCheckInfo(int32_t floppy, int32_t partitions, int32_t wholeDisks) = 0;
    /// Ten bytes: [0] floppy present, [1..4] PHYSICALDRIVE0..3 present.
    virtual int32_t GetHardInfo(uint8_t info[10]) = 0;
    /// Bit n set when drive 'A' + n exists on the remote machine.
    virtual int32_t GetLogicalDrive(uint32_t& mask) = 0;

    /// A connection of its own to the same machine, for a data item that
    /// keeps reading one device while others are opened elsewhere; null
    /// when the service serves every caller through this one object.
    virtual std::shared_ptr<RemoteDisk> NewSession() { return nullptr; }
};

}  // namespace delvora
