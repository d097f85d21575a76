// The load of an EXT2/3/4 volume: one pass over every inode table into
// compact summaries, then the directory tree walked from the root inode.
#include <algorithm>
#include <memory>
#include <new>
#include <optional>
#include <utility>

#include "common/codepage.h"
#include "common/translation.h"
#include "disk/data_source.h"
#include "disk/image_map.h"
#include "fs/ext2/ext2_directory.h"
#include "fs/ext2/ext2_extents.h"
#include "fs/ext2/ext2_volume.h"
#include "fs/name_pool.h"

namespace delvora {

namespace {

constexpr uint32_t kChunkBytes = 65536;
// Folders nested deeper than this are shown without their children; it keeps
// the recursive tree operations (free, relink) within the stack.
constexpr uint32_t kMaxFolderDepth = 4096;
// Inode bytes the pass decodes: the fields of a large inode up to the
// creation time.
constexpr uint32_t kPassInodeBytes = 256;

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
    const bool checksummed =
        (g.dwRoCompat & (ext2_feature::kGroupChecksums | ext2_feature::kMetadataChecksums)) != 0;
    // The pieces of the used part of every group's table, in reading order.
    struct Piece {
        uint32_t group = 0;
        uint64_t n = 1;     // inode number of the group's first inode
        uint32_t done = 0;  // inodes of the group before this piece
        uint64_t sector = 0;
        uint32_t take = 0;  // inodes in this piece
        uint32_t bytes = 0;
    };
    // Moves to the piece after `at` (or the first, for a fresh cursor);
    // false after the last group, or once every inode of the count is passed.
    const auto next = [&](Piece& at) {
        at.done += at.take;
        at.sector += at.bytes / 512;
        at.take = at.bytes = 0;
        for (; at.group < g.dwGroupCount && at.n <= count; at.n += g.dwInodesPerGroup, ++at.group, at.done = 0) {
            const uint32_t inGroup = static_cast<uint32_t>(std::min<uint64_t>(
                {g.dwInodesPerGroup, count - at.n + 1,
                 tree.m_Groups.UsedInodes(at.group, g.dwInodesPerGroup, checksummed)}));
            const uint64_t table = tree.m_Groups.InodeTableBlock(at.group);
            // A table outside the volume: its inodes stay empty.
            if (table == 0 || table >= tree.m_qwBlockLimit || tableBlocks > tree.m_qwBlockLimit - table) continue;
            // A group whose descriptor says every inode is free is read only
            // where a (deleted) record names one of its inodes: on a fresh or
            // little-used volume whole tables are never read.
            if (inGroup > 0 && tree.m_Groups.FreeInodes(at.group) == g.dwInodesPerGroup) {
                if (m_DeferredInodes.empty()) m_DeferredInodes.assign(g.dwGroupCount, 0);
                if (m_DeferredRead.empty()) m_DeferredRead.assign(size_t{count} / 8 + 1, 0);
                m_DeferredInodes[at.group] = inGroup;
                continue;
            }
            if (at.done >= inGroup) continue;
            if (at.done == 0) at.sector = m_dwSectorNo + table * g.dwSectorsPerBlock;
            at.take = std::min(perChunk, inGroup - at.done);
            at.bytes = (at.take * g.dwInodeSize + 511) / 512 * 512;
            return true;
        }
        return false;
    };
    // A remote source fetches the pieces a few megabytes ahead of the
    // reads, across the jumps from one group's table to the next.
    const bool hint = m_pDataSource->TakesPrefetch();
    constexpr uint64_t kHintAhead = uint64_t{4} << 20;
    Piece hinted;
    bool hintsLeft = hint;
    uint64_t hintedBytes = 0, readBytes = 0;
    std::vector<uint8_t> chunk(kChunkBytes);
    // Inode tables of an image file are parsed where they lie in the page
    // cache rather than copied out; pieces a read would not give whole go
    // through GetData.
    const std::unique_ptr<ImageMap> map = ImageMap::Open(*m_pDataSource);
    std::optional<MappedPass> pass;
    if (map) pass.emplace(*map, m_pDataSource->SectorSize());
    // Ends with the groups: each step moves the cursor to a later piece.
    for (Piece at; next(at);) {
        while (hintsLeft && hintedBytes < readBytes + kHintAhead && (hintsLeft = next(hinted))) {
            m_pDataSource->Prefetch(hinted.bytes, hinted.sector);
            hintedBytes += hinted.bytes;
        }
        readBytes += at.bytes;
        ByteSpan data = pass ? pass->WholeSectors(at.sector, at.bytes) : ByteSpan();
        if (data.empty()) {
            if (!m_pDataSource->GetData(chunk.data(), at.bytes, at.sector)) return false;
            data = ByteSpan(chunk.data(), at.bytes);
        }
        for (uint32_t i = 0; i < at.take; ++i) {
            const ByteSpan bytes = Slice(data, size_t{i} * g.dwInodeSize, std::min(g.dwInodeSize, kPassInodeBytes));
            // A never-used inode (no mode, deletion time or block) keeps
            // its zero summary; most of a volume's inodes are such.
            if (Le16(bytes, 0) == 0 && Le32(bytes, 20) == 0 && Le32(bytes, kExt2BlockField) == 0) continue;
            m_Inodes.Store(static_cast<uint32_t>(at.n + at.done + i), DecodeExt2Inode(bytes));
        }
    }
    return true;
}

void Ext2Volume::ReadDeferredInode(uint32_t n) {
    const Ext2Geometry& g = Geometry();
    if (m_DeferredInodes.empty() || n == 0 || n > m_Inodes.Count()) return;
    const uint32_t group = (n - 1) / g.dwInodesPerGroup;
    if (group >= m_DeferredInodes.size() || (n - 1) % g.dwInodesPerGroup >= m_DeferredInodes[group]) return;
    uint8_t& read = m_DeferredRead[n / 8];
    if (read & (1u << (n & 7))) return;
    read = static_cast<uint8_t>(read | (1u << (n & 7)));
    // As the pass would have: the same bytes, and never-used inodes left empty.
    // An unreadable inode stays empty too.
    Ext2Inode full;
    std::vector<uint8_t> raw;
    if (!ReadInode(n, full, &raw)) return;
    const ByteSpan bytes = Slice(ByteSpan(raw), 0, std::min(g.dwInodeSize, kPassInodeBytes));
    if (Le16(bytes, 0) == 0 && Le32(bytes, 20) == 0 && Le32(bytes, kExt2BlockField) == 0) return;
    m_Inodes.Store(n, DecodeExt2Inode(bytes));
}

bool Ext2Volume::InodeSummary(uint32_t n, Ext2Inode& inode) {
    ReadDeferredInode(n);
    return m_Inodes.Fetch(n, inode);
}

bool Ext2Volume::InodeHasBlockMap(uint32_t n) {
    ReadDeferredInode(n);
    return m_Inodes.HasBlockMap(n);
}

bool Ext2Volume::FillItem(const Ext2DirEntry& entry, FileItem& item) {
    Ext2Inode inode;
    // A deleted record without its inode number: a name, nothing more.
    if (!InodeSummary(entry.dwInode, inode) && !(entry.deleted && entry.dwInode == 0)) return false;
    item = FileItem{};
    item.flags = entry.type == kExt2TypeDirectory ? item_flags::kDirectory : 0;
    if (entry.deleted) item.flags |= item_flags::kDeleted;
    // Names are stored bytes; the tree shows them as UTF-8.
    item.name = IsAscii(entry.name) ? NamePool::Global().Add(entry.name)
                                    : NamePool::Global().Add(SanitizeUtf8(entry.name));
    item.attributes = static_cast<uint8_t>(inode.dwFlags);
    // Created: the creation time of large inodes, else the change time.
    const uint32_t created =
        inode.bHasCreateTime && inode.create.seconds != 0 ? inode.create.seconds : inode.change.seconds;
    Ext2TimeToDos(created, item.createDate, item.createTime);
    Ext2TimeToDos(inode.modify.seconds, item.writeDate, item.writeTime);
    uint16_t accessTime = 0;
    Ext2TimeToDos(inode.access.seconds, item.accessDate, accessTime);
    item.startCluster = entry.dwInode;
    item.size = inode.qwSize;
    // The first data block, while the inode is at hand: listing the item
    // then needs no read. An extent tree with index nodes is left to ask.
    Ext2FileTree& tree = Ext2Tree();
    uint64_t first = 0;
    bool known = true;
    if (inode.dwFlags & ext2_inode_flag::kInlineData) first = 0;
    else if (inode.dwFlags & ext2_inode_flag::kExtents) known = Ext2FirstExtentBlock(inode.blockMap, first);
    else first = inode.blockMap[0];
    if (known && tree.m_FirstBlocks.size() < UINT32_MAX) {
        tree.m_FirstBlocks.push_back(first);
        item.link = static_cast<uint32_t>(tree.m_FirstBlocks.size());
    }
    if (!entry.deleted) tree.SetBit(entry.dwInode - 1, true);
    return true;
}

bool Ext2Volume::ReadDirectoryBlocks(const Ext2Inode& inode, uint32_t n,
                                     const std::function<bool(const Ext2DirEntry&)>& visit) {
    const Ext2Geometry& g = Geometry();
    if (inode.dwFlags & ext2_inode_flag::kInlineData) {
        std::vector<uint8_t> raw;
        Ext2Inode full;
        if (!ReadInode(n, full, &raw)) return true;  // unreadable: no children
        const ByteSpan bytes(raw);
        return ParseExt2InlineDirectory(Slice(bytes, kExt2BlockField, kExt2BlockFieldBytes),
                                        Ext2InlineAttribute(bytes), visit, g.bRecordFileType, true);
    }
    ClusterRunList runs;
    if (!InodeRuns(inode, runs)) return true;  // an unreadable map: no children
    const bool indexed = inode.dwFlags & ext2_inode_flag::kIndexedDirectory;
    std::vector<uint8_t>& chunk = m_Chunk;
    chunk.resize(kChunkBytes);
    uint64_t logical = 0;
    for (const ClusterRun& run : runs) {
        const uint64_t runBytes = run.count * g.dwBlockSize;
        if (IsExt2Hole(run)) {
            logical += run.count;
            continue;
        }
        const uint64_t firstSector = m_dwSectorNo + run.first * g.dwSectorsPerBlock;
        // Runs lie inside the volume, so the chunks end with the run.
        for (uint64_t offset = 0; offset < runBytes; offset += kChunkBytes) {
            const uint32_t bytes = static_cast<uint32_t>(std::min<uint64_t>(kChunkBytes, runBytes - offset));
            const uint64_t firstBlock = run.first + offset / g.dwBlockSize;
            if (!m_pDataSource->GetData(chunk.data(), bytes, firstSector + offset / 512)) {
                logical += bytes / g.dwBlockSize;
                continue;  // a failed read loses these blocks only
            }
            for (uint32_t at = 0; at < bytes; at += g.dwBlockSize, ++logical) {
                // A block already read for a folder adds nothing true and,
                // named again and again, would multiply the tree.
                if (!m_DirectoryBlocks.insert(firstBlock + at / g.dwBlockSize).second) {
                    if (!m_bSharedBlocksLogged)
                        Context().Logger().AppendLog(Tr("Ext2TreeBuild", "EXT 卷中有多个目录共用同一数据块,重复的块只读取一次."));
                    m_bSharedBlocksLogged = true;
                    continue;
                }
                // The first block of a hashed folder holds the index root
                // after "..": no deleted records there.
                const bool scanDeleted = !(indexed && logical == 0);
                if (!ParseExt2DirectoryBlock(ByteSpan(chunk.data() + at, g.dwBlockSize), visit,
                                             g.bRecordFileType, scanDeleted))
                    return false;
            }
        }
    }
    return true;
}

void Ext2Volume::HintFolders(const std::vector<std::pair<FileItem*, uint32_t>>& stack,
                             std::unordered_set<const FileItem*>& hinted) {
    // Enough folders for one level of a wide tree to travel together,
    // little enough to stay inside the source's cap.
    constexpr size_t kAhead = 64;
    const Ext2Geometry& g = Geometry();
    ClusterRunList runs;
    uint64_t budget = uint64_t{8} << 20;
    for (size_t k = 0; k < std::min(kAhead, stack.size()) && budget > 0; ++k) {
        const FileItem* folder = stack[stack.size() - 1 - k].first;
        if (!hinted.insert(folder).second) continue;
        const uint32_t n = folder->startCluster;
        Ext2Inode inode;
        if (n == 0 || n > m_Inodes.Count() || !m_Inodes.HasBlockMap(n) || !m_Inodes.Fetch(n, inode)) continue;
        if (m_VisitedFolders[n / 8] & (1u << (n & 7))) continue;
        // A map whose blocks would have to be read first is left to the read.
        if (inode.dwFlags & ext2_inode_flag::kInlineData || !InodeRuns(inode, runs, false)) continue;
        // The same pieces ReadDirectoryBlocks reads.
        for (const ClusterRun& run : runs) {
            if (IsExt2Hole(run)) continue;
            const uint64_t runBytes = run.count * g.dwBlockSize;
            const uint64_t firstSector = m_dwSectorNo + run.first * g.dwSectorsPerBlock;
            // A huge (or damaged) folder is hinted no further than the
            // source would hold anyway.
            for (uint64_t offset = 0; offset < runBytes && budget > 0; offset += kChunkBytes) {
                const uint32_t bytes = static_cast<uint32_t>(std::min<uint64_t>(kChunkBytes, runBytes - offset));
                m_pDataSource->Prefetch(bytes, firstSector + offset / 512);
                budget -= std::min<uint64_t>(budget, bytes);
            }
        }
    }
}

bool Ext2Volume::ReadDirectory(FileItem& folder) {
    const uint32_t n = folder.startCluster;
    if (n == 0 || n > m_Inodes.Count() || !InodeHasBlockMap(n)) return false;
    Ext2Inode inode;
    if (!InodeSummary(n, inode)) return false;
    // A deleted record may name an inode used since for something else.
    if (folder.IsDeleted() && (inode.wMode & kExt2ModeTypeMask) != kExt2ModeDirectory) return false;
    // A folder already read (a directory linked twice, or a cycle back to an
    // ancestor) is shown without children.
    uint8_t& visited = m_VisitedFolders[n / 8];
    if (visited & (1u << (n & 7))) return false;
    visited = static_cast<uint8_t>(visited | (1u << (n & 7)));

    m_Scratch.clear();
    auto visit = [&](const Ext2DirEntry& entry) {
        if (entry.dwInode > m_Inodes.Count()) return entry.deleted;  // live: the folder is damaged
        Ext2DirEntry typed = entry;
        if (typed.type == 0 && entry.dwInode != 0) {
            // Records without a type: the inode's mode tells files and folders.
            Ext2Inode target;
            InodeSummary(entry.dwInode, target);
            const uint16_t mode = target.wMode & kExt2ModeTypeMask;
            if (mode != kExt2ModeRegular && mode != kExt2ModeDirectory) return true;
            typed.type = mode == kExt2ModeDirectory ? kExt2TypeDirectory : kExt2TypeFile;
        }
        m_Scratch.emplace_back();
        return FillItem(typed, m_Scratch.back());
    };
    if (!ReadDirectoryBlocks(inode, n, visit)) {
        // An entry naming an inode beyond the count: the folder is damaged
        // and shows no children.
        m_Scratch.clear();
        return false;
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
        tree.ClearTop(tree.m_RootItem);
        std::vector<uint64_t>().swap(tree.m_FirstBlocks);
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
        // Depth first, children in their sorted order; deleted folders wait
        // until every live one is read, so that a stale record does not take
        // a live folder's children. Each folder item is pushed once and each
        // inode read once, so the walk ends.
        std::vector<std::pair<FileItem*, uint32_t>> stack, deleted;
        auto pushFolders = [&](FileItem& parent, uint32_t depth) {
            uint32_t folders = 0;
            while (folders < parent.childCount && parent.children[folders].IsDirectory()) ++folders;
            for (uint32_t i = folders; i > 0; --i) {
                FileItem& child = parent.children[i - 1];
                (child.IsDeleted() ? deleted : stack).emplace_back(&child, depth);
            }
        };
        pushFolders(tree.m_RootItem, 1);
        // A remote source is told the next folders' reads ahead of them.
        const bool hint = m_pDataSource->TakesPrefetch();
        std::unordered_set<const FileItem*> hinted;
        // Ends when both lists are empty; each pass moves items out of them.
        while (!stack.empty() || !deleted.empty()) {
            if (stack.empty()) {
                std::reverse(deleted.begin(), deleted.end());
                stack.swap(deleted);
            }
            if (hint) HintFolders(stack, hinted);
            auto [folder, depth] = stack.back();
            stack.pop_back();
            hinted.erase(folder);
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
