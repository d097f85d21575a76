// ls: the whole tree of a volume, one row per item with the file list's
// ten columns (tab-separated, heading first), or one JSON object per item.
#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "cli/hash_arg.h"
#include "cli/item_arg.h"
#include "cli/residual_arg.h"
#include "cli/volume_arg.h"
#include "common/text_format.h"
#include "common/translation.h"
#include "fs/file_list_row.h"
#include "fs/file_tree.h"
#include "fs/volume.h"
#include "recovery/export_item.h"

namespace delvora::cli {
namespace {

enum class Filter { All, Deleted, Live };

int Ls(Env& env, const Args& args) {
    env.options.verifyDeletedFolders = args.Flag("--verify-deleted-folders") ? 1 : env.options.verifyDeletedFolders;
    if (args.Flag("--no-ignore-zero-time")) env.options.ignoreZeroTime = 0;
    if (args.Flag("--no-ignore-zero-date")) env.options.ignoreZeroDate = 0;
    const Filter filter = (args.Flag("-r") || args.Flag("--deleted")) ? Filter::Deleted
                          : args.Flag("--live")                       ? Filter::Live
                                                                      : Filter::All;
    if (args.Positional().size() > 1) return Fail(kUsage, "ls takes one SOURCE");
    OpenedVolume opened;
    if (const int rc = OpenVolumeArg(env, args, opened); rc != kOk) return rc;
    if (const int rc = ResidualArg(env, args, opened); rc != kOk) return rc;
    Volume& volume = *opened.volume;
    FileHashing hashing;
    if (const int rc = FileHashingArgs(args, hashing); rc != kOk) return rc;

    std::string out;
    out.reserve(1 << 20);
    auto flush = [&] {
        std::fwrite(out.data(), 1, out.size(), stdout);
        out.clear();
    };
    if (!env.json) {
        const auto& headings = FileListHeadings();
        for (size_t i = 0; i < headings.size(); ++i) {
            if (i) out.push_back('\t');
            out += Tr("FileListRow", headings[i].data());
        }
        out += hashing.Headings();
        out.push_back('\n');
    }
    // Depth-first, children in their sorted order; the numbers are what
    // --id takes, so filtered rows keep the numbers of the whole walk.
    WalkNumbered(*volume.RootItem(), [&](FileItem& item, uint64_t id, const std::string& path) {
        const bool show = filter == Filter::All || (filter == Filter::Deleted) == item.IsDeleted();
        if (!show) return true;
        if (env.json) {
            std::string object = FileListJson(item, &volume, &path);
            if (hashing.kinds) object.insert(object.size() - 1, hashing.JsonFields(volume, item));
            out += "{\"id\":" + std::to_string(id) + "," + object.substr(1);
        } else {
            // A name from a damaged directory may hold control bytes; they
            // must neither break the row apart nor reach the terminal.
            AppendFileListRow(out, item, &volume, path);
            if (hashing.kinds) out += hashing.Cells(volume, item);
        }
        out.push_back('\n');
        if (out.size() > (1u << 20)) flush();
        return true;
    }, '\\', FoundTop(args, opened));
    flush();
    return std::fflush(stdout) == 0 ? kOk : kFailed;
}

const bool kRegistered = RegisterCommand(
    {"ls",
     "ls SOURCE [-p N | --start S --type T] [--json] [-r|--deleted|--live] [--verify-deleted-folders]\n"
     "      [--no-ignore-zero-time] [--no-ignore-zero-date] [--hash md5,sha1,sha256] [--hash-sets [--hash-db DB]]\n"
     "      [--skip-allocated] [--residual [--html] [--doc] [--search-loaded] [--ignore-not-parent] [--range FIRST-LAST]]",
     "list a volume's files and folders, live and deleted",
     WithResidualOptions(WithVolumeOptions({"--hash", "--hash-db"})),
     WithResidualFlags({"-r", "--deleted", "--live", "--verify-deleted-folders", "--no-ignore-zero-time",
                        "--no-ignore-zero-date", "--hash-sets"}),
     &Ls});

}  // namespace
}  // namespace delvora::cli
