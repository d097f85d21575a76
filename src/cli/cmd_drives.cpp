// drives: the physical drives this machine (or the device map) offers.
#include <cstdio>

#include "cli/cli.h"
#include "common/text_format.h"
#include "disk/disk_device.h"
#include "disk/disk_scan.h"

namespace delvora::cli {
namespace {

// The device map in use as a map file: what delvora-serve exports.
int PrintMap(const Env& env) {
    for (const auto& name : env.devices.Names()) {
        const std::string path = env.devices.Resolve(name);
        if (env.json)
            std::printf("{\"name\":%s,\"path\":%s}\n", JsonString(name).c_str(), JsonString(path).c_str());
        else
            std::printf("%s=%s\n", EscapeControls(name).c_str(), EscapeControls(path).c_str());
    }
    return kOk;
}

int Drives(Env& env, const Args& args) {
    if (args.Flag("--map")) return PrintMap(env);
    DiskScan scan(env.context);
    std::vector<std::string> drives;
    scan.EnumeratePhysicalDrives(drives);
    for (const auto& name : drives) {
        DiskDevice device(env.context);
        device.SetName(name);
        const uint64_t size = device.Open() ? device.SizeBytes() : 0;
        const std::string path = env.devices.Resolve(name);
        if (env.json)
            std::printf("{\"name\":%s,\"path\":%s,\"size\":%llu}\n", JsonString(name).c_str(),
                        JsonString(path).c_str(), static_cast<unsigned long long>(size));
        else
            std::printf("%s\t%s\t%llu\n", EscapeControls(name).c_str(), EscapeControls(path).c_str(), static_cast<unsigned long long>(size));
    }
    if (drives.empty()) std::fprintf(stderr, "no readable physical drive (PHYSICALDRIVE0..4)\n");
    return kOk;
}

const bool kRegistered = RegisterCommand(
    {"drives", "drives [--map]",
     "list the readable physical drives (PHYSICALDRIVE0..4); --map: every device name and its path, as a map file",
     {}, {"--map"}, &Drives});

}  // namespace
}  // namespace delvora::cli
