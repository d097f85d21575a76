#include "case/keyword_search_worker.h"

#include <memory>
#include <new>

#include "disk/data_source.h"
#include "fs/volume.h"
#include "search/search_terms.h"

namespace delvora {
namespace {

void RunSearch(CaseWorkspace& workspace, CaseItem& folder, Volume& volume, uint64_t startSector,
               uint64_t sectorCount) {
    std::vector<KeywordHit> hits;
    const std::vector<KeywordSpec> keywords{KeywordOfItem(folder.text, folder.number)};
    SearchKeyword(volume, keywords, startSector, sectorCount, [&workspace] { return workspace.IsBusy() != 0; }, hits);
    StoreHits(folder, volume, hits);
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
            item->volume = &volume;
            item->position = hit.position;
            item->offset = hit.offset;
            item->byteOffset = hit.byteOffset;
            item->encoding = std::move(hit.encoding);
            item->fileItem = hit.file;
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
    if (!volume->GetDataSource()->IsLocal()) {
        RunSearch(workspace, *folder, *volume, start, count);
        return kSearchDone;
    }
    CaseWorkspace* pWorkspace = &workspace;
    if (!workspace.StartWorker([pWorkspace, folder, volume, start, count] {
            RunSearch(*pWorkspace, *folder, *volume, start, count);
        }))
        RunSearch(workspace, *folder, *volume, start, count);
    return kSearchDone;
}

}  // namespace delvora
