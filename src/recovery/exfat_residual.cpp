// The exFAT residual search: clusters not read by the load that hold entry
// sets whose checksums are right become lost folders, nested by the first
// clusters their sets name; the carving rides on the same reads.
#include <algorithm>
#include <new>

#include "common/codepage.h"
#include "common/options.h"
#include "common/text_format.h"
#include "common/translation.h"
#include "disk/data_source.h"
#include "fs/exfat/exfat_volume.h"
#include "recovery/carver.h"
#include "recovery/found_folders.h"
#include "recovery/residual_search.h"

namespace delvora {
namespace {

// Clusters are read in blocks of about this many bytes.
constexpr uint64_t kBlockBytes = 4u << 20;

/// The records of a cluster's valid sets, every one deleted (its folder is
/// lost); each keeps where its set lies, so its data reads as a loaded
/// item's would.
void CollectSets(ExfatVolume& volume, ByteSpan cluster, uint64_t clusterByte, std::vector<FileItem>& out) {
    ExfatDirectoryVisitor visitor;
    visitor.onSet = [&](const ExfatEntrySet& set) {
        FileItem item = MakeItem(Utf16ToUtf8(std::span<const uint16_t>(set.name, set.nameUnits)));
        item.size = set.dataLength;
        item.startCluster = set.firstCluster;
        item.createDate = static_cast<uint16_t>(set.created >> 16);
        item.createTime = static_cast<uint16_t>(set.created);
        item.writeDate = static_cast<uint16_t>(set.modified >> 16);
        item.writeTime = static_cast<uint16_t>(set.modified);
        item.accessDate = static_cast<uint16_t>(set.accessed >> 16);
        item.attributes = static_cast<uint8_t>(set.attributes & 0x3F);
        item.flags = item_flags::kDeleted | (set.IsDirectory() ? item_flags::kDirectory : 0);
        if (!volume.AttachSetFacts(item, clusterByte + set.offset, set)) return false;
        out.push_back(item);
        return true;
    };
    WalkExfatDirectory(cluster, visitor);
}

void FreeAll(std::vector<FileItem>& folders) {
    for (FileItem& f : folders) FreeSubtree(f);
    folders.clear();
}

}  // namespace

bool ExfatResidualSearch(ExfatVolume& volume, const ResidualPart& part) {
    DataSource* source = volume.GetDataSource();
    const ExfatGeometry& g = volume.Geometry();
    if (!source || g.clusterBytes == 0 || g.clusterCount == 0) return false;
    const CoreContext& context = volume.Context();
    const AnalysisOptions& options = context.Options();
    Progress& progress = context.Prog();
    FileTree& tree = volume.Tree();
    const bool carving = options.searchHtml || options.searchDoc;
    uint64_t end = uint64_t{g.clusterCount} + 2;
    if (const uint64_t onSource = volume.Medium().SectorsOnSource(); onSource != UINT64_MAX)
        end = std::min(end, onSource > g.heapOffset ? ((onSource - g.heapOffset) >> g.sectorsPerClusterShift) + 2 : 2);
    const uint32_t cb = g.clusterBytes;
    const uint64_t perBlock = std::max<uint64_t>(1, kBlockBytes / cb);
    if (g.bytesPerSector < 512 || g.bytesPerSector % 512) return false;
    const uint64_t unitsPerSector = g.bytesPerSector / 512;
    const ClusterSpan span =
        PartClusters(part, uint64_t{g.heapOffset} * unitsPerSector, (uint64_t{1} << g.sectorsPerClusterShift) * unitsPerSector, end);
    // A carved file may start in the cluster holding the part's first sector.
    const uint64_t scanFrom = carving && span.first > 2 && g.ClusterSector(span.first) * unitsPerSector > part.first
                                  ? span.first - 1
                                  : span.first;

    std::vector<FileItem> found;
    uint64_t total = 0;
    try {
        Carver carver(options.searchHtml != 0, options.searchDoc != 0, g.bytesPerSector);
        const ResidualPart carvePart = PartInUnits(part, g.bytesPerSector);
        carver.SetPart(carvePart.first, carvePart.end);
        std::vector<uint8_t> block(static_cast<size_t>(perBlock * cb));
        std::vector<FileItem> entries;
        progress.SetProgressRange(0, static_cast<uint32_t>(std::min<uint64_t>(end, UINT32_MAX)));
        progress.SetProgressText(Tr("ExfatResidual", "查找残余文件..."));
        source->SetReportErrors(0);
        // Every step moves on by one block of clusters: the scan ends at the
        // part's end (or where a web page begun inside it closes), at the
        // latest at the last cluster the source holds.
        for (uint64_t a = scanFrom;
             a < end && (a < span.end || (carving && carver.NeedsSectorsFrom(g.ClusterSector(a)))) &&
             !volume.StopRequested();) {
            const uint64_t n = std::min(perBlock, (a < span.end ? span.end : end) - a);
            progress.SetProgressPos(static_cast<uint32_t>(std::min<uint64_t>(a, UINT32_MAX)));
            const bool blockRead = volume.ReadClusters(a, block.data(), static_cast<uint32_t>(n));
            for (uint64_t i = 0; i < n; ++i) {
                const uint64_t c = a + i;
                uint8_t* bytes = block.data() + i * cb;
                // Folders the load read are in the tree already.
                if (!options.searchLoadedFiles && !carving && tree.GetBit(c)) continue;
                if (!blockRead && !volume.ReadClusters(c, bytes, 1)) continue;
                const ByteSpan cluster(bytes, cb);
                if (carving) carver.Carve(cluster, g.ClusterSector(c));
                if ((tree.GetBit(c) && !options.searchLoadedFiles) || c < span.first || c >= span.end) continue;
                // Only a file entry type can start a set: most clusters end here.
                if ((cluster[0] & 0x7F) != (kExfatFileEntry & 0x7F) && cluster[0] != kExfatEndOfDirectory) {
                    bool any = false;
                    for (size_t at = 0; at < cb && !any; at += kExfatEntryBytes)
                        any = (cluster[at] & 0x7F) == (kExfatFileEntry & 0x7F);
                    if (!any) continue;
                }
                entries.clear();
                CollectSets(volume, cluster, g.ClusterSector(c) * g.bytesPerSector, entries);
                if (entries.empty()) continue;
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
                progress.SetPaneText(Format(Tr("ExfatResidual", "找到 %llu 个"), static_cast<unsigned long long>(total)));
                found.push_back(folder);
            }
            a += n;
        }
        source->SetReportErrors(1);

        progress.SetProgressText(Tr("ExfatResidual", "正在调整文件夹..."));
        NestFoundFolders(found);
        if (!MakeCarvedFolders(tree, carver, found)) throw std::bad_alloc();
        FreeSubtree(*volume.RecycleItem());
        volume.RecycleItem()->flags |= item_flags::kDirectory;
        if (!SetChildrenInOrder(*volume.RecycleItem(), found)) throw std::bad_alloc();
        found.clear();
    } catch (const std::bad_alloc&) {
        source->SetReportErrors(1);
        FreeAll(found);
        return false;
    }
    EndSearchProgress(progress);
    return true;
}

}  // namespace delvora
