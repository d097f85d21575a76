#pragma once
// search --case: the hits of a volume search kept as a result folder in a
// case file, as the workstation keeps them.
#include <vector>

#include "cli/cli.h"
#include "search/keyword_search.h"

namespace delvora::cli {

struct OpenedVolume;
}  // namespace delvora::cli
namespace delvora {
class CaseWorkspace;
}
namespace delvora::cli {

/// Opens the case file casePath, searches the case's own volume that
/// matches opened (same source path and start sector) for keywords in
/// [start, start + count), puts the hits in a result folder under "搜索"
/// (named after the keyword, or the first of a list, + "  的查找结果") and
/// saves the case. hits gets the hits for printing; volume is set to the
/// case's volume they refer to.
int SearchIntoCase(Env& env, const std::string& casePath, const OpenedVolume& opened,
                   const std::vector<KeywordSpec>& keywords, uint64_t start, uint64_t count,
                   std::vector<KeywordHit>& hits, const std::function<int(Volume&)>& print);

/// Lists a case's result folders: per folder its name and hit count, then
/// each hit's place, encoding and file (JSON: one object per folder).
void PrintCaseResults(const Env& env, CaseWorkspace& workspace);

}  // namespace delvora::cli
