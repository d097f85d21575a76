// script: runs a script against the Delvora object, headless. The script host
// needs Qt, so the work happens in the Qt module.
#include "cli/cli.h"
#include "cli/qt_module.h"

namespace delvora::cli {
namespace {

int Script(Env& env, const Args& args) {
    std::string error;
    const QtModule* module = LoadQtModule(error);
    if (!module) return Fail(kFailed, error);
    return module->script(env, args);
}

const bool kRegistered =
    RegisterCommand({"script", "script FILE.js [--timeout SECONDS] | script --default",
                     "run a script against the Delvora object; prints its result list (--default: the starting script)",
                     {"--timeout"}, {"--default"}, &Script});

}  // namespace
}  // namespace delvora::cli
