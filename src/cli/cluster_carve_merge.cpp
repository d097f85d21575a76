#include "cli/cluster_carve_merge.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "cli/carve_part.h"
#include "cli/carve_run.h"
#include "cli/terminal_progress.h"
#include "common/text_format.h"

namespace delvora::cli {

const std::vector<std::string>& CarveValueOptions() {
    static const std::vector<std::string> options =
        WithVolumeOptions({"--to", "--manifest", "--hash", "--types", "--max-gap", "--range", "--part-file"});
    return options;
}

const std::vector<std::string>& CarveFlags() {
    static const std::vector<std::string> flags{"--raw", "--html", "--doc", "--overwrite", "--free-only"};
    return flags;
}

namespace {

// Carves part index again on this machine, starting where the whole pass
// stands. Answers an exit code.
int CarveAgain(Env& env, const ClusterPlan& plan, uint64_t index, const CarveChain& chain, CarvePart& part) {
    std::vector<std::string> words = plan.args;
    words.push_back("--range");
    words.push_back(RangeText(plan.parts[index]));
    const Args args(words, CarveValueOptions(), CarveFlags());
    CarveSetup setup;
    if (const int rc = PrepareCarve(env, args, setup); rc != kOk) return rc;
    setup.region->SetCarveEntry(chain.skipUntil, chain.htmlFrom);
    part = CarvePart{};
    {
        FillRecorder recorder(part.unreadable);
        if (!setup.region->ResidualSearch()) return Fail(kFailed, "carving failed (out of memory)");
    }
    part.events = setup.region->CarveEvents();
    part.pages = setup.region->CarvedPages();
    part.files = setup.region->CarvedFiles();
    return kOk;
}

}  // namespace

int MergeCarveParts(Env& env, const std::string& dir, const ClusterPlan& plan, std::vector<PartFailure>& failures) {
    failures = FailedParts(dir, plan);
    std::vector<bool> left(plan.parts.size(), false);
    for (const PartFailure& f : failures) left[f.index] = true;
    const Args args(plan.args, CarveValueOptions(), CarveFlags());
    CarveSetup setup;
    if (const int rc = PrepareCarve(env, args, setup); rc != kOk) return rc;
    CarveChain chain;
    std::vector<CarvedFile> pages, files;
    uint64_t rejected = 0;
    ByteRangeSet unreadable;
    // Parts in order: each one's decisions depend on where the one before left the pass.
    for (uint64_t i = 0; i < plan.parts.size(); ++i) {
        if (left[i]) continue;
        CarvePart part;
        std::string error;
        if (!ReadCarvePart(PartFilePath(dir, i, ".carve"), part, error)) {
            failures.push_back({i, plan.parts[i], error});
            continue;
        }
        if (ChainConflicts(part, chain)) {
            ClearTerminalLine();
            std::fprintf(stderr, "delvora-cli: part %llu (sectors %s): a file of the part before reaches into it; "
                                 "carving it again here\n",
                         static_cast<unsigned long long>(i), RangeText(plan.parts[i]).c_str());
            if (const int rc = CarveAgain(env, plan, i, chain, part); rc != kOk) return rc;
        }
        unreadable.AddSet(part.unreadable);
        JoinCarvePart(part, chain, pages, files, rejected);
    }
    const std::string incomplete = dir + "/incomplete";
    std::remove(incomplete.c_str());
    if (!failures.empty()) {
        std::ofstream note(incomplete, std::ios::binary | std::ios::trunc);
        for (const PartFailure& f : failures)
            note << "part " << f.index << " sectors " << RangeText(f.range) << ": " << f.reason << '\n';
    }
    if (!setup.region->AdoptCarved(std::move(pages), std::move(files), rejected))
        return Fail(kFailed, "carving failed (out of memory)");
    // A merge made again replaces the last one, never adds to it.
    std::error_code ec;
    std::filesystem::remove_all(dir + "/export", ec);
    return ExportCarved(env, args, setup, dir + "/export", dir + "/manifest.csv", (unreadable.TotalBytes() + 511) / 512);
}

}  // namespace delvora::cli
