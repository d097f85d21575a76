#include "cli/residual_arg.h"

#include "cli/terminal_progress.h"

#include "recovery/residual_search.h"

namespace delvora::cli {

std::vector<std::string> WithResidualFlags(std::vector<std::string> flags) {
    flags.insert(flags.end(), kResidualFlags.begin(), kResidualFlags.end());
    flags.push_back("--skip-allocated");
    return flags;
}

int ResidualArg(Env& env, const Args& args, OpenedVolume& opened) {
    if (args.Flag("--skip-allocated")) env.options.skipAllocatedClusters = 1;
    if (!args.Flag("--residual")) {
        for (const auto& flag : kResidualFlags)
            if (args.Flag(flag)) return Fail(kUsage, flag + " belongs to the residual search: it needs --residual");
        return kOk;
    }
    env.options.searchHtml = args.Flag("--html") ? 1 : 0;
    env.options.searchDoc = args.Flag("--doc") ? 1 : 0;
    env.options.searchLoadedFiles = args.Flag("--search-loaded") ? 1 : 0;
    env.options.ignoreFirstClusterNotParent = args.Flag("--ignore-not-parent") ? 1 : 0;
    bool searched = false;
    {
        ProgressPhase phase(env.progress, kResidualText);
        searched = RunResidualSearch(*opened.volume);
    }
    if (!searched) return Fail(kFailed, "the residual search failed");
    return kOk;
}

FileItem* FoundTop(const Args& args, OpenedVolume& opened) {
    return args.Flag("--residual") ? opened.volume->RecycleItem() : nullptr;
}

}  // namespace delvora::cli
