// The language choice from the locale, and the core's translation hook.
#include <gtest/gtest.h>

#include <string>

#include "common/language.h"
#include "common/text_format.h"
#include "common/translation.h"

namespace delvora {
namespace {

TEST(Language, LocaleDecidesByTheFirstSetVariable) {
    struct Case {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        Language expected;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, Language::kChinese},
        {nullptr, nullptr, "C", Language::kChinese},
        {nullptr, nullptr, "POSIX", Language::kChinese},
        {nullptr, nullptr, "C.UTF-8", Language::kChinese},
        {nullptr, nullptr, "zh_CN.UTF-8", Language::kChinese},
        {nullptr, nullptr, "de_DE.UTF-8", Language::kChinese},
        {nullptr, nullptr, "en_US.UTF-8", Language::kEnglish},
        {nullptr, nullptr, "en_GB", Language::kEnglish},
        {nullptr, nullptr, "en", Language::kEnglish},
        {nullptr, nullptr, "en@quot", Language::kEnglish},
        {nullptr, nullptr, "eo", Language::kChinese},
        {nullptr, nullptr, "enx_XX", Language::kChinese},
        // LC_ALL overrides everything, LC_MESSAGES overrides LANG; empty counts as unset.
        {"C", nullptr, "en_US.UTF-8", Language::kChinese},
        {"en_US.UTF-8", "zh_CN.UTF-8", "C", Language::kEnglish},
        {nullptr, "en_AU.UTF-8", "zh_CN.UTF-8", Language::kEnglish},
        {nullptr, "C", "en_US.UTF-8", Language::kChinese},
        {"", "", "en_US.UTF-8", Language::kEnglish},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LanguageOfLocale(c.lcAll, c.lcMessages, c.lang), c.expected)
            << (c.lcAll ? c.lcAll : "-") << " " << (c.lcMessages ? c.lcMessages : "-") << " " << (c.lang ? c.lang : "-");
}

TEST(Language, OptionWords) {
    EXPECT_EQ(ParseLanguage("zh"), Language::kChinese);
    EXPECT_EQ(ParseLanguage("en"), Language::kEnglish);
    for (const char* word : {"", "EN", "english", "zh_CN", "de"}) EXPECT_FALSE(ParseLanguage(word)) << word;
}

TEST(Translation, TranslatorAnswersOrTheSourceStands) {
    EXPECT_STREQ(Tr("Test", "找到 %zu 个"), "找到 %zu 个");
    int calls = 0;
    InstallTranslator([&calls](const char* context, const char* source) {
        ++calls;
        if (std::string(context) == "Test" && std::string(source) == "找到 %zu 个") return std::string("%zu found");
        return std::string();
    });
    const char* first = Tr("Test", "找到 %zu 个");
    EXPECT_EQ(Format(first, size_t{3}), "3 found");
    // The answer is kept: the same text again costs no second call and keeps its address.
    EXPECT_EQ(Tr("Test", "找到 %zu 个"), first);
    EXPECT_EQ(calls, 1);
    // Untranslated texts and other contexts show the source.
    EXPECT_STREQ(Tr("Test", "没有译文"), "没有译文");
    EXPECT_STREQ(Tr("Other", "找到 %zu 个"), "找到 %zu 个");
    InstallTranslator({});
    EXPECT_STREQ(Tr("Test", "找到 %zu 个"), "找到 %zu 个");
    // A worker may still hold an answer of the translator before.
    EXPECT_STREQ(first, "%zu found");
}

}  // namespace
}  // namespace delvora
