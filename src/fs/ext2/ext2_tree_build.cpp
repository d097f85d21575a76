// The load of an EXT2 volume: one pass over every inode table into compact
// summaries, then the directory tree walked from the root inode.
#include <algorithm>
#include <new>
#include <utility>

#include "common/codepage.h"
#include "disk/data_source.h"
#include "fs/ext2/ext2_directory.h"
#include "fs/ext2/ext2_volume.h"
#include "fs/name_pool.h"

namespace delvora {

namespace {

constexpr uint32_t kChunkBytes = 65536;
// Folders nested deeper than this are shown without their children; it keeps
// the recursive tree operations (free, relink) within the stack.
constexpr uint32_t kMaxFolderDepth = 4096;

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

bool Ext2Volume::InodePass() {
    const Ext2FileTree& tree = Ext2Tree();
    const Ext2Geometry& g = tree.m_Geometry;
    const uint32_t count = m_Inodes.Count();
    const uint32_t perChunk = kChunkBytes / g.dwInodeSize;
    const uint64_t tableBlocks = (uint64_t{g.dwInodesPerGroup} * g.dwInodeSize + g.dwBlockSize - 1) / g.dwBlockSize;
    std::vector<uint8_t> chunk(kChunkBytes);
    uint64_t n = 1;  // inode number
    // Ends after the last group, or once every inode of the count is stored.
    for (uint32_t group = 0; group < g.dwGroupCount && n <= count; ++group) {
        const uint32_t inGroup = static_cast<uint32_t>(std::min<uint64_t>(g.dwInodesPerGroup, count - n + 1));
        const uint32_t table = tree.m_Groups.InodeTableBlock(group);
        if (table == 0 || table + tableBlocks > tree.m_dwBlockLimit) {
            // A table outside the volume: its inodes stay empty.
            n += inGroup;
            continue;
        }
        uint32_t sector = m_dwSectorNo + table * g.dwSectorsPerBlock;
        for (uint32_t done = 0; done < inGroup;) {
            const uint32_t take = std::min(perChunk, inGroup - done);
            const uint32_t bytes = (take * g.dwInodeSize + 511) / 512 * 512;
            if (!m_pDataSource->GetData(chunk.data(), bytes, sector)) return false;
            const ByteSpan data(chunk.data(), bytes);
            for (uint32_t i = 0; i < take; ++i)
                m_Inodes.Store(static_cast<uint32_t>(n++), DecodeExt2Inode(Slice(data, size_t{i} * g.dwInodeSize,
                                                                                  kExt2InodeReadBytes)));
            done += take;
            sector += bytes / 512;
        }
    }
    return true;
}

bool Ext2Volume::FillItem(const Ext2DirEntry& entry, FileItem& item) {
    Ext2Inode inode;
    if (!m_Inodes.Fetch(entry.dwInode, inode)) return false;
    item = FileItem{};
    item.flags = entry.type == kExt2TypeDirectory ? item_flags::kDirectory : 0;
    // Names are stored bytes; the tree shows them as UTF-8.
    item.name = IsAscii(entry.name) ? NamePool::Global().Add(entry.name)
                                    : NamePool::Global().Add(SanitizeUtf8(entry.name));
    item.attributes = static_cast<uint8_t>(inode.dwFlags);
    Ext2TimeToDos(inode.dwChangeTime, item.createDate, item.createTime);
    Ext2TimeToDos(inode.dwModifyTime, item.writeDate, item.writeTime);
    uint16_t accessTime = 0;
    Ext2TimeToDos(inode.dwAccessTime, item.accessDate, accessTime);
    item.startCluster = entry.dwInode;
    item.size = inode.dwSize;
    Ext2Tree().SetBit(entry.dwInode - 1, true);
    return true;
}

bool Ext2Volume::ReadDirectory(FileItem& folder) {
    const Ext2Geometry& g = Geometry();
    const uint32_t n = folder.startCluster;
    if (n == 0 || n > m_Inodes.Count() || !m_Inodes.HasBlockMap(n)) return false;
    // A folder already read (a directory linked twice, or a cycle back to an
    // ancestor) is shown without children.
    uint8_t& visited = m_VisitedFolders[n / 8];
    if (visited & (1u << (n & 7))) return false;
    visited = static_cast<uint8_t>(visited | (1u << (n & 7)));

    Ext2Inode inode;
    ClusterRunList runs;
    if (!m_Inodes.Fetch(n, inode) || !InodeRuns(inode, runs)) return false;
    m_Scratch.clear();
    std::vector<uint8_t>& chunk = m_Chunk;
    chunk.resize(kChunkBytes);
    auto visit = [&](const Ext2DirEntry& entry) {
        if (entry.dwInode > m_Inodes.Count()) return false;
        Ext2DirEntry typed = entry;
        if (typed.type == 0) {
            // Records without a type: the inode's mode tells files and folders.
            Ext2Inode target;
            m_Inodes.Fetch(entry.dwInode, target);
            const uint16_t mode = target.wMode & kExt2ModeTypeMask;
            if (mode != kExt2ModeRegular && mode != kExt2ModeDirectory) return true;
            typed.type = mode == kExt2ModeDirectory ? kExt2TypeDirectory : kExt2TypeFile;
        }
        m_Scratch.emplace_back();
        return FillItem(typed, m_Scratch.back());
    };
    for (const ClusterRun& run : runs) {
        if (IsExt2Hole(run)) continue;
        const uint64_t runBytes = uint64_t{run.count} * g.dwBlockSize;
        const uint32_t firstSector = m_dwSectorNo + run.first * g.dwSectorsPerBlock;
        // Runs lie inside the volume, so the chunks end with the run.
        for (uint64_t offset = 0; offset < runBytes; offset += kChunkBytes) {
            const uint32_t bytes = static_cast<uint32_t>(std::min<uint64_t>(kChunkBytes, runBytes - offset));
            if (!m_pDataSource->GetData(chunk.data(), bytes, firstSector + static_cast<uint32_t>(offset / 512)))
                break;  // a failed read ends this run
            for (uint32_t at = 0; at < bytes; at += g.dwBlockSize)
                if (!ParseExt2DirectoryBlock(ByteSpan(chunk.data() + at, g.dwBlockSize), visit, g.bRecordFileType)) {
                    // An entry naming an inode beyond the count: the folder
                    // is damaged and shows no children.
                    m_Scratch.clear();
                    return false;
                }
        }
    }
    if (m_Scratch.empty()) return true;
    const bool result = SetChildren(folder, m_Scratch);
    m_Scratch.clear();
    return result;
}

bool Ext2Volume::LoadTree() {
    Ext2FileTree& tree = Ext2Tree();
    try {
        if (!m_pDataSource || tree.m_Geometry.dwBlockSize == 0 || m_Inodes.Count() == 0) return false;
        FreeSubtree(tree.m_RootItem);
        tree.m_RootItem.flags |= item_flags::kDirectory;
        tree.m_RecycleItem.flags |= item_flags::kDirectory;
        if (!InodePass()) {
            ReleaseLoadTables();
            return false;
        }
        tree.m_RootItem.startCluster = kExt2RootInode;
        if (!ReadDirectory(tree.m_RootItem)) {
            ReleaseLoadTables();
            return false;
        }
        // Depth first, children in their sorted order. Each folder item is
        // pushed once and each inode read once, so the walk ends.
        std::vector<std::pair<FileItem*, uint32_t>> stack;
        auto pushFolders = [&stack](FileItem& parent, uint32_t depth) {
            uint32_t folders = 0;
            while (folders < parent.childCount && parent.children[folders].IsDirectory()) ++folders;
            for (uint32_t i = folders; i > 0; --i) stack.emplace_back(&parent.children[i - 1], depth);
        };
        pushFolders(tree.m_RootItem, 1);
        while (!stack.empty()) {
            auto [folder, depth] = stack.back();
            stack.pop_back();
            if (depth >= kMaxFolderDepth) continue;
            // A folder that cannot be read keeps no children; its parent stays.
            if (ReadDirectory(*folder)) pushFolders(*folder, depth + 1);
        }
        tree.SetBit(0, true);
        tree.SetBit(1, true);
    } catch (const std::bad_alloc&) {
        ReleaseLoadTables();
        return false;
    }
    ReleaseLoadTables();
    return true;
}

}  // namespace delvora
