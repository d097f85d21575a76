// Case-file reader over arbitrary bytes: the header and every record must be
// read without touching memory outside the input, and a file that reads
// whole must write back to the same records, and its keyword section too;
// the section of virtual volumes' parameters reads whole or not at all.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "case/case_file.h"
#include "case/case_keywords.h"
#include "case/case_virtual.h"
#include "common/archive.h"

using namespace delvora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ArchiveReader archive(std::span<const uint8_t>(data, size));
    int32_t itemCount = 0;
    uint32_t saveItems = 0;
    bool wrongMagic = false;
    if (!ReadCaseHeader(archive, itemCount, saveItems, wrongMagic)) return 0;

    std::vector<CaseRecord> records;
    // At most itemCount records, and each takes at least eight bytes.
    for (int32_t i = 0; i < itemCount; ++i) {
        CaseRecord record;
        if (!ReadCaseRecord(archive, record)) break;
        records.push_back(std::move(record));
    }
    // The keyword section after the records: bounded by the bytes left, and
    // what reads whole writes back in no more bytes (text is re-encoded).
    const size_t sectionStart = archive.Position();
    std::vector<std::unique_ptr<CaseItem>> keywords;
    if (ReadKeywordSection(archive, keywords)) {
        CaseItem group;
        for (auto& keyword : keywords) group.AddChild(std::move(keyword));
        ArchiveWriter section;
        WriteKeywordSection(section, group);
        if (section.Bytes().size() > archive.Position() - sectionStart) std::abort();
    }
    // Then the typed-in parameters of virtual volumes: every entry whole, or none.
    std::vector<StoredVolumeParams> params;
    if (!ReadVirtualSection(archive, params) && !params.empty()) std::abort();

    // Written again as a case (text re-encoded in GBK) and read back, the
    // records keep their numbers and their count.
    ArchiveWriter writer;
    for (char c : std::string("WSH")) writer.WriteU8(static_cast<uint8_t>(c));
    writer.WriteU32(static_cast<uint32_t>(records.size()));
    writer.WriteU32(saveItems);
    for (const CaseRecord& r : records) {
        writer.WriteString(r.name);
        writer.WriteU8(r.typeId);
        writer.WriteU32(r.startSector);
        writer.WriteU8(r.sourceKind);
        writer.WriteString(r.sourcePath);
    }
    ArchiveReader again(writer.Bytes());
    int32_t count = 0;
    uint32_t flag = 0;
    if (!ReadCaseHeader(again, count, flag, wrongMagic) || count != static_cast<int32_t>(records.size())) std::abort();
    for (const CaseRecord& r : records) {
        CaseRecord back;
        if (!ReadCaseRecord(again, back) || back.typeId != r.typeId || back.startSector != r.startSector ||
            back.sourceKind != r.sourceKind)
            std::abort();
    }
    return 0;
}
