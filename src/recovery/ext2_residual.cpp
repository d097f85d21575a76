// The EXT2 residual search: inodes the directory walk never reached that
// still look like files, one folder per block group.
#include <algorithm>
#include <new>

#include "common/options.h"
#include "common/text_format.h"
#include "common/translation.h"
#include "disk/data_source.h"
#include "fs/ext2/ext2_inode.h"
#include "fs/ext2/ext2_volume.h"
#include "recovery/residual_search.h"
#include "recovery/slot_tests.h"

namespace delvora {
namespace {

// Inode tables are read in requests of about this many bytes.
constexpr uint64_t kChunkBytes = 4u << 20;

FileItem FoundInode(ByteSpan inode, uint32_t number) {
    FileItem item = MakeItem(Format("File%u", number));
    item.flags = item_flags::kDeleted;
    item.attributes = Le8(inode, 32);
    Ext2TimeToDos(Le32(inode, 12), item.createDate, item.createTime);
    Ext2TimeToDos(Le32(inode, 16), item.writeDate, item.writeTime);
    uint16_t accessTime = 0;
    Ext2TimeToDos(Le32(inode, 8), item.accessDate, accessTime);
    item.startCluster = number;
    item.size = Le32(inode, 4);
    return item;
}

}  // namespace

bool Ext2ResidualSearch(Ext2Volume& volume, const ResidualPart& part) {
    DataSource* source = volume.GetDataSource();
    const CoreContext& context = volume.Context();
    Progress& progress = context.Prog();
    const Ext2Geometry& g = volume.Geometry();
    const Ext2FileTree& tree = volume.Ext2Tree();
    const uint32_t groups = g.dwGroupCount;
    if (!source || !progress.Exists() || groups == 0 || g.dwInodesPerGroup == 0 || g.dwInodeSize < 128 ||
        g.dwSectorsPerBlock == 0)
        return false;
    std::vector<std::vector<FileItem>> byGroup;
    try {
        byGroup.resize(groups);
        progress.SetProgressRange(0, g.dwInodeCount);
        progress.SetProgressText(Tr("Ext2Residual", "查找残余文件..."));
        const uint64_t tableBytes = uint64_t{g.dwInodesPerGroup} * g.dwInodeSize;
        const uint64_t perChunk = std::max<uint64_t>(1, kChunkBytes / g.dwInodeSize);
        // One sector more than a chunk: a part may start its reads inside a sector.
        std::vector<uint8_t> chunk(static_cast<size_t>((std::min(tableBytes, perChunk * g.dwInodeSize) + 511) / 512 * 512 + 512));
        size_t total = 0;
        uint64_t number = 1;
        const uint64_t volumeSectors = tree.m_qwBlockLimit * g.dwSectorsPerBlock;
        // A bad sector costs its chunk, not a message box per chunk.
        source->SetReportErrors(0);
        // Groups and their inodes in order: the search ends after the last
        // group's last inode, or at a stop.
        for (uint32_t group = 0; group < groups && !volume.StopRequested(); ++group) {
            const uint64_t table = tree.m_Groups.InodeTableBlock(group);
            for (uint64_t i = 0; i < g.dwInodesPerGroup && !volume.StopRequested(); i += perChunk) {
                const uint64_t n = std::min<uint64_t>(perChunk, g.dwInodesPerGroup - i);
                progress.SetProgressPos(static_cast<uint32_t>(std::min<uint64_t>(number, UINT32_MAX)));
                const uint64_t tableSector = table * g.dwSectorsPerBlock;
                const uint64_t relative = tableSector + i * g.dwInodeSize / 512;
                // A table (or its rest) outside the volume, from a damaged
                // descriptor or inode count, is passed by whole; an unreadable
                // chunk alone. Their inodes are still counted, and the other
                // groups' finds are kept, as the NTFS and FAT searches keep
                // theirs past a bad block.
                if (table == 0 || table >= tree.m_qwBlockLimit || relative >= volumeSectors) {
                    number += g.dwInodesPerGroup - i;
                    break;
                }
                const uint64_t base = number;
                number += n;
                // The inodes of the chunk whose first sectors the part holds:
                // sectors rise with the inode, so they are one run.
                auto sectorOf = [&](uint64_t k) { return tableSector + (i + k) * g.dwInodeSize / 512; };
                uint64_t lo = 0;
                while (lo < n && sectorOf(lo) < part.first) ++lo;
                uint64_t hi = lo;
                while (hi < n && part.Holds(sectorOf(hi))) ++hi;
                if (lo == hi) continue;
                const uint64_t fromByte = (i + lo) * g.dwInodeSize;
                const uint64_t fromSector = fromByte / 512;
                const uint64_t toSector = ((i + hi) * g.dwInodeSize + 511) / 512;
                if (!source->GetData(chunk.data(), static_cast<uint32_t>((toSector - fromSector) * 512),
                                     volume.StartSector() + tableSector + fromSector))
                    continue;
                for (uint64_t k = lo; k < hi; ++k) {
                    const uint64_t inodeNumber = base + k;
                    if (tree.GetBit(inodeNumber - 1)) continue;
                    const size_t at = static_cast<size_t>((i + k) * g.dwInodeSize - fromSector * 512);
                    const ByteSpan inode = ByteSpan(chunk).subspan(at, g.dwInodeSize);
                    if (!LooksLikeLostInode(inode, g.qwBlockCount)) continue;
                    byGroup[group].push_back(FoundInode(inode, static_cast<uint32_t>(inodeNumber)));
                    progress.SetPaneText(Format(Tr("Ext2Residual", "找到 %zu 个"), ++total));
                }
            }
        }
        source->SetReportErrors(1);
        if (!volume.StopRequested() && total > 0) {
            std::vector<FileItem> folders;
            folders.reserve(groups);
            for (uint32_t group = 0; group < groups; ++group) {
                FileItem folder = MakeItem(Format("组%u", group));
                folder.flags = item_flags::kDirectory;
                if (!SetChildrenInOrder(folder, byGroup[group])) {
                    for (FileItem& f : folders) FreeSubtree(f);
                    throw std::bad_alloc();
                }
                folders.push_back(folder);
            }
            volume.Tree().ClearTop(*volume.RecycleItem());
            volume.RecycleItem()->flags |= item_flags::kDirectory;
            if (!SetChildrenInOrder(*volume.RecycleItem(), folders)) {
                for (FileItem& f : folders) FreeSubtree(f);
                throw std::bad_alloc();
            }
        }
    } catch (const std::bad_alloc&) {
        source->SetReportErrors(1);
        return false;
    }
    EndSearchProgress(progress);
    return true;
}

}  // namespace delvora
