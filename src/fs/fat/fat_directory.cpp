#include "fs/fat/fat_directory.h"

#include <algorithm>
#include <array>

#include "common/codepage.h"
#include "fs/name_pool.h"

namespace delvora {
namespace {

constexpr size_t kMaxNameBytes = 259;
// 20 long-name entries hold 260 characters, more than a 259-byte name can
// show: further entries could not change the result.
constexpr size_t kMaxLongNameEntries = 20;
constexpr std::array<size_t, 13> kLongNameCharOffsets{1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};

ByteSpan Entry(ByteSpan entries, size_t j) { return Slice(entries, j * kFatEntryBytes, kFatEntryBytes); }

bool IsLongNameEntry(ByteSpan entry) {
    return entry.size() == kFatEntryBytes && entry[11] == kFatLongNameAttr;
}

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string Decode(std::string_view bytes, const std::string& codepage) {
    if (IsAscii(bytes)) return std::string(bytes);
    return ToUtf8(bytes, codepage);
}

void LowerAscii(std::string& text, size_t from, size_t to) {
    for (size_t i = from; i < to && i < text.size(); ++i)
        if (text[i] >= 'A' && text[i] <= 'Z') text[i] = static_cast<char>(text[i] - 'A' + 'a');
}

}  // namespace

std::string FatShortName(ByteSpan entry, const std::string& codepage) {
    if (entry.size() < kFatEntryBytes) return {};
    std::string base(reinterpret_cast<const char*>(entry.data()), 8);
    std::string ext(reinterpret_cast<const char*>(entry.data() + 8), 3);
    if (IsDeletedMark(entry[0])) base[0] = '_';
    else if (entry[0] == 0x05) base[0] = static_cast<char>(0xE5);
    while (!base.empty() && base.back() == ' ') base.pop_back();
    while (!ext.empty() && ext.back() == ' ') ext.pop_back();
    const uint8_t caseFlags = entry[12];
    if (caseFlags & 0x08) LowerAscii(base, 0, base.size());
    if (caseFlags & 0x10) LowerAscii(ext, 0, ext.size());
    // Folders keep their extension too: a folder named V1.0 is not V1.
    std::string raw = base;
    if (entry[8] != ' ') raw += "." + ext;
    return Decode(raw, codepage);
}

std::string FatEntryName(ByteSpan entries, size_t j, const std::string& codepage) {
    // Room for the longest set walked: no allocation per entry.
    std::array<uint16_t, kMaxLongNameEntries * kLongNameCharOffsets.size()> units;
    size_t used = 0;
    size_t walked = 0;
    // Walks back over the long-name entries directly before j; ends at the
    // directory's first entry or after enough entries for the longest name.
    for (size_t k = j; k-- > 0 && walked < kMaxLongNameEntries; ++walked) {
        const ByteSpan entry = Entry(entries, k);
        if (!IsLongNameEntry(entry)) break;
        for (size_t off : kLongNameCharOffsets) units[used++] = Le16(entry, off);
    }
    if (walked > 0) {
        used = static_cast<size_t>(std::find(units.begin(), units.begin() + used, uint16_t{0}) - units.begin());
        // A set that holds no characters would leave the item nameless.
        if (used > 0) {
            std::string name = Utf16ToUtf8(std::span<const uint16_t>(units.data(), used));
            return name.size() > kMaxNameBytes ? CutUtf8(name, kMaxNameBytes) : name;
        }
    }
    std::string name = FatShortName(Entry(entries, j), codepage);
    return name.size() > kMaxNameBytes ? CutUtf8(name, kMaxNameBytes) : name;
}

void ConvertDirectoryEntries(ByteSpan entries, bool folderDeleted, int fatKind, const std::string& codepage,
                             std::vector<FileItem>& out) {
    const size_t count = entries.size() / kFatEntryBytes;
    // One pass over a buffer of known length; skips only move forward.
    for (size_t j = 0; j < count; ++j) {
        const ByteSpan e = Entry(entries, j);
        const uint8_t b0 = e[0];
        const uint8_t attr = e[11];
        if (attr == kFatLongNameAttr) {
            // The first stored entry of a set says how many follow; skip
            // those, but never past an entry that is not a long-name one.
            if (static_cast<int8_t>(b0) >= 0x41) {
                size_t rest = b0 - 0x41u;
                while (rest > 0 && j + 1 < count && IsLongNameEntry(Entry(entries, j + 1))) { ++j; --rest; }
            }
            continue;
        }
        if (b0 == '.') continue;
        if (attr & 0x08) continue;
        if (b0 == 0x00) break;
        FileItem item;
        if (folderDeleted || IsDeletedMark(b0)) item.flags |= item_flags::kDeleted;
        if (attr & 0x10) item.flags |= item_flags::kDirectory;
        item.attributes = attr;
        item.createTime = Le16(e, 14);
        item.createDate = Le16(e, 16);
        item.accessDate = Le16(e, 18);
        item.writeTime = Le16(e, 22);
        item.writeDate = Le16(e, 24);
        item.size = Le32(e, 28);
        item.startCluster = FatEntryCluster(e, fatKind);
        // The creation time's 10-ms units have no field of their own.
        item.link = kFatHundredthsKnown | e[13];
        item.name = NamePool::Global().Add(FatEntryName(entries, j, codepage));
        out.push_back(item);
    }
}

bool CheckDirectoryBuffer(ByteSpan buffer, uint32_t entryCount, uint32_t clusterCount, int fatKind,
                          uint64_t dataBytes, const AnalysisOptions& options) {
    entryCount = static_cast<uint32_t>(std::min<uint64_t>(entryCount, buffer.size() / kFatEntryBytes));
    for (uint32_t j = 0; j < entryCount; ++j) {
        const ByteSpan e = Entry(buffer, j);
        const uint8_t b0 = e[0];
        const uint8_t attr = e[11];
        if (b0 == 0x00) {
            // The end marker: everything from here on must be zero.
            const ByteSpan tail = buffer.subspan(size_t{j} * kFatEntryBytes, size_t{entryCount - j} * kFatEntryBytes);
            return std::all_of(tail.begin(), tail.end(), [](uint8_t c) { return c == 0; });
        }
        if (attr & 0xC0) return false;
        const bool longName = attr == kFatLongNameAttr;
        if (!longName) {
            const uint16_t createTime = Le16(e, 14), createDate = Le16(e, 16), accessDate = Le16(e, 18);
            const uint16_t writeTime = Le16(e, 22), writeDate = Le16(e, 24);
            if (options.ignoreZeroTime && (createTime == 0 || writeTime == 0)) return false;
            if (options.ignoreZeroDate && (accessDate == 0 || createDate == 0 || writeDate == 0)) return false;
            if (accessDate < 512 || createDate < 512 || writeDate < 512) return false;
        }
        const bool directory = (attr & 0x10) != 0;
        if (directory && !longName && !IsDeletedMark(b0) && Le32(e, 28) != 0) return false;
        if (!longName) {
            if (FatEntryCluster(e, fatKind) >= clusterCount) return false;
            for (size_t i = 0; i < 11; ++i) {
                const char c = static_cast<char>(e[i]);
                if (c == '\\' || c == '/' || c == ':' || c == '"' || c == '<' || c == '>' || c == '|') return false;
            }
        }
        if (std::all_of(e.begin() + 1, e.begin() + 17, [b0](uint8_t c) { return c == b0; })) return false;
        if (!longName && !directory) {
            const uint32_t size = Le32(e, 28);
            if (size >= 0x80000000u) return false;
            if (dataBytes < (uint64_t{1} << 32) && size >= dataBytes) return false;
        }
    }
    return true;
}

}  // namespace delvora
