#pragma once
// The copy procedure behind every recovery: an item's data, read through its
// volume in 64 KiB chunks, into an ordinary file (or any open descriptor).
#include <cstdint>
#include <functional>
#include <string>

namespace delvora {

class Volume;
class Hasher;
class ByteRangeSet;
class ClusterRunList;
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

/// Reads a range of an item's data like Volume::ReadItemRange; the bytes of
/// it that the medium would not give (and were filled with zeros) are added
/// to unreadable as item offsets, exactly.
bool ReadItemRangeNoting(Volume& volume, FileItem& item, uint8_t* dest, uint64_t offset, uint32_t count,
                         const ClusterRunList* runs, ByteRangeSet* unreadable);

/// Copies the item's data to fd (fd < 0: reads without writing): runs are fetched once, then at most
/// ⌊size / 65536⌋ + 1 range reads of up to 65,536 bytes each. An empty item
/// writes nothing. Every chunk written is also fed to digest when given.
/// Bytes written before a failure stay written. unreadable, when given,
/// receives the item offsets of the bytes written as zeros because the
/// medium would not give them.
CopyStatus CopyItemData(Volume& volume, FileItem& item, int fd, Hasher* digest = nullptr,
                        CopyReport report = CopyReport::kMessages, uint64_t* written = nullptr,
                        ByteRangeSet* unreadable = nullptr);

/// Feeds the item's data to digest exactly as CopyItemData would write it
/// (deleted files, zero-filled unreadable pieces and all), writing nothing;
/// read counts the bytes fed. Failures are not shown, only answered.
CopyStatus HashItemData(Volume& volume, FileItem& item, Hasher& digest, uint64_t* read = nullptr);

/// Creates or truncates path and copies the item into it. False (and nothing
/// done) for a null volume or item or an empty path; "创建文件失败:%s" in the
/// log when the target cannot be opened; a partly written target stays on
/// failure. The final path component is never followed as a symbolic link.
/// File times are not taken from the item.
bool ExportItem(Volume* volume, FileItem* item, const std::string& path, Hasher* digest = nullptr,
                ByteRangeSet* unreadable = nullptr);

/// Copies the item into fd, an export target just opened at path, and closes
/// fd; the rest as ExportItem.
bool ExportItemToFd(Volume& volume, FileItem& item, int fd, const std::string& path, Hasher* digest = nullptr,
                    ByteRangeSet* unreadable = nullptr);

/// What an export does when its name is taken: by a file already in the
/// target folder, or by a name this run wrote (inUse).
struct TargetNaming {
    /// Number the name: "name (2).ext", "name (3).ext", ... from firstNumber.
    bool number = true;
    /// Replace a file already there instead of passing it by.
    bool replace = false;
    unsigned firstNumber = 2;
    std::function<bool(const std::string&)> inUse;
};

/// Results of CreateTargetFile besides a descriptor.
inline constexpr int kTargetInUse = -2;   // the name is in use and numbering is off
inline constexpr int kTargetExists = -3;  // a file is there and neither numbering nor replacing is on

/// Opens a new file for an export in folder dirFd under safeName, or under
/// the first free numbered name (at most a million tried). Never follows a
/// symbolic link and never truncates an existing file unless replace is
/// set: evidence already recovered is not overwritten by accident. Answers
/// the descriptor (chosen holds the name used, number its number, 1 for the
/// name itself), kTargetInUse, kTargetExists, or -1 (errno set).
int CreateTargetFile(int dirFd, const std::string& safeName, const TargetNaming& naming, std::string& chosen,
                     unsigned* number = nullptr);

/// Writes all of bytes to fd, retrying short writes and EINTR.
bool WriteAll(int fd, const uint8_t* bytes, size_t count);

}  // namespace delvora
