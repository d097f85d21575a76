#include "fs/ext2/ext2_test_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "common/text_format.h"

namespace delvora::test {

std::unique_ptr<Ext2Fixture> LoadExt2(const std::string& image, const Ext2Params* fixed, uint32_t startSector,
                                      uint32_t totalSectors) {
    auto f = std::make_unique<Ext2Fixture>();
    f->source = std::make_unique<DataSource>(f->rc.context);
    f->source->SetKind(SourceKind::Device);
    f->source->SetPath(image);
    if (!f->source->Open()) return f;
    if (fixed) f->source->SetExt2_Param(*fixed);
    f->volume = std::make_unique<Ext2Volume>();
    f->volume->SetDataSource(f->source.get());
    f->volume->SetStartSector(startSector);
    f->volume->SetTotalSectors(totalSectors ? totalSectors : static_cast<uint32_t>(f->source->SizeBytes() / 512));
    f->volume->SetContext(f->rc.context);
    f->prepared = f->volume->Prepare();
    if (f->prepared) f->loaded = f->volume->LoadTree();
    return f;
}

std::string MakeExt2(const std::string& image, uint32_t blockSize, const std::string& dir,
                     const std::string& size, const std::string& extra) {
    std::string cmd = "mke2fs -q -t ext2 -b " + std::to_string(blockSize) + " " + extra;
    if (!dir.empty()) cmd += " -d '" + dir + "'";
    cmd += " -F '" + image + "' " + size;
    std::string out;
    return RunShell(cmd, &out) == 0 ? std::string() : "mke2fs failed: " + out;
}

int Debugfs(const std::string& image, const std::string& command, std::string* output) {
    return RunShell("debugfs -w -R '" + command + "' '" + image + "'", output);
}

namespace {

void Collect(FileItem& folder, const std::string& prefix, std::map<std::string, FileItem*>& out) {
    for (uint32_t i = 0; i < folder.childCount; ++i) {
        FileItem& child = folder.children[i];
        const std::string path = prefix + child.name;
        out[path] = &child;
        Collect(child, path + "/", out);
    }
}

}  // namespace

std::map<std::string, FileItem*> ItemsByPath(FileItem& root) {
    std::map<std::string, FileItem*> out;
    Collect(root, "", out);
    return out;
}

std::vector<std::string> FlsLiveNames(const std::string& image) {
    std::string out;
    RunShell("fls -r -p -u '" + image + "' 2>/dev/null", &out);
    std::vector<std::string> names;
    std::istringstream lines(out);
    // Lines look like "d/d 12:\tpath" or "r/r 13:\tpath".
    for (std::string line; std::getline(lines, line);) {
        const size_t tab = line.find('\t');
        if (tab == std::string::npos || line.size() < 3) continue;
        const std::string path = line.substr(tab + 1);
        if (path == "lost+found" || path.rfind("lost+found/", 0) == 0 || path.rfind("$Orphan", 0) == 0) continue;
        if (line[0] == 'd' || line[2] == 'd') names.push_back(path + "/");
        else if (line[0] == 'r' || line[2] == 'r') names.push_back(path);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> TreeNames(FileItem& root) {
    std::vector<std::string> names;
    for (const auto& [path, item] : ItemsByPath(root)) {
        if (path == "lost+found" || path.rfind("lost+found/", 0) == 0) continue;
        names.push_back(item->IsDirectory() ? path + "/" : path);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> FlsAllNames(const std::string& image) {
    std::string out;
    RunShell("fls -r -p '" + image + "' 2>/dev/null", &out);
    std::vector<std::string> names;
    std::istringstream lines(out);
    // Lines look like "d/d 12:\tpath", "r/r * 13:\tpath" or "r/r * 14(realloc):\tpath";
    // the first letter is the type the folder record gives.
    for (std::string line; std::getline(lines, line);) {
        const size_t tab = line.find('\t');
        if (tab == std::string::npos || line.size() < 5 || (line[0] != 'r' && line[0] != 'd')) continue;
        const std::string path = line.substr(tab + 1);
        if (path == "lost+found" || path.rfind("lost+found/", 0) == 0 || path.rfind("$Orphan", 0) == 0) continue;
        const bool deleted = line.compare(3, 3, " * ") == 0;
        names.push_back((deleted ? "*" : "") + path + (line[0] == 'd' ? "/" : ""));
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> TreeAllNames(FileItem& root) {
    std::vector<std::string> names;
    for (const auto& [path, item] : ItemsByPath(root)) {
        if (path == "lost+found" || path.rfind("lost+found/", 0) == 0) continue;
        names.push_back((item->IsDeleted() ? "*" : "") + path + (item->IsDirectory() ? "/" : ""));
    }
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

// "2026-12-07 11:41:49.000000123 (UTC)" or "2026-12-07 11:41:49 (UTC)" as ticks; 0 for anything else.
uint64_t IstatTicks(const std::string& text) {
    std::tm tm{};
    unsigned long nanoseconds = 0;
    // Without nanoseconds where the inode has none.
    if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d.%lu", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                    &tm.tm_min, &tm.tm_sec, &nanoseconds) < 6)
        return 0;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    return UnixToUtcTicks(timegm(&tm), static_cast<uint32_t>(nanoseconds));
}

}  // namespace

IstatFacts Istat(const std::string& image, uint32_t inode) {
    std::string out;
    RunShell("TZ=UTC istat '" + image + "' " + std::to_string(inode) + " 2>/dev/null", &out);
    IstatFacts facts;
    std::istringstream lines(out);
    const std::pair<const char*, uint64_t*> times[] = {{"Accessed:\t", &facts.times.accessed},
                                                       {"File Modified:\t", &facts.times.modified},
                                                       {"Inode Modified:\t", &facts.times.changed},
                                                       {"File Created:\t", &facts.times.created}};
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("size: ", 0) == 0) facts.size = std::strtoull(line.c_str() + 6, nullptr, 10);
        for (const auto& [label, field] : times)
            if (line.rfind(label, 0) == 0) *field = IstatTicks(line.substr(std::string(label).size()));
    }
    return facts;
}

std::vector<uint8_t> Icat(const std::string& image, uint32_t inode) {
    TempDir tmp;
    const std::string out = tmp.File("icat.out");
    RunShell("icat '" + image + "' " + std::to_string(inode) + " > '" + out + "'");
    return ReadFileBytes(out);
}

uint64_t BlockOffset(const std::string& image, const std::string& path, uint32_t logical, uint32_t blockSize) {
    std::string out;
    RunShell("(debugfs -R 'bmap " + path + " " + std::to_string(logical) + "' '" + image + "' 2>/dev/null)", &out);
    // The block number is printed without a line break; take the leading digits.
    return std::strtoull(out.c_str(), nullptr, 10) * blockSize;
}

std::vector<uint8_t> Le32Bytes(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}
std::vector<uint8_t> Le16Bytes(uint16_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }

}  // namespace delvora::test
