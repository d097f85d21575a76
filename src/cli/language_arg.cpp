#include "cli/language_arg.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "common/language.h"
#ifdef DELVORA_HAVE_TRANSLATION
#include "translation/qt_translation.h"
#endif

namespace delvora::cli {

bool ApplyLanguage(const std::string* word, const char* programPath, std::string& error) {
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
    // The translations are found beside the program, wherever it was started from.
    std::error_code ec;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) program = programPath;
    QString message;
    if (!UseLanguage(language, QString::fromStdString(program.parent_path().string()), message))
        std::fprintf(stderr, "delvora-cli: %s\n", message.toUtf8().constData());
#else
    (void)programPath;
    if (language == Language::kEnglish)
        std::fprintf(stderr, "delvora-cli: built without translations; the core's texts stay Chinese\n");
#endif
    return true;
}

}  // namespace delvora::cli
