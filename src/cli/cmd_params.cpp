// preread and fatmarks: the boot parameters found at a sector, as the rows a
// virtual volume is typed in with, and the sectors where a FAT may begin.
#include <cstdio>

#include "cli/cli.h"
#include "cli/virtual_arg.h"
#include "cli/volume_arg.h"
#include "common/text_format.h"
#include "common/translation.h"

namespace delvora::cli {
namespace {

int PreRead(Env& env, const Args& args) {
    if (args.Positional().size() != 1 || !args.Value("--type"))
        return Fail(kUsage, "usage: delvora-cli preread SOURCE --start S --type fat32|fat16|fat12|ntfs|ext2|exfat");
    VirtualType type;
    if (const int rc = VirtualTypeArg(*args.Value("--type"), type); rc != kOk) return rc;
    VirtualChoice choice;
    if (const int rc = PreReadArg(env, args.Positional()[0], args, type, choice); rc != kOk) return rc;
    if (!env.json) std::printf("%s\n", Tr("CmdParams", "项\t值\t重要"));
    for (const ParamRow& row : ParamRows(type, choice.blocks)) {
        if (env.json)
            std::printf("{\"label\":%s,\"field\":%s,\"value\":%s,\"important\":%s}\n", JsonString(row.label).c_str(),
                        JsonString(row.field).c_str(), JsonString(row.value).c_str(),
                        row.important ? "true" : "false");
        else
            std::printf("%s\t%s\t%s\n", row.label.c_str(), EscapeControls(row.value).c_str(),
                        row.important ? "*" : "");
    }
    return kOk;
}

int FatMarks(Env& env, const Args& args) {
    if (args.Positional().size() != 1) return Fail(kUsage, "usage: delvora-cli fatmarks SOURCE [--start S]");
    uint64_t start = 0;
    std::string error;
    if (!args.Number("--start", start, error)) return Fail(kUsage, error);
    DiskDevice device(env.context);
    const std::string name = SourceName(env, args.Positional()[0]);
    if (!OpenParamDevice(device, name)) return Fail(kFailed, "cannot open " + name + ": " + device.LastErrorText());
    // As preread: a start past the end has nothing to look at, which is no
    // answer of "no marks".
    const uint64_t sectors = device.SizeBytes() / 512;
    if (sectors != 0 && start >= sectors)
        return Fail(kFailed, Format("start sector %llu is past the end of %s (%llu sectors)",
                                    static_cast<unsigned long long>(start), args.Positional()[0].c_str(),
                                    static_cast<unsigned long long>(sectors)));
    const auto marks = FindFatMarkers(device, start);
    for (size_t i = 0; i < marks.size(); ++i) {
        const auto sector = static_cast<unsigned long long>(marks[i]);
        if (env.json)
            std::printf("{\"label\":%s,\"sector\":%llu}\n", JsonString(FatMarkerLabel(i)).c_str(), sector);
        else
            std::printf("%s\t%llu\n", FatMarkerLabel(i).c_str(), sector);
    }
    return kOk;
}

const bool kPreRead = RegisterCommand(
    {"preread", "preread SOURCE --start S --type fat32|fat16|fat12|ntfs|ext2|exfat",
     "the boot parameters at a sector as the rows a virtual volume is typed in with (--virtual)",
     {"--start", "--type"}, {}, &PreRead});
const bool kFatMarks = RegisterCommand({"fatmarks", "fatmarks SOURCE [--start S]",
                                        "sectors in the 50,048 from S whose first byte is 0xF8 (where a FAT may begin)",
                                        {"--start"}, {}, &FatMarks});

}  // namespace
}  // namespace delvora::cli
