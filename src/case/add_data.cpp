#include "case/add_data.h"

#include <new>

#include "case/detect_and_load.h"
#include "common/text_format.h"
#include "common/translation.h"

namespace delvora {
namespace {

// Detects and loads an item whose source is open and appends it to the case.
DataItem* Finish(CaseWorkspace& workspace, std::unique_ptr<DataItem> item) {
    if (!DetectAndLoad(workspace, *item)) {
        workspace.Context().Notify().Message(Tr("AddData", kAddDataFailed), "提示", MessageIcon::Error);
        return nullptr;
    }
    return workspace.AddItem(std::move(item));
}

}  // namespace

std::string PartitionItemName(const ChosenRow& row, const RemoteChoice* remote) {
    if (!remote) return row.itemName;
    return row.itemName + "(\\\\" + remote->address + ")";
}

std::string PartitionSourcePath(const ChosenRow& row) {
    return row.sourceDevice == kFloppyRowDevice ? std::string("A:") : row.sourceDevice;
}

DataItem* AddPartition(CaseWorkspace& workspace, const ChosenRow& row, const RemoteChoice* remote) {
    if (workspace.RefuseIfBusy()) return nullptr;
    try {
        auto item = workspace.NewItem();
        item->typeId = row.typeId;
        item->name = PartitionItemName(row, remote);
        item->startSector = row.startSector;
        item->totalSectors = row.totalSectors;
        if (remote) {
            item->source->SetKind(SourceKind::Remote);
            // An item reads its own device on a connection of its own, so
            // that later scans and items do not switch it to another one.
            std::shared_ptr<RemoteDisk> session = remote->disk ? remote->disk->NewSession() : nullptr;
            item->source->SetRemote(session ? std::move(session) : remote->disk);
        } else {
            item->source->SetKind(SourceKind::Device);
        }
        item->source->SetPath(PartitionSourcePath(row));
        if (!item->source->Open()) return nullptr;
        return Finish(workspace, std::move(item));
    } catch (const std::bad_alloc&) {
        workspace.Context().Notify().Message(Tr("AddData", "内存不足!"), "提示", MessageIcon::Error);
        return nullptr;
    }
}

DataItem* AddVirtualVolume(CaseWorkspace& workspace, const VirtualVolumeChoice& choice) {
    if (workspace.RefuseIfBusy()) return nullptr;
    try {
        auto item = workspace.NewItem();
        item->typeId = choice.typeId;
        item->name = choice.deviceName;
        item->startSector = choice.startSector;
        item->totalSectors = kVirtualVolumeSectors;
        item->source->SetKind(SourceKind::Device);
        item->source->SetPath(choice.deviceName);
        if (!item->source->Open()) return nullptr;
        item->source->SetFat_BPB(choice.fatParams);
        item->source->SetNtfs_BPB(choice.ntfsParams);
        item->source->SetExt2_Param(choice.ext2Params);
        return Finish(workspace, std::move(item));
    } catch (const std::bad_alloc&) {
        workspace.Context().Notify().Message(Tr("AddData", "内存不足!"), "提示", MessageIcon::Error);
        return nullptr;
    }
}

}  // namespace delvora
