// The carver over sectors built in the test, fed in buffers of different
// sizes (the hits must not depend on them), and the carve command over a raw
// image with a page and a compound document planted in it.
#include <gtest/gtest.h>

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
    ASSERT_GT(doc.size(), 12 * 512u);
    // The same document three times: intact; with a byte order the header
    // rule cannot read (the CompObj stream's sector ends it then); and
    // behind a NUL text (a name of the extension alone).
    auto broken = doc;
    broken[0x1C] = 0;
    auto nameless = doc;
    std::memset(&nameless[3 * 512], 0, 2);
    std::vector<uint8_t> image(5 * 512, 'y');
    const size_t at1 = 5, at2 = at1 + doc.size() / 512 + 2, at3 = at2 + doc.size() / 512 + 1;
    for (const std::vector<uint8_t>* part : {&doc, static_cast<const std::vector<uint8_t>*>(&broken), static_cast<const std::vector<uint8_t>*>(&nameless)}) {
        image.insert(image.end(), part->begin(), part->end());
        image.insert(image.end(), part == &doc ? 1024 : 512, 'z');
    }
    // The CompObj stream sits in the mini stream: sector 25 of the file.
    size_t compObj = 0;
    for (size_t s = 11; s * 512 < doc.size(); ++s)
        if (doc[s * 512] == 1 && doc[s * 512 + 2] == 0xFE && !compObj) compObj = s;
    ASSERT_GT(compObj, 10u);
    const std::vector<Hit> expected{{"Minutes.doc", at1, doc.size() / 512, doc.size()},
                                    {"Minutes.doc", at2, compObj + 1, (compObj + 1) * 512},
                                    {".doc", at3, doc.size() / 512, doc.size()}};
    for (size_t per : {1, 4, 128}) {
        const Carver carver = CarveIn(image, per);
        EXPECT_EQ(Hits(carver.DocHits()), expected) << "buffers of " << per;
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
    EXPECT_EQ(r.out, "{\"html\":1,\"doc\":1,\"exported\":2,\"skipped\":0,\"failed\":0,\"unreadableSectors\":0}\n");
    const auto gotPage = test::ReadFileBytes(dir.File("out/HTML/plan b.htm"));
    EXPECT_EQ(std::string(gotPage.begin(), gotPage.end()), page);
    EXPECT_EQ(test::ReadFileBytes(dir.File("out/DOC/Budget.doc")), doc);
    EXPECT_EQ(test::RunCli(dir, "carve '" + dir.File("raw.img") + "' --raw --to '" + dir.File("o2") + "'").status, 2);
}

}  // namespace
}  // namespace delvora
