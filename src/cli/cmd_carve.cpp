// carve: web pages and Word documents cut out of a volume's sectors or a
// whole source (any raw image; no file system needed), written to a folder.
#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "cli/volume_arg.h"
#include "common/hash.h"
#include "disk/filled_ranges.h"
#include "recovery/folder_export.h"
#include "recovery/manifest.h"
#include "recovery/sector_region_volume.h"

namespace delvora::cli {
namespace {

constexpr const char* kUsageText =
    "carve SOURCE [-p N | --start S --type T | --raw] [--html] [--doc] --to DIR [--manifest F]\n"
    "      [--hash sha256,md5,sha1] [--overwrite]";

uint32_t CountFiles(const FileItem& folder, const char* name) {
    for (uint32_t i = 0; i < folder.childCount; ++i)
        if (std::string(folder.children[i].name ? folder.children[i].name : "") == name)
            return folder.children[i].childCount;
    return 0;
}

int Carve(Env& env, const Args& args) {
    const auto target = args.Value("--to");
    if (args.Positional().size() != 1 || !target || target->empty())
        return Fail(kUsage, std::string("usage: delvora-cli ") + kUsageText);
    if (!args.Flag("--html") && !args.Flag("--doc")) return Fail(kUsage, "carve needs --html, --doc or both");
    if (args.Flag("--raw") && (args.Value("-p") || args.Value("--start") || args.Value("--type")))
        return Fail(kUsage, "--raw takes the whole source: it goes with neither -p nor --start/--type");
    unsigned hashKinds = kHashSha256;
    if (const int rc = ManifestHashKinds(args, hashKinds); rc != kOk) return rc;
    const auto manifestPath = args.Value("--manifest");
    env.options.searchHtml = args.Flag("--html") ? 1 : 0;
    env.options.searchDoc = args.Flag("--doc") ? 1 : 0;

    OpenedVolume opened;
    if (args.Flag("--raw")) {
        opened.source = std::make_unique<DataSource>(env.context);
        opened.source->SetPath(SourceName(env, args.Positional()[0]));
        opened.source->SetReportErrors(0);
        if (!opened.source->Open())
            return Fail(kFailed, "cannot open " + args.Positional()[0] + ": " + opened.source->LastErrorText());
        opened.totalSectors = opened.source->SizeBytes() / 512;
    } else if (const int rc = LocateVolumeArg(env, args, opened); rc != kOk) {
        return rc;
    }
    auto region = std::make_unique<SectorRegionVolume>();
    region->SetContext(env.context);
    region->SetDataSource(opened.source.get());
    region->SetStartSector(opened.startSector);
    region->SetTotalSectors(opened.totalSectors);
    if (!region->Prepare()) return Fail(kFailed, "nothing to carve: " + args.Positional()[0] + " has no sectors");
    // Reads during the scan that failed are counted for the closing line.
    ByteRangeSet scanFilled;
    {
        FillRecorder recorder(scanFilled);
        if (!region->ResidualSearch()) return Fail(kFailed, "carving failed (out of memory)");
    }
    const unsigned long long unreadableSectors = (scanFilled.TotalBytes() + 511) / 512;
    SectorRegionVolume& volume = *region;
    opened.volume = std::move(region);

    ManifestWriter manifest;
    if (manifestPath && !manifest.Open(*manifestPath, hashKinds)) return Fail(kFailed, "cannot write " + *manifestPath);
    FolderExportOptions options = FolderExportOptions::From(env.options);
    options.replaceExisting = args.Flag("--overwrite");
    options.hashKinds = hashKinds;
    FolderExporter exporter(volume, options);
    if (manifestPath) exporter.SetFileObserver([&](const ExportedFile& file) { manifest.Add(file); });
    if (!exporter.ExportFolder(*volume.RecycleItem(), *target, true))
        return Fail(kFailed, "cannot make the folder " + *target);
    if (manifestPath && !manifest.Close()) return Fail(kFailed, "writing " + *manifestPath + " failed");

    const FileItem& found = *volume.RecycleItem();
    const uint32_t pages = CountFiles(found, "HTML"), documents = CountFiles(found, "DOC");
    const ExportSummary& s = exporter.Summary();
    if (env.json)
        std::printf("{\"html\":%u,\"doc\":%u,\"exported\":%u,\"skipped\":%u,\"failed\":%u,\"unreadableSectors\":%llu}\n",
                    pages, documents, s.exported, s.skipped, s.failed, unreadableSectors);
    else if (unreadableSectors > 0)
        std::printf("carved %u pages, %u documents; exported %u, skipped %u, failed %u; %llu sectors could not be read\n",
                    pages, documents, s.exported, s.skipped, s.failed, unreadableSectors);
    else
        std::printf("carved %u pages, %u documents; exported %u, skipped %u, failed %u\n", pages, documents,
                    s.exported, s.skipped, s.failed);
    if (s.unreadable > 0) std::fprintf(stderr, "%s\n", UnreadableSummaryLine(s.unreadable).c_str());
    return s.failed == 0 ? kOk : kFailed;
}

const bool kRegistered = RegisterCommand(
    {"carve", kUsageText, "carve web pages and Word documents out of a volume's or a whole source's sectors",
     WithVolumeOptions({"--to", "--manifest", "--hash"}), {"--raw", "--html", "--doc", "--overwrite"}, &Carve});

}  // namespace
}  // namespace delvora::cli
