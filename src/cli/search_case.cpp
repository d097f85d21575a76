#include "cli/search_case.h"

#include <cstdio>

#include "case/case_file.h"
#include "case/case_workspace.h"
#include "case/data_item.h"
#include "case/keyword_search_worker.h"
#include "cli/volume_arg.h"
#include "disk/data_source.h"
#include "common/text_format.h"
#include "fs/file_tree.h"
#include "fs/volume.h"

namespace delvora::cli {

int SearchIntoCase(Env& env, const std::string& casePath, const OpenedVolume& opened,
                   const std::vector<KeywordSpec>& keywords, uint64_t start, uint64_t count,
                   std::vector<KeywordHit>& hits, const std::function<int(Volume&)>& print) {
    CaseWorkspace workspace(env.context);
    std::string error;
    const int loaded = LoadCaseFile(workspace, casePath, &error);
    workspace.WaitForWorker();
    if (!loaded) return Fail(kFailed, error.empty() ? "cannot load " + casePath : error);
    Volume* volume = nullptr;
    for (const auto& item : workspace.Items())
        for (const auto& candidate : item->volumes)
            if (!volume && item->source->Path() == opened.source->Path() &&
                candidate->StartSector() == opened.volume->StartSector())
                volume = candidate.get();
    if (!volume)
        return Fail(kFailed, "the case holds no item for this volume: add it with case save " + casePath + " first");
    // The folder copies the keyword it is named after, as the workstation's does.
    CaseItem keyword(keywords[0].text, node_kinds::kKeyword);
    keyword.number = keywords[0].type;
    keyword.text = keywords[0].text;
    CaseItem* folder = PrepareResultFolder(workspace, keyword);
    if (!folder) return Fail(kFailed, casePath + " has no \"搜索\" group");
    if (!SearchKeyword(*volume, keywords, start, count, nullptr, hits))
        return Fail(kFailed, "the search did not run: a keyword gives no bytes or the range holds no cluster");
    if (const int rc = print(*volume); rc != kOk) return rc;
    std::vector<KeywordHit> stored = hits;
    StoreHits(*folder, *volume, stored);
    if (!SaveCaseFile(workspace, casePath, 1, &error))
        return Fail(kFailed, "cannot save " + casePath + (error.empty() ? "" : ": " + error));
    return kOk;
}

void PrintCaseResults(const Env& env, CaseWorkspace& workspace) {
    const CaseItem* group = workspace.Root().FindChild(kSearchGroupName);
    if (!group) return;
    for (const auto& folder : group->children) {
        std::string out;
        if (env.json) {
            out = "{\"resultFolder\":" + JsonString(folder->name) + Format(",\"hitCount\":%zu,\"hits\":[", folder->children.size());
        } else {
            out = EscapeControls(folder->name) + Format("\t%zu hits\n", folder->children.size());
        }
        bool first = true;
        for (const auto& hit : folder->children) {
            const std::string file = hit->fileItem ? FullPath(*hit->fileItem) : hit->filePath;
            if (env.json) {
                out += std::string(first ? "" : ",") +
                       Format("{\"position\":%llu,\"offset\":%u,\"byteOffset\":%llu,\"encoding\":",
                              static_cast<unsigned long long>(hit->position), hit->offset,
                              static_cast<unsigned long long>(hit->byteOffset)) +
                       JsonString(hit->encoding) + ",\"file\":" + (file.empty() ? "null" : JsonString(file)) +
                       ",\"fileFound\":" + (hit->fileItem ? "true" : "false") + "}";
            } else {
                out += Format("\t%llu\t%u\t%llu\t", static_cast<unsigned long long>(hit->position), hit->offset,
                              static_cast<unsigned long long>(hit->byteOffset)) +
                       EscapeControls(hit->encoding) + "\t" + EscapeControls(file) + "\n";
            }
            first = false;
        }
        if (env.json) out += "]}\n";
        std::fwrite(out.data(), 1, out.size(), stdout);
    }
}

}  // namespace delvora::cli
