#pragma once
// Resolves the device names the examiner works with (PHYSICALDRIVE0, A:, C:)
// to block devices or image files on this machine.
//
// A map file holds lines NAME=PATH; '#' starts a comment. Without a map the
// machine is discovered: whole disks from /sys/block in name order become
// PHYSICALDRIVE0.., /dev/fd0 is A:, and mounted block-device partitions get
// C:, D:, .. in mount order. A name that begins with '/' is a path already.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/reporting.h"

namespace delvora {

class DeviceMap {
public:
    /// The machine's own disks, floppy and mounted partitions.
    static DeviceMap Discover();
    /// Parses map-file text. Answers false with a message naming the line on
    /// a malformed line; out keeps the lines before it.
    static bool Parse(std::string_view text, DeviceMap& out, std::string& error);
    /// Reads and parses a map file: a regular file of at most
    /// kMaxMapFileBytes. Anything else (a device, a FIFO, a folder, a larger
    /// file) fails with a one-line message in error, without blocking.
    static bool LoadFile(const std::string& path, DeviceMap& out, std::string& error);
    static constexpr uint64_t kMaxMapFileBytes = 1 << 20;

    /// Adds or replaces a name (names compare without regard to ASCII case).
    void Set(std::string name, std::string path);
    /// The path for a name; a name beginning with '/' is returned unchanged;
    /// empty when the name is unknown.
    std::string Resolve(std::string_view name) const;
    bool Contains(std::string_view name) const;
    /// Every name in the order defined.
    std::vector<std::string> Names() const;
    /// Bit n set when the drive letter 'A' + n is defined (bit 0 = A:).
    uint32_t LogicalDriveMask() const;

private:
    static bool ReadMapFile(const std::string& path, std::string& text, std::string& error);

    std::vector<std::pair<std::string, std::string>> m_entries;
};

/// The context's device map; without one, the machine's own discovery.
const DeviceMap& DevicesOf(const CoreContext& context);

}  // namespace delvora
