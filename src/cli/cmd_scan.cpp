// scan: the partition list as the add-data wizard shows it.
#include <cstdio>

#include "cli/cli.h"
#include "common/text_format.h"
#include "disk/disk_scan.h"
#include "disk/remote_connect.h"

namespace delvora::cli {
namespace {

int Scan(Env& env, const Args& args) {
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
    if (!env.json) {
        const auto& titles = DiskScan::ColumnTitles();
        for (size_t i = 0; i < titles.size(); ++i) std::printf("%s%s", i ? "\t" : "", titles[i].c_str());
        std::printf("\n");
    }
    for (const auto& entry : scan.Entries()) {
        const auto cells = DiskScan::RowTexts(entry, address);
        if (env.json) {
            std::printf(
                "{\"drive\":%s,\"fileSystem\":%s,\"identifier\":%s,\"typeId\":%u,\"startSector\":%u,"
                "\"totalSectors\":%u,\"size\":%llu,\"source\":%s,\"walkLetter\":%s}\n",
                JsonString(cells[0]).c_str(), JsonString(cells[1]).c_str(), JsonString(cells[2]).c_str(),
                entry.typeId, entry.startSector, entry.totalSectors,
                static_cast<unsigned long long>(entry.sizeBytes), JsonString(cells[6]).c_str(),
                JsonString(entry.walkLetter).c_str());
            continue;
        }
        // The floppy's file-system cell is boot-sector bytes.
        for (size_t i = 0; i < cells.size(); ++i) std::printf("%s%s", i ? "\t" : "", EscapeControls(cells[i]).c_str());
        std::printf("\n");
    }
    return kOk;
}

const bool kRegistered = RegisterCommand(
    {"scan", "scan [--floppy] [--whole-disks] [--no-partitions] [--remote HOST[:PORT]]",
     "list partitions: drive, file system, identifier, start, total, size, source (of a remote machine with "
     "--remote; TLS-PSK with the global --psk-file)", {"--remote"},
     {"--floppy", "--whole-disks", "--no-partitions"}, &Scan});

}  // namespace
}  // namespace delvora::cli
