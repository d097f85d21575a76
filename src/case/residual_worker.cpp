#include "case/residual_worker.h"

#include "case/detect_and_load.h"
#include "common/translation.h"
#include "recovery/residual_search.h"

namespace delvora {

void RunResidualWorker(CaseWorkspace& workspace, Volume& volume) {
    Progress& progress = workspace.Context().Prog();
    progress.StartProgress();
    volume.SetBusyFlag(&workspace.BusyFlag());
    // The search rebuilds the found items: their digests go with them.
    workspace.Hashes().Forget(&volume);
    RunResidualSearch(volume);
    volume.SetBusyFlag(nullptr);
    volume.Tree().MarkCurrent(nullptr);
    // A stopped search may still have replaced the found items: the views
    // are rebuilt either way, so none keeps a pointer into freed folders.
    workspace.SetStoppable(0);
    workspace.SetStopMessage(Tr("DetectAndLoad", kTreeStopMessage));
    workspace.Events().Refresh();
    workspace.SetBusy(0);
    if (progress.Exists()) progress.StopProgress();
}

bool StartResidualSearch(CaseWorkspace& workspace, DataItem& item, Volume& volume) {
    if (workspace.RefuseIfBusy()) return false;
    bool owned = false;
    for (const auto& v : item.volumes) owned = owned || v.get() == &volume;
    if (!owned || !item.source) return false;
    // Waits for a worker that cleared busy but is still on its last lines.
    workspace.WaitForWorker();
    workspace.SetBusy(1);
    workspace.SetStoppable(1);
    Volume* pVolume = &volume;
    CaseWorkspace* pWorkspace = &workspace;
    if (!workspace.StartWorker([pWorkspace, pVolume] { RunResidualWorker(*pWorkspace, *pVolume); }))
        RunResidualWorker(workspace, volume);
    return true;
}

}  // namespace delvora
