#include "case/detect_and_load.h"

#include <chrono>
#include <new>
#include <thread>

#include "common/text_format.h"

namespace delvora {
namespace {

void Pause(int ms) {
    // A fixed pause of the protocol (lets the front end draw), not a wait
    // for anything.
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string ElapsedLine(const CaseWorkspace& workspace) {
    return Format("分析文件系统耗时: %u 毫秒", workspace.MillisecondsSinceLoadStart());
}

// Loads the tree; what was read before a failure stays in the tree.
void LoadTreeGuarded(Volume& volume, Log& log) {
    try {
        volume.LoadTree();
    } catch (const std::bad_alloc&) {
        log.AppendLog("内存不足,文件系统未能全部加载!");
    } catch (const std::exception& e) {
        log.AppendLog(Format("加载文件系统出错: %s", e.what()));
    }
    volume.ReleaseLoadTables();
}

}  // namespace

std::string LoadLogText(VolumeClass volumeClass, uint8_t fatType, const std::string& sourcePath,
                        uint32_t startSector) {
    const char* path = sourcePath.c_str();
    switch (volumeClass) {
        case VolumeClass::Fat: {
            const int bits = fatType == 1 ? 12 : fatType == 2 ? 16 : 32;
            return Format("FAT%d文件系统,位于 %s ,%u 扇区", bits, path, startSector);
        }
        case VolumeClass::Ntfs: return Format("NTFS文件系统,位于 %s ,%u 扇区", path, startSector);
        case VolumeClass::Ext2: return Format("EXT2文件系统,位于 %s , %u 扇区.", path, startSector);
        default: return {};
    }
}

void RunLoadingWorker(CaseWorkspace& workspace, DataItem& item, Volume& volume) {
    const CoreContext& context = workspace.Context();
    Progress& progress = context.Prog();
    workspace.SetBusy(1);
    workspace.SetStoppable(0);
    workspace.SetStopMessage(kLoadingStopMessage);
    progress.SetProgressText(kLoadingText);
    progress.StartProgress();

    LoadTreeGuarded(volume, context.Logger());
    const LoadTraits traits = volume.Traits();
    if (traits.reportErrorsAfterLoad) item.source->SetReportErrors(1);

    if (traits.pauseBeforeTreeTexts) Pause(traits.pauseMs);
    progress.SetProgressText(kTreeText);
    workspace.SetStopMessage(kTreeStopMessage);
    if (!traits.pauseBeforeTreeTexts) Pause(traits.pauseMs);

    workspace.Events().BuildCaseTree(item);
    workspace.SetBusy(0);
    if (progress.Exists()) {
        progress.StopProgress();
        progress.SetProgressText(kIdleProgressText);
    }
    context.Logger().AppendLog(ElapsedLine(workspace));
}

int DetectAndLoad(CaseWorkspace& workspace, DataItem& item) {
    const CoreContext& context = workspace.Context();
    // A worker that cleared busy may still be on its last lines (its elapsed
    // time among them): it ends before this load takes the tick and busy.
    workspace.WaitForWorker();
    workspace.TakeLoadStartTick();
    const std::string stamp = "系统于 " + NowTimestamp() + " 加载";

    const Classification found = ClassifyTypeByte(item.typeId);
    if (found.volumeClass == VolumeClass::None) return 0;
    if (found.volumeClass == VolumeClass::Unknown) {
        context.Logger().AppendLog(kUnknownFormat);
        return 0;
    }

    std::unique_ptr<Volume> volume;
    try {
        volume = workspace.MakeVolumeFor(found.volumeClass);
        // Room for the volume now, so that appending it cannot fail later.
        item.volumes.reserve(item.volumes.size() + 1);
    } catch (const std::bad_alloc&) {
        volume.reset();
    }
    if (!volume) return 0;
    volume->SetFatType(found.fatType);
    volume->SetDataSource(item.source.get());
    volume->SetStartSector(item.startSector);
    volume->SetTotalSectors(item.totalSectors);
    volume->SetContext(context);
    const std::string line =
        stamp + LoadLogText(found.volumeClass, found.fatType, item.source->Path(), item.startSector);

    item.source->SetReportErrors(0);
    bool prepared = false;
    try {
        prepared = volume->Prepare();
    } catch (const std::exception&) {
        prepared = false;
    }
    if (!prepared) {
        context.Notify().Message(kAnalyseFailedBox, "提示", MessageIcon::Error);
        volume.reset();
        context.Logger().AppendLog(kAnalyseFailedLog);
        return 0;
    }

    Volume& loaded = *volume;
    if (!item.source->IsLocal()) {
        // Remote sources load on the calling thread.
        LoadTreeGuarded(loaded, context.Logger());
        if (loaded.Traits().reportErrorsAfterLoad) item.source->SetReportErrors(1);
        context.Logger().AppendLog(ElapsedLine(workspace));
        item.volumes.push_back(std::move(volume));
        context.Logger().AppendLog(line);
        return 1;
    }

    // The volume joins the item and the load line is logged before the
    // worker starts, so the worker never sees an item without its volume
    // and its elapsed-time line always follows the load line. Busy is set
    // here already so that no command slips in before the worker runs.
    item.volumes.push_back(std::move(volume));
    context.Logger().AppendLog(line);
    workspace.SetBusy(1);
    workspace.SetStoppable(0);
    workspace.SetStopMessage(kLoadingStopMessage);
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
