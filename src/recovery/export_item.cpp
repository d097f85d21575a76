#include "recovery/export_item.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>
#include <span>
#include <vector>

#include "common/hash.h"
#include "common/text_format.h"
#include "common/translation.h"
#include "disk/data_source.h"
#include "disk/filled_ranges.h"
#include "fs/volume.h"
#include "recovery/export_names.h"

namespace delvora {

bool WriteAll(int fd, const uint8_t* bytes, size_t count) {
    // Each pass writes at least one byte or fails, so the loop ends.
    while (count > 0) {
        const ssize_t n = ::write(fd, bytes, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        bytes += n;
        count -= size_t(n);
    }
    return true;
}

bool ReadItemRangeNoting(Volume& volume, FileItem& item, uint8_t* dest, uint64_t offset, uint32_t count,
                         const ClusterRunList* runs, ByteRangeSet* unreadable) {
    if (!unreadable) return volume.ReadItemRange(&item, dest, offset, count, runs);
    ByteRangeSet filled;
    {
        FillRecorder recorder(filled);
        if (!volume.ReadItemRange(&item, dest, offset, count, runs)) return false;
    }
    if (filled.Empty()) return true;
    // Some read failed, perhaps outside this range (a cluster read whole)
    // or in a table. Reading again with 0xFF as the fill tells which bytes
    // of the range came from a fill: only those differ between the passes.
    std::vector<uint8_t> again(count);
    bool bAgain = false;
    {
        FillByteScope fill(0xFF);
        bAgain = volume.ReadItemRange(&item, again.data(), offset, count, runs);
    }
    if (!bAgain) {
        // With other bytes in a failed table the read took another way:
        // nothing of the range can be vouched for.
        unreadable->Add(offset, count);
        return true;
    }
    for (uint32_t i = 0; i < count;) {
        if (dest[i] == again[i]) {
            ++i;
            continue;
        }
        uint32_t j = i + 1;
        while (j < count && dest[j] != again[j]) ++j;
        unreadable->Add(offset + i, j - i);
        i = j;
    }
    return true;
}

namespace {

// Adds the pieces of chunk at or after from to unreadable.
void AddFrom(ByteRangeSet& unreadable, const ByteRangeSet& chunk, uint64_t from) {
    for (const ByteRange& range : chunk.Ranges())
        if (range.last >= from) unreadable.Add(std::max(range.first, from), range.last - std::max(range.first, from) + 1);
}

CopyStatus CopyChunks(Volume& volume, FileItem& item, int fd, Hasher* digest, CopyReport report,
                      uint64_t* written, ByteRangeSet* unreadable) {
    const bool showMessages = report == CopyReport::kMessages;
    if (written) *written = 0;
    const uint64_t dwSize = item.size;
    if (dwSize == 0) return CopyStatus::kDone;

    ClusterRunList runs;
    if (!volume.GetItemRuns(&item, runs)) {
        if (showMessages) volume.Context().Notify().Message(Tr("ExportItem", "取出文件簇列表错误!"));
        return CopyStatus::kRunsFailed;
    }
    // Data lying as it is in an image file goes from the file to fd in the
    // kernel, never through this process; a digest needs the bytes here.
    DataSource* source = volume.GetDataSource();
    std::vector<PlainStretch> stretches;
    if (fd >= 0 && !digest && source && source->MappableFd() >= 0) volume.ListPlainStretches(&item, runs, stretches);
    size_t nextStretch = 0;

    uint64_t dwOffset = 0;
    // Never larger than the first chunk and left unfilled: small files are
    // the common case of a folder export, and the reads overwrite it anyway.
    std::unique_ptr<uint8_t[]> buffer;
    const uint64_t dwMaxReads = dwSize / kExportChunkBytes + 1;
    // The chunks keep their places whichever way they go, and each pass
    // moves at least one of them, so the read count is capped as well as
    // the offset checked: a volume that misreports nothing can make this
    // loop run longer than the size allows.
    for (uint64_t i = 0; i < dwMaxReads;) {
        uint32_t dwChunk = static_cast<uint32_t>(std::min<uint64_t>(kExportChunkBytes, dwSize - dwOffset));
        uint32_t dwSent = 0;  // bytes of this chunk the kernel moved already
        while (nextStretch < stretches.size() &&
               stretches[nextStretch].itemOffset + stretches[nextStretch].count <= dwOffset)
            ++nextStretch;
        if (nextStretch < stretches.size() && stretches[nextStretch].itemOffset <= dwOffset &&
            dwOffset + dwChunk <= stretches[nextStretch].itemOffset + stretches[nextStretch].count) {
            const PlainStretch& stretch = stretches[nextStretch];
            const uint64_t stretchEnd = stretch.itemOffset + stretch.count;
            // Whole chunks only (or up to the end of the data), so that a
            // chunk the kernel does not finish is read whole below and
            // fails or fills exactly as it would have without it.
            const uint64_t sendEnd =
                stretchEnd >= dwSize ? dwSize : dwOffset + (stretchEnd - dwOffset) / kExportChunkBytes * kExportChunkBytes;
            const uint64_t wanted = sendEnd - dwOffset;
            const uint64_t sent = source->SendBytes(fd, stretch.sourceByte + (dwOffset - stretch.itemOffset), wanted);
            if (written) *written += sent;
            if (sent == wanted) {
                i += (wanted + kExportChunkBytes - 1) / kExportChunkBytes;
                dwOffset = sendEnd;
                if (dwOffset >= dwSize) break;
                continue;
            }
            // A read error, a refusing target or a kernel that cannot: the
            // rest goes the ordinary way.
            stretches.clear();
            const uint64_t whole = sent / kExportChunkBytes * kExportChunkBytes;
            i += whole / kExportChunkBytes;
            dwOffset += whole;
            dwSent = static_cast<uint32_t>(sent - whole);
            dwChunk = static_cast<uint32_t>(std::min<uint64_t>(kExportChunkBytes, dwSize - dwOffset));
            if (i >= dwMaxReads) break;
        }
        if (!buffer) buffer = std::make_unique_for_overwrite<uint8_t[]>(std::min<uint64_t>(dwSize, kExportChunkBytes));
        ByteRangeSet chunkUnreadable;
        ByteRangeSet* noting = dwSent > 0 && unreadable ? &chunkUnreadable : unreadable;
        if (!ReadItemRangeNoting(volume, item, buffer.get(), dwOffset, dwChunk, &runs, noting)) {
            if (showMessages) volume.Context().Notify().Message(Tr("ExportItem", "读文件错!"));
            return CopyStatus::kReadFailed;
        }
        if (noting == &chunkUnreadable) AddFrom(*unreadable, chunkUnreadable, dwOffset + dwSent);
        if (fd >= 0 && !WriteAll(fd, buffer.get() + dwSent, dwChunk - dwSent)) return CopyStatus::kWriteFailed;
        if (digest) digest->Update(std::span<const uint8_t>(buffer.get(), dwChunk));
        if (written) *written += dwChunk - dwSent;
        dwOffset += dwChunk;
        ++i;
        if (dwOffset >= dwSize) break;
    }
    return CopyStatus::kDone;
}

}  // namespace

CopyStatus CopyItemData(Volume& volume, FileItem& item, int fd, Hasher* digest, CopyReport report,
                        uint64_t* written, ByteRangeSet* unreadable) {
    try {
        return CopyChunks(volume, item, fd, digest, report, written, unreadable);
    } catch (const std::bad_alloc&) {
        // Only the chunk buffer or a run list can run out; the copy cannot go on.
        if (report == CopyReport::kMessages) volume.Context().Notify().Message(Tr("ExportItem", "读文件错!"));
        return CopyStatus::kReadFailed;
    }
}

CopyStatus HashItemData(Volume& volume, FileItem& item, Hasher& digest, uint64_t* read) {
    // The copy without a target: the same reads, so the digests are those
    // of the file an export would write.
    return CopyItemData(volume, item, -1, &digest, CopyReport::kQuiet, read);
}

bool ExportItem(Volume* volume, FileItem* item, const std::string& path, Hasher* digest,
                ByteRangeSet* unreadable) {
    if (!volume || !item || path.empty()) return false;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        volume->Context().Logger().AppendLog(Format(Tr("ExportItem", "创建文件失败:%s"), path.c_str()));
        return false;
    }
    return ExportItemToFd(*volume, *item, fd, path, digest, unreadable);
}

bool ExportItemToFd(Volume& volume, FileItem& item, int fd, const std::string& path, Hasher* digest,
                    ByteRangeSet* unreadable) {
    Log& log = volume.Context().Logger();
    const CopyStatus status = CopyItemData(volume, item, fd, digest, CopyReport::kMessages, nullptr, unreadable);
    // close can report a deferred write error (NFS, quota): that is a failure too.
    const bool closed = ::close(fd) == 0;
    if (status == CopyStatus::kWriteFailed || (status == CopyStatus::kDone && !closed)) {
        log.AppendLog(Format(Tr("ExportItem", "写文件失败:%s"), path.c_str()));
        return false;
    }
    return status == CopyStatus::kDone;
}

int CreateTargetFile(int dirFd, const std::string& safeName, const TargetNaming& naming, std::string& chosen,
                     unsigned* number) {
    // More same names than this in one folder are not numbered further.
    constexpr unsigned kMaxNumber = 1000000;
    const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | (naming.replace ? O_TRUNC : O_EXCL);
    // Bounded by kMaxNumber candidates.
    for (unsigned n = 1; n <= kMaxNumber; n = n == 1 ? std::max(2u, naming.firstNumber) : n + 1) {
        chosen = n == 1 ? safeName : NumberedName(safeName, n);
        if (naming.inUse && naming.inUse(chosen)) {
            if (!naming.number) return kTargetInUse;
            continue;
        }
        const int fd = ::openat(dirFd, chosen.c_str(), flags, 0644);
        if (fd >= 0) {
            if (number) *number = n;
            return fd;
        }
        if (errno != EEXIST) return -1;
        if (!naming.number) return kTargetExists;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace delvora
