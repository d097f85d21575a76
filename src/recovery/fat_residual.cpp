// The FAT residual search: lost folders found by their entries' look, and
// the carving that rides on the same reads.
#include <algorithm>
#include <new>
#include <string_view>

#include "common/bytes.h"
#include "common/options.h"
#include "common/text_format.h"
#include "common/translation.h"
#include "disk/data_source.h"
#include "fs/fat/fat_directory.h"
#include "fs/fat/fat_volume.h"
#include "recovery/carver.h"
#include "recovery/found_folders.h"
#include "recovery/residual_search.h"

namespace delvora {
namespace {

// Clusters are read in blocks of about this many bytes.
constexpr uint64_t kBlockBytes = 4u << 20;

constexpr const char* kFat32MarksOnSmallFat =
    TrNoop("FatResidual", "搜索到的文件信息里有FAT32文件系统的标志,但本卷是%s.\n如果文件内容不对,请您以虚拟卷方式加载本卷"
    "(或将分区格回原来的文件系统再加载)");
constexpr const char* kNoFat32Marks =
    TrNoop("FatResidual", "搜索到的文件信息里未包含FAT32文件系统特有的标志,\n可能存在两种情况:1.搜索到的文件是FAT16或FAT12文件系统留下的; "
    "2.本卷拥有的文件信息都在靠近卷开始的位置.\n如果文件内容不正确,而且本分区以前是FAT12或FAT16文件系统,"
    "请您以虚拟卷方式加载本卷(或将分区格回原来的文件系统再加载)");

/// A deleted entry marked as a folder is one only with a folder's size:
/// 0, or one cluster of the size the kind's formatters use.
void ApplyFolderSizeRule(std::vector<FileItem>& entries, int kind) {
    const uint64_t folderSize = kind == 3 ? 4096 : kind == 2 ? 8192 : 512;
    for (FileItem& e : entries)
        if (e.IsDeleted() && e.IsDirectory() && e.size != 0 && e.size != folderSize)
            e.flags &= static_cast<uint8_t>(~item_flags::kDirectory);
}

/// The clusters the source really holds, of those the boot sector claims.
uint64_t ClusterEnd(FatVolume& volume) {
    const FatGeometry& g = volume.Geometry();
    uint64_t end = uint64_t{g.clusterCount} + 2;
    const uint64_t bytes = volume.GetDataSource()->SizeBytes();
    if (bytes > 0 && g.sectorsPerCluster > 0 && g.bytesPerSector > 0) {
        const uint64_t units = bytes / 512 > volume.StartSector() ? bytes / 512 - volume.StartSector() : 0;
        const uint64_t sectors = units * 512 / g.bytesPerSector;
        end = std::min(end, sectors > g.dataStart ? (sectors - g.dataStart) / g.sectorsPerCluster + 2 : 2);
    }
    return end;
}

/// True when a cluster starts a folder that names itself and a parent: "."
/// holding the cluster's own number, then ".." holding the root's 0 or a
/// cluster of the volume. A folder's later clusters and stray copies of
/// entries do not; with the option "忽略簇首不指向父文件夹" on, only such
/// heads become found folders.
bool IsFolderHead(ByteSpan cluster, uint64_t number, uint64_t end, int kind) {
    if (cluster.size() < 2 * kFatEntryBytes) return false;
    auto startOf = [&](size_t at) {
        const uint32_t high = kind == 3 ? Le16(cluster, at + 20) : 0;
        return (uint64_t{high} << 16) | Le16(cluster, at + 26);
    };
    auto named = [&](size_t at, std::string_view name) {
        for (size_t i = 0; i < 11; ++i)
            if (cluster[at + i] != (i < name.size() ? name[i] : ' ')) return false;
        return (cluster[at + 11] & 0x10) != 0;
    };
    if (!named(0, ".") || !named(kFatEntryBytes, "..")) return false;
    const uint64_t parent = startOf(kFatEntryBytes);
    return startOf(0) == number && parent != number && (parent == 0 || (parent >= 2 && parent < end));
}

void FreeAll(std::vector<FileItem>& folders) {
    for (FileItem& f : folders) FreeSubtree(f);
    folders.clear();
}

}  // namespace

bool FatResidualSearch(FatVolume& volume, const ResidualPart& part) {
    DataSource* source = volume.GetDataSource();
    const FatGeometry& g = volume.Geometry();
    if (!source || g.clusterBytes == 0 || g.kind < 1 || g.kind > 3) return false;
    const CoreContext& context = volume.Context();
    const AnalysisOptions& options = context.Options();
    Progress& progress = context.Prog();
    FileTree& tree = volume.Tree();
    const bool carving = CarveTypes(options) != 0;
    const uint64_t end = ClusterEnd(volume);
    const uint32_t cb = g.clusterBytes;
    const uint64_t perBlock = std::max<uint64_t>(1, kBlockBytes / cb);
    if (g.bytesPerSector < 512 || g.bytesPerSector % 512) return false;
    const uint64_t unitsPerSector = g.bytesPerSector / 512;
    const ClusterSpan span = PartClusters(part, g.dataStart * unitsPerSector, g.sectorsPerCluster * unitsPerSector, end);
    // A carved file may start in the cluster holding the part's first sector.
    const uint64_t scanFrom = carving && span.first > 2 && g.ClusterSector(span.first) * unitsPerSector > part.first
                                  ? span.first - 1
                                  : span.first;

    std::vector<FileItem> found;
    uint64_t total = 0;
    try {
        Carver carver(CarveTypes(options), g.bytesPerSector);
        const FatMedium& medium = volume.Medium();
        carver.SetReader([&medium](uint64_t sector, uint8_t* dest, size_t bytes) {
            return bytes <= UINT32_MAX && medium.Read(sector, dest, static_cast<uint32_t>(bytes));
        }, g.ClusterSector(end));
        carver.SetGapRetry(cb, static_cast<uint32_t>(std::max(0, options.carveMaxGap)));
        const ResidualPart carvePart = PartInUnits(part, g.bytesPerSector);
        carver.SetPart(carvePart.first, carvePart.end);
        std::vector<uint8_t> block(static_cast<size_t>(perBlock * cb));
        std::vector<FileItem> entries;
        progress.SetProgressRange(0, static_cast<uint32_t>(std::min<uint64_t>(end, UINT32_MAX)));
        progress.SetProgressText(Tr("FatResidual", "查找残余文件..."));
        source->SetReportErrors(0);
        // Every step moves on by one block of clusters: the scan ends at the
        // part's end (or where a web page begun inside it closes), at the
        // latest at the last cluster the source holds.
        for (uint64_t a = scanFrom;
             a < end && (a < span.end || (carving && carver.NeedsSectorsFrom(g.ClusterSector(a)))) &&
             !volume.StopRequested();) {
            const uint64_t n = std::min(perBlock, (a < span.end ? span.end : end) - a);
            progress.SetProgressPos(static_cast<uint32_t>(a));
            const bool blockRead = volume.ReadRaw(block.data(), static_cast<uint32_t>(n * cb), a, false);
            for (uint64_t i = 0; i < n; ++i) {
                const uint64_t c = a + i;
                uint8_t* bytes = block.data() + i * cb;
                if (!options.searchLoadedFiles && !carving && tree.GetBit(c)) continue;
                // A block with a bad sector is read again cluster by cluster;
                // an unreadable cluster is passed by.
                if (!blockRead && !volume.ReadRaw(bytes, cb, c, false)) continue;
                const ByteSpan cluster(bytes, cb);
                // Free-only carving starts no file in a cluster a live item owns.
                if (carving && !(options.carveFreeOnly && tree.GetBit(c))) carver.Carve(cluster, g.ClusterSector(c));
                // A cluster that starts with the end marker holds no entry:
                // no folder, whatever the check would say of its zeros.
                if (cluster[0] == 0 || c < span.first || c >= span.end) continue;
                if (options.ignoreFirstClusterNotParent && !IsFolderHead(cluster, c, end, g.kind)) continue;
                if (!CheckDirectoryBuffer(cluster, cb / kFatEntryBytes, g.clusterCount, g.kind, g.dataBytes, options))
                    continue;
                entries.clear();
                ConvertDirectoryEntries(cluster, true, g.kind, options.codepage, entries);
                if (entries.empty()) continue;
                ApplyFolderSizeRule(entries, g.kind);
                FileItem folder = MakeItem(Format("Folder %llu", static_cast<unsigned long long>(c)));
                folder.startCluster = static_cast<uint32_t>(c);
                folder.flags = item_flags::kDeleted | item_flags::kDirectory;
                if (!SetChildren(folder, entries)) throw std::bad_alloc();
                const FileItem& first = folder.children[0];
                folder.accessDate = first.accessDate;
                folder.createDate = first.createDate;
                folder.writeDate = first.writeDate;
                folder.createTime = first.createTime;
                folder.writeTime = first.writeTime;
                total += folder.childCount;
                progress.SetPaneText(Format(Tr("FatResidual", "找到 %llu 个"), static_cast<unsigned long long>(total)));
                found.push_back(folder);
            }
            a += n;
        }
        source->SetReportErrors(1);

        progress.SetProgressText(Tr("FatResidual", "正在调整文件夹..."));
        progress.SetProgressPos(static_cast<uint32_t>(std::min<uint64_t>(end / 2, UINT32_MAX)));
        NestFoundFolders(found);
        // Carved files start at sectors, not clusters: only the folders count.
        bool largeCluster = false;
        for (const FileItem& f : found) largeCluster = largeCluster || HasLargeCluster(f);
        if (!MakeCarvedFolders(tree, carver, found)) throw std::bad_alloc();
        volume.Tree().ClearTop(*volume.RecycleItem());
        volume.RecycleItem()->flags |= item_flags::kDirectory;
        if (!SetChildrenInOrder(*volume.RecycleItem(), found)) throw std::bad_alloc();
        found.clear();
        if (total > 0) {
            if (largeCluster && g.kind != 3)
                context.Notify().Message(Format(Tr("FatResidual", kFat32MarksOnSmallFat), g.kind == 1 ? Tr("FatResidual", "FAT12文件系统") : Tr("FatResidual", "FAT16文件系统")));
            else if (!largeCluster && g.kind == 3)
                context.Notify().Message(Tr("FatResidual", kNoFat32Marks));
        }
    } catch (const std::bad_alloc&) {
        source->SetReportErrors(1);
        FreeAll(found);
        return false;
    }
    EndSearchProgress(progress);
    return true;
}

}  // namespace delvora
