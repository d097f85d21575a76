#include "recovery/scratch_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "fs/file_item.h"
#include "recovery/export_item.h"
#include "recovery/export_names.h"

namespace delvora {
namespace {

bool ExportTempCopy(Volume* volume, FileItem* item, const ScratchFolder& scratch, std::string_view stem,
                    std::string& outPath) {
    outPath.clear();
    if (!volume || !item || !scratch.Ok()) return false;
    const std::string path = scratch.Path() + TempCopyName(stem, item->name ? item->name : "");
    if (!ExportItem(volume, item, path)) return false;
    outPath = path;
    return true;
}

}  // namespace

std::string ScratchFolder::DefaultParent() {
    // XDG asks for an absolute path; anything else is ignored.
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && cache[0] == '/') return std::string(cache) + "/delvora";
    const char* home = std::getenv("HOME");
    std::string strHome = home && home[0] == '/' ? home : "";
    if (strHome.empty()) {
        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) strHome = pw->pw_dir;
    }
    if (strHome.empty()) strHome = "/tmp";
    return strHome + "/.cache/delvora";
}

ScratchFolder::ScratchFolder() { Create(DefaultParent()); }

ScratchFolder::ScratchFolder(const std::string& parent) { Create(parent); }

void ScratchFolder::Create(const std::string& parent) {
    std::filesystem::path path = std::filesystem::path(parent) / "MyTemp";
    m_strPath = path.string() + "/";
    std::error_code error;
    std::filesystem::create_directories(path, error);
    // A link planted in the cache folder must not send the copies elsewhere.
    m_bOk = std::filesystem::is_directory(std::filesystem::symlink_status(path, error));
}

void ScratchFolder::Empty() {
    if (!m_bOk) return;
    std::error_code error;
    const std::filesystem::path path(m_strPath);
    // Listed first, removed after: removing while reading the folder may skip entries.
    std::vector<std::filesystem::path> entries;
    for (std::filesystem::directory_iterator it(path, error), end; !error && it != end; it.increment(error))
        entries.push_back(it->path());
    for (const auto& entry : entries) std::filesystem::remove_all(entry, error);
}

ScratchFolder::~ScratchFolder() {
    if (!m_bOk) return;
    Empty();
    std::error_code error;
    std::filesystem::remove(std::filesystem::path(m_strPath), error);
}

bool ExportForOpen(Volume* volume, FileItem* item, const ScratchFolder& scratch, std::string& outPath) {
    return ExportTempCopy(volume, item, scratch, "a", outPath);
}

bool ExportForWebView(Volume* volume, FileItem* item, const ScratchFolder& scratch, std::string& outPath) {
    return ExportTempCopy(volume, item, scratch, "web", outPath);
}

}  // namespace delvora
