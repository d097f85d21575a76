// Hash-list lines: any bytes, split at line breaks and fed to one parser,
// must give digests of a kind's exact length or a skip, never a crash. The
// first byte picks the layout the first line sets up, so the column readers
// are reached too.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/hash.h"
#include "hashset/hash_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace delvora;
    if (size == 0) return 0;
    static constexpr std::string_view kHeaders[] = {
        "", "%%%% HASHDEEP-1.0\n%%%% size,md5,sha1,sha256,filename",
        "\"SHA-1\",\"MD5\",\"CRC32\",\"FileName\",\"FileSize\",\"ProductCode\",\"OpSystemCode\",\"SpecialCode\""};
    HashLineParser parser;
    HashValue value;
    auto feed = [&](std::string_view text) {
        // Each pass takes one line off the front, so the loop ends.
        while (!text.empty()) {
            const size_t nl = text.find('\n');
            const std::string_view line = text.substr(0, nl);
            if (parser.Feed(line, value) == LineResult::kHash &&
                value.length != (value.kind == kHashSha256 ? 32 : value.kind == kHashMd5 ? 16 : 20))
                __builtin_trap();
            text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        }
    };
    feed(kHeaders[data[0] % 3]);
    feed({reinterpret_cast<const char*>(data + 1), size - 1});
    return 0;
}
