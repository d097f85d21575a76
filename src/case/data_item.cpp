#include "case/data_item.h"

#include "case/case_starts.h"

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
    // A larger start goes to the case file's start section.
    archive.WriteU32(startSector > UINT32_MAX ? kStartInSection : static_cast<uint32_t>(startSector));
    source->Save(archive);
}

}  // namespace delvora
