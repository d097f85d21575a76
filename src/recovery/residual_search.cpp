#include "recovery/residual_search.h"

#include "fs/ext2/ext2_volume.h"
#include "fs/fat/fat_volume.h"
#include "fs/exfat/exfat_volume.h"
#include "fs/ntfs/ntfs_volume.h"

namespace delvora {

bool RunResidualSearch(Volume& volume) {
    try {
        if (auto* fat = dynamic_cast<FatVolume*>(&volume)) return FatResidualSearch(*fat);
        if (auto* ntfs = dynamic_cast<NtfsVolume*>(&volume)) return NtfsResidualSearch(*ntfs);
        if (auto* ext2 = dynamic_cast<Ext2Volume*>(&volume)) return Ext2ResidualSearch(*ext2);
        if (auto* exfat = dynamic_cast<ExfatVolume*>(&volume)) return ExfatResidualSearch(*exfat);
        return volume.ResidualSearch();
    } catch (...) {
        return false;
    }
}

void EndSearchProgress(Progress& progress) {
    progress.SetProgressRange(0, 0);
    progress.SetProgressPos(0);
    progress.SetProgressText("");
    progress.SetPaneText("查找");
}

}  // namespace delvora
