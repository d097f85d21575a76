// Feeds the fuzzer's bytes to the text view's decoding: the encoding sniffed
// from them, then rows walked character by character and decoded, from a
// start the first byte picks (a line may start mid-character).
#include <cstdint>

#include "common/bytes.h"
#include "common/text_encoding.h"

using namespace delvora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const ByteSpan bytes(data + 1, size - 1);
    const TextEncoding encoding = SniffTextEncoding(bytes, data[0] & 1).value_or(TextEncoding::kGbk);
    size_t at = bytes.empty() ? 0 : data[0] % bytes.size();
    // Every character moves at least one byte on.
    while (at < bytes.size()) {
        const size_t length = TextCharLength(bytes, at, encoding);
        if (length == 0 || length > 4 || at + length > bytes.size()) __builtin_trap();
        (void)IsLineFeedAt(bytes, at, encoding);
        (void)DecodeText(bytes.subspan(at, length), encoding);
        at += length;
    }
    return 0;
}
