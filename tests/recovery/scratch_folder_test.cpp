#include "recovery/scratch_folder.h"

#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "fs/item_path.h"
#include "recovery/memory_volume.h"
#include "support/recorders.h"

namespace delvora::test {
namespace {

namespace fs = std::filesystem;

TEST(ScratchFolder, CopiesForOpeningAndWebViewThenGoneWithItsOwner) {
    TempDir dir;
    RecordingContext recorder;
    MemoryVolume volume;
    volume.SetContext(recorder.context);
    volume.AddFile(*volume.RootItem(), "Report.DOC", {1, 2, 3});
    volume.AddFile(*volume.RootItem(), "index.htm", {'<', 'p', '>'});
    FileItem* doc = FindItemByPath(*volume.RootItem(), "Report.DOC");
    FileItem* page = FindItemByPath(*volume.RootItem(), "index.htm");
    std::string mytemp;
    {
        ScratchFolder scratch(dir.Path());
        ASSERT_TRUE(scratch.Ok());
        mytemp = scratch.Path();
        EXPECT_EQ(mytemp, dir.Path() + "/MyTemp/");
        std::string opened, web;
        ASSERT_TRUE(ExportForOpen(&volume, doc, scratch, opened));
        EXPECT_EQ(opened, mytemp + "a.DOC");
        EXPECT_EQ(ReadFileBytes(opened), (std::vector<uint8_t>{1, 2, 3}));
        ASSERT_TRUE(ExportForWebView(&volume, page, scratch, web));
        EXPECT_EQ(web, mytemp + "web.htm");

        volume.FailRuns(*doc);
        EXPECT_FALSE(ExportForOpen(&volume, doc, scratch, opened));
        EXPECT_TRUE(opened.empty());  // nothing to open
        fs::create_directories(mytemp + "sub/deeper");
    }
    EXPECT_FALSE(fs::exists(mytemp));
    EXPECT_TRUE(fs::exists(dir.Path()));
}

TEST(ScratchFolder, EmptyingRemovesLinksNotTheirTargets) {
    TempDir dir;
    const std::string keep = dir.File("keep");
    fs::create_directories(keep);
    ASSERT_TRUE(WriteFileBytes(keep + "/precious", {1}));
    ScratchFolder scratch(dir.Path());
    fs::create_directory_symlink(keep, scratch.Path() + "link");
    scratch.Empty();
    EXPECT_TRUE(fs::is_empty(scratch.Path()));
    EXPECT_TRUE(fs::exists(keep + "/precious"));
}

TEST(ScratchFolder, LinkInPlaceOfTheFolderIsRefused) {
    TempDir dir;
    fs::create_directories(dir.File("elsewhere"));
    fs::create_directory_symlink(dir.File("elsewhere"), dir.File("MyTemp"));
    ScratchFolder scratch(dir.Path());
    EXPECT_FALSE(scratch.Ok());
}

class EnvGuard {
public:
    explicit EnvGuard(const char* name) : m_name(name) {
        if (const char* v = std::getenv(name)) m_old = v;
    }
    ~EnvGuard() {
        if (m_old) ::setenv(m_name, m_old->c_str(), 1);
        else ::unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(ScratchFolder, ParentFollowsTheUsersCacheFolder) {
    EnvGuard cache("XDG_CACHE_HOME"), home("HOME");
    ::setenv("HOME", "/home/examiner", 1);
    ::setenv("XDG_CACHE_HOME", "/var/cache/x", 1);
    EXPECT_EQ(ScratchFolder::DefaultParent(), "/var/cache/x/delvora");
    ::setenv("XDG_CACHE_HOME", "relative/path", 1);  // not absolute: ignored
    EXPECT_EQ(ScratchFolder::DefaultParent(), "/home/examiner/.cache/delvora");
    ::unsetenv("XDG_CACHE_HOME");
    EXPECT_EQ(ScratchFolder::DefaultParent(), "/home/examiner/.cache/delvora");
}

}  // namespace
}  // namespace delvora::test
