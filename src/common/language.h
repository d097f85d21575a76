#pragma once
// Which language the programs speak: Chinese unless the reader asks for
// English by option or by locale.
#include <optional>
#include <string_view>

namespace delvora {

enum class Language { kChinese, kEnglish };

/// "zh" or "en" (as --lang takes them); nothing for any other word.
std::optional<Language> ParseLanguage(std::string_view word);

/// The language of a locale: the first set of LC_ALL, LC_MESSAGES and LANG
/// (the order in which the C library looks at them) decides; English for
/// en, en_US.UTF-8 and the like, Chinese for every other locale, C included.
Language LanguageOfLocale(const char* lcAll, const char* lcMessages, const char* lang);

/// LanguageOfLocale over this process's environment.
Language EnvironmentLanguage();

}  // namespace delvora
