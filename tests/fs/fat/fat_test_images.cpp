#include "fs/fat/fat_test_images.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <functional>

#include "common/bytes.h"
#include "support/recorders.h"

namespace delvora::test {

LoadedFat LoadFat(const std::string& path, int fatKind, const CoreContext& context, uint32_t startSector) {
    LoadedFat loaded;
    loaded.source = std::make_unique<DataSource>(context);
    loaded.source->SetKind(SourceKind::Device);
    loaded.source->SetPath(path);
    loaded.source->Open();
    loaded.volume = std::make_unique<FatVolume>();
    loaded.volume->SetDataSource(loaded.source.get());
    loaded.volume->SetStartSector(startSector);
    loaded.volume->SetFatType(static_cast<uint8_t>(fatKind));
    loaded.volume->SetContext(context);
    loaded.prepared = loaded.volume->Prepare();
    if (loaded.prepared) {
        loaded.volume->LoadTree();
        loaded.volume->ReleaseLoadTables();
    }
    return loaded;
}

LoadedFat LoadFatFrom(std::unique_ptr<BlockBackend> backend, const CoreContext& context) {
    LoadedFat loaded;
    loaded.source = std::make_unique<DataSource>(context);
    loaded.source->OpenWithBackend(std::move(backend));
    loaded.volume = std::make_unique<FatVolume>();
    loaded.volume->SetDataSource(loaded.source.get());
    loaded.volume->SetFatType(3);
    loaded.volume->SetContext(context);
    loaded.prepared = loaded.volume->Prepare();
    if (loaded.prepared) {
        loaded.volume->LoadTree();
        loaded.volume->ReleaseLoadTables();
    }
    return loaded;
}

FileItem* FindItem(FileItem& root, const std::string& path) {
    FileItem* current = &root;
    size_t pos = 0;
    while (current && pos <= path.size()) {
        const size_t slash = path.find('/', pos);
        const std::string part = path.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        FileItem* next = nullptr;
        for (uint32_t i = 0; i < current->childCount; ++i)
            if (part == current->children[i].name) next = &current->children[i];
        current = next;
        if (slash == std::string::npos) break;
        pos = slash + 1;
    }
    return current;
}

std::map<std::string, bool> ListTree(const FileItem& root) {
    std::map<std::string, bool> out;
    std::function<void(const FileItem&, const std::string&)> walk = [&](const FileItem& folder,
                                                                        const std::string& prefix) {
        for (uint32_t i = 0; i < folder.childCount; ++i) {
            const FileItem& child = folder.children[i];
            const std::string path = prefix + child.name;
            out[path] = child.IsDeleted();
            walk(child, path + "/");
        }
    };
    walk(root, "");
    return out;
}

std::map<std::string, std::vector<uint8_t>> StandardFiles() {
    std::vector<uint8_t> big(200000);
    uint32_t x = 12345;
    for (auto& b : big) {
        x = x * 1103515245 + 12345;
        b = static_cast<uint8_t>(x >> 16);
    }
    return {{"hello.txt", {'h', 'e', 'l', 'l', 'o', '\n'}},
            {"docs/empty.dat", {}},
            {"docs/sub/big.bin", big},
            {"docs/中文长文件名测试文档.txt", std::vector<uint8_t>(5000, 'z')},
            {"docs/sub/deeper/note.TXT", std::vector<uint8_t>(513, 'n')}};
}

namespace {

/// mmd/mcopy/mdel script that writes the standard content into image.
bool AddStandardContent(const std::string& dir, const std::string& image, std::string& script) {
    script += "mmd -i '" + image + "' ::/docs ::/docs/sub ::/docs/sub/deeper ::/old ::/old/inner; ";
    int n = 0;
    for (const auto& [path, bytes] : StandardFiles()) {
        const std::string local = dir + "/src" + std::to_string(n++);
        if (!WriteFileBytes(local, bytes)) return false;
        script += "mcopy -i '" + image + "' '" + local + "' '::/" + path + "'; ";
    }
    const std::string hello = dir + "/hello";
    if (!WriteFileBytes(hello, {'h', 'e', 'l', 'l', 'o', '\n'})) return false;
    script += "mcopy -i '" + image + "' '" + hello + "' ::/old/inner/a.txt; ";
    script += "mcopy -i '" + image + "' '" + hello + "' ::/gone.txt; ";
    script += "mdel -i '" + image + "' ::/gone.txt; mdeltree -i '" + image + "' ::/old; ";
    return true;
}

}  // namespace

std::string MakeToolImage(const std::string& dir, int fatBits, uint32_t sectorSize) {
    const std::string image = dir + "/fat" + std::to_string(fatBits) +
                              (sectorSize == 512 ? "" : "-" + std::to_string(sectorSize)) + ".img";
    std::string blocks = fatBits == 12 ? "2048" : fatBits == 16 ? "20480" : "40000";
    std::string extra = fatBits == 32 ? " -s 1" : "";
    if (sectorSize != 512) {
        // Well inside each kind's cluster range, one sector a cluster.
        const uint64_t clusters = fatBits == 12 ? 3000 : fatBits == 16 ? 20000 : 70000;
        blocks = std::to_string(clusters * sectorSize / 1024 + 1024);
        extra = " -S " + std::to_string(sectorSize) + " -s 1";
    }
    std::string script = "set -e; export MTOOLS_SKIP_CHECK=1; cd '" + dir + "'; mkfs.fat -F " +
                         std::to_string(fatBits) + extra + " -C '" + image + "' " + blocks + " >/dev/null; ";
    if (!AddStandardContent(dir, image, script)) return {};
    std::string output;
    if (RunShell(script, &output) != 0) return {};
    return image;
}

std::string MakeSmallFat32Image(const std::string& dir) {
    const std::string image = dir + "/fat32-small.img";
    std::string script = "set -e; export MTOOLS_SKIP_CHECK=1; cd '" + dir + "'; mkfs.fat -F 32 -s 1 -C '" + image +
                         "' 40960 >/dev/null; ";
    if (!AddStandardContent(dir, image, script)) return {};
    // 65,536 sectors: the data area then holds about 64,000 clusters.
    script += "printf '\\000\\000\\001\\000' | dd of='" + image +
              "' bs=1 seek=32 conv=notrunc status=none; truncate -s 32M '" + image + "'";
    std::string output;
    if (RunShell(script, &output) != 0) return {};
    return image;
}

std::map<std::string, bool> FlsTree(const std::string& image, uint64_t sectorOffset) {
    std::string output;
    std::map<std::string, bool> out;
    if (RunShell("fls -r -p -o " + std::to_string(sectorOffset) + " '" + image + "'", &output) != 0) return out;
    std::istringstream lines(output);
    std::string line;
    // Lines read "r/r * 7:\tpath"; the star marks a deleted item.
    while (std::getline(lines, line)) {
        const size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        const std::string path = line.substr(tab + 1);
        // Virtual entries for the boot record, the FATs and orphans.
        if (path.empty() || path[0] == '$') continue;
        const size_t star = line.find(" * ");
        out[path] = star != std::string::npos && star < tab;
    }
    return out;
}

std::map<std::string, FlsItem> FlsBody(const std::string& image, const std::string& fsType) {
    std::string output;
    std::map<std::string, FlsItem> out;
    const std::string type = fsType.empty() ? "" : " -f " + fsType;
    if (RunShell("fls" + type + " -m / -r -p '" + image + "'", &output) != 0) return out;
    std::istringstream lines(output);
    std::string line;
    // MD5|name|inode|mode|uid|gid|size|atime|mtime|ctime|crtime
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, '|');) fields.push_back(field);
        if (fields.size() < 11 || fields[1].size() < 2 || fields[1][1] == '$') continue;
        FlsItem item;
        std::string path = fields[1].substr(1);
        const std::string mark = " (deleted)";
        if (path.size() > mark.size() && path.compare(path.size() - mark.size(), mark.size(), mark) == 0) {
            item.deleted = true;
            path.resize(path.size() - mark.size());
        }
        item.inode = std::stoull(fields[2]);
        item.directory = fields[3].rfind("d/", 0) == 0;
        item.size = std::stoull(fields[6]);
        item.accessed = std::stoll(fields[7]);
        item.modified = std::stoll(fields[8]);
        item.created = std::stoll(fields[10]);
        out[path] = item;
    }
    return out;
}

TinyFat12::TinyFat12() : m_image(64 * 512, 0) {
    uint8_t* b = m_image.data();
    b[0] = 0xEB; b[1] = 0x3C; b[2] = 0x90;
    PutLe16(b + 11, 512);
    b[13] = 1;             // sectors per cluster
    PutLe16(b + 14, 1);    // reserved
    b[16] = 2;             // FATs
    PutLe16(b + 17, 16);   // root entries: one sector
    PutLe16(b + 19, 64);   // total sectors
    b[21] = 0xF8;
    PutLe16(b + 22, 1);    // sectors per FAT
    PutLe16(b + 510, 0xAA55);
    SetFat(0, 0xFF8);
    SetFat(1, 0xFFF);
}

void TinyFat12::SetFat(uint32_t cluster, uint32_t value) {
    for (uint32_t copy = 0; copy < 2; ++copy) {
        uint8_t* fat = m_image.data() + 512 * (1 + copy);
        const uint32_t off = cluster * 3 / 2;
        uint16_t v = static_cast<uint16_t>(fat[off] | (fat[off + 1] << 8));
        if (cluster & 1) v = static_cast<uint16_t>((v & 0x000F) | (value << 4));
        else v = static_cast<uint16_t>((v & 0xF000) | (value & 0x0FFF));
        PutLe16(fat + off, v);
    }
}

void TinyFat12::SetRootEntry(size_t index, const std::vector<uint8_t>& entry) {
    std::copy(entry.begin(), entry.end(), m_image.begin() + 3 * 512 + index * 32);
}

void TinyFat12::SetClusterEntry(uint32_t cluster, size_t index, const std::vector<uint8_t>& entry) {
    std::copy(entry.begin(), entry.end(), m_image.begin() + (kDataStart + cluster - 2) * 512 + index * 32);
}

void TinyFat12::FillCluster(uint32_t cluster, uint8_t value) {
    std::fill_n(m_image.begin() + (kDataStart + cluster - 2) * 512, 512, value);
}

std::string TinyFat12::Write(const std::string& path) const {
    return WriteFileBytes(path, m_image) ? path : std::string();
}

std::vector<uint8_t> Fat32Layout::BootSector() const {
    std::vector<uint8_t> b(512, 0);
    b[0] = 0xEB; b[1] = 0x58; b[2] = 0x90;
    PutLe16(&b[11], 512);
    b[13] = 1;
    PutLe16(&b[14], 32);
    b[16] = 2;
    b[21] = 0xF8;
    PutLe32(&b[32], totalSectors);
    PutLe32(&b[36], fatSectors);
    PutLe32(&b[44], rootCluster);
    PutLe16(&b[510], 0xAA55);
    return b;
}

int GeneratedFat32::ReadAt(uint8_t* buffer, size_t count, uint64_t offset) {
    if (offset > uint64_t{m_layout.totalSectors} * 512 || count > uint64_t{m_layout.totalSectors} * 512 - offset)
        return EIO;
    const uint64_t fatStart = 32, fatEnd = m_layout.DataStart();
    std::vector<uint8_t> sector(512);
    // Sector by sector: each pass copies at least one byte.
    for (size_t done = 0; done < count;) {
        const uint64_t s = (offset + done) / 512;
        std::fill(sector.begin(), sector.end(), 0);
        if (s == 0) {
            sector = m_layout.BootSector();
        } else if (s >= fatStart && s < fatEnd) {
            const uint64_t first = ((s - fatStart) % m_layout.fatSectors) * 128;
            for (uint32_t k = 0; k < 128; ++k) PutLe32(&sector[k * 4], m_fatEntry(static_cast<uint32_t>(first + k)));
        } else if (s >= fatEnd) {
            m_cluster(static_cast<uint32_t>(s - fatEnd + 2), sector.data());
        }
        const size_t from = static_cast<size_t>((offset + done) % 512);
        const size_t n = std::min(count - done, 512 - from);
        std::memcpy(buffer + done, sector.data() + from, n);
        done += n;
    }
    return 0;
}

std::vector<uint8_t> ShortEntry(const std::string& name11, uint8_t attributes, uint32_t cluster, uint32_t size,
                                uint8_t caseFlags) {
    std::vector<uint8_t> e(32, 0);
    for (size_t i = 0; i < 11; ++i) e[i] = i < name11.size() ? static_cast<uint8_t>(name11[i]) : ' ';
    e[11] = attributes;
    e[12] = caseFlags;
    PutLe16(&e[14], 0x5000);                            // 10:00:00
    PutLe16(&e[16], ((2020 - 1980) << 9) | (3 << 5) | 4);  // 2020-03-04
    PutLe16(&e[18], ((2020 - 1980) << 9) | (3 << 5) | 5);
    PutLe16(&e[20], static_cast<uint16_t>(cluster >> 16));
    PutLe16(&e[22], 0x5001);
    PutLe16(&e[24], ((2021 - 1980) << 9) | (1 << 5) | 2);
    PutLe16(&e[26], static_cast<uint16_t>(cluster));
    PutLe32(&e[28], size);
    return e;
}

std::vector<uint8_t> LongEntry(uint8_t sequence, const std::u16string& chars) {
    static const size_t kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    std::vector<uint8_t> e(32, 0xFF);
    e[0] = sequence;
    e[11] = 0x0F;
    e[12] = 0;
    e[13] = 0;  // checksum, not checked
    PutLe16(&e[26], 0);
    for (size_t i = 0; i < 13; ++i) {
        uint16_t unit = 0xFFFF;
        if (i < chars.size()) unit = chars[i];
        else if (i == chars.size()) unit = 0;
        PutLe16(&e[kOffsets[i]], unit);
    }
    return e;
}

}  // namespace delvora::test
