#include "common/language.h"

#include <cstdlib>

namespace delvora {

std::optional<Language> ParseLanguage(std::string_view word) {
    if (word == "zh") return Language::kChinese;
    if (word == "en") return Language::kEnglish;
    return std::nullopt;
}

Language LanguageOfLocale(const char* lcAll, const char* lcMessages, const char* lang) {
    for (const char* value : {lcAll, lcMessages, lang}) {
        if (!value || !*value) continue;
        const std::string_view locale(value);
        // "en" alone or with a territory, code set or modifier (en_GB, en.UTF-8, en@x).
        const bool english = locale.starts_with("en") && (locale.size() == 2 || locale[2] == '_' ||
                                                          locale[2] == '.' || locale[2] == '@');
        return english ? Language::kEnglish : Language::kChinese;
    }
    return Language::kChinese;
}

Language EnvironmentLanguage() {
    return LanguageOfLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

}  // namespace delvora
