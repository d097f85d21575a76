#include "case/case_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "case/detect_and_load.h"
#include "common/archive.h"
#include "common/text_format.h"
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

std::vector<uint8_t> SerializeCase(const CaseWorkspace& workspace, int saveItems) {
    ArchiveWriter archive;
    for (uint8_t b : kMagic) archive.WriteU8(b);
    archive.WriteU32(static_cast<uint32_t>(workspace.ItemCount()));
    archive.WriteU32(static_cast<uint32_t>(saveItems));
    for (const auto& item : workspace.Items()) item->Save(archive);
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

int SerializeCase(CaseWorkspace& workspace, std::span<const uint8_t> bytes) {
    const CoreContext& context = workspace.Context();
    ArchiveReader archive(bytes);
    int32_t itemCount = 0;
    uint32_t saveItems = 0;
    bool wrongMagic = false;
    if (!ReadCaseHeader(archive, itemCount, saveItems, wrongMagic)) {
        context.Notify().Message(wrongMagic ? kWrongCaseFormat : kCaseFileCutShort, "提示", MessageIcon::Error);
        return 0;
    }
    // The flag promises stored trees that the record never holds: every
    // item is analysed again.
    (void)saveItems;

    // Ends after itemCount records at most; each record takes bytes from
    // the file, so an absurd count ends at the file's end.
    for (int32_t i = 0; i < itemCount; ++i) {
        std::unique_ptr<DataItem> item;
        CaseRecord record;
        try {
            if (!ReadCaseRecord(archive, record)) {
                context.Notify().Message(kCaseFileCutShort, "提示", MessageIcon::Error);
                return 0;
            }
            item = workspace.NewItem();
        } catch (const std::bad_alloc&) {
            context.Notify().Message("内存不足!", "提示", MessageIcon::Error);
            return 0;
        }
        item->name = std::move(record.name);
        item->typeId = record.typeId;
        item->startSector = record.startSector;
        item->source->SetKind(static_cast<SourceKind>(record.sourceKind));
        item->source->SetPath(record.sourcePath);
        if (!item->source->Open()) {
            context.Logger().AppendLog(Format("无法打开数据源 %s: %s", item->source->Path().c_str(),
                                              item->source->LastErrorText().c_str()));
        }
        if (!DetectAndLoad(workspace, *item)) {
            context.Notify().Message(kCaseItemAnalyseFailed, "提示", MessageIcon::Error);
            return 0;
        }
        if (!workspace.AddItem(std::move(item))) return 0;
        // One worker at a time: the next item starts after this one loaded.
        workspace.WaitForWorker();
    }
    return 1;
}

int SaveCaseFile(CaseWorkspace& workspace, const std::string& path, int saveItems, std::string* error) {
    auto fail = [&](const std::string& text, bool show) {
        if (error) *error = text;
        if (show) workspace.Context().Notify().Message(text, "提示", MessageIcon::Error);
        return 0;
    };
    std::vector<uint8_t> bytes;
    try {
        bytes = SerializeCase(workspace, saveItems);
    } catch (const std::bad_alloc&) {
        return fail("内存不足!", true);
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
        return fail(Format("写入文件 %s 时出错: %s", path.c_str(), ErrnoText(errorCode).c_str()), true);
    }
    workspace.SetModified(0);
    return 1;
}

int LoadCaseFile(CaseWorkspace& workspace, const std::string& path, std::string* error) {
    if (workspace.RefuseIfBusy()) {
        if (error) *error = kThreadBusy;
        return 0;
    }
    std::vector<uint8_t> bytes;
    int errorCode = 0;
    bool tooLarge = false;
    bool read = false;
    bool opened = false;
    try {
        read = ReadWholeFile(path, bytes, errorCode, tooLarge, opened);
    } catch (const std::bad_alloc&) {
        tooLarge = true;
    }
    if (!read) {
        if (tooLarge) {
            workspace.Context().Notify().Message(kWrongCaseFormat, "提示", MessageIcon::Error);
            if (error) *error = path + ": too large for a case file";
        } else {
            const std::string text = path + ": " + ErrnoText(errorCode);
            // A file that cannot be opened ends the command quietly; one
            // that fails while being read is reported.
            if (opened) workspace.Context().Notify().Message("读取文件时出错: " + text, "提示", MessageIcon::Error);
            if (error) *error = text;
        }
        return 0;
    }
    const size_t before = workspace.ItemCount();
    const int result = SerializeCase(workspace, bytes);
    if (workspace.ItemCount() != before) workspace.Events().RebuildCaseTree();
    if (!result && error) *error = path + ": the case was not loaded completely";
    return result;
}

}  // namespace delvora
