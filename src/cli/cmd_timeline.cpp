// timeline: every item's times. Text and CSV rows, JSON objects, or The
// Sleuth Kit's body format (MD5|name|inode|mode|UID|GID|size|atime|mtime|
// ctime|crtime, Unix seconds) that mactime -b and other time-line tools read.
#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "cli/item_arg.h"
#include "cli/volume_arg.h"
#include "common/text_format.h"
#include "fs/file_list_row.h"
#include "fs/volume.h"

namespace delvora::cli {
namespace {

enum class Form { Text, Csv, Json, Body };

/// Unix seconds of UTC ticks (0 stays 0: no such time).
long long UnixSeconds(uint64_t ticks) {
    return ticks == 0 ? 0 : static_cast<long long>(ticks / 10000000) - 11644473600LL;
}

/// The item's times in Unix seconds: exact ones from the medium, else the
/// tree's DOS local times read in the host's zone.
struct UnixTimes {
    long long created = 0, modified = 0, accessed = 0, changed = 0;
};
UnixTimes TimesOf(const FileItem& item, const ItemTimes* exact, DosLocalTimeCache& cache) {
    UnixTimes t;
    if (exact) {
        t = {UnixSeconds(exact->created), UnixSeconds(exact->modified), UnixSeconds(exact->accessed),
             UnixSeconds(exact->changed)};
        return t;
    }
    int64_t s = 0;
    if (cache.ToUnix(item.createDate, item.createTime, s)) t.created = s;
    if (cache.ToUnix(item.writeDate, item.writeTime, s)) t.modified = s;
    if (cache.ToUnix(item.accessDate, 0, s)) t.accessed = s;
    return t;
}

/// A body-file name field: '|' would split the line and a line break would
/// end it, so both are escaped as control characters are.
std::string BodyName(const std::string& path, bool deleted) {
    std::string out;
    for (char c : path) {
        if (c == '|') out += "\\x7c";
        else out += c;
    }
    out = EscapeControls(out);
    if (deleted) out += " (deleted)";
    return out;
}

/// A CSV field in quotes, quotes doubled.
std::string CsvField(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

int Timeline(Env& env, const Args& args) {
    if (args.Positional().size() != 1) return Fail(kUsage, "timeline takes one SOURCE");
    const int forms = args.Flag("--bodyfile") + args.Flag("--csv") + env.json;
    if (forms > 1) return Fail(kUsage, "give one of --bodyfile, --csv, --json");
    const Form form = args.Flag("--bodyfile") ? Form::Body : args.Flag("--csv") ? Form::Csv : env.json ? Form::Json : Form::Text;
    OpenedVolume opened;
    if (const int rc = OpenVolumeArg(env, args, opened); rc != kOk) return rc;
    Volume& volume = *opened.volume;
    // Native numbers where the file system has them (MFT record, inode);
    // FAT entries have none, so their place in the listing stands in.
    const bool nativeNumbers = volume.FileSystemKind() == kNtfs || volume.FileSystemKind() == kExt2;

    std::string out;
    out.reserve(1 << 20);
    bool written = true;
    auto flush = [&] {
        written = written && std::fwrite(out.data(), 1, out.size(), stdout) == out.size();
        out.clear();
    };
    if (form == Form::Text)
        out += "id\tcreated\tmodified\taccessed\tpath\n";
    else if (form == Form::Csv)
        out += "id,path,deleted,dir,size,created,modified,accessed,createdUtc,modifiedUtc,accessedUtc,changedUtc\n";
    DosLocalTimeCache cache;
    const char separator = form == Form::Body ? '/' : '\\';
    WalkNumbered(
        *volume.RootItem(),
        [&](FileItem& item, uint64_t id, const std::string& path) {
            ItemTimes exact;
            const bool haveExact = volume.GetItemTimes(&item, exact);
            switch (form) {
                case Form::Body: {
                    const UnixTimes t = TimesOf(item, haveExact ? &exact : nullptr, cache);
                    // A FAT folder's entry keeps no size: it counts the bytes
                    // of its clusters, as fls does. An NTFS folder's index
                    // may lie in its record, which holds no cluster of it.
                    const int kind = volume.FileSystemKind();
                    const bool fat = kind >= kFat12 && kind <= kFat32;
                    uint64_t size = item.size, allocated = 0, valid = 0;
                    if (fat && item.IsDirectory() && size == 0 && volume.GetItemSizes(&item, allocated, valid))
                        size = allocated;
                    const bool readOnly = item.attributes & item_attributes::kReadOnly;
                    const char* mode = item.IsDirectory() ? (readOnly ? "d/dr-xr-xr-x" : "d/drwxrwxrwx")
                                                          : (readOnly ? "r/rr-xr-xr-x" : "r/rrwxrwxrwx");
                    out += "0|" + BodyName(path, item.IsDeleted()) +
                           Format("|%llu|%s|0|0|%llu|%lld|%lld|%lld|%lld\n",
                                  static_cast<unsigned long long>(nativeNumbers ? item.startCluster : id), mode,
                                  static_cast<unsigned long long>(size), t.accessed, t.modified, t.changed,
                                  t.created);
                    break;
                }
                case Form::Json:
                    out += Format("{\"id\":%llu,\"path\":", static_cast<unsigned long long>(id));
                    AppendJsonString(out, path);
                    out += Format(",\"deleted\":%s,\"dir\":%s,\"size\":%llu,\"created\":\"%s\",\"modified\":\"%s\","
                                  "\"accessed\":\"%s\"",
                                  item.IsDeleted() ? "true" : "false", item.IsDirectory() ? "true" : "false",
                                  static_cast<unsigned long long>(item.size),
                                  DosDateTimeText(item.createDate, item.createTime).c_str(),
                                  DosDateTimeText(item.writeDate, item.writeTime).c_str(),
                                  DosDateText(item.accessDate).c_str());
                    if (haveExact) out += UtcTimesJsonFields(exact);
                    out += "}\n";
                    break;
                case Form::Csv: {
                    out += std::to_string(id) + ',' + CsvField(EscapeControls(path)) + Format(",%d,%d,%llu,", item.IsDeleted(),
                                                                             item.IsDirectory(),
                                                                             static_cast<unsigned long long>(item.size));
                    out += DosDateTimeText(item.createDate, item.createTime) + ',' +
                           DosDateTimeText(item.writeDate, item.writeTime) + ',' + DosDateText(item.accessDate);
                    for (uint64_t ticks : {exact.created, exact.modified, exact.accessed, exact.changed})
                        out += ',' + (haveExact && ticks ? FormatUtcTicks(ticks) : std::string());
                    out += '\n';
                    break;
                }
                case Form::Text:
                    out += std::to_string(id) + '\t' + DosDateTimeText(item.createDate, item.createTime) + '\t' +
                           DosDateTimeText(item.writeDate, item.writeTime) + '\t' + DosDateText(item.accessDate) +
                           '\t' + EscapeControls(path) + '\n';
                    break;
            }
            if (out.size() > (1u << 20)) flush();
            return true;
        },
        separator);
    flush();
    return written && std::fflush(stdout) == 0 ? kOk : Fail(kFailed, "writing failed");
}

const bool kRegistered = RegisterCommand(
    {"timeline", "timeline SOURCE [-p N | --start S --type T] [--bodyfile | --csv | --json]",
     "print every item's created, modified and accessed times; --bodyfile writes the body format mactime -b reads",
     kVolumeOptions,
     {"--bodyfile", "--csv"},
     &Timeline});

}  // namespace
}  // namespace delvora::cli
