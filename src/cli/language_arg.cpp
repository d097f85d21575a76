#include "cli/language_arg.h"

#include <cstdio>

#include "common/language.h"
#ifdef DELVORA_HAVE_TRANSLATION
#include "cli/qt_module.h"
#endif

namespace delvora::cli {

bool ApplyLanguage(const std::string* word, std::string& error) {
    Language language = EnvironmentLanguage();
    if (word) {
        const auto chosen = ParseLanguage(*word);
        if (!chosen) {
            error = "--lang takes zh or en: " + *word;
            return false;
        }
        language = *chosen;
    }
#ifdef DELVORA_HAVE_TRANSLATION
    // The source texts are Chinese: only another language needs the
    // translation, and with it the Qt module.
    if (language == Language::kChinese) return true;
    // The translations are found beside the program, wherever it was started from.
    std::string message;
    const QtModule* qt = LoadQtModule(message);
    if (!qt || !qt->useLanguage(language, ProgramFolder(), message))
        std::fprintf(stderr, "delvora-cli: %s\n", message.c_str());
#else
    if (language == Language::kEnglish)
        std::fprintf(stderr, "delvora-cli: built without translations; the core's texts stay Chinese\n");
#endif
    return true;
}

}  // namespace delvora::cli
