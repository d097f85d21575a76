#pragma once
// The readers behind OpenImageFile, one per container kind; each opens the
// file it is given read-only and fills info. Only container_image.cpp and
// the tests call them.
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "disk/block_backend.h"
#include "disk/container_image.h"

namespace delvora {

/// A library handle that reads at an offset; the libraries keep a current
/// position and caches inside the handle, so every read holds the lock.
class LockedReader : public BlockBackend {
public:
    int ReadAt(uint8_t* buffer, size_t count, uint64_t offset) final;
    uint64_t Size() const final { return m_nMediaSize; }
    uint32_t LogicalSectorSize() const final { return m_dwSectorSize; }

protected:
    /// Answers the bytes read, or -1.
    virtual int64_t ReadLocked(uint8_t* buffer, size_t count, uint64_t offset) = 0;
    /// Small reads are served from whole blocks of this size read ahead
    /// (0: none), for libraries whose every call walks their tables anew.
    void SetReadBlock(size_t bytes) { m_nBlockSize = bytes; }
    uint64_t m_nMediaSize = 0;
    uint32_t m_dwSectorSize = 0;

private:
    int ReadThrough(uint8_t* buffer, size_t count, uint64_t offset);

    std::mutex m_mutex;
    size_t m_nBlockSize = 0;
    std::vector<uint8_t> m_block;
    uint64_t m_nBlockOffset = UINT64_MAX;
};

std::unique_ptr<BlockBackend> OpenEwfImage(const std::string& path, std::string& error, ContainerInfo& info);
std::unique_ptr<BlockBackend> OpenVhdiImage(const std::string& path, std::string& error, ContainerInfo& info);
std::unique_ptr<BlockBackend> OpenVmdkImage(const std::string& path, std::string& error, ContainerInfo& info);
std::unique_ptr<BlockBackend> OpenQcowImage(const std::string& path, std::string& error, ContainerInfo& info);

/// The parts of a split raw image whose first part is path, in order;
/// just path when its name does not end in a first part's suffix (.000,
/// .001, .aa …) or no second part exists. Error when a part is missing
/// between others or a part other than the last is not the first's size.
bool SplitRawParts(const std::string& path, std::vector<std::string>& parts, std::string& error);
std::unique_ptr<BlockBackend> OpenSplitRawImage(const std::vector<std::string>& parts, std::string& error);

/// The file a container names as its parent or backing file, looked for
/// only beside the container: the name's last component in the
/// container's folder. Whatever folder the name gives (an absolute path
/// included) is never opened. False with a reason when no such file is
/// there or it is the container itself.
bool ParentBeside(const std::string& containerPath, const std::string& named, std::string& out,
                  std::string& error);

/// Checks a QCOW header against the file's size before the library sizes
/// its tables from it: the version, cluster size, media size, L1 table
/// extent and backing-file name must be plausible. Does no I/O.
bool CheckQcowHeader(std::span<const uint8_t> head, uint64_t fileSize, std::string& error);

/// A library's error text, its last line only (the closest to the cause;
/// the libraries write one line per call level), or fallback; frees error.
template <typename Error, typename Sprint, typename Free>
std::string LibraryErrorText(Error*& error, const char* fallback, Sprint sprint, Free release) {
    std::string text = fallback;
    if (!error) return text;
    char buf[1024] = {};
    if (sprint(error, buf, sizeof buf) > 0) {
        std::string all = buf;
        while (!all.empty() && (all.back() == '\n' || all.back() == '\r')) all.pop_back();
        const size_t nl = all.find_last_of('\n');
        if (!all.empty()) text = nl == std::string::npos ? all : all.substr(nl + 1);
    }
    release(&error);
    return text;
}

/// Parents are looked for at most this deep (a chain that names itself
/// ends here).
inline constexpr int kMaxParentDepth = 16;

}  // namespace delvora
