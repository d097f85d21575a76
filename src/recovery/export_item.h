#pragma once
// The copy procedure behind every recovery: an item's data, read through its
// volume in 64 KiB chunks, into an ordinary file (or any open descriptor).
#include <cstdint>
#include <string>

namespace delvora {

class Volume;
class Sha256;
struct FileItem;

/// Bytes moved per read.
inline constexpr uint32_t kExportChunkBytes = 65536;

enum class CopyStatus {
    kDone,
    kRunsFailed,   // the volume could not list the item's runs
    kReadFailed,   // a range read failed
    kWriteFailed,  // the target refused bytes (disk full, broken pipe, ...)
};

/// How a failure is told to the user.
enum class CopyReport {
    kMessages,  // its message boxes ("取出文件簇列表错误!", "读文件错!")
    kQuiet,     // nothing: the caller logs the status (folder export, one line per file)
};

/// Copies the item's data to fd: runs are fetched once, then at most
/// ⌊size / 65536⌋ + 1 range reads of up to 65,536 bytes each. An empty item
/// writes nothing. Every chunk written is also fed to digest when given.
/// Bytes written before a failure stay written.
CopyStatus CopyItemData(Volume& volume, FileItem& item, int fd, Sha256* digest = nullptr,
                        CopyReport report = CopyReport::kMessages, uint64_t* written = nullptr);

/// Creates or truncates path and copies the item into it. False (and nothing
/// done) for a null volume or item or an empty path; "创建文件失败:%s" in the
/// log when the target cannot be opened; a partly written target stays on
/// failure. The final path component is never followed as a symbolic link.
/// File times are not taken from the item.
bool ExportItem(Volume* volume, FileItem* item, const std::string& path, Sha256* digest = nullptr);

/// Writes all of bytes to fd, retrying short writes and EINTR.
bool WriteAll(int fd, const uint8_t* bytes, size_t count);

}  // namespace delvora
