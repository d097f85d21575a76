// hashset: the examiner's hash sets — import a set from a file, list the
// sets, remove one.
#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "cli/hash_arg.h"
#include "common/text_format.h"
#include "hashset/hash_set_import.h"
#include "hashset/hash_set_store.h"

namespace delvora::cli {
namespace {

constexpr const char* kUsageText =
    "hashset import NAME FILE --known|--notable | hashset list | hashset remove NAME  [--hash-db DB]";

std::string KindsText(unsigned kinds) {
    std::string out;
    for (auto [bit, name] : {std::pair{kHashMd5, "md5"}, {kHashSha1, "sha1"}, {kHashSha256, "sha256"}}) {
        if (!(kinds & bit)) continue;
        if (!out.empty()) out += ',';
        out += name;
    }
    return out;
}

int Import(Env& env, const Args& args) {
    const auto& pos = args.Positional();
    const bool known = args.Flag("--known"), notable = args.Flag("--notable");
    if (pos.size() != 3 || known == notable)
        return Fail(kUsage, "usage: delvora-cli hashset import NAME FILE --known|--notable");
    HashSetStore store;
    if (!store.Open(HashDbPath(args), true)) return Fail(kFailed, store.Error());
    HashImportReport report;
    std::string error;
    if (!ImportHashSet(store, pos[1], notable ? HashSetStatus::kNotable : HashSetStatus::kKnown, pos[2], report,
                       error))
        return Fail(kFailed, error);
    const char* status = notable ? "notable" : "known";
    if (env.json) {
        std::printf("{\"name\":%s,\"status\":\"%s\",\"format\":\"%s\",\"rows\":%llu,\"digests\":%llu,\"added\":%llu,"
                    "\"malformed\":%llu,\"badLength\":%llu,\"tooLong\":%llu}\n",
                    JsonString(pos[1]).c_str(), status, HashSourceFormatName(report.format),
                    static_cast<unsigned long long>(report.rows), static_cast<unsigned long long>(report.digests),
                    static_cast<unsigned long long>(report.added), static_cast<unsigned long long>(report.malformed),
                    static_cast<unsigned long long>(report.badLength),
                    static_cast<unsigned long long>(report.tooLong));
    } else {
        std::printf("imported %llu digests into %s (%s, %s); %llu rows, %llu skipped (%llu malformed, %llu of a wrong "
                    "length, %llu too long)\n",
                    static_cast<unsigned long long>(report.added), EscapeControls(pos[1]).c_str(), status,
                    HashSourceFormatName(report.format), static_cast<unsigned long long>(report.rows),
                    static_cast<unsigned long long>(report.Skipped()),
                    static_cast<unsigned long long>(report.malformed),
                    static_cast<unsigned long long>(report.badLength),
                    static_cast<unsigned long long>(report.tooLong));
    }
    return kOk;
}

int List(Env& env, const Args& args) {
    if (args.Positional().size() != 1) return Fail(kUsage, "usage: delvora-cli hashset list");
    HashSetStore store;
    std::vector<HashSetInfo> sets;
    // No database yet means no sets, not a failure.
    if (store.Open(HashDbPath(args), false)) {
        if (!store.List(sets)) return Fail(kFailed, store.Error());
    } else if (!store.Error().starts_with("no hash-set database")) {
        return Fail(kFailed, store.Error());
    }
    if (!env.json) std::printf("name\tstatus\tcount\tkinds\timported\tsource\n");
    for (const auto& set : sets) {
        if (env.json)
            std::printf("{\"name\":%s,\"status\":\"%s\",\"count\":%llu,\"kinds\":\"%s\",\"imported\":%s,\"source\":%s}\n",
                        JsonString(set.name).c_str(), HashStatusText(set.status),
                        static_cast<unsigned long long>(set.count), KindsText(set.kinds).c_str(),
                        JsonString(set.imported).c_str(), JsonString(set.source).c_str());
        else
            std::printf("%s\t%s\t%llu\t%s\t%s\t%s\n", EscapeControls(set.name).c_str(), HashStatusText(set.status),
                        static_cast<unsigned long long>(set.count), KindsText(set.kinds).c_str(),
                        set.imported.c_str(), EscapeControls(set.source).c_str());
    }
    return kOk;
}

int Remove(Env& env, const Args& args) {
    const auto& pos = args.Positional();
    if (pos.size() != 2) return Fail(kUsage, "usage: delvora-cli hashset remove NAME");
    HashSetStore store;
    if (!store.Open(HashDbPath(args), false)) return Fail(kFailed, store.Error());
    if (!store.Remove(pos[1])) return Fail(kFailed, store.Error());
    if (env.json) std::printf("{\"removed\":%s}\n", JsonString(pos[1]).c_str());
    else std::printf("removed %s\n", EscapeControls(pos[1]).c_str());
    return kOk;
}

int HashSet(Env& env, const Args& args) {
    const auto& pos = args.Positional();
    const std::string verb = pos.empty() ? "" : pos[0];
    if (verb == "import") return Import(env, args);
    if (verb == "list") return List(env, args);
    if (verb == "remove") return Remove(env, args);
    return Fail(kUsage, std::string("usage: delvora-cli ") + kUsageText);
}

const bool kRegistered = RegisterCommand({"hashset", kUsageText,
                                          "keep hash sets of known and notable files (NSRL RDS, NSRL CSV, hashdeep, "
                                          "plain lists)",
                                          {"--hash-db"}, {"--known", "--notable"}, &HashSet});

}  // namespace
}  // namespace delvora::cli
