#pragma once
// Loading a case file item by item. Each item is reopened and analysed
// again; a local item's tree loads on the worker, and the next item starts
// only after that worker is done, so workers never overlap.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "case/case_file.h"
#include "case/case_starts.h"
#include "case/case_results.h"
#include "case/case_virtual.h"
#include "case/case_workspace.h"

namespace delvora {

class CaseFileLoader {
public:
    enum class Step { Continue, Done, Failed };

    /// Takes the file's bytes, reads the header and adds the keywords saved
    /// after the records. A file that is no case ("文件格式不对!") or ends
    /// inside the header is reported here and the loader has failed already.
    CaseFileLoader(CaseWorkspace& workspace, std::vector<uint8_t> bytes);

    /// Reads, reopens and analyses the next item and appends it to the case.
    /// Continue: an item was added; when its worker runs (the case is busy),
    /// call again after its tree was built - a front end that must not block
    /// calls from its BuildCaseTree handler; Next waits for a worker that is
    /// only finishing its last lines. Done: every record was added. Failed: a
    /// record was cut short or its analysis failed (reported; earlier items
    /// stay). On Done and Failed the front end is asked to rebuild the tree
    /// when items were added.
    Step Next();
    /// Runs Next to the end, waiting for each worker. Answers 1 when every
    /// record was added.
    int RunToEnd();

    size_t ItemsAdded() const { return m_nAdded; }

private:
    Step Finish(Step result);
    /// Reads the sections after the records: keywords (added to the case)
    /// and the typed-in parameters of virtual volumes.
    void TakeSections();
    /// Gives an item the typed-in boot parameters saved for its record.
    void ApplyStoredParams(DataItem& item, uint32_t index) const;
    /// Gives an item the start past 2^32 saved for its record.
    void ApplyStoredStart(DataItem& item, uint32_t index) const;

    CaseWorkspace& m_workspace;
    std::vector<uint8_t> m_bytes;
    ArchiveReader m_archive;
    int32_t m_nItemCount = 0;
    int32_t m_nNext = 0;
    size_t m_nAdded = 0;
    bool m_bFinished = false;
    bool m_bTookKeywords = false;
    std::vector<StoredVolumeParams> m_storedParams;  // of virtual volumes, by record
    std::vector<StoredStart> m_storedStarts;         // starts past 2^32, by record
    std::vector<StoredResultFolder> m_storedResults; // result folders, restored when the items are in
    size_t m_nFirstItem = 0;                          // the case's item count before this file's items
    Step m_lastStep = Step::Continue;
};

/// Open for a front end that must not block: refuses with "线程忙!" while
/// busy, reads the file (at most kMaxCaseFileBytes) and answers its loader,
/// or null with the reason in error (a file that cannot be opened is not
/// shown; one that fails while being read is).
std::unique_ptr<CaseFileLoader> OpenCaseFileLoader(CaseWorkspace& workspace, const std::string& path,
                                                   std::string* error = nullptr);

}  // namespace delvora
