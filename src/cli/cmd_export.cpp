// export: recover items, live or deleted, into a folder of this machine.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>

#include "cli/cli.h"
#include "cli/terminal_progress.h"
#include "cli/hash_arg.h"
#include "cli/item_arg.h"
#include "cli/residual_arg.h"
#include "cli/volume_arg.h"
#include "common/hash.h"
#include "common/text_format.h"
#include "common/translation.h"
#include "disk/filled_ranges.h"
#include "fs/file_tree.h"
#include "recovery/export_filter.h"
#include "recovery/export_item.h"
#include "recovery/export_names.h"
#include "recovery/folder_export.h"
#include "recovery/manifest.h"

namespace delvora::cli {
namespace {

constexpr const char* kUsageText =
    "export SOURCE [PATH...] [--id N]... --to DIR [-r] [--manifest F] [--hash sha256,md5,sha1] [--overwrite]\n"
    "      [--no-deleted] [--no-auto-name] [--exclude-ext L] [--ignore-prefix L] [--skip-known] [--hash-sets]\n"
    "      [--hash-db DB] [--skip-allocated] [--residual [--html] [--doc] [--search-loaded] [--ignore-not-parent] [--range FIRST-LAST]]";

FolderExportOptions OptionsFromArgs(const Env& env, const Args& args, unsigned hashKinds) {
    FolderExportOptions options = FolderExportOptions::From(env.options);
    options.includeDeleted = !args.Flag("--no-deleted");
    if (args.Flag("--no-auto-name")) options.autoNameDuplicates = false;
    // Recovered evidence is never replaced unless the examiner says so.
    options.replaceExisting = args.Flag("--overwrite");
    options.hashKinds = hashKinds;
    if (auto text = args.Value("--exclude-ext")) options.excludedExtensions = ParseExtensionText(*text);
    if (auto text = args.Value("--ignore-prefix")) options.ignoredNamePrefixes = ParsePrefixText(*text);
    return options;
}

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) ::close(fd);
    }
};

int Export(Env& env, const Args& args) {
    const auto& positional = args.Positional();
    const auto target = args.Value("--to");
    if (positional.empty() || (positional.size() < 2 && args.Values("--id").empty()) || !target || target->empty())
        return Fail(kUsage, std::string("usage: delvora-cli ") + kUsageText);
    unsigned hashKinds = kHashSha256;
    if (const int rc = ManifestHashKinds(args, hashKinds); rc != kOk) return rc;
    const auto manifestPath = args.Value("--manifest");
    FileHashing hashing;
    if (const int rc = FileHashingArgs(args, hashing); rc != kOk) return rc;
    const bool skipKnown = args.Flag("--skip-known");
    OpenedVolume opened;
    if (const int rc = OpenVolumeArg(env, args, opened); rc != kOk) return rc;
    if (const int rc = ResidualArg(env, args, opened); rc != kOk) return rc;
    Volume& volume = *opened.volume;
    FileItem* found = FoundTop(args, opened);
    std::vector<NamedItem> named;
    if (const int rc = NamedItems(args, 1, *volume.RootItem(), named, found); rc != kOk) return rc;

    ManifestWriter manifest;
    if (manifestPath && !manifest.Open(*manifestPath, hashKinds, hashing.store != nullptr))
        return Fail(kFailed, "cannot write " + *manifestPath);

    // The manifest's digests include those the sets hold, so its rows can
    // name the set.
    FolderExportOptions options = OptionsFromArgs(env, args, hashKinds | hashing.kinds);
    if (skipKnown) {
        options.leaveOut = [&](FileItem& file) {
            Digests digests;
            HashMatch match;
            hashing.Compute(volume, file, digests, match);
            return match.status == HashSetStatus::kKnown;
        };
    }
    auto addRow = [&](ExportedFile file) {
        if (hashing.store) {
            const HashMatch match = hashing.store->Lookup(file.digests);
            file.hashSet = match.setName;
            file.hashStatus = HashStatusText(match.status);
        }
        manifest.Add(file);
    };
    FolderExporter exporter(volume, options);
    if (manifestPath) exporter.SetFileObserver(addRow);
    std::optional<ProgressPhase> phase(std::in_place, env.progress, Tr("TerminalProgress", kExportingText));
    exporter.SetCountObserver([&](const ExportSummary& counts) { ShowExportCount(env.progress, counts.exported); });
    ExportSummary single;
    std::error_code error;
    std::filesystem::create_directories(*target, error);
    const FdCloser targetDir{::open(target->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (targetDir.fd < 0) return Fail(kFailed, "cannot make the folder " + *target + ": " + std::strerror(errno));

    std::set<std::string> usedNames;
    TargetNaming naming;
    naming.number = options.autoNameDuplicates;
    naming.replace = *options.replaceExisting;
    // Two named files that clean to one name must not overwrite each other.
    naming.inUse = [&usedNames](const std::string& name) { return usedNames.count(name) > 0; };
    for (const auto& [what, item] : named) {
        if (!item) {
            Fail(kFailed, "no such item: " + what);
            ++single.failed;
            continue;
        }
        const bool isRoot = item == volume.RootItem();
        if (item->IsDirectory() || isRoot) {
            if (!args.Flag("-r")) {
                Fail(kFailed, what + " is a folder: use -r to export it with its contents");
                ++single.failed;
                continue;
            }
            exporter.ExportFolder(*item, *target, isRoot);
            // The whole volume takes what the search found along, as "回收站".
            if (isRoot && found && found->childCount > 0) exporter.ExportFolder(*found, *target);
            continue;
        }
        if (options.leaveOut && options.leaveOut(*item)) {
            ++single.skipped;
            continue;
        }
        const std::string name = SingleExportName(item->name ? item->name : "");
        std::string chosen;
        const int fd = CreateTargetFile(targetDir.fd, name, naming, chosen);
        const std::string out = *target + "/" + chosen;
        if (fd == kTargetInUse) {
            Fail(kFailed, what + ": a file named " + name + " was exported already");
            ++single.skipped;
            continue;
        }
        if (fd == kTargetExists) {
            Fail(kFailed, what + ": " + out + " exists (--overwrite replaces it)");
            ++single.failed;
            continue;
        }
        if (fd < 0) {
            env.log.AppendLog(Format(Tr("CmdExport", "创建文件失败:%s"), out.c_str()));
            ++single.failed;
            continue;
        }
        usedNames.insert(chosen);
        Hasher digest(options.hashKinds);
        ByteRangeSet unreadable;
        if (!ExportItemToFd(volume, *item, fd, out, manifestPath ? &digest : nullptr, &unreadable)) {
            ++single.failed;
            continue;
        }
        ++single.exported;
        const ExportedFile file{ShownPath(*item, volume.RecycleItem()), out, item->size, digest.Finish(),
                                unreadable.TotalBytes(), unreadable.Text(),
                                item->IsDeleted() ? volume.CountOverwrittenClusters(item) : 0};
        if (file.unreadableBytes > 0) {
            ++single.unreadable;
            env.log.AppendLog(UnreadableLogLine(file));
        }
        if (manifestPath) addRow(file);
        ShowExportCount(env.progress, single.exported + exporter.Summary().exported);
    }
    phase.reset();

    const ExportSummary& folders = exporter.Summary();
    const uint32_t exported = single.exported + folders.exported;
    const uint32_t skipped = single.skipped + folders.skipped;
    const uint32_t failed = single.failed + folders.failed;
    const uint32_t unreadable = single.unreadable + folders.unreadable;
    if (manifestPath && !manifest.Close()) {
        Fail(kFailed, "writing " + *manifestPath + " failed");
        return kFailed;
    }
    if (env.json) std::printf("{\"exported\":%u,\"skipped\":%u,\"failed\":%u}\n", exported, skipped, failed);
    else std::printf("exported %u, skipped %u, failed %u\n", exported, skipped, failed);
    if (unreadable > 0) std::fprintf(stderr, "%s\n", UnreadableSummaryLine(unreadable).c_str());
    return failed == 0 ? kOk : kFailed;
}

const bool kRegistered = RegisterCommand(
    {"export", kUsageText, "recover items (folders with -r) into a folder",
     WithResidualOptions(WithVolumeOptions({"--to", "--manifest", "--exclude-ext", "--ignore-prefix", "--hash", "--id", "--hash-db"})),
     WithResidualFlags({"-r", "--no-deleted", "--no-auto-name", "--overwrite", "--skip-known", "--hash-sets"}),
     &Export});

}  // namespace
}  // namespace delvora::cli
