#include "cli/volume_arg.h"

#include <chrono>
#include <vector>

#include "common/text_format.h"
#include "disk/disk_scan.h"
#include "fs/volume_registry.h"

namespace delvora::cli {

std::vector<std::string> WithVolumeOptions(std::vector<std::string> options) {
    options.insert(options.end(), kVolumeOptions.begin(), kVolumeOptions.end());
    return options;
}

int LocateVolumeArg(Env& env, const Args& args, OpenedVolume& out) {
    if (args.Positional().empty()) return Fail(kUsage, "missing SOURCE (a device name or an image path)");
    const std::string name = args.Positional()[0];

    out.source = std::make_unique<DataSource>(env.context);
    out.source->SetKind(SourceKind::Device);
    out.source->SetPath(name);
    out.source->SetReportErrors(0);
    if (!out.source->Open()) return Fail(kFailed, "cannot open " + name + ": " + out.source->LastErrorText());
    const uint64_t deviceSectors = out.source->SizeBytes() / 512;
    const uint32_t sectorsLeftFrom0 =
        deviceSectors > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(deviceSectors);

    std::string error;
    uint64_t index = 0, start = 0, type = 0;
    if (!args.Number("-p", index, error) || !args.Number("--start", start, error) ||
        !args.Number("--type", type, error))
        return Fail(kUsage, error);

    if (args.Value("-p")) {
        DiskScan scan(env.context);
        scan.WalkDisk(name);
        const auto& rows = scan.Entries();
        if (index >= rows.size())
            return Fail(kFailed, Format("%s has %zu partition rows; -p %llu is out of range", name.c_str(),
                                        rows.size(), static_cast<unsigned long long>(index)));
        out.typeId = rows[index].typeId;
        out.startSector = rows[index].startSector;
        out.totalSectors = rows[index].totalSectors;
    } else if (args.Value("--type") || args.Value("--start")) {
        if (!args.Value("--type")) return Fail(kUsage, "--start needs --type BYTE");
        if (start > UINT32_MAX || type > 0xFF) return Fail(kUsage, "--start or --type out of range");
        out.typeId = static_cast<uint8_t>(type);
        out.startSector = static_cast<uint32_t>(start);
        out.totalSectors = sectorsLeftFrom0 > start ? sectorsLeftFrom0 - out.startSector : 0;
    } else {
        std::vector<uint8_t> head(65536);
        if (!out.source->GetData(head.data(), static_cast<uint32_t>(head.size()), 0))
            return Fail(kFailed, "cannot read " + name);
        out.typeId = RecogniseVolume(head);
        if (out.typeId == 0) {
            DiskScan scan(env.context);
            if (scan.WalkDisk(name) && !scan.Entries().empty())
                return Fail(kUsage, name + " holds a partition table: choose a volume with -p N "
                                           "(see: delvora-cli scan)");
            return Fail(kFailed, "no FAT, NTFS or EXT2 volume recognised on " + name);
        }
        out.startSector = 0;
        out.totalSectors = sectorsLeftFrom0;
    }
    return kOk;
}

int OpenVolumeArg(Env& env, const Args& args, OpenedVolume& out) {
    const int located = LocateVolumeArg(env, args, out);
    if (located != kOk) return located;

    const auto started = std::chrono::steady_clock::now();
    const Classification kind = ClassifyTypeByte(out.typeId);
    if (kind.volumeClass == VolumeClass::Unknown) {
        env.log.AppendLog("未知格式的文件系统,结果失败!");
        return Fail(kFailed, Format("partition type 0x%02X holds no file system this program reads", out.typeId));
    }
    out.volume = MakeVolume(kind.volumeClass);
    if (!out.volume) return Fail(kFailed, Format("partition type 0x%02X cannot be loaded", out.typeId));
    out.volume->SetContext(env.context);
    out.volume->SetFatType(kind.fatType);
    out.volume->SetDataSource(out.source.get());
    out.volume->SetStartSector(out.startSector);
    out.volume->SetTotalSectors(out.totalSectors);
    out.source->SetReportErrors(0);
    const bool loaded = out.volume->Prepare() && out.volume->LoadTree();
    out.volume->ReleaseLoadTables();
    if (!loaded) {
        env.log.AppendLog(" 在分析文件系统过程中出现错误,无法加载!");
        return Fail(kFailed, "分析文件系统出错!");
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    env.log.AppendLog(Format("分析文件系统耗时: %d 毫秒", static_cast<int>(ms.count())));
    return kOk;
}

}  // namespace delvora::cli
