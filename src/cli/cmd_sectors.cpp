// sectors: raw sectors of a device or image as hexadecimal text.
#include <cstdio>
#include <vector>

#include "cli/cli.h"
#include "common/text_format.h"
#include "disk/disk_device.h"

namespace delvora::cli {
namespace {

// Larger requests are refused rather than allocated: this is a viewer.
constexpr uint64_t kMaxSectors = 65536;

int Sectors(Env& env, const Args& args) {
    if (args.Positional().size() != 1) return Fail(kUsage, "usage: delvora-cli sectors DEVICE --sector N [--count K]");
    uint64_t sector = 0, count = 1, sectorSize = 512;
    std::string error;
    if (!args.Value("--sector")) return Fail(kUsage, "--sector N is required");
    if (!args.Number("--sector", sector, error) || !args.Number("--count", count, error) ||
        !args.Number("--sector-size", sectorSize, error))
        return Fail(kUsage, error);
    if (sector > UINT32_MAX) return Fail(kUsage, "sector numbers are 32-bit");
    if (count == 0 || count > kMaxSectors) return Fail(kUsage, Format("--count must be 1..%llu", kMaxSectors * 1ull));
    if (sectorSize == 0 || sectorSize % 512 != 0 || sectorSize > 65536)
        return Fail(kUsage, "--sector-size must be a multiple of 512 up to 65536");

    DiskDevice device(env.context);
    device.SetName(args.Positional()[0]);
    device.SetSectorSize(static_cast<uint32_t>(sectorSize));
    device.SetReportErrors(1);
    if (!device.Open()) return Fail(kFailed, "cannot open " + args.Positional()[0] + ": " + device.LastErrorText());
    std::vector<uint8_t> buffer(sectorSize * count);
    if (!device.Read(buffer.data(), static_cast<uint32_t>(buffer.size()), static_cast<uint32_t>(sector)))
        return Fail(kFailed, "read failed: " + device.LastErrorText());
    std::string line;
    for (size_t i = 0; i < buffer.size(); ++i) {
        line += Format("%02X ", buffer[i]);
        if (i % 16 == 15) {
            std::printf("%s\n", line.c_str());
            line.clear();
        }
    }
    return kOk;
}

const bool kRegistered = RegisterCommand({"sectors", "sectors DEVICE --sector N [--count K] [--sector-size B]",
                                          "print sectors as hexadecimal text, 16 bytes a line",
                                          {"--sector", "--count", "--sector-size"}, &Sectors});

}  // namespace
}  // namespace delvora::cli
