#pragma once
// Carving web pages and compound-file (Word) documents out of raw sectors.
// A scan feeds the carver its buffers in ascending sector order; the state
// lives across buffers for a whole pass, so a file may span clusters. A
// carved file is one contiguous range from its first sector.
#include <cstdint>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "recovery/ole_extent.h"

namespace delvora {

/// One carved file: volume-relative sectors (the carver's sector size).
struct CarvedFile {
    std::string name;
    uint64_t startSector = 0;
    uint64_t sectorCount = 0;
    uint64_t size = 0;
};

class Carver {
public:
    /// sectorBytes: the unit sector numbers count (512, or the volume's
    /// logical sector size).
    Carver(bool html, bool doc, uint32_t sectorBytes = 512);

    bool Enabled() const { return m_bHtml || m_bDoc; }

    /// Feeds whole sectors whose first one is `sector`; a trailing partial
    /// sector is ignored. Buffers must come in ascending order; a buffer
    /// that directly continues the previous one lets a closing tag span them.
    void Carve(ByteSpan buffer, uint64_t sector);

    const std::vector<CarvedFile>& HtmlHits() const { return m_html; }
    const std::vector<CarvedFile>& DocHits() const { return m_doc; }

private:
    void HtmlStep(ByteSpan buffer, size_t at, uint64_t s);
    void DocStep(ByteSpan buffer, size_t at, uint64_t s);
    void EndHtml(uint64_t s, int64_t i);
    void EndDoc(uint64_t endSector, uint64_t size);
    void StartDoc(ByteSpan header, uint64_t s);

    bool m_bHtml;
    bool m_bDoc;
    uint32_t m_unit;

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

    // Compound file in progress.
    enum class DocMode { Idle, Header, Known, CompObj };
    DocMode m_docMode = DocMode::Idle;
    uint64_t m_docStart = 0;
    std::string m_docName;
    OleExtent m_ole;
    uint64_t m_docEnd = 0;       // last sector when the header gave the extent
    uint64_t m_docSize = 0;
    uint64_t m_compObjSeen = 0;  // first CompObj sector met while the header was pending (0: none)

    std::vector<CarvedFile> m_html;
    std::vector<CarvedFile> m_doc;
};

}  // namespace delvora

namespace delvora {

class FileTree;
struct FileItem;

/// The folders "HTML" and "DOC" (only those with hits, in that order),
/// flagged deleted, found and directory; their files are flagged deleted
/// and found, start at their first sector and carry one sector run owned by
/// tree. The folders' children arrays belong to the records appended to
/// folders: the caller hangs them into the tree (and relinks parents). False
/// when memory fails (nothing appended then).
bool MakeCarvedFolders(FileTree& tree, const Carver& carver, std::vector<FileItem>& folders);

}  // namespace delvora
