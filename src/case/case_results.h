#pragma once
// Search results in the case file: the result folders under "搜索" and their
// hits, in a section after the others that older readers never reach. A
// hit names its volume by the position of its data item among the records
// and of the volume on that item, and its file by path, so that both are
// found again once the items are analysed on reopening.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "case/case_item.h"
#include "common/archive.h"

namespace delvora {

class CaseWorkspace;

/// Hits one section may hold; the bytes left bound any count first.
inline constexpr uint32_t kStoredHitLimit = 10000000;

struct StoredHit {
    std::string hitText;
    uint32_t itemIndex = 0;    // record of the data item, from 0
    uint32_t volumeIndex = 0;  // volume on that item, from 0
    uint64_t position = 0;
    uint32_t offset = 0;
    uint64_t byteOffset = 0;
    std::string encoding;
    std::string filePath;      // "" when the hit had no file
};

struct StoredResultFolder {
    std::string name;
    uint32_t type = 0;
    std::string text;
    std::vector<StoredHit> hits;
};

/// Appends the section when the case has result folders (nothing otherwise).
void WriteResultsSection(ArchiveWriter& archive, const CaseWorkspace& workspace);

/// Reads a section at the reader's position. False with out empty and, for
/// a section that is there but cut short or claims more than it holds, a
/// message in error; no section at all gives false with error empty.
bool ReadResultsSection(ArchiveReader& archive, std::vector<StoredResultFolder>& out, std::string& error);

/// Puts stored folders under "搜索" (a folder of the same name is replaced),
/// their hits' volumes taken from the items from firstItem on and their
/// files found again by path (a file not found keeps its path for display).
void RestoreResults(CaseWorkspace& workspace, std::vector<StoredResultFolder> folders, size_t firstItem);

}  // namespace delvora
