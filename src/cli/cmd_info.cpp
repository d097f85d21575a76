// info and verify: what an image or device holds, and whether its media
// still hash to what the container recorded at acquisition.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

#include "cli/cli.h"
#include "cli/terminal_progress.h"
#include "cli/volume_arg.h"
#include "common/text_format.h"
#include "common/translation.h"
#include "disk/media_info.h"

namespace delvora::cli {
namespace {

int DescribeArg(Env& env, const Args& args, ContainerInfo& info, std::string& scheme) {
    if (args.Positional().size() != 1) return Fail(kUsage, "expected one SOURCE (a device name or an image path)");
    const std::string& text = args.Positional()[0];
    if (text.starts_with("nbd://") || text.starts_with("nbds://"))
        return Fail(kUsage, "a remote source cannot be used here: " + text);
    std::string error;
    if (!DescribeSource(env.context, SourceName(env, text), info, scheme, error))
        return Fail(kFailed, "cannot open " + text + ": " + error);
    return kOk;
}

int Info(Env& env, const Args& args) {
    ContainerInfo info;
    std::string scheme;
    if (const int rc = DescribeArg(env, args, info, scheme); rc != kOk) return rc;
    // A container that does not record its sector size holds 512-byte ones.
    const uint32_t sectorSize = info.bytesPerSector ? info.bytesPerSector : 512;
    const std::vector<std::pair<const char*, const std::string*>> texts{
        {"caseNumber", &info.caseNumber},       {"evidenceNumber", &info.evidenceNumber},
        {"examiner", &info.examiner},           {"description", &info.description},
        {"notes", &info.notes},                 {"acquiredDate", &info.acquiredDate},
        {"acquiredSoftware", &info.acquiredSoftware}, {"storedMd5", &info.storedMd5},
        {"storedSha1", &info.storedSha1}};
    if (env.json) {
        std::string out = "{\"container\":";
        AppendJsonString(out, ContainerKindName(info.kind));
        out += ",\"files\":[";
        for (size_t i = 0; i < info.files.size(); ++i) {
            if (i) out += ',';
            AppendJsonString(out, info.files[i]);
        }
        out += Format("],\"mediaSize\":%llu,\"sectorSize\":%u,\"scheme\":",
                      static_cast<unsigned long long>(info.mediaSize), sectorSize);
        AppendJsonString(out, scheme);
        for (const auto& [name, value] : texts) {
            out += Format(",\"%s\":", name);
            AppendJsonString(out, *value);
        }
        std::printf("%s}\n", out.c_str());
        return kOk;
    }
    std::printf("container\t%s\n", ContainerKindName(info.kind));
    for (const auto& file : info.files) std::printf("file\t%s\n", EscapeControls(file).c_str());
    std::printf("mediaSize\t%llu\nsectorSize\t%u\nscheme\t%s\n", static_cast<unsigned long long>(info.mediaSize),
                sectorSize, scheme.c_str());
    for (const auto& [name, value] : texts)
        if (!value->empty()) std::printf("%s\t%s\n", name, EscapeControls(*value).c_str());
    return kOk;
}

int Verify(Env& env, const Args& args) {
    if (args.Positional().size() != 1) return Fail(kUsage, "expected one SOURCE (a device name or an image path)");
    const std::string& text = args.Positional()[0];
    if (text.starts_with("nbd://") || text.starts_with("nbds://"))
        return Fail(kUsage, "a remote source cannot be used here: " + text);
    ContainerInfo info;
    std::string error;
    const std::string path = env.devices.Resolve(SourceName(env, text));
    std::unique_ptr<BlockBackend> backend = path.empty() ? nullptr : OpenImageFile(path, error, &info);
    if (!backend) return Fail(kFailed, "cannot open " + text + ": " + (path.empty() ? "no such device" : error));
    std::optional<ProgressPhase> phase(std::in_place, env.progress, Tr("CmdInfo", "正在校验..."));
    env.progress.SetProgressRange(0, 1000);
    auto progress = [&](uint64_t done, uint64_t total) {
        env.progress.SetProgressPos(total ? static_cast<uint32_t>(std::min(done, total) * 1000 / total) : 1000);
        return true;
    };
    Digests digests;
    std::vector<ByteRange> unreadable;
    // Only the recorded kinds need computing; with none recorded, both are
    // shown for the examiner to compare by hand.
    unsigned kinds = (info.storedMd5.empty() ? 0u : unsigned{kHashMd5}) | (info.storedSha1.empty() ? 0u : unsigned{kHashSha1});
    if (kinds == 0) kinds = kHashMd5 | kHashSha1;
    const bool read = HashMedia(*backend, kinds, digests, unreadable, error, progress);
    phase.reset();
    if (!read) return Fail(kFailed, "cannot hash " + args.Positional()[0] + ": " + error);

    const bool md5Stored = !info.storedMd5.empty(), sha1Stored = !info.storedSha1.empty();
    const bool md5Match = digests.md5 == info.storedMd5, sha1Match = digests.sha1 == info.storedSha1;
    const bool anyStored = md5Stored || sha1Stored;
    const bool match = anyStored && (!md5Stored || md5Match) && (!sha1Stored || sha1Match) && unreadable.empty();
    uint64_t unreadableBytes = 0;
    std::string ranges;
    for (const auto& range : unreadable) {
        unreadableBytes += range.length;
        ranges += Format("%s%llu+%llu", ranges.empty() ? "" : ",", static_cast<unsigned long long>(range.offset),
                         static_cast<unsigned long long>(range.length));
    }
    auto verdict = [](bool stored, bool same) { return !stored ? "none stored" : same ? "match" : "differ"; };
    if (env.json) {
        std::printf("{\"md5\":\"%s\",\"storedMd5\":\"%s\",\"sha1\":\"%s\",\"storedSha1\":\"%s\",\"match\":%s,"
                    "\"unreadableBytes\":%llu,\"unreadableRanges\":\"%s\"}\n",
                    digests.md5.c_str(), info.storedMd5.c_str(), digests.sha1.c_str(), info.storedSha1.c_str(),
                    match ? "true" : "false", static_cast<unsigned long long>(unreadableBytes), ranges.c_str());
    } else {
        if (!digests.md5.empty()) std::printf("md5\t%s\t%s\n", digests.md5.c_str(), verdict(md5Stored, md5Match));
        if (!digests.sha1.empty()) std::printf("sha1\t%s\t%s\n", digests.sha1.c_str(), verdict(sha1Stored, sha1Match));
        if (unreadableBytes) std::printf("unreadable\t%llu bytes\t%s\n", static_cast<unsigned long long>(unreadableBytes), ranges.c_str());
    }
    if (unreadableBytes)
        return Fail(kFailed, Format("%llu bytes of %s could not be read (hashed as zeros)",
                                    static_cast<unsigned long long>(unreadableBytes), args.Positional()[0].c_str()));
    if (!anyStored) return Fail(kFailed, args.Positional()[0] + " records no hash to compare with");
    if (!match) return Fail(kFailed, "the media's hashes differ from those recorded in " + args.Positional()[0]);
    return kOk;
}

const bool kInfoRegistered = RegisterCommand(
    {"info", "info SOURCE",
     "the container (e01, vhd, vhdx, vmdk, qcow2, split, raw), media size, sector size, partition scheme and "
     "acquisition metadata of an image or device",
     {}, {}, &Info});
const bool kVerifyRegistered = RegisterCommand(
    {"verify", "verify SOURCE",
     "hash the media once (MD5, SHA-1) and compare with the hashes the container recorded; exit 1 when they "
     "differ or none are recorded",
     {}, {}, &Verify});

}  // namespace
}  // namespace delvora::cli
