#include "recovery/placement.h"

#include <algorithm>
#include <new>

#include "common/text_format.h"
#include "common/translation.h"
#include "disk/data_source.h"
#include "fs/cluster_run_list.h"

namespace delvora {
namespace {

void AddRow(std::vector<ReferenceRow>& rows, const FileItem& item) {
    rows.push_back({item.name ? item.name : "", item.startCluster});
}

}  // namespace

std::vector<ReferenceRow> StartClusterReferences(const FileItem& item) {
    std::vector<ReferenceRow> rows;
    const FileItem* parent = item.parent;
    if (parent) {
        if (parent->startCluster > 2) AddRow(rows, *parent);
        for (uint32_t i = 0; i < parent->childCount; ++i) AddRow(rows, parent->children[i]);
    }
    for (uint32_t i = 0; i < item.childCount; ++i) AddRow(rows, item.children[i]);
    return rows;
}

std::string CheckStartCluster(const Volume& volume, uint64_t cluster) {
    if (volume.StartClusterFits(cluster)) return {};
    return Format(Tr("Placement", "开始簇号 %llu 不在卷内!"), static_cast<unsigned long long>(cluster));
}

bool PreviewStartCluster(Volume& volume, FileItem& item, uint32_t cluster, std::vector<uint8_t>& bytes) {
    bytes.clear();
    item.startCluster = cluster;
    if (item.size == 0 || !CheckStartCluster(volume, cluster).empty()) return false;
    try {
        ClusterRunList runs;
        if (!volume.GetItemRuns(&item, runs)) return false;
        bytes.resize(static_cast<size_t>(std::min<uint64_t>(item.size, kPreviewBytes)));
        if (volume.ReadItemRange(&item, bytes.data(), 0, static_cast<uint32_t>(bytes.size()), &runs)) return true;
    } catch (const std::bad_alloc&) {
    }
    bytes.clear();
    return false;
}

std::string MoveVolumeStart(Volume& volume, uint64_t sector) {
    const DataSource* source = volume.GetDataSource();
    const uint64_t sectors = source ? source->SizeBytes() / 512 : 0;
    if (sectors != 0 && sector >= sectors)
        return Format(Tr("Placement", "开始扇区 %llu 超出设备范围 (%llu 扇区)!"), static_cast<unsigned long long>(sector),
                      static_cast<unsigned long long>(sectors));
    volume.MoveStartSector(sector);
    return {};
}

}  // namespace delvora
