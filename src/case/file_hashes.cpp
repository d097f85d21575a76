#include "case/file_hashes.h"

#include "case/case_workspace.h"
#include "case/data_item.h"
#include "common/text_format.h"
#include "common/translation.h"
#include "fs/file_tree.h"
#include "fs/volume.h"
#include "recovery/export_item.h"

namespace delvora {
namespace {

bool IsFile(const FileItem& item) { return !item.IsDirectory() && item.childCount == 0; }

}  // namespace

bool HashResults::Find(const Volume* volume, const FileItem* item, FileHashRecord& out) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_records.find({volume, item});
    if (it == m_records.end() || it->second.ref.Item() != item) return false;
    out = it->second.record;
    return true;
}

void HashResults::Put(Volume& volume, FileItem& item, FileHashRecord record) {
    std::lock_guard lock(m_mutex);
    m_records[{&volume, &item}] = {ItemRef(volume, &item), std::move(record)};
}

void HashResults::Forget(const Volume* volume) {
    std::lock_guard lock(m_mutex);
    for (auto it = m_records.lower_bound({volume, nullptr}); it != m_records.end() && it->first.first == volume;)
        it = m_records.erase(it);
}

bool HashResults::Empty() const {
    std::lock_guard lock(m_mutex);
    return m_records.empty();
}

HashRunSummary HashFolder(CaseWorkspace& workspace, Volume& volume, FileItem& folder, HashResults& results,
                          const std::string& dbPath) {
    HashRunSummary summary;
    Progress& progress = workspace.Context().Prog();
    Log& log = workspace.Context().Logger();
    HashSetStore store;
    // Without a database the files are hashed all the same; a database that
    // cannot be read is said once.
    const bool haveSets = store.Open(dbPath, false);
    if (!haveSets && !store.Error().starts_with("no hash-set database")) log.AppendLog(store.Error());
    uint32_t total = IsFile(folder) ? 1 : 0;
    ForEachBelow(folder, [&total](const FileItem& item) {
        total += IsFile(item);
        return true;
    });
    progress.SetProgressText(Tr("FileHashes", "计算哈希"));
    progress.SetProgressRange(0, total);
    progress.SetProgressPos(0);
    auto hashOne = [&](FileItem& item) {
        if (!IsFile(item)) return true;
        if (!workspace.IsBusy()) {
            summary.stopped = true;
            return false;
        }
        Hasher hasher(kHashMd5 | kHashSha1 | kHashSha256);
        FileHashRecord record;
        if (HashItemData(volume, item, hasher) != CopyStatus::kDone) {
            ++summary.failed;
            log.AppendLog(Format(Tr("FileHashes", "读文件错!%s"), FullPath(item).c_str()));
        } else {
            record.digests = hasher.Finish();
            if (haveSets) record.match = store.Lookup(record.digests);
            summary.known += record.match.status == HashSetStatus::kKnown;
            summary.notable += record.match.status == HashSetStatus::kNotable;
            results.Put(volume, item, std::move(record));
        }
        ++summary.files;
        // The pane is told every so often, not for each of 100,000 files.
        if ((summary.files & 63) == 0 || summary.files == total) {
            progress.SetProgressPos(summary.files);
            progress.SetPaneText(Format("%u/%u", summary.files, total));
        }
        return true;
    };
    if (IsFile(folder)) hashOne(folder);
    else ForEachBelow(folder, hashOne);
    log.AppendLog(Format(Tr("FileHashes", "计算哈希: %u 个文件, 已知 %u 个, 关注 %u 个, 失败 %u 个%s"), summary.files, summary.known,
                         summary.notable, summary.failed, summary.stopped ? Tr("FileHashes", " (已停止)") : ""));
    return summary;
}

namespace {

void RunHashWorker(CaseWorkspace& workspace, Volume& volume, FileItem& folder, HashResults& results,
                   const std::string& dbPath) {
    Progress& progress = workspace.Context().Prog();
    progress.StartProgress();
    HashFolder(workspace, volume, folder, results, dbPath);
    workspace.Events().Refresh();
    workspace.SetBusy(0);
    if (progress.Exists()) progress.StopProgress();
}

}  // namespace

bool StartHashing(CaseWorkspace& workspace, DataItem& item, Volume& volume, FileItem& folder, HashResults& results,
                  const std::string& dbPath) {
    if (workspace.RefuseIfBusy()) return false;
    bool owned = false;
    for (const auto& v : item.volumes) owned = owned || v.get() == &volume;
    if (!owned || !item.source) return false;
    workspace.WaitForWorker();
    workspace.SetBusy(1);
    workspace.SetStoppable(1);
    CaseWorkspace* pWorkspace = &workspace;
    Volume* pVolume = &volume;
    FileItem* pFolder = &folder;
    HashResults* pResults = &results;
    if (!item.source->IsLocal() || !workspace.StartWorker([=] { RunHashWorker(*pWorkspace, *pVolume, *pFolder, *pResults, dbPath); }))
        RunHashWorker(workspace, volume, folder, results, dbPath);
    return true;
}

}  // namespace delvora
