// The structure walkers over bytes built here: the layouts no tool on the
// test machine makes (MP4 boxes, 7z, RAR 5) and hostile ones — sizes past
// the source, an IFD loop, endless restart markers, a central directory that
// points the wrong way. Each walk must end, and stay within what it was given.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <zlib.h>

#include "recovery/carve_format.h"

namespace delvora {
namespace {

using Bytes = std::vector<uint8_t>;

void Be32(Bytes& b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<uint8_t>(v >> s));
}
void Le(Bytes& b, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Text(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }
uint32_t Crc(const uint8_t* p, size_t n) { return static_cast<uint32_t>(crc32(0, p, static_cast<uInt>(n))); }

CarveWalk Walk(CarveWalk (*walk)(CarveInput&), const Bytes& file, size_t trailing = 4096) {
    Bytes stream = file;
    stream.resize((file.size() + trailing + 511) / 512 * 512, 0);
    CarveInput in(
        [&stream](uint64_t unit, uint8_t* dest, size_t n) {
            if (unit * 512 + n > stream.size()) return false;
            std::memcpy(dest, stream.data() + unit * 512, n);
            return true;
        },
        512, 0, stream.size() / 512);
    return walk(in);
}

Bytes Mp4(uint64_t mdatSize, bool largeSize) {
    Bytes b;
    Be32(b, 24);
    Text(b, "ftypisom");
    Be32(b, 0x200);
    Text(b, "isomiso2");
    Be32(b, 16);
    Text(b, "moov");
    b.resize(b.size() + 8, 0);
    if (largeSize) {
        Be32(b, 1);
        Text(b, "mdat");
        Be32(b, static_cast<uint32_t>(mdatSize >> 32));
        Be32(b, static_cast<uint32_t>(mdatSize));
        b.resize(b.size() + (mdatSize < 1024 ? mdatSize - 16 : 0), 0x55);
    } else {
        Be32(b, static_cast<uint32_t>(mdatSize));
        Text(b, "mdat");
        b.resize(b.size() + (mdatSize >= 8 ? mdatSize - 8 : 0), 0x55);
    }
    return b;
}

Bytes SevenZip(bool goodCrc) {
    const Bytes next{0x01, 0x00};  // a header holding nothing
    Bytes start;
    Le(start, 0, 8);               // next header right after the start header
    Le(start, next.size(), 8);
    Le(start, Crc(next.data(), next.size()) ^ (goodCrc ? 0 : 1), 4);
    Bytes b{'7', 'z', 0xBC, 0xAF, 0x27, 0x1C, 0, 4};
    Le(b, Crc(start.data(), start.size()), 4);
    b.insert(b.end(), start.begin(), start.end());
    b.insert(b.end(), next.begin(), next.end());
    return b;
}

void Rar5Block(Bytes& b, uint8_t type) {
    const Bytes header{0x02, type, 0x00};  // size 2, type, flags 0
    Le(b, Crc(header.data(), header.size()), 4);
    b.insert(b.end(), header.begin(), header.end());
}

TEST(CarveWalkers, EndWhereTheirStructureSays) {
    Bytes rar{'R', 'a', 'r', '!', 0x1A, 0x07, 0x01, 0x00};
    Rar5Block(rar, 1);
    Rar5Block(rar, 5);
    Bytes tiffLoop{'I', 'I', 42, 0, 8, 0, 0, 0};
    Le(tiffLoop, 1, 2);                        // one entry
    Le(tiffLoop, 256, 2), Le(tiffLoop, 4, 2), Le(tiffLoop, 1, 4), Le(tiffLoop, 640, 4);  // ImageWidth
    Le(tiffLoop, 8, 4);                        // the next IFD is this one
    Bytes restarts{0xFF, 0xD8};
    for (int i = 0; i < 200000; ++i) restarts.insert(restarts.end(), {0xFF, 0xD0});
    Bytes hugeBmp{'B', 'M'};
    Le(hugeBmp, 0xFFFFFF00u, 4), Le(hugeBmp, 0, 4), Le(hugeBmp, 54, 4), Le(hugeBmp, 40, 4);
    Le(hugeBmp, 100, 4), Le(hugeBmp, 100, 4), Le(hugeBmp, 1, 2), Le(hugeBmp, 24, 2), Le(hugeBmp, 0, 4);
    hugeBmp.resize(64, 0);

    const struct {
        const char* what;
        CarveWalk (*walk)(CarveInput&);
        Bytes file;
        CarveStatus status;
        uint64_t length;  // UINT64_MAX: up to the source's end
    } cases[] = {
        {"an MP4 with a 64-bit box size", &WalkMp4, Mp4(64, true), CarveStatus::Complete, 40 + 64},
        {"an MP4 whose 64-bit size runs past the source", &WalkMp4, Mp4(1ull << 40, true), CarveStatus::Truncated, UINT64_MAX},
        {"an MP4 whose mdat has size 0", &WalkMp4, Mp4(0, false), CarveStatus::Truncated, 40},
        {"a 7z archive", &WalkSevenZip, SevenZip(true), CarveStatus::Complete, 34},
        {"a 7z archive whose next header fails its CRC", &WalkSevenZip, SevenZip(false), CarveStatus::Rejected, 0},
        {"a RAR 5 archive", &WalkRar, rar, CarveStatus::Complete, rar.size()},
        {"a TIFF whose IFD names itself as the next", &WalkTiff, tiffLoop, CarveStatus::Complete, tiffLoop.size()},
        {"a JPEG of nothing but restart markers", &WalkJpeg, restarts, CarveStatus::Rejected, 0},
        {"a BMP claiming 4 GiB", &WalkBmp, hugeBmp, CarveStatus::Rejected, 0},
    };
    for (const auto& c : cases) {
        const CarveWalk w = Walk(c.walk, c.file);
        EXPECT_EQ(w.status, c.status) << c.what;
        const uint64_t available = (c.file.size() + 4096 + 511) / 512 * 512;
        if (c.status != CarveStatus::Rejected) {
            EXPECT_EQ(w.length, c.length == UINT64_MAX ? available : c.length) << c.what;
        }
    }
}

TEST(CarveWalkers, ZipDirectoryMustPointBackAtItself) {
    // One stored entry, its central record and the end record.
    const std::string data = "hello, carver";
    Bytes zip;
    Le(zip, 0x04034B50, 4), Le(zip, 20, 2), Le(zip, 0, 2), Le(zip, 0, 2), Le(zip, 0, 4);
    Le(zip, Crc(reinterpret_cast<const uint8_t*>(data.data()), data.size()), 4);
    Le(zip, data.size(), 4), Le(zip, data.size(), 4), Le(zip, 5, 2), Le(zip, 0, 2);
    Text(zip, "a.txt");
    Text(zip, data);
    const size_t directory = zip.size();
    Le(zip, 0x02014B50, 4), Le(zip, 20, 2), Le(zip, 20, 2), Le(zip, 0, 2), Le(zip, 0, 2), Le(zip, 0, 4);
    Le(zip, Crc(reinterpret_cast<const uint8_t*>(data.data()), data.size()), 4);
    Le(zip, data.size(), 4), Le(zip, data.size(), 4), Le(zip, 5, 2), Le(zip, 0, 2), Le(zip, 0, 2), Le(zip, 0, 2);
    Le(zip, 0, 2), Le(zip, 0, 4), Le(zip, 0, 4);
    Text(zip, "a.txt");
    const size_t end = zip.size();
    Le(zip, 0x06054B50, 4), Le(zip, 0, 2), Le(zip, 0, 2), Le(zip, 1, 2), Le(zip, 1, 2);
    Le(zip, end - directory, 4), Le(zip, directory, 4), Le(zip, 0, 2);

    const CarveWalk good = Walk(&WalkZip, zip);
    EXPECT_EQ(good.status, CarveStatus::Complete);
    EXPECT_EQ(good.length, zip.size());
    EXPECT_EQ(good.folder, "ZIP");
    const struct {
        const char* what;
        size_t at;
        uint32_t value;
    } breaks[] = {
        {"the end record points before the directory", end + 16, static_cast<uint32_t>(directory - 4)},
        {"the end record points outside the file", end + 16, 0x7FFFFFF0u},
        {"a central record points at or past the directory", directory + 42, static_cast<uint32_t>(directory)},
        {"the entry's data fails its CRC", 14, 0x12345678u},
    };
    for (const auto& b : breaks) {
        Bytes bad = zip;
        std::memcpy(&bad[b.at], &b.value, 4);
        const CarveWalk w = Walk(&WalkZip, bad);
        EXPECT_NE(w.status, CarveStatus::Complete) << b.what;
        EXPECT_LT(w.length, zip.size()) << b.what;
    }
}

}  // namespace
}  // namespace delvora
