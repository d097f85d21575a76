// scan: the partition list as the add-data wizard shows it, or one source's.
#include <cstdio>

#include "cli/cli.h"
#include "cli/volume_arg.h"
#include "common/text_format.h"
#include "common/translation.h"
#include "disk/disk_scan.h"
#include "disk/remote_connect.h"

namespace delvora::cli {
namespace {

void PrintEntries(const Env& env, const std::vector<PartitionEntry>& entries, const std::string& address) {
    if (!env.json) {
        const auto& titles = DiskScan::ColumnTitles();
        for (size_t i = 0; i < titles.size(); ++i) std::printf("%s%s", i ? "\t" : "", Tr("DiskScan", titles[i].c_str()));
        std::printf("\n");
    }
    for (const auto& entry : entries) {
        const auto cells = DiskScan::RowTexts(entry, address);
        if (env.json) {
            std::string gpt;
            if (entry.scheme == "gpt")
                gpt = ",\"typeGuid\":" + JsonString(entry.typeGuid) + ",\"partitionGuid\":" +
                      JsonString(entry.partitionGuid) + ",\"name\":" + JsonString(entry.name);
            std::printf(
                "{\"drive\":%s,\"fileSystem\":%s,\"identifier\":%s,\"typeId\":%u,\"startSector\":%llu,"
                "\"totalSectors\":%llu,\"size\":%llu,\"source\":%s,\"walkLetter\":%s,\"scheme\":%s,"
                "\"sectorSize\":%u%s}\n",
                JsonString(cells[0]).c_str(), JsonString(cells[1]).c_str(), JsonString(cells[2]).c_str(),
                entry.typeId, static_cast<unsigned long long>(entry.startSector),
                static_cast<unsigned long long>(entry.totalSectors), static_cast<unsigned long long>(entry.sizeBytes),
                JsonString(cells[6]).c_str(), JsonString(entry.walkLetter).c_str(),
                entry.scheme.empty() ? "null" : JsonString(entry.scheme).c_str(), entry.sectorSize, gpt.c_str());
            continue;
        }
        // The floppy's file-system cell is boot-sector bytes.
        for (size_t i = 0; i < cells.size(); ++i) std::printf("%s%s", i ? "\t" : "", EscapeControls(cells[i]).c_str());
        std::printf("\n");
    }
}

// One source's partitions in walk order, as -p N numbers them: no drive
// matching, so row N is partition N.
int ScanOneSource(Env& env, const Args& args) {
    for (const char* machineOnly : {"--floppy", "--whole-disks", "--no-partitions"})
        if (args.Flag(machineOnly))
            return Fail(kUsage, std::string(machineOnly) + " belongs to the machine's scan, not to one SOURCE");
    if (args.Value("--remote")) return Fail(kUsage, "--remote scans a machine; one remote source is nbd://HOST/NAME");
    const std::string& text = args.Positional()[0];
    SourceArg source;
    if (const int rc = ResolveSourceArg(env, text, source); rc != kOk) return rc;
    DataSource probe(env.context);
    if (!OpenSourceArg(source, probe)) return Fail(kFailed, "cannot open " + text + ": " + probe.LastErrorText());
    probe.Close();
    DiskScan scan(env.context);
    if (source.remote) scan.SetRemote(source.remote->disk);
    // Damage found in the table reaches the log (standard error unless --log).
    const int walked = scan.WalkDisk(source.device);
    if (!walked && scan.Entries().empty()) return Fail(kFailed, "no partition table found on " + text);
    std::vector<PartitionEntry> entries = scan.Entries();
    for (auto& entry : entries) entry.walkLetter = entry.letter;
    PrintEntries(env, entries, source.remote ? source.remote->address : std::string());
    return kOk;
}

int Scan(Env& env, const Args& args) {
    if (args.Positional().size() > 1) return Fail(kUsage, "scan takes at most one SOURCE");
    if (args.Positional().size() == 1) return ScanOneSource(env, args);
    DiskScan scan(env.context);
    scan.SetOptions(args.Flag("--floppy") ? 1 : 0, args.Flag("--no-partitions") ? 0 : 1,
                    args.Flag("--whole-disks") ? 1 : 0);
    const std::string address = args.Value("--remote").value_or("");
    if (args.Value("--remote")) {
        // The remote machine's list, as the wizard shows it when connected.
        std::shared_ptr<RemoteDisk> remote = ConnectRemote(address, env.pskUser, env.pskKey, env.context);
        if (!remote) return Fail(kFailed, "cannot connect to " + address);
        scan.SetRemote(std::move(remote));
    }
    if (!scan.Scan()) return Fail(kFailed, "the scan failed");
    PrintEntries(env, scan.Entries(), address);
    return kOk;
}

const bool kRegistered = RegisterCommand(
    {"scan", "scan [SOURCE] [--floppy] [--whole-disks] [--no-partitions] [--remote HOST[:PORT]]",
     "list partitions: drive, file system, identifier, start, total, size, source (of a remote machine with "
     "--remote; TLS-PSK with the global --psk-file); with SOURCE (an image or a device name) that source's "
     "partitions in the order -p N counts them", {"--remote"},
     {"--floppy", "--whole-disks", "--no-partitions"}, &Scan});

}  // namespace
}  // namespace delvora::cli
