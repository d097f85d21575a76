#pragma once
// The keywords of a case in its case file: a section after the item records,
// which readers that know only the records never reach. A case whose
// keywords are the new case's ("关键字1", MAIN, ASCII) writes nothing, so its
// file stays byte for byte what it was without the section.
#include <memory>
#include <vector>

#include "case/case_item.h"
#include "common/archive.h"

namespace delvora {

/// Appends the section for the children of the "关键字" group, or nothing
/// when they are the new case's.
void WriteKeywordSection(ArchiveWriter& archive, const CaseItem& keywordGroup);

/// Reads a section at the reader's position: the keywords (with their own
/// children) in file order. Answers false, with out empty, when there is no
/// section or it is cut short or malformed. No I/O.
bool ReadKeywordSection(ArchiveReader& archive, std::vector<std::unique_ptr<CaseItem>>& out);

/// Appends keywords to the group, leaving out each one the group already
/// holds with the same name, type and text.
void MergeKeywords(CaseItem& keywordGroup, std::vector<std::unique_ptr<CaseItem>> keywords);

}  // namespace delvora
