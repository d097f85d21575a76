#pragma once
// The add-data command without its wizard: the front end collects the
// choice (a partition row or the parameters of a virtual volume) and hands
// it here.
#include <cstdint>
#include <memory>
#include <string>

#include "case/case_workspace.h"
#include "common/translation.h"
#include "disk/data_source.h"
#include "disk/disk_scan.h"
#include "disk/remote_disk.h"

namespace delvora {

inline constexpr const char* kAddDataFailed = TrNoop("AddData", "分析文件系统错!");
inline constexpr const char* kFloppyRowDevice = "软盘";

/// A connection to a remote disk service, when the wizard has one.
struct RemoteChoice {
    std::shared_ptr<RemoteDisk> disk;
    std::string address;        // as the examiner typed it
};

/// What the virtual-volume page collects.
struct VirtualVolumeChoice {
    uint8_t typeId = 0;
    std::string deviceName;     // becomes the name and the source path
    uint64_t startSector = 0;
    FatBootParams fatParams{};
    NtfsBootParams ntfsParams{};
    Ext2Params ext2Params{};
};

/// The item name of a partition row: the row name, with "(\\address)"
/// behind it for a remote one.
std::string PartitionItemName(const ChosenRow& row, const RemoteChoice* remote);
/// The source path of a partition row ("软盘" stands for A:).
std::string PartitionSourcePath(const ChosenRow& row);

/// Adds a partition: refuses with "线程忙!" while busy, opens the source
/// (discarding the item silently when it does not open), detects and loads
/// it ("分析文件系统错!" when that fails) and appends it to the case. A remote
/// item gets its tree built at once. Answers the new item, or null.
DataItem* AddPartition(CaseWorkspace& workspace, const ChosenRow& row, const RemoteChoice* remote = nullptr);

/// Adds a virtual volume in the same way; its source gets the typed-in boot
/// parameters, which then take the place of what the disk holds.
DataItem* AddVirtualVolume(CaseWorkspace& workspace, const VirtualVolumeChoice& choice);

}  // namespace delvora
