// The NTFS residual search: lost MFT records found slot by slot, rebuilt
// into folders by their parent references.
#include <algorithm>
#include <new>
#include <unordered_map>

#include "common/options.h"
#include "common/text_format.h"
#include "common/translation.h"
#include "disk/data_source.h"
#include "fs/ntfs/ntfs_attribute_info.h"
#include "fs/ntfs/ntfs_record.h"
#include "fs/ntfs/ntfs_run_list.h"
#include "fs/ntfs/ntfs_volume.h"
#include "recovery/carver.h"
#include "recovery/residual_search.h"
#include "recovery/slot_tests.h"

namespace delvora {
namespace {

// Sectors read per request; the search examines them 64 KiB at a time.
constexpr uint64_t kBlockSectors = 8192;
// The last sectors of the volume hold the boot sector's copy, not records.
constexpr uint64_t kTailSectors = 128;
constexpr uint32_t kNoRecord = UINT32_MAX;

struct Found {
    FileItem item;
    uint32_t record = kNoRecord;  // its MFT record number, when its slot lies in the MFT
    uint32_t parent = 0;
};

/// The MFT record number of the record at a volume sector, through the
/// MFT's runs; kNoRecord for a slot outside the MFT (a stray copy).
uint32_t RecordAt(const NtfsVolume& volume, uint64_t sector) {
    const NtfsBootInfo& boot = volume.Boot();
    uint64_t first = 0;
    // One step per MFT run.
    for (const ClusterRun& run : volume.MftRuns()) {
        const uint64_t records = uint64_t{boot.clusterBytes} * run.count / boot.recordBytes;
        const uint64_t from = uint64_t{boot.sectorsPerCluster} * run.first;
        if (run.first != ntfs::kSparseRun && sector >= from && (sector - from) * 512 / boot.recordBytes < records)
            return (sector - from) % (boot.recordBytes / 512) != 0
                       ? kNoRecord
                       : static_cast<uint32_t>(std::min<uint64_t>(first + (sector - from) * 512 / boot.recordBytes, kNoRecord));
        first += records;
    }
    return kNoRecord;
}

/// Builds the found records into folders: each under the found folder its
/// parent reference names, the rest (and records caught in a loop of
/// references) at the top. Answers the top records; children arrays are
/// allocated on the way (false from the caller's catch when memory fails).
std::vector<FileItem> RebuildFolders(std::vector<Found>& found) {
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return ChildLess(a.item, b.item); });
    const size_t n = found.size();
    std::unordered_map<uint32_t, size_t> folders;
    for (size_t i = 0; i < n; ++i)
        if (found[i].item.IsDirectory() && found[i].record != kNoRecord) folders.emplace(found[i].record, i);
    std::vector<std::vector<size_t>> children(n);
    std::vector<bool> placed(n, false);
    for (size_t i = 0; i < n; ++i) {
        if (found[i].parent == found[i].record) continue;  // the root names itself
        auto it = folders.find(found[i].parent);
        if (it == folders.end() || it->second == i) continue;
        children[it->second].push_back(i);
        placed[i] = true;
    }
    std::vector<bool> built(n, false);
    std::vector<FileItem> top;
    struct Step {
        FileItem* record;
        size_t index;
    };
    std::vector<Step> stack;
    auto build = [&](FileItem& record, size_t index) {
        stack.push_back({&record, index});
        built[index] = true;
        // Each record is built once (marked before it is pushed).
        while (!stack.empty()) {
            const Step step = stack.back();
            stack.pop_back();
            std::vector<size_t> list;
            for (size_t c : children[step.index])
                if (!built[c]) list.push_back(c);
            if (list.empty()) continue;
            std::vector<FileItem> records;
            for (size_t c : list) {
                records.push_back(found[c].item);
                records.back().link = static_cast<uint32_t>(c);  // which found record, until sorted
                built[c] = true;
            }
            if (!SetChildren(*step.record, records)) throw std::bad_alloc();
            for (uint32_t k = 0; k < step.record->childCount; ++k) {
                FileItem& child = step.record->children[k];
                const size_t c = child.link;
                child.link = found[c].item.link;
                if (!children[c].empty()) stack.push_back({&child, c});
            }
        }
    };
    // Unplaced records first, each built at once; a loop of parent
    // references has no unplaced member: its first record left becomes a
    // top record in the second pass.
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < n; ++i) {
            if (built[i] || (pass == 0 && placed[i])) continue;
            top.push_back(found[i].item);
            build(top.back(), i);
        }
    }
    return top;
}

}  // namespace

bool NtfsResidualSearch(NtfsVolume& volume, const ResidualPart& part) {
    DataSource* source = volume.GetDataSource();
    if (!source) return true;
    const CoreContext& context = volume.Context();
    Progress& progress = context.Prog();
    if (!progress.Exists()) return false;
    const AnalysisOptions& options = context.Options();
    const NtfsBootInfo& boot = volume.Boot();
    const uint32_t recordBytes = boot.recordBytes;
    if (recordBytes < 512 || recordBytes > ntfs::kMaxRecordBytes || recordBytes % 512) return false;
    FileTree& tree = volume.Tree();

    uint64_t usable = boot.totalSectors;
    if (const uint64_t bytes = source->SizeBytes(); bytes > 0)
        usable = std::min<uint64_t>(usable, bytes / 512 > volume.StartSector() ? bytes / 512 - volume.StartSector() : 0);
    const uint64_t end = usable > kTailSectors ? usable - kTailSectors : 0;
    const uint32_t shift = end > UINT32_MAX ? 8 : 0;  // keeps the bar's range in 32 bits

    std::vector<Found> found;
    std::vector<FileItem> top;
    try {
        Carver carver(CarveTypes(options));
        const uint64_t first = volume.StartSector();
        carver.SetReader([source, first](uint64_t sector, uint8_t* dest, size_t bytes) {
            return bytes <= UINT32_MAX && source->GetData(dest, static_cast<uint32_t>(bytes), first + sector) != 0;
        }, end);
        carver.SetGapRetry(boot.clusterBytes, static_cast<uint32_t>(std::max(0, options.carveMaxGap)));
        std::vector<uint8_t> block(static_cast<size_t>(kBlockSectors * 512));
        progress.SetProgressRange(0, static_cast<uint32_t>(end >> shift));
        progress.SetProgressText(Tr("NtfsResidual", "查找残余文件..."));
        source->SetReportErrors(0);
        carver.SetPart(part.first, part.end);
        const uint64_t slotSectors = recordBytes / 512;
        // Every step moves on by one block of the whole volume's grid (the
        // slots keep their places whatever the part): the scan ends at the
        // part's end, or where a web page begun inside it closes, and before
        // the tail.
        for (uint64_t c = part.first / kBlockSectors * kBlockSectors;
             c < end && (c < part.end || carver.NeedsSectorsFrom(c)) && !volume.StopRequested(); c += kBlockSectors) {
            const uint64_t n = std::min(kBlockSectors, end - c);
            progress.SetProgressPos(static_cast<uint32_t>(c >> shift));
            // Slots start at multiples of slotSectors from the block's start;
            // only those the part holds are tested, and only as many sectors
            // as they (and the carving) need are read.
            const uint64_t slotFrom =
                part.first > c ? (part.first - c + slotSectors - 1) / slotSectors * slotSectors : 0;
            const uint64_t readFrom = carver.Enabled() ? std::min(slotFrom, part.first > c ? part.first - c : 0) : slotFrom;
            uint64_t readTo = n;
            if (!carver.Enabled() && part.end < c + n) readTo = std::min(n, part.end - c + slotSectors - 1);
            if (readFrom >= readTo) continue;
            // An unreadable block is passed by; the rest of the volume is still searched.
            if (!source->GetData(block.data() + readFrom * 512, static_cast<uint32_t>((readTo - readFrom) * 512),
                                 volume.StartSector() + c + readFrom))
                continue;
            const ByteSpan bytes(block.data(), static_cast<size_t>(readTo * 512));
            if (carver.Enabled()) carver.Carve(bytes.subspan(static_cast<size_t>(readFrom * 512)), c + readFrom);
            for (uint64_t k = slotFrom; k + slotSectors <= readTo && part.Holds(c + k); k += slotSectors) {
                const uint64_t s = c + k;
                if (!options.searchLoadedFiles && tree.GetBit(s)) continue;
                const ByteSpan slot = bytes.subspan(static_cast<size_t>(k * 512), recordBytes);
                if (!LooksLikeLostRecord(slot)) continue;
                Found f;
                if (!GetAttributeInfo(slot, f.item, f.parent, context.Logger()) || !f.item.name || !*f.item.name)
                    continue;
                f.item.flags |= item_flags::kVolumePosition;
                f.item.SetWideAddress(s / slotSectors);
                f.record = RecordAt(volume, s);
                found.push_back(f);
                progress.SetPaneText(Format(Tr("NtfsResidual", "找到 %zu 个"), found.size()));
            }
        }
        source->SetReportErrors(1);
        progress.SetProgressPos(static_cast<uint32_t>((end / 2) >> shift));
        progress.SetProgressText(Tr("NtfsResidual", "正在调整文件夹..."));
        top = RebuildFolders(found);
        found.clear();
        if (!MakeCarvedFolders(tree, carver, top)) throw std::bad_alloc();
        volume.Tree().ClearTop(*volume.RecycleItem());
        volume.RecycleItem()->flags |= item_flags::kDirectory;
        if (!SetChildrenInOrder(*volume.RecycleItem(), top)) throw std::bad_alloc();
    } catch (const std::bad_alloc&) {
        source->SetReportErrors(1);
        for (FileItem& f : top) FreeSubtree(f);
        return false;
    }
    EndSearchProgress(progress);
    return true;
}

}  // namespace delvora
