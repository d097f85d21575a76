#include "common/hash.h"

#include <gtest/gtest.h>

#include <string>

namespace delvora {
namespace {

Digests Digest(std::string_view text, size_t piece, unsigned kinds = kHashSha256 | kHashMd5 | kHashSha1) {
    Hasher hasher(kinds);
    for (size_t pos = 0; pos < text.size(); pos += piece) {
        const auto part = text.substr(pos, piece);
        hasher.Update({reinterpret_cast<const uint8_t*>(part.data()), part.size()});
    }
    return hasher.Finish();
}

TEST(Hasher, KnownDigestsWhateverThePiecesFed) {
    const std::string million(1000000, 'a');
    const struct {
        std::string text, sha256, md5, sha1;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", "d41d8cd98f00b204e9800998ecf8427e",
         "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", "900150983cd24fb0d6963f7d28e17f72",
         "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1", "8215ef0796a20bcaaae116d3876c664a",
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {million, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0", "7707d6ae4e027c70eea2a935c2296f21",
         "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    };
    // Pieces of 1, 63, 64, 65 bytes and the whole cross every block-boundary case.
    for (const auto& c : cases) {
        for (size_t piece : {size_t(1), size_t(63), size_t(64), size_t(65), size_t(1) << 30}) {
            const Digests d = Digest(c.text, piece);
            EXPECT_EQ(d.sha256, c.sha256) << c.text.size() << " in pieces of " << piece;
            EXPECT_EQ(d.md5, c.md5) << c.text.size() << " in pieces of " << piece;
            EXPECT_EQ(d.sha1, c.sha1) << c.text.size() << " in pieces of " << piece;
        }
    }
}

TEST(Hasher, PaddingLengthsAroundTheLastBlock) {
    // 55 bytes fit one padded block, 56 need a second.
    EXPECT_EQ(Digest(std::string(55, 'a'), 7).sha256, "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
    EXPECT_EQ(Digest(std::string(56, 'a'), 7).sha256, "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
}

TEST(Hasher, OnlyTheKindsAskedForAndFinishStartsAfresh) {
    EXPECT_EQ(Digest("abc", 1, kHashSha256).md5, "");
    EXPECT_EQ(Digest("abc", 1, kHashSha256).sha1, "");
    EXPECT_EQ(Digest("abc", 1, kHashMd5).sha256, "");
    Hasher hasher(kHashSha256 | kHashSha1);
    const uint8_t x = 'x';
    hasher.Update({&x, 1});
    hasher.Finish();
    const Digests empty = hasher.Finish();
    EXPECT_EQ(empty.sha256, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(empty.sha1, "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

TEST(Hasher, KindLists) {
    const struct {
        const char* text;
        bool ok;
        unsigned kinds;
    } cases[] = {
        {"sha256", true, kHashSha256},
        {"sha256,md5,sha1", true, kHashSha256 | kHashMd5 | kHashSha1},
        {"sha1,md5", true, kHashMd5 | kHashSha1},
        {"md5,md5", true, kHashMd5},
        {"", false, 0},
        {"sha256,", false, 0},
        {"SHA256", false, 0},
        {"crc32", false, 0},
    };
    for (const auto& c : cases) {
        unsigned kinds = 99;
        EXPECT_EQ(ParseHashKinds(c.text, kinds), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(kinds, c.kinds) << c.text;
        }
    }
}

}  // namespace
}  // namespace delvora
