#include "fs/exfat/exfat_test_support.h"

#include <utility>
#include <vector>

#include "support/memory_backend.h"
#include "support/recorders.h"

namespace delvora::test {
namespace {

void Load(LoadedExfat& loaded, const CoreContext& context, uint64_t startUnit) {
    loaded.volume = std::make_unique<ExfatVolume>();
    loaded.volume->SetDataSource(loaded.source.get());
    loaded.volume->SetStartSector(startUnit);
    loaded.volume->SetContext(context);
    loaded.prepared = loaded.volume->Prepare();
    if (loaded.prepared) {
        loaded.volume->LoadTree();
        loaded.volume->ReleaseLoadTables();
    }
}

}  // namespace

LoadedExfat LoadExfat(const std::string& path, const CoreContext& context, uint64_t startUnit) {
    LoadedExfat loaded;
    loaded.source = std::make_unique<DataSource>(context);
    loaded.source->SetKind(SourceKind::Device);
    loaded.source->SetPath(path);
    loaded.source->Open();
    Load(loaded, context, startUnit);
    return loaded;
}

LoadedExfat LoadExfatBytes(std::vector<uint8_t> bytes, const CoreContext& context) {
    LoadedExfat loaded;
    loaded.source = std::make_unique<DataSource>(context);
    loaded.source->OpenWithBackend(std::make_unique<MemoryBackend>(std::move(bytes)));
    Load(loaded, context, 0);
    return loaded;
}

std::string MakeExfatToolImage(const std::string& dir, const std::string& size) {
    std::string output;
    const int rc = RunShell("bash '" DELVORA_SOURCE_DIR "/tests/fs/exfat/make-exfat-image.sh' '" + dir + "' " + size,
                            &output);
    if (rc == 0) return "";
    return rc == 77 ? "no root, mkfs.exfat, exfat-fuse or loop device" : "make-exfat-image.sh failed: " + output;
}

}  // namespace delvora::test
