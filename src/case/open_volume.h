#pragma once
// The one way a volume is opened, for the case workspace and the command
// line alike: classify the partition type byte, build the volume, give it
// its source, place and context, and read its boot sector and tables. The
// tree load that follows (worker or inline) keeps what it read on failure.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/reporting.h"
#include "common/translation.h"
#include "fs/volume.h"
#include "fs/volume_registry.h"

namespace delvora {

class DataSource;

inline constexpr const char* kUnknownFormat = TrNoop("OpenVolume", "未知格式的文件系统,结果失败!");
inline constexpr const char* kAnalyseFailedBox = TrNoop("OpenVolume", "分析文件系统出错!");
inline constexpr const char* kAnalyseFailedLog = TrNoop("OpenVolume", " 在分析文件系统过程中出现错误,无法加载!");

/// Where a volume lies: an open source, the partition type byte and the
/// volume's first sector and sector count on the source.
struct VolumePlace {
    DataSource* source = nullptr;
    uint8_t typeId = 0;
    uint64_t startSector = 0;
    uint64_t totalSectors = 0;
};

enum class OpenFailure { None, NoFileSystem, UnknownFormat, OutOfMemory, AnalyseFailed };

struct OpenedVolumeResult {
    std::unique_ptr<Volume> volume;   // prepared; null on failure
    OpenFailure failure = OpenFailure::None;
    VolumeClass volumeClass = VolumeClass::None;
    uint8_t typeId = 0;               // the place's type, 0x07 turned into kExfatTypeId for exFAT
    std::string loadLine;             // "系统于 <now> 加载<kind>文件系统,位于 ..."
};

using VolumeFactory = std::function<std::unique_ptr<Volume>(VolumeClass)>;

/// The text logged after the time stamp for a class of volume at a place
/// (empty for None and Unknown).
std::string LoadLogText(VolumeClass volumeClass, uint8_t fatType, const std::string& sourcePath,
                        uint64_t startSector);

/// Opens the volume at a place: type 0 fails without a word; an unknown type
/// logs "未知格式的文件系统,结果失败!"; a failed analysis shows
/// "分析文件系统出错!" and logs " 在分析文件系统过程中出现错误,无法加载!".
/// The source's error reporting is off while the boot sector is read.
/// make builds the volume for a class (null: the registry's).
OpenedVolumeResult OpenVolume(const VolumePlace& place, const CoreContext& context,
                              const VolumeFactory& make = nullptr);

/// Loads the tree and frees the load's tables; what was read before a
/// failure (an exception included) stays in the tree. Answers LoadTree's
/// result, false after an exception.
bool LoadTreeGuarded(Volume& volume, Log& log);

}  // namespace delvora
