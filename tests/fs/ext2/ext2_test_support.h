#pragma once
// Building EXT2 images with the real tools and loading them into a volume.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/text_format.h"
#include "disk/data_source.h"
#include "fs/ext2/ext2_volume.h"
#include "support/recorders.h"

namespace delvora::test {

/// A volume over an image file, with its source and recording context.
struct Ext2Fixture {
    RecordingContext rc;
    std::unique_ptr<DataSource> source;
    std::unique_ptr<Ext2Volume> volume;
    bool prepared = false;
    bool loaded = false;
};

/// Opens the image and runs Prepare, then (when it succeeded) LoadTree.
/// fixed, when given, is set as typed-in parameters first. A volume inside a
/// disk image gives its start sector and sector count.
std::unique_ptr<Ext2Fixture> LoadExt2(const std::string& image, const Ext2Params* fixed = nullptr,
                                      uint32_t startSector = 0, uint32_t totalSectors = 0);

/// mke2fs -q -t ext2 -b blockSize [-d dir] -F image size, plus extra options.
/// Answers the tool's output when it fails, empty on success.
std::string MakeExt2(const std::string& image, uint32_t blockSize, const std::string& dir,
                     const std::string& size, const std::string& extra = "");

/// debugfs -w -R "command" image; answers its exit status.
int Debugfs(const std::string& image, const std::string& command, std::string* output = nullptr);

/// Every item below the root by its path "a/b/c".
std::map<std::string, FileItem*> ItemsByPath(FileItem& root);

/// The live names of `fls -r -p -u`, directories with a trailing '/'.
std::vector<std::string> FlsLiveNames(const std::string& image);
/// The same listing made from our tree.
std::vector<std::string> TreeNames(FileItem& root);

/// Every file and folder name of `fls -r -p`, live and deleted, as
/// "path" (folders with a trailing '/', deleted ones with a leading '*'),
/// sorted; lost+found and the orphan folder are left out.
std::vector<std::string> FlsAllNames(const std::string& image);
/// The same listing made from our tree.
std::vector<std::string> TreeAllNames(FileItem& root);

/// The size and the four times of inode n as istat gives them (times as
/// 100-ns ticks since 1601, 0 where istat shows none).
struct IstatFacts {
    uint64_t size = 0;
    ItemTimes times;
};
IstatFacts Istat(const std::string& image, uint32_t inode);

/// The data of inode n as icat gives it.
std::vector<uint8_t> Icat(const std::string& image, uint32_t inode);

/// Byte offset in the image of block b of the file at path (debugfs bmap).
uint64_t BlockOffset(const std::string& image, const std::string& path, uint32_t logical, uint32_t blockSize);

std::vector<uint8_t> Le32Bytes(uint32_t value);
std::vector<uint8_t> Le16Bytes(uint16_t value);

}  // namespace delvora::test
