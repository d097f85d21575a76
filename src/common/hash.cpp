#include "common/hash.h"

#include <openssl/evp.h>

#include <array>

namespace delvora {
namespace {

struct Kind {
    HashKind bit;
    const char* name;
    const EVP_MD* (*md)();
    std::string Digests::*field;
};

const std::array<Kind, 3> kKinds{{
    {kHashSha256, "sha256", &EVP_sha256, &Digests::sha256},
    {kHashMd5, "md5", &EVP_md5, &Digests::md5},
    {kHashSha1, "sha1", &EVP_sha1, &Digests::sha1},
}};

struct CtxFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
using CtxPtr = std::unique_ptr<EVP_MD_CTX, CtxFree>;

// A context that failed to start stays null and gives an empty digest.
CtxPtr Start(const Kind& kind) {
    CtxPtr ctx(EVP_MD_CTX_new());
    if (ctx && EVP_DigestInit_ex(ctx.get(), kind.md(), nullptr) != 1) ctx.reset();
    return ctx;
}

}  // namespace

struct Hasher::Contexts {
    std::array<CtxPtr, kKinds.size()> ctx;
};

Hasher::Hasher(unsigned kinds) : m_kinds(kinds), m_contexts(std::make_unique<Contexts>()) {
    for (size_t i = 0; i < kKinds.size(); ++i)
        if (kinds & kKinds[i].bit) m_contexts->ctx[i] = Start(kKinds[i]);
}

Hasher::~Hasher() = default;

void Hasher::Update(std::span<const uint8_t> bytes) {
    if (bytes.empty()) return;
    for (auto& ctx : m_contexts->ctx)
        if (ctx && EVP_DigestUpdate(ctx.get(), bytes.data(), bytes.size()) != 1) ctx.reset();
}

Digests Hasher::Finish() {
    Digests out;
    for (size_t i = 0; i < kKinds.size(); ++i) {
        if (!(m_kinds & kKinds[i].bit)) continue;
        CtxPtr& ctx = m_contexts->ctx[i];
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (ctx && EVP_DigestFinal_ex(ctx.get(), digest, &length) == 1)
            out.*kKinds[i].field = HexText({digest, length});
        ctx = Start(kKinds[i]);
    }
    return out;
}

bool ParseHashKinds(std::string_view text, unsigned& kinds) {
    kinds = 0;
    // Each pass consumes one name and its comma, so the loop ends; an empty
    // name (an empty list, a stray comma) is not a kind.
    for (;;) {
        const size_t comma = text.find(',');
        const std::string_view name = text.substr(0, comma);
        unsigned bit = 0;
        for (const auto& kind : kKinds)
            if (name == kind.name) bit = kind.bit;
        if (bit == 0) return false;
        kinds |= bit;
        if (comma == std::string_view::npos) return true;
        text = text.substr(comma + 1);
    }
}

std::string HexText(std::span<const uint8_t> bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 15]);
    }
    return out;
}

}  // namespace delvora
