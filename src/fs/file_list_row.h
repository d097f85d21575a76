#pragma once
// The texts of one row of the file list: ten columns for an item of a
// volume, the same wherever files are listed (views, reports, the command
// line), and the JSON object of the command line's listing.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "fs/file_item.h"

namespace delvora {

class Volume;
struct ItemTimes;

inline constexpr size_t kFileListColumns = 10;

/// Column headings, in order.
const std::array<std::string_view, kFileListColumns>& FileListHeadings();

/// Attribute words in bit order, joined by commas ("只读,存档"); empty for 0.
std::string AttributeDescription(uint8_t attributes);
/// Clusters of a deleted file that another item owns now (0 for the rest).
uint32_t OverwrittenClusters(const FileItem& item, Volume* volume);

/// "%d-%02d-%02d %02d:%02d:%02d" of a DOS date and time / "%d-%02d-%02d" of a date.
std::string DosDateTimeText(uint16_t date, uint16_t time);
std::string DosDateText(uint16_t date);

/// The ten cell texts of an item. volume may be null (extent cells are then
/// 0). The start sector is the volume's own sector (BytesPerSector()
/// bytes each) counted from the volume's first sector. path: the full-path text when the caller has it, else computed.
std::array<std::string, kFileListColumns> FileListRowTexts(const FileItem& item, Volume* volume,
                                                           const std::string* path = nullptr);
/// The same cells appended to out, joined by tabs, each with its control
/// bytes escaped (EscapeControls): the command line's row, without a line
/// break.
void AppendFileListRow(std::string& out, const FileItem& item, Volume* volume, std::string_view path);

/// The exact UTC times as ",\"createdUtc\":\"…\"" fields (ISO 8601), absent
/// ones left out; the form ls --json and timeline --json share.
std::string UtcTimesJsonFields(const ItemTimes& times);

/// One JSON object (no line break) with the row's fields under stable names.
std::string FileListJson(const FileItem& item, Volume* volume, const std::string* path = nullptr);

}  // namespace delvora
