// cat: one item's data, live or deleted, to standard output.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/cli.h"
#include "cli/volume_arg.h"
#include "fs/item_path.h"
#include "recovery/export_item.h"

namespace delvora::cli {
namespace {

int Cat(Env& env, const Args& args) {
    if (args.Positional().size() != 2) return Fail(kUsage, "usage: delvora-cli cat SOURCE PATH [-p N]");
    OpenedVolume opened;
    if (const int rc = OpenVolumeArg(env, args, opened); rc != kOk) return rc;
    const std::string& path = args.Positional()[1];
    FileItem* item = FindItemByPath(*opened.volume->RootItem(), path);
    if (!item) return Fail(kFailed, "no such item: " + path);
    if (item->IsDirectory() || item == opened.volume->RootItem()) return Fail(kFailed, path + " is a folder");
    switch (CopyItemData(*opened.volume, *item, STDOUT_FILENO)) {
        case CopyStatus::kDone: return kOk;
        case CopyStatus::kWriteFailed: return Fail(kFailed, std::string("writing to standard output failed: ") + std::strerror(errno));
        default: return Fail(kFailed, "reading " + path + " failed");
    }
}

const bool kRegistered = RegisterCommand({"cat", "cat SOURCE PATH [-p N | --start S --type T]",
                                          "write one item's data (live or deleted) to standard output",
                                          kVolumeOptions, &Cat});

}  // namespace
}  // namespace delvora::cli
