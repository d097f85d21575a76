#include "common/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace delvora {
namespace {

std::string Digest(std::string_view text, size_t piece) {
    Sha256 sha;
    for (size_t pos = 0; pos < text.size(); pos += piece) {
        const auto part = text.substr(pos, piece);
        sha.Update({reinterpret_cast<const uint8_t*>(part.data()), part.size()});
    }
    return sha.FinishHex();
}

TEST(Sha256, KnownDigestsWhateverThePiecesFed) {
    const std::string million(1000000, 'a');
    const std::pair<std::string, std::string> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {million, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    // Pieces of 1, 63, 64, 65 bytes and the whole cross every block-boundary case.
    for (const auto& [text, hex] : cases)
        for (size_t piece : {size_t(1), size_t(63), size_t(64), size_t(65), size_t(1) << 30})
            EXPECT_EQ(Digest(text, piece), hex) << text.size() << " in pieces of " << piece;
}

TEST(Sha256, PaddingLengthsAroundTheLastBlock) {
    // 55 bytes fit one padded block, 56 need a second.
    EXPECT_EQ(Digest(std::string(55, 'a'), 7), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
    EXPECT_EQ(Digest(std::string(56, 'a'), 7), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
}

TEST(Sha256, FinishStartsAfresh) {
    Sha256 sha;
    const uint8_t x = 'x';
    sha.Update({&x, 1});
    sha.Finish();
    EXPECT_EQ(sha.FinishHex(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

}  // namespace
}  // namespace delvora
