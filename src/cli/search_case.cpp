#include "cli/search_case.h"

#include <cstdio>

#include "case/case_file.h"
#include "case/case_workspace.h"
#include "case/data_item.h"
#include "case/case_results.h"
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
    // The case's volumes come back without their sector counts: the search
    // runs on the volume opened here, and its hits go to the case's twin.
    StoredResultFolder folder;
    bool found = false;
    for (uint32_t i = 0; i < workspace.Items().size() && !found; ++i)
        for (uint32_t v = 0; v < workspace.Items()[i]->volumes.size() && !found; ++v)
            if (workspace.Items()[i]->source->Path() == opened.source->Path() &&
                workspace.Items()[i]->volumes[v]->StartSector() == opened.volume->StartSector()) {
                found = true;
                folder.hits.resize(0);
                StoredHit place;
                place.itemIndex = i;
                place.volumeIndex = v;
                folder.hits.push_back(place);
            }
    if (!found)
        return Fail(kFailed, "the case holds no item for this volume: add it with case save " + casePath + " first");
    const StoredHit place = folder.hits[0];
    folder.hits.clear();
    if (!SearchKeyword(*opened.volume, keywords, start, count, nullptr, hits))
        return Fail(kFailed, "the search did not run: a keyword gives no bytes or the range holds no cluster");
    if (const int rc = print(*opened.volume); rc != kOk) return rc;
    // Named after the keyword (the first of a list) as the workstation names it.
    folder.name = keywords[0].text + kResultFolderSuffix;
    folder.type = keywords[0].type;
    folder.text = keywords[0].text;
    for (const KeywordHit& hit : hits) {
        StoredHit stored = place;
        stored.hitText = hit.hitText;
        stored.position = hit.position;
        stored.offset = hit.offset;
        stored.byteOffset = hit.byteOffset;
        stored.encoding = hit.encoding;
        if (hit.file) stored.filePath = FullPath(*hit.file);
        folder.hits.push_back(std::move(stored));
    }
    std::vector<StoredResultFolder> folders;
    folders.push_back(std::move(folder));
    RestoreResults(workspace, std::move(folders), 0);
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
            const std::string file = hit->hitFile.Item() ? FullPath(*hit->hitFile.Item()) : hit->filePath;
            if (env.json) {
                out += std::string(first ? "" : ",") +
                       Format("{\"position\":%llu,\"offset\":%u,\"byteOffset\":%llu,\"encoding\":",
                              static_cast<unsigned long long>(hit->position), hit->offset,
                              static_cast<unsigned long long>(hit->byteOffset)) +
                       JsonString(hit->encoding) + ",\"file\":" + (file.empty() ? "null" : JsonString(file)) +
                       ",\"fileFound\":" + (hit->hitFile.Item() ? "true" : "false") + "}";
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
