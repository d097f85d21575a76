#include "case/case_file_loader.h"

#include "case/case_results.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "case/case_keywords.h"
#include "case/detect_and_load.h"
#include "common/text_format.h"
#include "common/translation.h"
#include "disk/block_backend.h"
#include "disk/remote_connect.h"

namespace delvora {
namespace {

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, int& error, bool& tooLarge,
                   bool& opened) {
    tooLarge = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    opened = fd >= 0;
    if (fd < 0) {
        error = errno;
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    if (ok && static_cast<uint64_t>(st.st_size) > kMaxCaseFileBytes) {
        tooLarge = true;
        ok = false;
    }
    if (ok) {
        bytes.resize(static_cast<size_t>(st.st_size));
        size_t done = 0;
        // Reads until the size taken at the start; a file that shrinks ends
        // the loop at its new end.
        while (done < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                error = errno;
                ok = false;
                break;
            }
            if (n == 0) break;
            done += static_cast<size_t>(n);
        }
        bytes.resize(done);
    } else if (!tooLarge) {
        error = errno;
    }
    ::close(fd);
    return ok;
}

}  // namespace

CaseFileLoader::CaseFileLoader(CaseWorkspace& workspace, std::vector<uint8_t> bytes)
    : m_workspace(workspace), m_bytes(std::move(bytes)), m_archive(m_bytes) {
    uint32_t saveItems = 0;
    bool wrongMagic = false;
    if (!ReadCaseHeader(m_archive, m_nItemCount, saveItems, wrongMagic)) {
        m_workspace.Context().Notify().Message(wrongMagic ? Tr("CaseFile", kWrongCaseFormat) : Tr("CaseFile", kCaseFileCutShort), "提示",
                                               MessageIcon::Error);
        m_bFinished = true;
        m_lastStep = Step::Failed;
    }
    // The saveItems flag promises stored trees that the record never holds:
    // every item is analysed again whatever it says.
    if (!m_bFinished) TakeSections();
}

void CaseFileLoader::TakeSections() {
    // The keywords follow the last record; the records are read once more
    // here, without opening anything, to reach them.
    ArchiveReader archive(m_bytes);
    int32_t itemCount = 0;
    uint32_t saveItems = 0;
    bool wrongMagic = false;
    if (!ReadCaseHeader(archive, itemCount, saveItems, wrongMagic)) return;
    CaseRecord record;
    // Each record read takes bytes from the file, so the loop ends.
    for (int32_t i = 0; i < itemCount; ++i)
        if (!ReadCaseRecord(archive, record)) return;
    try {
        // The sections follow in order, each optional: keywords, then the
        // parameters of virtual volumes.
        std::vector<std::unique_ptr<CaseItem>> keywords;
        ArchiveReader afterKeywords = archive;
        if (ReadKeywordSection(afterKeywords, keywords)) {
            MergeKeywords(m_workspace.Keywords(), std::move(keywords));
            m_bTookKeywords = true;
            archive = afterKeywords;
        }
        // A reader that finds no section of its own may have read past the next one's tag.
        ArchiveReader afterVirtual = archive;
        if (ReadVirtualSection(afterVirtual, m_storedParams)) archive = afterVirtual;
        ArchiveReader afterStarts = archive;
        if (ReadStartSection(afterStarts, m_storedStarts)) archive = afterStarts;
        std::string error;
        if (!ReadResultsSection(archive, m_storedResults, error) && !error.empty())
            m_workspace.Context().Logger().AppendLog(error);
        m_nFirstItem = m_workspace.Items().size();
    } catch (const std::bad_alloc&) {
        // The case keeps the keywords it had; virtual volumes read their boot sectors.
        m_storedParams.clear();
        m_storedStarts.clear();
    }
}

void CaseFileLoader::ApplyStoredParams(DataItem& item, uint32_t index) const {
    for (const StoredVolumeParams& stored : m_storedParams) {
        if (stored.itemIndex != index) continue;
        item.totalSectors = kVirtualVolumeSectors;
        item.source->SetFat_BPB(stored.fat);
        item.source->SetNtfs_BPB(stored.ntfs);
        item.source->SetExt2_Param(stored.ext2);
    }
}

void CaseFileLoader::ApplyStoredStart(DataItem& item, uint32_t index) const {
    // Only a record that says its start is elsewhere takes one from the section.
    if (item.startSector != kStartInSection) return;
    for (const StoredStart& stored : m_storedStarts)
        if (stored.itemIndex == index) item.startSector = stored.startSector;
}

CaseFileLoader::Step CaseFileLoader::Finish(Step result) {
    // The hits' volumes and files exist once every item was analysed.
    if (!m_bFinished && !m_storedResults.empty()) {
        try {
            RestoreResults(m_workspace, std::move(m_storedResults), m_nFirstItem);
            m_bTookKeywords = true;
        } catch (const std::bad_alloc&) {
        }
        m_storedResults.clear();
    }
    if (!m_bFinished && (m_nAdded > 0 || m_bTookKeywords)) m_workspace.RebuildCaseTree();
    m_bFinished = true;
    m_lastStep = result;
    return result;
}

CaseFileLoader::Step CaseFileLoader::Next() {
    if (m_bFinished) return m_lastStep;
    const CoreContext& context = m_workspace.Context();
    // A negative count reads nothing; an absurd one ends at the file's end,
    // since every record takes bytes from the file.
    if (m_nNext >= m_nItemCount) return Finish(Step::Done);
    ++m_nNext;

    std::unique_ptr<DataItem> item;
    CaseRecord record;
    try {
        if (!ReadCaseRecord(m_archive, record)) {
            context.Notify().Message(Tr("CaseFile", kCaseFileCutShort), "提示", MessageIcon::Error);
            return Finish(Step::Failed);
        }
        item = m_workspace.NewItem();
    } catch (const std::bad_alloc&) {
        context.Notify().Message(Tr("CaseFileLoader", "内存不足!"), "提示", MessageIcon::Error);
        return Finish(Step::Failed);
    }
    item->name = std::move(record.name);
    item->typeId = record.typeId;
    item->startSector = record.startSector;
    item->source->SetKind(static_cast<SourceKind>(record.sourceKind));
    item->source->SetPath(record.sourcePath);
    // A remote item's name keeps the machine's address: reconnect to it.
    std::string address;
    if (item->source->Kind() == SourceKind::Remote && RemoteAddressOfItemName(item->name, address)) {
        if (std::shared_ptr<RemoteDisk> remote = RemotesOf(context).Reconnect(address, context))
            item->source->SetRemote(std::move(remote));
    }
    if (!item->source->Open()) {
        context.Logger().AppendLog(Format(Tr("CaseFileLoader", "无法打开数据源 %s: %s"), item->source->Path().c_str(),
                                          item->source->LastErrorText().c_str()));
    }
    ApplyStoredParams(*item, static_cast<uint32_t>(m_nNext - 1));
    ApplyStoredStart(*item, static_cast<uint32_t>(m_nNext - 1));
    if (!DetectAndLoad(m_workspace, *item)) {
        context.Notify().Message(Tr("CaseFile", kCaseItemAnalyseFailed), "提示", MessageIcon::Error);
        return Finish(Step::Failed);
    }
    if (!m_workspace.AddItem(std::move(item))) return Finish(Step::Failed);
    ++m_nAdded;
    return Step::Continue;
}

int CaseFileLoader::RunToEnd() {
    Step step = Next();
    // Each Continue consumed one record of at most itemCount.
    while (step == Step::Continue) {
        m_workspace.WaitForWorker();
        step = Next();
    }
    return step == Step::Done ? 1 : 0;
}

int SerializeCase(CaseWorkspace& workspace, std::span<const uint8_t> bytes) {
    std::vector<uint8_t> copy;
    try {
        copy.assign(bytes.begin(), bytes.end());
    } catch (const std::bad_alloc&) {
        workspace.Context().Notify().Message(Tr("CaseFileLoader", "内存不足!"), "提示", MessageIcon::Error);
        return 0;
    }
    CaseFileLoader loader(workspace, std::move(copy));
    return loader.RunToEnd();
}

std::unique_ptr<CaseFileLoader> OpenCaseFileLoader(CaseWorkspace& workspace, const std::string& path,
                                                   std::string* error) {
    if (workspace.RefuseIfBusy()) {
        if (error) *error = Tr("CaseWorkspace", kThreadBusy);
        return nullptr;
    }
    std::vector<uint8_t> bytes;
    int errorCode = 0;
    bool tooLarge = false;
    bool read = false;
    bool opened = false;
    try {
        read = ReadWholeFile(path, bytes, errorCode, tooLarge, opened);
        if (read) return std::make_unique<CaseFileLoader>(workspace, std::move(bytes));
    } catch (const std::bad_alloc&) {
        tooLarge = true;
    }
    if (tooLarge) {
        workspace.Context().Notify().Message(Tr("CaseFile", kWrongCaseFormat), "提示", MessageIcon::Error);
        if (error) *error = path + ": too large for a case file";
    } else {
        const std::string text = path + ": " + ErrnoText(errorCode);
        // A file that cannot be opened ends the command quietly; one that
        // fails while being read is reported.
        if (opened) workspace.Context().Notify().Message(Tr("CaseFileLoader", "读取文件时出错: ") + text, "提示", MessageIcon::Error);
        if (error) *error = text;
    }
    return nullptr;
}

int LoadCaseFile(CaseWorkspace& workspace, const std::string& path, std::string* error) {
    auto loader = OpenCaseFileLoader(workspace, path, error);
    if (!loader) return 0;
    const int result = loader->RunToEnd();
    if (!result && error) *error = path + ": the case was not loaded completely";
    return result;
}

}  // namespace delvora
