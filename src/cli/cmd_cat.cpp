// cat: one item's data, live or deleted, to standard output.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/cli.h"
#include "cli/item_arg.h"
#include "cli/residual_arg.h"
#include "cli/volume_arg.h"
#include "disk/filled_ranges.h"
#include "recovery/export_item.h"

namespace delvora::cli {
namespace {

constexpr const char* kUsageText =
    "cat SOURCE (PATH | --id N) [-p N | --start S --type T]"
    " [--skip-allocated] [--residual [--html] [--doc] [--search-loaded] [--ignore-not-parent] [--range FIRST-LAST]]";

int Cat(Env& env, const Args& args) {
    const size_t paths = args.Positional().size() - (args.Positional().empty() ? 0 : 1);
    if (paths + args.Values("--id").size() != 1) return Fail(kUsage, std::string("usage: delvora-cli ") + kUsageText);
    OpenedVolume opened;
    if (const int rc = OpenVolumeArg(env, args, opened); rc != kOk) return rc;
    if (const int rc = ResidualArg(env, args, opened); rc != kOk) return rc;
    std::vector<NamedItem> named;
    if (const int rc = NamedItems(args, 1, *opened.volume->RootItem(), named, FoundTop(args, opened)); rc != kOk)
        return rc;
    const std::string& what = named.front().text;
    FileItem* item = named.front().item;
    if (!item) return Fail(kFailed, "no such item: " + what);
    if (item->IsDirectory() || item == opened.volume->RootItem() || item == opened.volume->RecycleItem()) return Fail(kFailed, what + " is a folder");
    ByteRangeSet unreadable;
    const CopyStatus status =
        CopyItemData(*opened.volume, *item, STDOUT_FILENO, nullptr, CopyReport::kMessages, nullptr, &unreadable);
    if (unreadable.TotalBytes() > 0) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s: %llu bytes unreadable, filled with zeros: %s\n", what.c_str(),
                     static_cast<unsigned long long>(unreadable.TotalBytes()), unreadable.Text().c_str());
    }
    switch (status) {
        case CopyStatus::kDone: return kOk;
        case CopyStatus::kWriteFailed: return Fail(kFailed, std::string("writing to standard output failed: ") + std::strerror(errno));
        default: return Fail(kFailed, "reading " + what + " failed");
    }
}

const bool kRegistered = RegisterCommand({"cat", kUsageText,
                                          "write one item's data (live or deleted) to standard output",
                                          WithResidualOptions(WithVolumeOptions({"--id"})), WithResidualFlags({}), &Cat});

}  // namespace
}  // namespace delvora::cli
