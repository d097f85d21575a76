#include "case/case_results.h"

#include <cstring>
#include <cstdio>
#include <map>
#include <new>

#include "case/case_workspace.h"
#include "case/data_item.h"
#include "common/translation.h"
#include "fs/file_tree.h"
#include "common/text_format.h"
#include "fs/volume.h"

namespace delvora {
namespace {

constexpr uint8_t kTag[4] = {'S', 'R', 'H', 1};
// A text of a hit or folder: its length, then UTF-8 bytes.
constexpr uint32_t kTextLimit = 64 * 1024;
// The fewest bytes a hit takes: five empty texts' lengths and the numbers.
constexpr size_t kMinHitBytes = 3 * 4 + 4 + 4 + 8 + 4 + 8;
constexpr uint32_t kNoItem = UINT32_MAX;

void WriteU64(ArchiveWriter& archive, uint64_t v) {
    archive.WriteU32(static_cast<uint32_t>(v));
    archive.WriteU32(static_cast<uint32_t>(v >> 32));
}

bool ReadU64(ArchiveReader& archive, uint64_t& v) {
    uint32_t low = 0, high = 0;
    if (!archive.ReadU32(low) || !archive.ReadU32(high)) return false;
    v = static_cast<uint64_t>(high) << 32 | low;
    return true;
}

void WriteText(ArchiveWriter& archive, const std::string& text) {
    const std::string_view kept = std::string_view(text).substr(0, kTextLimit);
    archive.WriteU32(static_cast<uint32_t>(kept.size()));
    archive.WriteBytes({reinterpret_cast<const uint8_t*>(kept.data()), kept.size()});
}

bool ReadText(ArchiveReader& archive, std::string& text) {
    uint32_t length = 0;
    if (!archive.ReadU32(length) || length > kTextLimit || length > archive.Remaining()) return false;
    text.assign(length, '\0');
    return archive.ReadBytes({reinterpret_cast<uint8_t*>(text.data()), length});
}

bool ReadHit(ArchiveReader& archive, StoredHit& hit) {
    return ReadText(archive, hit.hitText) && archive.ReadU32(hit.itemIndex) && archive.ReadU32(hit.volumeIndex) &&
           ReadU64(archive, hit.position) && archive.ReadU32(hit.offset) && ReadU64(archive, hit.byteOffset) &&
           ReadText(archive, hit.encoding) && ReadText(archive, hit.filePath);
}

}  // namespace

void WriteResultsSection(ArchiveWriter& archive, const CaseWorkspace& workspace) {
    const CaseItem* group = const_cast<CaseWorkspace&>(workspace).Root().FindChild(kSearchGroupName);
    if (!group || group->children.empty()) return;
    // Each volume by its item's record and its place on the item.
    std::map<const Volume*, std::pair<uint32_t, uint32_t>> places;
    for (uint32_t i = 0; i < workspace.Items().size(); ++i)
        for (uint32_t v = 0; v < workspace.Items()[i]->volumes.size(); ++v)
            places[workspace.Items()[i]->volumes[v].get()] = {i, v};
    for (uint8_t b : kTag) archive.WriteU8(b);
    archive.WriteU32(static_cast<uint32_t>(group->children.size()));
    for (const auto& folder : group->children) {
        WriteText(archive, folder->name);
        archive.WriteU32(folder->number);
        WriteText(archive, folder->text);
        archive.WriteU32(static_cast<uint32_t>(folder->children.size()));
        for (const auto& hit : folder->children) {
            const auto place = places.find(hit->hitFile.GetVolume());
            WriteText(archive, hit->hitText);
            archive.WriteU32(place == places.end() ? kNoItem : place->second.first);
            archive.WriteU32(place == places.end() ? kNoItem : place->second.second);
            WriteU64(archive, hit->position);
            archive.WriteU32(hit->offset);
            WriteU64(archive, hit->byteOffset);
            WriteText(archive, hit->encoding);
            WriteText(archive, hit->hitFile.Item() ? FullPath(*hit->hitFile.Item()) : hit->filePath);
        }
    }
}

bool ReadResultsSection(ArchiveReader& archive, std::vector<StoredResultFolder>& out, std::string& error) {
    out.clear();
    error.clear();
    uint8_t tag[4] = {};
    if (archive.Remaining() < sizeof tag) return false;
    ArchiveReader peek = archive;
    if (!peek.ReadBytes(tag) || std::memcmp(tag, kTag, sizeof tag) != 0) return false;
    archive = peek;
    const char* kBroken = Tr("CaseResults", "案件文件中的搜索结果不完整, 已略去");
    try {
        uint32_t folders = 0;
        // A folder takes at least 16 bytes: a count that the file cannot hold is refused.
        if (!archive.ReadU32(folders) || folders > archive.Remaining() / 16) {
            error = kBroken;
            return false;
        }
        uint64_t total = 0;
        for (uint32_t f = 0; f < folders; ++f) {
            StoredResultFolder folder;
            uint32_t hits = 0;
            if (!ReadText(archive, folder.name) || !archive.ReadU32(folder.type) || !ReadText(archive, folder.text) ||
                !archive.ReadU32(hits) || hits > archive.Remaining() / kMinHitBytes) {
                error = kBroken;
                out.clear();
                return false;
            }
            total += hits;
            if (total > kStoredHitLimit) {
                error = Format(Tr("CaseResults", "案件文件中的搜索结果超过 %u 个, 已略去"), kStoredHitLimit);
                out.clear();
                return false;
            }
            folder.hits.resize(hits);
            for (StoredHit& hit : folder.hits)
                if (!ReadHit(archive, hit)) {
                    error = kBroken;
                    out.clear();
                    return false;
                }
            out.push_back(std::move(folder));
        }
        return true;
    } catch (const std::bad_alloc&) {
        out.clear();
        error = kBroken;
        return false;
    }
}

void RestoreResults(CaseWorkspace& workspace, std::vector<StoredResultFolder> folders, size_t firstItem) {
    CaseItem* group = workspace.Root().FindChild(kSearchGroupName);
    if (!group) return;
    // Paths of the files of each volume that hits name, found in one walk per volume.
    std::map<Volume*, std::map<std::string, FileItem*>> files;
    for (const StoredResultFolder& folder : folders)
        for (const StoredHit& hit : folder.hits) {
            const size_t item = firstItem + hit.itemIndex;
            if (hit.itemIndex == kNoItem || item >= workspace.Items().size() || hit.filePath.empty()) continue;
            const auto& volumes = workspace.Items()[item]->volumes;
            if (hit.volumeIndex < volumes.size()) files[volumes[hit.volumeIndex].get()][hit.filePath] = nullptr;
        }
    for (auto& [volume, paths] : files) {
        auto visit = [&](FileItem& record) {
            auto it = paths.find(FullPath(record));
            if (it != paths.end() && !it->second) it->second = &record;
            return true;
        };
        if (volume->RootItem()) ForEachBelow(*volume->RootItem(), visit);
        if (volume->RecycleItem()) ForEachBelow(*volume->RecycleItem(), visit);
    }
    for (StoredResultFolder& stored : folders) {
        auto folder = std::make_unique<CaseItem>(stored.name, node_kinds::kSearchFolder);
        folder->number = stored.type;
        folder->text = stored.text;
        folder->SetImages(6, 7);
        folder->children.reserve(stored.hits.size());
        for (StoredHit& hit : stored.hits) {
            auto item = std::make_unique<CaseItem>(std::string(), node_kinds::kSearchHit);
            const size_t index = firstItem + hit.itemIndex;
            if (hit.itemIndex != kNoItem && index < workspace.Items().size() &&
                hit.volumeIndex < workspace.Items()[index]->volumes.size()) {
                Volume* volume = workspace.Items()[index]->volumes[hit.volumeIndex].get();
                item->hitFile = ItemRef(*volume, hit.filePath.empty() ? nullptr : files[volume][hit.filePath]);
            }
            item->hitText = std::move(hit.hitText);
            item->position = hit.position;
            item->offset = hit.offset;
            item->byteOffset = hit.byteOffset;
            item->encoding = std::move(hit.encoding);
            item->filePath = std::move(hit.filePath);
            item->name = item->hitText;
            folder->children.push_back(std::move(item));
        }
        for (auto it = group->children.begin(); it != group->children.end(); ++it)
            if ((*it)->name == folder->name) {
                group->children.erase(it);
                break;
            }
        group->AddChild(std::move(folder));
    }
}

}  // namespace delvora
