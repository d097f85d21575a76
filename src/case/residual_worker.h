#pragma once
// The residual-search command on a loaded volume: refused with "线程忙!"
// while busy; on the case's worker for a local source (stoppable through
// busy), inline for a remote one; the case tree is refreshed afterwards.
#include "case/case_workspace.h"
#include "case/data_item.h"
#include "fs/volume.h"

namespace delvora {

/// Starts the search. Answers false when it was refused (busy) or the
/// volume is not one of the item's.
bool StartResidualSearch(CaseWorkspace& workspace, DataItem& item, Volume& volume);

/// The worker's part, run on the calling thread with busy set: the search,
/// the current-item mark cleared, the tree view rebuilt, busy cleared.
void RunResidualWorker(CaseWorkspace& workspace, Volume& volume);

}  // namespace delvora
