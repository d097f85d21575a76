#include "recovery/folder_export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "common/hash.h"
#include "common/options.h"
#include "common/text_format.h"
#include "common/translation.h"
#include "disk/filled_ranges.h"
#include "fs/file_tree.h"
#include "fs/volume.h"
#include "recovery/export_filter.h"
#include "recovery/export_item.h"
#include "recovery/export_names.h"

namespace delvora {
namespace {

// More same names than this in one folder are not numbered further.
constexpr unsigned kMaxNumber = 1000000;

std::string Folded(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

const char* NameOf(const FileItem& item) { return item.name ? item.name : ""; }

const char* StatusMessage(CopyStatus status) {
    switch (status) {
        case CopyStatus::kRunsFailed: return Tr("FolderExport", "取出文件簇列表错误!");
        case CopyStatus::kReadFailed: return Tr("FolderExport", "读文件错!");
        default: return Tr("FolderExport", "写文件失败:");
    }
}

}  // namespace

struct FolderExporter::Level {
    int fd = -1;
    std::string path;
    std::unordered_set<std::string> used;  // folded names written in this folder this run
    std::unordered_map<std::string, unsigned> nextNumber;
    ~Level() {
        if (fd >= 0) ::close(fd);
    }
};

FolderExportOptions FolderExportOptions::From(const AnalysisOptions& options) {
    FolderExportOptions out;
    out.autoNameDuplicates = options.autoNameDuplicates != 0;
    out.excludedExtensions = options.excludedExtensions;
    out.ignoredNamePrefixes = options.ignoredNamePrefixes;
    return out;
}

FolderExporter::FolderExporter(Volume& volume, FolderExportOptions options)
    : m_volume(volume), m_options(std::move(options)) {
    LogNonDefaultOptions(volume.Context(), Tr("FolderExport", "导出"));
}

bool FolderExporter::OpenTargetRoot(const std::string& targetDir, Level& level) {
    std::error_code error;
    std::filesystem::create_directories(targetDir, error);
    level.fd = ::open(targetDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    level.path = targetDir;
    while (level.path.size() > 1 && level.path.back() == '/') level.path.pop_back();
    if (level.fd < 0) {
        m_volume.Context().Logger().AppendLog(Format(Tr("FolderExport", "创建文件夹失败:%s"), targetDir.c_str()));
        return false;
    }
    return true;
}

bool FolderExporter::ExportFolder(FileItem& folder, const std::string& targetDir, bool intoTarget) {
    Level root;
    if (!OpenTargetRoot(targetDir, root)) {
        CountFiles(folder, m_summary.failed);
        return false;
    }
    if (intoTarget) ExportChildren(folder, root, 1);
    else ExportChildFolder(folder, root, 1);
    return true;
}

bool FolderExporter::LocalTime(uint16_t date, uint16_t time, timespec& out) {
    int64_t seconds = 0;
    if (!m_localTimes.ToUnix(date, time, seconds)) return false;
    out = {static_cast<time_t>(seconds), 0};
    return true;
}

void FolderExporter::SetTimesFromItem(int fd, const FileItem& item) {
    timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}};
    const bool haveWrite = LocalTime(item.writeDate, item.writeTime, times[1]);
    const bool haveAccess = LocalTime(item.accessDate, 0, times[0]);
    if (haveWrite || haveAccess) ::futimens(fd, times);
}

void FolderExporter::CountFiles(const FileItem& item, uint32_t& counter) const {
    // The top items carry no folder flag, but they have children.
    if (!item.IsDirectory() && item.childCount == 0) {
        ++counter;
        return;
    }
    ForEachBelow(item, [&counter](const FileItem& below) {
        if (!below.IsDirectory() && below.childCount == 0) ++counter;
        return true;
    });
}

void FolderExporter::ExportChildren(FileItem& folder, Level& level, int depth) {
    for (uint32_t i = 0; i < folder.childCount; ++i) {
        FileItem& child = folder.children[i];
        if (child.IsDirectory()) {
            if (child.IsDeleted() && !m_options.includeDeleted) CountFiles(child, m_summary.skipped);
            else ExportChildFolder(child, level, depth + 1);
            continue;
        }
        const char* name = NameOf(child);
        if ((child.IsDeleted() && !m_options.includeDeleted) ||
            HasExcludedExtension(name, m_options.excludedExtensions) ||
            HasIgnoredPrefix(name, m_options.ignoredNamePrefixes) || (m_options.leaveOut && m_options.leaveOut(child))) {
            ++m_summary.skipped;
            continue;
        }
        WriteFile(child, level);
    }
}

void FolderExporter::ExportChildFolder(FileItem& folder, Level& level, int depth) {
    Log& log = m_volume.Context().Logger();
    if (depth > kMaxExportDepth) {
        log.AppendLog(Format(Tr("FolderExport", "文件夹层次过深:%s"), FullPath(folder).c_str()));
        CountFiles(folder, m_summary.failed);
        return;
    }
    Level sub;
    std::string chosen;
    sub.fd = OpenUniqueFolder(level, SafeFileName(NameOf(folder)), chosen);
    sub.path = level.path + "/" + chosen;
    if (sub.fd < 0) {
        log.AppendLog(Format(Tr("FolderExport", "创建文件夹失败:%s"), sub.path.c_str()));
        CountFiles(folder, m_summary.failed);
        return;
    }
    ExportChildren(folder, sub, depth);
    // Last, since writing the contents changed the folder's time.
    SetTimesFromItem(sub.fd, folder);
}

int FolderExporter::OpenUniqueFolder(Level& level, const std::string& safeName, std::string& chosen) {
    const std::string base = Folded(safeName);
    // Bounded by kMaxNumber candidates.
    for (unsigned n = 1; n <= kMaxNumber; n = n == 1 ? std::max(2u, level.nextNumber[base]) : n + 1) {
        chosen = n == 1 ? safeName : NumberedName(safeName, n);
        const std::string folded = Folded(chosen);
        // Without numbering, folders of one name are merged into one.
        if (m_options.autoNameDuplicates && level.used.count(folded)) continue;
        if (::mkdirat(level.fd, chosen.c_str(), 0755) != 0 && errno != EEXIST) return -1;
        const int fd = ::openat(level.fd, chosen.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            level.used.insert(folded);
            if (n > 1) level.nextNumber[base] = n + 1;
            return fd;
        }
        // A file or a link of that name is in the way.
        if (!m_options.autoNameDuplicates) return -1;
    }
    return -1;
}

int FolderExporter::OpenUniqueFile(Level& level, const std::string& safeName, std::string& chosen) {
    TargetNaming naming;
    naming.number = m_options.autoNameDuplicates;
    naming.replace = m_options.replaceExisting.value_or(!m_options.autoNameDuplicates);
    const std::string base = Folded(safeName);
    if (auto it = level.nextNumber.find(base); it != level.nextNumber.end()) naming.firstNumber = it->second;
    naming.inUse = [&level](const std::string& name) { return level.used.count(Folded(name)) > 0; };
    unsigned number = 1;
    const int fd = CreateTargetFile(level.fd, safeName, naming, chosen, &number);
    if (fd >= 0) {
        level.used.insert(Folded(chosen));
        if (number > 1) level.nextNumber[base] = number + 1;
    }
    return fd;
}

bool FolderExporter::WriteFile(FileItem& file, Level& level) {
    Log& log = m_volume.Context().Logger();
    std::string chosen;
    const int fd = OpenUniqueFile(level, SafeFileName(NameOf(file)), chosen);
    const std::string target = level.path + "/" + chosen;
    if (fd == kTargetInUse) {
        log.AppendLog(Format(Tr("FolderExport", "同名文件未导出:%s"), FullPath(file).c_str()));
        ++m_summary.skipped;
        return false;
    }
    if (fd == kTargetExists) {
        log.AppendLog(Format(Tr("FolderExport", "文件已存在,未覆盖:%s"), target.c_str()));
        ++m_summary.failed;
        return false;
    }
    if (fd < 0) {
        log.AppendLog(Format(Tr("FolderExport", "创建文件失败:%s"), target.c_str()));
        ++m_summary.failed;
        return false;
    }
    // Digests only for an observer: starting and finishing them is a good
    // share of the time a small file takes.
    std::optional<Hasher> digest;
    if (m_observer) digest.emplace(m_options.hashKinds);
    uint64_t written = 0;
    ByteRangeSet unreadable;
    const CopyStatus status = CopyItemData(m_volume, file, fd, digest ? &*digest : nullptr, CopyReport::kQuiet,
                                           &written, &unreadable);
    if (status == CopyStatus::kDone) SetTimesFromItem(fd, file);
    const bool closed = ::close(fd) == 0;
    if (status != CopyStatus::kDone || !closed) {
        const CopyStatus shown = status == CopyStatus::kDone ? CopyStatus::kWriteFailed : status;
        const std::string where = shown == CopyStatus::kWriteFailed ? target : FullPath(file);
        log.AppendLog(Format("%s%s", StatusMessage(shown), where.c_str()));
        ++m_summary.failed;
        return false;
    }
    ++m_summary.exported;
    if (!m_observer && unreadable.Empty()) return true;
    ExportedFile exported{ShownPath(file, m_volume.RecycleItem()), target, written,
                          digest ? digest->Finish() : Digests{}, unreadable.TotalBytes(), unreadable.Text(),
                          file.IsDeleted() ? m_volume.CountOverwrittenClusters(&file) : 0};
    if (exported.unreadableBytes > 0) {
        ++m_summary.unreadable;
        log.AppendLog(UnreadableLogLine(exported));
    }
    if (m_observer) m_observer(exported);
    if (m_countObserver) m_countObserver(m_summary);
    return true;
}

std::string UnreadableLogLine(const ExportedFile& file) {
    return Format(Tr("FolderExport", "%s: %llu 字节无法读取, 已填零 (%s)"), file.volumePath.c_str(),
                  static_cast<unsigned long long>(file.unreadableBytes), file.unreadableRanges.c_str());
}

std::string UnreadableSummaryLine(uint32_t files) {
    return Format("%u files have unreadable bytes, filled with zeros; see the manifest", files);
}

}  // namespace delvora
