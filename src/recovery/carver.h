#pragma once
// Carving files out of raw sectors. A scan feeds the carver its buffers in
// ascending sector order; web pages are ended as the bytes stream past, every
// other type by its walker, which reads on from the header's sector through
// the scan's reader. A file's sectors are not searched for further headers
// (pictures inside documents stay inside).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "recovery/carve_format.h"

namespace delvora {

/// One carved file: stream sectors (the carver's sector size). A file
/// taken over a gap has two runs.
struct CarvedFile {
    std::string name;
    std::string folder;  // "HTML", "JPG", "DOCX", ...
    uint64_t startSector = 0;
    uint64_t sectorCount = 0;  // sectors of the first run
    uint64_t size = 0;
    CarveStatus status = CarveStatus::Complete;
    uint64_t gapSector = 0;      // first sector skipped (0: no gap)
    uint64_t gapSectors = 0;     // sectors skipped
    uint64_t secondCount = 0;    // sectors of the run after the gap
    /// "complete", "truncated" or "fragmented (gap at sector N, M sectors)".
    std::string StatusText() const;
};

/// What one carve decided at each header and page, in sector order: enough
/// to tell, for a pass started at another sector, which of its decisions
/// the whole pass shares (the parts of a split carve are joined by it).
struct CarveEvent {
    enum Kind : uint8_t { kFile, kSkip, kReject, kPage, kOpenPage };
    Kind kind = kFile;
    uint64_t start = 0;
    /// kFile, kSkip: the first sector headers are tested at again;
    /// kPage: the first sector a start tag is looked for again;
    /// kOpenPage: never closed, so UINT64_MAX.
    uint64_t until = 0;
    uint32_t index = 0;  // kFile: into Files(); kPage: into HtmlHits()
};

struct AnalysisOptions;

/// The types the options ask for: the HTML and DOC switches and the others.
uint32_t CarveTypes(const AnalysisOptions& options);

class Carver {
public:
    /// types: carve_type bits; sectorBytes: the unit sector numbers count
    /// (512, or the volume's logical sector size).
    explicit Carver(uint32_t types, uint32_t sectorBytes = 512);
    Carver(bool html, bool doc, uint32_t sectorBytes = 512);

    /// Lets the walkers read past the buffer at hand: read(sector, dest,
    /// bytes) over the same stream, which ends before endSector. Without it
    /// only web pages are carved.
    void SetReader(CarveReadFn read, uint64_t endSector);
    /// A JPEG or ZIP that fails part-way is tried again with the rest taken
    /// after a gap of 1 to maxGap clusters of clusterBytes.
    void SetGapRetry(uint32_t clusterBytes, uint32_t maxGap);

    /// The sector a default name gives for a stream sector (the stream of
    /// free clusters is not the volume's numbering); identity when unset.
    void SetNameSector(std::function<uint64_t(uint64_t)> map) { m_nameSector = std::move(map); }

    bool Enabled() const { return m_types != 0; }

    /// Carves only files that start in stream sectors [first, end): others
    /// are neither walked nor begun. A web page begun inside still ends
    /// wherever its closing tag lies.
    void SetPart(uint64_t first, uint64_t end) {
        m_partFirst = first;
        m_partEnd = end;
    }
    /// Whether sectors from `sector` on can still add to the part: before
    /// its end, or while a page begun in it waits for its closing tag.
    bool NeedsSectorsFrom(uint64_t sector) const { return sector < m_partEnd || m_htmlOpen; }
    /// Starts as a pass that came this far would be: headers tested from
    /// skipUntil on, start tags looked for from htmlFrom on.
    void SetEntry(uint64_t skipUntil, uint64_t htmlFrom) {
        m_skipUntil = skipUntil;
        m_htmlFrom = htmlFrom;
    }
    /// Every decision so far (a page still open ends the list as kOpenPage).
    std::vector<CarveEvent> Events() const;

    /// Feeds whole sectors whose first one is `sector`; a trailing partial
    /// sector is ignored. Buffers must come in ascending order; a buffer
    /// that directly continues the previous one lets a closing tag span them.
    void Carve(ByteSpan buffer, uint64_t sector);

    const std::vector<CarvedFile>& HtmlHits() const { return m_html; }
    /// Every other carved file, in the order found.
    const std::vector<CarvedFile>& Files() const { return m_files; }
    /// Header hits whose walk did not validate.
    uint64_t Rejected() const { return m_rejected; }

private:
    void HtmlStep(ByteSpan buffer, size_t at, uint64_t s);
    void EndHtml(uint64_t s, int64_t i, uint64_t resume);
    void WalkAt(ByteSpan head, uint64_t s);
    bool RetryOverGap(const CarveFormat& format, CarveInput& in, CarveWalk& walk, uint64_t s) const;

    uint32_t m_types;
    uint32_t m_unit;
    CarveReadFn m_read;
    std::function<uint64_t(uint64_t)> m_nameSector;
    uint64_t m_end = 0;
    uint32_t m_clusterUnits = 8;
    uint32_t m_maxGap = 0;
    uint64_t m_skipUntil = 0;  // sectors before this belong to the last file carved
    uint64_t m_partFirst = 0;
    uint64_t m_partEnd = UINT64_MAX;
    uint64_t m_htmlFrom = 0;
    std::vector<CarveEvent> m_events;
    uint64_t m_rejected = 0;

    // Web page in progress.
    bool m_htmlOpen = false;
    uint64_t m_htmlStart = 0;
    std::string m_htmlName;
    // Within the current buffer no closing tag begins at or after this
    // offset (spares a rescan from every later sector of the buffer).
    size_t m_noCloseFrom = SIZE_MAX;
    // The last bytes of the previous buffer and the sector that followed it.
    uint8_t m_tail[6] = {};
    size_t m_tailBytes = 0;
    uint64_t m_tailNext = UINT64_MAX;

    std::vector<CarvedFile> m_html;
    std::vector<CarvedFile> m_files;
};

}  // namespace delvora

namespace delvora {

class FileTree;
class ClusterRunList;
struct FileItem;

/// Maps a run of stream sectors to the volume's sectors (a stream of free
/// clusters only); identity when empty.
using CarveRunMap = std::function<void(uint64_t first, uint64_t count, ClusterRunList& runs)>;

/// The folders "HTML", then one per other type in the order first found
/// (only those with hits), flagged deleted, found and directory; their files
/// are flagged deleted and found and carry their sector runs owned by tree. The folders' children arrays belong to the records appended to
/// folders: the caller hangs them into the tree (and relinks parents). False
/// when memory fails (nothing appended then).
bool MakeCarvedFolders(FileTree& tree, const Carver& carver, std::vector<FileItem>& folders,
                       const CarveRunMap& map = {});
/// The same from lists of pages and other files (as Carver::HtmlHits and
/// Carver::Files hold them).
bool MakeCarvedFolders(FileTree& tree, const std::vector<CarvedFile>& html, const std::vector<CarvedFile>& files,
                       std::vector<FileItem>& folders, const CarveRunMap& map = {});

}  // namespace delvora
