#include "cli/residual_arg.h"
#include "common/translation.h"

#include "cli/range_arg.h"
#include "cli/terminal_progress.h"

#include "recovery/residual_search.h"

namespace delvora::cli {

std::vector<std::string> WithResidualFlags(std::vector<std::string> flags) {
    flags.insert(flags.end(), kResidualFlags.begin(), kResidualFlags.end());
    flags.push_back("--skip-allocated");
    return flags;
}

std::vector<std::string> WithResidualOptions(std::vector<std::string> options) {
    options.push_back("--range");
    return options;
}

int ResidualArg(Env& env, const Args& args, OpenedVolume& opened) {
    if (args.Flag("--skip-allocated")) env.options.skipAllocatedClusters = 1;
    if (!args.Flag("--residual")) {
        for (const auto& flag : kResidualFlags)
            if (args.Flag(flag)) return Fail(kUsage, flag + " belongs to the residual search: it needs --residual");
        if (args.Value("--range")) return Fail(kUsage, "--range belongs to the residual search: it needs --residual");
        return kOk;
    }
    env.options.searchHtml = args.Flag("--html") ? 1 : 0;
    env.options.searchDoc = args.Flag("--doc") ? 1 : 0;
    env.options.searchLoadedFiles = args.Flag("--search-loaded") ? 1 : 0;
    env.options.ignoreFirstClusterNotParent = args.Flag("--ignore-not-parent") ? 1 : 0;
    // --range is in absolute sectors of the source, as search's.
    Volume& volume = *opened.volume;
    std::optional<SectorRange> range;
    if (const int rc = ReadRangeArg(args, volume.StartSector(), volume.StartSector() + volume.TotalSectors(), range);
        rc != kOk)
        return rc;
    ResidualPart part;
    if (range) part = {range->first - volume.StartSector(), range->end - volume.StartSector()};
    bool searched = false;
    {
        ProgressPhase phase(env.progress, Tr("TerminalProgress", kResidualText));
        searched = RunResidualSearch(volume, part);
    }
    if (!searched) return Fail(kFailed, "the residual search failed");
    return kOk;
}

FileItem* FoundTop(const Args& args, OpenedVolume& opened) {
    return args.Flag("--residual") ? opened.volume->RecycleItem() : nullptr;
}

}  // namespace delvora::cli
