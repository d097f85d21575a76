#include "case/keyword_search_worker.h"

#include <algorithm>
#include <memory>
#include <new>

#include "common/options.h"
#include "common/text_format.h"
#include "common/translation.h"
#include "disk/data_source.h"
#include "disk/filled_ranges.h"
#include "fs/volume.h"
#include "search/search_terms.h"

namespace delvora {
namespace {

void RunSearch(CaseWorkspace& workspace, CaseItem& folder, Volume& volume, uint64_t startSector,
               uint64_t sectorCount) {
    const std::vector<KeywordSpec> keywords{KeywordOfItem(folder.text, folder.number)};
    // The folder keeps the first hits up to the limit; the rest are only
    // counted, so that a search for a common byte cannot take all memory.
    const uint64_t limit = static_cast<uint64_t>(std::max(workspace.Options().maxResultHits, 0));
    uint64_t kept = 0, more = 0;
    bool outOfMemory = false;
    ByteRangeSet filled;
    {
        FillRecorder recorder(filled);
        SearchKeywordBatched(
            volume, keywords, startSector, sectorCount, [&workspace] { return workspace.IsBusy() != 0; },
            [&](std::vector<KeywordHit>& batch) {
                const uint64_t take = std::min<uint64_t>(batch.size(), limit - kept);
                more += batch.size() - take;
                batch.resize(static_cast<size_t>(take));
                StoreHits(folder, volume, batch);
                kept += take;
                return true;
            },
            &outOfMemory);
    }
    Log& log = workspace.Context().Logger();
    if (more > 0)
        log.AppendLog(Format(Tr("KeywordSearchWorker", "%s: 只列出前 %llu 个查找结果, 另有 %llu 个未列出"), folder.name.c_str(),
                             static_cast<unsigned long long>(kept), static_cast<unsigned long long>(more)));
    if (outOfMemory) log.AppendLog(Format(Tr("KeywordSearchWorker", "%s: 内存不足, 查找未完成"), folder.name.c_str()));
    if (!filled.Empty())
        log.AppendLog(Format(Tr("KeywordSearchWorker", "%s: %llu 个扇区无法读取, 按零查找 (源字节 %s)"), folder.name.c_str(),
                             static_cast<unsigned long long>((filled.TotalBytes() + 511) / 512),
                             filled.Text().c_str()));
    workspace.SetBusy(0);
    workspace.Events().Refresh();
}

}  // namespace

CaseItem* PrepareResultFolder(CaseWorkspace& workspace, const CaseItem& keyword) {
    CaseItem* group = workspace.Root().FindChild(kSearchGroupName);
    if (!group) return nullptr;
    const std::string name = keyword.name + kResultFolderSuffix;
    if (CaseItem* existing = group->FindChild(name)) {
        existing->children.clear();
        existing->number = keyword.number;
        existing->text = keyword.text;
        return existing;
    }
    auto folder = std::make_unique<CaseItem>(name, node_kinds::kSearchFolder);
    folder->number = keyword.number;
    folder->text = keyword.text;
    folder->SetImages(6, 7);
    return group->AddChild(std::move(folder));
}

void StoreHits(CaseItem& folder, Volume& volume, std::vector<KeywordHit>& hits) {
    try {
        folder.children.reserve(folder.children.size() + hits.size());
        for (KeywordHit& hit : hits) {
            auto item = std::make_unique<CaseItem>(std::string(), node_kinds::kSearchHit);
            item->hitText = std::move(hit.hitText);
            item->hitFile = ItemRef(volume, hit.file);
            item->position = hit.position;
            item->offset = hit.offset;
            item->byteOffset = hit.byteOffset;
            item->encoding = std::move(hit.encoding);
            item->name = item->hitText;
            folder.children.push_back(std::move(item));
        }
    } catch (const std::bad_alloc&) {
        // The hits stored so far stay; the rest are lost with the memory.
    }
}

int StartKeywordSearch(CaseWorkspace& workspace, const SearchRequest& request) {
    if (workspace.RefuseIfBusy()) return kSearchBusy;
    if (!request.keyword || !request.volume || !request.volume->GetDataSource()) return kSearchNoCase;
    CaseItem* folder = nullptr;
    try {
        folder = PrepareResultFolder(workspace, *request.keyword);
    } catch (const std::bad_alloc&) {
        return kSearchNoGroup;
    }
    if (!folder) return kSearchNoGroup;
    Volume* volume = request.volume;
    const uint64_t start = request.startSector, count = request.sectorCount;
    // Busy is set before the worker exists, so no other command slips in.
    workspace.SetBusy(1);
    CaseWorkspace* pWorkspace = &workspace;
    if (!workspace.StartWorker([pWorkspace, folder, volume, start, count] {
            RunSearch(*pWorkspace, *folder, *volume, start, count);
        }))
        RunSearch(workspace, *folder, *volume, start, count);
    return kSearchDone;
}

}  // namespace delvora
