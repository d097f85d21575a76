#include "recovery/export_names.h"

#include <gtest/gtest.h>

#include "common/codepage.h"
#include "recovery/export_filter.h"

namespace delvora {
namespace {

TEST(ExportCommandName, DropsControlSpaceBangAndReservedButKeepsMultiByte) {
    EXPECT_EQ(ExportCommandName("a b!.txt"), "ab.txt");
    EXPECT_EQ(ExportCommandName("x\\y/z:w\"v<u>t|s*r?q.dat"), "xyzwvutsrq.dat");
    EXPECT_EQ(ExportCommandName(std::string("\x01\x1f\ttab\x7f", 8)), "tab\x7f");
    EXPECT_EQ(ExportCommandName("#$%&'()+,-.;=@[]^_`{}~"), "#$%&'()+,-.;=@[]^_`{}~");
    EXPECT_EQ(ExportCommandName("报告 1.doc"), "报告1.doc");
}

TEST(SafeFileName, NeverNamesTheFolderItsParentOrAnotherFolder) {
    EXPECT_EQ(SafeFileName(""), "_");
    EXPECT_EQ(SafeFileName("."), "_");
    EXPECT_EQ(SafeFileName(".."), "__");
    EXPECT_EQ(SafeFileName("../../etc/passwd"), ".._.._etc_passwd");
    EXPECT_EQ(SafeFileName("..\\..\\x"), ".._.._x");
    EXPECT_EQ(SafeFileName(std::string("a\0b\nc", 5)), "a_b_c");
    EXPECT_EQ(SafeFileName("a:b*c?.txt"), "a_b_c_.txt");
    EXPECT_EQ(SafeFileName("...."), "____");
    EXPECT_EQ(SafeFileName(".hidden"), ".hidden");
    EXPECT_EQ(SafeFileName("文件.txt"), "文件.txt");
}

TEST(SafeFileName, LongNamesAreCutAtACharacterBoundary) {
    std::string name;
    for (int i = 0; i < 100; ++i) name += "文";  // 300 bytes
    const std::string safe = SafeFileName(name);
    EXPECT_EQ(safe.size(), 255u);  // 85 whole characters
    EXPECT_EQ(SanitizeUtf8(safe), safe);
    const std::string odd = "x" + name;  // the cut falls inside a character
    EXPECT_EQ(SafeFileName(odd).size(), 253u);
    EXPECT_EQ(SanitizeUtf8(SafeFileName(odd)), SafeFileName(odd));
}

TEST(NumberedName, NumberGoesBeforeTheExtension) {
    EXPECT_EQ(NumberedName("name.ext", 2), "name (2).ext");
    EXPECT_EQ(NumberedName("a.b.c", 3), "a.b (3).c");
    EXPECT_EQ(NumberedName("noext", 2), "noext (2)");
    EXPECT_EQ(NumberedName(".bashrc", 2), ".bashrc (2)");
    EXPECT_EQ(NumberedName("trailing.", 2), "trailing (2).");
    const std::string longStem(250, 's');
    const std::string numbered = NumberedName(longStem + ".txt", 12);
    EXPECT_EQ(numbered.size(), kMaxNameBytes);
    EXPECT_EQ(numbered.substr(numbered.size() - 9), " (12).txt");
    const std::string longExt = "a." + std::string(252, 'e');
    EXPECT_LE(NumberedName(longExt, 7).size(), kMaxNameBytes);
    EXPECT_NE(NumberedName(longExt, 7), NumberedName(longExt, 8));
}

// Names longer than the target allows lose bytes of the stem, whole
// characters only, and keep their extension.
TEST(FitName, LongNamesKeepTheirExtension) {
    std::string han;
    for (int i = 0; i < 100; ++i) han += "文";  // 300 bytes
    const struct {
        std::string name, suffix, tail;
        size_t size;
    } cases[] = {
        {"short.txt", "", "short.txt", 9},
        {std::string(300, 'a') + ".txt", "", std::string(10, 'a') + ".txt", 255},
        {han + ".txt", "", "文.txt", 253},  // 83 whole characters + ".txt"
        {"x" + han + ".doc", "", "文.doc", 254},   // x + 83 characters
        {han + ".txt", " (2)", "文 (2).txt", 254},  // 82 characters
        {"." + std::string(300, 'h'), "", "hhh", 255},  // a leading dot starts no extension
    };
    for (const auto& c : cases) {
        const std::string fitted = FitName(c.name, c.suffix);
        EXPECT_EQ(fitted.size(), c.size) << c.name;
        EXPECT_EQ(fitted.substr(fitted.size() - std::min(fitted.size(), c.tail.size())), c.tail) << c.name;
        EXPECT_EQ(SanitizeUtf8(fitted), fitted) << c.name;
    }
    EXPECT_EQ(SafeFileName(han + ".txt").substr(246), "文.txt");
}

TEST(TempCopyName, StemWithTheItemsExtensionMadeSafe) {
    EXPECT_EQ(TempCopyName("a", "Report.DOC"), "a.DOC");
    EXPECT_EQ(TempCopyName("web", "index.html"), "web.html");
    EXPECT_EQ(TempCopyName("a", "README"), "a");
    EXPECT_EQ(TempCopyName("a", "x./../../etc"), "a._etc");
    EXPECT_EQ(TempCopyName("a", "x.."), "a");
}

TEST(ExportFilter, ExtensionsAndPrefixesCompareWithoutCase) {
    const std::vector<std::string> exts{"tmp", "bak"};
    EXPECT_TRUE(HasExcludedExtension("A.TMP", exts));
    EXPECT_TRUE(HasExcludedExtension("x.y.bak", exts));
    EXPECT_FALSE(HasExcludedExtension("a.tmp.txt", exts));
    EXPECT_FALSE(HasExcludedExtension("tmp", exts));
    EXPECT_FALSE(HasExcludedExtension("a.tmpx", exts));
    const std::vector<std::string> prefixes{"~", "$", "Thumbs"};
    EXPECT_TRUE(HasIgnoredPrefix("~WRL0001.TMP", prefixes));
    EXPECT_TRUE(HasIgnoredPrefix("$MFT", prefixes));
    EXPECT_TRUE(HasIgnoredPrefix("THUMBS.DB", prefixes));
    EXPECT_FALSE(HasIgnoredPrefix("a~", prefixes));
    EXPECT_FALSE(HasIgnoredPrefix("Thumb", prefixes));
}

TEST(ExportFilter, OptionTextsRoundTrip) {
    EXPECT_EQ(ParseExtensionText("tmp;;.bak."), (std::vector<std::string>{"tmp", "bak"}));
    EXPECT_EQ(ParseExtensionText(".tmp;.bak"), ParseExtensionText("tmp;bak"));
    EXPECT_TRUE(ParseExtensionText(";;.;").empty());
    EXPECT_EQ(ParsePrefixText("~;$;;"), (std::vector<std::string>{"~", "$"}));
    EXPECT_EQ(FormatExtensionText({"tmp"}), ".tmp;");
    EXPECT_EQ(FormatPrefixText({"~", "$"}), "~;$;");
    EXPECT_EQ(ParseExtensionText(FormatExtensionText({"tmp", "bak"})), (std::vector<std::string>{"tmp", "bak"}));
}

}  // namespace
}  // namespace delvora
