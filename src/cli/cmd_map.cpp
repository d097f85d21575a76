// map: a volume's regions as the disk map shows them and, with an item, the
// sector ranges its data occupies; --png draws the map as the workstation
// does.
#include <cstdio>
#include <string>

#include "chart/disk_map.h"
#include "cli/cli.h"
#include "cli/item_arg.h"
#include "cli/volume_arg.h"
#include "common/text_format.h"
#include "common/translation.h"
#include "fs/volume.h"
#ifdef DELVORA_HAVE_DRAW
#include "cli/qt_module.h"
#endif

namespace delvora::cli {
namespace {

void PrintRegion(const Env& env, const DiskRegion& region, std::string& out) {
    const std::string_view label = Tr("DiskMap", StyleOfRegion(region.kind).label.data());
    if (env.json) {
        out += Format("{\"type\":%u,\"label\":", region.kind);
        AppendJsonString(out, label);
        out += Format(",\"first\":%llu,\"last\":%llu}\n", static_cast<unsigned long long>(region.first),
                      static_cast<unsigned long long>(region.last));
    } else {
        out += Format("%u\t%.*s\t%llu\t%llu\n", region.kind, static_cast<int>(label.size()), label.data(),
                      static_cast<unsigned long long>(region.first), static_cast<unsigned long long>(region.last));
    }
}

void PrintMark(const Env& env, const MapMark& mark, std::string& out) {
    const auto first = static_cast<unsigned long long>(mark.first), last = static_cast<unsigned long long>(mark.last);
    if (env.json)
        out += Format("{\"mark\":true,\"first\":%llu,\"last\":%llu}\n", first, last);
    else
        out += Format("mark\t\t%llu\t%llu\n", first, last);
}

int Map(Env& env, const Args& args) {
    if (args.Positional().size() != 1) return Fail(kUsage, "map takes one SOURCE");
    const auto itemPath = args.Value("--item");
    const auto itemId = args.Value("--id");
    if (itemPath && itemId) return Fail(kUsage, "give --item or --id, not both");
    uint64_t id = 0;
    if (itemId && !ParseNumber(*itemId, id)) return Fail(kUsage, "option --id: not a number: " + *itemId);
    const auto png = args.Value("--png");
#ifndef DELVORA_HAVE_DRAW
    if (png) return Fail(kFailed, "this build draws no pictures (built without Qt)");
#else
    // The painter is in the Qt module: a missing one is said before any work.
    const QtModule* qt = nullptr;
    if (std::string error; png && !(qt = LoadQtModule(error))) return Fail(kFailed, error);
#endif

    OpenedVolume opened;
    // The layout needs only the boot sector and tables; an item needs the tree.
    if (const int rc = OpenVolumeArg(env, args, opened, itemPath || itemId); rc != kOk) return rc;
    Volume& volume = *opened.volume;
    DiskMap map;
    if (!LoadVolumeRegions(volume, map)) return Fail(kFailed, "the volume gives no layout");

    if (itemPath || itemId) {
        FileItem* item = itemPath ? FindItemArg(*volume.RootItem(), *itemPath) : FindItemById(*volume.RootItem(), id);
        if (!item) return Fail(kFailed, "no such item: " + (itemPath ? *itemPath : "--id " + *itemId));
        if (!MarkItemSectors(volume, item, map) && item->size > 0)
            return Fail(kFailed, "the volume gives no sectors for " + FullPath(*item));
    }

    std::string out;
    if (!env.json) out += "type\tlabel\tfirst\tlast\n";
    for (const DiskRegion& region : map.Regions()) PrintRegion(env, region, out);
    for (const MapMark& mark : map.Marks()) PrintMark(env, mark, out);
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0)
        return Fail(kFailed, "writing failed");
#ifdef DELVORA_HAVE_DRAW
    if (png) {
        std::string error;
        if (!qt->saveDiskMapPicture(map, *png, error)) return Fail(kFailed, error);
    }
#endif
    return kOk;
}

const bool kRegistered = RegisterCommand(
    {"map",
     "map SOURCE [-p N | --start S --type T] [--json] [--item PATH | --id N] [--png FILE]",
     "print a volume's regions (volume-relative sectors, inclusive) and an item's marked sectors; "
     "--png draws the disk map",
     WithVolumeOptions({"--item", "--id", "--png"}),
     {},
     &Map});

}  // namespace
}  // namespace delvora::cli
