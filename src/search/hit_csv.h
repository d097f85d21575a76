#pragma once
// Keyword hits as comma-separated values for a spreadsheet or a report:
// UTF-8, every text quoted, control characters escaped so that a hit's
// context from the medium can neither split a row nor a cell.
#include <cstdint>
#include <string>
#include <string_view>

namespace delvora {

struct HitCsvRow {
    std::string_view keyword;
    std::string_view encoding;
    uint64_t sector = 0;      // 512-byte sector of the hit's first byte, from the volume's (or source's) start
    uint32_t offset = 0;      // the byte in that sector
    uint64_t byteOffset = 0;  // on the source
    std::string_view filePath;
    bool hasFileOffset = false;
    uint64_t fileOffset = 0;
    std::string_view context;
};

/// The header line (CR LF ended).
const char* HitCsvHeader();

/// Appends one row (CR LF ended).
void AppendHitCsv(std::string& out, const HitCsvRow& row);

}  // namespace delvora
