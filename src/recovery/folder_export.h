#pragma once
// Recovering a whole folder: its files and sub-folders, live and deleted,
// written below one target folder and never outside it.
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/hash.h"
#include "common/text_format.h"

namespace delvora {

class Volume;
struct AnalysisOptions;
struct FileItem;

struct FolderExportOptions {
    bool includeDeleted = true;
    /// Same names in one target folder become "name (2).ext", "name (3).ext"...,
    /// also past files already there. Off: a second file of a name already
    /// written in this run is skipped, and an existing file is replaced.
    bool autoNameDuplicates = true;
    /// Whether a file already in the target folder is replaced; unset, it is
    /// replaced exactly when same names are not numbered.
    std::optional<bool> replaceExisting;
    /// Digests the file observer is given (HashKind bits).
    unsigned hashKinds = kHashSha256;
    std::vector<std::string> excludedExtensions;
    std::vector<std::string> ignoredNamePrefixes;
    /// Answers true for a file to leave out (counted as skipped), after the
    /// other filters passed it: a file found in a known hash set, say.
    std::function<bool(FileItem&)> leaveOut;

    /// The export options of the analysis options record.
    static FolderExportOptions From(const AnalysisOptions& options);
};

/// One file written by an export.
struct ExportedFile {
    std::string volumePath;  // \folder\name in the volume
    std::string targetPath;  // where it was written
    uint64_t size = 0;
    Digests digests;         // empty unless digests were asked for
    // Bytes written as zeros because the medium would not give them: the
    // digests are of what was written, so they vouch for these zeros too.
    uint64_t unreadableBytes = 0;
    std::string unreadableRanges;  // item offsets, "first-last;..."
    uint32_t overwrittenClusters = 0;  // clusters of a deleted item that another item owns now
    std::string hashSet = {};     // the hash set holding it, when looked up
    std::string hashStatus = {};  // "known", "notable" or ""
};

/// The log line that names a file written with unreadable bytes.
std::string UnreadableLogLine(const ExportedFile& file);
/// The closing line of a command that wrote such files.
std::string UnreadableSummaryLine(uint32_t files);

struct ExportSummary {
    uint32_t exported = 0;
    uint32_t skipped = 0;  // left out by the options (deleted, extension, prefix, same name)
    uint32_t failed = 0;
    uint32_t unreadable = 0;  // files written with bytes the medium would not give
};

/// Folder nesting deeper than this is not followed (each level holds an
/// open descriptor); the files below count as failed.
inline constexpr int kMaxExportDepth = 200;

class FolderExporter {
public:
    FolderExporter(Volume& volume, FolderExportOptions options);

    /// Called for every file written; digests are computed when it is set.
    void SetFileObserver(std::function<void(const ExportedFile&)> observer) { m_observer = std::move(observer); }
    /// Called after every file written, with the counts so far; no digests implied.
    void SetCountObserver(std::function<void(const ExportSummary&)> observer) { m_countObserver = std::move(observer); }

    /// Exports a folder into targetDir (created with its parents when
    /// missing): into a new sub-folder named after it, or, with intoTarget
    /// (the volume's root), straight into targetDir. Failures of single files
    /// are logged and counted; the walk goes on. False when the target folder
    /// itself cannot be made or opened.
    bool ExportFolder(FileItem& folder, const std::string& targetDir, bool intoTarget = false);

    const ExportSummary& Summary() const { return m_summary; }

private:
    struct Level;
    void ExportChildren(FileItem& folder, Level& level, int depth);
    void ExportChildFolder(FileItem& folder, Level& level, int depth);
    bool WriteFile(FileItem& file, Level& level);
    int OpenUniqueFile(Level& level, const std::string& safeName, std::string& chosen);
    int OpenUniqueFolder(Level& level, const std::string& safeName, std::string& chosen);
    void CountFiles(const FileItem& item, uint32_t& counter) const;
    bool OpenTargetRoot(const std::string& targetDir, Level& level);
    /// A DOS date and time as local time; false when there is none.
    bool LocalTime(uint16_t date, uint16_t time, timespec& out);
    /// Gives fd the item's modification (and access) time when it has one.
    void SetTimesFromItem(int fd, const FileItem& item);

    Volume& m_volume;
    FolderExportOptions m_options;
    std::function<void(const ExportedFile&)> m_observer;
    std::function<void(const ExportSummary&)> m_countObserver;
    ExportSummary m_summary;
    DosLocalTimeCache m_localTimes;
};

}  // namespace delvora
