#pragma once
// The scratch folder "MyTemp": temporary copies of items for opening with
// the associated program and for the web view. It lives in the user's cache
// folder ($XDG_CACHE_HOME/delvora/MyTemp, else ~/.cache/delvora/MyTemp),
// exists while its owner (the front end) lives, and is emptied and removed
// when the owner goes.
#include <string>
#include <string_view>

namespace delvora {

class Volume;
struct FileItem;

class ScratchFolder {
public:
    /// Creates the folder under the user's cache folder.
    ScratchFolder();
    /// Creates the folder "MyTemp" inside parent instead (tests).
    explicit ScratchFolder(const std::string& parent);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    /// False when the folder could not be created.
    bool Ok() const { return m_bOk; }
    /// The folder's path, ending with '/'.
    const std::string& Path() const { return m_strPath; }

    /// Removes everything inside the folder (links are removed, not followed).
    void Empty();

    /// The folder the scratch folder goes in for this user.
    static std::string DefaultParent();

private:
    void Create(const std::string& parent);

    std::string m_strPath;
    bool m_bOk = false;
};

/// Exports the item to the scratch folder as "a.<extension>" for opening with
/// the associated program; the written path in outPath. False when the
/// export failed (then nothing is to be opened).
bool ExportForOpen(Volume* volume, FileItem* item, const ScratchFolder& scratch, std::string& outPath);

/// The same as "web.<extension>", the copy the web view shows.
bool ExportForWebView(Volume* volume, FileItem* item, const ScratchFolder& scratch, std::string& outPath);

}  // namespace delvora
