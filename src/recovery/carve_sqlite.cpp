// SQLite databases: page size times page count, from a header whose fixed
// fields hold their only allowed values.
#include <cstring>

#include "recovery/carve_format.h"

namespace delvora {
namespace {

constexpr uint64_t kMaxSqliteBytes = 16ull << 30;

}  // namespace

bool SqliteHeader(ByteSpan head) { return Has(head, 0, 100) && std::memcmp(head.data(), "SQLite format 3", 16) == 0; }

CarveWalk WalkSqlite(CarveInput& in) {
    using carve_type::kSqlite;
    const ByteSpan h = in.Get(0, 108);
    CarveWalk fail = Carved(CarveStatus::Rejected, 0, kSqlite, "SQLITE", "sqlite");
    if (h.size() < 108) return fail;
    const uint32_t raw = uint32_t{h[16]} << 8 | h[17];
    const uint32_t page = raw == 1 ? 65536 : raw;
    if (page < 512 || (page & (page - 1)) != 0) return fail;
    // Payload fractions 64, 32, 32 and a b-tree page after the header.
    if (h[21] != 64 || h[22] != 32 || h[23] != 32 || (h[100] != 0x0D && h[100] != 0x05)) return fail;
    const uint32_t pages = Be32(h, 28);
    // The count is only current when the change counter matches its copy.
    if (pages == 0 || Be32(h, 24) != Be32(h, 92)) return fail;
    const uint64_t length = uint64_t{pages} * page;
    if (length > kMaxSqliteBytes) return fail;
    if (length > in.Available()) {
        CarveWalk w = Carved(CarveStatus::Truncated, in.Available() / page * page, kSqlite, "SQLITE", "sqlite");
        w.failedAt = w.length;
        return w.length ? w : fail;
    }
    return Carved(CarveStatus::Complete, length, kSqlite, "SQLITE", "sqlite");
}

}  // namespace delvora
