#pragma once
// The keyword search: every hit of one or more keywords in a stretch of a
// loaded volume (FAT by clusters, NTFS and EXT2 by 64 KiB windows of
// sectors) or of a whole source, and the file each hit lies in.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/reporting.h"
#include "common/translation.h"
#include "fs/file_item.h"

namespace delvora {

class DataSource;
class Volume;

inline constexpr const char* kKeywordFarTooLong = TrNoop("KeywordSearch", "关键字太长了!");
inline constexpr const char* kSectorSettingError = TrNoop("KeywordSearch", "扇区设置错误!");
inline constexpr const char* kCalculationError22 = TrNoop("KeywordSearch", "计算错误22!");
inline constexpr const char* kSearchingText = TrNoop("KeywordSearch", "查找关键字...");
inline constexpr const char* kMatchingText = TrNoop("KeywordSearch", "匹配文件...");
inline constexpr const char* kSearchResultsText = TrNoop("KeywordSearch", "查找结果");

/// One keyword as a keyword item holds it: its text (UTF-8) and KeywordType.
struct KeywordSpec {
    std::string text;
    uint32_t type = 0;
    bool ignoreCase = false;           // ASCII letters of a text or expression in either case
    uint32_t encodings = 0;            // TextEncodingBits; 0: the kind's own encoding
    uint32_t maxMatch = 1024;          // longest match of an expression that is reported
};

struct KeywordHit {
    uint64_t byteOffset = 0;  // of the hit's first byte on the source
    uint64_t position = 0;    // FAT: cluster; NTFS, EXT2: volume sector; whole source: 512-byte sector
    uint32_t offset = 0;      // byte offset in that cluster or sector
    uint32_t keyword = 0;     // index into the keywords searched
    std::string hitText;      // the bytes around the hit, printable, UTF-8
    FileItem* file = nullptr; // the file whose data holds the hit, or null
    std::string encoding;     // the encoding the keyword matched in ("gbk", "utf16le", ...)
    uint32_t length = 0;      // bytes the match covers
};

/// Asked before every block, window and file: false ends the search early,
/// keeping the hits found so far.
using KeepGoing = std::function<bool()>;

/// Searches sectorCount 512-byte source sectors from startSector (absolute on
/// the volume's source) for every keyword in one pass, then names each
/// hit's file (MatchHitsToFiles). FAT reports clusters from the cluster of
/// startSector; NTFS and EXT2 report volume sectors. Never reads past the
/// volume's end. Answers 1 when the scan ran (also when stopped), 0 when it
/// did not start (after a message where one is due). hits are in source
/// order.
int SearchKeyword(Volume& volume, const std::vector<KeywordSpec>& keywords, uint64_t startSector,
                  uint64_t sectorCount, const KeepGoing& keepGoing, std::vector<KeywordHit>& hits);

/// The same over a whole source without a file system: positions are
/// 512-byte source sectors, no file is named.
int SearchSource(DataSource& source, const CoreContext& context, const std::vector<KeywordSpec>& keywords,
                 uint64_t startSector, uint64_t sectorCount, const KeepGoing& keepGoing,
                 std::vector<KeywordHit>& hits);

/// Receives hits in source order a batch at a time, each batch already
/// named with its files; the batch is emptied after the call. Answers false
/// to stop the search. Memory stays bounded whatever the number of hits.
using HitSink = std::function<bool(std::vector<KeywordHit>& batch)>;
inline constexpr size_t kHitBatch = 65536;

/// One part of a search, in absolute source sectors: only hits that start
/// in [first, end) are reported, each exactly as the whole search reports
/// it (position, hit text, file). Empty (end <= first): the whole search.
/// Parts that tile a search give its hits, each once, in its order.
struct SearchPart {
    uint64_t first = 0;
    uint64_t end = 0;
};

/// SearchKeyword handing the hits to sink as they are found; outOfMemory is
/// set when memory ran out (the search then ends early).
int SearchKeywordBatched(Volume& volume, const std::vector<KeywordSpec>& keywords, uint64_t startSector,
                         uint64_t sectorCount, const KeepGoing& keepGoing, const HitSink& sink,
                         bool* outOfMemory = nullptr, const SearchPart& part = {});
/// SearchSource handing the hits to sink as they are found.
int SearchSourceBatched(DataSource& source, const CoreContext& context, const std::vector<KeywordSpec>& keywords,
                        uint64_t startSector, uint64_t sectorCount, const KeepGoing& keepGoing, const HitSink& sink,
                        bool* outOfMemory = nullptr, const SearchPart& part = {});

/// Names each hit's file: a breadth-first walk from the root and then the
/// recycle item compares every file's data runs with the hits. FAT: the
/// last file visited wins; NTFS and EXT2: the first. Answers false when
/// stopped or out of memory (hits matched so far keep their file).
bool MatchHitsToFiles(Volume& volume, std::vector<KeywordHit>& hits, const KeepGoing& keepGoing);

}  // namespace delvora
