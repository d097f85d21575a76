// sectors: raw sectors of a device or image as hexadecimal text.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "cli/cli.h"
#include "common/text_format.h"
#include "disk/disk_device.h"

namespace delvora::cli {
namespace {

// Larger requests are refused: this is a viewer.
constexpr uint64_t kMaxSectors = 65536;
// Bytes read and printed at a time, so that a large request needs no large
// buffer.
constexpr uint64_t kChunkBytes = 1 << 20;

int Sectors(Env& env, const Args& args) {
    if (args.Positional().size() != 1) return Fail(kUsage, "usage: delvora-cli sectors DEVICE --sector N [--count K]");
    const std::string& name = args.Positional()[0];
    // Without its own option, a source's logical sector size (device map, --sector-size).
    uint64_t sector = 0, count = 1, sectorSize = env.devices.SectorSize(name) ? env.devices.SectorSize(name) : 512;
    std::string error;
    if (!args.Value("--sector")) return Fail(kUsage, "--sector N is required");
    if (!args.Number("--sector", sector, error) || !args.Number("--count", count, error) ||
        !args.Number("--sector-size", sectorSize, error))
        return Fail(kUsage, error);
    if (count == 0 || count > kMaxSectors) return Fail(kUsage, Format("--count must be 1..%llu", kMaxSectors * 1ull));
    if (sectorSize == 0 || sectorSize % 512 != 0 || sectorSize > 65536)
        return Fail(kUsage, "--sector-size must be a multiple of 512 up to 65536");
    // Disks past 2 TiB have sectors past 2^32; only the byte offset must fit.
    if (sector > UINT64_MAX / sectorSize - count) return Fail(kUsage, "sector number out of range");

    DiskDevice device(env.context);
    device.SetName(name);
    device.SetSectorSize(static_cast<uint32_t>(sectorSize));
    device.SetReportErrors(1);
    if (!device.Open()) return Fail(kFailed, "cannot open " + name + ": " + device.LastErrorText());
    // 64-bit throughout: 65536 sectors of 65536 bytes are 2^32 bytes.
    const uint64_t first = sector * sectorSize;
    const uint64_t bytes = count * sectorSize;
    const uint64_t size = device.SizeBytes();
    // Bytes past the end would only be zeros that were never read.
    if (size != 0 && (first > size || bytes > size - first))
        return Fail(kFailed, Format("sectors %llu..%llu of %llu bytes lie past the end of %s (%llu bytes)",
                                    static_cast<unsigned long long>(sector),
                                    static_cast<unsigned long long>(sector + count - 1),
                                    static_cast<unsigned long long>(sectorSize), name.c_str(),
                                    static_cast<unsigned long long>(size)));
    const uint64_t sectorsPerChunk = std::max<uint64_t>(1, kChunkBytes / sectorSize);
    std::vector<uint8_t> buffer(std::min(bytes, sectorsPerChunk * sectorSize));
    std::string text;
    for (uint64_t done = 0; done < count;) {
        const uint64_t n = std::min(sectorsPerChunk, count - done);
        const auto chunk = static_cast<uint32_t>(n * sectorSize);
        if (!device.Read(buffer.data(), chunk, sector + done))
            return Fail(kFailed, "read failed: " + device.LastErrorText());
        text.clear();
        for (uint32_t i = 0; i < chunk; ++i) {
            text += Format("%02X ", buffer[i]);
            if (i % 16 == 15) text += '\n';
        }
        if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) return Fail(kFailed, "writing failed");
        done += n;
    }
    return std::fflush(stdout) == 0 ? kOk : kFailed;
}

const bool kRegistered = RegisterCommand({"sectors", "sectors DEVICE --sector N [--count K] [--sector-size B]",
                                          "print sectors as hexadecimal text, 16 bytes a line",
                                          {"--sector", "--count", "--sector-size"}, {}, &Sectors});

}  // namespace
}  // namespace delvora::cli
