#include "fs/file_list_row.h"

#include <charconv>

#include "common/text_format.h"
#include "common/translation.h"
#include "fs/file_tree.h"
#include "fs/volume.h"

namespace delvora {
namespace {

void AppendPadded(std::string& out, unsigned value, int width) {
    char digits[24];
    auto [end, ec] = std::to_chars(digits, digits + sizeof(digits), value);
    (void)ec;
    for (int pad = width - static_cast<int>(end - digits); pad > 0; --pad) out.push_back('0');
    out.append(digits, end);
}

void AppendDate(std::string& out, uint16_t date) {
    date = ValidDosDate(date);
    AppendPadded(out, ((date >> 9) & 0x7F) + 1980, 1);
    out.push_back('-');
    AppendPadded(out, (date >> 5) & 0x0F, 2);
    out.push_back('-');
    AppendPadded(out, date & 0x1F, 2);
}

std::string Number(uint64_t value) {
    char digits[24];
    auto [end, ec] = std::to_chars(digits, digits + sizeof(digits), value);
    (void)ec;
    return std::string(digits, end);
}

}  // namespace

const std::array<std::string_view, kFileListColumns>& FileListHeadings() {
    static const std::array<std::string_view, kFileListColumns> kHeadings{
        TrNoop("FileListRow", "文件名"), TrNoop("FileListRow", "创建时间"), TrNoop("FileListRow", "修改时间"),
        TrNoop("FileListRow", "访问时间"), TrNoop("FileListRow", "逻辑长度"), TrNoop("FileListRow", "物理长度"),
        TrNoop("FileListRow", "开始簇号"), TrNoop("FileListRow", "开始扇区"), TrNoop("FileListRow", "说明"),
        TrNoop("FileListRow", "全路径")};
    return kHeadings;
}

uint32_t OverwrittenClusters(const FileItem& item, Volume* volume) {
    return volume && item.IsDeleted() && !item.IsDirectory() ? volume->CountOverwrittenClusters(const_cast<FileItem*>(&item))
                                                             : 0;
}

std::string AttributeDescription(uint8_t attributes) {
    static const char* const kWords[] = {
        TrNoop("FileListRow", "只读"), TrNoop("FileListRow", "隐藏"), TrNoop("FileListRow", "系统"),
        TrNoop("FileListRow", "卷标"), TrNoop("FileListRow", "子目录"), TrNoop("FileListRow", "存档"),
        TrNoop("FileListRow", "修改2")};
    std::string text;
    for (int bit = 0; bit < 7; ++bit) {
        if (!(attributes & (1u << bit))) continue;
        if (!text.empty()) text.push_back(',');
        text += Tr("FileListRow", kWords[bit]);
    }
    return text;
}

std::string DosDateText(uint16_t date) {
    std::string out;
    AppendDate(out, date);
    return out;
}

std::string DosDateTimeText(uint16_t date, uint16_t time) {
    std::string out;
    out.reserve(20);
    AppendDate(out, date);
    out.push_back(' ');
    time = ValidDosTime(time);
    AppendPadded(out, (time >> 11) & 0x1F, 2);
    out.push_back(':');
    AppendPadded(out, (time >> 5) & 0x3F, 2);
    out.push_back(':');
    AppendPadded(out, (time & 0x1F) * 2, 2);
    return out;
}

std::array<std::string, kFileListColumns> FileListRowTexts(const FileItem& item, Volume* volume,
                                                           const std::string* path) {
    uint64_t allocated = 0, firstSector = 0;
    if (!volume || !volume->GetItemExtent(const_cast<FileItem*>(&item), allocated, firstSector))
        allocated = firstSector = 0;
    std::string description = AttributeDescription(item.attributes);
    // A deleted file read from clusters another item owns now shows someone
    // else's bytes there: the row says so.
    if (const uint32_t owned = OverwrittenClusters(item, volume)) {
        if (!description.empty()) description.push_back(',');
        description += Format(Tr("FileListRow", "%u个簇已被占用"), owned);
    }
    // Sizes and numbers are unsigned: printed as such, never negative.
    return {item.name ? item.name : "",
            DosDateTimeText(item.createDate, item.createTime),
            DosDateTimeText(item.writeDate, item.writeTime),
            DosDateText(item.accessDate),
            Number(item.size),
            Number(allocated),
            Number(item.Address()),
            Number(firstSector),
            description,
            path ? *path : FullPath(item)};
}

std::string FileListJson(const FileItem& item, Volume* volume, const std::string* path) {
    const auto cells = FileListRowTexts(item, volume, path);
    std::string out = "{\"name\":";
    AppendJsonString(out, cells[0]);
    out += ",\"path\":";
    AppendJsonString(out, cells[9]);
    out += ",\"deleted\":";
    out += item.IsDeleted() ? "true" : "false";
    out += ",\"dir\":";
    out += item.IsDirectory() ? "true" : "false";
    out += ",\"found\":";
    out += item.IsFound() ? "true" : "false";
    out += ",\"size\":" + cells[4] + ",\"allocated\":" + cells[5] + ",\"startCluster\":" + cells[6] +
           ",\"startSector\":" + cells[7] + ",\"created\":\"" + cells[1] + "\",\"modified\":\"" + cells[2] +
           "\",\"accessed\":\"" + cells[3] + "\",\"attributes\":" + Number(item.attributes) + ",\"description\":";
    AppendJsonString(out, cells[8]);
    out += ",\"overwrittenClusters\":" + Number(OverwrittenClusters(item, volume));
    // Exact UTC times where the file system keeps them; absent otherwise.
    ItemTimes times;
    if (volume && volume->GetItemTimes(const_cast<FileItem*>(&item), times)) out += UtcTimesJsonFields(times);
    out += '}';
    return out;
}

std::string UtcTimesJsonFields(const ItemTimes& times) {
    std::string out;
    const std::pair<const char*, uint64_t> fields[] = {{"createdUtc", times.created},
                                                       {"modifiedUtc", times.modified},
                                                       {"accessedUtc", times.accessed},
                                                       {"changedUtc", times.changed}};
    for (const auto& [name, ticks] : fields) {
        if (ticks == 0) continue;
        out += Format(",\"%s\":\"", name) + FormatUtcTicks(ticks) + '"';
    }
    return out;
}

}  // namespace delvora
