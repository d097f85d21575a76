#include "common/translation.h"

#include <mutex>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace delvora {
namespace {

struct Translations {
    std::mutex mutex;
    Translator translator;
    // Bumped by every install; part of the cache key, so that answers of an
    // earlier translator stay valid for whoever still holds them.
    unsigned generation = 0;
    // One entry per source text and install: the texts are literals in the
    // program and installs happen once per run (a few times in tests), so the
    // cache stays small. Node-based, so the answers keep their addresses.
    std::unordered_map<std::string, std::string> cache;
};

Translations& State() {
    static Translations s_state;
    return s_state;
}

}  // namespace

void InstallTranslator(Translator translator) {
    Translations& state = State();
    const std::lock_guard lock(state.mutex);
    state.translator = std::move(translator);
    ++state.generation;
}

const char* Tr(const char* context, const char* source) {
    Translations& state = State();
    const std::lock_guard lock(state.mutex);
    if (!state.translator) return source;
    // The context and the source cannot hold a NUL, so the key is unambiguous.
    std::string key = std::to_string(state.generation) + '\0' + context + '\0' + source;
    auto it = state.cache.find(key);
    if (it == state.cache.end()) it = state.cache.emplace(std::move(key), state.translator(context, source)).first;
    return it->second.empty() ? source : it->second.c_str();
}

}  // namespace delvora
