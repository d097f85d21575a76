// ls: the whole tree of a volume, one row per item with the file list's
// ten columns (tab-separated, heading first), or one JSON object per item.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli.h"
#include "common/text_format.h"
#include "disk/data_source.h"
#include "fs/file_list_row.h"
#include "fs/file_tree.h"
#include "fs/volume.h"
#include "fs/volume_registry.h"

namespace delvora::cli {
namespace {

struct LoadedVolume {
    std::unique_ptr<DataSource> source;
    std::unique_ptr<Volume> volume;
};

// Opens SOURCE and loads the volume at --start/--type, or the bare volume
// image recognised by its boot sector.
int OpenVolume(Env& env, const Args& args, LoadedVolume& out) {
    const auto start = std::chrono::steady_clock::now();
    if (args.Positional().size() != 1) return Fail(kUsage, "ls needs one SOURCE");
    if (args.Value("-p")) return Fail(kUsage, "-p is not available yet; use --start and --type");
    uint64_t startSector = 0, typeByte = 0;
    std::string error;
    if (!args.Number("--start", startSector, error) || !args.Number("--type", typeByte, error))
        return Fail(kUsage, error);
    if (startSector > UINT32_MAX || typeByte > 0xFF) return Fail(kUsage, "--start or --type out of range");

    out.source = std::make_unique<DataSource>(env.context);
    out.source->SetKind(SourceKind::Device);
    out.source->SetPath(args.Positional()[0]);
    if (!out.source->Open()) return Fail(kFailed, "cannot open " + args.Positional()[0] + ": " + out.source->LastErrorText());
    if (!args.Value("--type")) {
        std::vector<uint8_t> head(65536);
        out.source->GetData(head.data(), static_cast<uint32_t>(head.size()), static_cast<uint32_t>(startSector));
        typeByte = RecogniseVolume(head);
        if (typeByte == 0) return Fail(kFailed, "no volume recognised in " + args.Positional()[0]);
    }
    const Classification kind = ClassifyTypeByte(static_cast<uint8_t>(typeByte));
    out.volume = MakeVolume(kind.volumeClass);
    if (!out.volume) return Fail(kFailed, Format("no reader for partition type 0x%02X", unsigned(typeByte)));
    const uint64_t sectors = out.source->SizeBytes() / 512;
    out.volume->SetDataSource(out.source.get());
    out.volume->SetStartSector(static_cast<uint32_t>(startSector));
    out.volume->SetTotalSectors(sectors > startSector ? static_cast<uint32_t>(std::min<uint64_t>(sectors - startSector, UINT32_MAX)) : 0);
    out.volume->SetFatType(kind.fatType);
    out.volume->SetContext(env.context);
    if (!out.volume->Prepare()) return Fail(kFailed, "cannot load the file system");
    out.volume->LoadTree();
    out.volume->ReleaseLoadTables();
    if (out.volume->Traits().reportErrorsAfterLoad) out.source->SetReportErrors(1);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    env.log.AppendLog(Format("分析文件系统耗时: %d 毫秒", static_cast<int>(ms.count())));
    return kOk;
}

enum class Filter { All, Deleted, Live };

int Ls(Env& env, const Args& args) {
    env.options.verifyDeletedFolders = args.Flag("--verify-deleted-folders") ? 1 : env.options.verifyDeletedFolders;
    if (args.Flag("--no-ignore-zero-time")) env.options.ignoreZeroTime = 0;
    if (args.Flag("--no-ignore-zero-date")) env.options.ignoreZeroDate = 0;
    const Filter filter = (args.Flag("-r") || args.Flag("--deleted")) ? Filter::Deleted
                          : args.Flag("--live")                       ? Filter::Live
                                                                      : Filter::All;
    LoadedVolume loaded;
    if (const int rc = OpenVolume(env, args, loaded); rc != kOk) return rc;
    Volume& volume = *loaded.volume;

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
            out += headings[i];
        }
        out.push_back('\n');
    }
    // Depth-first, children in their sorted order; paths are built from the
    // parent's so that no row walks up the tree.
    std::vector<std::pair<const FileItem*, std::string>> stack;
    const FileItem* root = volume.RootItem();
    for (uint32_t i = root->childCount; i-- > 0;) stack.emplace_back(&root->children[i], std::string());
    while (!stack.empty()) {
        auto [item, parentPath] = std::move(stack.back());
        stack.pop_back();
        std::string path = parentPath + "\\" + (item->name ? item->name : "");
        const bool show = filter == Filter::All || (filter == Filter::Deleted) == item->IsDeleted();
        if (show) {
            if (env.json) {
                out += FileListJson(*item, &volume, &path);
            } else {
                const auto cells = FileListRowTexts(*item, &volume, &path);
                for (size_t i = 0; i < cells.size(); ++i) {
                    if (i) out.push_back('\t');
                    // A name from a damaged directory may hold control
                    // bytes; they must not break the row apart.
                    for (char c : cells[i]) out.push_back(static_cast<unsigned char>(c) < 0x20 ? '?' : c);
                }
            }
            out.push_back('\n');
            if (out.size() > (1u << 20)) flush();
        }
        for (uint32_t i = item->childCount; i-- > 0;) stack.emplace_back(&item->children[i], path);
    }
    flush();
    return std::fflush(stdout) == 0 ? kOk : kFailed;
}

const bool kRegistered = RegisterCommand(
    {"ls",
     "ls SOURCE [-p N | --start S --type T] [--json] [-r|--deleted|--live] [--verify-deleted-folders]",
     "list a volume's files and folders, live and deleted",
     {"-p", "--start", "--type"},
     &Ls});

}  // namespace
}  // namespace delvora::cli
