// Files made by real tools (PIL pictures with EXIF, zipfile archives and
// documents, ps2pdf, sqlite3, a compound document) planted in a raw image —
// whole, split over a gap, cut short, and as a valid header ahead of random
// bytes — and carved back with the carve command.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "support/recorders.h"

namespace delvora {
namespace {

using test::TempDir;
using Bytes = std::vector<uint8_t>;

constexpr size_t kCluster = 4096;  // the raw carve's cluster

const char* kMakeFiles = R"(
import os, random, sys, zipfile
from PIL import Image
random.seed(7)
out = sys.argv[1]
img = Image.new("RGB", (640, 480))
px = img.load()
for y in range(480):
    for x in range(640):
        px[x, y] = ((x * 7 + y) % 256, (y * 3) % 256, random.randint(0, 255))
exif = Image.Exif()
exif[0x0110] = "TestCam X1"
exif[0x0132] = "2024:05:01 12:30:45"
img.save(out + "/photo.jpg", quality=90, exif=exif.tobytes())
img.save(out + "/plain.jpg", quality=80)
img.save(out + "/pic.png")
img.convert("P").save(out + "/pic.gif")
img.resize((160, 120)).save(out + "/pic.bmp")
img.resize((160, 120)).save(out + "/pic.tif")
with zipfile.ZipFile(out + "/a.zip", "w", zipfile.ZIP_DEFLATED) as z:
    for i in range(4):
        z.writestr("f%d.txt" % i, random.randbytes(20000).hex())
with zipfile.ZipFile(out + "/d.docx", "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("[Content_Types].xml", "<Types/>")
    z.writestr("word/document.xml", "<w:document>" + "words " * 900 + "</w:document>")
    z.writestr("docProps/core.xml", "<cp:coreProperties><dc:title>Quarterly &amp; Report</dc:title></cp:coreProperties>")
with zipfile.ZipFile(out + "/s.odt", "w") as z:
    z.writestr("mimetype", "application/vnd.oasis.opendocument.spreadsheet")
    z.writestr("content.xml", "<office:document-content/>" * 40)
)";

/// Python with PIL: Debian's own interpreter (a user's may lack it).
std::string Python() { return test::HaveTool("/usr/bin/python3") ? "/usr/bin/python3" : "python3"; }

struct Made {
    std::map<std::string, Bytes> files;
    bool ok = false;
};

Made MakeFiles(const TempDir& dir) {
    Made m;
    const std::string d = dir.Path();
    std::ofstream(dir.File("make.py")) << kMakeFiles;
    if (test::RunShell(Python() + " '" + dir.File("make.py") + "' '" + d + "'") != 0) return m;
    if (test::RunShell("printf '%%!PS\\n[ /Title (Field Notes) /DOCINFO pdfmark\\n/Helvetica findfont 12 scalefont setfont "
                       "72 700 moveto (Hello) show showpage\\n' > '" + d + "/t.ps' && ps2pdf '" + d + "/t.ps' '" + d +
                       "/t.pdf'") != 0)
        return m;
    if (test::RunShell("sqlite3 '" + d + "/db.sqlite' 'create table t(a); insert into t values(randomblob(60000));'") != 0)
        return m;
    if (test::RunShell("python3 " + std::string(DELVORA_SOURCE_DIR) + "/sample/make-ole-doc '" + d + "/m.doc' Minutes") != 0)
        return m;
    for (const char* name : {"photo.jpg", "plain.jpg", "pic.png", "pic.gif", "pic.bmp", "pic.tif", "a.zip", "d.docx",
                             "s.odt", "t.pdf", "db.sqlite", "m.doc"})
        m.files[name] = test::ReadFileBytes(d + "/" + name);
    m.ok = true;
    return m;
}

/// An image of random clusters into which files are written at cluster starts.
struct Image {
    Bytes bytes;
    std::mt19937 random{1234};
    void Noise(size_t clusters) {
        for (size_t i = 0; i < clusters * kCluster; ++i) bytes.push_back(static_cast<uint8_t>(random()));
    }
    /// Writes data, padded with noise to a cluster; answers its first sector.
    uint64_t Put(const Bytes& data) {
        const uint64_t sector = bytes.size() / 512;
        bytes.insert(bytes.end(), data.begin(), data.end());
        while (bytes.size() % kCluster) bytes.push_back(static_cast<uint8_t>(random()));
        return sector;
    }
};

Bytes Part(const Bytes& b, size_t from, size_t n) { return Bytes(b.begin() + from, b.begin() + std::min(b.size(), from + n)); }

bool HaveTools() {
    return test::HaveTool("ps2pdf") && test::HaveTool("sqlite3") &&
           test::RunShell(Python() + " -c 'import PIL' 2>/dev/null") == 0;
}

struct Row {
    std::string type, status;
    uint64_t size;
};

/// The manifest's rows by target path relative to the output folder.
std::map<std::string, Row> ReadManifest(const std::string& path, const std::string& out) {
    std::map<std::string, Row> rows;
    const Bytes raw = test::ReadFileBytes(path);
    std::string text(raw.begin(), raw.end());
    // One row per line; fields with commas are quoted.
    auto split = [&text](size_t at, size_t end) {
        std::vector<std::string> fields;
        std::string field;
        bool quoted = false;
        for (size_t i = at; i < end; ++i) {
            const char c = text[i];
            if (c == '"') quoted = !quoted;
            else if (c == ',' && !quoted) fields.push_back(field), field.clear();
            else field += c;
        }
        fields.push_back(field);
        return fields;
    };
    size_t at = text.find("\r\n");
    const auto header = split(0, at);
    auto column = [&header](const char* name) {
        return static_cast<size_t>(std::find(header.begin(), header.end(), name) - header.begin());
    };
    const size_t type = column("type"), status = column("status");
    for (at += 2; at < text.size();) {
        const size_t end = text.find("\r\n", at);
        const auto fields = split(at, end);
        if (fields.size() > std::max(type, status))
            rows[fields[1].substr(out.size() + 1)] = {fields[type], fields[status], std::stoull(fields[2])};
        at = end + 2;
    }
    return rows;
}

TEST(CarveTypes, EveryTypeComesBackByteExactUnderItsName) {
    if (!HaveTools()) GTEST_SKIP() << "python3-pil, ps2pdf or sqlite3 missing";
    TempDir dir;
    const Made m = MakeFiles(dir);
    ASSERT_TRUE(m.ok);
    Image image;
    image.Noise(16);
    const struct {
        const char* file;
        std::string carved;  // path under --to
    } cases[] = {
        {"photo.jpg", "JPG/2024-05-01 12.30.45 TestCam X1.jpg"},
        {"plain.jpg", ""},
        {"pic.png", ""},
        {"pic.gif", ""},
        {"pic.bmp", ""},
        {"pic.tif", ""},
        {"a.zip", ""},
        {"d.docx", "DOCX/Quarterly & Report.docx"},
        {"s.odt", ""},
        {"t.pdf", "PDF/Field Notes.pdf"},
        {"db.sqlite", ""},
        {"m.doc", "DOC/Minutes.doc"},
    };
    std::map<std::string, std::string> expected;  // carved path -> file
    for (const auto& c : cases) {
        const uint64_t sector = image.Put(m.files.at(c.file));
        image.Noise(2);
        std::string path = c.carved;
        if (path.empty()) {
            // Files with no title carry their type and first sector.
            const std::string f = c.file;
            const std::string ext = f.substr(f.rfind('.') + 1);
            std::string folder = ext == "odt" ? "ODS" : ext == "tif" ? "TIF" : ext;
            for (char& ch : folder) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            path = folder + "/" + folder + " " + std::to_string(sector) + "." + (ext == "odt" ? "ods" : ext);
        }
        expected[path] = c.file;
    }
    ASSERT_TRUE(test::WriteFileBytes(dir.File("raw.img"), image.bytes));
    const std::string out = dir.File("out");
    const auto r = test::RunCli(dir, "carve '" + dir.File("raw.img") + "' --raw --types all --to '" + out +
                                         "' --manifest '" + dir.File("m.csv") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("carved 12 files"), std::string::npos) << r.out;
    const auto rows = ReadManifest(dir.File("m.csv"), out);
    EXPECT_EQ(rows.size(), expected.size());
    for (const auto& [path, file] : expected) {
        EXPECT_EQ(test::ReadFileBytes(out + "/" + path), m.files.at(file)) << path;
        ASSERT_TRUE(rows.count(path)) << path;
        EXPECT_EQ(rows.at(path).status, "complete") << path;
    }
}

TEST(CarveTypes, SplitCutShortAndBaitFiles) {
    if (!HaveTools()) GTEST_SKIP() << "python3-pil, ps2pdf or sqlite3 missing";
    TempDir dir;
    const Made m = MakeFiles(dir);
    ASSERT_TRUE(m.ok);
    const Bytes& photo = m.files.at("plain.jpg");
    const Bytes& zip = m.files.at("a.zip");
    ASSERT_GT(photo.size(), 6 * kCluster);
    ASSERT_GT(zip.size(), 6 * kCluster);
    Image image;
    image.Noise(8);
    // A picture and an archive split after their third cluster, the rest
    // five clusters on.
    const uint64_t photoAt = image.Put(Part(photo, 0, 3 * kCluster));
    image.Noise(5);
    image.Put(Part(photo, 3 * kCluster, photo.size()));
    image.Noise(3);
    const uint64_t zipAt = image.Put(Part(zip, 0, 3 * kCluster));
    image.Noise(5);
    image.Put(Part(zip, 3 * kCluster, zip.size()));
    image.Noise(3);
    // A picture cut after 60% of its bytes.
    const size_t cut = photo.size() * 6 / 10;
    const uint64_t shortAt = image.Put(Part(photo, 0, cut));
    image.Noise(3);
    // Valid headers ahead of random bytes.
    for (const char* name : {"photo.jpg", "pic.png", "pic.gif", "a.zip", "t.pdf", "d.docx"}) {
        const Bytes& f = m.files.at(name);
        // Short of the first entry's end: a whole entry is a truncated archive.
        image.Put(Part(f, 0, std::string(name) == "photo.jpg" ? 700 : std::string(name) == "d.docx" ? 40 : 64));
        image.Noise(3);
    }
    ASSERT_TRUE(test::WriteFileBytes(dir.File("raw.img"), image.bytes));
    const std::string out = dir.File("out");
    const auto r = test::RunCli(dir, "carve '" + dir.File("raw.img") + "' --raw --types jpg,png,gif,zip,docx,pdf --to '" +
                                         out + "' --manifest '" + dir.File("m.csv") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = ReadManifest(dir.File("m.csv"), out);
    const Bytes manifest = test::ReadFileBytes(dir.File("m.csv"));
    SCOPED_TRACE(std::string(manifest.begin(), manifest.end()));
    const std::string photoPath = "JPG/JPG " + std::to_string(photoAt) + ".jpg";
    const std::string zipPath = "ZIP/ZIP " + std::to_string(zipAt) + ".zip";
    const std::string shortPath = "JPG/JPG " + std::to_string(shortAt) + ".jpg";
    ASSERT_EQ(rows.size(), 3u) << r.out;
    ASSERT_TRUE(rows.count(photoPath) && rows.count(zipPath) && rows.count(shortPath));
    EXPECT_EQ(test::ReadFileBytes(out + "/" + photoPath), photo);
    EXPECT_EQ(rows.at(photoPath).status,
              "fragmented (gap at sector " + std::to_string(photoAt + 3 * kCluster / 512) + ", 40 sectors)");
    EXPECT_EQ(test::ReadFileBytes(out + "/" + zipPath), zip);
    EXPECT_EQ(rows.at(zipPath).status, "fragmented (gap at sector " + std::to_string(zipAt + 3 * kCluster / 512) + ", 40 sectors)");
    // The cut picture: marked, no longer than what is there, and its bytes.
    const Bytes got = test::ReadFileBytes(out + "/" + shortPath);
    EXPECT_EQ(rows.at(shortPath).status, "truncated");
    EXPECT_LE(got.size(), cut + kCluster);
    EXPECT_GT(got.size(), cut / 2);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + std::min(got.size(), cut), photo.begin()));
    // Every bait header was a hit that did not validate.
    EXPECT_NE(r.out.find("rejected 6 header hits"), std::string::npos) << r.out;
}

TEST(CarveTypes, FreeOnlyAndOptionsAreChecked) {
    TempDir dir;
    ASSERT_TRUE(test::WriteFileBytes(dir.File("raw.img"), Bytes(64 * 512, 0)));
    const std::string img = "'" + dir.File("raw.img") + "' ";
    const std::string to = " --to '" + dir.File("o") + "'";
    EXPECT_EQ(test::RunCli(dir, "carve " + img + "--raw --types jpg,nope" + to).status, 2);
    EXPECT_EQ(test::RunCli(dir, "carve " + img + "--raw --free-only --types all" + to).status, 2);
    EXPECT_EQ(test::RunCli(dir, "carve " + img + "--raw --types all --max-gap x" + to).status, 2);
    EXPECT_EQ(test::RunCli(dir, "carve " + img + "--raw --types all" + to).status, 0);
}

}  // namespace
}  // namespace delvora
