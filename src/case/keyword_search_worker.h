#pragma once
// The keyword search as a case operation: the result folder under "搜索"
// named after the keyword, the worker (or, for remote sources, the inline
// run) and the hits it leaves in the folder.
#include <cstdint>
#include <string>
#include <vector>

#include "case/case_workspace.h"
#include "common/translation.h"
#include "search/keyword_search.h"

namespace delvora {

inline constexpr const char* kResultFolderSuffix = TrNoop("KeywordSearchWorker", "  的查找结果");

/// What the search dialog hands over.
struct SearchRequest {
    const CaseItem* keyword = nullptr;
    Volume* volume = nullptr;
    uint64_t startSector = 0;  // absolute source sector
    uint64_t sectorCount = 0;
};

/// Exit codes of the search worker.
enum SearchWorkerCode : int { kSearchDone = 0, kSearchNoCase = 1, kSearchBusy = 3, kSearchNoGroup = 5 };

/// The result folder of a keyword under "搜索": emptied when it exists,
/// else a copy of the keyword (its type and text) named keyword name +
/// "  的查找结果", kind 6, images 6 and 7, appended. Null when the case has
/// no "搜索" group.
CaseItem* PrepareResultFolder(CaseWorkspace& workspace, const CaseItem& keyword);

/// Turns hits into kind-9 items, the children of folder in hit order.
void StoreHits(CaseItem& folder, Volume& volume, std::vector<KeywordHit>& hits);

/// The search command after its dialog: "线程忙!" while busy; otherwise
/// prepares the result folder here (the views that show it must let it go
/// first) and searches on the worker for a local source, inline for a
/// remote one. Answers a SearchWorkerCode; kSearchDone once started.
int StartKeywordSearch(CaseWorkspace& workspace, const SearchRequest& request);

}  // namespace delvora
