// A raw image cut into parts (split, FTK and the like): NAME.000/.001 …,
// NAME.aa/.ab …, read as one disk.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <mutex>

#include "disk/container_readers.h"

namespace delvora {
namespace {

// More parts than any acquisition tool makes; a bound on the probing.
constexpr size_t kMaxParts = 100000;

// The next suffix in the same style and width ("009" → "010", "az" → "ba");
// empty when the width is used up.
std::string NextSuffix(std::string suffix) {
    for (size_t i = suffix.size(); i-- > 0;) {
        char& c = suffix[i];
        if (c == '9') { c = '0'; continue; }
        if (c == 'z') { c = 'a'; continue; }
        if (c == 'Z') { c = 'A'; continue; }
        ++c;
        return suffix;
    }
    return {};
}

// A first part's suffix: 00…0 or 00…1, or aa…a (either case), two or more wide.
bool IsFirstSuffix(const std::string& suffix) {
    if (suffix.size() < 2) return false;
    const std::string head = suffix.substr(0, suffix.size() - 1);
    const char last = suffix.back();
    if (std::all_of(suffix.begin(), suffix.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
        return std::all_of(head.begin(), head.end(), [](char c) { return c == '0'; }) && (last == '0' || last == '1');
    return std::all_of(suffix.begin(), suffix.end(), [](char c) { return c == 'a'; }) ||
           std::all_of(suffix.begin(), suffix.end(), [](char c) { return c == 'A'; });
}

bool FileSize(const std::string& path, uint64_t& size) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    size = static_cast<uint64_t>(st.st_size);
    return true;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

class SplitRawReader final : public BlockBackend {
public:
    SplitRawReader(std::vector<std::string> parts, std::vector<uint64_t> sizes)
        : m_parts(std::move(parts)), m_sizes(std::move(sizes)) {
        for (uint64_t size : m_sizes) {
            m_starts.push_back(m_nSize);
            m_nSize += size;
        }
    }
    uint64_t Size() const override { return m_nSize; }

    int ReadAt(uint8_t* buffer, size_t count, uint64_t offset) override {
        if (offset > m_nSize || count > m_nSize - offset) return EIO;
        std::lock_guard lock(m_mutex);
        size_t index = static_cast<size_t>(std::upper_bound(m_starts.begin(), m_starts.end(), offset) - m_starts.begin()) - 1;
        // Bounded: every round reads at least one byte of a part or returns.
        while (count > 0) {
            if (index >= m_parts.size()) return EIO;
            const uint64_t within = offset - m_starts[index];
            const size_t piece = static_cast<size_t>(std::min<uint64_t>(count, m_sizes[index] - within));
            if (piece == 0) { ++index; continue; }
            // One part open at a time: a set of thousands of parts must not
            // run out of file descriptors.
            if (m_nOpen != index || !m_pOpen) {
                int error = 0;
                m_pOpen = FdBackend::Open(m_parts[index], error);
                m_nOpen = index;
                if (!m_pOpen) return error ? error : EIO;
            }
            if (const int error = m_pOpen->ReadAt(buffer, piece, within); error != 0) return error;
            buffer += piece;
            offset += piece;
            count -= piece;
            ++index;
        }
        return 0;
    }

private:
    std::vector<std::string> m_parts;
    std::vector<uint64_t> m_sizes;
    std::vector<uint64_t> m_starts;
    uint64_t m_nSize = 0;
    std::mutex m_mutex;
    std::unique_ptr<FdBackend> m_pOpen;
    size_t m_nOpen = 0;
};

}  // namespace

bool SplitRawParts(const std::string& path, std::vector<std::string>& parts, std::string& error) {
    parts = {path};
    const std::string base = BaseName(path);
    const size_t dot = base.find_last_of('.');
    if (dot == std::string::npos || dot == 0) return true;
    std::string suffix = base.substr(dot + 1);
    if (!IsFirstSuffix(suffix)) return true;
    const std::string stem = path.substr(0, path.size() - suffix.size());
    uint64_t firstSize = 0, size = 0;
    if (!FileSize(path, firstSize)) return true;
    std::vector<uint64_t> sizes{firstSize};
    // Bounded by kMaxParts and by the suffix's width.
    while (parts.size() < kMaxParts) {
        suffix = NextSuffix(suffix);
        if (suffix.empty() || !FileSize(stem + suffix, size)) break;
        parts.push_back(stem + suffix);
        sizes.push_back(size);
    }
    if (parts.size() == 1) return true;
    const std::string after = suffix.empty() ? std::string() : NextSuffix(suffix);
    if (!after.empty() && FileSize(stem + after, size)) {
        error = "split image part " + BaseName(stem + suffix) + " is missing (" + BaseName(stem + after) + " follows)";
        return false;
    }
    for (size_t i = 1; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        if ((!last && sizes[i] != firstSize) || (last && (sizes[i] == 0 || sizes[i] > firstSize))) {
            error = "split image part " + BaseName(parts[i]) + " holds " + std::to_string(sizes[i]) +
                    " bytes where the parts hold " + std::to_string(firstSize) + " (cut short or not of this set)";
            return false;
        }
    }
    return true;
}

std::unique_ptr<BlockBackend> OpenSplitRawImage(const std::vector<std::string>& parts, std::string& error) {
    std::vector<uint64_t> sizes;
    for (const auto& part : parts) {
        uint64_t size = 0;
        if (!FileSize(part, size)) {
            error = part + ": " + ErrnoText(ENOENT);
            return nullptr;
        }
        sizes.push_back(size);
    }
    return std::make_unique<SplitRawReader>(parts, std::move(sizes));
}

}  // namespace delvora
