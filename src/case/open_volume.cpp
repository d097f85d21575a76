#include "case/open_volume.h"

#include <array>
#include <new>

#include "common/options.h"
#include "common/text_format.h"
#include "common/translation.h"
#include "disk/data_source.h"
#include "disk/partition_types.h"

namespace delvora {

std::string LoadLogText(VolumeClass volumeClass, uint8_t fatType, const std::string& sourcePath,
                        uint64_t startSector) {
    const char* path = sourcePath.c_str();
    const auto start = static_cast<unsigned long long>(startSector);
    switch (volumeClass) {
        case VolumeClass::Fat: {
            const int bits = fatType == 1 ? 12 : fatType == 2 ? 16 : 32;
            return Format(Tr("OpenVolume", "FAT%d文件系统,位于 %s ,%llu 扇区"), bits, path, start);
        }
        case VolumeClass::Ntfs: return Format(Tr("OpenVolume", "NTFS文件系统,位于 %s ,%llu 扇区"), path, start);
        case VolumeClass::Ext2: return Format(Tr("OpenVolume", "EXT2文件系统,位于 %s , %llu 扇区."), path, start);
        case VolumeClass::Exfat: return Format(Tr("OpenVolume", "exFAT文件系统,位于 %s ,%llu 扇区"), path, start);
        default: return {};
    }
}

OpenedVolumeResult OpenVolume(const VolumePlace& place, const CoreContext& context, const VolumeFactory& make) {
    OpenedVolumeResult result;
    const std::string stamp = Format(Tr("OpenVolume", "系统于 %s 加载"), NowTimestamp().c_str());
    result.typeId = place.typeId;
    if (place.typeId == 0x07 && place.source) {
        // Type 0x07 is NTFS or exFAT: the boot sector tells which.
        std::array<uint8_t, 512> boot{};
        if (place.source->GetData(boot.data(), 512, place.startSector))
            result.typeId = TypeOfBootSector(place.typeId, boot);
    }
    const Classification found = ClassifyTypeByte(result.typeId);
    result.volumeClass = found.volumeClass;
    if (found.volumeClass == VolumeClass::None || !place.source) {
        result.failure = OpenFailure::NoFileSystem;
        return result;
    }
    if (found.volumeClass == VolumeClass::Unknown) {
        context.Logger().AppendLog(Tr("OpenVolume", kUnknownFormat));
        result.failure = OpenFailure::UnknownFormat;
        return result;
    }
    std::unique_ptr<Volume> volume;
    try {
        volume = make ? make(found.volumeClass) : MakeVolume(found.volumeClass);
    } catch (const std::bad_alloc&) {
        volume.reset();
    }
    if (!volume) {
        result.failure = OpenFailure::OutOfMemory;
        return result;
    }
    volume->SetFatType(found.fatType);
    volume->SetDataSource(place.source);
    volume->SetStartSector(place.startSector);
    volume->SetTotalSectors(place.totalSectors);
    volume->SetContext(context);
    place.source->SetReportErrors(0);
    bool prepared = false;
    try {
        prepared = volume->Prepare();
    } catch (const std::exception&) {
        prepared = false;
    }
    if (!prepared) {
        context.Notify().Message(Tr("OpenVolume", kAnalyseFailedBox), "提示", MessageIcon::Error);
        volume.reset();
        context.Logger().AppendLog(Tr("OpenVolume", kAnalyseFailedLog));
        result.failure = OpenFailure::AnalyseFailed;
        return result;
    }
    // Named after preparing: a FAT boot sector decides its own kind, which
    // may differ from what the partition type byte suggests.
    result.loadLine =
        stamp + LoadLogText(found.volumeClass, volume->FatType(), place.source->Path(), place.startSector);
    LogNonDefaultOptions(context, Tr("OpenVolume", "加载"));
    result.volume = std::move(volume);
    return result;
}

bool LoadTreeGuarded(Volume& volume, Log& log) {
    bool loaded = false;
    try {
        loaded = volume.LoadTree();
    } catch (const std::bad_alloc&) {
        log.AppendLog(Tr("OpenVolume", "内存不足,文件系统未能全部加载!"));
    } catch (const std::exception& e) {
        log.AppendLog(Format(Tr("OpenVolume", "加载文件系统出错: %s"), e.what()));
    }
    volume.ReleaseLoadTables();
    return loaded;
}

}  // namespace delvora
