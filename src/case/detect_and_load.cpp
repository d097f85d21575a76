#include "case/detect_and_load.h"

#include <chrono>
#include <new>
#include <thread>

#include "common/options.h"
#include "common/text_format.h"
#include "common/translation.h"

namespace delvora {
namespace {

void Pause(int ms) {
    // A fixed pause of the protocol (lets the front end draw), not a wait
    // for anything.
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string ElapsedLine(const CaseWorkspace& workspace) {
    return Format(Tr("DetectAndLoad", "分析文件系统耗时: %u 毫秒"), workspace.MillisecondsSinceLoadStart());
}

}  // namespace

void RunLoadingWorker(CaseWorkspace& workspace, DataItem& item, Volume& volume) {
    const CoreContext& context = workspace.Context();
    Progress& progress = context.Prog();
    workspace.SetBusy(1);
    workspace.SetStoppable(0);
    workspace.SetStopMessage(Tr("DetectAndLoad", kLoadingStopMessage));
    progress.SetProgressText(Tr("DetectAndLoad", kLoadingText));
    progress.StartProgress();

    LoadTreeGuarded(volume, context.Logger());
    const LoadTraits traits = volume.Traits();
    if (traits.reportErrorsAfterLoad) item.source->SetReportErrors(1);

    const int pauseMs = context.Options().treeViewPauses ? traits.pauseMs : 0;
    if (traits.pauseBeforeTreeTexts) Pause(pauseMs);
    progress.SetProgressText(Tr("DetectAndLoad", kTreeText));
    workspace.SetStopMessage(Tr("DetectAndLoad", kTreeStopMessage));
    if (!traits.pauseBeforeTreeTexts) Pause(pauseMs);

    workspace.Events().BuildCaseTree(item);
    workspace.SetBusy(0);
    if (progress.Exists()) {
        progress.StopProgress();
        progress.SetProgressText(Tr("DetectAndLoad", kIdleProgressText));
    }
    context.Logger().AppendLog(ElapsedLine(workspace));
}

int DetectAndLoad(CaseWorkspace& workspace, DataItem& item) {
    const CoreContext& context = workspace.Context();
    // A worker that cleared busy may still be on its last lines (its elapsed
    // time among them): it ends before this load takes the tick and busy.
    workspace.WaitForWorker();
    workspace.TakeLoadStartTick();

    // Room for the volume now, so that appending it cannot fail later.
    try {
        item.volumes.reserve(item.volumes.size() + 1);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    OpenedVolumeResult opened =
        OpenVolume({item.source.get(), item.typeId, item.startSector, item.totalSectors}, context,
                   [&workspace](VolumeClass volumeClass) { return workspace.MakeVolumeFor(volumeClass); });
    if (!opened.volume) return 0;
    // The case file keeps exFAT's own type byte, not the partition's 0x07.
    item.typeId = opened.typeId;
    std::unique_ptr<Volume> volume = std::move(opened.volume);
    const std::string& line = opened.loadLine;

    // Remote sources load on the worker too, where they can be stopped;
    // their connection serves one reader at a time.
    Volume& loaded = *volume;
    // The volume joins the item and the load line is logged before the
    // worker starts, so the worker never sees an item without its volume
    // and its elapsed-time line always follows the load line. Busy is set
    // here already so that no command slips in before the worker runs.
    item.volumes.push_back(std::move(volume));
    context.Logger().AppendLog(line);
    workspace.SetBusy(1);
    workspace.SetStoppable(0);
    workspace.SetStopMessage(Tr("DetectAndLoad", kLoadingStopMessage));
    DataItem* pItem = &item;
    Volume* pVolume = &loaded;
    CaseWorkspace* pWorkspace = &workspace;
    if (!workspace.StartWorker([pWorkspace, pItem, pVolume] { RunLoadingWorker(*pWorkspace, *pItem, *pVolume); })) {
        // No thread to be had: load here rather than not at all.
        RunLoadingWorker(workspace, item, loaded);
    }
    return 1;
}

}  // namespace delvora
