#include "search/hit_csv.h"

#include "common/codepage.h"
#include "common/text_format.h"

namespace delvora {
namespace {

void AppendText(std::string& out, std::string_view text) {
    out.push_back('"');
    for (char c : EscapeControls(SanitizeUtf8(text))) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
}

}  // namespace

const char* HitCsvHeader() { return "keyword,encoding,sector,offset,byteOffset,filePath,fileOffset,context\r\n"; }

void AppendHitCsv(std::string& out, const HitCsvRow& row) {
    AppendText(out, row.keyword);
    out.push_back(',');
    AppendText(out, row.encoding);
    out += Format(",%llu,%u,%llu,", static_cast<unsigned long long>(row.sector), row.offset,
                  static_cast<unsigned long long>(row.byteOffset));
    AppendText(out, row.filePath);
    out.push_back(',');
    if (row.hasFileOffset) out += std::to_string(row.fileOffset);
    out.push_back(',');
    AppendText(out, row.context);
    out += "\r\n";
}

}  // namespace delvora
