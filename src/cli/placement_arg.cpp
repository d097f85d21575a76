#include "cli/placement_arg.h"

#include "cli/item_arg.h"
#include "recovery/placement.h"

namespace delvora::cli {

int ApplyPlacementArgs(Env& env, const Args& args, Volume& volume) {
    std::string error;
    if (args.Value("--volume-start")) {
        uint64_t sector = 0;
        if (!args.Number("--volume-start", sector, error)) return Fail(kUsage, error);
        if (const std::string refused = MoveVolumeStart(volume, sector); !refused.empty()) return Fail(kFailed, refused);
    }
    for (const std::string& text : args.Values("--set-start-cluster")) {
        const size_t eq = text.rfind('=');
        uint64_t cluster = 0;
        if (eq == std::string::npos || !ParseNumber(text.substr(eq + 1), cluster) || cluster > UINT32_MAX)
            return Fail(kUsage, "--set-start-cluster needs PATH=CLUSTER, not " + text);
        const std::string path = text.substr(0, eq);
        FileItem* item = FindItemArg(*volume.RootItem(), path);
        if (!item || item == volume.RootItem()) return Fail(kFailed, "no such item: " + path);
        if (const std::string refused = CheckStartCluster(volume, cluster); !refused.empty())
            return Fail(kFailed, refused);
        env.log.AppendLog("start cluster of " + path + ": " + std::to_string(item->startCluster) + " -> " +
                          std::to_string(cluster));
        item->startCluster = static_cast<uint32_t>(cluster);
    }
    return kOk;
}

}  // namespace delvora::cli
