#pragma once
// The interface of a disk service on another machine. The NBD client
// implements it; tests use a fake. Statuses follow the usual convention:
// negative is a failure.
#include <cstdint>
#include <string>
#include <vector>

namespace delvora {

class RemoteDisk {
public:
    virtual ~RemoteDisk() = default;

    /// Opens a device of the remote machine by name with a sector size.
    virtual int32_t Open(const std::u16string& deviceName, uint32_t sectorSize) = 0;
    /// Reads count bytes from a sector; fills data with what arrived.
    virtual int32_t Read(uint32_t sector, uint32_t count, std::vector<uint8_t>& data) = 0;

    // Scan support: which drives the remote machine has.
    virtual int32_t AddRef() { return 0; }
    virtual int32_t Release() { return 0; }
    virtual int32_t SetCheckInfo(int32_t floppy, int32_t partitions, int32_t wholeDisks) = 0;
    /// Ten bytes: [0] floppy present, [1..4] PHYSICALDRIVE0..3 present.
    virtual int32_t GetHardInfo(uint8_t info[10]) = 0;
    /// Bit n set when drive 'A' + n exists on the remote machine.
    virtual int32_t GetLogicalDrive(uint32_t& mask) = 0;
};

}  // namespace delvora
