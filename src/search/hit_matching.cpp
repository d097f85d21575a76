// Naming the file of each hit: the breadth-first walk over a loaded tree.
#include <algorithm>
#include <new>

#include "common/text_format.h"
#include "common/translation.h"
#include "fs/cluster_run_list.h"
#include "fs/ntfs/ntfs_volume.h"
#include "fs/volume.h"
#include "search/keyword_search.h"

namespace delvora {
namespace {

// The caption names the file being matched; showing every one of a
// hundred thousand names would only flood the window.
constexpr size_t kCaptionEvery = 64;

// How closely a file was matched to a hit: a file kept inside its NTFS
// record holds exactly the bytes of that record, which $MFT's data covers
// as well; the record's own file is the one the bytes belong to.
enum Claim : uint8_t { kUnclaimed, kByRuns, kByRecord };

}  // namespace

bool MatchHitsToFiles(Volume& volume, std::vector<KeywordHit>& hits, const KeepGoing& keepGoing) {
    Progress& progress = volume.Context().Prog();
    progress.SetProgressText(Tr("KeywordSearch", kMatchingText));
    if (hits.empty()) return true;
    if (volume.BytesPerSector() == 0) return false;
    try {
        // Hits are looked up by their byte on the source.
        std::vector<size_t> order(hits.size());
        for (size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return hits[a].byteOffset < hits[b].byteOffset; });
        const bool lastWins = volume.FileSystemKind() >= kFat12 && volume.FileSystemKind() <= kFat32;
        const uint64_t origin = volume.StartSector() * 512;
        const uint64_t sectorBytes = volume.BytesPerSector();
        const auto* ntfs = dynamic_cast<const NtfsVolume*>(&volume);
        std::vector<uint8_t> claims(hits.size(), kUnclaimed);

        std::vector<FileItem*> work{volume.RootItem(), volume.RecycleItem()};
        ClusterRunList runs, sectors;
        size_t files = 0;
        // Breadth-first: every record of the tree is appended once, by its
        // one parent, so the list ends.
        for (size_t next = 0; next < work.size(); ++next) {
            if (keepGoing && !keepGoing()) return false;
            FileItem* item = work[next];
            const bool top = next < 2;
            if (top || item->IsDirectory()) {
                if (item->children)
                    for (uint32_t i = 0; i < item->childCount; ++i) work.push_back(&item->children[i]);
                continue;
            }
            if (files++ % kCaptionEvery == 0) progress.SetProgressText(Format(Tr("HitMatching", "匹配 %s"), item->name ? item->name : ""));
            runs.Clear();
            sectors.Clear();
            if (!volume.GetItemRuns(item, runs) || !volume.ConvertRunsToSectors(item, runs, sectors)) continue;
            const bool inRecord = ntfs && (item->flags & item_flags::kInRecord);
            const Claim claim = inRecord ? kByRecord : kByRuns;
            for (const ClusterRun& run : sectors) {
                if (run.first > (UINT64_MAX - origin) / sectorBytes) continue;
                const uint64_t from = origin + run.first * sectorBytes;
                uint64_t length = run.count > (UINT64_MAX - from) / sectorBytes ? UINT64_MAX - from
                                                                               : run.count * sectorBytes;
                // The translated run spans a whole cluster; the file owns its record only.
                if (inRecord) length = std::min<uint64_t>(length, ntfs->RecordBytes());
                auto it = std::lower_bound(order.begin(), order.end(), from,
                                           [&](size_t i, uint64_t byte) { return hits[i].byteOffset < byte; });
                // Each round moves to the next hit in byte order.
                for (; it != order.end() && hits[*it].byteOffset - from < length; ++it) {
                    if (!lastWins && claims[*it] >= claim) continue;
                    hits[*it].file = item;
                    claims[*it] = claim;
                }
            }
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace delvora
