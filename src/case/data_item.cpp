#include "case/data_item.h"

namespace delvora {

DataItem::DataItem(const CoreContext& context) : source(std::make_unique<DataSource>(context)) {}

DataItem::~DataItem() {
    // Volumes read through the source, so they go first.
    volumes.clear();
    source->Close();
}

void DataItem::Save(ArchiveWriter& archive) const {
    archive.WriteString(name);
    archive.WriteU8(typeId);
    archive.WriteU32(startSector);
    source->Save(archive);
}

}  // namespace delvora
