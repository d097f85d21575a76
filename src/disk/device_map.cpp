#include "disk/device_map.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/reporting.h"
#include "common/text_format.h"

namespace delvora {
namespace {

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// Unescapes the octal escapes (\040 for a blank) of /proc/self/mountinfo.
std::string UnescapeMount(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() &&
            std::isdigit(static_cast<unsigned char>(s[i + 1]))) {
            out.push_back(static_cast<char>(std::stoi(std::string(s.substr(i + 1, 3)), nullptr, 8)));
            i += 3;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

}  // namespace

DeviceMap DeviceMap::Discover() {
    DeviceMap map;
    namespace fs = std::filesystem;
    std::error_code ec;
    std::vector<std::string> disks;
    for (const auto& entry : fs::directory_iterator("/sys/block", ec)) {
        const std::string name = entry.path().filename().string();
        // Loop, RAM and device-mapper nodes are not physical drives.
        if (name.rfind("loop", 0) == 0 || name.rfind("ram", 0) == 0 || name.rfind("zram", 0) == 0 ||
            name.rfind("dm-", 0) == 0 || name.rfind("fd", 0) == 0 || name.rfind("sr", 0) == 0)
            continue;
        disks.push_back(name);
    }
    std::sort(disks.begin(), disks.end());
    for (size_t i = 0; i < disks.size(); ++i)
        map.Set(Format("PHYSICALDRIVE%zu", i), "/dev/" + disks[i]);
    if (fs::exists("/dev/fd0", ec)) map.Set("A:", "/dev/fd0");

    std::ifstream mounts("/proc/self/mountinfo");
    std::string line;
    char letter = 'C';
    std::vector<std::string> seen;
    while (letter <= 'Z' && std::getline(mounts, line)) {
        // Fields after " - " are: fstype, source, options.
        const size_t dash = line.find(" - ");
        if (dash == std::string::npos) continue;
        std::istringstream rest(line.substr(dash + 3));
        std::string fstype, source;
        rest >> fstype >> source;
        source = UnescapeMount(source);
        if (source.rfind("/dev/", 0) != 0) continue;
        if (std::find(seen.begin(), seen.end(), source) != seen.end()) continue;
        seen.push_back(source);
        map.Set(std::string(1, letter) + ":", source);
        ++letter;
    }
    return map;
}

bool DeviceMap::Parse(std::string_view text, DeviceMap& out, std::string& error) {
    size_t lineNo = 0;
    while (!text.empty()) {
        ++lineNo;
        const size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        const size_t hash = line.find('#');
        if (hash != std::string_view::npos) line = line.substr(0, hash);
        line = Trim(line);
        if (line.empty()) continue;
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos || Trim(line.substr(0, eq)).empty() ||
            Trim(line.substr(eq + 1)).empty()) {
            error = Format("device map line %zu: expected NAME=PATH", lineNo);
            return false;
        }
        out.Set(std::string(Trim(line.substr(0, eq))), std::string(Trim(line.substr(eq + 1))));
    }
    return true;
}

bool DeviceMap::ReadMapFile(const std::string& path, std::string& text, std::string& error) {
    // Non-blocking, so that opening a FIFO does not wait for a writer; only
    // a regular file is read, and only up to the bound.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot read device map " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    if (!ok) {
        error = "cannot read device map " + path + ": " + std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
        error = "device map " + path + " is not a regular file";
        ok = false;
    } else if (static_cast<uint64_t>(st.st_size) > kMaxMapFileBytes) {
        error = Format("device map %s is larger than %llu bytes", path.c_str(),
                       static_cast<unsigned long long>(kMaxMapFileBytes));
        ok = false;
    }
    text.clear();
    char buffer[65536];
    // A file that grows while it is read is bounded all the same.
    while (ok) {
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = "cannot read device map " + path + ": " + std::strerror(errno);
            ok = false;
        } else if (n == 0) {
            break;
        } else if (text.size() + static_cast<size_t>(n) > kMaxMapFileBytes) {
            error = Format("device map %s is larger than %llu bytes", path.c_str(),
                           static_cast<unsigned long long>(kMaxMapFileBytes));
            ok = false;
        } else {
            text.append(buffer, static_cast<size_t>(n));
        }
    }
    ::close(fd);
    return ok;
}

bool DeviceMap::LoadFile(const std::string& path, DeviceMap& out, std::string& error) {
    std::string text;
    if (!ReadMapFile(path, text, error)) return false;
    // Relative image paths are taken relative to the map file's folder.
    DeviceMap parsed;
    if (!Parse(text, parsed, error)) return false;
    const auto base = std::filesystem::path(path).parent_path();
    for (auto& [name, target] : parsed.m_entries) {
        if (!target.empty() && target.front() != '/') target = (base / target).lexically_normal().string();
        out.Set(name, target);
    }
    return true;
}

void DeviceMap::Set(std::string name, std::string path) {
    const std::string key = Upper(name);
    for (auto& entry : m_entries) {
        if (entry.first == key) {
            entry.second = std::move(path);
            return;
        }
    }
    m_entries.emplace_back(key, std::move(path));
}

std::string DeviceMap::Resolve(std::string_view name) const {
    if (!name.empty() && name.front() == '/') return std::string(name);
    const std::string key = Upper(name);
    for (const auto& entry : m_entries)
        if (entry.first == key) return entry.second;
    return {};
}

bool DeviceMap::Contains(std::string_view name) const { return !Resolve(name).empty(); }

std::vector<std::string> DeviceMap::Names() const {
    std::vector<std::string> names;
    for (const auto& entry : m_entries) names.push_back(entry.first);
    return names;
}

const DeviceMap& DevicesOf(const CoreContext& context) {
    static const DeviceMap s_system = DeviceMap::Discover();
    return context.devices ? *context.devices : s_system;
}

uint32_t DeviceMap::LogicalDriveMask() const {
    uint32_t mask = 0;
    for (const auto& entry : m_entries) {
        const std::string& n = entry.first;
        if (n.size() == 2 && n[1] == ':' && n[0] >= 'A' && n[0] <= 'Z') mask |= 1u << (n[0] - 'A');
    }
    return mask;
}

}  // namespace delvora
