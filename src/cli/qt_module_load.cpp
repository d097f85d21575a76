#include "cli/qt_module.h"

#include <dlfcn.h>

#include <cstring>
#include <filesystem>
#include <system_error>

namespace delvora::cli {
namespace {

struct Loaded {
    const QtModule* module = nullptr;
    std::string error;
};

Loaded Load() {
    Loaded loaded;
    const std::filesystem::path folder = ProgramFolder();
    // Never a path relative to the working folder: that would run whatever
    // library stands there.
    if (folder.empty()) {
        loaded.error = std::string("cannot load ") + kQtModuleFile + ": the program's folder is unknown";
        return loaded;
    }
    // The build tree keeps the module beside the program; a package puts it
    // in a private library folder at a fixed place relative to the program.
    const std::filesystem::path candidates[] = {folder / kQtModuleFile,
                                                (folder / DELVORA_QT_MODULE_DIR / kQtModuleFile).lexically_normal()};
    for (const auto& path : candidates) {
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) continue;
        // RTLD_NOW: a module that does not fit the program fails here, with
        // the missing symbol named, not halfway through a command.
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* reason = dlerror();
            loaded.error = "cannot load " + path.string() + ": " + (reason ? reason : "unknown reason");
            return loaded;
        }
        using Entry = const QtModule* (*)();
        const auto entry = reinterpret_cast<Entry>(dlsym(handle, "delvora_cli_qt_module"));
        const QtModule* module = entry ? entry() : nullptr;
        if (!module || !module->version || std::strcmp(module->version, DELVORA_VERSION) != 0) {
            loaded.error = "cannot load " + path.string() + ": it is not the module of delvora-cli " DELVORA_VERSION;
            dlclose(handle);
            return loaded;
        }
        loaded.module = module;  // stays loaded for the rest of the run
        return loaded;
    }
    loaded.error = std::string("cannot load ") + kQtModuleFile + ": not in " + candidates[0].parent_path().string() +
                   " nor in " + candidates[1].parent_path().string();
    return loaded;
}

}  // namespace

const QtModule* LoadQtModule(std::string& error) {
    static const Loaded s_loaded = Load();
    if (!s_loaded.module) error = s_loaded.error;
    return s_loaded.module;
}

std::string ProgramFolder() {
    std::error_code ec;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : program.parent_path().string();
}

}  // namespace delvora::cli
