#include "cli/carve_run.h"

#include <cstdio>
#include <map>
#include <optional>
#include <string>

#include "cli/terminal_progress.h"
#include "common/hash.h"
#include "common/translation.h"
#include "fs/fat/fat_volume.h"
#include "recovery/carve_format.h"
#include "recovery/carver.h"
#include "recovery/folder_export.h"
#include "recovery/free_space.h"
#include "recovery/manifest.h"

namespace delvora::cli {
namespace {

struct CarvedInfo {
    std::string type, firstSector, status;
};

/// What the manifest says of each carved file, by "\FOLDER\name".
std::map<std::string, CarvedInfo> DescribeFiles(const FileItem& found, const std::vector<CarvedFile>& files) {
    std::map<std::string, CarvedInfo> out;
    for (uint32_t i = 0; i < found.childCount; ++i) {
        const FileItem& folder = found.children[i];
        for (uint32_t j = 0; j < folder.childCount; ++j) {
            const FileItem& file = folder.children[j];
            const std::string path = std::string("\\") + folder.name + "\\" + file.name;
            CarvedInfo info{folder.name, file.runs && !file.runs->Empty() ? std::to_string((*file.runs)[0].first) : "",
                            "complete"};
            out[path] = info;
        }
    }
    // Status by first sector and folder: names may have been made unique.
    std::map<std::pair<std::string, std::string>, std::string> status;
    for (const CarvedFile& f : files) status[{f.folder, std::to_string(f.startSector)}] = f.StatusText();
    for (auto& [path, info] : out)
        if (auto it = status.find({info.type, info.firstSector}); it != status.end()) info.status = it->second;
    return out;
}

}  // namespace

int PrepareCarve(Env& env, const Args& args, CarveSetup& setup) {
    uint32_t types = 0;
    if (const auto list = args.Value("--types")) {
        std::string bad;
        if (!ParseCarveTypes(*list, types, bad)) return Fail(kUsage, "unknown type for --types: " + bad);
    }
    if (args.Flag("--html")) types |= carve_type::kHtml;
    if (args.Flag("--doc")) types |= carve_type::kDoc;
    if (!types) return Fail(kUsage, "carve needs --types, --html, --doc or both");
    uint64_t maxGap = 64;
    if (const auto gap = args.Value("--max-gap"); gap && (!ParseNumber(*gap, maxGap) || maxGap > 4096))
        return Fail(kUsage, "--max-gap takes a number of clusters from 0 to 4096");
    if (args.Flag("--raw") && (args.Value("-p") || args.Value("--start") || args.Value("--type")))
        return Fail(kUsage, "--raw takes the whole source: it goes with neither -p nor --start/--type");
    if (args.Value("--range") && args.Flag("--free-only"))
        return Fail(kUsage, "--range takes sectors of the source: not with --free-only");
    if (args.Flag("--raw") && args.Flag("--free-only"))
        return Fail(kUsage, "--free-only needs a file system: it goes with -p or --start/--type, not --raw");
    setup.hashKinds = kHashSha256;
    if (const int rc = ManifestHashKinds(args, setup.hashKinds); rc != kOk) return rc;
    env.options.searchHtml = (types & carve_type::kHtml) ? 1 : 0;
    env.options.searchDoc = (types & carve_type::kDoc) ? 1 : 0;
    env.options.carveTypes = types;
    env.options.carveMaxGap = static_cast<int>(maxGap);

    std::vector<std::pair<uint64_t, uint64_t>> freeRuns;
    uint32_t clusterBytes = 4096;
    if (args.Flag("--raw")) {
        // A remote source (nbd://) is carved as a local one.
        SourceArg arg;
        if (const int rc = ResolveSourceArg(env, args.Positional()[0], arg); rc != kOk) return rc;
        setup.opened.source = std::make_unique<DataSource>(env.context);
        if (!OpenSourceArg(arg, *setup.opened.source))
            return Fail(kFailed, "cannot open " + args.Positional()[0] + ": " + setup.opened.source->LastErrorText());
        setup.opened.totalSectors = setup.opened.source->SizeBytes() / 512;
    } else if (args.Flag("--free-only")) {
        if (const int rc = OpenVolumeArg(env, args, setup.opened); rc != kOk) return rc;
        uint64_t dataStart = 0;
        if (auto* fat = dynamic_cast<FatVolume*>(setup.opened.volume.get())) dataStart = fat->Geometry().dataStart;
        clusterBytes = setup.opened.volume->BytesPerCluster();
        if (!FreeSectorRuns(*setup.opened.volume, dataStart, setup.opened.totalSectors, freeRuns))
            return Fail(kFailed, "carving failed (out of memory)");
        if (freeRuns.empty()) return Fail(kFailed, "nothing to carve: the volume has no free space");
    } else if (const int rc = LocateVolumeArg(env, args, setup.opened); rc != kOk) {
        return rc;
    }
    if (const int rc = ReadRangeArg(args, setup.opened.startSector,
                                    setup.opened.startSector + setup.opened.totalSectors, setup.range);
        rc != kOk)
        return rc;
    auto region = std::make_unique<SectorRegionVolume>();
    region->SetContext(env.context);
    region->SetDataSource(setup.opened.source.get());
    region->SetStartSector(setup.opened.startSector);
    region->SetTotalSectors(setup.opened.totalSectors);
    region->SetCarveRuns(std::move(freeRuns), clusterBytes);
    if (setup.range)
        region->SetCarvePart(setup.range->first - setup.opened.startSector, setup.range->end - setup.opened.startSector);
    if (!region->Prepare()) return Fail(kFailed, "nothing to carve: " + args.Positional()[0] + " has no sectors");
    setup.region = std::move(region);
    return kOk;
}

int ExportCarved(Env& env, const Args& args, CarveSetup& setup, const std::string& target,
                 const std::optional<std::string>& manifestPath, uint64_t unreadableSectors) {
    SectorRegionVolume& volume = *setup.region;
    setup.opened.volume = std::move(setup.region);

    const FileItem& found = *volume.RecycleItem();
    const std::map<std::string, CarvedInfo> described = DescribeFiles(found, volume.CarvedFiles());
    ManifestWriter manifest;
    manifest.SetExtraColumns({"type", "firstSector", "status"});
    if (manifestPath && !manifest.Open(*manifestPath, setup.hashKinds)) return Fail(kFailed, "cannot write " + *manifestPath);
    FolderExportOptions options = FolderExportOptions::From(env.options);
    options.replaceExisting = args.Flag("--overwrite");
    options.hashKinds = setup.hashKinds;
    FolderExporter exporter(volume, options);
    std::optional<ProgressPhase> phase(std::in_place, env.progress, Tr("TerminalProgress", kExportingText));
    exporter.SetCountObserver([&](const ExportSummary& counts) { ShowExportCount(env.progress, counts.exported); });
    if (manifestPath)
        exporter.SetFileObserver([&](const ExportedFile& file) {
            CarvedInfo info;
            // The volume path ends in "\FOLDER\name".
            const size_t name = file.volumePath.rfind('\\');
            const size_t folder = name == std::string::npos || name == 0 ? std::string::npos : file.volumePath.rfind('\\', name - 1);
            if (folder != std::string::npos)
                if (auto it = described.find(file.volumePath.substr(folder)); it != described.end()) info = it->second;
            manifest.Add(file, {info.type, info.firstSector, info.status});
        });
    if (!exporter.ExportFolder(*volume.RecycleItem(), target, true))
        return Fail(kFailed, "cannot make the folder " + target);
    phase.reset();
    if (manifestPath && !manifest.Close()) return Fail(kFailed, "writing " + *manifestPath + " failed");

    uint32_t total = 0, pages = 0, documents = 0;
    std::string perType, jsonTypes;
    for (uint32_t i = 0; i < found.childCount; ++i) {
        const FileItem& folder = found.children[i];
        const std::string name = folder.name ? folder.name : "";
        total += folder.childCount;
        if (name == "HTML") pages = folder.childCount;
        if (name == "DOC") documents = folder.childCount;
        perType += (perType.empty() ? "" : ", ") + name + " " + std::to_string(folder.childCount);
        jsonTypes += (jsonTypes.empty() ? "\"" : ",\"") + name + "\":" + std::to_string(folder.childCount);
    }
    const ExportSummary& s = exporter.Summary();
    const unsigned long long rejected = volume.Rejected();
    if (env.json)
        std::printf("{\"html\":%u,\"doc\":%u,\"carved\":%u,\"types\":{%s},\"rejected\":%llu,\"exported\":%u,"
                    "\"skipped\":%u,\"failed\":%u,\"unreadableSectors\":%llu}\n",
                    pages, documents, total, jsonTypes.c_str(), rejected, s.exported, s.skipped, s.failed,
                    static_cast<unsigned long long>(unreadableSectors));
    else
        std::printf("carved %u files%s%s%s, rejected %llu header hits; exported %u, skipped %u, failed %u%s\n", total,
                    perType.empty() ? "" : " (", perType.c_str(), perType.empty() ? "" : ")", rejected, s.exported,
                    s.skipped, s.failed,
                    unreadableSectors ? ("; " + std::to_string(unreadableSectors) + " sectors could not be read").c_str()
                                      : "");
    if (s.unreadable > 0) std::fprintf(stderr, "%s\n", UnreadableSummaryLine(s.unreadable).c_str());
    return s.failed == 0 ? kOk : kFailed;
}


}  // namespace delvora::cli
