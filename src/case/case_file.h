#pragma once
// The ".wsh" case file: the magic "WSH", a signed 32-bit item count, the
// saveItems flag, then one record per item (name, type byte, start sector,
// source kind, source path). Loading merges the items into the running case
// and analyses each again, one after another.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "case/case_workspace.h"
#include "common/archive.h"
#include "common/translation.h"

namespace delvora {

inline constexpr const char* kWrongCaseFormat = TrNoop("CaseFile", "文件格式不对!");
inline constexpr const char* kCaseItemAnalyseFailed = TrNoop("CaseFile", "分析文件系统错误!");
inline constexpr const char* kCaseFileCutShort = TrNoop("CaseFile", "案例文件不完整,已读入的数据项保留!");
/// Larger files are refused before they are read: no real case comes near.
inline constexpr size_t kMaxCaseFileBytes = 64u << 20;

/// One item record as the file holds it.
struct CaseRecord {
    std::string name;
    uint8_t typeId = 0;
    uint32_t startSector = 0;
    uint8_t sourceKind = 0;
    std::string sourcePath;
};

/// Reads the magic, itemCount and saveItems. False when the file is too
/// short; wrongMagic tells a file that is no case at all.
bool ReadCaseHeader(ArchiveReader& archive, int32_t& itemCount, uint32_t& saveItems, bool& wrongMagic);
/// Reads one item record; false when the file ends inside it. No I/O.
bool ReadCaseRecord(ArchiveReader& archive, CaseRecord& record);

/// The bytes of the case's file.
std::vector<uint8_t> SerializeCase(const CaseWorkspace& workspace, int saveItems);

/// Reads a case file's bytes into the case (case_file_loader.cpp): every
/// item is reopened and analysed (whatever saveItems says), waiting for each
/// item's worker before the next. Wrong magic: "文件格式不对!", nothing added. A record cut short
/// ends the load with a message; an item whose analysis fails gets
/// "分析文件系统错误!", is discarded and ends the load. Items read before
/// stay. Answers 1 when every record was added.
int SerializeCase(CaseWorkspace& workspace, std::span<const uint8_t> bytes);

/// Save as: writes a temporary file beside path and renames it over path,
/// so a failed save leaves an older file as it was. Clears modified on
/// success. A file that cannot be created ends silently (error says why);
/// a write that fails is shown.
int SaveCaseFile(CaseWorkspace& workspace, const std::string& path, int saveItems, std::string* error = nullptr);

/// Open: refuses with "线程忙!" while busy; a file that cannot be opened
/// ends silently (error says why). Waits for each item's worker; asks the
/// front end to rebuild the case tree when items were added. A front end
/// whose Notifier makes a worker wait for the calling thread uses
/// CaseFileLoader (case_file_loader.h) instead.
int LoadCaseFile(CaseWorkspace& workspace, const std::string& path, std::string* error = nullptr);

}  // namespace delvora
