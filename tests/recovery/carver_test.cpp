// The carver over sectors built in the test, fed in buffers of different
// sizes (the hits must not depend on them), and the carve command over a raw
// image with a page and a compound document planted in it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "recovery/carver.h"
#include "support/recorders.h"

namespace delvora {
namespace {

using test::TempDir;

struct Plant {
    size_t sector;
    size_t offset;
    std::string text;
};

struct Hit {
    std::string name;
    uint64_t start, count, size;
    bool operator==(const Hit&) const = default;
};

std::vector<uint8_t> Image(size_t sectors, const std::vector<Plant>& plants) {
    std::vector<uint8_t> image(sectors * 512, 'x');
    for (const Plant& p : plants) std::memcpy(&image[p.sector * 512 + p.offset], p.text.data(), p.text.size());
    return image;
}

std::vector<Hit> Hits(const std::vector<CarvedFile>& files) {
    std::vector<Hit> out;
    for (const auto& f : files) out.push_back({f.name, f.startSector, f.sectorCount, f.size});
    return out;
}

/// Carves the image in buffers of `per` sectors.
Carver CarveIn(const std::vector<uint8_t>& image, size_t per) {
    Carver carver(true, true);
    carver.SetReader([&image](uint64_t sector, uint8_t* dest, size_t bytes) {
        if (sector * 512 + bytes > image.size()) return false;
        std::memcpy(dest, image.data() + sector * 512, bytes);
        return true;
    }, image.size() / 512);
    for (size_t s = 0; s * 512 < image.size(); s += per)
        carver.Carve(ByteSpan(image).subspan(s * 512, std::min(per * 512, image.size() - s * 512)), s);
    return carver;
}

TEST(Carver, HtmlPagesWhateverTheBufferSize) {
    struct Case {
        const char* what;
        std::vector<Plant> plants;
        std::vector<Hit> expected;
    } cases[] = {
        {"attributes, upper case, a title; the end in the next sector",
         {{2, 10, "<HTML lang=\"en\"><head><TITLE>Report</title>"}, {3, 100, "</HTML>"}},
         {{"report.htm", 2, 2, 512 + 100 + 7}}},
        {"a start tag past the first 256 offsets is no start", {{1, 300, "<html>"}, {2, 0, "</html>"}}, {}},
        {"an empty title gives the default name",
         {{1, 0, "<html><title></title>"}, {1, 200, "</html>"}},
         {{"HTML 1.htm", 1, 1, 207}}},
        {"a closing tag across a sector (and buffer) boundary takes both sectors",
         {{4, 0, "<html>"}, {5, 508, "</html>"}},
         {{"HTML 4.htm", 4, 3, 512 + 508 + 7}}},
        {"an earlier page's closing tag before the start tag does not end the page",
         {{1, 0, "</html><html>"}, {2, 20, "</html>"}},
         {{"HTML 1.htm", 1, 2, 512 + 20 + 7}}},
        {"a title is cut at a NUL and keeps its extension",
         {{1, 0, std::string("<html><title>nul\0after</title>", 30)}, {1, 100, "</html>"}},
         {{"nul.htm", 1, 1, 107}}},
        {"a title that starts with a NUL gives the default name",
         {{1, 0, std::string("<html><title>\0x</title>", 23)}, {1, 100, "</html>"}},
         {{"HTML 1.htm", 1, 1, 107}}},
        {"a title is never a hidden file's name", {{1, 0, "<html><title>..rc</title>"}, {1, 100, "</html>"}},
         {{"rc.htm", 1, 1, 107}}},
        {"<htmlx> starts nothing; a later page is found",
         {{1, 0, "<htmlx>"}, {2, 0, "<html\n>"}, {2, 40, "</html>"}},
         {{"HTML 2.htm", 2, 1, 47}}},
    };
    for (const Case& c : cases) {
        const auto image = Image(9, c.plants);
        for (size_t per : {1, 3, 9}) {
            const Carver carver = CarveIn(image, per);
            EXPECT_EQ(Hits(carver.HtmlHits()), c.expected) << c.what << ", buffers of " << per;
        }
    }
}

std::vector<uint8_t> MakeDoc(const TempDir& dir, const std::string& title) {
    const std::string path = dir.File("made.doc");
    if (test::RunShell("python3 " + std::string(DELVORA_SOURCE_DIR) + "/sample/make-ole-doc '" + path + "' '" +
                       title + "'") != 0)
        return {};
    return test::ReadFileBytes(path);
}

TEST(Carver, CompoundDocumentsEndWhereTheirFatSays) {
    if (!test::HaveTool("python3")) GTEST_SKIP() << "python3 missing";
    TempDir dir;
    const auto doc = MakeDoc(dir, "Minutes");
    ASSERT_EQ(doc.size() % 512, 0u);
    // The same document three times: intact; with a byte order no compound
    // file has (not carved, counted as rejected); and with a title that
    // starts with a NUL (the default name, never an empty or hidden one).
    auto broken = doc;
    broken[0x1C] = 0;
    auto nameless = doc;
    const std::string title = std::string("Minutes") + '\0';
    const auto at = std::search(nameless.begin(), nameless.end(), title.begin(), title.end());
    ASSERT_NE(at, nameless.end());
    *at = 0;
    std::vector<uint8_t> image(5 * 512, 'y');
    const size_t at1 = 5, at3 = at1 + doc.size() / 512 + 2 + doc.size() / 512 + 1;
    for (const std::vector<uint8_t>* part : {&doc, static_cast<const std::vector<uint8_t>*>(&broken), static_cast<const std::vector<uint8_t>*>(&nameless)}) {
        image.insert(image.end(), part->begin(), part->end());
        image.insert(image.end(), part == &doc ? 1024 : 512, 'z');
    }
    const std::vector<Hit> expected{{"Minutes.doc", at1, doc.size() / 512, doc.size()},
                                    {"DOC " + std::to_string(at3) + ".doc", at3, doc.size() / 512, doc.size()}};
    for (size_t per : {1, 4, 128}) {
        const Carver carver = CarveIn(image, per);
        EXPECT_EQ(Hits(carver.Files()), expected) << "buffers of " << per;
        EXPECT_EQ(carver.Rejected(), 1u);
    }
}

TEST(CarveCommand, RawImageGivesPagesAndDocumentsByteExact) {
    if (!test::HaveTool("python3")) GTEST_SKIP() << "python3 missing";
    TempDir dir;
    const auto doc = MakeDoc(dir, "Budget");
    const std::string page = "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>Plan B</title></head>"
                             "<body>" + std::string(900, 'p') + "</body></html>";
    std::vector<uint8_t> image(64 * 512, 0);
    std::memcpy(&image[8 * 512], page.data(), page.size());
    std::memcpy(&image[20 * 512], doc.data(), doc.size());
    ASSERT_TRUE(test::WriteFileBytes(dir.File("raw.img"), image));
    const auto r = test::RunCli(dir, "--json carve '" + dir.File("raw.img") + "' --raw --html --doc --to '" +
                                         dir.File("out") + "' --manifest '" + dir.File("m.csv") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"html\":1,\"doc\":1,\"carved\":2,\"types\":{\"HTML\":1,\"DOC\":1},\"rejected\":0,"
                     "\"exported\":2,\"skipped\":0,\"failed\":0,\"unreadableSectors\":0}\n");
    const auto gotPage = test::ReadFileBytes(dir.File("out/HTML/plan b.htm"));
    EXPECT_EQ(std::string(gotPage.begin(), gotPage.end()), page);
    EXPECT_EQ(test::ReadFileBytes(dir.File("out/DOC/Budget.doc")), doc);
    EXPECT_EQ(test::RunCli(dir, "carve '" + dir.File("raw.img") + "' --raw --to '" + dir.File("o2") + "'").status, 2);
}

}  // namespace
}  // namespace delvora
