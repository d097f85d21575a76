#include "case/case_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "case/case_keywords.h"
#include "case/case_starts.h"
#include "case/case_results.h"
#include "case/case_virtual.h"
#include "common/archive.h"
#include "common/text_format.h"
#include "common/translation.h"
#include "disk/block_backend.h"

namespace delvora {
namespace {

constexpr uint8_t kMagic[3] = {'W', 'S', 'H'};

bool WriteAll(int fd, const std::vector<uint8_t>& bytes, int& error) {
    size_t done = 0;
    // Each pass writes at least one byte or fails, so the loop ends.
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return false;
        }
        if (n == 0) {
            error = EIO;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Creates a fresh temporary file beside path; -1 when none can be made.
int CreateTemporary(const std::string& path, std::string& tempPath, int& error) {
    // A handful of names is enough; a clash means another save runs now.
    for (int attempt = 0; attempt < 16; ++attempt) {
        tempPath = Format("%s.tmp%d-%d", path.c_str(), static_cast<int>(::getpid()), attempt);
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return fd;
        error = errno;
        if (error != EEXIST) return -1;
    }
    return -1;
}

}  // namespace

std::vector<uint8_t> SerializeCase(const CaseWorkspace& workspace, int saveItems) {
    ArchiveWriter archive;
    for (uint8_t b : kMagic) archive.WriteU8(b);
    archive.WriteU32(static_cast<uint32_t>(workspace.ItemCount()));
    archive.WriteU32(static_cast<uint32_t>(saveItems));
    for (const auto& item : workspace.Items()) item->Save(archive);
    WriteKeywordSection(archive, workspace.Keywords());
    WriteVirtualSection(archive, workspace.Items());
    WriteStartSection(archive, workspace.Items());
    WriteResultsSection(archive, workspace);
    return archive.Bytes();
}

bool ReadCaseHeader(ArchiveReader& archive, int32_t& itemCount, uint32_t& saveItems, bool& wrongMagic) {
    uint8_t magic[3] = {};
    const bool whole = archive.ReadBytes(magic);
    wrongMagic = !whole || std::memcmp(magic, kMagic, sizeof magic) != 0;
    if (wrongMagic) return false;
    uint32_t rawCount = 0;
    if (!archive.ReadU32(rawCount) || !archive.ReadU32(saveItems)) return false;
    itemCount = static_cast<int32_t>(rawCount);
    return true;
}

bool ReadCaseRecord(ArchiveReader& archive, CaseRecord& record) {
    return archive.ReadString(record.name) && archive.ReadU8(record.typeId) && archive.ReadU32(record.startSector) &&
           archive.ReadU8(record.sourceKind) && archive.ReadString(record.sourcePath);
}

int SaveCaseFile(CaseWorkspace& workspace, const std::string& path, int saveItems, std::string* error) {
    auto fail = [&](const std::string& text, bool show) {
        if (error) *error = text;
        if (show) workspace.Context().Notify().Message(text, Tr("CaseFile", "提示"), MessageIcon::Error);
        return 0;
    };
    std::vector<uint8_t> bytes;
    try {
        bytes = SerializeCase(workspace, saveItems);
    } catch (const std::bad_alloc&) {
        return fail(Tr("CaseFile", "内存不足!"), true);
    }

    std::string tempPath;
    int errorCode = 0;
    const int fd = CreateTemporary(path, tempPath, errorCode);
    if (fd < 0) return fail(path + ": " + ErrnoText(errorCode), false);
    bool ok = WriteAll(fd, bytes, errorCode);
    if (ok && ::fsync(fd) != 0) {
        errorCode = errno;
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        errorCode = errno;
        ok = false;
    }
    if (ok && ::rename(tempPath.c_str(), path.c_str()) != 0) {
        errorCode = errno;
        ok = false;
    }
    if (!ok) {
        ::unlink(tempPath.c_str());
        return fail(Format(Tr("CaseFile", "写入文件 %s 时出错: %s"), path.c_str(), ErrnoText(errorCode).c_str()), true);
    }
    workspace.SetModified(0);
    return 1;
}

}  // namespace delvora
