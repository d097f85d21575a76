#include "cli/volume_arg.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <new>
#include <filesystem>
#include <vector>

#include "case/detect_and_load.h"
#include "case/open_volume.h"
#include "cli/placement_arg.h"
#include "cli/terminal_progress.h"
#include "cli/virtual_arg.h"
#include "common/text_format.h"
#include "common/translation.h"
#include "disk/disk_scan.h"
#include "disk/filled_ranges.h"
#include "disk/partition_types.h"
#include "fs/volume_registry.h"

namespace delvora::cli {

std::vector<std::string> WithVolumeOptions(std::vector<std::string> options) {
    options.insert(options.end(), kVolumeOptions.begin(), kVolumeOptions.end());
    return options;
}

std::string SourceName(const Env& env, const std::string& text) {
    if (text.empty() || text[0] == '/' || env.devices.Contains(text)) return text;
    std::error_code error;
    if (!std::filesystem::exists(text, error)) return text;
    const auto absolute = std::filesystem::absolute(text, error);
    return error ? text : absolute.lexically_normal().string();
}

int ResolveSourceArg(Env& env, const std::string& text, SourceArg& out) {
    RemoteSourceName remote;
    if (!ParseRemoteSource(text, remote)) {
        if (text.starts_with("nbd://") || text.starts_with("nbds://"))
            return Fail(kUsage, "bad remote source " + text + ": expected nbd://HOST[:PORT]/NAME");
        out.device = SourceName(env, text);
        out.remote.reset();
        return kOk;
    }
    if (remote.tls && env.pskKey.empty()) return Fail(kUsage, "nbds:// needs the key: --psk-file FILE");
    std::shared_ptr<RemoteDisk> disk = ConnectRemote(remote.address, env.pskUser, env.pskKey, env.context);
    if (!disk) return Fail(kFailed, "cannot connect to " + remote.address);
    out.device = remote.device;
    out.remote = RemoteChoice{std::move(disk), remote.address};
    return kOk;
}

int OpenSourceArg(const SourceArg& arg, DataSource& source) {
    if (arg.remote) {
        source.SetKind(SourceKind::Remote);
        std::shared_ptr<RemoteDisk> session = arg.remote->disk->NewSession();
        source.SetRemote(session ? std::move(session) : arg.remote->disk);
    } else {
        source.SetKind(SourceKind::Device);
    }
    source.SetPath(arg.device);
    source.SetReportErrors(0);
    return source.Open();
}

namespace {

std::string ItemNameFor(const std::string& source, uint8_t typeId) {
    const std::string type = TypeName(typeId);
    return source + "(" + (type.empty() ? Format("0x%02X", typeId) : type) + ")";
}

}  // namespace

int ResolveVolume(Env& env, const std::string& text, const VolumeChoice& choice, ChosenRow& row,
                  std::optional<RemoteChoice>* remote) {
    SourceArg source;
    if (const int rc = ResolveSourceArg(env, text, source); rc != kOk) return rc;
    if (source.remote && !remote) return Fail(kUsage, "a remote source cannot be used here: " + text);
    if (remote) *remote = source.remote;
    const std::string& name = source.device;
    DataSource probe(env.context);
    if (!OpenSourceArg(source, probe)) return Fail(kFailed, "cannot open " + text + ": " + probe.LastErrorText());
    const uint64_t deviceSectors = probe.SizeBytes() / 512;

    if (choice.partition) {
        DiskScan scan(env.context);
        if (source.remote) scan.SetRemote(source.remote->disk);
        scan.WalkDisk(name);
        const auto& rows = scan.Entries();
        if (*choice.partition >= rows.size())
            return Fail(kFailed, Format("%s has %zu partition rows; partition %llu is out of range", text.c_str(),
                                        rows.size(), static_cast<unsigned long long>(*choice.partition)));
        row = ChosenRowOf(rows[*choice.partition]);
        row.sourceDevice = name;
        return kOk;
    }
    if (choice.type || choice.start) {
        if (!choice.type) return Fail(kUsage, "a start sector needs a type byte too");
        // A typed start counts the source's logical sectors; volumes count 512 bytes.
        uint32_t sectorSize = env.devices.SectorSize(name);
        if (sectorSize == 0) sectorSize = probe.ReportedSectorSize();
        const uint64_t units = std::max<uint32_t>(sectorSize, 512) / 512;
        if (choice.start.value_or(0) > UINT64_MAX / units) return Fail(kUsage, "start sector out of range");
        const uint64_t start = choice.start.value_or(0) * units;
        if (*choice.type > 0xFF) return Fail(kUsage, "type byte out of range");
        row.typeId = static_cast<uint8_t>(*choice.type);
        row.startSector = start;
        row.totalSectors = deviceSectors > start ? deviceSectors - start : 0;
        row.sourceDevice = name;
        row.itemName = ItemNameFor(name, row.typeId);
        return kOk;
    }
    std::vector<uint8_t> head(65536);
    if (!probe.GetData(head.data(), static_cast<uint32_t>(head.size()), 0)) return Fail(kFailed, "cannot read " + text);
    row.typeId = RecogniseVolume(head);
    if (row.typeId == 0) {
        DiskScan scan(env.context);
        if (source.remote) scan.SetRemote(source.remote->disk);
        if (scan.WalkDisk(name) && !scan.Entries().empty())
            return Fail(kUsage, text + " holds a partition table: choose a volume by its partition row "
                                       "(-p N; see: delvora-cli scan)");
        return Fail(kFailed, "no FAT, NTFS, EXT2 or exFAT volume recognised on " + text);
    }
    row.startSector = 0;
    row.totalSectors = deviceSectors;
    row.sourceDevice = name;
    row.itemName = ItemNameFor(name, row.typeId);
    return kOk;
}

namespace {

// A volume described by typed parameters: its source takes them in place
// of what the disk holds.
int LocateVirtualVolume(Env& env, const Args& args, OpenedVolume& out) {
    VirtualChoice choice;
    if (const int rc = VirtualChoiceArg(env, args.Positional()[0], args, choice); rc != kOk) return rc;
    out.typeId = PartitionTypeOf(choice.type);
    out.startSector = choice.startSector;
    out.totalSectors = choice.sectorsPastStart;
    out.source = std::make_unique<DataSource>(env.context);
    out.source->SetKind(SourceKind::Device);
    out.source->SetPath(SourceName(env, args.Positional()[0]));
    out.source->SetReportErrors(0);
    if (!out.source->Open())
        return Fail(kFailed, "cannot open " + out.source->Path() + ": " + out.source->LastErrorText());
    out.source->SetFat_BPB(choice.blocks.fat);
    out.source->SetNtfs_BPB(choice.blocks.ntfs);
    out.source->SetExt2_Param(choice.blocks.ext2);
    return kOk;
}

}  // namespace

int LocateVolumeArg(Env& env, const Args& args, OpenedVolume& out) {
    if (args.Positional().empty()) return Fail(kUsage, "missing SOURCE (a device name or an image path)");
    if (args.Value("--virtual")) return LocateVirtualVolume(env, args, out);
    if (!args.Values("--param").empty()) return Fail(kUsage, "--param belongs to --virtual");
    VolumeChoice choice;
    std::string error;
    uint64_t value = 0;
    for (auto [option, field] : {std::pair{"-p", &choice.partition}, std::pair{"--start", &choice.start},
                                 std::pair{"--type", &choice.type}}) {
        if (!args.Value(option)) continue;
        if (!args.Number(option, value, error)) return Fail(kUsage, error);
        *field = value;
    }
    ChosenRow row;
    std::optional<RemoteChoice> remote;
    const int resolved = ResolveVolume(env, args.Positional()[0], choice, row, &remote);
    if (resolved != kOk) return resolved;
    out.typeId = row.typeId;
    out.startSector = row.startSector;
    out.totalSectors = row.totalSectors;
    out.source = std::make_unique<DataSource>(env.context);
    if (!OpenSourceArg({row.sourceDevice, remote}, *out.source))
        return Fail(kFailed, "cannot open " + row.sourceDevice + ": " + out.source->LastErrorText());
    return kOk;
}

namespace {

bool RootUnreadable(Volume& volume, const ByteRangeSet& filled) {
    if (filled.Empty()) return false;
    ClusterRunList root;
    if (!volume.ListRootSectors(root)) return false;
    const uint64_t origin = volume.StartSector() * 512, bytes = std::max<uint32_t>(volume.BytesPerSector(), 1);
    for (const ClusterRun& run : root) {
        if (run.first > (UINT64_MAX - origin) / bytes || run.count > UINT64_MAX / bytes) return true;
        if (filled.Overlaps(origin + run.first * bytes, run.count * bytes)) return true;
    }
    return false;
}

}  // namespace

int OpenVolumeArg(Env& env, const Args& args, OpenedVolume& out, bool loadTree) {
    const int located = LocateVolumeArg(env, args, out);
    if (located != kOk) return located;

    // The command line loads inline, as the workstation does for remote
    // sources, and logs the same lines.
    const auto started = std::chrono::steady_clock::now();
    // Reads that failed while the volume was prepared and loaded: if the
    // root folder was among them, the tree is empty for want of data.
    ByteRangeSet filled;
    FillRecorder recorder(filled);
    OpenedVolumeResult opened = OpenVolume({out.source.get(), out.typeId, out.startSector, out.totalSectors}, env.context);
    if (!opened.volume) {
        // An analysis failure was shown and logged by the opening itself.
        if (opened.failure == OpenFailure::AnalyseFailed) return kFailed;
        if (opened.failure == OpenFailure::OutOfMemory) return Fail(kFailed, "out of memory");
        return Fail(kFailed, Format("partition type 0x%02X holds no file system this program reads", out.typeId));
    }
    out.volume = std::move(opened.volume);
    if (!loadTree) return kOk;
    bool loaded = false;
    {
        ProgressPhase phase(env.progress, kLoadingText);
        loaded = LoadTreeGuarded(*out.volume, env.log);
    }
    if (out.volume->Traits().reportErrorsAfterLoad) out.source->SetReportErrors(1);
    env.log.AppendLog(opened.loadLine);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    env.log.AppendLog(Format(Tr("VolumeArg", "分析文件系统耗时: %d 毫秒"), static_cast<int>(ms.count())));
    // A tree without its root would pass for an empty volume.
    if (RootUnreadable(*out.volume, filled))
        return Fail(kFailed, "the volume's root folder cannot be read: the source ends or fails inside its tables or root");
    // What was loaded is still worth showing: a damaged volume is the usual case.
    if (!loaded) std::fprintf(stderr, "delvora-cli: warning: the volume's tree was loaded only in part\n");
    return ApplyPlacementArgs(env, args, *out.volume);
}

}  // namespace delvora::cli
