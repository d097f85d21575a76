// case: saves chosen volumes as a case file and reopens case files, loading
// every item again as the workstation does.
#include <cstdio>
#include <filesystem>
#include <vector>

#include "case/add_data.h"
#include "case/case_file.h"
#include "case/case_workspace.h"
#include "cli/cli.h"
#include "cli/search_case.h"
#include "cli/virtual_arg.h"
#include "cli/volume_arg.h"
#include "common/text_format.h"
#include "disk/disk_scan.h"
#include "disk/partition_types.h"
#include "fs/volume_registry.h"

namespace delvora::cli {
namespace {

// Splits text at its last separator; false when there is none or the part
// after it is empty.
bool SplitLast(const std::string& text, char separator, std::string& before, std::string& after) {
    const size_t at = text.rfind(separator);
    if (at == std::string::npos || at == 0 || at + 1 >= text.size()) return false;
    before = text.substr(0, at);
    after = text.substr(at + 1);
    return true;
}

bool AllDigits(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

// Turns one ITEM argument into the row the add-data flow takes:
// SOURCE:N (partition row N of the disk), SOURCE@START:TYPE, or SOURCE alone
// (a bare volume image recognised by its boot sector); SOURCE may be remote.
int ResolveItem(Env& env, const std::string& text, ChosenRow& row, std::optional<RemoteChoice>& remote) {
    std::string source, rest;
    VolumeChoice choice;
    uint64_t value = 0;
    if (SplitLast(text, '@', source, rest)) {
        std::string start, type;
        uint64_t typeValue = 0;
        if (!SplitLast(rest, ':', start, type) || !ParseNumber(start, value) || !ParseNumber(type, typeValue))
            return Fail(kUsage, "bad item " + text + ": expected SOURCE@START:TYPE");
        choice.start = value;
        choice.type = typeValue;
        return ResolveVolume(env, source, choice, row, &remote);
    }
    std::string index;
    if (SplitLast(text, ':', source, index) && AllDigits(index)) {
        if (!ParseNumber(index, value)) return Fail(kUsage, "bad partition index in " + text);
        choice.partition = value;
        return ResolveVolume(env, source, choice, row, &remote);
    }
    return ResolveVolume(env, text, choice, row, &remote);
}

struct TreeCounts {
    uint64_t folders = 0, files = 0, deleted = 0;
};

TreeCounts CountTree(const FileItem& top) {
    TreeCounts counts;
    std::vector<const FileItem*> pending{&top};
    // Each item is visited once: the tree is a tree, built by the loader.
    while (!pending.empty()) {
        const FileItem* item = pending.back();
        pending.pop_back();
        for (uint32_t i = 0; i < item->childCount; ++i) {
            const FileItem& child = item->children[i];
            (child.IsDirectory() ? counts.folders : counts.files)++;
            if (child.IsDeleted()) ++counts.deleted;
            pending.push_back(&child);
        }
    }
    return counts;
}

void PrintItems(const Env& env, const CaseWorkspace& workspace) {
    size_t index = 0;
    for (const auto& item : workspace.Items()) {
        const DataSource& source = *item->source;
        if (env.json) {
            std::printf("{\"index\":%zu,\"name\":%s,\"typeId\":%u,\"startSector\":%llu,\"totalSectors\":%llu,"
                        "\"sourceKind\":%u,\"source\":%s,\"volumes\":[",
                        index, JsonString(item->name).c_str(), item->typeId,
                        static_cast<unsigned long long>(item->startSector),
                        static_cast<unsigned long long>(item->totalSectors),
                        static_cast<unsigned>(source.Kind()), JsonString(source.Path()).c_str());
        } else {
            // The names come from the case file: no terminal controls.
            std::printf("%zu\t%s\ttype 0x%02X\tstart %llu\ttotal %llu\t%s\n", index, EscapeControls(item->name).c_str(),
                        item->typeId, static_cast<unsigned long long>(item->startSector),
                        static_cast<unsigned long long>(item->totalSectors),
                        EscapeControls(source.Path()).c_str());
        }
        bool first = true;
        for (const auto& volume : item->volumes) {
            const TreeCounts tree = CountTree(*volume->RootItem());
            const TreeCounts found = CountTree(*volume->RecycleItem());
            const uint64_t foundItems = found.files + found.folders;
            if (env.json) {
                std::printf("%s{\"description\":%s,\"fileSystem\":%d,\"folders\":%llu,\"files\":%llu,"
                            "\"deleted\":%llu,\"found\":%llu}",
                            first ? "" : ",", JsonString(volume->Description()).c_str(), volume->FileSystemKind(),
                            static_cast<unsigned long long>(tree.folders), static_cast<unsigned long long>(tree.files),
                            static_cast<unsigned long long>(tree.deleted), static_cast<unsigned long long>(foundItems));
            } else {
                std::printf("\t%s\tfolders %llu\tfiles %llu\tdeleted %llu\tfound %llu\n",
                            EscapeControls(volume->Description()).c_str(),
                            static_cast<unsigned long long>(tree.folders), static_cast<unsigned long long>(tree.files),
                            static_cast<unsigned long long>(tree.deleted), static_cast<unsigned long long>(foundItems));
            }
            first = false;
        }
        if (env.json) std::printf("]}\n");
        ++index;
    }
}

// A volume from typed parameters: the one SOURCE with --virtual's choice.
int AddVirtual(Env& env, const Args& args, CaseWorkspace& workspace) {
    const auto& positional = args.Positional();
    if (positional.size() != 3) return Fail(kUsage, "usage: delvora-cli case save CASE.wsh SOURCE --virtual TYPE --start S");
    VirtualChoice choice;
    if (const int rc = VirtualChoiceArg(env, positional[2], args, choice); rc != kOk) return rc;
    VirtualVolumeChoice virtualChoice{PartitionTypeOf(choice.type), SourceName(env, positional[2]),
                                      choice.startSector, choice.blocks.fat,
                                      choice.blocks.ntfs, choice.blocks.ext2};
    DataItem* item = AddVirtualVolume(workspace, virtualChoice);
    workspace.WaitForWorker();
    return item ? kOk : Fail(kFailed, "cannot add " + positional[2] + " to the case");
}

int Save(Env& env, const Args& args) {
    const auto& positional = args.Positional();
    if (positional.size() < 3) return Fail(kUsage, "usage: delvora-cli case save CASE.wsh ITEM...");
    CaseWorkspace workspace(env.context);
    if (args.Value("--virtual")) {
        if (const int rc = AddVirtual(env, args, workspace); rc != kOk) return rc;
    }
    for (size_t i = args.Value("--virtual") ? positional.size() : 2; i < positional.size(); ++i) {
        ChosenRow row;
        std::optional<RemoteChoice> remote;
        const int resolved = ResolveItem(env, positional[i], row, remote);
        if (resolved != kOk) return resolved;
        DataItem* item = AddPartition(workspace, row, remote ? &*remote : nullptr);
        workspace.WaitForWorker();
        if (!item) return Fail(kFailed, "cannot add " + positional[i] + " to the case");
    }
    std::string error;
    if (!SaveCaseFile(workspace, positional[1], args.Flag("--no-save-items") ? 0 : 1, &error))
        return Fail(kFailed, "cannot save " + positional[1] + (error.empty() ? "" : ": " + error));
    PrintItems(env, workspace);
    return kOk;
}

int Open(Env& env, const Args& args) {
    const auto& positional = args.Positional();
    if (positional.size() != 2) return Fail(kUsage, "usage: delvora-cli case open CASE.wsh");
    CaseWorkspace workspace(env.context);
    std::string error;
    const int loaded = LoadCaseFile(workspace, positional[1], &error);
    workspace.WaitForWorker();
    // What was read before a failure is listed all the same.
    PrintItems(env, workspace);
    PrintCaseResults(env, workspace);
    if (!loaded) return Fail(kFailed, error.empty() ? "cannot load " + positional[1] : error);
    return kOk;
}

int Case(Env& env, const Args& args) {
    const auto& positional = args.Positional();
    if (positional.empty()) return Fail(kUsage, "case needs save or open");
    if (positional[0] == "save") return Save(env, args);
    if (positional[0] == "open") return Open(env, args);
    return Fail(kUsage, "unknown case command: " + positional[0]);
}

const bool kRegistered = RegisterCommand(
    {"case",
     "case save CASE.wsh ITEM... [--no-save-items] | case save CASE.wsh SOURCE --virtual TYPE --start S "
     "[--param NAME=VALUE]... | case open CASE.wsh",
     "save volumes as a case (ITEM: SOURCE:N, SOURCE@START:TYPE or an image; or one virtual volume); reopen and list "
     "a case",
     {"--virtual", "--start", "--param"}, {"--no-save-items"}, &Case});

}  // namespace
}  // namespace delvora::cli
