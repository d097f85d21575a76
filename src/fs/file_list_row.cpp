#include "fs/file_list_row.h"

#include <charconv>

#include "common/control_escape.h"
#include "common/text_format.h"
#include "common/translation.h"
#include "fs/file_tree.h"
#include "fs/volume.h"

namespace delvora {
namespace {

/// Two decimal digits of value (below 100) at text.
void PutTwoDigits(char* text, unsigned value) {
    text[0] = static_cast<char>('0' + value / 10 % 10);
    text[1] = static_cast<char>('0' + value % 10);
}

void AppendDate(std::string& out, uint16_t date) {
    date = ValidDosDate(date);
    // The year field spans 1980..2107: always four digits.
    const unsigned year = ((date >> 9) & 0x7F) + 1980;
    char text[10];
    PutTwoDigits(text, year / 100);
    PutTwoDigits(text + 2, year % 100);
    text[4] = '-';
    PutTwoDigits(text + 5, (date >> 5) & 0x0F);
    text[7] = '-';
    PutTwoDigits(text + 8, date & 0x1F);
    out.append(text, sizeof(text));
}

void AppendDateTime(std::string& out, uint16_t date, uint16_t time) {
    AppendDate(out, date);
    time = ValidDosTime(time);
    char text[9];
    text[0] = ' ';
    PutTwoDigits(text + 1, (time >> 11) & 0x1F);
    text[3] = ':';
    PutTwoDigits(text + 4, (time >> 5) & 0x3F);
    text[6] = ':';
    PutTwoDigits(text + 7, (time & 0x1F) * 2);
    out.append(text, sizeof(text));
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
    AppendDateTime(out, date, time);
    return out;
}

namespace {

/// Hands the ten cells of a row to cell(text) in order. Texts are built in
/// one scratch string, so a caller that copies each cell out at once pays no
/// allocation per cell.
template <class Cell>
void ForEachCell(const FileItem& item, Volume* volume, std::string_view path, Cell&& cell) {
    uint64_t allocated = 0, firstSector = 0;
    if (!volume || !volume->GetItemExtent(const_cast<FileItem*>(&item), allocated, firstSector))
        allocated = firstSector = 0;
    char digits[24];
    const auto number = [&](uint64_t value) {
        auto [end, ec] = std::to_chars(digits, digits + sizeof(digits), value);
        (void)ec;
        return std::string_view(digits, static_cast<size_t>(end - digits));
    };
    std::string scratch;
    scratch.reserve(32);
    cell(std::string_view(item.name ? item.name : ""));
    AppendDateTime(scratch, item.createDate, item.createTime);
    cell(std::string_view(scratch));
    scratch.clear();
    AppendDateTime(scratch, item.writeDate, item.writeTime);
    cell(std::string_view(scratch));
    scratch.clear();
    AppendDate(scratch, item.accessDate);
    cell(std::string_view(scratch));
    // Sizes and numbers are unsigned: printed as such, never negative.
    cell(number(item.size));
    cell(number(allocated));
    cell(number(item.Address()));
    cell(number(firstSector));
    scratch = AttributeDescription(item.attributes);
    // A deleted file read from clusters another item owns now shows someone
    // else's bytes there: the row says so.
    if (const uint32_t owned = OverwrittenClusters(item, volume)) {
        if (!scratch.empty()) scratch.push_back(',');
        scratch += Format(Tr("FileListRow", "%u个簇已被占用"), owned);
    }
    cell(std::string_view(scratch));
    cell(path);
}

}  // namespace

std::array<std::string, kFileListColumns> FileListRowTexts(const FileItem& item, Volume* volume,
                                                           const std::string* path) {
    std::array<std::string, kFileListColumns> cells;
    size_t i = 0;
    const std::string computed = path ? std::string() : FullPath(item);
    ForEachCell(item, volume, path ? std::string_view(*path) : std::string_view(computed),
                [&](std::string_view text) { cells[i++] = text; });
    return cells;
}

void AppendFileListRow(std::string& out, const FileItem& item, Volume* volume, std::string_view path) {
    size_t column = 0;
    ForEachCell(item, volume, path, [&](std::string_view text) {
        if (column > 0) out.push_back('\t');
        // Only the name and the path come from the medium; the other cells
        // are digits and fixed words.
        if (column == 0 || column == kFileListColumns - 1) AppendEscapedControls(out, text);
        else out.append(text);
        ++column;
    });
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
