#pragma once
// exFAT volumes for the tests: the tool-made image (mkfs.exfat, filled
// through exfat-fuse by make-exfat-image.sh) and loading a volume.
#include <map>
#include <memory>
#include <string>

#include "common/reporting.h"
#include "disk/data_source.h"
#include "fs/exfat/exfat_volume.h"
#include "fs/ext2/ext2_test_support.h"  // ItemsByPath

namespace delvora::test {

struct LoadedExfat {
    std::unique_ptr<DataSource> source;
    std::unique_ptr<ExfatVolume> volume;
    bool prepared = false;
};

/// Opens an image file and loads the exFAT volume at a 512-byte unit.
LoadedExfat LoadExfat(const std::string& path, const CoreContext& context, uint64_t startUnit = 0);
/// The same over bytes held in memory.
LoadedExfat LoadExfatBytes(std::vector<uint8_t> bytes, const CoreContext& context);

/// Runs make-exfat-image.sh into dir (dir/exfat.img, times.txt, expected/).
/// Answers "" on success, else why the image could not be made (the caller
/// skips).
std::string MakeExfatToolImage(const std::string& dir, const std::string& size = "");

}  // namespace delvora::test
