// export: recover items, live or deleted, into a folder of this machine.
#include <cstdio>
#include <filesystem>
#include <set>

#include "cli/cli.h"
#include "cli/volume_arg.h"
#include "common/sha256.h"
#include "common/text_format.h"
#include "fs/file_tree.h"
#include "fs/item_path.h"
#include "recovery/export_filter.h"
#include "recovery/export_item.h"
#include "recovery/export_names.h"
#include "recovery/folder_export.h"
#include "recovery/manifest.h"

namespace delvora::cli {
namespace {

constexpr const char* kUsageText =
    "export SOURCE PATH... --to DIR [-r] [--manifest F] [--no-deleted] [--no-auto-name] [--exclude-ext L] "
    "[--ignore-prefix L]";

/// The name a file named on the command line gets; a name with nothing left
/// after the cleaning (or only dots) would name the folder itself.
std::string SingleFileName(const FileItem& item) {
    const std::string name = ExportCommandName(item.name ? item.name : "");
    if (name.find_first_not_of('.') == std::string::npos) return SafeFileName(item.name ? item.name : "");
    return name;
}

FolderExportOptions OptionsFromArgs(const Env& env, const Args& args) {
    FolderExportOptions options = FolderExportOptions::From(env.options);
    options.includeDeleted = !args.Flag("--no-deleted");
    if (args.Flag("--no-auto-name")) options.autoNameDuplicates = false;
    if (auto text = args.Value("--exclude-ext")) options.excludedExtensions = ParseExtensionText(*text);
    if (auto text = args.Value("--ignore-prefix")) options.ignoredNamePrefixes = ParsePrefixText(*text);
    return options;
}

int Export(Env& env, const Args& args) {
    const auto& positional = args.Positional();
    const auto target = args.Value("--to");
    if (positional.size() < 2 || !target || target->empty())
        return Fail(kUsage, std::string("usage: delvora-cli ") + kUsageText);
    OpenedVolume opened;
    if (const int rc = OpenVolumeArg(env, args, opened); rc != kOk) return rc;
    Volume& volume = *opened.volume;

    ManifestWriter manifest;
    const auto manifestPath = args.Value("--manifest");
    if (manifestPath && !manifest.Open(*manifestPath)) return Fail(kFailed, "cannot write " + *manifestPath);

    const FolderExportOptions options = OptionsFromArgs(env, args);
    FolderExporter exporter(volume, options);
    std::set<std::string> usedNames;
    if (manifestPath) exporter.SetFileObserver([&](const ExportedFile& file) { manifest.Add(file); });
    ExportSummary single;
    std::error_code error;
    std::filesystem::create_directories(*target, error);

    for (size_t i = 1; i < positional.size(); ++i) {
        const std::string& path = positional[i];
        FileItem* item = FindItemByPath(*volume.RootItem(), path);
        if (!item) {
            Fail(kFailed, "no such item: " + path);
            ++single.failed;
            continue;
        }
        const bool isRoot = item == volume.RootItem();
        if (item->IsDirectory() || isRoot) {
            if (!args.Flag("-r")) {
                Fail(kFailed, path + " is a folder: use -r to export it with its contents");
                ++single.failed;
                continue;
            }
            exporter.ExportFolder(*item, *target, isRoot);
            continue;
        }
        std::string name = SingleFileName(*item);
        // Two named files that clean to one name must not overwrite each other.
        if (usedNames.count(name)) {
            if (!options.autoNameDuplicates) {
                Fail(kFailed, path + ": a file named " + name + " was exported already");
                ++single.skipped;
                continue;
            }
            const std::string base = name;
            // Bounded by the number of paths given: each holds one name.
            for (unsigned n = 2; usedNames.count(name); ++n) name = NumberedName(base, n);
        }
        usedNames.insert(name);
        const std::string out = *target + "/" + name;
        Sha256 digest;
        if (!ExportItem(&volume, item, out, manifestPath ? &digest : nullptr)) {
            ++single.failed;
            continue;
        }
        ++single.exported;
        if (manifestPath) manifest.Add({FullPath(*item), out, item->size, digest.FinishHex()});
    }

    const ExportSummary& folders = exporter.Summary();
    const uint32_t exported = single.exported + folders.exported;
    const uint32_t skipped = single.skipped + folders.skipped;
    const uint32_t failed = single.failed + folders.failed;
    if (manifestPath && !manifest.Close()) {
        Fail(kFailed, "writing " + *manifestPath + " failed");
        return kFailed;
    }
    if (env.json) std::printf("{\"exported\":%u,\"skipped\":%u,\"failed\":%u}\n", exported, skipped, failed);
    else std::printf("exported %u, skipped %u, failed %u\n", exported, skipped, failed);
    return failed == 0 ? kOk : kFailed;
}

const bool kRegistered = RegisterCommand({"export", kUsageText, "recover items (folders with -r) into a folder",
                                          WithVolumeOptions({"--to", "--manifest", "--exclude-ext", "--ignore-prefix"}),
                                          &Export});

}  // namespace
}  // namespace delvora::cli
