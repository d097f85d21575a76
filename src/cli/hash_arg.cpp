#include "cli/hash_arg.h"

#include "common/text_format.h"
#include "fs/file_tree.h"
#include "recovery/export_item.h"

namespace delvora::cli {

std::string HashDbPath(const Args& args) {
    if (auto path = args.Value("--hash-db")) return *path;
    return DefaultHashSetDbPath();
}

int OpenHashStore(const Args& args, HashSetStore& store) {
    if (!store.Open(HashDbPath(args), false)) return Fail(kFailed, store.Error());
    return kOk;
}

int FileHashingArgs(const Args& args, FileHashing& hashing) {
    hashing.kinds = 0;
    if (auto text = args.Value("--hash"); text && !ParseHashKinds(*text, hashing.kinds))
        return Fail(kUsage, "--hash takes md5, sha1 and sha256: " + *text);
    if (args.Flag("--hash-sets") || args.Flag("--skip-known")) {
        hashing.store = std::make_unique<HashSetStore>();
        if (const int rc = OpenHashStore(args, *hashing.store); rc != kOk) return rc;
        // Every kind a set holds is computed, or a set of SHA-1s would
        // never match a listing of MD5s.
        hashing.kinds |= hashing.store->Kinds();
        if (hashing.kinds == 0) hashing.kinds = kHashSha256;
    }
    return kOk;
}

void FileHashing::Compute(Volume& volume, FileItem& item, Digests& digests, HashMatch& match) const {
    digests = {};
    match = {};
    if (!kinds || item.IsDirectory() || item.childCount > 0) return;
    Hasher hasher(kinds);
    if (HashItemData(volume, item, hasher) != CopyStatus::kDone) return;
    digests = hasher.Finish();
    if (store) match = store->Lookup(digests);
}

std::string FileHashing::Headings() const {
    std::string out;
    for (auto [bit, name] : {std::pair{kHashMd5, "md5"}, {kHashSha1, "sha1"}, {kHashSha256, "sha256"}})
        if (kinds & bit) out += std::string("\t") + name;
    if (store) out += "\thashSet\thashStatus";
    return out;
}

std::string FileHashing::Cells(Volume& volume, FileItem& item) const {
    Digests digests;
    HashMatch match;
    Compute(volume, item, digests, match);
    std::string out;
    for (auto [bit, text] : {std::pair{kHashMd5, &digests.md5}, {kHashSha1, &digests.sha1}, {kHashSha256, &digests.sha256}})
        if (kinds & bit) out += "\t" + *text;
    if (store) out += "\t" + EscapeControls(match.setName) + "\t" + HashStatusText(match.status);
    return out;
}

std::string FileHashing::JsonFields(Volume& volume, FileItem& item) const {
    Digests digests;
    HashMatch match;
    Compute(volume, item, digests, match);
    return HashJsonFields(digests, kinds, store ? &match : nullptr);
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
