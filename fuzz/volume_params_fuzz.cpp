// A virtual volume's parameters over the fuzzer's bytes: the first byte
// picks the type and the source's size past the start; the next 8,192 bytes
// are the pre-read head (shorter when the input is); what follows are the
// examiner's row texts, one a line. The blocks are filled, shown as rows,
// edited, checked and completed as the wizard and --param do.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "disk/volume_params.h"

using namespace delvora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const auto type = static_cast<VirtualType>(data[0] % kVirtualTypeCount);
    const uint64_t sectorsPastStart = uint64_t{data[0]} << (data[0] & 0x3F);
    const size_t headBytes = std::min<size_t>(size - 1, kPreReadBytes);
    VolumeParamBlocks blocks;
    FillParamBlocks(ByteSpan(data + 1, headBytes), blocks);

    const std::vector<ParamRow> rows = ParamRows(type, blocks);
    std::vector<std::string> values;
    for (const ParamRow& row : rows) values.push_back(row.value);
    // The edits: line k replaces row k's text; extra lines are ignored.
    const std::string edits(reinterpret_cast<const char*>(data + 1 + headBytes), size - 1 - headBytes);
    size_t row = 0;
    for (size_t at = 0; at < edits.size() && row < values.size(); ++row) {
        const size_t end = std::min(edits.find('\n', at), edits.size());
        values[row] = edits.substr(at, end - at);
        at = end + 1;
    }
    const std::string failed = ReadBackRows(type, values, blocks);
    if (failed.empty()) FillMissingSize(type, sectorsPastStart, blocks);
    if (ParamRows(type, blocks).size() != rows.size()) __builtin_trap();
    return 0;
}
