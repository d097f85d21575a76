#include "cli/hash_arg.h"

#include "common/text_format.h"

namespace delvora::cli {

std::string HashDbPath(const Args& args) {
    if (auto path = args.Value("--hash-db")) return *path;
    return DefaultHashSetDbPath();
}

int OpenHashStore(const Args& args, HashSetStore& store) {
    if (!store.Open(HashDbPath(args), false)) return Fail(kFailed, store.Error());
    return kOk;
}

std::string HashJsonFields(const Digests& digests, unsigned kinds, const HashMatch* match) {
    std::string out;
    const std::pair<unsigned, const std::string*> fields[] = {
        {kHashMd5, &digests.md5}, {kHashSha1, &digests.sha1}, {kHashSha256, &digests.sha256}};
    const char* names[] = {"md5", "sha1", "sha256"};
    for (size_t i = 0; i < 3; ++i) {
        if (!(kinds & fields[i].first)) continue;
        out += Format(",\"%s\":\"", names[i]) + *fields[i].second + '"';
    }
    if (match) {
        out += ",\"hashSet\":";
        AppendJsonString(out, match->setName);
        out += Format(",\"hashStatus\":\"%s\"", HashStatusText(match->status));
    }
    return out;
}

}  // namespace delvora::cli
