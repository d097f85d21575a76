#pragma once
// The parts of the command line that need Qt (the script host, PNG pictures,
// the English translation) live in a module, delvora-cli-qt.so, loaded only by
// the commands and options that use them: every other command starts without
// mapping Qt and the dozens of libraries it brings.
#include <string>

#include "common/language.h"

namespace delvora {
class DiskMap;
}

namespace delvora::cli {

struct Env;
class Args;

/// What the module offers. The program and its module come from one build
/// (the version is compared on loading), so C++ types may cross.
struct QtModule {
    const char* version;
    /// The script command, after the command line's own parsing.
    int (*script)(Env& env, const Args& args);
    /// Draws the disk map as a PNG file; false with a reason in error.
    bool (*saveDiskMapPicture)(const DiskMap& map, const std::string& path, std::string& error);
    /// Installs the translation of language for the core's texts (the .qm
    /// files are looked for relative to programFolder); false with a reason.
    bool (*useLanguage)(Language language, const std::string& programFolder, std::string& error);
};

inline constexpr const char* kQtModuleFile = "delvora-cli-qt.so";

/// Loads the module at the first call, beside the program (the build tree)
/// or else in the installed library folder, and answers its table; nullptr
/// with "cannot load …" in error when neither holds a usable module.
const QtModule* LoadQtModule(std::string& error);

/// The folder of the running program ("" when the system does not say).
std::string ProgramFolder();

}  // namespace delvora::cli

/// The module's one exported symbol.
extern "C" const delvora::cli::QtModule* delvora_cli_qt_module();
