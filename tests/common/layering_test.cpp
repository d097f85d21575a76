// The folders of src/ are layers, each a library declared in src/CMakeLists.txt
// with the folders it links. A folder links only folders declared before it
// and includes only from itself and the folders it links; the command line,
// a program rather than a library, includes from anything but the window.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace delvora {
namespace {

const std::filesystem::path kSource = std::filesystem::path(DELVORA_SOURCE_DIR) / "src";

struct Layer {
    std::string name;
    std::vector<std::string> deps;
};

// The delvora_layer(NAME DEPS ... [LIBS ...] [EXCLUDE ...]) calls, in order.
std::vector<Layer> DeclaredLayers(const std::string& text) {
    std::vector<Layer> layers;
    const std::regex call(R"re(delvora_layer\(\s*([a-z_]+)([^)]*)\))re");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), call); it != std::sregex_iterator(); ++it) {
        Layer layer{(*it)[1].str(), {}};
        std::istringstream words((*it)[2].str());
        std::string word;
        bool inDeps = false;
        while (words >> word) {
            if (word == "DEPS" || word == "LIBS" || word == "EXCLUDE") inDeps = word == "DEPS";
            else if (inDeps) layer.deps.push_back(word);
        }
        layers.push_back(layer);
    }
    return layers;
}

std::set<std::string> IncludedFolders(const std::filesystem::path& dir, std::vector<std::string>& lines) {
    std::set<std::string> folders;
    const std::regex include(R"re(^\s*#\s*include\s+"([a-z_]+)/)re");
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path());
        std::string line;
        std::smatch match;
        while (std::getline(in, line))
            if (std::regex_search(line, match, include)) {
                folders.insert(match[1].str());
                lines.push_back(entry.path().filename().string() + ": " + line);
            }
    }
    return folders;
}

// The rules over a declaration text: answers the breaches, one a line.
std::vector<std::string> Breaches(const std::string& cmakeText) {
    std::vector<std::string> breaches;
    const std::vector<Layer> layers = DeclaredLayers(cmakeText);
    std::vector<std::string> below;
    for (const Layer& layer : layers) {
        for (const std::string& dep : layer.deps)
            if (std::find(below.begin(), below.end(), dep) == below.end())
                breaches.push_back(layer.name + " links " + dep + ", which is not below it");
        below.push_back(layer.name);
    }
    return breaches;
}

TEST(Layering, EveryFolderIsALayerThatLinksOnlyDownwards) {
    std::ifstream in(kSource / "CMakeLists.txt");
    std::stringstream text;
    text << in.rdbuf();
    const std::vector<Layer> layers = DeclaredLayers(text.str());
    ASSERT_GE(layers.size(), 12u);
    EXPECT_TRUE(Breaches(text.str()).empty());

    std::set<std::string> declared{"cli"};
    for (const Layer& layer : layers) declared.insert(layer.name);
    for (const auto& entry : std::filesystem::directory_iterator(kSource)) {
        if (entry.is_directory()) {
            EXPECT_TRUE(declared.count(entry.path().filename().string())) << entry.path();
        }
    }

    for (const Layer& layer : layers) {
        std::set<std::string> allowed(layer.deps.begin(), layer.deps.end());
        allowed.insert(layer.name);
        std::vector<std::string> lines;
        for (const std::string& folder : IncludedFolders(kSource / layer.name, lines))
            EXPECT_TRUE(allowed.count(folder)) << "src/" << layer.name << " includes from " << folder;
    }
    std::vector<std::string> lines;
    for (const std::string& folder : IncludedFolders(kSource / "cli", lines))
        EXPECT_TRUE(folder != "ui" && folder != "views" && folder != "app") << "src/cli includes from " << folder;
}

TEST(Layering, ALowerFolderLinkingAnUpperOneIsABreach) {
    EXPECT_TRUE(Breaches("delvora_layer(common)\ndelvora_layer(disk DEPS common)\n").empty());
    const auto breaches = Breaches("delvora_layer(common)\ndelvora_layer(disk DEPS common fs LIBS x)\n"
                                   "delvora_layer(fs DEPS common disk)\n");
    ASSERT_EQ(breaches.size(), 1u);
    EXPECT_EQ(breaches[0], "disk links fs, which is not below it");
}

}  // namespace
}  // namespace delvora
