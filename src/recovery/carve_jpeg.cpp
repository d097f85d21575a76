// JPEG: the marker segments and the entropy-coded data walked to EOI, then
// the picture decoded (at an eighth of its size: the entropy data is what
// fails) to see where it stops making sense.
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include "recovery/carve_format.h"
#include "recovery/carve_tiff_ifd.h"

namespace delvora {
namespace {

constexpr uint64_t kMaxJpegBytes = 128ull << 20;
// A truncated picture is kept only when this much entropy-coded data decoded
// cleanly: a valid header ahead of random data fails within a few hundred.
constexpr uint64_t kMinCleanEntropy = 4096;

struct Structure {
    bool ended = false;      // EOI reached
    uint64_t end = 0;        // past EOI, or where the walk stopped
    uint64_t firstScan = 0;  // first byte of entropy-coded data (0: none)
    std::string title;
};

/// The offset of the next marker that ends entropy-coded data (FF followed
/// by neither 00, a fill FF nor a restart marker) at or after pos; the
/// input's end when there is none within the cap.
uint64_t SkipEntropy(CarveInput& in, uint64_t pos) {
    // Each step moves past at least one byte; the cap bounds the pass.
    while (pos < kMaxJpegBytes) {
        const ByteSpan b = in.Get(pos, CarveInput::kMaxGet);
        if (b.size() < 2) return pos + b.size();
        size_t i = 0;
        while (i + 1 < b.size()) {
            const void* hit = std::memchr(b.data() + i, 0xFF, b.size() - 1 - i);
            if (!hit) {
                i = b.size() - 1;
                break;
            }
            i = static_cast<const uint8_t*>(hit) - b.data();
            const uint8_t next = b[i + 1];
            if (next != 0x00 && next != 0xFF && !(next >= 0xD0 && next <= 0xD7)) return pos + i;
            ++i;
        }
        pos += i;
    }
    return pos;
}

Structure WalkMarkers(CarveInput& in) {
    Structure s;
    uint64_t pos = 2;
    // Every step moves past one marker or segment (at least two bytes).
    while (pos < kMaxJpegBytes) {
        const ByteSpan m = in.Get(pos, 4);
        s.end = pos;
        if (m.size() < 2 || m[0] != 0xFF) return s;
        const uint8_t code = m[1];
        if (code == 0xFF) {  // fill byte
            ++pos;
            continue;
        }
        if (code == 0xD9) {
            s.ended = true;
            s.end = pos + 2;
            return s;
        }
        if (code == 0x00 || code == 0xD8) return s;
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) {
            pos += 2;
            continue;
        }
        if (m.size() < 4) return s;
        const uint16_t length = static_cast<uint16_t>(m[2] << 8 | m[3]);
        if (length < 2) return s;
        if (code == 0xE1 && s.title.empty()) {
            const ByteSpan seg = in.Get(pos + 4, length - 2);
            if (seg.size() == size_t{length} - 2 && seg.size() > 6 && std::memcmp(seg.data(), "Exif\0\0", 6) == 0)
                s.title = ExifTitle(seg.subspan(6));
        }
        pos += 2 + uint64_t{length};
        if (code == 0xDA) {
            if (!s.firstScan) s.firstScan = pos;
            pos = SkipEntropy(in, pos);
        }
    }
    return s;
}

struct Decoder {
    jpeg_error_mgr err;
    jmp_buf jump;
    const uint8_t* base = nullptr;
    j_decompress_ptr info = nullptr;
    uint64_t stoppedAt = 0;
    JSAMPLE* row = nullptr;  // here, not in a local: a longjmp leaves locals undefined
};

uint64_t Consumed(Decoder& d) {
    return d.info->src ? static_cast<uint64_t>(d.info->src->next_input_byte - d.base) : 0;
}

void OnError(j_common_ptr info) {
    auto* d = reinterpret_cast<Decoder*>(info->err);
    d->stoppedAt = Consumed(*d);
    std::longjmp(d->jump, 1);
}

void OnMessage(j_common_ptr info, int level) {
    // A warning is corrupt data: the picture stops there.
    if (level < 0) OnError(info);
}

/// Decodes the picture; true when it decodes without a warning. stoppedAt:
/// the bytes read when it failed.
bool Decode(const uint8_t* data, size_t size, uint64_t& stoppedAt) {
    jpeg_decompress_struct info;
    Decoder d;
    info.err = jpeg_std_error(&d.err);
    d.err.error_exit = OnError;
    d.err.emit_message = OnMessage;
    d.base = data;
    d.info = &info;
    jpeg_create_decompress(&info);
    if (setjmp(d.jump)) {
        stoppedAt = d.stoppedAt;
        std::free(d.row);
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    info.scale_num = 1;
    info.scale_denom = 8;
    info.dct_method = JDCT_IFAST;
    info.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&info);
    d.row = static_cast<JSAMPLE*>(std::malloc(size_t{info.output_width} * info.output_components + 16));
    if (!d.row) OnError(reinterpret_cast<j_common_ptr>(&info));
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {d.row};
        jpeg_read_scanlines(&info, rows, 1);
    }
    jpeg_finish_decompress(&info);
    stoppedAt = Consumed(d);
    std::free(d.row);
    jpeg_destroy_decompress(&info);
    return true;
}

}  // namespace

bool JpegHeader(ByteSpan head) {
    return Has(head, 0, 4) && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF &&
           (head[3] == 0xE0 || head[3] == 0xE1 || head[3] == 0xDB || head[3] == 0xC0 || head[3] == 0xC4 ||
            head[3] == 0xEE || head[3] == 0xE2 || head[3] == 0xFE);
}

CarveWalk WalkJpeg(CarveInput& in) {
    using carve_type::kJpg;
    const Structure s = WalkMarkers(in);
    CarveWalk fail = Carved(CarveStatus::Rejected, 0, kJpg, "JPG", "jpg");
    if (!s.firstScan || s.end <= s.firstScan) return fail;
    std::vector<uint8_t> bytes;
    if (!in.Copy(0, static_cast<size_t>(s.end), bytes)) return fail;
    uint64_t stopped = 0;
    const bool clean = Decode(bytes.data(), bytes.size(), stopped);
    if (clean && s.ended) {
        CarveWalk w = Carved(CarveStatus::Complete, s.end, kJpg, "JPG", "jpg");
        w.title = s.title;
        return w;
    }
    const uint64_t at = std::min<uint64_t>(clean ? s.end : stopped, s.end);
    fail.failedAt = at;
    if (at < s.firstScan + kMinCleanEntropy) return fail;
    CarveWalk w = Carved(CarveStatus::Truncated, at, kJpg, "JPG", "jpg");
    w.title = s.title;
    w.failedAt = at;
    return w;
}

}  // namespace delvora
