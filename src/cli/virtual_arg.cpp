#include "cli/virtual_arg.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "cli/volume_arg.h"
#include "common/text_format.h"

namespace delvora::cli {
namespace {

bool SameField(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

int VirtualTypeArg(const std::string& text, VirtualType& type) {
    const auto parsed = VirtualTypeFromName(text);
    if (!parsed) return Fail(kUsage, "volume type " + text + " is not one of fat32, fat16, fat12, ntfs, ext2");
    type = *parsed;
    return kOk;
}

int PreReadArg(Env& env, const std::string& source, const Args& args, VirtualType type, VirtualChoice& out) {
    out.type = type;
    std::string error;
    if (!args.Number("--start", out.startSector, error)) return Fail(kUsage, error);
    DiskDevice device(env.context);
    const std::string name = SourceName(env, source);
    if (!OpenParamDevice(device, name)) return Fail(kFailed, "cannot open " + name + ": " + device.LastErrorText());
    const uint64_t sectors = device.SizeBytes() / 512;
    if (sectors != 0 && out.startSector >= sectors)
        return Fail(kFailed, Format("start sector %llu is past the end of %s (%llu sectors)",
                                    static_cast<unsigned long long>(out.startSector), source.c_str(),
                                    static_cast<unsigned long long>(sectors)));
    out.sectorsPastStart = sectors ? sectors - out.startSector : 0;
    if (!PreReadParams(device, out.startSector, out.blocks))
        return Fail(kFailed, "cannot read sector " + std::to_string(out.startSector) + " of " + source);
    return kOk;
}

int VirtualChoiceArg(Env& env, const std::string& source, const Args& args, VirtualChoice& out) {
    VirtualType type;
    if (const int rc = VirtualTypeArg(*args.Value("--virtual"), type); rc != kOk) return rc;
    if (args.Value("-p") || args.Value("--type")) return Fail(kUsage, "--virtual takes no -p or --type");
    if (const int rc = PreReadArg(env, source, args, type, out); rc != kOk) return rc;

    const std::vector<ParamRow> rows = ParamRows(type, out.blocks);
    std::vector<std::string> values;
    for (const ParamRow& row : rows) values.push_back(row.value);
    for (const std::string& param : args.Values("--param")) {
        const size_t eq = param.find('=');
        if (eq == std::string::npos) return Fail(kUsage, "--param needs NAME=VALUE, not " + param);
        const std::string key = param.substr(0, eq);
        const auto row = std::find_if(rows.begin(), rows.end(),
                                      [&](const ParamRow& r) { return r.label == key || SameField(r.field, key); });
        if (row == rows.end())
            return Fail(kUsage, key + " is not a parameter of " + VirtualTypeName(type) + " (see: delvora-cli preread)");
        values[static_cast<size_t>(row - rows.begin())] = param.substr(eq + 1);
    }
    if (const std::string failed = ReadBackRows(type, values, out.blocks); !failed.empty())
        return Fail(kFailed, failed);
    if (FillMissingSize(type, out.sectorsPastStart, out.blocks))
        env.log.AppendLog("volume size taken from the source past the start sector");
    return kOk;
}

}  // namespace delvora::cli
