#include "search/keyword_search.h"

#include <algorithm>
#include <new>

#include "common/options.h"
#include "common/text_format.h"
#include "common/translation.h"
#include "disk/data_source.h"
#include "fs/ext2/ext2_volume.h"
#include "fs/volume.h"
#include "search/keyword.h"
#include "search/search_terms.h"
#include "search/source_scan.h"
#include "search/term_matcher.h"

namespace delvora {
namespace {

// NTFS and EXT2 are read in windows of 128 sectors; the last sector of each
// is look-ahead only, so the next window begins with it. The hit text
// depends on the window a hit is found in.
constexpr uint64_t kWindowBytes = 65536;
constexpr uint64_t kWindowStep = kWindowBytes - 512;
// FAT reads a cluster and 512 bytes of look-ahead.
constexpr uint64_t kClusterLookAhead = 512;

// How one kind names the place of a hit.
struct HitNaming {
    uint64_t originByte = 0;   // byte of the first window or cluster
    uint64_t firstUnit = 0;    // position of the unit at originByte (FAT: the first cluster)
    uint64_t unitBytes = 512;  // bytes per position: cluster, or sector
    uint64_t sectorOrigin = 0; // byte that sector positions count from (volume or source start)
    bool clusters = false;     // FAT: windows are clusters; else 64 KiB windows
};

int PreparePatterns(const std::vector<KeywordSpec>& keywords, const CoreContext& context, TermMatcher& matcher) {
    std::vector<SearchTerm> terms;
    if (!ExpandKeywords(keywords, context.Options().codepage, terms, context.Notify())) return 0;
    std::string error;
    if (!matcher.Prepare(std::move(terms), error)) {
        if (!error.empty()) context.Notify().Message(error, "提示", MessageIcon::Error);
        return 0;
    }
    return 1;
}

// The end of what may be read for a volume, in source sectors: its extent,
// and the source's size where that is known.
uint64_t VolumeEnd(const Volume& volume, DataSource& source) {
    uint64_t end = volume.StartSector() + std::min(volume.TotalSectors(), UINT64_MAX - volume.StartSector());
    const uint64_t sourceSectors = source.SizeBytes() / 512;
    if (sourceSectors > 0) end = std::min(end, sourceSectors);
    return end;
}

// Progress counts units of unitBytes; the bar's 32-bit range is kept by
// counting larger units when there are too many.
struct ProgressScale {
    uint64_t unitBytes = 512;
    uint32_t Range(uint64_t totalBytes) {
        unitBytes = std::max<uint64_t>(unitBytes, 1);
        while (totalBytes / unitBytes > UINT32_MAX) unitBytes *= 2;
        return static_cast<uint32_t>(totalBytes / unitBytes);
    }
    uint32_t Pos(uint64_t bytes) const { return static_cast<uint32_t>(std::min<uint64_t>(bytes / unitBytes, UINT32_MAX)); }
};

// Scans extent and appends the hits named by naming. Answers 1 (also when
// stopped), 0 when out of memory.
// With a flush, hits are handed on whenever kHitBatch have gathered (and
// at the end); flush answers false to stop.
using HitFlush = std::function<bool(std::vector<KeywordHit>&)>;

int ScanForHits(DataSource& source, const CoreContext& context, TermMatcher& matcher,
                const ScanExtent& extent, const HitNaming& naming, uint64_t progressUnit, const KeepGoing& keepGoing,
                std::vector<KeywordHit>& hits, const HitFlush& flush = nullptr, bool* oom = nullptr) {
    Progress& progress = context.Prog();
    const std::string& codepage = context.Options().codepage;
    ProgressScale scale{progressUnit};
    progress.SetProgressText(Tr("KeywordSearch", kSearchingText));
    const bool part = extent.partEnd > extent.partFirst;
    const uint64_t first = part ? std::max(extent.first, extent.partFirst) : extent.first;
    const uint64_t end = part ? std::min(extent.end, extent.partEnd) : extent.end;
    progress.SetProgressRange(0, scale.Range(end > first ? (end - first) * 512 : 0));
    bool outOfMemory = false, flushStopped = false;
    uint64_t found = 0;
    ScanCallbacks callbacks;
    callbacks.keepGoing = [&] { return !outOfMemory && !flushStopped && (!keepGoing || keepGoing()); };
    callbacks.onProgress = [&](uint64_t done) { progress.SetProgressPos(scale.Pos(done)); };
    callbacks.onStarts = [&](const ScanBlock& block, const std::vector<PatternStart>& starts) {
        try {
            for (const PatternStart& start : starts) {
                KeywordHit hit;
                hit.byteOffset = block.firstByte + start.position;
                const SearchTerm& term = matcher.Term(start.pattern);
                hit.keyword = term.keyword;
                hit.encoding = term.encoding;
                hit.length = start.length ? start.length : term.length;
                const uint64_t fromOrigin = hit.byteOffset - naming.originByte;
                uint64_t windowStart = 0, windowBytes = 0, windowLimit = 0;
                if (naming.clusters) {
                    hit.position = naming.firstUnit + fromOrigin / naming.unitBytes;
                    hit.offset = static_cast<uint32_t>(fromOrigin % naming.unitBytes);
                    windowStart = hit.byteOffset - hit.offset;
                    windowBytes = naming.unitBytes;
                    windowLimit = windowStart + naming.unitBytes + kClusterLookAhead;
                } else {
                    const uint64_t fromVolume = hit.byteOffset - naming.sectorOrigin;
                    hit.position = fromVolume / naming.unitBytes;
                    hit.offset = static_cast<uint32_t>(fromVolume % naming.unitBytes);
                    windowStart = naming.originByte + fromOrigin / kWindowStep * kWindowStep;
                    windowBytes = kWindowBytes;
                    windowLimit = windowStart + kWindowBytes;
                }
                // Literal bytes and hex patterns read in the code page; texts in their own encoding.
                const std::string& textCodepage = term.encoding == "hex" ? codepage : IconvName(term.encoding);
                hit.hitText = HitContext(block, hit.byteOffset, std::max<uint32_t>(hit.length, 1), windowStart,
                                         windowBytes, windowLimit, textCodepage);
                hits.push_back(std::move(hit));
                ++found;
                if (flush && hits.size() >= kHitBatch && !flushStopped) {
                    flushStopped = !flush(hits);
                    hits.clear();
                }
            }
            progress.SetPaneText(Format(Tr("KeywordSearch", "找到 %llu 个"), static_cast<unsigned long long>(found)));
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
        }
    };
    const bool finished = ScanSource(source, matcher, extent, callbacks);
    if (flush && !outOfMemory && !flushStopped && !hits.empty()) {
        try {
            flush(hits);
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
        }
        hits.clear();
    }
    if (outOfMemory && oom) *oom = true;
    if (!finished && outOfMemory) return 0;
    return 1;
}

void Finish(const CoreContext& context) {
    Progress& progress = context.Prog();
    if (!progress.Exists()) return;
    progress.SetProgressText("");
    progress.SetPaneText(Tr("KeywordSearch", kSearchResultsText));
    progress.SetProgressRange(0, 0);
}

int SearchFat(Volume& volume, DataSource& source, TermMatcher& matcher, uint64_t startSector,
              uint64_t sectorCount, const KeepGoing& keepGoing, std::vector<KeywordHit>& hits, const HitFlush& flush,
              bool* oom, const SearchPart& part) {
    const CoreContext& context = volume.Context();
    const uint64_t clusterBytes = volume.BytesPerCluster();
    const uint64_t sectorBytes = volume.BytesPerSector();
    if (clusterBytes < matcher.LongestFixed() || sectorBytes == 0 || clusterBytes % 512 != 0) return 0;
    if (startSector < volume.StartSector()) {
        context.Notify().Message(Tr("KeywordSearch", kSectorSettingError), "提示", MessageIcon::Error);
        return 0;
    }
    const uint64_t firstCluster = volume.SectorToCluster((startSector - volume.StartSector()) * 512 / sectorBytes);
    if (firstCluster < 2) {
        context.Notify().Message(Tr("KeywordSearch", kCalculationError22), "提示", MessageIcon::Error);
        return 0;
    }
    const uint64_t clusterCount = std::min(sectorCount, UINT64_MAX / 512) * 512 / clusterBytes;
    const uint64_t readEnd = VolumeEnd(volume, source);
    const uint64_t firstByte = volume.ClusterToSector(firstCluster) * sectorBytes;
    ScanExtent extent;
    extent.first = volume.StartSector() + firstByte / 512;
    extent.end = std::min(readEnd, extent.first + std::min(clusterCount, UINT64_MAX / clusterBytes) * clusterBytes / 512);
    extent.readEnd = readEnd;
    extent.partFirst = part.first;
    extent.partEnd = part.end;
    HitNaming naming{extent.first * 512, firstCluster, clusterBytes, 0, true};
    if (extent.first >= extent.end) return 1;
    return ScanForHits(source, context, matcher, extent, naming, clusterBytes, keepGoing, hits, flush, oom);
}

int SearchSectors(Volume& volume, DataSource& source, TermMatcher& matcher, uint64_t startSector,
                  uint64_t sectorCount, const KeepGoing& keepGoing, std::vector<KeywordHit>& hits,
                  const HitFlush& flush, bool* oom, const SearchPart& part) {
    const CoreContext& context = volume.Context();
    if (startSector < volume.StartSector()) {
        context.Notify().Message(Tr("KeywordSearch", kSectorSettingError), "提示", MessageIcon::Error);
        return 0;
    }
    uint64_t readEnd = VolumeEnd(volume, source);
    if (volume.FileSystemKind() == kExt2) {
        // The volume's own length bounds the scan; without it nothing is scanned.
        const auto* ext2 = dynamic_cast<const Ext2Volume*>(&volume);
        if (!ext2) return 0;
        const Ext2Geometry& g = ext2->Geometry();
        if (g.dwBlockSize == 0 || g.dwSectorsPerBlock == 0 || g.qwBlockCount == 0) return 0;
        const uint64_t length = g.qwBlockCount > UINT64_MAX / g.dwSectorsPerBlock ? UINT64_MAX
                                                                                   : g.qwBlockCount * g.dwSectorsPerBlock;
        readEnd = std::min(readEnd, volume.StartSector() + std::min(length, UINT64_MAX - volume.StartSector()));
    }
    const uint64_t sectorBytes = std::max<uint32_t>(volume.BytesPerSector(), 1);
    ScanExtent extent{startSector, std::min(readEnd, startSector + std::min(sectorCount, UINT64_MAX - startSector)),
                      readEnd, part.first, part.end};
    HitNaming naming{startSector * 512, 0, sectorBytes, volume.StartSector() * 512, false};
    if (extent.first >= extent.end) return 1;
    return ScanForHits(source, context, matcher, extent, naming, 512, keepGoing, hits, flush, oom);
}

}  // namespace

namespace {

// Without a sink every hit is gathered in hits and named at the end;
// with one, each batch is named and handed on as the scan goes.
int RunVolumeSearch(Volume& volume, const std::vector<KeywordSpec>& keywords, uint64_t startSector,
                    uint64_t sectorCount, const KeepGoing& keepGoing, std::vector<KeywordHit>& hits,
                    const HitSink* sink, bool* oom, const SearchPart& part = {}) {
    try {
        const CoreContext& context = volume.Context();
        DataSource* source = volume.GetDataSource();
        TermMatcher matcher;
        if (!PreparePatterns(keywords, context, matcher) || !source) return 0;
        LogNonDefaultOptions(context, Tr("KeywordSearch", "搜索"));
        HitFlush flush;
        if (sink) {
            flush = [&](std::vector<KeywordHit>& batch) {
                MatchHitsToFiles(volume, batch, keepGoing);
                context.Prog().SetProgressText(Tr("KeywordSearch", kSearchingText));
                return (*sink)(batch);
            };
        }
        int rc = 0;
        switch (volume.FileSystemKind()) {
            case kFat12:
            case kFat16:
            case kFat32:
                rc = SearchFat(volume, *source, matcher, startSector, sectorCount, keepGoing, hits, flush, oom, part);
                break;
            case kNtfs:
            case kExt2:
            case kExfat:
                rc = SearchSectors(volume, *source, matcher, startSector, sectorCount, keepGoing, hits, flush, oom,
                                   part);
                break;
            default:
                return 0;
        }
        if (rc) {
            if (!sink) MatchHitsToFiles(volume, hits, keepGoing);
            Finish(context);
        }
        return rc;
    } catch (const std::bad_alloc&) {
        if (oom) *oom = true;
        return 0;
    }
}

int RunSourceSearch(DataSource& source, const CoreContext& context, const std::vector<KeywordSpec>& keywords,
                    uint64_t startSector, uint64_t sectorCount, const KeepGoing& keepGoing,
                    std::vector<KeywordHit>& hits, const HitSink* sink, bool* oom, const SearchPart& part = {}) {
    try {
        TermMatcher matcher;
        if (!PreparePatterns(keywords, context, matcher)) return 0;
        LogNonDefaultOptions(context, Tr("KeywordSearch", "搜索"));
        uint64_t readEnd = source.SizeBytes() / 512;
        if (readEnd == 0) readEnd = UINT64_MAX;
        ScanExtent extent{startSector, std::min(readEnd, startSector + std::min(sectorCount, UINT64_MAX - startSector)),
                          readEnd, part.first, part.end};
        HitNaming naming{startSector * 512, 0, 512, 0, false};
        HitFlush flush;
        if (sink) flush = [&](std::vector<KeywordHit>& batch) { return (*sink)(batch); };
        int rc = 1;
        if (extent.first < extent.end)
            rc = ScanForHits(source, context, matcher, extent, naming, 512, keepGoing, hits, flush, oom);
        if (rc) Finish(context);
        return rc;
    } catch (const std::bad_alloc&) {
        if (oom) *oom = true;
        return 0;
    }
}

}  // namespace

int SearchKeyword(Volume& volume, const std::vector<KeywordSpec>& keywords, uint64_t startSector,
                  uint64_t sectorCount, const KeepGoing& keepGoing, std::vector<KeywordHit>& hits) {
    return RunVolumeSearch(volume, keywords, startSector, sectorCount, keepGoing, hits, nullptr, nullptr);
}

int SearchKeywordBatched(Volume& volume, const std::vector<KeywordSpec>& keywords, uint64_t startSector,
                         uint64_t sectorCount, const KeepGoing& keepGoing, const HitSink& sink, bool* outOfMemory,
                         const SearchPart& part) {
    std::vector<KeywordHit> batch;
    return RunVolumeSearch(volume, keywords, startSector, sectorCount, keepGoing, batch, &sink, outOfMemory, part);
}

int SearchSource(DataSource& source, const CoreContext& context, const std::vector<KeywordSpec>& keywords,
                 uint64_t startSector, uint64_t sectorCount, const KeepGoing& keepGoing,
                 std::vector<KeywordHit>& hits) {
    return RunSourceSearch(source, context, keywords, startSector, sectorCount, keepGoing, hits, nullptr, nullptr);
}

int SearchSourceBatched(DataSource& source, const CoreContext& context, const std::vector<KeywordSpec>& keywords,
                        uint64_t startSector, uint64_t sectorCount, const KeepGoing& keepGoing, const HitSink& sink,
                        bool* outOfMemory, const SearchPart& part) {
    std::vector<KeywordHit> batch;
    return RunSourceSearch(source, context, keywords, startSector, sectorCount, keepGoing, batch, &sink, outOfMemory,
                           part);
}

}  // namespace delvora
