#include "recovery/residual_search.h"

#include "common/text_format.h"
#include "common/translation.h"
#include "disk/filled_ranges.h"
#include "fs/ext2/ext2_volume.h"
#include "fs/fat/fat_volume.h"
#include "fs/exfat/exfat_volume.h"
#include "fs/ntfs/ntfs_volume.h"
#include "recovery/sector_region_volume.h"

namespace delvora {

namespace {

bool SearchByKind(Volume& volume, const ResidualPart& part) {
    if (auto* fat = dynamic_cast<FatVolume*>(&volume)) return FatResidualSearch(*fat, part);
    if (auto* ntfs = dynamic_cast<NtfsVolume*>(&volume)) return NtfsResidualSearch(*ntfs, part);
    if (auto* ext2 = dynamic_cast<Ext2Volume*>(&volume)) return Ext2ResidualSearch(*ext2, part);
    if (auto* exfat = dynamic_cast<ExfatVolume*>(&volume)) return ExfatResidualSearch(*exfat, part);
    if (auto* region = dynamic_cast<SectorRegionVolume*>(&volume)) {
        // Its carve covers a part the same way; later searches are whole again.
        region->SetCarvePart(part.first, part.end);
        const bool done = region->ResidualSearch();
        region->SetCarvePart(0, UINT64_MAX);
        return done;
    }
    // Other kinds search whole or not at all.
    return part.Whole() && volume.ResidualSearch();
}

}  // namespace

bool RunResidualSearch(Volume& volume, const ResidualPart& part) {
    // The searches turn error reporting off for speed; what could not be
    // read is still collected, and said once.
    ByteRangeSet filled;
    bool done = false;
    try {
        FillRecorder recorder(filled);
        done = SearchByKind(volume, part);
    } catch (...) {
        done = false;
    }
    if (!filled.Empty())
        volume.Context().Logger().AppendLog(
            Format(Tr("ResidualSearch", "搜索残余文件时有 %llu 个扇区无法读取, 按零处理 (源字节 %s)"),
                   static_cast<unsigned long long>((filled.TotalBytes() + 511) / 512), filled.Text().c_str()));
    return done;
}

void EndSearchProgress(Progress& progress) {
    progress.SetProgressRange(0, 0);
    progress.SetProgressPos(0);
    progress.SetProgressText("");
    progress.SetPaneText(Tr("ResidualSearch", "查找"));
}

}  // namespace delvora
